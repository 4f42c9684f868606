// What only the registry file does: its bytes on disk, the lock, failed reads and writes, and
// left-over temporaries. What every backend does is checked over all of them in the backend
// suite; what every file the program writes does (links, permissions, full disks) over all of
// them in file_writers_test.cpp.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "list/address_list.h"
#include "list/list_store.h"
#include "list/store_notices.h"
#include "platform/atomic_replace.h"
#include "platform/wide_text.h"
#include "platform/wtf8.h"
#include "store/registry_file.h"
#include "store/typed_address_store.h"
#include "support/files.h"

namespace tavelin {
namespace {

namespace fs = std::filesystem;
using platform::PathText;
using support::ReadBytes;
using support::Utf16File;
using support::WriteBytes;

bool Contains(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}

class RegFile : public testing::Test {
 protected:
  std::string read(RegFileRegistry& registry, std::string_view key, std::string_view name) {
    return modReg::ReadRegString(registry, kCurrentUser, key, name);
  }
  bool write(RegFileRegistry& registry, std::string_view key, std::string_view name,
             std::string_view text) {
    return modReg::WriteRegString(registry, kCurrentUser, key, name, text);
  }

  support::TemporaryFolder temporary_{"registry-file"};
  const fs::path& folder_ = temporary_.path();
  const fs::path regFile_ = folder_ / "HKEY_CURRENT_USER.reg";
};

TEST_F(RegFile, ANewFileIsWrittenAsAnExportWouldBe) {
  RegFileRegistry registry(regFile_);
  EXPECT_EQ(read(registry, "Software\\Tavelin", "SaveOptions"), "");
  EXPECT_FALSE(fs::exists(regFile_));  // reading creates nothing

  ASSERT_TRUE(write(registry, "Software\\Tavelin", "SaveOptions", "One"));
  EXPECT_EQ(ReadBytes(regFile_), Utf16File(u"Windows Registry Editor Version 5.00\r\n\r\n"
                                           u"[HKEY_CURRENT_USER\\Software]\r\n\r\n"
                                           u"[HKEY_CURRENT_USER\\Software\\Tavelin]\r\n"
                                           u"\"SaveOptions\"=\"One\"\r\n\r\n"));
  EXPECT_TRUE(TakeStoreNotices(registry).empty());
}

// Text written over a stored value leaves the file alone only when the value is already that
// text as REG_SZ, byte for byte; anything that merely reads back the same is rewritten.
TEST_F(RegFile, TextIsRewrittenUnlessStoredExactlyAsIt) {
  const auto sz = [](std::string_view text) { return Wtf8ToUtf16LeWithNul(text); };
  struct Case {
    const char* label;
    RegValue stored;
    std::string text;
    bool unchanged;
  };
  std::vector<Case> cases;
  cases.push_back(
      {"the same", {regtype::kSz, sz("https://a.example/")}, "https://a.example/", true});
  cases.push_back(
      {"the same outside ASCII", {regtype::kSz, sz("caf\xc3\xa9")}, "caf\xc3\xa9", true});
  cases.push_back(
      {"another letter outside ASCII", {regtype::kSz, sz("caf\xc3\xa8")}, "caf\xc3\xa9", false});
  cases.push_back({"expandable", {regtype::kExpandSz, sz("abc")}, "abc", false});
  cases.push_back({"a prefix", {regtype::kSz, sz("abcd")}, "abc", false});
  cases.push_back({"longer text", {regtype::kSz, sz("abc")}, "abcd", false});
  std::vector<std::uint8_t> afterNul = sz("abc");
  afterNul.insert(afterNul.end(), {'x', 0, 0, 0});
  cases.push_back({"more after the NUL", {regtype::kSz, afterNul}, "abc", false});
  std::vector<std::uint8_t> noNul = sz("abc");
  noNul.resize(noNul.size() - 2);
  cases.push_back({"no NUL", {regtype::kSz, noNul}, "abc", false});
  cases.push_back({"a high byte", {regtype::kSz, {'a', 1, 0, 0}}, "a", false});
  cases.push_back({"another letter in the second word",
                   {regtype::kSz, sz("https://a.example/")},
                   "https://b.example/",
                   false});
  std::vector<std::uint8_t> highByte = sz("0123456789ab");
  highByte[2 * 9 + 1] = 1;
  cases.push_back({"a high byte in a word", {regtype::kSz, highByte}, "0123456789ab", false});
  // Longer texts: a difference in the last letter, in the length, in place of the NUL.
  cases.push_back({"another last letter of a long text",
                   {regtype::kSz, sz("0123456789abcdefX")},
                   "0123456789abcdefY",
                   false});
  cases.push_back({"a long text outside ASCII at its end",
                   {regtype::kSz, sz("0123456789cafÃ©")},
                   "0123456789cafÃ©",
                   true});
  cases.push_back({"a long text one letter shorter",
                   {regtype::kSz, sz("0123456789abcdef")},
                   "0123456789abcdefg",
                   false});
  std::vector<std::uint8_t> longNoNul = sz("0123456789abcdefgh");
  longNoNul[longNoNul.size() - 2] = 'x';
  cases.push_back({"a long text with a letter in place of its NUL",
                   {regtype::kSz, longNoNul},
                   "0123456789abcdefgh",
                   false});
  for (const Case& c : cases) {
    SCOPED_TRACE(c.label);
    EXPECT_EQ(IsTextValue(c.stored, c.text), c.unchanged);
    RegFileRegistry registry(regFile_);
    ASSERT_TRUE(registry.setValue(kCurrentUser, "Software\\K", "v", c.stored));
    const std::string before = ReadBytes(regFile_);
    ASSERT_TRUE(write(registry, "Software\\K", "v", c.text));
    EXPECT_EQ(ReadBytes(regFile_) == before, c.unchanged);
    EXPECT_EQ(registry.queryValue(kCurrentUser, "Software\\K", "v"),
              (RegValue{regtype::kSz, sz(c.text)}));
  }
}

TEST_F(RegFile, AMissingFolderIsCreatedOnTheFirstWrite) {
  RegFileRegistry registry(folder_ / "a" / "b" / "registry.reg");
  ASSERT_TRUE(write(registry, "Software\\Tavelin", "SaveOptions2", "Max"));
  RegFileRegistry again(folder_ / "a" / "b" / "registry.reg");
  EXPECT_EQ(read(again, "Software\\Tavelin", "SaveOptions2"), "Max");
}

TEST_F(RegFile, TheStartUpRewriteKeepsEverythingElseAsItWas) {
  const std::u16string others =
      u"[HKEY_CURRENT_USER\\Software\\Other]\r\n"
      u"@=\"default\"\r\n"
      u"\"bin\"=hex:00,01,02\r\n"
      u"\"exp\"=hex(2):25,00,41,00,25,00,00,00\r\n"
      u"\"dw\"=dword:00000010\r\n"
      u"\"Url1\"=\"not a typed address\"\r\n"
      u"\r\n";
  WriteBytes(regFile_, Utf16File(u"Windows Registry Editor Version 5.00\r\n\r\n" + others +
                                 u"[HKEY_CURRENT_USER\\Software\\Microsoft\\Internet Explorer\\"
                                 u"TypedURLs]\r\n"
                                 u"\"url7\"=\"http://seven/\"\r\n"
                                 u"\"url1\"=\"http://one/\"\r\n"
                                 u"\"url2\"=\"   \"\r\n"
                                 u"\"url3\"=\" \u00e9t\u00e9 \"\r\n"
                                 u"\"url201\"=\"http://kept/\"\r\n"
                                 u"\r\n"
                                 u"[HKEY_LOCAL_MACHINE\\Software]\r\n"
                                 u"\"x\"=\"y\"\r\n"
                                 u"\r\n"));
  RegFileRegistry registry(regFile_);
  AddressList list;
  LoadAndCompactAddresses(registry, list);

  ASSERT_EQ(list.count(), 3u);
  EXPECT_EQ(list.item(1), " \xc3\xa9t\xc3\xa9 ");
  // Rewritten values keep their places, url7 goes, url201 lies outside the window and stays.
  EXPECT_EQ(ReadBytes(regFile_),
            Utf16File(u"Windows Registry Editor Version 5.00\r\n\r\n" + others +
                      u"[HKEY_CURRENT_USER\\Software\\Microsoft\\Internet Explorer\\"
                      u"TypedURLs]\r\n"
                      u"\"url1\"=\"http://one/\"\r\n"
                      u"\"url2\"=\" \u00e9t\u00e9 \"\r\n"
                      u"\"url3\"=\"http://seven/\"\r\n"
                      u"\"url201\"=\"http://kept/\"\r\n"
                      u"\r\n"
                      u"[HKEY_LOCAL_MACHINE\\Software]\r\n"
                      u"\"x\"=\"y\"\r\n"
                      u"\r\n"));
  EXPECT_TRUE(TakeStoreNotices(registry).empty());
}

TEST_F(RegFile, ACommandThatChangesNothingDoesNotRewriteTheFile) {
  // Comments are not kept by a rewrite, so they show whether one happened.
  const std::string original =
      "REGEDIT4\n; hand-written\n[HKEY_CURRENT_USER\\Software\\Microsoft\\Internet Explorer\\"
      "TypedURLs]\n\"url1\"=\"http://a/\" ; first\n";
  WriteBytes(regFile_, original);
  RegFileRegistry registry(regFile_);
  AddressList list;
  LoadAndCompactAddresses(registry, list);
  ASSERT_EQ(list.count(), 1u);
  EXPECT_EQ(ReadBytes(regFile_), original);

  ASSERT_TRUE(write(registry, "Software\\Microsoft\\Internet Explorer\\TypedURLs", "url2", "b"));
  EXPECT_EQ(ReadBytes(regFile_),
            "REGEDIT4\n\n[HKEY_CURRENT_USER\\Software\\Microsoft\\Internet Explorer\\TypedURLs]\n"
            "\"url1\"=\"http://a/\"\n\"url2\"=\"b\"\n\n");
}

TEST_F(RegFile, ATransactionWritesOnceAtItsEnd) {
  RegFileRegistry registry(regFile_);
  ASSERT_TRUE(write(registry, "Software\\K", "a", "1"));
  const std::string before = ReadBytes(regFile_);
  {
    Transaction transaction(registry);
    ASSERT_TRUE(write(registry, "Software\\K", "a", "2"));
    ASSERT_TRUE(write(registry, "Software\\K", "b", "3"));
    EXPECT_EQ(read(registry, "Software\\K", "a"), "2");
    EXPECT_EQ(ReadBytes(regFile_), before);
  }
  RegFileRegistry other(regFile_);
  EXPECT_EQ(read(other, "Software\\K", "a"), "2");
  EXPECT_EQ(read(other, "Software\\K", "b"), "3");
}

TEST_F(RegFile, TwoInstancesSeeEachOthersWritesAndTheLastOneWins) {
  RegFileRegistry first(regFile_);
  RegFileRegistry second(regFile_);
  ASSERT_TRUE(write(first, "Software\\K", "a", "from first"));
  ASSERT_TRUE(write(second, "Software\\K", "b", "from second"));
  EXPECT_EQ(read(first, "Software\\K", "b"), "from second");
  ASSERT_TRUE(write(first, "Software\\K", "b", "first again"));
  EXPECT_EQ(read(second, "Software\\K", "a"), "from first");
  EXPECT_EQ(read(second, "Software\\K", "b"), "first again");
}

TEST_F(RegFile, ALockHeldTooLongFailsThatCommandOnly) {
  RegFileRegistry holder(regFile_);
  RegFileRegistry waiter(regFile_, std::chrono::milliseconds(50));
  ASSERT_TRUE(write(holder, "Software\\K", "a", "1"));
  {
    Transaction transaction(holder);  // holds the lock
    EXPECT_EQ(read(waiter, "Software\\K", "a"), "");
    std::vector<std::string> notices = TakeStoreNotices(waiter);
    ASSERT_EQ(notices.size(), 1u);
    EXPECT_TRUE(Contains(notices[0], PathText(regFile_))) << notices[0];
    EXPECT_TRUE(Contains(notices[0], "lock")) << notices[0];
    EXPECT_FALSE(write(waiter, "Software\\K", "a", "2"));
    notices = TakeStoreNotices(waiter);
    ASSERT_EQ(notices.size(), 1u);  // told again, each time
    EXPECT_TRUE(Contains(notices[0], "Nothing was saved")) << notices[0];
  }
  // The list on screen did not come from that read: the next command writes normally.
  EXPECT_TRUE(write(waiter, "Software\\K", "a", "2"));
  EXPECT_EQ(read(holder, "Software\\K", "a"), "2");
  EXPECT_TRUE(TakeStoreNotices(waiter).empty());
}

struct BrokenFile {
  const char* label;
  std::string bytes;
  std::string place;  // what the message must name
};

class UnreadableRegFile : public RegFile, public testing::WithParamInterface<BrokenFile> {};

TEST_P(UnreadableRegFile, IsToldEachTimeAndNeverWritten) {
  const BrokenFile& c = GetParam();
  WriteBytes(regFile_, c.bytes);
  RegFileRegistry registry(regFile_);
  AddressList list;
  // A start-up would store an empty list over the file.
  LoadAndCompactAddresses(registry, list, LoadKind::kStartup);
  EXPECT_EQ(list.count(), 0u);
  EXPECT_EQ(ReadBytes(regFile_), c.bytes);
  std::vector<std::string> notices = TakeStoreNotices(registry);
  ASSERT_EQ(notices.size(), 1u);
  EXPECT_TRUE(Contains(notices[0], PathText(regFile_))) << notices[0];
  EXPECT_TRUE(Contains(notices[0], c.place)) << notices[0];

  EXPECT_FALSE(write(registry, "Software\\Tavelin", "SaveOptions", "Two"));
  list.replaceAll({"typed meanwhile"});
  LoadAndCompactAddresses(registry, list, LoadKind::kReload);
  EXPECT_EQ(list.items(), std::vector<std::string>{"typed meanwhile"});  // a failed reload keeps it
  EXPECT_EQ(TakeStoreNotices(registry).size(), 2u);                      // each told
  EXPECT_EQ(ReadBytes(regFile_), c.bytes);

  // Once the file is mended, writes wait for a reload: the list on screen is not the store's.
  WriteBytes(regFile_, "REGEDIT4\r\n");
  EXPECT_FALSE(write(registry, "Software\\Tavelin", "SaveOptions", "Two"));
  notices = TakeStoreNotices(registry);
  ASSERT_EQ(notices.size(), 1u);
  EXPECT_TRUE(Contains(notices[0], "F5")) << notices[0];
  EXPECT_EQ(ReadBytes(regFile_), "REGEDIT4\r\n");
  LoadAndCompactAddresses(registry, list, LoadKind::kReload);
  EXPECT_TRUE(write(registry, "Software\\Tavelin", "SaveOptions", "Two"));
  EXPECT_TRUE(TakeStoreNotices(registry).empty());
}

INSTANTIATE_TEST_SUITE_P(
    Files, UnreadableRegFile,
    testing::Values(
        BrokenFile{"WineHive",
                   "WINE REGISTRY Version 2\n;; All keys relative to \\\\User\\\\S-1-5-21\n\n"
                   "[Software\\\\Microsoft\\\\Internet Explorer\\\\TypedURLs] 1700000000\n"
                   "\"url1\"=\"http://wine/\"\n",
                   "line 1, column 1"},
        BrokenFile{"BadEscape",
                   "REGEDIT4\n\n[HKEY_CURRENT_USER\\Software\\Microsoft\\Internet Explorer\\"
                   "TypedURLs]\n\"url1\"=\"C:\\dir\"\n",
                   "line 4, column 11"},
        BrokenFile{"NotUtf8",
                   "REGEDIT4\n\n[HKEY_CURRENT_USER\\Software\\Microsoft\\Internet Explorer\\"
                   "TypedURLs]\n\"url1\"=\"caf\xe9\"\n",
                   "line 4, column 12"}),
    [](const testing::TestParamInfo<BrokenFile>& info) { return info.param.label; });

TEST_F(RegFile, AFolderInPlaceOfTheFileIsAFailedRead) {
  fs::create_directories(regFile_);
  RegFileRegistry registry(regFile_);
  EXPECT_EQ(read(registry, "Software\\K", "a"), "");
  EXPECT_EQ(TakeStoreNotices(registry).size(), 1u);
  EXPECT_FALSE(write(registry, "Software\\K", "a", "1"));
  EXPECT_TRUE(fs::is_directory(regFile_));
}

TEST_F(RegFile, AFailedWriteIsToldEachTimeAndLeavesTheFile) {
  // A REGEDIT4 file cannot carry text with an unpaired surrogate.
  const std::string original =
      "REGEDIT4\r\n\r\n[HKEY_CURRENT_USER\\Software\\K]\r\n\"a\"=\"1\"\r\n\r\n";
  WriteBytes(regFile_, original);
  RegFileRegistry registry(regFile_);
  EXPECT_FALSE(write(registry, "Software\\K", "b", "\xed\xa0\x80"));
  EXPECT_FALSE(write(registry, "Software\\K", "c", "\xed\xa0\x80"));
  const std::vector<std::string> notices = TakeStoreNotices(registry);
  ASSERT_EQ(notices.size(), 2u);
  EXPECT_TRUE(Contains(notices[1], PathText(regFile_))) << notices[1];
  EXPECT_TRUE(Contains(notices[1], "Nothing was saved")) << notices[1];
  EXPECT_EQ(ReadBytes(regFile_), original);
  // A failed write blocks nothing that can be written.
  EXPECT_TRUE(write(registry, "Software\\K", "a", "2"));
  EXPECT_EQ(read(registry, "Software\\K", "a"), "2");
}

// The backend keeps the file it last read or wrote, but every transaction reads the file
// again and takes only what is there: a change that failed to reach it, or one made behind
// the program's back in place (same size, same time stamp), is never taken for the file.
TEST_F(RegFile, EachTransactionSeesWhatTheFileHoldsNow) {
  const std::string original =
      "REGEDIT4\r\n\r\n[HKEY_CURRENT_USER\\Software\\K]\r\n\"a\"=\"1\"\r\n\r\n";
  WriteBytes(regFile_, original);
  RegFileRegistry registry(regFile_);
  EXPECT_EQ(read(registry, "Software\\K", "a"), "1");
  EXPECT_FALSE(write(registry, "Software\\K", "b", "\xed\xa0\x80"));  // REGEDIT4 cannot carry it
  EXPECT_EQ(read(registry, "Software\\K", "b"), "");
  EXPECT_EQ(registry.valueNames(kCurrentUser, "Software\\K"), std::vector<std::string>{"a"});

  ASSERT_TRUE(write(registry, "Software\\K", "a", "2"));
  std::string edited = ReadBytes(regFile_);
  const auto stamp = fs::last_write_time(regFile_);
  const std::size_t at = edited.find("\"2\"");
  ASSERT_NE(at, std::string::npos);
  edited[at + 1] = '3';
  {
    std::fstream file(regFile_, std::ios::in | std::ios::out | std::ios::binary);
    file.write(edited.data(), static_cast<std::streamsize>(edited.size()));
  }
  fs::last_write_time(regFile_, stamp);
  EXPECT_EQ(read(registry, "Software\\K", "a"), "3");
  EXPECT_TRUE(TakeStoreNotices(registry).size() == 1u);  // the refused write only
}

// Which names are leftovers is the sweep's own rule (platform_test.cpp); here, that a write
// sweeps and a read does not.
TEST_F(RegFile, LeftOverTemporariesAreRemovedOnTheNextWrite) {
  RegFileRegistry registry(regFile_);
  ASSERT_TRUE(write(registry, "Software\\K", "a", "1"));
  const fs::path stale = folder_ / platform::TemporaryFileName(regFile_, 99999, 0);
  const fs::path staleOfThisProcess =
      folder_ / platform::TemporaryFileName(regFile_, platform::CurrentProcessId(), 7);
  WriteBytes(stale, "half a file");
  WriteBytes(staleOfThisProcess, "half a file");
  WriteBytes(folder_ / "other.reg.tmp-1-0", "not ours");
  EXPECT_EQ(read(registry, "Software\\K", "a"), "1");
  EXPECT_TRUE(fs::exists(stale)) << "a read removes nothing";
  ASSERT_TRUE(write(registry, "Software\\K", "a", "2"));
  EXPECT_FALSE(fs::exists(stale));
  EXPECT_FALSE(fs::exists(staleOfThisProcess));
  // The registry file, its lock and the other program's file.
  EXPECT_EQ(support::CountEntries(folder_), 3u);
}

TEST_F(RegFile, ASymbolicLinkIsFollowedAndKept) {
  const fs::path realFolder = folder_ / "real";
  fs::create_directories(realFolder);
  const fs::path target = realFolder / "registry.reg";
  WriteBytes(target, "REGEDIT4\r\n");
  std::error_code ec;
  fs::create_symlink(fs::path("real") / "registry.reg", regFile_, ec);
  if (ec) GTEST_SKIP() << "no symbolic links here: " << ec.message();

  RegFileRegistry registry(regFile_);
  ASSERT_TRUE(write(registry, "Software\\K", "a", "1"));
  EXPECT_TRUE(fs::is_symlink(regFile_));
  EXPECT_TRUE(Contains(ReadBytes(target), "\"a\"=\"1\""));
  EXPECT_TRUE(fs::exists(realFolder / "registry.reg.lock"));
}

TEST_F(RegFile, ADwordOfAnotherSizeReadsAsEmptyText) {
  WriteBytes(regFile_,
             "REGEDIT4\r\n[HKEY_CURRENT_USER\\K]\r\n\"short\"=hex(4):01,02\r\n"
             "\"whole\"=dword:0000002a\r\n\"multi\"=hex(7):61,00,00\r\n");
  RegFileRegistry registry(regFile_);
  EXPECT_EQ(read(registry, "K", "short"), "");
  EXPECT_EQ(read(registry, "K", "whole"), "42");
  EXPECT_EQ(read(registry, "K", "multi"), "");
  EXPECT_TRUE(TakeStoreNotices(registry).empty());
}

// ---------------------------------------------------------------------------------------

#ifdef _WIN32
#define TAVELIN_ABS "C:"
#else
#define TAVELIN_ABS ""
#endif

struct PathCase {
  const char* label;
  const char* tavelinRegistry;
  const char* xdgDataHome;
  const char* home;
  fs::path expected;
};

class RegFileLocation : public testing::TestWithParam<PathCase> {};

TEST_P(RegFileLocation, FollowsTheEnvironment) {
  const PathCase& c = GetParam();
  EXPECT_EQ(RegFilePath(c.tavelinRegistry, c.xdgDataHome, c.home), c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Environments, RegFileLocation,
    testing::Values(
        PathCase{"Override", "/tmp/x.reg", TAVELIN_ABS "/data", "/home/u", "/tmp/x.reg"},
        PathCase{"Xdg", "", TAVELIN_ABS "/data", "/home/u",
                 fs::path(TAVELIN_ABS "/data") / "tavelin" / "HKEY_CURRENT_USER.reg"},
        PathCase{"RelativeXdgIgnored", nullptr, "data", "/home/u",
                 fs::path("/home/u") / ".local" / "share" / "tavelin" / "HKEY_CURRENT_USER.reg"},
        PathCase{"Home", nullptr, nullptr, "/home/u",
                 fs::path("/home/u") / ".local" / "share" / "tavelin" / "HKEY_CURRENT_USER.reg"},
        PathCase{"Nothing", nullptr, "", nullptr, fs::path()}),
    [](const testing::TestParamInfo<PathCase>& info) { return info.param.label; });

}  // namespace
}  // namespace tavelin
