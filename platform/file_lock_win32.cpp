#include <windows.h>

#include <thread>
#include <utility>

#include "platform/file_lock.h"
#include "platform/os_handle_win32.h"
#include "platform/system_error.h"

namespace tavelin::platform {

namespace {

class HandleLock : public FileLock {
 public:
  explicit HandleLock(OsHandle handle) : handle_(std::move(handle)) {}
  ~HandleLock() override {
    OVERLAPPED overlapped{};
    UnlockFileEx(handle_.get(), 0, 1, 0, &overlapped);
  }

 private:
  OsHandle handle_;
};

}  // namespace

LockStatus AcquireFileLock(const std::filesystem::path& lockPath, std::chrono::milliseconds timeout,
                           std::unique_ptr<FileLock>& lock, std::string& error) {
  OsHandle handle(CreateFileW(lockPath.c_str(), GENERIC_READ | GENERIC_WRITE,
                              FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                              OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT,
                              nullptr));
  if (!handle.valid()) {
    error = SystemErrorText(GetLastError());
    return LockStatus::kFailed;
  }
  // A link planted in its place is opened as itself, never followed, and refused.
  BY_HANDLE_FILE_INFORMATION info{};
  if (!GetFileInformationByHandle(handle.get(), &info) ||
      (info.dwFileAttributes & (FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_DIRECTORY)) != 0) {
    error = "it is a link or a folder, not a plain file";
    return LockStatus::kFailed;
  }
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  for (;;) {
    OVERLAPPED overlapped{};
    if (LockFileEx(handle.get(), LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, 1, 0,
                   &overlapped)) {
      lock = std::make_unique<HandleLock>(std::move(handle));
      return LockStatus::kLocked;
    }
    const DWORD err = GetLastError();
    if (err != ERROR_LOCK_VIOLATION && err != ERROR_IO_PENDING) {
      error = SystemErrorText(err);
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
