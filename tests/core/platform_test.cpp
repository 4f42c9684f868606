// The platform layer's own promises, natively and under Wine: which names are its
// temporaries and what a sweep of them removes, a replacement filled by another writer, whole-file
// reads, the lock, error texts and paths as text. How the files the program writes behave is in
// file_writers_test.cpp.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>

#include "platform/atomic_replace.h"
#include "platform/file_lock.h"
#include "platform/read_file.h"
#include "platform/system_error.h"
#include "platform/wide_text.h"
#include "platform/wtf8.h"
#include "support/files.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <sys/stat.h>

#include <cerrno>
#endif

namespace tavelin {
namespace {

namespace fs = std::filesystem;
using support::CountEntries;
using support::ReadBytes;
using support::WriteBytes;

// ---- temporary names -----------------------------------------------------------------------

struct NameCase {
  const char* name;
  bool own;
};

class OwnTemporaryName : public testing::TestWithParam<NameCase> {};

TEST_P(OwnTemporaryName, IsOnlyTheExactPatternForThatTarget) {
  const fs::path target = fs::path("folder") / "store.reg";
  EXPECT_EQ(platform::IsOwnTemporaryName(target, GetParam().name), GetParam().own)
      << GetParam().name;
}

INSTANTIATE_TEST_SUITE_P(
    Names, OwnTemporaryName,
    testing::Values(NameCase{"store.reg.tmp-4242-0", true}, NameCase{"store.reg.tmp-1-17", true},
                    NameCase{"store.reg.tmp-0-0", true},
                    // Another target's, the target itself, its lock.
                    NameCase{"other.reg.tmp-4242-0", false}, NameCase{"store.reg", false},
                    NameCase{"store.reg.lock", false}, NameCase{"xstore.reg.tmp-1-2", false},
                    NameCase{"STORE.REG.tmp-1-2", false},
                    // Someone else's names that share the mark.
                    NameCase{".tmp-notes", false}, NameCase{"store.reg.tmp-notes", false},
                    NameCase{"store.reg.tmp-", false}, NameCase{"store.reg.tmp-12", false},
                    NameCase{"store.reg.tmp-12-", false}, NameCase{"store.reg.tmp--3", false},
                    NameCase{"store.reg.tmp-1-2-3", false},
                    NameCase{"store.reg.tmp-1-2.bak", false}, NameCase{"store.reg.tmp-1-2x", false},
                    NameCase{"store.reg.tmp-+1-2", false},
                    // Numbers this program never writes.
                    NameCase{"store.reg.tmp-01-2", false}, NameCase{"store.reg.tmp-1-002", false},
                    NameCase{"store.reg.tmp-123456789012345678901-0", false}));

TEST(OwnTemporaryName, RecognisesWhatTheReplacementMakes) {
  support::TemporaryFolder folder("platform");
  const fs::path target = folder / "list.txt";
  for (int i = 0; i < 3; ++i) {
    platform::FileReplacement replacement(target, platform::NewFileAccess::kShared);
    ASSERT_TRUE(replacement.ok()) << replacement.error();
    EXPECT_EQ(replacement.temporary().parent_path(), folder.path());
    EXPECT_TRUE(platform::IsOwnTemporaryName(target, replacement.temporary().filename()))
        << platform::PathText(replacement.temporary());
    EXPECT_FALSE(
        platform::IsOwnTemporaryName(folder / "other.txt", replacement.temporary().filename()));
  }
  EXPECT_EQ(CountEntries(folder.path()), 0u) << "an unfinished replacement left its temporary";
  EXPECT_TRUE(platform::IsOwnTemporaryName(
      target, platform::TemporaryFileName(target, platform::CurrentProcessId(), 99)));
}

// What a sweep removes: every temporary of the files it is asked for, from any process, one
// file or a family of them, and nothing else, whatever it looks like.
TEST(LeftoverTemporaries, OnlyThoseOfTheFilesAskedForGo) {
  support::TemporaryFolder folder("platform");
  const std::string own = std::to_string(platform::CurrentProcessId());
  const struct {
    std::string name;
    bool removed;
  } rows[] = {
      {"HKEY_CURRENT_USER.reg.tmp-99999-0", true},
      {"HKEY_CURRENT_USER.reg.tmp-" + own + "-7", true},
      // A family: the backups, named by their time.
      {"2026-12-07T11-52-40.123Z.reg.tmp-4242-0", true},
      {"2026-12-07T11-52-41.000Z-2.reg.tmp-17-3", true},
      // The files themselves, a lock, and names that only look like temporaries of them.
      {"HKEY_CURRENT_USER.reg", false},
      {"HKEY_CURRENT_USER.reg.lock", false},
      {"other.reg.tmp-1-0", false},
      {".tmp-notes", false},
      {"HKEY_CURRENT_USER.reg.tmp-notes", false},
      {"HKEY_CURRENT_USER.reg.tmp-1-2.keep", false},
      {"HKEY_CURRENT_USER.reg.tmp-1", false},
      {"HKEY_CURRENT_USER.reg.tmp-", false},
      {"xHKEY_CURRENT_USER.reg.tmp-1-2", false},
      {"notes.txt.tmp-1-1", false},
      {"2026-12-07T11-52-40.123Z.reg.tmp-x-1", false},
  };
  for (const auto& row : rows) WriteBytes(folder / row.name, row.removed ? "" : "keep");
  // A folder is nobody's temporary, whatever its name.
  const fs::path named = folder / "HKEY_CURRENT_USER.reg.tmp-5-5";
  fs::create_directory(named);

  platform::RemoveLeftoverTemporaries(folder / "HKEY_CURRENT_USER.reg");
  platform::RemoveLeftoverTemporaries(
      folder.path(), [](const fs::path& target) { return target.string().starts_with("2026-"); });
  for (const auto& row : rows) EXPECT_EQ(!fs::exists(folder / row.name), row.removed) << row.name;
  EXPECT_TRUE(fs::is_directory(named));
}

// ---- a replacement in steps ----------------------------------------------------------------

class Replacement : public testing::Test {
 protected:
  support::TemporaryFolder folder_{"platform"};
  const fs::path target_ = folder_ / "target.dat";
};

TEST_F(Replacement, TakesWhatAnotherWriterPutThroughThePath) {
  WriteBytes(target_, "old");
  platform::FileReplacement replacement(target_, platform::NewFileAccess::kOwnerOnly);
  ASSERT_TRUE(replacement.ok()) << replacement.error();
  {
    // As a library that can only save to a path does it: open, truncate, write, close.
    std::ofstream out(replacement.temporary(), std::ios::binary | std::ios::trunc);
    out << "written by another";
  }
  EXPECT_EQ(ReadBytes(target_), "old");
  ASSERT_TRUE(replacement.commit()) << replacement.error();
  EXPECT_EQ(ReadBytes(target_), "written by another");
  EXPECT_EQ(CountEntries(folder_.path()), 1u);
}

TEST_F(Replacement, RefusesATemporaryThatIsNoLongerItsOwn) {
  WriteBytes(target_, "old");
  platform::FileReplacement replacement(target_, platform::NewFileAccess::kOwnerOnly);
  ASSERT_TRUE(replacement.ok()) << replacement.error();
  ASSERT_TRUE(replacement.write("ours"));
  // The temporary moved away and another file made under its name: whose that one is and
  // who may read it is unknown.
  fs::rename(replacement.temporary(), folder_ / "moved");
  WriteBytes(replacement.temporary(), "not ours");
  EXPECT_FALSE(replacement.commit());
  EXPECT_NE(replacement.error().find(platform::PathText(replacement.temporary())),
            std::string::npos)
      << replacement.error();
  EXPECT_EQ(ReadBytes(target_), "old");
  EXPECT_FALSE(fs::exists(replacement.temporary()));
  EXPECT_EQ(CountEntries(folder_.path()), 2u);  // the target and the moved file
}

TEST_F(Replacement, AnUnfinishedOneLeavesTheFileAsItWas) {
  WriteBytes(target_, "old");
  {
    platform::FileReplacement replacement(target_, platform::NewFileAccess::kShared);
    ASSERT_TRUE(replacement.write("half of the new"));
    EXPECT_TRUE(fs::exists(replacement.temporary()));
  }
  EXPECT_EQ(ReadBytes(target_), "old");
  EXPECT_EQ(CountEntries(folder_.path()), 1u);
}

TEST_F(Replacement, NeverReplacesAFolder) {
  fs::create_directory(target_);
  WriteBytes(target_ / "inside", "kept");
  std::string error;
  EXPECT_FALSE(
      platform::ReplaceFileAtomically(target_, "x", platform::NewFileAccess::kShared, error));
  EXPECT_NE(error.find("is a folder"), std::string::npos) << error;
  EXPECT_EQ(ReadBytes(target_ / "inside"), "kept");
  EXPECT_EQ(CountEntries(folder_.path()), 1u);
}

#ifndef _WIN32
TEST_F(Replacement, NeverReplacesAPipeOrADevice) {
  ASSERT_EQ(::mkfifo(target_.c_str(), 0600), 0);
  const fs::path device = folder_ / "null";
  fs::create_symlink("/dev/null", device);
  for (const fs::path& path : {target_, device}) {
    std::string error;
    EXPECT_FALSE(
        platform::ReplaceFileAtomically(path, "x", platform::NewFileAccess::kShared, error));
    EXPECT_NE(error.find("not a regular file"), std::string::npos) << error;
  }
  EXPECT_TRUE(fs::is_fifo(target_));
  EXPECT_TRUE(fs::is_character_file("/dev/null"));
  EXPECT_EQ(CountEntries(folder_.path()), 2u);
}
#endif

// ---- whole-file reads ----------------------------------------------------------------------

TEST(ReadWholeFile, ReadsEveryByteOfFilesOfAnySize) {
  support::TemporaryFolder folder("platform");
  // Empty, and sizes around the reader's buffers, with every byte value.
  for (const std::size_t size : {std::size_t{0}, std::size_t{1}, std::size_t{4095},
                                 std::size_t{65537}, std::size_t{300001}}) {
    std::string bytes(size, '\0');
    for (std::size_t i = 0; i < size; ++i) bytes[i] = static_cast<char>((i * 7 + i / 256) & 0xFF);
    WriteBytes(folder / "file", bytes);
    const platform::FileRead read = platform::ReadWholeFile(folder / "file");
    ASSERT_EQ(read.status, platform::FileRead::Status::kRead) << size << ": " << read.error;
    EXPECT_EQ(read.bytes, bytes) << size;
  }
}

TEST(ReadWholeFile, TellsMissingFilesFromThingsThatAreNotFiles) {
  support::TemporaryFolder folder("platform");
  fs::create_directory(folder / "sub");
  EXPECT_EQ(platform::ReadWholeFile(folder / "none").status, platform::FileRead::Status::kMissing);
  EXPECT_EQ(platform::ReadWholeFile(folder / "no-folder" / "none").status,
            platform::FileRead::Status::kMissing);
  EXPECT_EQ(platform::ReadWholeFile(folder / "sub").status,
            platform::FileRead::Status::kNotRegularFile);
}

#ifdef __linux__
TEST(ReadWholeFile, AFailedReadSaysWhy) {
  // Reading this process's own memory at address 0 fails with an I/O error, even as root.
  const platform::FileRead read = platform::ReadWholeFile("/proc/self/mem");
  EXPECT_EQ(read.status, platform::FileRead::Status::kFailed);
  EXPECT_EQ(read.error, platform::SystemErrorText(EIO));
  EXPECT_TRUE(read.bytes.empty());
}
#endif

// ---- the lock ------------------------------------------------------------------------------

TEST(FileLock, IsExclusiveUntilReleased) {
  support::TemporaryFolder folder("platform");
  const fs::path lockPath = folder / "x.lock";
  std::unique_ptr<platform::FileLock> first;
  std::unique_ptr<platform::FileLock> second;
  std::string error;
  ASSERT_EQ(platform::AcquireFileLock(lockPath, std::chrono::milliseconds(0), first, error),
            platform::LockStatus::kLocked)
      << error;
  EXPECT_EQ(platform::AcquireFileLock(lockPath, std::chrono::milliseconds(20), second, error),
            platform::LockStatus::kTimedOut);
  EXPECT_FALSE(second);
  EXPECT_FALSE(error.empty());
  first.reset();
  EXPECT_EQ(platform::AcquireFileLock(lockPath, std::chrono::milliseconds(0), second, error),
            platform::LockStatus::kLocked)
      << error;
  EXPECT_TRUE(fs::exists(lockPath)) << "the lock file stays";
  EXPECT_EQ(platform::AcquireFileLock(folder / "no-folder" / "x.lock", std::chrono::milliseconds(0),
                                      first, error),
            platform::LockStatus::kFailed);
  EXPECT_FALSE(error.empty());
}

// ---- system error text ---------------------------------------------------------------------

TEST(SystemErrorText, IsOneClauseThatCanFollowAColon) {
#ifdef _WIN32
  const platform::SystemErrorCode codes[] = {ERROR_ACCESS_DENIED, ERROR_FILE_NOT_FOUND,
                                             ERROR_DISK_FULL};
#else
  const platform::SystemErrorCode codes[] = {EACCES, ENOENT, ENOSPC};
#endif
  for (const platform::SystemErrorCode code : codes) {
    const std::string text = platform::SystemErrorText(code);
    ASSERT_FALSE(text.empty()) << code;
    EXPECT_EQ(text.find_first_of("\r\n"), std::string::npos) << text;
    EXPECT_NE(text.back(), '.') << text;
    EXPECT_NE(text.back(), ' ') << text;
#ifdef _WIN32
    // The texts are translated; the number says which error it was in any language.
    const std::string number = "(error " + std::to_string(code) + ")";
    EXPECT_EQ(text.substr(text.size() - number.size()), number) << text;
#endif
  }
#ifdef _WIN32
  EXPECT_EQ(platform::SystemErrorText(0x2FFFFFFFu), "error " + std::to_string(0x2FFFFFFFu));
#endif
}

// ---- paths as text -------------------------------------------------------------------------

TEST(PathText, NamesFilesAsTheProgramWritesThem) {
  support::TemporaryFolder folder("platform");
  // Latin, Cyrillic, CJK and a character outside the BMP (a surrogate pair in UTF-16).
  const std::string name = "caf\xC3\xA9-\xD0\x96-\xE4\xB8\xAD-\xF0\x9F\x98\x80.txt";
  const fs::path path = folder.path() / platform::PathFromText(name);
  WriteBytes(path, "x");
  ASSERT_EQ(CountEntries(folder.path()), 1u);
  const fs::path found = fs::directory_iterator(folder.path())->path();
  EXPECT_EQ(platform::PathText(found.filename()), name);
  EXPECT_EQ(platform::PathText(platform::PathFromText(name)), name);
  EXPECT_EQ(platform::ReadWholeFile(platform::PathFromText(platform::PathText(found))).bytes, "x");
}

// The direct conversions of string data agree with the conversions through UTF-16, wherever
// in the text (before, inside or after a word of four units) a NUL or a character outside
// ASCII stands.
TEST(Wtf8, StringDataConvertsLikeUtf16WhereverTheTextLeavesAscii) {
  const std::u16string specials[] = {std::u16string(1, u'\0'),
                                     u"\u00e9",
                                     u"\u007f",
                                     u"\u0080",
                                     u"\xD800",
                                     u"\xDC00",
                                     u"\U0001F600"};
  // No data at all, as an empty value holds it.
  EXPECT_EQ(Utf16LeBytesToText(nullptr, 0), u"");
  EXPECT_EQ(Utf16LeToWtf8UpToNul(nullptr, 0), "");
  EXPECT_EQ(Wtf8ToUtf16LeWithNul(""), std::vector<unsigned char>(2, 0));
  for (std::size_t length = 0; length <= 11; ++length) {
    for (std::size_t at = 0; at <= length; ++at) {
      for (const std::u16string& special : specials) {
        std::u16string text;
        for (std::size_t i = 0; i < length; ++i) text += static_cast<char16_t>(u'a' + i);
        text.insert(at, special);
        const std::string le = TextToUtf16LeBytes(text);
        const auto* bytes = reinterpret_cast<const unsigned char*>(le.data());
        const std::u16string upToNul = text.substr(0, text.find(u'\0'));
        SCOPED_TRACE(testing::Message() << "length " << length << ", at " << at);
        EXPECT_EQ(Utf16LeToWtf8UpToNul(bytes, le.size()), Utf16ToWtf8(upToNul));
        // An odd last byte is no unit.
        EXPECT_EQ(Utf16LeToWtf8UpToNul(bytes, le.size() - 1),
                  Utf16ToWtf8(upToNul.substr(0, text.size() - 1)));
        const std::vector<unsigned char> data = Wtf8ToUtf16LeWithNul(Utf16ToWtf8(upToNul));
        EXPECT_EQ(std::string(data.begin(), data.end()),
                  TextToUtf16LeBytes(upToNul) + std::string(2, '\0'));
      }
    }
  }
}

#ifdef _WIN32
TEST(WideText, KeepsUnpairedSurrogates) {
  const std::wstring wide = {L'a', static_cast<wchar_t>(0xD800), L'b',
                             static_cast<wchar_t>(0xDC00)};
  EXPECT_EQ(platform::FromWide(wide),
            "a\xED\xA0\x80"
            "b\xED\xB0\x80");
  EXPECT_EQ(platform::ToWide(platform::FromWide(wide)), wide);
  EXPECT_EQ(platform::ToWide("\xC3\xA9"), std::wstring(1, static_cast<wchar_t>(0xE9)));
}
#endif

}  // namespace
}  // namespace tavelin
