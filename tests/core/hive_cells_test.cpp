// Long values in Windows hives: the cell walk that reads a hive as Windows does, against
// hivex on the same hives and on damaged ones; and the offline hive backend, which must never
// write a value Windows would read as a big-data record into one plain cell. POSIX only
// (hivex).
#ifndef _WIN32

#include "store/hive_cells.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "list/address_list.h"
#include "list/list_commands.h"
#include "list/list_store.h"
#include "platform/wtf8.h"
#include "store/registry_offline_hive.h"
#include "store/settings_store.h"
#include "store/typed_address_store.h"
#include "support/big_data_hive.h"
#include "support/blank_hive.h"
#include "support/files.h"
#include "support/hive_tools.h"

namespace tavelin {
namespace {

namespace fs = std::filesystem;
using support::HiveValue;
using support::ReadBytes;
using support::WriteBytes;
using Strings = std::vector<std::string>;

constexpr std::string_view kOtherKey = "Software\\Other";

// An address of exactly `length` characters.
std::string Address(std::size_t length) {
  const std::string start = "http://long.example/";
  return start + std::string(length - start.size(), 'a');
}

// The list's addresses, each long one cut to its start and length, to be shown on failure.
Strings Shown(const Strings& items) {
  Strings shown;
  for (const std::string& item : items) {
    if (item.empty()) continue;  // the list's free places
    shown.push_back(item.size() > 40 ? item.substr(0, 24) + "... (" + std::to_string(item.size()) +
                                           " characters)"
                                     : item);
  }
  return shown;
}

HiveValue Typed(std::size_t number, const std::string& address) {
  return support::StringValue("url" + std::to_string(number), Wtf8ToUtf16(address));
}

HiveValue Blob(std::string name, std::size_t size) {
  std::vector<std::uint8_t> data(size);
  for (std::size_t i = 0; i < size; ++i) data[i] = static_cast<std::uint8_t>(i * 7 + i / 251);
  return {std::move(name), RegValue{regtype::kBinary, std::move(data)}};
}

// Every key and value as the walk reads them, in hivex's shape, to hold against hivex.
support::HiveContents Contents(const HiveCellWalk& walk) {
  support::HiveContents contents;
  for (const HiveCellKey& key : walk.keys) {
    std::vector<HiveValue>& values = contents[key.path];
    for (const HiveCellValue& value : key.values) {
      values.push_back({value.name, RegValue{value.type, {value.data.begin(), value.data.end()}}});
    }
  }
  return contents;
}

HiveCellWalk Walk(const fs::path& hive) {
  return WalkHiveCells(ReadBytes(hive));
}

const HiveCellValue* FindValue(const HiveCellWalk& walk, std::string_view key,
                               std::string_view name) {
  for (const HiveCellKey& k : walk.keys) {
    for (const HiveCellValue& v : k.values) {
      if (k.path == key && v.name == name) return &v;
    }
  }
  return nullptr;
}

class HiveCells : public ::testing::Test {
 protected:
  fs::path Make(std::uint32_t minorVersion) {
    WriteBytes(hive_, support::BlankHiveBytes(minorVersion));
    return hive_;
  }

