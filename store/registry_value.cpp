#include "store/registry_value.h"

#include "platform/wtf8.h"

namespace tavelin {

std::string RegValueText(RegValueView value) {
  switch (value.type) {
    case regtype::kSz:
    case regtype::kExpandSz:
      return Utf16LeToWtf8UpToNul(value.data.data(), value.data.size());
    case regtype::kDword: {
      const std::optional<std::uint32_t> number = DwordOf(value);
      return number ? std::to_string(*number) : std::string();
    }
    default:
      return {};
  }
}

bool IsTextValue(RegValueView value, std::string_view text) {
  if (value.type != regtype::kSz) return false;
  // Plain ASCII, nearly every address, unit by unit; anything else through a conversion.
  const std::uint8_t* data = value.data.data();
  const std::size_t units = value.data.size() / 2;
  std::size_t i = 0;
  for (; i < text.size() && i < units && static_cast<unsigned char>(text[i]) < 0x80; ++i) {
    if (data[2 * i] != static_cast<unsigned char>(text[i]) || data[2 * i + 1] != 0) return false;
  }
  if (i == text.size()) {
    return value.data.size() == 2 * i + 2 && data[2 * i] == 0 && data[2 * i + 1] == 0;
  }
  const std::vector<unsigned char> asStored = Wtf8ToUtf16LeWithNul(text);
  return std::equal(value.data.begin(), value.data.end(), asStored.begin(), asStored.end());
}

}  // namespace tavelin
