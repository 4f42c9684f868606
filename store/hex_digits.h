// Hexadecimal digits, as the .reg format writes and reads them: lower case out, either case in.
#pragma once

namespace tavelin {

inline constexpr char kHexDigits[] = "0123456789abcdef";

// The digit's value, or -1 when the character is no hex digit.
constexpr int HexDigitValue(char16_t c) {
  if (c >= u'0' && c <= u'9') return c - u'0';
  if (c >= u'a' && c <= u'f') return c - u'a' + 10;
  if (c >= u'A' && c <= u'F') return c - u'A' + 10;
  return -1;
}

}  // namespace tavelin
