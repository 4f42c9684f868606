// The .reg text format that regedit and Wine's `reg` export and import: reading it into keys
// and values, and writing it back.
//
// A file read and written again keeps every key and value, in its order, with its type and
// its bytes, and keeps its header, its text encoding and its line ends. Comments and the
// layout of the lines are not kept: the writer lays the file out as regedit does.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "store/registry.h"

namespace tavelin {

// "Windows Registry Editor Version 5.00" or "REGEDIT4". In a version 5 file the data of
// hex(1), hex(2) and hex(7) values is UTF-16LE; in a REGEDIT4 file it is 8-bit text, which
// this program takes as UTF-8.
enum class RegFileHeader { kVersion5, kRegedit4 };
enum class RegFileEncoding { kUtf16Le, kUtf8, kUtf8WithBom };
enum class RegFileLineEnd { kCrLf, kLf, kCr };

struct RegFileFormat {
  RegFileHeader header = RegFileHeader::kVersion5;
  RegFileEncoding encoding = RegFileEncoding::kUtf16Le;
  RegFileLineEnd lineEnd = RegFileLineEnd::kCrLf;
  bool operator==(const RegFileFormat&) const = default;
};

// One value of a key. An empty name is the key's default value, written `@`.
struct RegFileValue {
  std::string name;
  RegValue value;
};

// One [key] section: the key's full path as written (root first, e.g.
// "HKEY_CURRENT_USER\Software\Tavelin") and its values in file order.
class RegFileKey {
 public:
  explicit RegFileKey(std::string path);

  const std::string& path() const { return path_; }
  // The path as CanonicalRegKeyPath gives it.
  const std::string& canonicalPath() const { return canonical_; }
  const std::vector<RegFileValue>& values() const { return values_; }

  // Names compare as the registry compares them, without regard to case.
  const RegValue* find(std::string_view name) const;
  // Stores the value; a new name goes last, an existing one keeps its place and its spelling.
  // True when anything changed.
  bool set(std::string_view name, RegValue value);
  // True when the value was there.
  bool remove(std::string_view name);

 private:
  std::string path_;
  std::string canonical_;
  std::vector<RegFileValue> values_;
  std::vector<std::string> folded_;  // each value's name folded, for comparing
  // Folded name -> position, kept only for keys with many values: most keys hold a few,
  // and a search through those is cheaper than a table for each.
  static constexpr std::size_t kIndexFrom = 16;
  std::unordered_map<std::string, std::size_t> index_;
  std::size_t position(const std::string& folded) const;  // values_.size() when absent
  void reindex();
};

// A whole file: its format and its key sections in file order. A key exists when it has a
// section of its own or a section below it does; the root keys always exist.
class RegFileDocument {
 public:
  RegFileFormat format;

  const std::vector<RegFileKey>& keys() const { return keys_; }

  // The section of the key at this full path, or null when it has none.
  RegFileKey* findKey(std::string_view fullPath);
  const RegFileKey* findKey(std::string_view fullPath) const;
  bool keyExists(std::string_view fullPath) const;
  // The key's section, created with a section for every missing key above it (as an export
  // would list them), placed after the sections of its nearest existing ancestor's tree.
  // Returns the section and whether anything was created.
  std::pair<RegFileKey*, bool> createKey(std::string_view fullPath);
  // Removes the key's section and every section below it. True when any was there.
  bool deleteKeyTree(std::string_view fullPath);
  // Appends a section as it stands in a file; a second section of the same key is merged
  // into the first (its values override the earlier ones). Returns the section, or null
  // when the path does not start with a known root. Sections already handed out stay
  // valid only until the next call that adds or removes one.
  RegFileKey* appendSection(std::string_view fullPath);

 private:
  void reindex();
  std::vector<RegFileKey> keys_;
  std::unordered_map<std::string, std::size_t> index_;  // folded path -> position
  std::unordered_set<std::string> present_;             // folded paths of keys and ancestors
};

// The full path as the document stores it for a key under one of the predefined roots.
std::string RegFileKeyPath(RootKey root, std::string_view keyPath);

// A full path in the form used for comparing: the root's long name, every level folded,
// empty levels dropped. Empty when the path does not start with a known root.
std::string CanonicalRegKeyPath(std::string_view fullPath);

struct RegParseError {
  std::size_t line = 0;    // from 1
  std::size_t column = 0;  // from 1, in characters
  std::string message;
};

struct RegParseResult {
  std::optional<RegFileDocument> document;  // set on success
  RegParseError error;                      // meaningful when document is empty
};

// Reads a whole file. Deletions in it (`[-key]`, `"name"=-`) are applied as they come.
// An empty file reads as an empty version 5 document.
RegParseResult ParseRegFile(std::string_view bytes);

struct RegWriteResult {
  std::optional<std::string> bytes;  // set on success
  std::string error;                 // why the document cannot be written in its format
};

// Lays the document out in its own header, encoding and line ends. A REGEDIT4 file cannot
// carry string data that is not whole UTF-16 text (an odd byte count or an unpaired
// surrogate); such a document is refused rather than altered.
RegWriteResult WriteRegFile(const RegFileDocument& document);

}  // namespace tavelin
