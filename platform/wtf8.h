// Conversion between the program's internal text (UTF-8; strictly WTF-8, so that an unpaired
// UTF-16 surrogate survives a round trip) and UTF-16.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tavelin {

// UTF-16 to WTF-8. Unpaired surrogates are encoded as their three-byte forms.
std::string Utf16ToWtf8(std::u16string_view text);
// The same into `out`, whose room is used again.
void Utf16ToWtf8(std::u16string_view text, std::string& out);

// WTF-8 (or UTF-8) to UTF-16. A byte sequence that is not WTF-8 becomes U+FFFD per bad byte.
std::u16string Wtf8ToUtf16(std::string_view text);
// The same into `out`, whose room is used again.
void Wtf8ToUtf16(std::string_view text, std::u16string& out);

// Whether the bytes are well-formed UTF-8 (no surrogates, no overlong forms).
bool IsValidUtf8(std::string_view bytes);
// The offset of the first byte that does not begin a well-formed UTF-8 sequence, or nothing
// when all of them are well-formed.
std::optional<std::size_t> FindInvalidUtf8(std::string_view bytes);

constexpr bool IsHighSurrogate(char16_t c) {
  return c >= 0xD800 && c <= 0xDBFF;
}
constexpr bool IsLowSurrogate(char16_t c) {
  return c >= 0xDC00 && c <= 0xDFFF;
}
// Whether a surrogate stands without its partner: such text has no UTF-8 form.
bool HasUnpairedSurrogate(std::u16string_view text);

// UTF-16LE bytes (any length; an odd last byte is dropped) to UTF-16 code units, and back.
std::u16string Utf16LeBytesToText(const unsigned char* data, std::size_t size);
// The same into `out`, whose room is used again.
void Utf16LeBytesToText(const unsigned char* data, std::size_t size, std::u16string& out);
std::string TextToUtf16LeBytes(std::u16string_view text);
// The same into `out`, which has room for twice as many bytes as the text has code units.
void TextToUtf16Le(std::u16string_view text, unsigned char* out);

// UTF-16LE bytes straight to WTF-8, up to the first NUL code unit (or the end; an odd last
// byte is dropped), and WTF-8 straight to UTF-16LE bytes followed by one NUL code unit: the
// shape of REG_SZ data.
std::string Utf16LeToWtf8UpToNul(const unsigned char* data, std::size_t size);
std::vector<unsigned char> Wtf8ToUtf16LeWithNul(std::string_view text);

}  // namespace tavelin
