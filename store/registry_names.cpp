#include "store/registry_names.h"

#include "platform/wtf8.h"

namespace tavelin {

std::string FoldRegistryName(std::string_view name) {
  // Most names are plain ASCII: fold those without a round trip through UTF-16.
  std::string ascii(name);
  bool plain = true;
  for (char& c : ascii) {
    if (static_cast<unsigned char>(c) >= 0x80) {
      plain = false;
      break;
    }
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 0x20);
  }
  if (plain) return ascii;
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
