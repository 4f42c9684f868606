// An exclusive lock on a lock file, waited for at most a given time. One implementation per
// platform (file_lock_posix.cpp, file_lock_win32.cpp).
#pragma once

#include <chrono>
#include <filesystem>
#include <memory>
#include <string>

namespace tavelin::platform {

// Held until destroyed. The lock file itself stays: a file that is renamed over cannot carry a
// lock, so a lock for a file that is replaced whole lives in a stable file beside it.
class FileLock {
 public:
  virtual ~FileLock() = default;
};

enum class LockStatus { kLocked, kTimedOut, kFailed };

// Takes the lock, creating the lock file (not its folder) when missing, and waits for it at
// most `timeout`. `error` says why when it is not taken. A lock file that is a symbolic link,
// or not a plain file of this user's, is refused (kFailed), never followed or opened.
LockStatus AcquireFileLock(const std::filesystem::path& lockPath, std::chrono::milliseconds timeout,
                           std::unique_ptr<FileLock>& lock, std::string& error);

#ifndef _WIN32
// The same lock on a folder itself, for a file that must have nothing beside it. kFailed with
// `unsupported` set when the folder's file system cannot lock a folder (the caller then
// locks a file elsewhere); kFailed without it for any other reason.
LockStatus AcquireFolderLock(const std::filesystem::path& folder, std::chrono::milliseconds timeout,
                             std::unique_ptr<FileLock>& lock, std::string& error,
                             bool& unsupported);
#endif

}  // namespace tavelin::platform
