#include "store/hive_cells.h"

#include <algorithm>
#include <optional>
#include <set>
#include <utility>

#include "platform/wtf8.h"
#include "store/little_endian.h"

namespace tavelin {

namespace {

constexpr std::size_t kBaseBlockSize = 0x1000;
constexpr std::size_t kBinHeaderSize = 0x20;
constexpr std::size_t kBinAlignment = 0x1000;
constexpr std::uint32_t kDataInline = 0x80000000u;  // in a value's data size: data in the offset
constexpr std::uint16_t kKeyNameLatin1 = 0x0020;
constexpr std::uint16_t kValueNameLatin1 = 0x0001;

std::string Latin1ToUtf8(std::string_view bytes) {
  std::string text;
  for (const char c : bytes) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte < 0x80) {
      text += c;
    } else {
      text += static_cast<char>(0xC0 | byte >> 6);
      text += static_cast<char>(0x80 | (byte & 0x3F));
    }
  }
  return text;
}

std::string StoredName(std::string_view bytes, bool latin1) {
  if (latin1) return Latin1ToUtf8(bytes);
  return Utf16ToWtf8(
      Utf16LeBytesToText(reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size()));
}

class Walker {
 public:
  explicit Walker(std::string_view hive) : hive_(hive) {}

  HiveCellWalk run() {
    if (hive_.size() < kBaseBlockSize || hive_.substr(0, 4) != "regf") {
      return fail("it has no base block");
    }
    walk_.minorVersion = LittleEndian32(hive_, 0x18);
    const std::uint32_t binsSize = LittleEndian32(hive_, 0x28);
    if (binsSize % kBinAlignment != 0 || binsSize > hive_.size() - kBaseBlockSize) {
      return fail("its base block gives " + std::to_string(binsSize) +
                  " bytes of bins, which the file does not hold");
    }
    binsEnd_ = kBaseBlockSize + binsSize;
    if (!readBins()) return std::move(walk_);
    walkKeys(LittleEndian32(hive_, 0x24));
    return std::move(walk_);
  }

 private:
  struct Bin {
    std::size_t start;
    std::size_t end;
  };

  HiveCellWalk fail(std::string why) {
    if (walk_.error.empty()) walk_.error = std::move(why);
    return std::move(walk_);
  }

  bool failed(std::string why) {
    if (walk_.error.empty()) walk_.error = std::move(why);
    return false;
  }

  bool readBins() {
    for (std::size_t at = kBaseBlockSize; at < binsEnd_;) {
      const std::size_t size = binsEnd_ - at < kBinHeaderSize ? 0 : LittleEndian32(hive_, at + 8);
      if (size == 0 || hive_.substr(at, 4) != "hbin" ||
          LittleEndian32(hive_, at + 4) != at - kBaseBlockSize || size % kBinAlignment != 0 ||
          size > binsEnd_ - at) {
        return failed("its bin at " + std::to_string(at - kBaseBlockSize) + " is damaged");
      }
      bins_.push_back({at, at + size});
      at += size;
    }
    return true;
  }

  // The data of the allocated cell at that offset into the bins, kept within its bin;
  // nothing, with the error set, when there is no such cell.
  std::optional<std::string_view> cell(std::uint32_t offset, const char* what) {
    const std::size_t at = kBaseBlockSize + std::size_t{offset};
    const auto bin = std::upper_bound(bins_.begin(), bins_.end(), at,
                                      [](std::size_t a, const Bin& b) { return a < b.start; });
    if (bin == bins_.begin() || at < std::prev(bin)->start + kBinHeaderSize ||
        at + 4 > std::prev(bin)->end) {
      failed(std::string(what) + " at " + std::to_string(offset) + " is outside the bins");
      return std::nullopt;
    }
    const std::uint32_t size = LittleEndian32(hive_, at);
    const std::uint32_t length = 0u - size;
    if ((size & 0x80000000u) == 0 || length < 4 || length > std::prev(bin)->end - at) {
      failed(std::string(what) + " at " + std::to_string(offset) + " is not a whole used cell");
      return std::nullopt;
    }
    return hive_.substr(at + 4, length - 4);
  }

  std::optional<std::string_view> record(std::uint32_t offset, const char* what,
                                         std::string_view signature, std::size_t fixedSize) {
    const std::optional<std::string_view> data = cell(offset, what);
    if (!data) return std::nullopt;
    if (data->size() < fixedSize || data->substr(0, signature.size()) != signature) {
      failed(std::string(what) + " at " + std::to_string(offset) + " is not one");
      return std::nullopt;
    }
    return data;
  }

