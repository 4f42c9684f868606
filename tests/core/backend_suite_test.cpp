// The registry routines, the typed-address store, the settings store and the list commands,
// run against every registry backend this build has: the memory registry always, the registry
// file on a file of its own, elsewhere than on Windows a blank Windows hive of its own, and
// on Windows the real registry under a test key of its own.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <string>
#include <tuple>
#include <vector>

#include "app/system_registry.h"
#include "list/address_list.h"
#include "list/list_commands.h"
#include "list/list_store.h"
#include "list/store_notices.h"
#include "platform/wide_text.h"
#include "platform/wtf8.h"
#include "store/backup.h"
#include "store/hive_cells.h"
#include "store/reg_file_reader.h"
#include "store/registry.h"
#include "store/settings_store.h"
#include "store/typed_address_store.h"
#include "support/registry_memory.h"

#include "store/registry_file.h"
#include "support/files.h"
#include "support/stored_list.h"

#ifdef _WIN32
#include <windows.h>

#include "store/registry_win32.h"
#else
#include "store/registry_offline_hive.h"
#include "support/hive_tools.h"
#endif

namespace tavelin {
namespace {

enum class Backend { kMemory, kRegFile, kOfflineHive, kWin32 };

std::string BackendName(Backend kind) {
  switch (kind) {
    case Backend::kMemory:
      return "Memory";
    case Backend::kRegFile:
      return "RegFile";
    case Backend::kOfflineHive:
      return "OfflineHive";
    case Backend::kWin32:
      return "Win32";
  }
  return "Unknown";
}

std::vector<Backend> AvailableBackends() {
  std::vector<Backend> kinds{Backend::kMemory, Backend::kRegFile};
#ifdef _WIN32
  kinds.push_back(Backend::kWin32);
#else
  kinds.push_back(Backend::kOfflineHive);
#endif
  return kinds;
}

// One backend for one test, and the clean-up of whatever it left behind.
class BackendUnderTest {
 public:
  virtual ~BackendUnderTest() = default;
  virtual RegistryBackend& get() = 0;
  // Stores one value as another program would, beside the backend under test: a second copy
  // of the program on the same file, or Windows' own "reg add".
  virtual void writeAsAnotherProgram(std::string_view key, std::string_view name,
                                     const RegValue& value) = 0;
};

// The memory registry is one object: the other program writes through it.
class MemoryUnderTest : public BackendUnderTest {
 public:
  RegistryBackend& get() override { return registry_; }
  void writeAsAnotherProgram(std::string_view key, std::string_view name,
                             const RegValue& value) override {
    ASSERT_TRUE(registry_.setValue(kCurrentUser, key, name, value));
  }

 private:
  MemoryRegistry registry_;
};

class RegFileUnderTest : public BackendUnderTest {
 public:
  RegFileUnderTest() : registry_(path_) {}
  RegistryBackend& get() override { return registry_; }
  void writeAsAnotherProgram(std::string_view key, std::string_view name,
                             const RegValue& value) override {
    RegFileRegistry other(path_);
    ASSERT_TRUE(other.setValue(kCurrentUser, key, name, value));
  }

 private:
  support::TemporaryFolder folder_{"suite"};
  std::filesystem::path path_ = folder_ / "HKEY_CURRENT_USER.reg";
  RegFileRegistry registry_;
};

#ifndef _WIN32
class OfflineHiveUnderTest : public BackendUnderTest {
 public:
  OfflineHiveUnderTest() : registry_(support::WriteBlankHive(folder_ / "NTUSER.DAT")) {}
  // Whatever the test wrote, a reader other than hivex walks the whole hive without error.
  ~OfflineHiveUnderTest() override {
    EXPECT_TRUE(!support::RegfToolsPresent() || support::RegfExportKeyCount(registry_.path()))
        << "regfexport cannot walk the hive";
  }
  RegistryBackend& get() override { return registry_; }
  void writeAsAnotherProgram(std::string_view key, std::string_view name,
                             const RegValue& value) override {
    OfflineHiveRegistry other(registry_.path());
    ASSERT_TRUE(other.setValue(kCurrentUser, key, name, value));
  }

 private:
  support::TemporaryFolder folder_{"suite-hive"};
  OfflineHiveRegistry registry_;
};
#endif

#ifdef _WIN32
// Everything lands under HKEY_CURRENT_USER\Software\TavelinTests\<tag>, never in the
// machine's real typed addresses or settings, and the whole tree goes afterwards.
class Win32UnderTest : public BackendUnderTest {
 public:
  Win32UnderTest()
      : sandbox_("Software\\TavelinTests\\" + support::UniqueTag()), registry_(sandbox_) {}
  ~Win32UnderTest() override {
    RegDeleteTreeW(HKEY_CURRENT_USER, platform::ToWide(sandbox_).c_str());
    // Only goes when no other run still has a sandbox in it.
    RegDeleteKeyW(HKEY_CURRENT_USER, L"Software\\TavelinTests");
  }
  RegistryBackend& get() override { return registry_; }
  // Through reg.exe, a program of its own, as the browser or an administrator would.
  void writeAsAnotherProgram(std::string_view key, std::string_view name,
                             const RegValue& value) override {
    std::string command = "reg add \"HKCU\\" + sandbox_ + "\\" + std::string(key) + "\" /v " +
                          std::string(name) + " /f";
    if (value.type == regtype::kSz) {
      command += " /t REG_SZ /d \"" + RegValueText(value) + "\"";
    } else {
      command += " /t REG_BINARY /d ";
      for (std::uint8_t byte : value.data) {
        const char* digits = "0123456789ABCDEF";
        command += digits[byte >> 4];
        command += digits[byte & 15];
      }
    }
    ASSERT_EQ(std::system((command + " >NUL 2>&1").c_str()), 0) << command;
  }

 private:
  std::string sandbox_;
  Win32Registry registry_;
};
#endif

std::unique_ptr<BackendUnderTest> MakeBackend(Backend kind) {
  switch (kind) {
    case Backend::kMemory:
      return std::make_unique<MemoryUnderTest>();
    case Backend::kRegFile:
      return std::make_unique<RegFileUnderTest>();
    case Backend::kOfflineHive:
#ifndef _WIN32
      return std::make_unique<OfflineHiveUnderTest>();
#else
      break;
#endif
    case Backend::kWin32:
#ifdef _WIN32
      return std::make_unique<Win32UnderTest>();
#else
      break;
#endif
  }
  return nullptr;
}

// Helpers over any backend.

RegValue Utf16Value(std::uint32_t type, std::u16string_view units) {
  const std::string bytes = TextToUtf16LeBytes(units);
  return RegValue{type, std::vector<std::uint8_t>(bytes.begin(), bytes.end())};
}

using support::Generated;
using support::Numbered;
using support::ReadStoredUrls;
using support::StoredUrls;
using support::StoreUrls;

class BackendTest : public ::testing::TestWithParam<Backend> {
 protected:
  void SetUp() override {
    holder_ = MakeBackend(GetParam());
    ASSERT_NE(holder_, nullptr);
  }
  RegistryBackend& backend() { return holder_->get(); }
  BackendUnderTest& holder() { return *holder_; }

