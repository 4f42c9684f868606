#include <cstdlib>
#include <system_error>

#include "app/system_registry.h"
#include "app/windows_hives.h"
#include "platform/atomic_replace.h"
#include "platform/wide_text.h"
#include "store/registry_file.h"
#include "store/registry_offline_hive.h"

namespace tavelin {

namespace {

namespace fs = std::filesystem;

// The store in the file: a Windows user's own hive is known by its first bytes, whatever
// its name; anything else is a registry file.
std::unique_ptr<RegistryBackend> OpenStore(const fs::path& file, bool readOnly) {
  std::unique_ptr<RegistryBackend> registry;
  if (!file.empty() && IsWindowsHiveFile(platform::FollowLinks(file))) {
    registry = std::make_unique<OfflineHiveRegistry>(file);
  } else {
    registry = std::make_unique<RegFileRegistry>(file);
  }
  registry->setReadOnly(readOnly);
  // A store opened read-only gets no backup: nothing is ever written for it.
  if (!file.empty() && !readOnly) {
    // One folder per store, named after the file the links lead to.
    std::error_code ec;
    fs::path real = fs::weakly_canonical(fs::absolute(file), ec);
    if (ec) real = file;
    const fs::path root = DefaultBackupRoot();
    registry->setBackup(ProgramBackup(
        root.empty() ? root : root / UniqueStoreFolderName(platform::PathText(real))));
  }
  return registry;
}

// The full path a title names.
std::string FullPath(const std::string& file) {
  std::error_code ec;
  const fs::path absolute = fs::absolute(fs::path(file), ec);
  return ec ? file : absolute.lexically_normal().string();
}

class SystemStoreFiles : public StoreFiles {
 public:
  std::unique_ptr<RegistryBackend> open(const std::string& file, bool readOnly) override {
    return OpenStore(fs::path(file), readOnly);
  }
  std::vector<Found> findHives() override {
    std::vector<Found> found;
    for (const FoundHive& hive : FindWindowsHivesOnThisComputer()) {
      found.push_back({hive.hive.string(), hive.profile.string()});
    }
    return found;
  }
};

}  // namespace

std::unique_ptr<RegistryBackend> CreateSystemRegistry() {
  return OpenStore(DefaultRegFilePath(), false);
}

SystemParts CreateSystemParts(const StoreChoice& chosen) {
  SystemParts parts;
  parts.launcher = CreateSystemBrowserLauncher();
  parts.storeFiles = std::make_unique<SystemStoreFiles>();
  // FILE wins over the variable; either is named in the title, the default file is not.
  StoreChoice store = chosen;
  if (store.file.empty()) {
    if (const char* variable = std::getenv("TAVELIN_REGISTRY"); variable && *variable) {
      store.file = variable;
    }
  }
  if (store.file.empty()) {
    parts.registry = OpenStore(DefaultRegFilePath(), store.readOnly);
  } else {
    store.file = FullPath(store.file);
    parts.registry = OpenStore(fs::path(store.file), store.readOnly);
  }
  parts.store = store;
  return parts;
}

}  // namespace tavelin
