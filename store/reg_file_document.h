// A .reg file held in memory: its format, and its key sections with their values, in file
// order. The reader fills it and the writer lays it out again (reg_file_reader.h,
// reg_file_writer.h).
//
// A file read and written again keeps every key and value, in its order, with its type and
// its bytes, and keeps its header, its text encoding and its line ends. Comments and the
// layout of the lines are not kept: the writer lays the file out as regedit does.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
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
  void clear() {
    slots_.clear();
    used_ = 0;
  }
  // Whether `count` entries (and the slots of removed ones) need more room than there is.
  bool full(std::size_t count) const { return 2 * std::max(count, used_) > slots_.size(); }
  // Empties it, with room for twice `count` entries.
  void reset(std::size_t count);
  void place(std::uint64_t hash, std::size_t position);
  // Takes out the entry at the last position, which no other entry's position follows. Its
  // slot stays taken, passed over by searches, until the index is next reset.
  void removeLast(std::uint64_t hash, std::size_t position);
  // The position of the entry with this hash that `matches` accepts, or kNone.
  template <class Matches>
  std::size_t find(std::uint64_t hash, Matches&& matches) const {
    if (slots_.empty()) return kNone;
    const std::size_t mask = slots_.size() - 1;
    for (std::size_t s = hash & mask;; s = (s + 1) & mask) {
      const std::uint64_t slot = slots_[s];
      if (slot == 0) return kNone;
      const std::uint64_t stored = slot & 0xFFFFFFFFu;
      if ((slot >> 32) == (hash >> 32) && stored != kRemoved && matches(stored - 1)) {
        return stored - 1;
      }
    }
  }

 private:
  static constexpr std::uint64_t kRemoved = 0xFFFFFFFFu;  // in place of a position plus one
  std::vector<std::uint64_t> slots_;
  std::size_t used_ = 0;  // slots taken, by entries or by removed ones
};

// The data of one value. Read from a file, it stands in the storage of the document that
// read it (a large file is then read with a few allocations instead of one per value) and
// lives as long as that document; set afterwards, or copied, it is the value's own.
class RegFileBytes {
 public:
  RegFileBytes() = default;
  // Its own copy of the bytes.
  explicit RegFileBytes(std::span<const std::uint8_t> bytes) { own(bytes); }
  RegFileBytes(const RegFileBytes& other) : RegFileBytes(other.span()) {}
  RegFileBytes(RegFileBytes&& other) noexcept { take(other); }
  RegFileBytes& operator=(const RegFileBytes& other) {
    assign(other.span());
    return *this;
  }
  RegFileBytes& operator=(RegFileBytes&& other) noexcept {
    if (this != &other) {
      release();
      take(other);
    }
    return *this;
  }
  ~RegFileBytes() { release(); }

  // Now a copy of these bytes (which may be its own). Bytes of the same size are written
  // over the old ones, wherever they stand.
  void assign(std::span<const std::uint8_t> bytes);

  std::span<const std::uint8_t> span() const { return {data_, size_}; }
  const std::uint8_t* data() const { return data_; }
  std::size_t size() const { return size_; }
  bool empty() const { return size_ == 0; }

 private:
  void own(std::span<const std::uint8_t> bytes);
  void take(RegFileBytes& other) {
    data_ = std::exchange(other.data_, nullptr);
    size_ = std::exchange(other.size_, 0);
    owned_ = std::exchange(other.owned_, false);
  }
  void release() {
    if (owned_) delete[] data_;
    data_ = nullptr;
    size_ = 0;
    owned_ = false;
  }

  friend class RegFileDocument;
  // Bytes in a document's storage, there for this value alone.
  static RegFileBytes Kept(std::uint8_t* bytes, std::size_t size) {
    RegFileBytes b;
    b.data_ = bytes;
    b.size_ = size;
    return b;
  }

  std::uint8_t* data_ = nullptr;
  std::size_t size_ = 0;
  bool owned_ = false;  // allocated for it, else kept by its document (or empty)
};

// One value of a key. An empty name is the key's default value, written `@`.
struct RegFileValue {
  std::string name;
  std::uint32_t type = regtype::kSz;
  RegFileBytes data;

  RegValueView value() const { return {type, data.span()}; }
};

// One [key] section: the key's full path as written (root first, e.g.
// "HKEY_CURRENT_USER\Software\Tavelin") and its values in file order.
class RegFileKey {
 public:
  explicit RegFileKey(std::string_view path);
  // `text` is the path followed by the path as CanonicalRegKeyPath gives it, kept by the
  // key's document (see RegFileDocument::keep).
  RegFileKey(RegFileBytes text, std::size_t pathSize);

  std::string_view path() const { return {chars(), pathSize_}; }
  // The path as CanonicalRegKeyPath gives it.
  std::string_view canonicalPath() const { return {chars() + pathSize_, text_.size() - pathSize_}; }
  const std::vector<RegFileValue>& values() const { return values_; }