  support::TemporaryFolder temporary_{"hive-cells"};
  const fs::path hive_ = temporary_ / "NTUSER.DAT";
};

TEST_F(HiveCells, TheWalkReadsWhatHivexReads) {
  const struct {
    const char* what;
    std::uint32_t minorVersion;
    std::function<void(const fs::path&)> fill;
  } cases[] = {
      {"a blank hive", 5, [](const fs::path&) {}},
      {"names and data of every shape", 5,
       [](const fs::path& hive) {
         ASSERT_TRUE(support::AddToHive(
             hive, "Software\\Caf\xC3\xA9\\\xD0\x96",
             {{"", RegValue{regtype::kSz, {}}},
              {"dword", RegValue{regtype::kDword, {1, 2, 3, 4}}},
              {"three", RegValue{0x12345678u, {1, 2, 3}}},
              {"caf\xC3\xA9", RegValue{regtype::kBinary, {0, 0xFF, 0, 0xFF, 9}}},
              {"\xD0\xB8\xD0\xBC\xD1\x8F", RegValue{regtype::kBinary, {7, 7, 7, 7, 7, 7, 7, 7}}},
              Blob("exactly one piece", kLargestPlainData)}));
       }},
      {"hundreds of subkeys", 5,
       [](const fs::path& hive) {
         for (int i = 0; i < 300; ++i) {
           ASSERT_TRUE(support::AddToHive(hive, "Software\\Many\\k" + std::to_string(i),
                                          {Typed(1, Address(30))}));
         }
       }},
      {"a long value in a 1.3 hive", 3,
       [](const fs::path& hive) {
         ASSERT_TRUE(support::AddToHive(hive, kOtherKey, {Blob("blob", 40000)}));
       }},
      {"a long value in big-data cells", 5,
       [](const fs::path& hive) {
         ASSERT_TRUE(support::AddToHive(hive, kOtherKey, {Blob("blob", 40000)}));
         ASSERT_TRUE(support::StoreAsBigData(hive, "blob"));
       }},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    c.fill(Make(c.minorVersion));
    const HiveCellWalk walk = Walk(hive_);
    EXPECT_EQ(walk.error, "");
    EXPECT_EQ(walk.minorVersion, c.minorVersion);
    const std::optional<support::HiveContents> hivex = support::ReadHiveContents(hive_);
    ASSERT_TRUE(hivex);
    EXPECT_EQ(support::FirstDifference(*hivex, Contents(walk)), "");
  }
  // The blob of the last case came out of its segments whole.
  const HiveCellWalk last = Walk(hive_);
  const HiveCellValue* blob = FindValue(last, kOtherKey, "blob");
  ASSERT_NE(blob, nullptr);
  EXPECT_TRUE(blob->bigData);
  if (support::RegfToolsPresent()) {
    EXPECT_TRUE(support::RegfExportKeyCount(hive_));
  }
}

TEST_F(HiveCells, HivesWrittenByWindowsAreReadAsHivexReadsThem) {
  for (const char* name : {"special", "recovery/new-format/recovered-by-windows-10",
                           "recovery/old-format/recovered-by-windows-7"}) {
    SCOPED_TRACE(name);
    const std::optional<fs::path> hive = support::SharedHive(name);
    if (!hive) GTEST_SKIP() << "the shared hives are not beside the project";
    const HiveCellWalk walk = Walk(*hive);
    EXPECT_EQ(walk.error, "");
    const std::optional<support::HiveContents> hivex = support::ReadHiveContents(*hive);
    ASSERT_TRUE(hivex);
    EXPECT_EQ(support::FirstDifference(*hivex, Contents(walk)), "");
  }
}

// Offsets into the bins of the blank hive with one key "A" below the root.
std::uint32_t Word(const std::string& bytes, std::size_t at) {
  std::uint32_t value = 0;
  for (int i = 3; i >= 0; --i) value = value << 8 | static_cast<unsigned char>(bytes.at(at + i));
  return value;
}
void SetWord(std::string& bytes, std::size_t at, std::uint32_t value) {
  for (std::size_t i = 0; i < 4; ++i) bytes.at(at + i) = static_cast<char>(value >> (8 * i));
}
constexpr std::size_t kBins = 0x1000;
std::size_t RootKey(const std::string& b) {
  return kBins + Word(b, 0x24) + 4;
}
std::size_t RootList(const std::string& b) {
  return kBins + Word(b, RootKey(b) + 28) + 4;
}
std::size_t ChildKey(const std::string& b) {
  return kBins + Word(b, RootList(b) + 4) + 4;
}
std::size_t ChildValue(const std::string& b) {
  return kBins + Word(b, kBins + Word(b, ChildKey(b) + 40) + 4) + 4;
}

TEST_F(HiveCells, ADamagedHiveStopsTheWalkWithItsReason) {
  const struct {
    const char* what;
    std::function<void(std::string&)> damage;
    const char* reason;
  } cases[] = {
      {"cut inside its base block", [](std::string& b) { b.resize(0x800); }, "no base block"},
      {"bins longer than the file", [](std::string& b) { b.resize(b.size() - 0x1000); },
       "which the file does not hold"},
      {"a bin without its signature", [](std::string& b) { b[kBins] = 'x'; }, "is damaged"},
      {"the root outside the bins", [](std::string& b) { SetWord(b, 0x24, 0x7FFFFFF0); },
       "outside the bins"},
      {"a key listed under itself",
       [](std::string& b) {
         SetWord(b, ChildKey(b) + 20, 1);
         SetWord(b, ChildKey(b) + 28, Word(b, RootKey(b) + 28));
       },
       "listed twice"},
      {"more subkeys counted than listed", [](std::string& b) { SetWord(b, RootKey(b) + 20, 2); },
       "lists 1 subkeys instead of 2"},
      {"a subkey list of another kind", [](std::string& b) { b.at(RootList(b)) = 'x'; },
       "is not one"},
      {"a free cell as a value list",
       [](std::string& b) {
         const std::size_t list = kBins + Word(b, ChildKey(b) + 40);
         SetWord(b, list, 0u - Word(b, list));
       },
       "not a whole used cell"},
      {"a key name past its cell",
       [](std::string& b) { b.at(ChildKey(b) + 72) = static_cast<char>(0xF0); },
       "name longer than its cell"},
      {"data in place longer than four bytes",
       [](std::string& b) { SetWord(b, ChildValue(b) + 4, 0x80000005u); }, "bytes in place"},
      {"data longer than its cell", [](std::string& b) { SetWord(b, ChildValue(b) + 4, 5000); },
       "more data than its cell"},
      {"a segment list cut short",
       [](std::string& b) {
         // The value's data made a big-data record of 200 segments whose list is its own cell.
         const std::size_t data = kBins + Word(b, ChildValue(b) + 8) + 4;
         SetWord(b, ChildValue(b) + 4, 40000);
         b.replace(data, 4, "db\xC8\0", 4);
         SetWord(b, data + 4, Word(b, ChildValue(b) + 8));
       },
       "is cut short"},
  };
  Make(5);
  ASSERT_TRUE(support::AddToHive(hive_, "A", {Blob("v", 100)}));
  const std::string good = ReadBytes(hive_);
  ASSERT_EQ(WalkHiveCells(good).error, "");
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    std::string bytes = good;
    c.damage(bytes);
    const HiveCellWalk walk = WalkHiveCells(bytes);
    EXPECT_NE(walk.error.find(c.reason), std::string::npos) << walk.error;
  }
}

TEST_F(HiveCells, ALongValueInOnePlainCellIsMarkedOnlyWhereWindowsWantsBigData) {
  for (const std::uint32_t minorVersion : {3u, 4u, 5u}) {
    SCOPED_TRACE(minorVersion);
    Make(minorVersion);
    ASSERT_TRUE(support::AddToHive(hive_, kOtherKey,
                                   {Blob("long", kLargestPlainData + 1), Blob("fits", 9000)}));
    const HiveCellWalk walk = Walk(hive_);
    EXPECT_EQ(walk.error, "");
    const HiveCellValue* longValue = FindValue(walk, kOtherKey, "long");
    const HiveCellValue* fits = FindValue(walk, kOtherKey, "fits");
    ASSERT_TRUE(longValue && fits);
    EXPECT_EQ(longValue->unreadableByWindows, minorVersion >= 4);
    EXPECT_FALSE(fits->unreadableByWindows);
  }
}

// ---- the backend ---------------------------------------------------------------------------

const std::string kTooLong = "is longer than this hive can hold in one piece";

TEST_F(HiveCells, NoCommandWritesAValueWindowsWouldReadAsBigDataIntoOnePlainCell) {
  using Command = std::function<CommandResult(ListContext)>;
  const auto import = [](std::size_t length) -> Command {
    return [length](ListContext c) { return ImportAddresses(c, {Address(length)}); };
  };
  const Command deleteSecond = [](ListContext c) {
    c.list.select(1);
    return DeleteSelectedAddress(c);
  };
  const Command add = [](ListContext c) { return AddAddress(c, "http://new.example/"); };
  const struct {
    const char* what;
    std::uint32_t minorVersion;
    Strings stored;     // url1, url2, ...
    bool url1BigData;   // url1 is stored in big-data cells
    bool otherBigData;  // another key holds a value in big-data cells
    Command command;
    Strings after;  // the list afterwards; empty when the command must be refused
  } cases[] = {
      {"a 10,000-character import into a 1.5 hive",
       5,
       {"http://a.example/"},
       false,
       false,
       import(10000),
       {}},
      {"the same into a 1.4 hive", 4, {"http://a.example/"}, false, false, import(10000), {}},
      {"the same into a 1.3 hive",
       3,
       {"http://a.example/"},
       false,
       false,
       import(10000),
       {Address(10000)}},
      {"one character over one piece", 5, {}, false, false, import(8172), {}},
      {"exactly one piece", 5, {}, false, false, import(8171), {Address(8171)}},
      {"a Delete beside an address in big-data cells",
       5,
       {Address(10000), "http://b.example/"},
       true,
       false,
       deleteSecond,
       {}},
      {"an Add beside a big-data value of another key",
       5,
       {"http://a.example/"},
       false,
       true,
       add,
       {"http://a.example/", "http://new.example/"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    Make(c.minorVersion);
    std::vector<HiveValue> typed;
    for (std::size_t i = 0; i < c.stored.size(); ++i) typed.push_back(Typed(i + 1, c.stored[i]));
    ASSERT_TRUE(support::AddToHive(hive_, kTypedUrlsKey, typed));
    if (c.url1BigData) {
      ASSERT_TRUE(support::StoreAsBigData(hive_, "url1"));
    }
    if (c.otherBigData) {
      ASSERT_TRUE(support::AddToHive(hive_, kOtherKey, {Blob("blob", 40000)}));
      ASSERT_TRUE(support::StoreAsBigData(hive_, "blob"));
    }
    const std::string before = ReadBytes(hive_);

    OfflineHiveRegistry registry(hive_);
    AddressList list;
    list.replaceAll(c.stored);
    ProgramSettings settings;
    settings.SaveMode = std::string(kAutomaticSaveMode);
    const CommandResult result = c.command({registry, list, settings});

    if (c.after.empty()) {
      EXPECT_EQ(result.storeNotices.size(), 1u);
      const std::string told = result.storeNotices.empty() ? "" : result.storeNotices[0];
      EXPECT_NE(told.find(kTooLong), std::string::npos) << told;
      EXPECT_NE(told.find("\"url1\""), std::string::npos) << told;
      EXPECT_NE(told.find(std::string(kTypedUrlsKey)), std::string::npos) << told;
      EXPECT_EQ(ReadBytes(hive_), before);
      EXPECT_EQ(support::CountEntries(temporary_.path()), 1u);
      continue;
    }
    EXPECT_EQ(result.storeNotices, Strings{});
    AddressList reread;
    OfflineHiveRegistry again(hive_);
    LoadAddresses(again, reread);
    EXPECT_EQ(Shown(reread.items()), Shown(c.after));
    const HiveCellWalk walk = Walk(hive_);
    EXPECT_EQ(walk.error, "");
    for (const HiveCellKey& key : walk.keys) {
      for (const HiveCellValue& value : key.values) {
        EXPECT_FALSE(value.unreadableByWindows) << key.path << " " << value.name;
      }
    }
    if (c.otherBigData) {
      const HiveCellValue* blob = FindValue(walk, kOtherKey, "blob");
      ASSERT_NE(blob, nullptr);
      EXPECT_TRUE(blob->bigData);
      const RegValue meant = Blob("blob", 40000).value;
      EXPECT_EQ(std::vector<std::uint8_t>(blob->data.begin(), blob->data.end()), meant.data);
    }
    if (support::RegfToolsPresent()) {
      EXPECT_TRUE(support::RegfExportKeyCount(hive_));
    }
  }
}

}  // namespace
}  // namespace tavelin

#endif  // _WIN32
