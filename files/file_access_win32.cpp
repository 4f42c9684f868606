#include <windows.h>

#include <climits>
#include <new>
#include <random>

#include "files/file_access.h"
#include "files/list_file.h"
#include "platform/wtf8.h"

namespace tavelin {

namespace {

std::wstring Wide(const std::string& text) {
  const std::u16string units = Wtf8ToUtf16(text);
  return std::wstring(units.begin(), units.end());
}

std::string Narrow(const std::wstring& text) {
  return Utf16ToWtf8(std::u16string(text.begin(), text.end()));
}

std::string Reason(DWORD error) {
  wchar_t* buffer = nullptr;
  const DWORD length = FormatMessageW(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
      nullptr, error, 0, reinterpret_cast<wchar_t*>(&buffer), 0, nullptr);
  std::wstring text = length ? std::wstring(buffer, length) : std::wstring();
  if (buffer) LocalFree(buffer);
  while (!text.empty() && (text.back() == L'\r' || text.back() == L'\n' || text.back() == L'.' ||
                           text.back() == L' ')) {
    text.pop_back();
  }
  if (text.empty()) return "error " + std::to_string(error);
  return Narrow(text);
}

class Handle {
 public:
  explicit Handle(HANDLE handle) : handle_(handle) {}
  ~Handle() {
    if (valid()) CloseHandle(handle_);
  }
  Handle(const Handle&) = delete;
  Handle& operator=(const Handle&) = delete;
  bool valid() const { return handle_ != INVALID_HANDLE_VALUE; }
  HANDLE get() const { return handle_; }
  bool close() {
    const BOOL ok = CloseHandle(handle_);
    handle_ = INVALID_HANDLE_VALUE;
    return ok != 0;
  }

 private:
  HANDLE handle_;
};

std::string FolderOf(const std::string& path) {
  const std::size_t separator = path.find_last_of("/\\:");
  if (separator == std::string::npos) return ".";
  if (path[separator] == ':') return path.substr(0, separator + 1) + ".";
  if (separator == 0) return path.substr(0, 1);
  return path.substr(0, separator);
}

std::string NameOf(const std::string& path) {
  const std::size_t separator = path.find_last_of("/\\:");
  return separator == std::string::npos ? path : path.substr(separator + 1);
}

}  // namespace

PathKind ProbePath(const std::string& path) {
  const DWORD attributes = GetFileAttributesW(Wide(path).c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) {
    const DWORD error = GetLastError();
    if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND ||
        error == ERROR_INVALID_NAME || error == ERROR_BAD_NETPATH) {
      return PathKind::kMissing;
    }
    return PathKind::kInaccessible;
  }
  if (attributes & FILE_ATTRIBUTE_DIRECTORY) return PathKind::kDirectory;
  if (attributes & FILE_ATTRIBUTE_DEVICE) return PathKind::kOther;
  return PathKind::kRegularFile;
}

FileContents ReadRegularFile(const std::string& path) {
  FileContents result;
  Handle file(CreateFileW(Wide(path).c_str(), GENERIC_READ,
                          FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                          OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file.valid()) {
    const DWORD error = GetLastError();
    if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND) {
      result.status = FileContents::Status::kNotRegularFile;
    } else {
      result.error = "Cannot open \"" + path + "\": " + Reason(error) + ".";
    }
    return result;
  }
  // Devices and pipes (CON, NUL, \\.\pipe\...) are not list files.
  if (GetFileType(file.get()) != FILE_TYPE_DISK) {
    result.status = FileContents::Status::kNotRegularFile;
    return result;
  }
  LARGE_INTEGER size{};
  if (!GetFileSizeEx(file.get(), &size)) {
    result.error = "Cannot examine \"" + path + "\": " + Reason(GetLastError()) + ".";
    return result;
  }
  try {
    const auto expected = static_cast<unsigned long long>(size.QuadPart);
    if (expected >= result.bytes.max_size()) throw std::bad_alloc();
    result.bytes.reserve(static_cast<std::size_t>(expected) + 1);
    char buffer[1 << 16];
    for (;;) {
      DWORD got = 0;
      if (!ReadFile(file.get(), buffer, sizeof buffer, &got, nullptr)) {
        result.bytes = {};
        result.error = "Cannot read \"" + path + "\": " + Reason(GetLastError()) + ".";
        return result;
      }
      if (got == 0) break;
      result.bytes.append(buffer, got);
    }
  } catch (const std::bad_alloc&) {
    result.bytes = {};
    result.error = "\"" + path + "\" is too large to be read into memory.";
    return result;
  }
  result.status = FileContents::Status::kOk;
  return result;
}