  // Names compare as the registry compares them, without regard to case. The view lasts
  // until the key is next changed.
  std::optional<RegValueView> find(std::string_view name) const;
  // Stores the value; a new name goes last, an existing one keeps its place and its spelling.
  // True when anything changed. The value is copied.
  bool set(std::string_view name, RegValueView value);
  // The same for a value whose data the key's document keeps (see RegFileDocument::keep), or
  // that owns it.
  bool set(RegFileValue&& value);
  // True when the value was there.
  bool remove(std::string_view name);
  // Room for `more` values, so that a section read whole is stored without regrowing.
  void reserve(std::size_t more);

  // What its values add up to, for a writer that sizes its output ahead.
  struct Sizes {
    std::size_t names = 0;
    std::size_t stringData = 0;  // of REG_SZ values
    std::size_t otherData = 0;
  };
  const Sizes& sizes() const { return sizes_; }

 private:
  const char* chars() const { return reinterpret_cast<const char*>(text_.data()); }

  RegFileBytes text_;  // the path and its canonical form, one after the other
  std::size_t pathSize_ = 0;
  std::vector<RegFileValue> values_;
  // Kept only for keys with many values: most keys hold a few, and comparing their names
  // in place is cheaper than a table for each.
  static constexpr std::size_t kIndexFrom = 16;
  RegFilePositionIndex index_;
  // values_.size() when absent, with `hash` set to hashFor(name) then.
  std::size_t position(std::string_view name, std::uint64_t& hash) const;
  std::size_t search(std::string_view name, std::uint64_t hash) const;
  mutable std::size_t next_ = 0;  // where the next value asked for most likely stands
  Sizes sizes_;
  void count(const RegFileValue& v, int sign);  // into sizes_, or out of them
  std::uint64_t hashFor(std::string_view name) const;
  // `make` gives the RegFileBytes to store; called only when the value changes.
  template <class Name, class Make>
  bool store(Name&& name, RegValueView value, Make&& make);
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
  RegFileKey* appendSection(std::string_view fullPath);
  // Room for about this many sections, for a reader that can tell.
  void reserve(std::size_t sections);
  // A copy of the bytes (the second piece, if any, after the first) that this document keeps
  // for as long as it lives, as data for a value of one of its own keys. A copy of the
  // document owns its values' data instead.
  RegFileBytes keep(std::span<const std::uint8_t> first,
                    std::span<const std::uint8_t> second = {}) {
    return storage_.keep(first, second);
  }

 private:
  // Blocks that value data read from a file is kept in. They never move, so that the
  // values can point into them: a move of the document takes them along, a copy starts empty
  // (its values own their data).
  class Storage {
   public:
    Storage() = default;
    Storage(const Storage&) {}
    Storage(Storage&& other) noexcept { take(other); }
    // Keeps its blocks, which values still held may point into.
    Storage& operator=(const Storage&) { return *this; }
    Storage& operator=(Storage&& other) noexcept {
      if (this != &other) {
        blocks_.clear();
        take(other);
      }
      return *this;
    }
    ~Storage() = default;
    // The two one after the other.
    RegFileBytes keep(std::span<const std::uint8_t> first, std::span<const std::uint8_t> second);

   private:
    void take(Storage& other) {
      blocks_ = std::move(other.blocks_);
      other.blocks_.clear();
      free_ = std::exchange(other.free_, nullptr);
      left_ = std::exchange(other.left_, 0);
    }
    std::vector<std::unique_ptr<std::uint8_t[]>> blocks_;
    std::uint8_t* free_ = nullptr;  // the unused end of the last block
    std::size_t left_ = 0;
  };

  static constexpr std::size_t kNone = RegFilePositionIndex::kNone;
  std::size_t positionOf(std::string_view canonical) const;  // kNone when it has no section
  std::size_t positionOf(std::string_view canonical, std::uint64_t hash) const;
  std::size_t sectionFor(std::string_view fullPath) const;  // the same, by full path
  bool exists(std::string_view canonical) const;
  void rebuildIndex(std::size_t sections);  // room for this many, and every key placed
  void addToIndex(std::size_t position, std::uint64_t hash);
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
  Storage storage_;
  std::string scratch_;  // room for the canonical path of a section read
};

// The full path as the document stores it for a key under one of the predefined roots.
std::string RegFileKeyPath(RootKey root, std::string_view keyPath);

// A full path in the form used for comparing: the root's long name, every level folded,
// empty levels dropped. Empty when the path does not start with a known root.
std::string CanonicalRegKeyPath(std::string_view fullPath);
// The same into `out`, whose room is used again.
void CanonicalRegKeyPath(std::string_view fullPath, std::string& out);

}  // namespace tavelin
