// A .reg file held in memory: its format, and its key sections with their values, in file
// order. The reader fills it and the writer lays it out again (reg_file_reader.h,
// reg_file_writer.h).
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
#include <utility>
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
  std::uint32_t type = regtype::kSz;
  std::vector<std::uint8_t> data;

  RegValueView value() const { return {type, data}; }
};

// One [key] section: the key's full path as written (root first, e.g.
// "HKEY_CURRENT_USER\Software\Tavelin") and its values in file order.
class RegFileKey {
 public:
  explicit RegFileKey(std::string_view path);

  std::string_view path() const { return path_; }
  // The path as CanonicalRegKeyPath gives it.
  std::string_view canonicalPath() const { return canonical_; }
  const std::vector<RegFileValue>& values() const { return values_; }

  // Names compare as the registry compares them, without regard to case. The view lasts
  // until the key is next changed.
  std::optional<RegValueView> find(std::string_view name) const;
  // Stores the value; a new name goes last, an existing one keeps its place and its spelling.
  // True when anything changed.
  bool set(std::string_view name, RegValueView value);
  // The same, taking the value's name and data rather than copying them.
  bool set(RegFileValue&& value);
  // True when the value was there.
  bool remove(std::string_view name);

 private:
  std::size_t position(std::string_view name) const;  // values_.size() when absent

  std::string path_;
  std::string canonical_;
  std::vector<RegFileValue> values_;
  // Folded name -> position in values_, kept once a key holds many values (one may hold a
  // million typed addresses); the few values of most keys are compared one by one.
  static constexpr std::size_t kMapFrom = 32;
  std::unordered_map<std::string, std::size_t> positions_;
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
  std::size_t positionOf(const std::string& canonical) const;  // keys_.size() when none
  bool exists(const std::string& canonical) const;
  // Every path above this section's own, up to the root, counted as existing.
  void addAncestors(const std::string& canonical);
  void reindex();  // after sections moved

  // The canonical form of the full path last asked for: a command asks for one key's values
  // one after another, and folding its path each time costs more than the lookup.
  const std::string& canonicalOf(std::string_view fullPath) const;
  std::size_t sectionOf(std::string_view fullPath) const;  // keys_.size() when none
  mutable std::string lastPath_, lastCanonical_;
  mutable std::size_t lastPosition_ = 0;  // of lastPath_'s section; sections move: see reindex

  std::vector<RegFileKey> keys_;
  std::unordered_map<std::string, std::size_t> sections_;  // canonical path -> position
  // Canonical paths of keys that have no section of their own but a section below them.
  std::unordered_set<std::string> ancestors_;
};

// The full path as the document stores it for a key under one of the predefined roots.
std::string RegFileKeyPath(RootKey root, std::string_view keyPath);

// A full path in the form used for comparing: the root's long name, every level folded,
// empty levels dropped. Empty when the path does not start with a known root.
std::string CanonicalRegKeyPath(std::string_view fullPath);

}  // namespace tavelin
