#include "store/store_lock.h"

#include "platform/wide_text.h"

namespace tavelin {

namespace fs = std::filesystem;

bool NamesRegFile(const fs::path& store) {
  std::string extension = platform::PathText(store.extension());
  for (char& c : extension) c = static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
  return extension == ".reg";
}

}  // namespace tavelin
