#include "store/store_name.h"

#include <cstdint>
#include <cstdio>

namespace tavelin {

std::string StoreFolderName(std::string_view identity) {
  std::string name;
  for (char c : identity) {
    const bool plain = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
                       c == '.' || c == '-' || c == '_' || static_cast<unsigned char>(c) >= 0x80;
    name += plain ? c : '_';
  }
  while (!name.empty() && name.front() == '_') name.erase(name.begin());
  return name.empty() ? std::string("store") : name;
}

std::string UniqueStoreFolderName(std::string_view identity) {
  std::uint64_t hash = 1469598103934665603ull;  // FNV-1a
  for (const char c : identity) hash = (hash ^ static_cast<unsigned char>(c)) * 1099511628211ull;
  char hex[17];
  std::snprintf(hex, sizeof hex, "%016llx", static_cast<unsigned long long>(hash));
  std::string name = StoreFolderName(identity);
  // The end of a path tells stores apart better than its start.
  if (name.size() > 150) name.erase(0, name.size() - 150);
  return name + "-" + hex;
}

}  // namespace tavelin
