// The file-system work under the hive file: reading it whole, the lock beside it, and
// replacing it in one step. One implementation per platform (_posix, _win32).
#pragma once

#include <chrono>
#include <filesystem>
#include <memory>
#include <string>
#include <string_view>

namespace tavelin::hivefile {

enum class ReadStatus { kOk, kMissing, kFailed };

// Reads the whole file. kMissing when there is no such file; kFailed with `error` set
// (the system's reason) when it exists but cannot be read.
ReadStatus ReadWholeFile(const std::filesystem::path& path, std::string& bytes, std::string& error);

// An exclusive lock on a lock file, held until destroyed. The lock file itself stays: a
// file that is renamed over cannot carry a lock, so the lock lives beside the hive.
class FileLock {
 public:
  virtual ~FileLock() = default;
};

enum class LockStatus { kLocked, kTimedOut, kFailed };

// Takes the lock, creating the lock file (not its folder) when missing, and waits for it at
// most `timeout`. `error` says why when it is not taken.
LockStatus AcquireFileLock(const std::filesystem::path& lockPath, std::chrono::milliseconds timeout,
                           std::unique_ptr<FileLock>& lock, std::string& error);

// Writes `bytes` to a new temporary file beside `target` (named `TemporaryPrefix(target)`
// followed by something unique), flushes it to disk, gives it the old file's permissions
// (0600 for a new file), renames it over `target` and flushes the folder. On failure the
// temporary is removed, `target` is untouched and `error` says why.
bool ReplaceFileAtomically(const std::filesystem::path& target, std::string_view bytes,
                           std::string& error);

// The start of the names of the temporary files for `target`.
std::string TemporaryPrefix(const std::filesystem::path& target);

// This process's id, to make temporary names unique.
unsigned long CurrentProcessId();

}  // namespace tavelin::hivefile
