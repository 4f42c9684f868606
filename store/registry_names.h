// How the registry compares key and value names: without regard to letter case.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace tavelin {

// The name folded to upper case (ASCII, Latin-1, Greek and Cyrillic letters), for
// comparing names the way the registry does.
std::string FoldRegistryName(std::string_view name);
// Plain ASCII, which folds letter by letter in place.
bool IsAsciiName(std::string_view name);
constexpr char FoldAsciiLetter(char c) {
  return c >= 'a' && c <= 'z' ? static_cast<char>(c - 0x20) : c;
}
// Whether two names are the same to the registry. Compares plain ASCII in place.
bool SameRegistryName(std::string_view a, std::string_view b);

// Splits a key path at its backslashes, dropping empty levels ("A\\B\\" gives A, B).
std::vector<std::string> SplitKeyPath(std::string_view keyPath);

}  // namespace tavelin
