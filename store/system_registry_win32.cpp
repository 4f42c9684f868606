#include "store/backup.h"
#include "store/registry_win32.h"
#include "store/system_registry.h"

namespace tavelin {

std::unique_ptr<RegistryBackend> CreateSystemRegistry() {
  auto registry = std::make_unique<Win32Registry>();
  const std::filesystem::path root = DefaultBackupRoot();
  registry->setBackupFolder(
      std::make_unique<BackupFolder>(root.empty() ? root : root / "registry"));
  return registry;
}

}  // namespace tavelin
