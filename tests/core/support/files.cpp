#include "support/files.h"

#include <chrono>
#include <cstdint>
#include <fstream>
#include <iterator>
#include <random>
#include <sstream>
#include <stdexcept>
#include <system_error>

#include "platform/wide_text.h"
#include "platform/wtf8.h"

namespace tavelin::support {

namespace fs = std::filesystem;

std::string UniqueTag() {
  std::random_device device;
  std::mt19937_64 generator(
      (static_cast<std::uint64_t>(device()) << 32) ^ device() ^
      static_cast<std::uint64_t>(std::chrono::steady_clock::now().time_since_epoch().count()));
  std::ostringstream tag;
  tag << std::hex << generator();
  return tag.str();
}

TemporaryFolder::TemporaryFolder(std::string_view tag) {
  const fs::path base = fs::temp_directory_path();
  for (int attempt = 0; attempt < 100; ++attempt) {
    const fs::path candidate = base / ("tavelin-" + std::string(tag) + "-" + UniqueTag());
    std::error_code ec;
    if (fs::create_directory(candidate, ec)) {
      path_ = candidate;
      return;
    }
  }
  throw std::runtime_error("no temporary folder could be made in " + base.string());
}

TemporaryFolder::~TemporaryFolder() {
  std::error_code ignored;
  fs::remove_all(path_, ignored);
}

std::string TemporaryFolder::text(const fs::path& name) const {
  return platform::PathText(path_ / name);
}

std::string ReadBytes(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void WriteBytes(const fs::path& path, std::string_view bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

std::size_t CountEntries(const fs::path& folder) {
  std::size_t n = 0;
  for ([[maybe_unused]] const auto& entry : fs::directory_iterator(folder)) ++n;
  return n;
}

std::set<std::string> FolderNames(const fs::path& folder) {
  std::set<std::string> names;
  for (const auto& entry : fs::directory_iterator(folder)) {
    names.insert(entry.path().filename().string());
  }
  return names;
}

std::string Utf16File(std::u16string_view text) {
  return "\xFF\xFE" + TextToUtf16LeBytes(text);
}

}  // namespace tavelin::support
