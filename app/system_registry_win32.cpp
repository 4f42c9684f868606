#include "app/system_registry.h"
#include "store/registry_win32.h"

namespace tavelin {

std::unique_ptr<RegistryBackend> CreateSystemRegistry() {
  auto registry = std::make_unique<Win32Registry>();
  const std::filesystem::path root = DefaultBackupRoot();
  registry->setBackup(ProgramBackup(root.empty() ? root : root / "registry"));
  return registry;
}

SystemParts CreateSystemParts(const StoreChoice& /*chosen*/) {
  SystemParts parts;
  parts.registry = CreateSystemRegistry();
  parts.launcher = CreateSystemBrowserLauncher();
  return parts;
}

}  // namespace tavelin
