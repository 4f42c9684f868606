#include <windows.h>

#include <atomic>
#include <thread>

#include "platform/wtf8.h"
#include "store/hive_file_io.h"

namespace tavelin::hivefile {

namespace {

std::string Reason(DWORD err) {
  wchar_t* text = nullptr;
  const DWORD n = FormatMessageW(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
      nullptr, err, 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
  std::u16string message;
  if (n != 0 && text != nullptr) {
    message.assign(reinterpret_cast<const char16_t*>(text), n);
    LocalFree(text);
  }
  while (!message.empty() && (message.back() == u'\r' || message.back() == u'\n' ||
                              message.back() == u' ' || message.back() == u'.')) {
    message.pop_back();
  }
  if (message.empty()) return "system error " + std::to_string(err);
  return Utf16ToWtf8(message);
}

class HandleLock : public FileLock {
 public:
  explicit HandleLock(HANDLE h) : h_(h) {}
  ~HandleLock() override {
    OVERLAPPED overlapped{};
    UnlockFileEx(h_, 0, 1, 0, &overlapped);
    CloseHandle(h_);
  }

 private:
  HANDLE h_;
};

}  // namespace

unsigned long CurrentProcessId() {
  return GetCurrentProcessId();
}

std::string TemporaryPrefix(const std::filesystem::path& target) {
  return Utf16ToWtf8(reinterpret_cast<const char16_t*>(target.filename().wstring().c_str())) +
         ".tmp-";
}

ReadStatus ReadWholeFile(const std::filesystem::path& path, std::string& bytes,
                         std::string& error) {
  bytes.clear();
  HANDLE h = CreateFileW(path.wstring().c_str(), GENERIC_READ,
                         FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                         OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) {
    const DWORD err = GetLastError();
    if (err == ERROR_FILE_NOT_FOUND) return ReadStatus::kMissing;
    error = Reason(err);
    return ReadStatus::kFailed;
  }
  char buffer[65536];
  for (;;) {
    DWORD n = 0;
    if (!ReadFile(h, buffer, sizeof buffer, &n, nullptr)) {
      error = Reason(GetLastError());
      CloseHandle(h);
      return ReadStatus::kFailed;
    }
    if (n == 0) break;
    bytes.append(buffer, n);
  }
  CloseHandle(h);
  return ReadStatus::kOk;
}

LockStatus AcquireFileLock(const std::filesystem::path& lockPath, std::chrono::milliseconds timeout,
                           std::unique_ptr<FileLock>& lock, std::string& error) {
  HANDLE h = CreateFileW(lockPath.wstring().c_str(), GENERIC_READ | GENERIC_WRITE,
                         FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                         OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) {
    error = Reason(GetLastError());
    return LockStatus::kFailed;
  }
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  for (;;) {
    OVERLAPPED overlapped{};
    if (LockFileEx(h, LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, 1, 0, &overlapped)) {
      lock = std::make_unique<HandleLock>(h);
      return LockStatus::kLocked;
    }
    const DWORD err = GetLastError();
    if (err != ERROR_LOCK_VIOLATION && err != ERROR_IO_PENDING) {
      error = Reason(err);
      CloseHandle(h);
      return LockStatus::kFailed;
    }
    if (std::chrono::steady_clock::now() >= deadline) {
      CloseHandle(h);
      error = "another program has held the lock for too long";
      return LockStatus::kTimedOut;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
}

bool ReplaceFileAtomically(const std::filesystem::path& target, std::string_view bytes,
                           std::string& error) {
  static std::atomic<unsigned> counter{0};
  const std::filesystem::path temporary =
      target.parent_path() /
      (target.filename().wstring() + L".tmp-" + std::to_wstring(CurrentProcessId()) + L"-" +
       std::to_wstring(counter.fetch_add(1)));
  HANDLE h = CreateFileW(temporary.wstring().c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                         FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) {
    error = Reason(GetLastError());
    return false;
  }
  const auto fail = [&](DWORD err) {
    error = Reason(err);
    if (h != INVALID_HANDLE_VALUE) CloseHandle(h);
    DeleteFileW(temporary.wstring().c_str());
    return false;
  };
  while (!bytes.empty()) {
    const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(bytes.size(), 1u << 20));
    DWORD written = 0;
    if (!WriteFile(h, bytes.data(), chunk, &written, nullptr)) return fail(GetLastError());
    bytes.remove_prefix(written);
  }
  if (!FlushFileBuffers(h)) return fail(GetLastError());
  CloseHandle(h);
  h = INVALID_HANDLE_VALUE;
  // ReplaceFileW keeps the old file's security and attributes; a new file takes the folder's.
  const std::wstring targetName = target.wstring();
  if (GetFileAttributesW(targetName.c_str()) != INVALID_FILE_ATTRIBUTES &&
      ReplaceFileW(targetName.c_str(), temporary.wstring().c_str(), nullptr,
                   REPLACEFILE_IGNORE_MERGE_ERRORS, nullptr, nullptr)) {
    return true;
  }
  if (!MoveFileExW(temporary.wstring().c_str(), targetName.c_str(),
                   MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
    return fail(GetLastError());
  }
  return true;
}

}  // namespace tavelin::hivefile