  void walkKeys(std::uint32_t root) {
    // Each key waiting to be read, with its parent's path.
    std::vector<std::pair<std::uint32_t, std::string>> pending{{root, std::string()}};
    std::set<std::uint32_t> reached{root};
    while (!pending.empty()) {
      const auto [offset, parent] = std::move(pending.back());
      pending.pop_back();
      std::string path;
      std::vector<std::uint32_t> children;
      if (!readKey(offset, parent, path, children)) return;
      for (auto child = children.rbegin(); child != children.rend(); ++child) {
        if (!reached.insert(*child).second) {
          failed("the key at " + std::to_string(*child) + " is listed twice");
          return;
        }
        pending.emplace_back(*child, path);
      }
    }
  }

  bool readKey(std::uint32_t offset, const std::string& parent, std::string& path,
               std::vector<std::uint32_t>& children) {
    const std::optional<std::string_view> nk = record(offset, "the key", "nk", 76);
    if (!nk) return false;
    const std::size_t nameLength = LittleEndian16(*nk, 72);
    if (76 + nameLength > nk->size()) {
      return failed("the key at " + std::to_string(offset) + " has a name longer than its cell");
    }
    HiveCellKey key;
    if (!walk_.keys.empty()) {  // the root's own name is no part of any path
      const std::string name =
          StoredName(nk->substr(76, nameLength), (LittleEndian16(*nk, 2) & kKeyNameLatin1) != 0);
      key.path = parent.empty() ? name : parent + "\\" + name;
    }
    path = key.path;

    const std::uint32_t subkeys = LittleEndian32(*nk, 20);
    if (subkeys != 0 &&
        !readSubkeyList(LittleEndian32(*nk, 28), subkeys, key.path, children, true)) {
      return false;
    }
    if (children.size() != subkeys) {
      return failed("the key " + Named(key.path) + " lists " + std::to_string(children.size()) +
                    " subkeys instead of " + std::to_string(subkeys));
    }
    const std::uint32_t values = LittleEndian32(*nk, 36);
    if (values != 0) {
      const std::optional<std::string_view> list = cell(LittleEndian32(*nk, 40), "a value list");
      if (!list) return false;
      if (list->size() / 4 < values) {
        return failed("the value list of the key " + Named(key.path) + " is cut short");
      }
      for (std::uint32_t i = 0; i < values; ++i) {
        if (!readValue(LittleEndian32(*list, std::size_t{i} * 4), key)) return false;
      }
    }
    walk_.keys.push_back(std::move(key));
    return true;
  }

  bool readSubkeyList(std::uint32_t offset, std::uint32_t room, const std::string& path,
                      std::vector<std::uint32_t>& children, bool rootAllowed) {
    const std::optional<std::string_view> list = cell(offset, "a subkey list");
    if (!list) return false;
    if (list->size() < 4) return failed("the subkey list of " + Named(path) + " is cut short");
    const std::string_view signature = list->substr(0, 2);
    const std::size_t count = LittleEndian16(*list, 2);
    const std::size_t step = signature == "lf" || signature == "lh" ? 8 : 4;
    if (signature != "lf" && signature != "lh" && signature != "li" &&
        !(signature == "ri" && rootAllowed)) {
      return failed("the subkey list of " + Named(path) + " is not one");
    }
    if ((list->size() - 4) / step < count) {
      return failed("the subkey list of " + Named(path) + " is cut short");
    }
    for (std::size_t i = 0; i < count; ++i) {
      const std::uint32_t element = LittleEndian32(*list, 4 + i * step);
      if (signature == "ri") {
        if (!readSubkeyList(element, room, path, children, false)) return false;
      } else if (children.size() >= room) {
        return failed("the key " + Named(path) + " lists more subkeys than it has");
      } else {
        children.push_back(element);
      }
    }
    return true;
  }

  bool readValue(std::uint32_t offset, HiveCellKey& key) {
    const std::optional<std::string_view> vk = record(offset, "a value", "vk", 20);
    if (!vk) return false;
    const std::size_t nameLength = LittleEndian16(*vk, 2);
    if (20 + nameLength > vk->size()) {
      return failed("a value of the key " + Named(key.path) + " has a name longer than its cell");
    }
    HiveCellValue value;
    value.name =
        StoredName(vk->substr(20, nameLength), (LittleEndian16(*vk, 16) & kValueNameLatin1) != 0);
    value.type = LittleEndian32(*vk, 12);
    const std::uint32_t size = LittleEndian32(*vk, 4);
    const std::uint32_t dataOffset = LittleEndian32(*vk, 8);
    const std::string where = "the value " + Named(value.name) + " of the key " + Named(key.path);
    if ((size & kDataInline) != 0) {
      const std::uint32_t length = size & ~kDataInline;
      if (length > 4)
        return failed(where + " claims " + std::to_string(length) + " bytes in place");
      value.data = std::string(vk->substr(8, length));
    } else if (size != 0) {
      const std::optional<std::string_view> data = cell(dataOffset, "a value's data");
      if (!data) return false;
      if (size > kLargestPlainData && HiveUsesBigData(walk_.minorVersion)) {
        if (data->substr(0, 2) == "db") {
          value.bigData = true;
          if (!readBigData(*data, size, where, value.data)) return false;
        } else {
          value.unreadableByWindows = true;
        }
      }
      if (!value.bigData) {
        if (data->size() < size) return failed(where + " holds more data than its cell");
        value.data = std::string(data->substr(0, size));
      }
    }
    key.values.push_back(std::move(value));
    return true;
  }

