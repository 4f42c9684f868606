#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <thread>
#include <utility>

#include "platform/file_lock.h"
#include "platform/os_handle_posix.h"
#include "platform/system_error.h"

namespace tavelin::platform {

namespace {

class DescriptorLock : public FileLock {
 public:
  explicit DescriptorLock(OsHandle fd) : fd_(std::move(fd)) {}
  ~DescriptorLock() override { ::flock(fd_.get(), LOCK_UN); }

 private:
  OsHandle fd_;
};

}  // namespace

namespace {

LockStatus LockDescriptor(OsHandle fd, std::chrono::milliseconds timeout,
                          std::unique_ptr<FileLock>& lock, std::string& error) {
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  for (;;) {
    if (::flock(fd.get(), LOCK_EX | LOCK_NB) == 0) {
      lock = std::make_unique<DescriptorLock>(std::move(fd));
      return LockStatus::kLocked;
    }
    const int failure = errno;
    if (failure != EWOULDBLOCK && failure != EINTR) {
      error = SystemErrorText(static_cast<SystemErrorCode>(failure));
      errno = failure;  // for a caller that tells kinds of failure apart
      return LockStatus::kFailed;
    }
    if (std::chrono::steady_clock::now() >= deadline) {
      error = "another program has held the lock for too long";
      return LockStatus::kTimedOut;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
}

}  // namespace

LockStatus AcquireFileLock(const std::filesystem::path& lockPath, std::chrono::milliseconds timeout,
                           std::unique_ptr<FileLock>& lock, std::string& error) {
  // Never through a link, and never someone else's file or a pipe planted in its place: the
  // lock must not make or open anything but a file of this user's beside the store.
  OsHandle fd(
      ::open(lockPath.c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, 0600));
  if (!fd.valid()) {
    error =
        errno == ELOOP ? std::string("it is a symbolic link") : SystemErrorText(LastSystemError());
    return LockStatus::kFailed;
  }
  struct stat info {};
  if (::fstat(fd.get(), &info) != 0) {
    error = SystemErrorText(LastSystemError());
    return LockStatus::kFailed;
  }
  if (!S_ISREG(info.st_mode) || info.st_uid != ::geteuid()) {
    error = "it is not a plain file of this user's";
    return LockStatus::kFailed;
  }
  return LockDescriptor(std::move(fd), timeout, lock, error);
}

LockStatus AcquireFolderLock(const std::filesystem::path& folder, std::chrono::milliseconds timeout,
                             std::unique_ptr<FileLock>& lock, std::string& error,
                             bool& unsupported) {
  unsupported = false;
  OsHandle fd(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (!fd.valid()) {
    error = SystemErrorText(LastSystemError());
    return LockStatus::kFailed;
  }
  const LockStatus status = LockDescriptor(std::move(fd), timeout, lock, error);
  // What file systems say when they cannot lock (network and FUSE mounts, some of them).
  unsupported = status == LockStatus::kFailed &&
                (errno == ENOLCK || errno == EOPNOTSUPP || errno == EINVAL || errno == ENOSYS);
  return status;
}

}  // namespace tavelin::platform
