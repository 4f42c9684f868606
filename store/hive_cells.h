// A second reader of a Windows hive, apart from hivex: a plain walk of its cells as Windows
// reads them (base block, bins, key nodes and their subkey lists, value lists, values and
// their data), every read checked against the bytes it is given. The offline hive backend
// reads each hive it has written with it, so that a hive hivex reads back but Windows would
// not is never put in place of the user's.
//
// Windows reads the data of a value longer than kLargestPlainData bytes, in a hive of format
// 1.4 or later, as a big-data record ("db": a list of segments); in older hives such data is
// one plain cell. The walk reads it by the same rule, and marks a long value that a newer
// hive holds in one plain cell, which Windows cannot read.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace tavelin {

// The most data a hive of format 1.4 or later holds in one plain cell, and the most each
// segment of a big-data record holds.
inline constexpr std::size_t kLargestPlainData = 16344;

// Whether hives of this minor format version (1.x) keep long data in big-data records.
constexpr bool HiveUsesBigData(std::uint32_t minorVersion) {
  return minorVersion >= 4;
}

struct HiveCellValue {
  std::string name;  // as the program spells names: UTF-8 (WTF-8), a NUL in it kept
  std::uint32_t type = 0;
  bool bigData = false;  // its data is a big-data record's segments
  // Its data is too long for one cell in this hive but stored in one: Windows would read the
  // cell as a big-data record, and fail or read something else. `data` is the cell's.
  bool unreadableByWindows = false;
  std::string data;
};

struct HiveCellKey {
  std::string path;  // the stored names below the root, joined by backslashes; the root ""
  std::vector<HiveCellValue> values;
};

struct HiveCellWalk {
  std::uint32_t minorVersion = 0;
  std::vector<HiveCellKey> keys;  // in the order they were reached, the root first
  std::string error;              // why the walk stopped short; empty when it read every key
};

// Zeroes what every unallocated cell of the hive holds after its size field, and whatever
// follows the last bin, so that nothing deleted can be read back from the file (hivex and
// Windows leave freed cells as they were). Allocated cells and every size field stay as they
// are. `changed` receives the ranges (from, to) in which bytes were changed, in order. Empty
// when done; otherwise why the bins could not be walked, and nothing is changed.
std::string ZeroFreeCells(std::string& hive,
                          std::vector<std::pair<std::size_t, std::size_t>>& changed);

// Every key and value of the hive in these bytes. Reads nothing outside them, and reaches
// each key at most once whatever its lists say.
HiveCellWalk WalkHiveCells(std::string_view hive);

}  // namespace tavelin
