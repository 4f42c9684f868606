// Conversion between the program's internal text (UTF-8; strictly WTF-8, so that an unpaired
// UTF-16 surrogate survives a round trip) and UTF-16.
#pragma once

#include <string>
#include <string_view>

namespace tavelin {

// UTF-16 to WTF-8. Unpaired surrogates are encoded as their three-byte forms.
std::string Utf16ToWtf8(std::u16string_view text);

// WTF-8 (or UTF-8) to UTF-16. A byte sequence that is not WTF-8 becomes U+FFFD per bad byte.
std::u16string Wtf8ToUtf16(std::string_view text);

// Whether the bytes are well-formed UTF-8 (no surrogates, no overlong forms).
bool IsValidUtf8(std::string_view bytes);

// UTF-16LE bytes (any length; an odd last byte is dropped) to UTF-16 code units, and back.
std::u16string Utf16LeBytesToText(const unsigned char* data, std::size_t size);
std::string TextToUtf16LeBytes(std::u16string_view text);

}  // namespace tavelin
