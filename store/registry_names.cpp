#include "store/registry_names.h"

#include <cstring>

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

namespace {

constexpr std::uint64_t kBytes = 0x0101010101010101u;
constexpr std::uint64_t kByteTops = 0x8080808080808080u;

// Eight bytes of plain ASCII with their small letters made capitals, as FoldAsciiLetter
// does one by one: a byte from 'a' to 'z' loses 0x20.
constexpr std::uint64_t FoldAsciiWord(std::uint64_t w) {
  const std::uint64_t fromA = w + (0x80 - 'a') * kBytes;
  const std::uint64_t pastZ = w + (0x80 - 'z' - 1) * kBytes;
  return w - ((fromA & ~pastZ & kByteTops) >> 2);
}

std::uint64_t Mix(std::uint64_t h) {
  h ^= h >> 32;
  h *= 0xd6e8feb86659fd93u;
  h ^= h >> 32;
  return h;
}

}  // namespace

std::uint64_t HashRegistryName(std::string_view name) {
  // Eight letters at a time, folded on the way, while they are plain ASCII.
  std::uint64_t h = name.size();
  std::uint64_t high = 0;  // top bits of every byte seen
  std::size_t i = 0;
  for (; i + 8 <= name.size(); i += 8) {
    std::uint64_t w;
    std::memcpy(&w, name.data() + i, 8);
    high |= w;
    h = Mix(h ^ FoldAsciiWord(w & ~kByteTops)) * 0x9e3779b97f4a7c15u;
  }
  if (i < name.size()) {
    std::uint64_t w = 0;
    for (std::size_t k = 0; i + k < name.size(); ++k) {
      w |= std::uint64_t{static_cast<unsigned char>(name[i + k])} << (8 * k);
    }
    high |= w;
    h = Mix(h ^ FoldAsciiWord(w & ~kByteTops)) * 0x9e3779b97f4a7c15u;
  }
  if ((high & kByteTops) == 0) return Mix(h);
  // More than ASCII: folded in full, and the folded text hashed as it stands.
  const std::string folded = FoldRegistryName(name);
  h = folded.size();
  for (const char c : folded) h = (h ^ static_cast<unsigned char>(c)) * 0x100000001b3u;
  return Mix(h ^ 0x9e3779b97f4a7c15u);
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
