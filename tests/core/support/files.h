// Files for the core tests: a folder of a test's own, and whole-file reads and writes that
// go around the program's own file code.
#pragma once

#include <cstddef>
#include <filesystem>
#include <set>
#include <string>
#include <string_view>

namespace tavelin::support {

// A name no other test run uses at the same time.
std::string UniqueTag();

// A new, empty folder under the system's temporary folder, named after `tag` and unique to
// this run, removed with everything in it when the object goes.
class TemporaryFolder {
 public:
  explicit TemporaryFolder(std::string_view tag = "test");
  ~TemporaryFolder();
  TemporaryFolder(const TemporaryFolder&) = delete;
  TemporaryFolder& operator=(const TemporaryFolder&) = delete;

  const std::filesystem::path& path() const { return path_; }
  std::filesystem::path operator/(const std::filesystem::path& name) const { return path_ / name; }
  // A path inside as the program's text (what the list file functions take).
  std::string text(const std::filesystem::path& name) const;

 private:
  std::filesystem::path path_;
};

// The whole file; empty when it cannot be read.
std::string ReadBytes(const std::filesystem::path& path);

// Creates or truncates the file and writes exactly these bytes.
void WriteBytes(const std::filesystem::path& path, std::string_view bytes);

// How many entries the folder holds.
std::size_t CountEntries(const std::filesystem::path& folder);
// The names of its entries (links as themselves).
std::set<std::string> FolderNames(const std::filesystem::path& folder);

// The bytes of a .reg file in UTF-16LE with its byte-order mark, as regedit writes it.
std::string Utf16File(std::u16string_view text);

}  // namespace tavelin::support
