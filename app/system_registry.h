// The registry of this platform, as the program runs on it: the Windows registry itself on
// Windows, the hive file (named by $TAVELIN_REGISTRY, else under the user's data folder)
// everywhere else, with the backup taken before the run's first change installed on it.
#pragma once

#include <filesystem>
#include <memory>
#include <vector>

#include "browse/browser_launcher.h"
#include "store/backup.h"
#include "store/registry.h"

namespace tavelin {

// What the program runs on, put together here and nowhere else: the registry of this
// platform with the backup installed on it, and this platform's browser launcher.
struct SystemParts {
  std::unique_ptr<RegistryBackend> registry;
  std::unique_ptr<BrowserLauncher> launcher;
};
SystemParts CreateSystemParts();

std::unique_ptr<RegistryBackend> CreateSystemRegistry();

// The keys the program changes, as its backup holds them: the typed addresses, their times
// when the browser keeps them, and the program's settings.
std::vector<BackupKey> ProgramBackupKeys();
// The backup of those keys, kept in the folder.
std::unique_ptr<StoreBackup> ProgramBackup(std::filesystem::path folder);

}  // namespace tavelin