 private:
  std::unique_ptr<BackendUnderTest> holder_;
};

std::string BackendParamName(const ::testing::TestParamInfo<Backend>& info) {
  return BackendName(info.param);
}

// ---- Registry routines ----

using RegistryRoutines = BackendTest;

TEST_P(RegistryRoutines, ReadingAMissingKeyGivesEmptyTextAndCreatesNothing) {
  EXPECT_EQ(modReg::ReadRegString(backend(), kCurrentUser, "Software\\Nowhere\\Deeper", "v"), "");
  EXPECT_FALSE(backend().keyExists(kCurrentUser, "Software\\Nowhere\\Deeper"));
  EXPECT_FALSE(backend().keyExists(kCurrentUser, "Software\\Nowhere"));
}

TEST_P(RegistryRoutines, DeletingUnderAMissingKeyCreatesItEmpty) {
  DelSetting(backend(), kCurrentUser, "Software\\Fresh\\Key", "url1");
  EXPECT_TRUE(backend().keyExists(kCurrentUser, "Software\\Fresh\\Key"));
  EXPECT_FALSE(backend().queryValue(kCurrentUser, "Software\\Fresh\\Key", "url1"));
  EXPECT_TRUE(TakeStoreNotices(backend()).empty());
}

TEST_P(RegistryRoutines, DeletingAMissingValueLeavesTheOthers) {
  ASSERT_TRUE(modReg::WriteRegString(backend(), kCurrentUser, "Software\\K", "keep", "x"));
  DelSetting(backend(), kCurrentUser, "Software\\K", "absent");
  EXPECT_EQ(modReg::ReadRegString(backend(), kCurrentUser, "Software\\K", "keep"), "x");
  DelSetting(backend(), kCurrentUser, "Software\\K", "keep");
  EXPECT_FALSE(backend().queryValue(kCurrentUser, "Software\\K", "keep"));
}

TEST_P(RegistryRoutines, EmptyTextIsStoredAsOneSpace) {
  ASSERT_TRUE(modReg::WriteRegString(backend(), kCurrentUser, "Software\\K", "v", ""));
  EXPECT_EQ(backend().queryValue(kCurrentUser, "Software\\K", "v"),
            Utf16Value(regtype::kSz, std::u16string(u" \0", 2)));
  EXPECT_EQ(modReg::ReadRegString(backend(), kCurrentUser, "Software\\K", "v"), " ");
}

TEST_P(RegistryRoutines, WritingCreatesMissingParents) {
  ASSERT_TRUE(modReg::WriteRegString(backend(), kCurrentUser, "Software\\P1\\P2\\P3", "v", "t"));
  EXPECT_TRUE(backend().keyExists(kCurrentUser, "Software\\P1"));
  EXPECT_TRUE(backend().keyExists(kCurrentUser, "Software\\P1\\P2"));
  EXPECT_EQ(modReg::ReadRegString(backend(), kCurrentUser, "Software\\P1\\P2\\P3", "v"), "t");
}

TEST_P(RegistryRoutines, NamesCompareWithoutRegardToCase) {
  ASSERT_TRUE(modReg::WriteRegString(backend(), kCurrentUser, "Software\\MixedCase", "Url1", "a"));
  EXPECT_EQ(modReg::ReadRegString(backend(), kCurrentUser, "SOFTWARE\\mixedcase", "URL1"), "a");
  // Writing under another spelling replaces the value rather than adding a second one.
  ASSERT_TRUE(modReg::WriteRegString(backend(), kCurrentUser, "software\\MIXEDCASE", "uRL1", "b"));
  EXPECT_EQ(modReg::ReadRegString(backend(), kCurrentUser, "Software\\MixedCase", "Url1"), "b");
  DelSetting(backend(), kCurrentUser, "SOFTWARE\\MIXEDCASE", "URL1");
  EXPECT_FALSE(backend().queryValue(kCurrentUser, "Software\\MixedCase", "url1"));
}

TEST_P(RegistryRoutines, LongValuesReadWhole) {
  std::string stored;  // the last text written
  for (const std::size_t length : {1023u, 1024u, 5000u, 40000u}) {
    SCOPED_TRACE(length);
    std::string text;
    for (std::size_t i = 0; i < length; ++i) text.push_back(static_cast<char>('a' + i % 26));
    text += "\xC3\xA9";  // and one character that takes two bytes in UTF-8
    // A Windows 8.1/10 hive (as the blank one is) keeps data this long only in big-data
    // cells, which the offline hive backend cannot write: the write is refused, and the
    // value keeps its last text.
    if (GetParam() == Backend::kOfflineHive &&
        (Wtf8ToUtf16(text).size() + 1) * 2 > kLargestPlainData) {
      EXPECT_FALSE(modReg::WriteRegString(backend(), kCurrentUser, "Software\\Long", "v", text));
      EXPECT_EQ(modReg::ReadRegString(backend(), kCurrentUser, "Software\\Long", "v"), stored);
      continue;
    }
    ASSERT_TRUE(modReg::WriteRegString(backend(), kCurrentUser, "Software\\Long", "v", text));
    EXPECT_EQ(modReg::ReadRegString(backend(), kCurrentUser, "Software\\Long", "v"), text);
    stored = text;
  }
}

// Text that must come back exactly as written.
class TextRoundTrip : public ::testing::TestWithParam<std::tuple<Backend, std::string>> {};

TEST_P(TextRoundTrip, WriteThenRead) {
  const auto holder = MakeBackend(std::get<0>(GetParam()));
  ASSERT_NE(holder, nullptr);
  const std::string& text = std::get<1>(GetParam());
  ASSERT_TRUE(modReg::WriteRegString(holder->get(), kCurrentUser, "Software\\Text", "v", text));
  EXPECT_EQ(modReg::ReadRegString(holder->get(), kCurrentUser, "Software\\Text", "v"), text);
}

INSTANTIATE_TEST_SUITE_P(
    AllBackends, TextRoundTrip,
    ::testing::Combine(::testing::ValuesIn(AvailableBackends()),
                       ::testing::Values(std::string(" a "), std::string("   "),
                                         std::string("\tTab\t"),
                                         std::string("C:\\path \"quoted\" = [x] ;not a comment"),
                                         std::string("Gr\xC3\xBC\xC3\x9F"
                                                     "e \xE2\x98\x83 \xE6\x97\xA5\xE6\x9C\xAC"),
                                         std::string("\xF0\x9D\x84\x9E beyond the basic plane"),
                                         std::string("lone high \xED\xA0\x80 surrogate"),
                                         std::string("lone low \xED\xB0\x80"),
                                         std::string("\xED\xA0\x80"))),
    [](const ::testing::TestParamInfo<std::tuple<Backend, std::string>>& info) {
      return BackendName(std::get<0>(info.param)) + "_" + std::to_string(info.index);
    });

// Values of every type, stored directly, and what ReadRegString makes of them.
struct TypedCase {
  const char* name;
  RegValue stored;
  std::string expected;
  bool unterminated = false;  // string data stored without its terminating NUL
};

std::vector<TypedCase> TypedCases() {
  const auto bytes = [](std::initializer_list<std::uint8_t> list) {
    return std::vector<std::uint8_t>(list);
  };
  return {
      {"ExpandSzUnexpanded", Utf16Value(regtype::kExpandSz, std::u16string(u"%TEMP%\\x\0", 9)),
       "%TEMP%\\x"},
      {"SzCutAtNul", Utf16Value(regtype::kSz, std::u16string(u"ab\0cd\0", 6)), "ab"},
      {"SzWithoutTerminator", Utf16Value(regtype::kSz, u"abc"), "abc", true},
      {"SzEmptyData", RegValue{regtype::kSz, {}}, ""},
      {"Binary", RegValue{regtype::kBinary, bytes({'h', 0, 'i', 0, 0, 0})}, ""},
      {"MultiSz", Utf16Value(regtype::kMultiSz, std::u16string(u"a\0b\0\0", 5)), ""},
      {"DwordDecimal", RegValue{regtype::kDword, bytes({0x78, 0x56, 0x34, 0x12})}, "305419896"},
      {"DwordHighestBit", RegValue{regtype::kDword, bytes({0xFF, 0xFF, 0xFF, 0xFF})}, "4294967295"},
      {"DwordWrongSize", RegValue{regtype::kDword, bytes({1, 0, 0})}, ""},
      {"Qword", RegValue{regtype::kQword, bytes({1, 0, 0, 0, 0, 0, 0, 0})}, ""},
      {"None", RegValue{regtype::kNone, bytes({'x', 0})}, ""},
  };
}

class TypedRead : public ::testing::TestWithParam<std::tuple<Backend, TypedCase>> {};

TEST_P(TypedRead, StoredTypeDecidesTheText) {
  const auto holder = MakeBackend(std::get<0>(GetParam()));
  ASSERT_NE(holder, nullptr);
  const TypedCase& row = std::get<1>(GetParam());
  ASSERT_TRUE(holder->get().setValue(kCurrentUser, "Software\\Typed", "v", row.stored));
  // The backend keeps type and bytes as they were given; only the Windows registry may add
  // the terminator to a string stored without one, as its query call does when there is room.
  const std::optional<RegValue> back =
      holder->get().queryValue(kCurrentUser, "Software\\Typed", "v");
  RegValue terminated = row.stored;
  terminated.data.insert(terminated.data.end(), {0, 0});
  const bool win32Unterminated = std::get<0>(GetParam()) == Backend::kWin32 && row.unterminated;
  if (!win32Unterminated || back != terminated) {
    EXPECT_EQ(back, row.stored);
  }
  EXPECT_EQ(modReg::ReadRegString(holder->get(), kCurrentUser, "Software\\Typed", "v"),
            row.expected);
  // Read with the rest of its key, through one handle, it is the same value.
  const auto all = holder->get().keyValues(kCurrentUser, "Software\\Typed");
  ASSERT_EQ(all.size(), 1u);
  EXPECT_EQ(all[0].first, "v");
  if (!win32Unterminated || all[0].second != terminated) {
    EXPECT_EQ(all[0].second, row.stored);
  }
}

INSTANTIATE_TEST_SUITE_P(AllBackends, TypedRead,
                         ::testing::Combine(::testing::ValuesIn(AvailableBackends()),
                                            ::testing::ValuesIn(TypedCases())),
                         [](const ::testing::TestParamInfo<std::tuple<Backend, TypedCase>>& info) {
                           return BackendName(std::get<0>(info.param)) + "_" +
                                  std::get<1>(info.param).name;
                         });

// ---- Typed-address store ----

using TypedAddressStore = BackendTest;

TEST_P(TypedAddressStore, StartUpCompactsGapsAndBlanks) {
  StoreUrls(backend(), {{1, "http://a/"}, {2, "   "}, {3, " spaced "}, {7, "http://g/"}});
  AddressList list;
  LoadAndCompactAddresses(backend(), list);
  EXPECT_EQ(list.items(), (std::vector<std::string>{"http://a/", " spaced ", "http://g/"}));
  EXPECT_EQ(list.selectionIndex(), 0);
  EXPECT_EQ(ReadStoredUrls(backend()), Numbered({"http://a/", " spaced ", "http://g/"}));
}

TEST_P(TypedAddressStore, MissingKeyGivesEmptyListAndLeavesTheKeyBehind) {
  ASSERT_FALSE(backend().keyExists(kCurrentUser, kTypedUrlsKey));
  AddressList list;
  list.append("stale entry from before a reload");
  LoadAndCompactAddresses(backend(), list);
  EXPECT_EQ(list.count(), 0u);
  EXPECT_EQ(list.selectionIndex(), -1);
  EXPECT_TRUE(backend().keyExists(kCurrentUser, kTypedUrlsKey));
  EXPECT_TRUE(ReadStoredUrls(backend()).empty());
}

TEST_P(TypedAddressStore, ValuesBeyondTheWindowAreNeverReadNorDeleted) {
  StoreUrls(backend(), {{1, "http://a/"}, {201, "http://beyond/"}});
  AddressList list;
  LoadAndCompactAddresses(backend(), list);
  EXPECT_EQ(list.items(), (std::vector<std::string>{"http://a/"}));
  EXPECT_EQ(ReadStoredUrls(backend()), (StoredUrls{{1, "http://a/"}, {201, "http://beyond/"}}));
}

TEST_P(TypedAddressStore, LongListIsWrittenWholeAndReadBackUpToTheWindow) {
  AddressList list;
  for (const std::string& text : Generated(250)) list.append(text);
  SaveAddresses(backend(), list);
  EXPECT_EQ(ReadStoredUrls(backend()), Numbered(Generated(250)));

  AddressList reloaded;
  LoadAndCompactAddresses(backend(), reloaded);
  const std::vector<std::string> first200 = Generated(200);
  EXPECT_EQ(reloaded.items(), first200);
  // The rewrite after the load takes url201..url250 along: they continued the stored list.
  EXPECT_EQ(ReadStoredUrls(backend()), Numbered(first200));
}

// Past its new end, a rewrite deletes what continued the stored list up to its first gap, and
// the times; url201 behind a gap stays.
TEST_P(TypedAddressStore, ARewriteLeavesNothingThatContinuedTheStoredList) {
  std::vector<std::string> moved = Generated(300), rest(moved.begin() + 1, moved.end());
  std::swap(moved[0], moved[1]);
  const struct {
    int imported;  // by "Open list" over the stored list
    CommandResult (*command)(ListContext);
    StoredUrls expected;
  } cases[] = {{300, DeleteSelectedAddress, Numbered(rest)},
               {300, MoveSelectedDown, Numbered(moved)},
               {500, DeleteAllAddresses, {}},
               {0, DeleteAllAddresses, {{201, "x"}}}};
  for (const auto& c : cases) {
    const auto holder = MakeBackend(GetParam());
    RegistryBackend& store = holder->get();
    StoreUrls(store, {{1, "a"}, {2, "b"}, {201, "x"}});
    modReg::WriteRegString(store, kCurrentUser, kTypedUrlsTimeKey, "other", "kept");
    AddressList list;
    ProgramSettings settings{"One", "Max"};
    LoadAndCompactAddresses(store, list);
    if (c.imported) ImportAddresses({store, list, settings}, Generated(c.imported));
    list.select(0);
    c.command({store, list, settings});
    EXPECT_EQ(ReadStoredUrls(store, 600), c.expected) << c.imported;
    for (const std::string& name : store.valueNames(kCurrentUser, kTypedUrlsTimeKey))
      EXPECT_TRUE(name == "other" || c.expected.count(std::stoi(name.substr(3)))) << name;
  }
}

TEST_P(TypedAddressStore, ShorterListRemovesTheSurplusWithinTheWindow) {
  StoreUrls(backend(), Numbered(Generated(5, "old")));
  AddressList list;
  list.append("http://new/");
  SaveAddresses(backend(), list);
  EXPECT_EQ(ReadStoredUrls(backend()), (StoredUrls{{1, "http://new/"}}));
}

// RemoveBlankAddresses works on the list alone; its scan stops past position 200.
struct BlankCase {
  const char* name;
  int size;
  std::vector<int> blanks;   // positions holding "   " (counted from 0)
  std::vector<int> removed;  // positions (counted from 0 in the original) that must go
};

class RemoveBlanks : public ::testing::TestWithParam<BlankCase> {};

TEST_P(RemoveBlanks, RemovesWhatTheScanReaches) {
  const BlankCase& row = GetParam();
  AddressList list;
  std::vector<std::string> expected;
  for (int i = 0; i < row.size; ++i) {
    const bool blank = std::find(row.blanks.begin(), row.blanks.end(), i) != row.blanks.end();
    const std::string text = blank ? "   " : "item" + std::to_string(i);
    list.append(text);
    if (std::find(row.removed.begin(), row.removed.end(), i) == row.removed.end()) {
      expected.push_back(text);
    }
  }
  RemoveBlankAddresses(list);
  EXPECT_EQ(list.items(), expected);
}

INSTANTIATE_TEST_SUITE_P(
    Rows, RemoveBlanks,
    ::testing::Values(BlankCase{"Empty", 0, {}, {}}, BlankCase{"AllBlank", 3, {0, 1, 2}, {0, 1, 2}},
                      BlankCase{"FirstTwo", 4, {0, 1}, {0, 1}}, BlankCase{"Last", 3, {2}, {2}},
                      BlankCase{"NoneBlank", 3, {}, {}}, BlankCase{"Long250", 250, {10, 230}, {10}},
                      BlankCase{"AtPosition200", 201, {200}, {200}},
                      BlankCase{"AtPosition201", 202, {201}, {}},
                      BlankCase{"MovedIntoReachByARemoval", 203, {5, 201}, {5, 201}},
                      BlankCase{"StillOutOfReachAfterARemoval", 203, {5, 202}, {5}}),
    [](const ::testing::TestParamInfo<BlankCase>& info) { return info.param.name; });

TEST(RemoveBlanks, TabsAndOtherWhiteSpaceDoNotMakeAnEntryBlank) {
  AddressList list;
  for (const char* text : {"", " ", "\t", " \t ", "\xC2\xA0"}) list.append(text);
  RemoveBlankAddresses(list);
  EXPECT_EQ(list.items(), (std::vector<std::string>{"\t", " \t ", "\xC2\xA0"}));
}

TEST(SelectFirst, SelectsOnlyWhenThereIsAnItem) {
  AddressList list;
  SelectFirstAddress(list);
  EXPECT_EQ(list.selectionIndex(), -1);
  list.append("a");
  list.append("b");
  list.select(1);
  SelectFirstAddress(list);
  EXPECT_EQ(list.selectionIndex(), 0);
}

// ---- Settings store ----

using SettingsStore = BackendTest;

TEST_P(SettingsStore, MissingKeyLeavesBothEmptyAndCreatesNothing) {
  ProgramSettings settings{"stale", "stale"};
  LoadSettings(backend(), settings);
  EXPECT_EQ(settings.SaveMode, "");
  EXPECT_EQ(settings.WindowMode, "");
  EXPECT_FALSE(IsManualSaveMode(settings));
  EXPECT_FALSE(backend().keyExists(kCurrentUser, kSettingsKey));
}

TEST_P(SettingsStore, StoredValuesComeBackExactly) {
  ProgramSettings settings;
  StoreSaveMode(backend(), settings, "Two");
  StoreWindowMode(backend(), settings, "Min");
  ProgramSettings loaded;
  LoadSettings(backend(), loaded);
  EXPECT_EQ(loaded.SaveMode, "Two");
  EXPECT_EQ(loaded.WindowMode, "Min");
  EXPECT_TRUE(IsManualSaveMode(loaded));
}

TEST_P(SettingsStore, OnlyExactlyTwoIsManual) {
  for (const char* stored : {"One", "two", "Two ", " Two", "TWO", "Tw", ""}) {
    SCOPED_TRACE(stored);
    ASSERT_TRUE(
        modReg::WriteRegString(backend(), kCurrentUser, kSettingsKey, kSaveModeValue, stored));
    ProgramSettings settings;
    LoadSettings(backend(), settings);
    EXPECT_EQ(settings.SaveMode, *stored ? std::string(stored) : std::string(" "));
    EXPECT_FALSE(IsManualSaveMode(settings));
  }
}

// ---- List commands, in both save modes ----

class ListCommands : public ::testing::TestWithParam<std::tuple<Backend, const char*>> {
 protected:
  void SetUp() override {
    holder_ = MakeBackend(std::get<0>(GetParam()));
    ASSERT_NE(holder_, nullptr);
    settings_.SaveMode = std::get<1>(GetParam());
  }
  RegistryBackend& backend() { return holder_->get(); }
  bool manual() const { return IsManualSaveMode(settings_); }
  ListContext context() { return ListContext{backend(), list_, settings_}; }
  // Stores the texts and loads them the way start-up does.
  void Start(const std::vector<std::string>& texts) {
    StoreUrls(backend(), Numbered(texts));
    LoadAndCompactAddresses(backend(), list_);
    ASSERT_EQ(list_.items(), texts);
  }

