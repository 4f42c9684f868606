// The registry of this platform: the Windows registry itself on Windows, the hive file
// (named by $TAVELIN_REGISTRY, else under the user's data folder) everywhere else.
#pragma once

#include <memory>

#include "store/registry.h"

namespace tavelin {

std::unique_ptr<RegistryBackend> CreateSystemRegistry();

}  // namespace tavelin
