#include <gtest/gtest.h>

#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "files/list_file.h"
#include "list/list_commands.h"
#include "list/list_store.h"
#include "platform/read_file.h"
#include "store/typed_address_store.h"
#include "support/files.h"
#include "support/registry_memory.h"
#include "support/stored_list.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <sys/stat.h>
#endif

namespace tavelin {
namespace {

namespace fs = std::filesystem;
using Entries = std::vector<std::string>;
using support::CountEntries;
using support::ReadBytes;
using support::WriteBytes;

// How the list files behave on disk. What every file the program writes shares (links,
// permissions, full disks) is checked for all of them in file_writers_test.cpp.
class ListFileFolder : public ::testing::Test {
 protected:
  std::string path(const std::string& name) const { return folder_.text(name); }

  support::TemporaryFolder folder_{"list"};
  const fs::path& dir_ = folder_.path();
};

// ---- names -------------------------------------------------------------------------------

struct NameCase {
  std::string chosen;
  std::string target;
};

class ListFileTargetNameTest : public ::testing::TestWithParam<NameCase> {};

TEST_P(ListFileTargetNameTest, FormsTheExportName) {
  EXPECT_EQ(ListFileTargetName(GetParam().chosen), GetParam().target);
}

const NameCase kNameCases[] = {
    NameCase{"notes.dat", "notes.txt"},
    NameCase{"a.tar.gz", "a.tar.txt"},
    NameCase{"mylist", "mylist.txt"},
    NameCase{"LIST.TXT", "LIST.TXT"},
    NameCase{"/d/list.Txt", "/d/list.Txt"},
    NameCase{"/d/list.txt", "/d/list.txt"},
    NameCase{"a.", "a.txt"},
    NameCase{"x.txt.bak", "x.txt.txt"},
    NameCase{"/home/.config/data", "/home/.config/data.txt"},
    NameCase{"/srv/v1.2/list", "/srv/v1.2/list.txt"},
    NameCase{"/home/u/.profile", "/home/u/.profile.txt"},
    NameCase{"/home/u/..x", "/home/u/..txt"},
    NameCase{"/d/.txt", "/d/.txt"},
    NameCase{"ab", "ab.txt"},
#ifdef _WIN32
    NameCase{"C:\\data.d\\list", "C:\\data.d\\list.txt"},
    NameCase{"C:\\data\\notes.dat", "C:\\data\\notes.txt"},
    NameCase{"C:.hidden", "C:.hidden.txt"},
#else
    NameCase{"/d/back\\slash.dat", "/d/back\\slash.txt"},
#endif
};

INSTANTIATE_TEST_SUITE_P(Rule, ListFileTargetNameTest, ::testing::ValuesIn(kNameCases));

TEST(ListFileExtension, AcceptsTxtInAnyCaseOnly) {
  for (const char* name : {"a.txt", "a.TXT", "a.Txt", "/x/y.tXt", ".txt"}) {
    EXPECT_TRUE(HasListFileExtension(name)) << name;
  }
  for (const char* name : {"a.tx", "atxt", "a.txt.bak", "a.txt ", "", "a.text"}) {
    EXPECT_FALSE(HasListFileExtension(name)) << name;
  }
}

// ---- bytes -------------------------------------------------------------------------------

TEST(EncodeListFile, WritesEveryEntryWithCrLf) {
  EXPECT_EQ(EncodeListFile({"a", "b"}), std::string("a\r\nb\r\n", 6));
  EXPECT_EQ(EncodeListFile({}), "");
  EXPECT_EQ(EncodeListFile({"x,y", " spaced ", "caf\xC3\xA9"}),
            "x,y\r\n spaced \r\ncaf\xC3\xA9\r\n");
}

TEST(EncodeListFile, WrapsEntriesThatLookQuoted) {
  EXPECT_EQ(EncodeListFile({"\"x\""}), "\"\"x\"\"\r\n");
  EXPECT_EQ(EncodeListFile({"\"\""}), "\"\"\"\"\r\n");
  EXPECT_EQ(EncodeListFile({"\"", "\"a", "a\"", "a\"b"}), "\"\r\n\"a\r\na\"\r\na\"b\r\n");
}

TEST(EncodeListFile, WritesUnpairedSurrogatesAsReplacementCharacters) {
  // WTF-8 for a lone high surrogate, as a registry string may hold.
  EXPECT_EQ(EncodeListFile({"a\xED\xA0\x80z"}), "a\xEF\xBF\xBDz\r\n");
}

struct DecodeCase {
  const char* what;
  std::string bytes;
  Entries entries;
};

void PrintTo(const DecodeCase& c, std::ostream* out) {
  *out << c.what;
}

class DecodeListFileTest : public ::testing::TestWithParam<DecodeCase> {};

TEST_P(DecodeListFileTest, GivesTheEntries) {
  EXPECT_EQ(DecodeListFile(GetParam().bytes, Windows1252ToUtf8), GetParam().entries);
}

INSTANTIATE_TEST_SUITE_P(
    Lines, DecodeListFileTest,
    ::testing::Values(DecodeCase{"empty file", "", {}},
                      DecodeCase{
                          "blank line kept for the blank filter", "a\r\n\r\nb\r\n", {"a", "", "b"}},
                      DecodeCase{"no final line end", "a\r\nb", {"a", "b"}},
                      DecodeCase{"mixed line ends", "a\nb\rc\r\nd\n", {"a", "b", "c", "d"}},
                      DecodeCase{"LF CR is two ends", "a\n\rb", {"a", "", "b"}},
                      DecodeCase{"lone CR at the end", "a\r", {"a"}},
                      DecodeCase{"CR CR", "\r\r", {"", ""}},
                      DecodeCase{"only a line end", "\r\n", {""}},
                      DecodeCase{"commas are ordinary", "x,y\r\n,\r\n", {"x,y", ","}},
                      DecodeCase{"quoted line loses one pair", "\"x,y\"\r\n", {"x,y"}},
                      DecodeCase{"only one pair", "\"\"x\"\"\n", {"\"x\""}},
                      DecodeCase{"two quotes give empty", "\"\"\n", {""}},
                      DecodeCase{"a lone quote stays", "\"\n", {"\""}},
                      DecodeCase{"half quoted stays", "\"a\n a\"\n", {"\"a", " a\""}},
                      DecodeCase{"spaces outside quotes", " \"a\" \n", {" \"a\" "}},
                      DecodeCase{"inner quotes stay", "\"a\"b\"\n", {"a\"b"}},
                      DecodeCase{"tabs and spaces kept", "\t a \t\r\n", {"\t a \t"}}));

INSTANTIATE_TEST_SUITE_P(
    Encodings, DecodeListFileTest,
    ::testing::Values(
        DecodeCase{
            "UTF-8", "caf\xC3\xA9\r\n\xF0\x9D\x84\x9E\r\n", {"caf\xC3\xA9", "\xF0\x9D\x84\x9E"}},
        DecodeCase{"UTF-8 mark skipped",
                   "\xEF\xBB\xBF"
                   "a\r\nb",
                   {"a", "b"}},
        DecodeCase{"UTF-8 mark, then a bad byte",
                   "\xEF\xBB\xBF"
                   "a\xFFz",
                   {"a\xEF\xBF\xBDz"}},
        DecodeCase{"UTF-16 LE",
                   std::string("\xFF\xFE"
                               "a\0\r\0\n\0\xE9\0\x3C\xD8\x00\xDF",
                               14),
                   {"a", "\xC3\xA9\xF0\x9F\x8C\x80"}},
        DecodeCase{"UTF-16 BE",
                   std::string("\xFE\xFF\0a\0\n\0\"\0x\x20\xAC\0\"", 14),
                   {"a", "x\xE2\x82\xAC"}},
        DecodeCase{"UTF-16 odd last byte dropped",
                   std::string("\xFF\xFE"
                               "a\0b",
                               5),
                   {"a"}},
        DecodeCase{"Windows-1252",
                   "caf\xE9 \x80 \x93q\x94\r\n\xFF",
                   {"caf\xC3\xA9 \xE2\x82\xAC \xE2\x80\x9Cq\xE2\x80\x9D", "\xC3\xBF"}},
        DecodeCase{"Windows-1252 undefined bytes",
                   "\x81\x8D\x8F\x90\x9D",
                   {"\xC2\x81\xC2\x8D\xC2\x8F\xC2\x90\xC2\x9D"}},
        DecodeCase{"one bad byte makes the whole file ANSI",
                   "\xC3\xA9 \xE9",
                   {"\xC3\x83\xC2\xA9 \xC3\xA9"}}));

#ifndef _WIN32
TEST(DecodeListFile, FallsBackToWindows1252WhereTheSystemHasNoCodePage) {
  EXPECT_EQ(DecodeListFile("\x80\r\n"), Entries{"\xE2\x82\xAC"});
}
#endif

// Random lists of non-blank entries without line breaks, from characters that tempt a
// reader: commas, quotes, spaces at the ends, tabs, non-ASCII text of every UTF-8 length, and
// control characters unless `controls` is false ("Open list" refuses a file holding them).
Entries RandomList(std::mt19937& random, bool controls = true) {
  static const std::vector<std::string> pieces = {"a",
                                                  "Z",
                                                  "0",
                                                  ",",
                                                  "\"",
                                                  " ",
                                                  "\t",
                                                  ";",
                                                  "\\",
                                                  "/",
                                                  ":",
                                                  "?",
                                                  "=",
                                                  "&",
                                                  "\xC3\xA9",
                                                  "\xE2\x82\xAC",
                                                  "\xF0\x9D\x84\x9E",
                                                  "\xD0\x96",
                                                  "\xE4\xB8\xAD",
                                                  "\x7F",
                                                  "\x01"};
  std::uniform_int_distribution<std::size_t> count(0, 12), length(1, 9),
      piece(0, pieces.size() - (controls ? 1 : 3));
  Entries list(count(random));
  for (std::string& entry : list) {
    do {
      entry.clear();
      for (std::size_t n = length(random); n > 0; --n) entry += pieces[piece(random)];
    } while (IsBlankAddress(entry));
  }
  return list;
}

TEST(ListFileRoundTrip, RandomListsComeBackEntryForEntry) {
  std::mt19937 random(20240605);
  for (int round = 0; round < 2000; ++round) {
    const Entries list = RandomList(random);
    ASSERT_EQ(DecodeListFile(EncodeListFile(list)), list) << "round " << round;
  }
}

TEST(ListFileRoundTrip, QuoteShapesComeBack) {
  const Entries list = {"\"",    "\"\"", "\"\"\"", "\"a\"",   "\"\"a\"\"",
                        "\" \"", "a\"",  "\"a",    "\"x,y\"", " \"q\" "};
  EXPECT_EQ(DecodeListFile(EncodeListFile(list)), list);
}

// ---- files -------------------------------------------------------------------------------

TEST_F(ListFileFolder, ExportWritesTheExactBytes) {
  ASSERT_TRUE(WriteListFile(path("ab.txt"), {"a", "b"}).ok);
  EXPECT_EQ(ReadBytes(dir_ / "ab.txt"), std::string("a\r\nb\r\n", 6));
  ASSERT_TRUE(WriteListFile(path("empty.txt"), {}).ok);
  EXPECT_TRUE(fs::is_regular_file(dir_ / "empty.txt"));
  EXPECT_EQ(fs::file_size(dir_ / "empty.txt"), 0u);
  EXPECT_EQ(CountEntries(dir_), 2u) << "a temporary file was left behind";
}

TEST_F(ListFileFolder, ExportReplacesAnExistingFileWhole) {
  WriteBytes(dir_ / "old.txt", "one\r\ntwo\r\nthree\r\nfour\r\n");
  ASSERT_TRUE(WriteListFile(path("old.txt"), {"new"}).ok);
  EXPECT_EQ(ReadBytes(dir_ / "old.txt"), "new\r\n");
  EXPECT_EQ(CountEntries(dir_), 1u);
}

TEST_F(ListFileFolder, ExportThroughFilesComesBack) {
  std::mt19937 random(7);
  for (int round = 0; round < 8; ++round) {
    const Entries list = RandomList(random, false);
    ASSERT_TRUE(WriteListFile(path("round.txt"), list).ok);
    const ListFileRead read = ReadListFile(path("round.txt"));
    ASSERT_EQ(read.outcome, ListFileRead::Outcome::kRead);
    EXPECT_EQ(read.entries, list);
  }
}

TEST_F(ListFileFolder, ExportIntoAMissingFolderFailsAndSaysWhere) {
  const FileResult result = WriteListFile(path("no-such-folder/list.txt"), {"a"});
  EXPECT_FALSE(result.ok);
  EXPECT_NE(result.error.find("no-such-folder"), std::string::npos) << result.error;
  EXPECT_FALSE(fs::exists(dir_ / "no-such-folder"));
}

TEST_F(ListFileFolder, ExportUnderARegularFileFails) {
  WriteBytes(dir_ / "plain", "x");
  const FileResult result = WriteListFile(path("plain/list.txt"), {"a"});
  EXPECT_FALSE(result.ok);
  EXPECT_FALSE(result.error.empty());
  EXPECT_EQ(ReadBytes(dir_ / "plain"), "x");
}

TEST_F(ListFileFolder, ReplacingAFolderFailsAndLeavesNoTemporaryFile) {
  fs::create_directory(dir_ / "sub.txt");
  WriteBytes(dir_ / "sub.txt" / "inside", "keep");
  const FileResult result = WriteListFile(path("sub.txt"), {"a"});
  EXPECT_FALSE(result.ok);
  EXPECT_NE(result.error.find("sub.txt\" is a folder"), std::string::npos) << result.error;
  EXPECT_EQ(ReadBytes(dir_ / "sub.txt" / "inside"), "keep");
  EXPECT_EQ(CountEntries(dir_), 1u);
}

TEST_F(ListFileFolder, ExportTargetStates) {
  WriteBytes(dir_ / "there.txt", "x");
  WriteBytes(dir_ / ".hidden.txt", "x");
  fs::create_directory(dir_ / "folder.txt");
  EXPECT_EQ(CheckListFileTarget(path("new.txt")).state, ListFileTarget::State::kNew);
  EXPECT_EQ(CheckListFileTarget(path("there.txt")).state, ListFileTarget::State::kExisting);
  EXPECT_EQ(CheckListFileTarget(path(".hidden.txt")).state, ListFileTarget::State::kExisting);
  const ListFileTarget folder = CheckListFileTarget(path("folder.txt"));
  EXPECT_EQ(folder.state, ListFileTarget::State::kRefused);
  EXPECT_NE(folder.error.find("folder.txt"), std::string::npos) << folder.error;
}

TEST_F(ListFileFolder, ImportChecksExistenceBeforeTheExtension) {
  WriteBytes(dir_ / "list.csv", "a\r\n");
  WriteBytes(dir_ / "upper.TXT", "a\r\nb\r\n");
  fs::create_directory(dir_ / "folder.txt");
  EXPECT_EQ(ReadListFile(path("none.txt")).outcome, ListFileRead::Outcome::kMissing);
  EXPECT_EQ(ReadListFile(path("none.csv")).outcome, ListFileRead::Outcome::kMissing);
  EXPECT_EQ(ReadListFile(path("folder.txt")).outcome, ListFileRead::Outcome::kMissing);
  EXPECT_EQ(ReadListFile(path("list.csv/x.txt")).outcome, ListFileRead::Outcome::kMissing);
  EXPECT_EQ(ReadListFile(path("list.csv")).outcome, ListFileRead::Outcome::kUnsupportedExtension);
  const ListFileRead upper = ReadListFile(path("upper.TXT"));
  EXPECT_EQ(upper.outcome, ListFileRead::Outcome::kRead);
  EXPECT_EQ(upper.entries, (Entries{"a", "b"}));
}

// UTF-16 without a mark is read by its bytes; a NUL or another control character than tab,
// CR and LF makes a file no text list: nothing of it is taken, and the error names it.
TEST_F(ListFileFolder, ReadsUtf16WithoutAMarkAndRefusesWhatIsNoText) {
  const Entries text{"a/\xC3\xA9\xE4\xB8\xAD", "b"};
  const std::pair<std::string, Entries> cases[] = {
      {std::string("a\0/\0\xE9\0\x2D\x4E\r\0\n\0b\0", 14), text},
      {std::string("\0a\0/\0\xE9\x4E\x2D\0\r\0\n\0b", 14), text},
      {std::string("http://a/\r\nhttp://bb\0/\r\n", 24), {}},
      {"http://a/\x1B[0m\r\n", {}},
      {std::string("\x89PNG\r\n\x1A\n\0\0\0\rIHDR\0\0\0\x01\0\0\0\x01\x08\x06", 26), {}}};
  for (const auto& [bytes, entries] : cases) {
    WriteBytes(dir_ / "list.txt", bytes);
    const ListFileRead read = ReadListFile(path("list.txt"));
    EXPECT_EQ(read.entries, entries);
    EXPECT_EQ(read.error.find('"' + path("list.txt") + "\" is not a text list") == 0,
              entries.empty())
        << read.error;
  }
}

#ifndef _WIN32
TEST_F(ListFileFolder, PipesAndDevicesCountAsMissingAndNeverBlock) {
  ASSERT_EQ(::mkfifo(path("pipe.txt").c_str(), 0600), 0);
  EXPECT_EQ(ReadListFile(path("pipe.txt")).outcome, ListFileRead::Outcome::kMissing);
  // Past the name check too: the reader itself must not wait for a writer.
  EXPECT_EQ(platform::ReadWholeFile(dir_ / "pipe.txt").status,
            platform::FileRead::Status::kNotRegularFile);
  fs::create_symlink("/dev/null", dir_ / "null.txt");
  EXPECT_EQ(ReadListFile(path("null.txt")).outcome, ListFileRead::Outcome::kMissing);
  EXPECT_EQ(CheckListFileTarget(path("pipe.txt")).state, ListFileTarget::State::kRefused);
}

#ifdef __linux__
TEST_F(ListFileFolder, AReadFailureIsReported) {
  // Reading this process's own memory at address 0 fails with an I/O error, even as root.
  fs::create_symlink("/proc/self/mem", dir_ / "unreadable.txt");
  const ListFileRead read = ReadListFile(path("unreadable.txt"));
  EXPECT_EQ(read.outcome, ListFileRead::Outcome::kFailed);
  EXPECT_NE(read.error.find("unreadable.txt"), std::string::npos) << read.error;
  EXPECT_TRUE(read.entries.empty());
}
#endif

#endif

#ifdef _WIN32
TEST_F(ListFileFolder, HiddenFilesAreFilesAndStayHidden) {
  const fs::path hidden = dir_ / "hidden.txt";
  WriteBytes(hidden, "old\r\n");
  ASSERT_TRUE(SetFileAttributesW(hidden.c_str(), FILE_ATTRIBUTE_HIDDEN));
  EXPECT_EQ(CheckListFileTarget(path("hidden.txt")).state, ListFileTarget::State::kExisting);
  const FileResult written = WriteListFile(path("hidden.txt"), {"new"});
  ASSERT_TRUE(written.ok) << written.error;
  EXPECT_EQ(ReadBytes(hidden), "new\r\n");
  EXPECT_TRUE(GetFileAttributesW(hidden.c_str()) & FILE_ATTRIBUTE_HIDDEN);
  EXPECT_EQ(ReadListFile(path("hidden.txt")).entries, Entries{"new"});
  EXPECT_EQ(CountEntries(dir_), 1u);
}
#endif

// ---- into the list and the store ---------------------------------------------------------

class ImportIntoList : public ::testing::Test {
 protected:
  void SetUp() override {
    list_.replaceAll({"old1", "old2"});
    SaveAddresses(store_, list_);
    list_.select(1);
  }
  support::StoredUrls stored() { return support::ReadStoredUrls(store_); }