FileResult ReplaceFileContents(const std::string& path, std::string_view bytes) {
  const std::string folder = FolderOf(path);
  const std::wstring target = Wide(path);
  const DWORD oldAttributes = GetFileAttributesW(target.c_str());
  const bool replacing =
      oldAttributes != INVALID_FILE_ATTRIBUTES && !(oldAttributes & FILE_ATTRIBUTE_DIRECTORY);

  std::random_device seed;
  std::mt19937_64 random(seed());
  std::string temporary;
  std::wstring temporaryWide;
  HANDLE created = INVALID_HANDLE_VALUE;
  DWORD error = 0;
  for (int attempt = 0; attempt < 100 && created == INVALID_HANDLE_VALUE; ++attempt) {
    temporary =
        folder + "\\~" + NameOf(path) + "." + std::to_string(random() % 1000000000) + ".tmp";
    temporaryWide = Wide(temporary);
    created = CreateFileW(temporaryWide.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                          FILE_ATTRIBUTE_NORMAL, nullptr);
    error = GetLastError();
    if (created == INVALID_HANDLE_VALUE && error != ERROR_FILE_EXISTS) break;
  }
  if (created == INVALID_HANDLE_VALUE) {
    return {false, "The list was not saved: cannot create a file in the folder \"" + folder +
                       "\": " + Reason(error) + "."};
  }
  Handle file(created);
  const auto fail = [&](const std::string& what, DWORD failure) {
    if (file.valid()) file.close();
    DeleteFileW(temporaryWide.c_str());
    return FileResult{false, "The list was not saved: " + what + ": " + Reason(failure) + "."};
  };

  while (!bytes.empty()) {
    const DWORD chunk = bytes.size() > (1u << 30) ? (1u << 30) : static_cast<DWORD>(bytes.size());
    DWORD written = 0;
    if (!WriteFile(file.get(), bytes.data(), chunk, &written, nullptr)) {
      return fail("cannot write to \"" + temporary + "\"", GetLastError());
    }
    bytes.remove_prefix(written);
  }
  if (!FlushFileBuffers(file.get())) {
    return fail("cannot write to \"" + temporary + "\"", GetLastError());
  }
  if (!file.close()) return fail("cannot write to \"" + temporary + "\"", GetLastError());

  // The new file takes on the old one's hidden and system marks itself, since not every
  // way of replacing below carries them over; ReplaceFileW also keeps its security.
  if (replacing) {
    constexpr DWORD kKept = FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_ARCHIVE |
                            FILE_ATTRIBUTE_NOT_CONTENT_INDEXED;
    if (oldAttributes & kKept) SetFileAttributesW(temporaryWide.c_str(), oldAttributes & kKept);
  }
  if (replacing && ReplaceFileW(target.c_str(), temporaryWide.c_str(), nullptr,
                                REPLACEFILE_IGNORE_MERGE_ERRORS, nullptr, nullptr)) {
    return {true, {}};
  }
  if (!MoveFileExW(temporaryWide.c_str(), target.c_str(),
                   MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
    return fail("cannot replace \"" + path + "\"", GetLastError());
  }
  return {true, {}};
}

std::string SystemAnsiToUtf8(std::string_view bytes) {
  const UINT codePage = GetACP();
  // A system whose ANSI code page is UTF-8 has none to fall back on: the bytes were not UTF-8.
  if (codePage == CP_UTF8 || bytes.empty()) return Windows1252ToUtf8(bytes);
  if (bytes.size() > static_cast<std::size_t>(INT_MAX)) throw std::bad_alloc();
  const int length =
      MultiByteToWideChar(codePage, 0, bytes.data(), static_cast<int>(bytes.size()), nullptr, 0);
  if (length <= 0) return Windows1252ToUtf8(bytes);
  std::wstring wide(static_cast<std::size_t>(length), L'\0');
  MultiByteToWideChar(codePage, 0, bytes.data(), static_cast<int>(bytes.size()), wide.data(),
                      length);
  return Narrow(wide);
}

}  // namespace tavelin
