// Finding and recovering a Windows user's hive for one transaction (POSIX, hivex): its lock,
// its header checked before hivex trusts it, a dirty hive brought up to date from its
// transaction logs in memory (hive_recovery.h), and the logs emptied once a clean hive is in
// place for good.
#pragma once

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "platform/file_lock.h"
#include "store/hive_access.h"

namespace tavelin {

// A hive opened for one transaction.
struct OpenedHive {
  // hivex's handle on the hive (as its logs leave it, when it was dirty and they could bring
  // it up to date); none when it cannot be read, and `unreadable` then says why, as a clause.
  HiveHandle hive;
  std::string unreadable;
  std::unique_ptr<platform::FileLock> lock;  // none when opened read-only or not lockable
  std::filesystem::path realPath;            // the path with its links followed
  std::string unwritable;   // why this transaction must not write, when it must not
  std::string unrecovered;  // why its logs could not bring it up to date, when they could not
  std::uint32_t minorVersion = 0;  // of the format, as the header gives it
};

// Opens the hive at `path`. Unless `readOnly`, it takes the store's lock first (waiting up to
// `lockTimeout`) and sweeps what killed writers left beside it; read-only, nothing at all is
// made beside it.
OpenedHive OpenOfflineHive(const std::filesystem::path& path, bool readOnly,
                           std::chrono::milliseconds lockTimeout);

// Empties each transaction log beside the hive, as Windows leaves the logs of a new hive:
// the hive is clean, so Windows never reads them, and their older pages could keep what the
// user deleted. A log already empty is not touched. Why each log that could not be emptied
// could not, as whole sentences.
std::vector<std::string> EmptyHiveLogs(const std::filesystem::path& hive);

}  // namespace tavelin