  AddressList list_;
  ProgramSettings settings_;

 private:
  std::unique_ptr<BackendUnderTest> holder_;
};

struct MoveCase {
  const char* name;
  int selected;
  bool up;
  std::vector<std::string> expected;
  int selectedAfter;
};

TEST_P(ListCommands, MovesUpAndDown) {
  const std::vector<std::string> abc{"A", "B", "C"};
  const std::vector<MoveCase> rows{
      {"UpFromMiddle", 1, true, {"B", "A", "C"}, 0},
      {"DownFromMiddle", 1, false, {"A", "C", "B"}, 2},
      {"UpFromLast", 2, true, {"A", "C", "B"}, 1},
      {"DownFromFirst", 0, false, {"B", "A", "C"}, 1},
      {"UpAtTop", 0, true, abc, 0},
      {"DownAtBottom", 2, false, abc, 2},
      {"UpWithoutSelection", -1, true, abc, -1},
      {"DownWithoutSelection", -1, false, abc, -1},
  };
  Start(abc);
  for (const MoveCase& row : rows) {
    SCOPED_TRACE(row.name);
    list_.replaceAll(abc);
    StoreUrls(backend(), Numbered(abc));
    list_.select(row.selected);
    if (row.up) {
      MoveSelectedUp(context());
    } else {
      MoveSelectedDown(context());
    }
    EXPECT_EQ(list_.items(), row.expected);
    EXPECT_EQ(list_.selectionIndex(), row.selectedAfter);
    EXPECT_EQ(ReadStoredUrls(backend()), Numbered(manual() ? abc : row.expected));
  }
}

TEST_P(ListCommands, DeletesTheSelectedAddress) {
  Start({"A", "B", "C"});
  list_.select(1);
  EXPECT_EQ(DeleteSelectedAddress(context()).refusal, CommandMessage::kNone);
  EXPECT_EQ(list_.items(), (std::vector<std::string>{"A", "C"}));
  if (manual()) {
    EXPECT_EQ(list_.selectionIndex(), -1);
    EXPECT_EQ(ReadStoredUrls(backend()), Numbered({"A", "B", "C"}));
  } else {
    EXPECT_EQ(list_.selectionIndex(), 0);
    EXPECT_EQ(ReadStoredUrls(backend()), Numbered({"A", "C"}));
  }
}

TEST_P(ListCommands, DeleteWithoutSelectionAsksForOne) {
  Start({"A", "B"});
  list_.selectNone();
  EXPECT_EQ(DeleteSelectedAddress(context()).refusal, CommandMessage::kNoAddressSelected);
  EXPECT_EQ(MessageText(CommandMessage::kNoAddressSelected), "No address was selected.");
  EXPECT_EQ(list_.items(), (std::vector<std::string>{"A", "B"}));
  EXPECT_EQ(ReadStoredUrls(backend()), Numbered({"A", "B"}));
}

TEST_P(ListCommands, DeletesAllAddressesWithinTheWindow) {
  // url200 is missing: url201 does not continue the list.
  StoredUrls stored = Numbered(Generated(199));
  stored[201] = "http://beyond/";
  StoreUrls(backend(), stored);
  LoadAndCompactAddresses(backend(), list_);
  ASSERT_EQ(list_.count(), 199u);
  DeleteAllAddresses(context());
  EXPECT_EQ(list_.count(), 0u);
  if (manual()) {
    EXPECT_EQ(ReadStoredUrls(backend()), stored);
  } else {
    EXPECT_EQ(ReadStoredUrls(backend()), (StoredUrls{{201, "http://beyond/"}}));
  }
}

TEST_P(ListCommands, SaveAllDropsBlanksAndKeepsAtMost200) {
  Start({"old"});
  std::vector<std::string> texts = Generated(230);
  texts[3] = "   ";
  texts[0] = " kept with spaces ";
  list_.replaceAll(texts);
  SaveAllChanges(context());

  std::vector<std::string> expected = texts;
  expected.erase(expected.begin() + 3);  // the blank one
  EXPECT_EQ(ReadStoredUrls(backend()), Numbered(expected));
  expected.resize(200);
  EXPECT_EQ(list_.items(), expected);
  EXPECT_EQ(list_.selectionIndex(), 0);
}

TEST_P(ListCommands, SaveAllOnAnEmptyListDeletesTheWindow) {
  StoredUrls stored = Numbered({"A", "B"});
  stored[201] = "beyond";
  StoreUrls(backend(), stored);
  list_.clear();
  SaveAllChanges(context());
  EXPECT_EQ(list_.count(), 0u);
  EXPECT_EQ(ReadStoredUrls(backend()), (StoredUrls{{201, "beyond"}}));
}

TEST_P(ListCommands, AddsAnAddress) {
  Start(Generated(200));
  EXPECT_EQ(AddAddress(context(), " new ").refusal, CommandMessage::kNone);
  ASSERT_EQ(list_.count(), 201u);
  EXPECT_EQ(list_.item(200), " new ");
  StoredUrls expected = Numbered(Generated(200));
  if (!manual()) expected[201] = " new ";
  EXPECT_EQ(ReadStoredUrls(backend()), expected);
}

TEST_P(ListCommands, RefusesABlankAddress) {
  Start({"A"});
  for (const char* blank : {"", "   "}) {
    EXPECT_EQ(AddAddress(context(), blank).refusal, CommandMessage::kCannotAddEmpty);
    list_.select(0);
    EXPECT_EQ(SaveEditedAddress(context(), blank).refusal, CommandMessage::kCannotSaveEmpty);
  }
  EXPECT_EQ(list_.items(), (std::vector<std::string>{"A"}));
  EXPECT_EQ(ReadStoredUrls(backend()), Numbered({"A"}));
}

TEST_P(ListCommands, EditsTheSelectedAddress) {
  Start({"A", "B", "C"});
  list_.selectNone();
  EXPECT_EQ(CheckEditable(list_), CommandMessage::kNoAddressSelected);
  EXPECT_EQ(SaveEditedAddress(context(), "X").refusal, CommandMessage::kNoAddressSelected);
  list_.select(1);
  EXPECT_EQ(CheckEditable(list_), CommandMessage::kNone);
  EXPECT_EQ(SaveEditedAddress(context(), " X ").refusal, CommandMessage::kNone);
  EXPECT_EQ(list_.items(), (std::vector<std::string>{"A", " X ", "C"}));
  EXPECT_EQ(ReadStoredUrls(backend()),
            Numbered(manual() ? std::vector<std::string>{"A", "B", "C"}
                              : std::vector<std::string>{"A", " X ", "C"}));
}

// Delete B from A,B,C in manual mode, switch to automatic mode, add D: the store must hold
// the list as shown (A,C,D), not the old store with D written over url3.
using ModeSwitch = BackendTest;

TEST_P(ModeSwitch, AddAfterSwitchingToAutomaticStoresTheWholeList) {
  StoreUrls(backend(), Numbered({"A", "B", "C"}));
  AddressList list;
  ProgramSettings settings;
  StoreSaveMode(backend(), settings, "Two");
  LoadAndCompactAddresses(backend(), list);
  list.select(1);
  ASSERT_EQ(DeleteSelectedAddress({backend(), list, settings}).refusal, CommandMessage::kNone);
  ASSERT_EQ(ReadStoredUrls(backend()), Numbered({"A", "B", "C"}));

  StoreSaveMode(backend(), settings, "One");
  EXPECT_EQ(AddAddress({backend(), list, settings}, "D").refusal, CommandMessage::kNone);
  EXPECT_EQ(list.items(), (std::vector<std::string>{"A", "C", "D"}));
  EXPECT_EQ(ReadStoredUrls(backend()), Numbered({"A", "C", "D"}));
}

// ---- Typed times ----

RegValue FileTimeValue(std::uint64_t filetime) {
  RegValue value{regtype::kBinary, std::vector<std::uint8_t>(8)};
  for (int i = 0; i < 8; ++i)
    value.data[static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(filetime >> (8 * i));
  return value;
}

std::uint64_t FileTimeOf(const RegValue& value) {
  std::uint64_t filetime = 0;
  for (int i = 7; i >= 0; --i) filetime = (filetime << 8) | value.data[static_cast<std::size_t>(i)];
  return filetime;
}

// The time values url1..url210 that exist, by number.
std::map<int, RegValue> StoredTimes(RegistryBackend& backend) {
  Transaction transaction(backend);
  std::map<int, RegValue> times;
  for (int n = 1; n <= 210; ++n) {
    if (auto value = backend.queryValue(kCurrentUser, kTypedUrlsTimeKey, UrlValueName(n))) {
      times[n] = *value;
    }
  }
  return times;
}

constexpr std::uint64_t kTypedAt = 0x01DA000000000000ULL;  // a FILETIME in 2023

class TypedTimes : public BackendTest {
 protected:
  // url k holds texts[k-1] and the time kTypedAt + k, plus a value of another name.
  void Start(const std::vector<std::string>& texts) {
    StoreUrls(backend(), Numbered(texts));
    {
      Transaction transaction(backend());
      for (std::size_t k = 1; k <= texts.size(); ++k) {
        backend().setValue(kCurrentUser, kTypedUrlsTimeKey, UrlValueName(k),
                           FileTimeValue(kTypedAt + k));
      }
      modReg::WriteRegString(backend(), kCurrentUser, kTypedUrlsTimeKey, "other", "kept");
    }
    LoadAndCompactAddresses(backend(), list_);
  }
  ListContext context() { return {backend(), list_, settings_, &history_}; }
  // The FILETIME each stored address's time says, by address.
  std::map<std::string, std::uint64_t> TimesByAddress() {
    std::map<std::string, std::uint64_t> out;
    const StoredUrls urls = ReadStoredUrls(backend());
    const std::map<int, RegValue> times = StoredTimes(backend());
    for (const auto& [n, text] : urls) {
      const auto it = times.find(n);
      out[text] = it == times.end() || it->second.data.size() != 8 ? 0 : FileTimeOf(it->second);
    }
    return out;
  }
  static std::uint64_t Now() { return TypedTime::Now().filetime; }

  AddressList list_;
  ProgramSettings settings_{"One", "Max"};
  UndoHistory history_;
};

TEST_P(TypedTimes, EachAddressKeepsItsTimeThroughEveryChange) {
  Start({"A", "B", "C", "D", "E"});
  list_.select(2);
  MoveSelectedUp(context());
  MoveSelectedUp(context());  // C, A, B, D, E
  list_.select(1);
  DeleteSelectedAddress(context());  // C, B, D, E
  const std::uint64_t before = Now();
  AddAddress(context(), "F");
  list_.select(2);
  SaveEditedAddress(context(), "G");  // D becomes G, typed now
  list_.select(3);
  SaveEditedAddress(context(), "E");  // unchanged: keeps its time
  const std::uint64_t after = Now();

  ASSERT_EQ(ReadStoredUrls(backend()), Numbered({"C", "B", "G", "E", "F"}));
  const auto times = TimesByAddress();
  EXPECT_EQ(times.at("C"), kTypedAt + 3);
  EXPECT_EQ(times.at("B"), kTypedAt + 2);
  EXPECT_EQ(times.at("E"), kTypedAt + 5);
  for (const char* typedNow : {"G", "F"}) {
    EXPECT_GE(times.at(typedNow), before) << typedNow;
    EXPECT_LE(times.at(typedNow), after) << typedNow;
  }
  EXPECT_EQ(StoredTimes(backend()).size(), 5u);
  EXPECT_EQ(modReg::ReadRegString(backend(), kCurrentUser, kTypedUrlsTimeKey, "other"), "kept");

  // Undo brings a deleted address back with its own time.
  list_.select(1);
  DeleteSelectedAddress(context());
  UndoChange(context());
  EXPECT_EQ(TimesByAddress().at("B"), kTypedAt + 2);
  // "Save all changes" reads the list back with its times.
  SaveAllChanges(context());
  EXPECT_EQ(list_.time(1), TypedTime::Stored(FileTimeValue(kTypedAt + 2)));
}

TEST_P(TypedTimes, GapsAndOddSizesAreKeptAsTheyAre) {
  StoreUrls(backend(), {{1, "A"}, {2, "B"}, {3, "C"}});
  const RegValue odd{regtype::kBinary, {1, 2, 3, 4}};
  {
    Transaction transaction(backend());
    backend().setValue(kCurrentUser, kTypedUrlsTimeKey, "url1", FileTimeValue(kTypedAt + 1));
    backend().setValue(kCurrentUser, kTypedUrlsTimeKey, "url3", odd);
    backend().setValue(kCurrentUser, kTypedUrlsTimeKey, "url4", FileTimeValue(kTypedAt + 4));
  }
  LoadAndCompactAddresses(backend(), list_);
  list_.select(1);
  MoveSelectedDown(context());  // A, C, B
  const std::map<int, RegValue> times = StoredTimes(backend());
  ASSERT_EQ(times.size(), 2u);  // B has none, and url4's address is gone
  EXPECT_EQ(times.at(1), FileTimeValue(kTypedAt + 1));
  EXPECT_EQ(times.at(2), odd);
}

TEST_P(TypedTimes, DeletingEverythingDeletesTheTimesButNotTheirKey) {
  for (int way = 0; way < 2; ++way) {
    SCOPED_TRACE(way);
    Start({"A", "B"});
    if (way == 0) {
      DeleteAllAddresses(context());
    } else {
      list_.clear();
      SaveAllChanges(context());
    }
    EXPECT_TRUE(StoredTimes(backend()).empty());
    EXPECT_TRUE(backend().keyExists(kCurrentUser, kTypedUrlsTimeKey));
    EXPECT_EQ(modReg::ReadRegString(backend(), kCurrentUser, kTypedUrlsTimeKey, "other"), "kept");
  }
}

TEST_P(TypedTimes, WithoutTheKeyNoCommandMakesIt) {
  StoreUrls(backend(), Numbered({"A", "B", "C"}));
  LoadAndCompactAddresses(backend(), list_);
  list_.select(1);
  MoveSelectedUp(context());
  DeleteSelectedAddress(context());
  AddAddress(context(), "D");
  list_.select(0);
  SaveEditedAddress(context(), "E");
  ImportAddresses(context(), {"x", "y"});
  SaveAllChanges(context());
  UndoChange(context());
  DeleteAllAddresses(context());
  EXPECT_FALSE(backend().keyExists(kCurrentUser, kTypedUrlsTimeKey));
}

// ---- Backups ----

class Backups : public BackendTest {
 protected:
  static std::string ReadAll(const std::filesystem::path& path) { return support::ReadBytes(path); }
  // The stored keys as the backup holds them.
  static RegFileDocument Parsed(const std::filesystem::path& backup) {
    RegParseResult parsed = ParseRegFile(ReadAll(backup));
    EXPECT_TRUE(parsed.document) << parsed.error.message << " at " << parsed.error.line;
    return parsed.document ? std::move(*parsed.document) : RegFileDocument{};
  }

  support::TemporaryFolder temporary_{"backups"};
  const std::filesystem::path folder_ = temporary_ / "backups";  // made by the first backup
};

TEST_P(Backups, TheFirstChangeOfARunIsPrecededByOneCopyOfWhatWasStored) {
  {
    Transaction transaction(backend());
    StoreUrls(backend(), {{1, "A"}, {3, "B"}});
    backend().setValue(kCurrentUser, kTypedUrlsTimeKey, "url3",
                       {regtype::kBinary, {1, 2, 3, 4, 5, 6, 7, 8}});
    modReg::WriteRegString(backend(), kCurrentUser, std::string(kTypedUrlsKey) + "\\Sub", "deep",
                           "x");
    modReg::WriteRegString(backend(), kCurrentUser, kSettingsKey, kSaveModeValue, "One");
    modReg::WriteRegString(backend(), kCurrentUser, "Software\\Other", "v", "not ours");
  }
  // The program's run starts here.
  backend().setBackup(ProgramBackup(folder_));
  AddressList list;
  ProgramSettings settings{"One", "Max"};
  LoadAndCompactAddresses(backend(), list, LoadKind::kStartup);  // url3 becomes url2
  list.select(1);
  MoveSelectedUp({backend(), list, settings});

  const std::vector<std::filesystem::path> taken = BackupFolder(folder_).list();
  ASSERT_EQ(taken.size(), 1u);
  const RegFileDocument doc = Parsed(taken[0]);
  const std::string typed = backend().exportPath(kCurrentUser, kTypedUrlsKey);
  const RegFileKey* key = const_cast<RegFileDocument&>(doc).findKey(typed);
  ASSERT_NE(key, nullptr);
  ASSERT_TRUE(key->find("url3"));  // as it was before the compaction
  EXPECT_FALSE(key->find("url2"));
  EXPECT_NE(const_cast<RegFileDocument&>(doc).findKey(typed + "\\Sub"), nullptr);
  EXPECT_NE(const_cast<RegFileDocument&>(doc).findKey(
                backend().exportPath(kCurrentUser, kTypedUrlsTimeKey)),
            nullptr);
  EXPECT_NE(
      const_cast<RegFileDocument&>(doc).findKey(backend().exportPath(kCurrentUser, kSettingsKey)),
      nullptr);
  EXPECT_EQ(const_cast<RegFileDocument&>(doc).findKey(
                backend().exportPath(kCurrentUser, "Software\\Other")),
            nullptr);
  // Each key is first deleted, so that an import removes what was added since.
  const std::u16string text =
      Utf16LeBytesToText(reinterpret_cast<const unsigned char*>(ReadAll(taken[0]).data()) + 2,
                         ReadAll(taken[0]).size() - 2);
  EXPECT_NE(Utf16ToWtf8(text).find("[-" + typed + "]"), std::string::npos);
}

TEST_P(Backups, ARunThatChangesNothingMakesNone) {
  StoreUrls(backend(), Numbered({"A", "B"}));
  backend().setBackup(ProgramBackup(folder_));
  AddressList list;
  ProgramSettings settings{"One", "Max"};
  LoadAndCompactAddresses(backend(), list, LoadKind::kStartup);  // already compact
  LoadAndCompactAddresses(backend(), list, LoadKind::kReload);
  list.select(0);
  SaveEditedAddress({backend(), list, settings}, "A");  // the same text
  SaveAllChanges({backend(), list, settings});
  EXPECT_FALSE(backend().backupTaken());
  EXPECT_FALSE(std::filesystem::exists(folder_));
  EXPECT_TRUE(TakeStoreNotices(backend()).empty());
}

// A key the program makes is deleted by a restore when it was missing; the times' key, which
// the program never makes, is not named at all.
TEST_P(Backups, KeysMissingBeforeTheFirstChangeAreDeletedByARestoreButNotTheTimesKey) {
  backend().setBackup(ProgramBackup(folder_));
  AddressList list;
  ProgramSettings settings{"One", "Max"};
  LoadAndCompactAddresses(backend(), list, LoadKind::kStartup);
  AddAddress({backend(), list, settings}, "http://a/");

  const std::vector<std::filesystem::path> taken = BackupFolder(folder_).list();
  ASSERT_EQ(taken.size(), 1u);
  const std::string bytes = ReadAll(taken[0]);
  ASSERT_GE(bytes.size(), 2u);
  const std::string text = Utf16ToWtf8(Utf16LeBytesToText(
      reinterpret_cast<const unsigned char*>(bytes.data()) + 2, bytes.size() - 2));
  const auto path = [&](std::string_view key) { return backend().exportPath(kCurrentUser, key); };
  EXPECT_NE(text.find("[-" + path(kTypedUrlsKey) + "]"), std::string::npos) << text;
  EXPECT_NE(text.find("[-" + path(kSettingsKey) + "]"), std::string::npos) << text;
  EXPECT_EQ(text.find(path(kTypedUrlsTimeKey)), std::string::npos) << text;
  EXPECT_EQ(text.find("[" + path(kTypedUrlsKey) + "]"), std::string::npos) << text;
}

TEST_P(Backups, ABackupThatCannotBeWrittenStopsTheWrite) {
  StoreUrls(backend(), Numbered({"A", "B"}));
  // A file where the folder should be: nothing can be made there, whoever runs the test.
  { std::ofstream(folder_) << "in the way"; }
  backend().setBackup(ProgramBackup(folder_ / "store"));
  AddressList list;
  ProgramSettings settings{"One", "Max"};
  LoadAndCompactAddresses(backend(), list, LoadKind::kStartup);
  list.select(1);
  const CommandResult result = MoveSelectedUp({backend(), list, settings});
  EXPECT_EQ(list.items(), (std::vector<std::string>{"B", "A"}));  // the list keeps the move
  EXPECT_EQ(ReadStoredUrls(backend()), Numbered({"A", "B"}));
  ASSERT_EQ(result.storeNotices.size(), 1u);
  EXPECT_NE(result.storeNotices[0].find("backup"), std::string::npos) << result.storeNotices[0];
}

std::string ListParamName(const ::testing::TestParamInfo<std::tuple<Backend, const char*>>& info) {
  const std::string mode = std::get<1>(info.param);
  return BackendName(std::get<0>(info.param)) + "_" + (mode.empty() ? "Empty" : mode);
}

// ---- Another program writes the list between two commands ----

// A REG_SZ value holding the text (ASCII here) and its terminator, as a program stores it.
RegValue SzValue(std::string_view text) {
  return Utf16Value(regtype::kSz, std::u16string(text.begin(), text.end()) + u'\0');
}

// The stored texts in order, gaps closed, as a window shows them.
std::vector<std::string> Texts(const StoredUrls& urls) {
  std::vector<std::string> texts;
  for (const auto& [n, text] : urls) texts.push_back(text);
  return texts;
}

// A command of the window, run on the list A, B, C with B selected, in the mode it needs.
struct WriterCommand {
  const char* name;
  const char* saveMode;
  std::function<void(ListContext)> run;
  std::vector<std::string> shown;                // the window's list afterwards
  std::function<void(ListContext)> before = {};  // what the user did first
};

std::vector<WriterCommand> WriterCommands() {
  return {
      {"Delete", "One", [](ListContext c) { DeleteSelectedAddress(c); }, {"A", "C"}},
      {"DeleteAll", "One", [](ListContext c) { DeleteAllAddresses(c); }, {}},
      {"MoveUp", "One", [](ListContext c) { MoveSelectedUp(c); }, {"B", "A", "C"}},
      {"Add", "One", [](ListContext c) { AddAddress(c, "D"); }, {"A", "B", "C", "D"}},
      {"Edit", "One", [](ListContext c) { SaveEditedAddress(c, "X"); }, {"A", "X", "C"}},
      {"Import",
       "One",
       [](ListContext c) {
         ImportAddresses(c, {"P", "Q"});
       },
       {"P", "Q"}},
      // The deletion reaches the store before the other program writes; its undo is the
      // command under test.
      {"Undo",
       "One",
       [](ListContext c) { UndoChange(c); },
       {"A", "B", "C"},
       [](ListContext c) { DeleteSelectedAddress(c); }},
      {"SaveAllInManualMode",
       "Two",
       [](ListContext c) { SaveAllChanges(c); },
       {"A", "C"},
       [](ListContext c) { DeleteSelectedAddress(c); }},
  };
}

class AnotherWriter : public ::testing::TestWithParam<std::tuple<Backend, std::size_t>> {
 protected:
  void SetUp() override {
    holder_ = MakeBackend(std::get<0>(GetParam()));
    ASSERT_NE(holder_, nullptr);
    command_ = WriterCommands().at(std::get<1>(GetParam()));
    settings_.SaveMode = command_.saveMode;
    StoreUrls(backend(), Numbered({"A", "B", "C"}));
    StartUp(backend(), list_, settings_, &base_);
    settings_.SaveMode = command_.saveMode;
    list_.select(1);
    if (command_.before) command_.before(context());
  }
  RegistryBackend& backend() { return holder_->get(); }
  // Another program appends an address the window does not show.
  void anotherProgramAddsZ() {
    holder_->writeAsAnotherProgram(kTypedUrlsKey, "url4", SzValue("Z"));
  }
  ListContext context() {
    ListContext context{backend(), list_, settings_, &history_, &base_};
    context.replaceChangedStore = [this] {
      ++questions_;
      return answer_;
    };
    return context;
  }

  WriterCommand command_;
  AddressList list_;
  ProgramSettings settings_;
  UndoHistory history_;
  std::optional<TypedAddresses> base_;
  int questions_ = 0;
  bool answer_ = true;

  std::unique_ptr<BackendUnderTest> holder_;
};

TEST_P(AnotherWriter, AnUnchangedStoreIsWrittenWithoutAQuestion) {
  command_.run(context());
  EXPECT_EQ(questions_, 0);
  EXPECT_EQ(list_.items(), command_.shown);
  EXPECT_EQ(ReadStoredUrls(backend()), Numbered(command_.shown));
}

TEST_P(AnotherWriter, YesReplacesTheOtherChangeOnceAsked) {
  anotherProgramAddsZ();
  command_.run(context());
  EXPECT_EQ(questions_, 1);
  EXPECT_EQ(list_.items(), command_.shown);
  EXPECT_EQ(ReadStoredUrls(backend()), Numbered(command_.shown));
  // What was written is now what this window expects: the next write asks nothing.
  AddAddress(context(), "E");
  SaveAllChanges(context());
  EXPECT_EQ(questions_, 1);
}

TEST_P(AnotherWriter, NoKeepsBothTheOtherChangeAndTheWindowsList) {
  anotherProgramAddsZ();
  const StoredUrls theirs = ReadStoredUrls(backend());
  answer_ = false;
  command_.run(context());
  EXPECT_EQ(questions_, 1);
  EXPECT_EQ(list_.items(), command_.shown);
  EXPECT_EQ(ReadStoredUrls(backend()), theirs);
  EXPECT_TRUE(TakeStoreNotices(backend()).empty());
  // Reload shows the stored list without asking, and later commands write again.
  answer_ = true;
  ReloadAddresses(context());
  EXPECT_EQ(list_.items(), Texts(theirs));
  list_.select(0);
  DeleteSelectedAddress(context());
  SaveAllChanges(context());
  EXPECT_EQ(questions_, 1);
  EXPECT_EQ(ReadStoredUrls(backend()), Numbered(list_.items()));
}

TEST_P(AnotherWriter, StartUpAndReloadReadAfreshWithoutAsking) {
  anotherProgramAddsZ();
  AddressList fresh;
  ProgramSettings settings;
  std::optional<TypedAddresses> base;
  StartUp(backend(), fresh, settings, &base);
  EXPECT_EQ(fresh.items(), Texts(ReadStoredUrls(backend())));
  EXPECT_EQ(fresh.items().back(), "Z");
  holder_->writeAsAnotherProgram(kTypedUrlsKey, "url1", SzValue("Y"));
  ReloadAddresses(context());
  EXPECT_EQ(list_.items(), Texts(ReadStoredUrls(backend())));
  EXPECT_EQ(list_.item(0), "Y");
  EXPECT_EQ(questions_, 0);
}

INSTANTIATE_TEST_SUITE_P(
    AllBackends, AnotherWriter,
    ::testing::Combine(::testing::ValuesIn(AvailableBackends()),
                       ::testing::Range(std::size_t{0}, WriterCommands().size())),
    [](const ::testing::TestParamInfo<std::tuple<Backend, std::size_t>>& info) {
      return BackendName(std::get<0>(info.param)) + "_" +
             WriterCommands().at(std::get<1>(info.param)).name;
    });

// The browser typing an address again changes only its time: that is a change too.
TEST_P(TypedTimes, ANewTimeFromAnotherProgramIsAChange) {
  Start({"A", "B", "C"});
  AddressList list;
  ProgramSettings settings;
  std::optional<TypedAddresses> base;
  StartUp(backend(), list, settings, &base);
  ASSERT_EQ(list.count(), 3u);
  holder().writeAsAnotherProgram(kTypedUrlsTimeKey, "url2", FileTimeValue(kTypedAt + 99));
  int questions = 0;
  ListContext context{backend(), list, settings, nullptr, &base};
  context.replaceChangedStore = [&] { return ++questions, false; };
  list.select(0);
  MoveSelectedDown(context);
  EXPECT_EQ(questions, 1);
  EXPECT_EQ(StoredTimes(backend()).at(2), FileTimeValue(kTypedAt + 99));
}

INSTANTIATE_TEST_SUITE_P(AllBackends, ListCommands,
                         ::testing::Combine(::testing::ValuesIn(AvailableBackends()),
                                            ::testing::Values("One", "Two", "")),
                         ListParamName);

INSTANTIATE_TEST_SUITE_P(AllBackends, RegistryRoutines, ::testing::ValuesIn(AvailableBackends()),
                         BackendParamName);
INSTANTIATE_TEST_SUITE_P(AllBackends, TypedAddressStore, ::testing::ValuesIn(AvailableBackends()),
                         BackendParamName);
INSTANTIATE_TEST_SUITE_P(AllBackends, ModeSwitch, ::testing::ValuesIn(AvailableBackends()),
                         BackendParamName);
INSTANTIATE_TEST_SUITE_P(AllBackends, Backups, ::testing::ValuesIn(AvailableBackends()),
                         BackendParamName);
INSTANTIATE_TEST_SUITE_P(AllBackends, TypedTimes, ::testing::ValuesIn(AvailableBackends()),
                         BackendParamName);
INSTANTIATE_TEST_SUITE_P(AllBackends, SettingsStore, ::testing::ValuesIn(AvailableBackends()),
                         BackendParamName);

}  // namespace
}  // namespace tavelin
