#include "support/big_data_hive.h"

#include <cstdint>
#include <string>
#include <vector>

#include "support/blank_hive.h"
#include "support/files.h"

namespace tavelin::support {

namespace {

constexpr std::size_t kBaseBlockSize = 0x1000;
constexpr std::size_t kBinHeaderSize = 0x20;
constexpr std::size_t kSegmentSize = 16344;

std::uint32_t U32(const std::string& bytes, std::size_t at) {
  std::uint32_t value = 0;
  for (int i = 3; i >= 0; --i) {
    value = value << 8 | static_cast<unsigned char>(bytes.at(at + static_cast<std::size_t>(i)));
  }
  return value;
}

void PutU32(std::string& bytes, std::size_t at, std::uint32_t value) {
  for (std::size_t i = 0; i < 4; ++i) bytes.at(at + i) = static_cast<char>(value >> (8 * i));
}

// The file offset of the used "vk" cell named `name` (Latin-1), found by stepping through
// every cell of every bin; 0 when there is none.
std::size_t FindValueCell(const std::string& bytes, std::string_view name) {
  const std::size_t binsEnd = kBaseBlockSize + U32(bytes, 0x28);
  for (std::size_t bin = kBaseBlockSize; bin < binsEnd;) {
    const std::size_t binSize = U32(bytes, bin + 8);
    if (binSize == 0) return 0;
    for (std::size_t cell = bin + kBinHeaderSize; cell < bin + binSize;) {
      const std::uint32_t size = U32(bytes, cell);
      const std::uint32_t length = (size & 0x80000000u) ? 0u - size : size;
      if (length < 8) return 0;
      if ((size & 0x80000000u) && bytes.compare(cell + 4, 2, "vk") == 0 &&
          (static_cast<unsigned char>(bytes.at(cell + 4 + 16)) & 1) != 0 &&
          bytes.compare(cell + 4 + 20, (U32(bytes, cell + 4 + 2) & 0xFFFF), name) == 0 &&
          (U32(bytes, cell + 4 + 2) & 0xFFFF) == name.size()) {
        return cell;
      }
      cell += length;
    }
    bin += binSize;
  }
  return 0;
}

// A used cell holding these bytes, its size rounded up to 8.
std::string Cell(const std::string& data) {
  const std::size_t size = (4 + data.size() + 7) / 8 * 8;
  std::string cell(4, '\0');
  PutU32(cell, 0, static_cast<std::uint32_t>(0u - size));
  cell += data;
  cell.resize(size, '\0');
  return cell;
}

}  // namespace

bool StoreAsBigData(const std::filesystem::path& hive, std::string_view valueName) {
  std::string bytes = ReadBytes(hive);
  const std::size_t vk = FindValueCell(bytes, valueName);
  if (vk == 0) return false;
  const std::uint32_t size = U32(bytes, vk + 4 + 4);
  if (size <= kSegmentSize || (size & 0x80000000u) != 0) return false;
  const std::string data = bytes.substr(kBaseBlockSize + U32(bytes, vk + 4 + 8) + 4, size);

  // The new bin: the record, its list of segments, then the segments.
  const std::uint32_t binOffset = U32(bytes, 0x28);
  const std::size_t segments = (data.size() + kSegmentSize - 1) / kSegmentSize;
  const auto at = [&](std::size_t inBin) { return static_cast<std::uint32_t>(binOffset + inBin); };
  std::string cells;
  const std::size_t record = kBinHeaderSize;
  const std::size_t list = record + Cell(std::string(8, '\0')).size();
  std::size_t next = list + Cell(std::string(4 * segments, '\0')).size();
  std::string listData;
  std::string segmentCells;
  for (std::size_t i = 0; i < segments; ++i) {
    std::string offset(4, '\0');
    PutU32(offset, 0, at(next));
    listData += offset;
    const std::string segment = Cell(data.substr(i * kSegmentSize, kSegmentSize));
    segmentCells += segment;
    next += segment.size();
  }
  std::string recordData = "db";
  recordData += static_cast<char>(segments);
  recordData += static_cast<char>(segments >> 8);
  recordData += std::string(4, '\0');
  PutU32(recordData, 4, at(list));

  std::string bin = "hbin";
  bin += std::string(kBinHeaderSize - 4, '\0');
  bin += Cell(recordData) + Cell(listData) + segmentCells;
  const std::size_t binSize = (bin.size() + 0xFFF) / 0x1000 * 0x1000;
  if (binSize > bin.size()) {  // the rest of the bin is one free cell
    std::string free(4, '\0');
    PutU32(free, 0, static_cast<std::uint32_t>(binSize - bin.size()));
    bin += free;
    bin.resize(binSize, '\0');
  }
  PutU32(bin, 4, binOffset);
  PutU32(bin, 8, static_cast<std::uint32_t>(binSize));

  PutU32(bytes, vk + 4 + 8, at(record));
  bytes.resize(kBaseBlockSize + binOffset);  // anything after the last bin goes
  bytes += bin;
  PutU32(bytes, 0x28, static_cast<std::uint32_t>(binOffset + binSize));
  MendHiveHeaderChecksum(bytes);
  WriteBytes(hive, bytes);
  return true;
}

}  // namespace tavelin::support
