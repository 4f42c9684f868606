// The two address lists the crash test's writer saves in turn. Their lengths differ, so a
// file holding part of one and part of the other shows, as does one cut short.
#pragma once

#include <string>
#include <vector>

namespace tavelin::hivecrash {

inline std::vector<std::string> NumberedTexts(const std::string& prefix, int count) {
  std::vector<std::string> texts;
  for (int i = 1; i <= count; ++i) texts.push_back(prefix + std::to_string(i));
  return texts;
}

inline std::vector<std::string> ListA() {
  return NumberedTexts("a", 200);
}
inline std::vector<std::string> ListB() {
  return NumberedTexts("b", 150);
}

}  // namespace tavelin::hivecrash
