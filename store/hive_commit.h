// Committing a Windows user's hive and checking it (POSIX, hivex): the changed keys handed
// to hivex, the new hive written beside the old one, its free cells wiped, read again twice
// (by hivex, and by its cells as Windows reads them, hive_cells.h), and renamed over it.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>

#include "store/hive_access.h"

namespace tavelin {

// Why this transaction's changes must not be committed, found before anything is written: the
// hive's own reason (`unwritable`), a changed key whose values cannot be handed back, or a
// value too long for this hive's format. Empty when they may.
std::string WhyNotCommittable(const std::string& unwritable, std::uint32_t minorVersion,
                              const HiveKeys& keys);

// Commits the changed keys into the hive at `realPath`. Empty when the new hive is in place,
// else why not, as a clause; the hive is then as it was.
std::string CommitHive(hive_h* hive, const std::filesystem::path& realPath, HiveKeys& keys);

}  // namespace tavelin