  bool readBigData(std::string_view db, std::uint32_t size, const std::string& where,
                   std::string& data) {
    if (db.size() < 8) return failed("the big-data record of " + where + " is cut short");
    const std::size_t segments = LittleEndian16(db, 2);
    const std::optional<std::string_view> list =
        cell(LittleEndian32(db, 4), "a big-data segment list");
    if (!list) return false;
    if (segments == 0 || list->size() / 4 < segments) {
      return failed("the big-data segment list of " + where + " is cut short");
    }
    for (std::size_t i = 0; i < segments && data.size() < size; ++i) {
      const std::optional<std::string_view> segment =
          cell(LittleEndian32(*list, i * 4), "a big-data segment");
      if (!segment) return false;
      const std::size_t wanted = std::min(kLargestPlainData, size - data.size());
      if (segment->size() < wanted) return failed("a big-data segment of " + where + " is short");
      data.append(segment->substr(0, wanted));
    }
    if (data.size() != size) return failed("the big-data segments of " + where + " are too few");
    return true;
  }

  static std::string Named(const std::string& name) { return "\"" + name + "\""; }

  std::string_view hive_;
  std::size_t binsEnd_ = 0;
  std::vector<Bin> bins_;
  HiveCellWalk walk_;
};

}  // namespace

std::string ZeroFreeCells(std::string& hive,
                          std::vector<std::pair<std::size_t, std::size_t>>& changed) {
  changed.clear();
  if (hive.size() < kBaseBlockSize || hive.compare(0, 4, "regf") != 0) {
    return "it has no base block";
  }
  const std::uint32_t binsSize = LittleEndian32(hive, 0x28);
  if (binsSize % kBinAlignment != 0 || binsSize > hive.size() - kBaseBlockSize) {
    return "its base block gives more bins than the file holds";
  }
  const std::size_t binsEnd = kBaseBlockSize + binsSize;
  // The free cells are found first, so that a damaged bin leaves everything as it was.
  std::vector<std::pair<std::size_t, std::size_t>> free;  // from, to
  for (std::size_t bin = kBaseBlockSize; bin < binsEnd;) {
    const std::size_t size = binsEnd - bin < kBinHeaderSize ? 0 : LittleEndian32(hive, bin + 8);
    if (size == 0 || hive.compare(bin, 4, "hbin") != 0 || size % kBinAlignment != 0 ||
        size > binsEnd - bin) {
      return "its bin at " + std::to_string(bin - kBaseBlockSize) + " is damaged";
    }
    for (std::size_t at = bin + kBinHeaderSize; at < bin + size;) {
      if (bin + size - at < 4) return "a cell at " + std::to_string(at) + " is cut short";
      const std::uint32_t field = LittleEndian32(hive, at);
      // A used cell's size is negative; a free cell's is positive.
      const std::uint32_t length = (field & 0x80000000u) != 0 ? 0u - field : field;
      if (length < 8 || length % 8 != 0 || length > bin + size - at) {
        return "the cell at " + std::to_string(at - kBaseBlockSize) + " has a size of " +
               std::to_string(length) + " bytes";
      }
      if ((field & 0x80000000u) == 0) free.emplace_back(at + 4, at + length);
      at += length;
    }
    bin += size;
  }
  free.emplace_back(binsEnd, hive.size());
  for (const auto& [from, to] : free) {
    const auto first = hive.begin() + static_cast<std::ptrdiff_t>(from);
    const auto last = hive.begin() + static_cast<std::ptrdiff_t>(to);
    if (std::any_of(first, last, [](char c) { return c != 0; })) {
      std::fill(first, last, '\0');
      changed.emplace_back(from, to);
    }
  }
  return {};
}

HiveCellWalk WalkHiveCells(std::string_view hive) {
  return Walker(hive).run();
}

}  // namespace tavelin
