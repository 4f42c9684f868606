#include "platform/wtf8.h"

#include <bit>
#include <cstdint>
#include <cstring>

namespace tavelin {

namespace {

// Writes the code point's bytes at `at` and returns where they end.
char* PutCodePoint(char* at, std::uint32_t cp) {
  if (cp < 0x80) {
    *at++ = static_cast<char>(cp);
  } else if (cp < 0x800) {
    *at++ = static_cast<char>(0xC0 | (cp >> 6));
    *at++ = static_cast<char>(0x80 | (cp & 0x3F));
  } else if (cp < 0x10000) {
    *at++ = static_cast<char>(0xE0 | (cp >> 12));
    *at++ = static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    *at++ = static_cast<char>(0x80 | (cp & 0x3F));
  } else {
    *at++ = static_cast<char>(0xF0 | (cp >> 18));
    *at++ = static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
    *at++ = static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    *at++ = static_cast<char>(0x80 | (cp & 0x3F));
  }
  return at;
}

// Decodes one sequence at `i`; returns the code point (surrogates allowed when `wtf8`) or
// -1 for an ill-formed sequence, and advances `i` past what it consumed.
long DecodeOne(std::string_view s, std::size_t& i, bool allowSurrogates) {
  const auto b0 = static_cast<unsigned char>(s[i]);
  if (b0 < 0x80) {
    ++i;
    return b0;
  }
  int len = 0;
  std::uint32_t cp = 0;
  std::uint32_t min = 0;
  if ((b0 & 0xE0) == 0xC0) {
    len = 2, cp = b0 & 0x1F, min = 0x80;
  } else if ((b0 & 0xF0) == 0xE0) {
    len = 3, cp = b0 & 0x0F, min = 0x800;
  } else if ((b0 & 0xF8) == 0xF0) {
    len = 4, cp = b0 & 0x07, min = 0x10000;
  } else {
    ++i;
    return -1;
  }
  if (i + len > s.size()) {
    ++i;
    return -1;
  }
  for (int k = 1; k < len; ++k) {
    const auto b = static_cast<unsigned char>(s[i + k]);
    if ((b & 0xC0) != 0x80) {
      ++i;
      return -1;
    }
    cp = (cp << 6) | (b & 0x3F);
  }
  if (cp < min || cp > 0x10FFFF || (!allowSurrogates && cp >= 0xD800 && cp <= 0xDFFF)) {
    ++i;
    return -1;
  }
  i += len;
  return static_cast<long>(cp);
}

}  // namespace

std::string Utf16ToWtf8(std::u16string_view text) {
  std::string out;
  Utf16ToWtf8(text, out);
  return out;
}

void Utf16ToWtf8(std::u16string_view text, std::string& out) {
  // Room for the longest result (three bytes a code unit), written in place, then cut to size.
  out.resize(3 * text.size());
  char* at = out.data();
  for (std::size_t i = 0; i < text.size(); ++i) {
    const std::uint32_t cu = text[i];
    if (IsHighSurrogate(text[i]) && i + 1 < text.size() && IsLowSurrogate(text[i + 1])) {
      const std::uint32_t lo = text[++i];
      at = PutCodePoint(at, 0x10000 + ((cu - 0xD800) << 10) + (lo - 0xDC00));
    } else {
      at = PutCodePoint(at, cu);
    }
  }
  out.resize(static_cast<std::size_t>(at - out.data()));
}

std::u16string Wtf8ToUtf16(std::string_view text) {
  std::u16string out;
  Wtf8ToUtf16(text, out);
  return out;
}

void Wtf8ToUtf16(std::string_view text, std::u16string& out) {
  // Never more code units than bytes: written in place, then cut to size.
  out.resize(text.size());
  std::size_t n = 0;
  for (std::size_t i = 0; i < text.size();) {
    const long cp = DecodeOne(text, i, true);
    if (cp < 0) {
      out[n++] = u'\uFFFD';
    } else if (cp >= 0x10000) {
      const auto v = static_cast<std::uint32_t>(cp) - 0x10000;
      out[n++] = static_cast<char16_t>(0xD800 + (v >> 10));
      out[n++] = static_cast<char16_t>(0xDC00 + (v & 0x3FF));
    } else {
      out[n++] = static_cast<char16_t>(cp);
    }
  }
  out.resize(n);
}

bool IsValidUtf8(std::string_view bytes) {
  return !FindInvalidUtf8(bytes);
}

std::optional<std::size_t> FindInvalidUtf8(std::string_view bytes) {
  std::size_t i = 0;
  while (i < bytes.size()) {
    if (static_cast<unsigned char>(bytes[i]) < 0x80) {
      ++i;
      continue;
    }
    const std::size_t at = i;
    if (DecodeOne(bytes, i, false) < 0) return at;
  }
  return std::nullopt;
}

bool HasUnpairedSurrogate(std::u16string_view text) {
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (IsHighSurrogate(text[i])) {
      if (i + 1 < text.size() && IsLowSurrogate(text[i + 1])) {
        ++i;
      } else {
        return true;
      }
    } else if (IsLowSurrogate(text[i])) {
      return true;
    }
  }
  return false;
}

std::u16string Utf16LeBytesToText(const unsigned char* data, std::size_t size) {
  std::u16string out;
  Utf16LeBytesToText(data, size, out);
  return out;
}

void Utf16LeBytesToText(const unsigned char* data, std::size_t size, std::u16string& out) {
  out.resize(size / 2);
  // On a little-endian machine the bytes already are the code units.
  if constexpr (std::endian::native == std::endian::little) {
    if (!out.empty()) std::memcpy(out.data(), data, 2 * out.size());
    return;
  }
  for (std::size_t i = 0; i < out.size(); ++i) {
    out[i] = static_cast<char16_t>(data[2 * i] | (data[2 * i + 1] << 8));
  }
}

std::string TextToUtf16LeBytes(std::u16string_view text) {
  std::string out(text.size() * 2, '\0');
  TextToUtf16Le(text, reinterpret_cast<unsigned char*>(out.data()));
  return out;
}

void TextToUtf16Le(std::u16string_view text, unsigned char* out) {
  if constexpr (std::endian::native == std::endian::little) {
    if (!text.empty()) std::memcpy(out, text.data(), 2 * text.size());
    return;
  }
  for (const char16_t c : text) {
    *out++ = static_cast<unsigned char>(c & 0xFF);
    *out++ = static_cast<unsigned char>(c >> 8);
  }
}

std::string Utf16LeToWtf8UpToNul(const unsigned char* data, std::size_t size) {
  // Every command reads the whole list this way, one value at a time.
  const std::size_t units = size / 2;
  const auto unit = [data](std::size_t i) {
    return static_cast<char16_t>(data[2 * i] | (data[2 * i + 1] << 8));
  };
  std::size_t length = 0;
  bool ascii = true;
  for (; length < units && unit(length) != u'\0'; ++length) ascii = ascii && unit(length) < 0x80;
  if (ascii) {  // nearly every address: one byte a unit
    std::string out(length, '\0');
    for (std::size_t i = 0; i < length; ++i) out[i] = static_cast<char>(data[2 * i]);
    return out;
  }
  std::u16string text;
  Utf16LeBytesToText(data, 2 * length, text);
  return Utf16ToWtf8(text);
}

std::vector<unsigned char> Wtf8ToUtf16LeWithNul(std::string_view text) {
  const std::u16string units = Wtf8ToUtf16(text);
  std::vector<unsigned char> out(2 * units.size() + 2, 0);
  TextToUtf16Le(units, out.data());
  return out;
}

}  // namespace tavelin
