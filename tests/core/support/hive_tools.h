// Windows hives for the tests (POSIX): blank ones of our own, grown through hivex itself
// rather than through the program's backend, and hivex's own tools as the peer that reads
// them back.
#pragma once

#ifndef _WIN32

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "store/registry.h"

namespace tavelin::support {

// Writes a blank hive (blank_hive.h) there and gives the path back.
std::filesystem::path WriteBlankHive(const std::filesystem::path& path);

struct HiveValue {
  std::string name;
  RegValue value;
};

// Adds the key (with its missing parents) and sets these values in it, through hivex, and
// commits the hive in place. False when hivex refuses.
bool AddToHive(const std::filesystem::path& hive, std::string_view keyPath,
               const std::vector<HiveValue>& values);

// A REG_SZ value as Windows stores it: UTF-16LE with its terminator.
HiveValue StringValue(std::string_view name, std::u16string_view text);

// Whether hivexregedit and hivexsh are installed.
bool HiveToolsPresent();

// The whole hive as `hivexregedit --export` writes it, below HKEY_CURRENT_USER; nothing when
// the tool fails.
std::optional<std::string> ExportHive(const std::filesystem::path& hive);

// Whether hivexsh opens the hive and lists its root.
bool OpensInHivexsh(const std::filesystem::path& hive);

// The shared real hives (../shared/hives/NAME from the source tree), when that folder is
// there; a fresh clone has none.
std::optional<std::filesystem::path> SharedHive(std::string_view name);

}  // namespace tavelin::support

#endif  // _WIN32
