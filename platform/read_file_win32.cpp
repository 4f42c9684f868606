#include <windows.h>

#include <new>

#include "platform/os_handle_win32.h"
#include "platform/read_file.h"
#include "platform/system_error.h"

namespace tavelin::platform {

namespace {

FileRead Failed(DWORD error) {
  FileRead result;
  result.error = SystemErrorText(error);
  return result;
}

}  // namespace

FileRead ReadWholeFile(const std::filesystem::path& path) {
  FileRead result;
  OsHandle file(CreateFileW(path.c_str(), GENERIC_READ,
                            FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                            OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file.valid()) {
    const DWORD error = GetLastError();
    if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND) {
      result.status = FileRead::Status::kMissing;
      return result;
    }
    // A folder cannot be opened this way at all; say what it is rather than "access denied".
    const DWORD attributes = GetFileAttributesW(path.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY)) {
      result.status = FileRead::Status::kNotRegularFile;
      return result;
    }
    return Failed(error);
  }
  // Devices and pipes (CON, NUL, \\.\pipe\...) are not files to read whole.
  if (GetFileType(file.get()) != FILE_TYPE_DISK) {
    result.status = FileRead::Status::kNotRegularFile;
    return result;
  }
  LARGE_INTEGER size{};
  if (!GetFileSizeEx(file.get(), &size)) return Failed(GetLastError());
  try {
    const auto expected = static_cast<unsigned long long>(size.QuadPart);
    if (expected >= result.bytes.max_size()) throw std::bad_alloc();
    result.bytes.reserve(static_cast<std::size_t>(expected) + 1);
    char buffer[1 << 16];
    for (;;) {
      DWORD got = 0;
      if (!ReadFile(file.get(), buffer, sizeof buffer, &got, nullptr)) {
        return Failed(GetLastError());
      }
      if (got == 0) break;
      result.bytes.append(buffer, got);
    }
  } catch (const std::bad_alloc&) {
    result.bytes = {};
    result.error = "the file is too large to be read into memory";
    return result;
  }
  result.status = FileRead::Status::kRead;
  return result;
}

}  // namespace tavelin::platform
