#include <system_error>

#include "app/system_registry.h"
#include "platform/atomic_replace.h"
#include "platform/wide_text.h"
#include "store/registry_file.h"
#include "store/registry_offline_hive.h"

namespace tavelin {

std::unique_ptr<RegistryBackend> CreateSystemRegistry() {
  const std::filesystem::path hive = DefaultHiveFilePath();
  // A Windows user's own hive is known by its first bytes, whatever its name.
  std::unique_ptr<RegistryBackend> registry;
  if (!hive.empty() && IsWindowsHiveFile(platform::FollowLinks(hive))) {
    registry = std::make_unique<OfflineHiveRegistry>(hive);
  } else {
    registry = std::make_unique<HiveFileRegistry>(hive);
  }
  if (!hive.empty()) {
    // One folder per store, named after the file the links lead to.
    std::error_code ec;
    std::filesystem::path real =
        std::filesystem::weakly_canonical(std::filesystem::absolute(hive), ec);
    if (ec) real = hive;
    const std::filesystem::path root = DefaultBackupRoot();
    registry->setBackup(ProgramBackup(
        root.empty() ? root : root / UniqueStoreFolderName(platform::PathText(real))));
  }
  return registry;
}

}  // namespace tavelin
