#include "store/registry_file.h"
#include "store/system_registry.h"

namespace tavelin {

std::unique_ptr<RegistryBackend> CreateSystemRegistry() {
  return std::make_unique<HiveFileRegistry>(DefaultHiveFilePath());
}

}  // namespace tavelin
