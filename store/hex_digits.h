// Hexadecimal digits, as the .reg format writes and reads them: lower case out, either case in.
#pragma once

namespace tavelin {

inline constexpr char kHexDigits[] = "0123456789abcdef";

// The digit's value, or -1 when the character is no hex digit.
inline constexpr auto kHexDigitValues = [] {
  struct Table {
    signed char value[128];
  } t{};
  for (int c = 0; c < 128; ++c) {
    t.value[c] = static_cast<signed char>(c >= '0' && c <= '9'   ? c - '0'
                                          : c >= 'a' && c <= 'f' ? c - 'a' + 10
                                          : c >= 'A' && c <= 'F' ? c - 'A' + 10
                                                                 : -1);
  }
  return t;
}();
constexpr int HexDigitValue(char16_t c) {
  return c < 128 ? kHexDigitValues.value[c] : -1;
}

}  // namespace tavelin
