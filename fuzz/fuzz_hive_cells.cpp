// The cell walk on any bytes: it must read nothing outside them, stop on every list that
// loops, and keep its word about long values.
//
// An input beginning "regf" is a whole hive. Any other is the byte of a minor format version
// followed by the hive's bins: the base block is made here (its root the first cell of the
// first bin), so that the fuzzing spends itself on the cells (corpus/hive_cells).
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

#include "store/hive_cells.h"

namespace {

[[noreturn]] void Fail(const char* what) {
  std::fprintf(stderr, "hive cells: %s\n", what);
  std::abort();
}

void PutU32(std::string& bytes, std::size_t at, std::uint32_t value) {
  for (std::size_t i = 0; i < 4; ++i) bytes[at + i] = static_cast<char>(value >> (8 * i));
}

// A base block before these bins, which are padded to whole pages.
std::string WithBaseBlock(std::uint8_t minorVersion, std::string_view bins) {
  constexpr std::size_t kPage = 0x1000;
  const std::size_t binsSize = (bins.size() + kPage - 1) / kPage * kPage;
  std::string hive(kPage, '\0');
  hive.replace(0, 4, "regf");
  PutU32(hive, 0x14, 1);
  PutU32(hive, 0x18, minorVersion);
  PutU32(hive, 0x24, 0x20);
  PutU32(hive, 0x28, static_cast<std::uint32_t>(binsSize));
  hive += bins;
  hive.resize(kPage + binsSize, '\0');
  return hive;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace tavelin;
  const std::string_view input(reinterpret_cast<const char*>(data), size);
  std::string hive;
  if (input.substr(0, 4) == "regf") {
    hive = input;
  } else if (!input.empty()) {
    hive = WithBaseBlock(static_cast<std::uint8_t>(input[0]), input.substr(1));
  }
  const HiveCellWalk walk = WalkHiveCells(hive);

  // Each key is a cell of its own of at least 80 bytes: one reached twice would show here.
  if (walk.keys.size() > hive.size() / 80) Fail("more keys than the hive has room for");
  for (const HiveCellKey& key : walk.keys) {
    for (const HiveCellValue& value : key.values) {
      const bool longer = value.data.size() > kLargestPlainData;
      if (value.bigData && (!longer || !HiveUsesBigData(walk.minorVersion))) {
        Fail("big data where Windows reads one cell");
      }
      if (value.unreadableByWindows &&
          (value.bigData || !longer || !HiveUsesBigData(walk.minorVersion))) {
        Fail("a value marked unreadable that Windows reads");
      }
      if (longer && HiveUsesBigData(walk.minorVersion) && !value.bigData &&
          !value.unreadableByWindows) {
        Fail("a long value in one cell not marked");
      }
    }
  }
  return 0;
}
