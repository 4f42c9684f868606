// The two address lists the crash test's writer saves in turn. Their lengths differ, so a
// file holding part of one and part of the other shows, as does one cut short. And the store
// both processes open: a Windows hive when the file is one, else the .reg file.
#pragma once

#include <chrono>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "store/registry_file.h"
#include "store/registry_offline_hive.h"

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

inline std::unique_ptr<RegistryBackend> OpenStore(
    const std::filesystem::path& path,
    std::chrono::milliseconds lockTimeout = std::chrono::seconds(5)) {
  if (IsWindowsHiveFile(path)) return std::make_unique<OfflineHiveRegistry>(path, lockTimeout);
  return std::make_unique<RegFileRegistry>(path, lockTimeout);
}

}  // namespace tavelin::hivecrash
