#include <fcntl.h>
#include <sys/file.h>

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

LockStatus AcquireFileLock(const std::filesystem::path& lockPath, std::chrono::milliseconds timeout,
                           std::unique_ptr<FileLock>& lock, std::string& error) {
  OsHandle fd(::open(lockPath.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600));
  if (!fd.valid()) {
    error = SystemErrorText(LastSystemError());
    return LockStatus::kFailed;
  }
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  for (;;) {
    if (::flock(fd.get(), LOCK_EX | LOCK_NB) == 0) {
      lock = std::make_unique<DescriptorLock>(std::move(fd));
      return LockStatus::kLocked;
    }
    if (errno != EWOULDBLOCK && errno != EINTR) {
      error = SystemErrorText(LastSystemError());
      return LockStatus::kFailed;
    }
    if (std::chrono::steady_clock::now() >= deadline) {
      error = "another program has held the lock for too long";
      return LockStatus::kTimedOut;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
}

}  // namespace tavelin::platform
