// The lock every writer of one store holds for a whole command.
//
// Beside a .reg file it is a lock file of its own next to it ("<file>.lock"), which stays. Any
// other store (a Windows user's hive, whatever its name, in a folder that is a Windows user's
// profile) gets nothing beside it: the folder itself is locked, or, where its file system
// cannot lock a folder, a file in this user's own lock folder.
#pragma once

#include <chrono>
#include <filesystem>
#include <memory>
#include <string>

#include "platform/file_lock.h"

namespace tavelin {

// Whether the name ends in ".reg", in any case: a store of this program's own, whose lock
// file lies beside it.
bool NamesRegFile(const std::filesystem::path& store);

// The lock file beside `store`, "<store>.lock", which stays. `error` says why when the lock is
// not taken, naming the lock file.
platform::LockStatus LockBesideStore(const std::filesystem::path& store,
                                     std::chrono::milliseconds timeout,
                                     std::unique_ptr<platform::FileLock>& lock, std::string& error);

// `store` with its links followed. `error` says why when the lock is not taken, naming what
// could not be locked.
platform::LockStatus LockStore(const std::filesystem::path& store,
                               std::chrono::milliseconds timeout,
                               std::unique_ptr<platform::FileLock>& lock, std::string& error);

// The lock one transaction on `store` holds. A store opened read-only takes none, and nothing
// is made beside it. Reading needs no lock (a store is only ever replaced whole), so a lock
// that cannot be taken stops only the writes; one that another writer holds past `timeout`
// stops the read as well.
struct TransactionLock {
  std::unique_ptr<platform::FileLock> lock;  // held, or none
  bool timedOut = false;
  std::string whyNotHeld;  // when none is held: kOpenedReadOnly, or why it could not be taken
};
TransactionLock LockForTransaction(const std::filesystem::path& store, bool readOnly,
                                   std::chrono::milliseconds timeout);

}  // namespace tavelin
