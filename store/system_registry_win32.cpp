#include "store/registry_win32.h"
#include "store/system_registry.h"

namespace tavelin {

std::unique_ptr<RegistryBackend> CreateSystemRegistry() {
  return std::make_unique<Win32Registry>();
}

}  // namespace tavelin
