#include <windows.h>

#include "platform/system_error.h"
#include "platform/wide_text.h"

namespace tavelin::platform {

SystemErrorCode LastSystemError() {
  return GetLastError();
}

std::string SystemErrorText(SystemErrorCode code) {
  wchar_t* buffer = nullptr;
  const DWORD length = FormatMessageW(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
      nullptr, static_cast<DWORD>(code), 0, reinterpret_cast<wchar_t*>(&buffer), 0, nullptr);
  std::wstring_view text;
  if (length > 0 && buffer != nullptr) text = std::wstring_view(buffer, length);
  // The system ends its texts with a full stop and a line break.
  while (!text.empty() && (text.back() == L'\r' || text.back() == L'\n' || text.back() == L' ' ||
                           text.back() == L'.')) {
    text.remove_suffix(1);
  }
  std::string result = FromWide(text);
  if (buffer != nullptr) LocalFree(buffer);
  const std::string number = "error " + std::to_string(code);
  return result.empty() ? number : result + " (" + number + ")";
}

}  // namespace tavelin::platform
