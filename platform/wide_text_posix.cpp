#include "platform/wide_text.h"

namespace tavelin::platform {

std::filesystem::path PathFromText(std::string_view text) {
  return std::filesystem::path(std::string(text));
}

std::string PathText(const std::filesystem::path& path) {
  return path.native();
}

}  // namespace tavelin::platform
