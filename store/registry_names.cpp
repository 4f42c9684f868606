#include "store/registry_names.h"

#include "platform/wtf8.h"

namespace tavelin {

bool IsAsciiName(std::string_view name) {
  for (const char c : name) {
    if (static_cast<unsigned char>(c) >= 0x80) return false;
  }
  return true;
}

std::string FoldRegistryName(std::string_view name) {
  // Most names are plain ASCII: fold those without a round trip through UTF-16.
  if (IsAsciiName(name)) {
    std::string folded(name);
    for (char& c : folded) c = FoldAsciiLetter(c);
    return folded;
  }
  std::u16string text = Wtf8ToUtf16(name);
  for (char16_t& c : text) {
    if (c >= u'a' && c <= u'z') {
      c = static_cast<char16_t>(c - 0x20);
    } else if (c >= 0xE0 && c <= 0xFE && c != 0xF7) {
      c = static_cast<char16_t>(c - 0x20);
    } else if (c >= 0x3B1 && c <= 0x3C9 && c != 0x3C2) {
      c = static_cast<char16_t>(c - 0x20);
    } else if (c >= 0x430 && c <= 0x44F) {
      c = static_cast<char16_t>(c - 0x20);
    } else if (c >= 0x450 && c <= 0x45F) {
      c = static_cast<char16_t>(c - 0x50);
    }
  }
  return Utf16ToWtf8(text);
}

bool SameRegistryName(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) {
    // Folding keeps the length of ASCII text, so names of other lengths differ unless one of
    // them holds more than ASCII.
    if (IsAsciiName(a) && IsAsciiName(b)) return false;
    return FoldRegistryName(a) == FoldRegistryName(b);
  }
  for (std::size_t i = 0; i < a.size(); ++i) {
    const auto x = static_cast<unsigned char>(a[i]);
    const auto y = static_cast<unsigned char>(b[i]);
    if (x >= 0x80 || y >= 0x80)
      return FoldRegistryName(a.substr(i)) == FoldRegistryName(b.substr(i));
    if (x != y && FoldAsciiLetter(a[i]) != FoldAsciiLetter(b[i])) return false;
  }
  return true;
}

std::vector<std::string> SplitKeyPath(std::string_view keyPath) {
  std::vector<std::string> levels;
  std::size_t start = 0;
  while (start <= keyPath.size()) {
    std::size_t end = keyPath.find('\\', start);
    if (end == std::string_view::npos) end = keyPath.size();
    if (end > start) levels.emplace_back(keyPath.substr(start, end - start));
    start = end + 1;
  }
  return levels;
}

}  // namespace tavelin
