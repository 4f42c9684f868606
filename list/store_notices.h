// What the user is told when the store did not do what a command asked: one sentence for each
// report the backend made, naming the store and the reason, and what the user can do.
#pragma once

#include <string>
#include <vector>

#include "store/registry.h"

namespace tavelin {

std::string NoticeText(const StoreReport& report);

// The notices of every report the backend made since it was last asked, oldest first.
std::vector<std::string> TakeStoreNotices(RegistryBackend& backend);

}  // namespace tavelin