  MemoryRegistry store_;
  AddressList list_;
  ProgramSettings settings_;
};

TEST_F(ImportIntoList, ManualModeChangesOnlyTheList) {
  settings_.SaveMode = "Two";
  const int before = store_.committedChanges();
  ImportAddresses({store_, list_, settings_}, {"x", " ", "", "y", "x"});
  EXPECT_EQ(list_.items(), (Entries{"x", "y", "x"}));
  EXPECT_EQ(list_.selectionIndex(), -1);
  EXPECT_EQ(store_.committedChanges(), before);
  EXPECT_EQ(stored(), support::Numbered({"old1", "old2"}));
}

TEST_F(ImportIntoList, AutomaticModeRewritesTheStoreInOneTransaction) {
  for (const char* mode : {"One", "", "two"}) {
    settings_.SaveMode = mode;
    const int before = store_.committedChanges();
    ImportAddresses({store_, list_, settings_}, {"  ", "new", ""});
    EXPECT_EQ(list_.items(), Entries{"new"}) << mode;
    EXPECT_EQ(list_.selectionIndex(), -1);
    EXPECT_EQ(store_.committedChanges(), before + 1) << mode;
    EXPECT_EQ(stored(), support::Numbered({"new"})) << mode;
    list_.replaceAll({"old1", "old2"});
    SaveAddresses(store_, list_);
  }
}

TEST_F(ImportIntoList, AnEmptyFileEmptiesTheStoreInAutomaticMode) {
  ImportAddresses({store_, list_, settings_}, {});
  EXPECT_EQ(list_.count(), 0u);
  EXPECT_TRUE(stored().empty());
}

}  // namespace
}  // namespace tavelin
