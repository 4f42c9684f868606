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
#include <string>
#include <string_view>
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

// Positions in a list, found by hash: open addressing, at most half full. Each slot holds the
// hash's high half and the position plus one, or 0 when empty, so that a search seldom looks
// at an entry that only shares its slot. Saves a node and a copy of the name per entry,
// which is most of the work of reading a large file.
class RegFilePositionIndex {
 public:
  static constexpr std::size_t kNone = static_cast<std::size_t>(-1);

  bool empty() const { return slots_.empty(); }
  void clear() { slots_.clear(); }
  // Whether `count` entries need more room than there is.
  bool full(std::size_t count) const { return 2 * count > slots_.size(); }
  // Empties it, with room for twice `count` entries.
  void reset(std::size_t count);
  void place(std::uint64_t hash, std::size_t position);
  // The position of the entry with this hash that `matches` accepts, or kNone.
  template <class Matches>
  std::size_t find(std::uint64_t hash, Matches&& matches) const {
    if (slots_.empty()) return kNone;
    const std::size_t mask = slots_.size() - 1;
    for (std::size_t s = hash & mask;; s = (s + 1) & mask) {
      const std::uint64_t slot = slots_[s];
      if (slot == 0) return kNone;
      const std::size_t at = (slot & 0xFFFFFFFFu) - 1;
      if ((slot >> 32) == (hash >> 32) && matches(at)) return at;
    }
  }

 private:
  std::vector<std::uint64_t> slots_;
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
  // `canonical` is the path as CanonicalRegKeyPath gives it.
  RegFileKey(std::string path, std::string canonical);

  const std::string& path() const { return path_; }
  // The path as CanonicalRegKeyPath gives it.
  const std::string& canonicalPath() const { return canonical_; }
  const std::vector<RegFileValue>& values() const { return values_; }

  // Names compare as the registry compares them, without regard to case.
  const RegValue* find(std::string_view name) const;
  // Stores the value; a new name goes last, an existing one keeps its place and its spelling.
  // True when anything changed.
  bool set(std::string_view name, const RegValue& value);
  bool set(RegFileValue&& value);
  // True when the value was there.
  bool remove(std::string_view name);
  // Room for `more` values, so that a section read whole is stored without regrowing.
  void reserve(std::size_t more);

 private:
  std::string path_;
  std::string canonical_;
  std::vector<RegFileValue> values_;
  // Kept only for keys with many values: most keys hold a few, and comparing their names
  // in place is cheaper than a table for each.
  static constexpr std::size_t kIndexFrom = 16;
  RegFilePositionIndex index_;
  // values_.size() when absent, with `hash` set to hashFor(name) then.
  std::size_t position(std::string_view name, std::uint64_t& hash) const;
  std::size_t search(std::string_view name, std::uint64_t hash) const;
  mutable std::size_t next_ = 0;  // where the next value asked for most likely stands
  std::uint64_t hashFor(std::string_view name) const;
  template <class Name, class Value>
  bool store(Name&& name, Value&& value);
  // Every value placed again, with room for at least `room` of them.
  void reindex(std::size_t room = 0);
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
  RegFileKey* appendSection(std::string fullPath);
  // Room for about this many sections, for a reader that can tell.
  void reserve(std::size_t sections);

 private:
  static constexpr std::size_t kNone = RegFilePositionIndex::kNone;
  std::size_t positionOf(std::string_view canonical) const;  // kNone when it has no section
  std::size_t sectionFor(std::string_view fullPath) const;   // the same, by full path
  bool exists(std::string_view canonical) const;
  void rebuildIndex(std::size_t sections);  // room for this many, and every key placed
  void addToIndex(std::size_t position);
  // `known` is a section whose ancestors are all known, or empty.
  void addAncestors(std::string_view canonical, std::string_view known);
  void reindex();

  std::vector<RegFileKey> keys_;
  RegFilePositionIndex index_;  // positions in keys_, by canonical path
  // Canonical paths of keys that have no section of their own but a section below them.
  std::unordered_set<std::string> ancestors_;
  // The full path last looked up, as given, and its section's position. Positions change
  // only when sections are inserted or removed, which resets it.
  mutable std::string lastPath_;
  mutable std::size_t lastPosition_ = kNone;
};

// The full path as the document stores it for a key under one of the predefined roots.
std::string RegFileKeyPath(RootKey root, std::string_view keyPath);

// A full path in the form used for comparing: the root's long name, every level folded,
// empty levels dropped. Empty when the path does not start with a known root.
std::string CanonicalRegKeyPath(std::string_view fullPath);

}  // namespace tavelin
