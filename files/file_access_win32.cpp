#include <windows.h>

#include <climits>
#include <new>

#include "files/file_access.h"
#include "files/list_file.h"
#include "platform/wide_text.h"

namespace tavelin {

PathKind ProbePath(const std::string& path) {
  const DWORD attributes = GetFileAttributesW(platform::ToWide(path).c_str());
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
  return platform::FromWide(wide);
}

}  // namespace tavelin
