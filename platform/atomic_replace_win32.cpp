#include <windows.h>

#include <atomic>
#include <system_error>

#include "platform/atomic_replace.h"
#include "platform/os_handle_win32.h"
#include "platform/system_error.h"
#include "platform/wide_text.h"

namespace tavelin::platform {

namespace fs = std::filesystem;

struct FileReplacement::Open {
  OsHandle file;
  BY_HANDLE_FILE_INFORMATION made{};
  bool replacing = false;
  DWORD oldAttributes = 0;
};

namespace {

// Built in place: "\"" + text + "\"" draws a false -Wrestrict from GCC 12.
std::string Quoted(const fs::path& path) {
  std::string text = PathText(path);
  text.insert(text.begin(), '"');
  text.push_back('"');
  return text;
}

std::string Reason(DWORD error = GetLastError()) {
  return SystemErrorText(error);
}

// The marks a replaced file keeps; ReplaceFileW carries its security over.
constexpr DWORD kKeptAttributes = FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM |
                                  FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_NOT_CONTENT_INDEXED;

// How many names the file has; 1 when that cannot be told.
DWORD LinkCount(const fs::path& file) {
  OsHandle handle(CreateFileW(file.c_str(), 0,
                              FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  BY_HANDLE_FILE_INFORMATION info{};
  if (!handle.valid() || !GetFileInformationByHandle(handle.get(), &info)) return 1;
  return info.nNumberOfLinks;
}

}  // namespace

unsigned long CurrentProcessId() {
  return GetCurrentProcessId();
}

FileReplacement::FileReplacement(const fs::path& target, NewFileAccess /*access*/)
    : target_(FollowLinks(target)) {
  auto open = std::make_unique<Open>();
  const DWORD attributes = GetFileAttributesW(target_.c_str());
  if (attributes != INVALID_FILE_ATTRIBUTES) {
    if (attributes & FILE_ATTRIBUTE_DIRECTORY) {
      fail(Quoted(target_) + " is a folder");
      return;
    }
    if (attributes & FILE_ATTRIBUTE_DEVICE) {
      fail(Quoted(target_) + " is not a regular file");
      return;
    }
    // The replacement would take this name away from the file its other names keep.
    if (LinkCount(target_) > 1) {
      fail("cannot replace " + Quoted(target_) + ": " + std::string(kOtherHardLinks));
      return;
    }
    open->replacing = true;
    open->oldAttributes = attributes;
  } else if (const DWORD error = GetLastError();
             error != ERROR_FILE_NOT_FOUND && error != ERROR_PATH_NOT_FOUND) {
    fail("cannot examine " + Quoted(target_) + ": " + Reason(error));
    return;
  }

  const fs::path folder = target_.has_parent_path() ? target_.parent_path() : fs::path(".");
  static std::atomic<unsigned long> counter{0};
  DWORD error = 0;
  // A name of a killed process with the same id may still be there: take the next one.
  for (int attempt = 0; attempt < 100 && !open->file.valid(); ++attempt) {
    temporary_ = folder / TemporaryFileName(target_, CurrentProcessId(), counter++);
    // Shared for writing too, so that a writer given only the path can fill it.
    open->file = OsHandle(CreateFileW(temporary_.c_str(), GENERIC_READ | GENERIC_WRITE,
                                      FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                      nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr));
    error = GetLastError();
    if (!open->file.valid() && error != ERROR_FILE_EXISTS) break;
  }
  if (!open->file.valid()) {
    temporary_.clear();
    fail("cannot create a temporary file in " + Quoted(folder) + ": " + Reason(error));
    return;
  }
  if (!GetFileInformationByHandle(open->file.get(), &open->made)) {
    const DWORD failure = GetLastError();
    open_ = std::move(open);
    fail("cannot examine " + Quoted(temporary_) + ": " + Reason(failure));
    return;
  }
  open_ = std::move(open);
}

FileReplacement::~FileReplacement() {
  discard();
}

void FileReplacement::discard() {
  if (!open_) return;
  open_->file.close();
  if (!committed_) DeleteFileW(temporary_.c_str());
  open_.reset();
}

bool FileReplacement::write(std::string_view bytes) {
  if (!open_) return false;
  while (!bytes.empty()) {
    const DWORD chunk = bytes.size() > (1u << 30) ? (1u << 30) : static_cast<DWORD>(bytes.size());
    DWORD written = 0;
    if (!WriteFile(open_->file.get(), bytes.data(), chunk, &written, nullptr)) {
      return fail("cannot write to " + Quoted(temporary_) + ": " + Reason());
    }
    bytes.remove_prefix(written);
  }
  return true;
}

bool FileReplacement::commit() {
  if (!open_) return false;
  // Another writer may have filled the temporary through its name; it must still be the file
  // made above.
  {
    OsHandle named(CreateFileW(temporary_.c_str(), 0,
                               FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                               OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
    BY_HANDLE_FILE_INFORMATION now{};
    if (!named.valid() || !GetFileInformationByHandle(named.get(), &now) ||
        (now.dwFileAttributes & (FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_DIRECTORY)) ||
        now.dwVolumeSerialNumber != open_->made.dwVolumeSerialNumber ||
        now.nFileIndexHigh != open_->made.nFileIndexHigh ||
        now.nFileIndexLow != open_->made.nFileIndexLow) {
      return fail(Quoted(temporary_) + " was replaced by another file while it was written");
    }
  }
  if (!FlushFileBuffers(open_->file.get()) || !open_->file.close()) {
    return fail("cannot write to " + Quoted(temporary_) + ": " + Reason());
  }
  if (open_->replacing) {
    // Not every file system lets ReplaceFileW carry these marks over; set them beforehand.
    if ((open_->oldAttributes & kKeptAttributes) &&
        !SetFileAttributesW(temporary_.c_str(), open_->oldAttributes & kKeptAttributes)) {
      return fail("cannot keep the attributes of " + Quoted(target_) + ": " + Reason());
    }
    // Without REPLACEFILE_IGNORE_MERGE_ERRORS: security that cannot be carried over fails the
    // replacement rather than leaving a file that others may no longer read, or now may.
    if (!ReplaceFileW(target_.c_str(), temporary_.c_str(), nullptr, 0, nullptr, nullptr)) {
      const DWORD error = GetLastError();
      // The old file is gone already and the new one, with its security, still has the
      // temporary name: finish the move rather than leave no file at all.
      if (error != ERROR_UNABLE_TO_MOVE_REPLACEMENT) {
        return fail("cannot replace " + Quoted(target_) + ": " + Reason(error));
      }
      if (!MoveFileExW(temporary_.c_str(), target_.c_str(), MOVEFILE_WRITE_THROUGH)) {
        committed_ = true;  // the temporary now holds the only copy: it stays
        return fail("cannot replace " + Quoted(target_) + ": " + Reason() +
                    "; the new content is in " + Quoted(temporary_));
      }
    }
  } else if (!MoveFileExW(temporary_.c_str(), target_.c_str(), MOVEFILE_WRITE_THROUGH)) {
    // No MOVEFILE_REPLACE_EXISTING: a file that appeared meanwhile would lose its security.
    return fail("cannot replace " + Quoted(target_) + ": " + Reason());
  }
  committed_ = true;
  open_.reset();
  return true;
}

std::vector<fs::path> FolderEntryNames(const fs::path& folder) {
  std::vector<fs::path> names;
  std::error_code ec;
  for (fs::directory_iterator it(folder, ec); !ec && it != fs::directory_iterator();
       it.increment(ec)) {
    names.push_back(it->path().filename());
  }
  return names;
}

std::string WhyNotWritable(const fs::path& file) {
  const DWORD attributes = GetFileAttributesW(file.c_str());
  if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY) != 0) {
    return "the file is read-only";
  }
  if (attributes != INVALID_FILE_ATTRIBUTES && LinkCount(file) > 1) {
    return std::string(kOtherHardLinks);
  }
  return {};
}

}  // namespace tavelin::platform
