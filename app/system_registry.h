// The registry of this platform, as the program runs on it: the Windows registry itself on
// Windows, a store file everywhere else (named on the command line or by $TAVELIN_REGISTRY,
// else the registry file under the user's data folder), with the backup taken before the
// run's first change installed on it.
#pragma once

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "browse/browser_launcher.h"
#include "store/backup.h"
#include "store/registry.h"

namespace tavelin {

// Which store a window works on, as its title names it: `file` is empty for the platform's
// own (the Windows registry, or the default registry file).
struct StoreChoice {
  std::string file;
  bool readOnly = false;
};

// Where the program opens the store files a user chooses ("Open hive"): the stores
// themselves and the Windows users' hives found on this computer. Tests give prepared ones.
class StoreFiles {
 public:
  virtual ~StoreFiles() = default;
  // The store kept in the file (a Windows hive or a registry file, as its bytes say), with
  // its backup installed unless it is opened read-only. Nothing is read yet.
  virtual std::unique_ptr<RegistryBackend> open(const std::string& file, bool readOnly) = 0;
  // The Windows users' hives on this computer's mounted file systems, in the order offered.
  struct Found {
    std::string hive;
    std::string profile;
  };
  virtual std::vector<Found> findHives() = 0;
};

// Whether this platform's program opens store files (the Linux program does; the Windows
// program works on the live registry only).
#ifdef _WIN32
inline constexpr bool kPlatformOpensStoreFiles = false;
#else
inline constexpr bool kPlatformOpensStoreFiles = true;
#endif

// What the program runs on, put together here and nowhere else: the registry of this
// platform with the backup installed on it, this platform's browser launcher, and where the
// store files a user chooses are opened (none on Windows).
struct SystemParts {
  std::unique_ptr<RegistryBackend> registry;
  std::unique_ptr<BrowserLauncher> launcher;
  std::unique_ptr<StoreFiles> storeFiles;
  StoreChoice store;  // what `registry` is
};
// `chosen.file`, when not empty, is the store to open (the command line's FILE).
SystemParts CreateSystemParts(const StoreChoice& chosen = {});

// The platform's registry as a start-up without a FILE opens it.
std::unique_ptr<RegistryBackend> CreateSystemRegistry();

// The keys the program changes, as its backup holds them: the typed addresses, their times
// when the browser keeps them, and the program's settings.
std::vector<BackupKey> ProgramBackupKeys();
// The backup of those keys, kept in the folder.
std::unique_ptr<StoreBackup> ProgramBackup(std::filesystem::path folder);

}  // namespace tavelin
