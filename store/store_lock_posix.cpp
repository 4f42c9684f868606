#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "platform/system_error.h"
#include "platform/wide_text.h"
#include "store/store_lock.h"
#include "store/store_name.h"

namespace tavelin {

namespace fs = std::filesystem;

namespace {

using platform::PathText;

std::string ErrnoText(int error) {
  return platform::SystemErrorText(static_cast<platform::SystemErrorCode>(error));
}

// Where the lock goes when the store's folder cannot be locked: a file of this user's in
// /tmp, named after the store's real path.
fs::path FallbackLockPath(const fs::path& store, std::string& error) {
  const fs::path folder = "/tmp/tavelin-" + std::to_string(::getuid());
  if (::mkdir(folder.c_str(), 0700) != 0 && errno != EEXIST) {
    error = "the folder " + PathText(folder) + " cannot be made (" + ErrnoText(errno) + ")";
    return {};
  }
  // Someone else's folder, or a link planted there, would let them hold or read our lock.
  struct stat info {};
  if (::lstat(folder.c_str(), &info) != 0 || !S_ISDIR(info.st_mode) || info.st_uid != ::getuid() ||
      (info.st_mode & 077) != 0) {
    error = "the folder " + PathText(folder) + " is not this user's own";
    return {};
  }
  return folder / (UniqueStoreFolderName(PathText(store)) + ".lock");
}

}  // namespace

platform::LockStatus LockStore(const fs::path& store, std::chrono::milliseconds timeout,
                               std::unique_ptr<platform::FileLock>& lock, std::string& error) {
  if (NamesRegFile(store)) return LockBesideStore(store, timeout, lock, error);
  bool unsupported = false;
  const fs::path folder = store.has_parent_path() ? store.parent_path() : fs::path(".");
  platform::LockStatus status =
      platform::AcquireFolderLock(folder, timeout, lock, error, unsupported);
  if (status != platform::LockStatus::kFailed || !unsupported) return status;
  const fs::path fallback = FallbackLockPath(store, error);
  if (fallback.empty()) return platform::LockStatus::kFailed;
  status = platform::AcquireFileLock(fallback, timeout, lock, error);
  if (status == platform::LockStatus::kFailed) {
    error = "its lock file " + PathText(fallback) + " cannot be used (" + error + ")";
  }
  return status;
}

}  // namespace tavelin
