#include "platform/wide_text.h"
#include "platform/wtf8.h"

namespace tavelin::platform {

static_assert(sizeof(wchar_t) == sizeof(char16_t), "Windows wide strings are UTF-16");

std::wstring ToWide(std::string_view text) {
  const std::u16string units = Wtf8ToUtf16(text);
  return std::wstring(units.begin(), units.end());
}

std::string FromWide(std::wstring_view text) {
  return Utf16ToWtf8(std::u16string(text.begin(), text.end()));
}

std::filesystem::path PathFromText(std::string_view text) {
  return std::filesystem::path(ToWide(text));
}

std::string PathText(const std::filesystem::path& path) {
  return FromWide(path.native());
}

}  // namespace tavelin::platform
