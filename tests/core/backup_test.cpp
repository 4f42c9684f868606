// The backup folder: names, how many stay, where it is, and restoring a backup into the registry
// file file the way the README tells.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <set>
#include <string>
#include <vector>

#include "app/system_registry.h"
#include "list/store_notices.h"
#include "platform/wtf8.h"
#include "store/backup.h"
#include "store/reg_file_reader.h"
#include "store/registry_file.h"
#include "store/settings_store.h"
#include "store/typed_address_store.h"
#include "support/files.h"
#include "support/registry_memory.h"

#ifndef _WIN32
#include <sys/stat.h>
#include <unistd.h>

#include "support/child_process.h"
#endif

namespace tavelin {
namespace {

namespace fs = std::filesystem;

std::string ReadAll(const fs::path& path) {
  return support::ReadBytes(path);
}

class BackupFiles : public ::testing::Test {
 protected:
  support::TemporaryFolder temporary_{"backup"};
  const fs::path& folder_ = temporary_.path();
};

TEST_F(BackupFiles, TheNewestTenStayAndNoneIsLostWithinOneMillisecond) {
  BackupFolder backups(folder_ / "store");
  std::set<std::string> names;
  fs::path first;
  for (int i = 0; i < 11; ++i) {
    std::string error;
    const auto written = backups.write("backup " + std::to_string(i), error);
    ASSERT_TRUE(written) << error;
    if (i == 0) first = *written;
    names.insert(written->filename().string());
  }
  EXPECT_EQ(names.size(), 11u);  // several fell in one millisecond: each got its own name
  const auto kept = backups.list();
  ASSERT_EQ(kept.size(), 10u);
  EXPECT_FALSE(fs::exists(first));
  for (std::size_t i = 0; i < kept.size(); ++i) {
    EXPECT_EQ(ReadAll(kept[i]), "backup " + std::to_string(i + 1));  // oldest first
  }
  const std::string name = kept.back().filename().string();
  EXPECT_EQ(name.substr(10, 1), "T");
  EXPECT_EQ(name.substr(23, 1), "Z");
#ifndef _WIN32
  struct stat info {};
  ASSERT_EQ(stat(kept.back().c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 0777, 0600u);
#endif
  // Files that are not backups are never touched.
  std::ofstream(folder_ / "store" / "notes.reg") << "mine";
  std::string error;
  ASSERT_TRUE(backups.write("one more", error));
  EXPECT_TRUE(fs::exists(folder_ / "store" / "notes.reg"));
}

TEST_F(BackupFiles, ThePlaceFollowsTheEnvironment) {
#ifndef _WIN32  // POSIX paths: absolute only here
  EXPECT_EQ(BackupRoot("/state", "/home/u"), fs::path("/state/tavelin/backups"));
  EXPECT_EQ(BackupRoot("relative", "/home/u"), fs::path("/home/u/.local/state/tavelin/backups"));
  EXPECT_EQ(BackupRoot(nullptr, "/home/u"), fs::path("/home/u/.local/state/tavelin/backups"));
#endif
  EXPECT_TRUE(BackupRoot(nullptr, nullptr).empty());
  EXPECT_EQ(StoreFolderName("/home/u/.local/share/tavelin/HKEY_CURRENT_USER.reg"),
            "home_u_.local_share_tavelin_HKEY_CURRENT_USER.reg");
  EXPECT_EQ(StoreFolderName("C:\\Users\\u\\NTUSER.DAT"), "C__Users_u_NTUSER.DAT");
  std::string error;
  EXPECT_FALSE(BackupFolder({}).write("x", error));
  EXPECT_NE(error.find("HOME"), std::string::npos);
}

TEST_F(BackupFiles, TwoStoresNeverShareAFolder) {
  // Both paths read the same once their separators are "_".
  const std::string a = UniqueStoreFolderName("/a/b/t.reg");
  const std::string b = UniqueStoreFolderName("/a_b/t.reg");
  EXPECT_NE(a, b);
  EXPECT_EQ(a.substr(0, a.size() - 17), "a_b_t.reg");  // still readable, then "-" and the hash
  EXPECT_EQ(a, UniqueStoreFolderName("/a/b/t.reg"));
  // A path longer than a file name may be keeps its end, which tells stores apart.
  const std::string deep = "/" + std::string(400, 'd') + "/NTUSER.DAT";
  const std::string name = UniqueStoreFolderName(deep);
  EXPECT_LE(name.size(), 200u);
  EXPECT_NE(name.find("_NTUSER.DAT-"), std::string::npos) << name;
  EXPECT_NE(name, UniqueStoreFolderName("/" + std::string(401, 'd') + "/NTUSER.DAT"));

  // Ten writes into one store's folder leave the other's only backup alone.
  BackupFolder first(folder_ / a);
  BackupFolder second(folder_ / b);
  std::string error;
  ASSERT_TRUE(first.write("the only one", error)) << error;
  for (int i = 0; i < 11; ++i) ASSERT_TRUE(second.write("other", error)) << error;
  ASSERT_EQ(first.list().size(), 1u);
  EXPECT_EQ(ReadAll(first.list()[0]), "the only one");
}

TEST_F(BackupFiles, WhatAKilledWriterLeftGoesAtTheNextBackupAndNothingElse) {
  const fs::path store = folder_ / "store";
  fs::create_directories(store);
  // A backup's temporary, as a writer killed part way leaves it (one of them empty), and
  // files that only look alike.
  const std::vector<std::string> leftovers = {"2026-12-07T11-52-40.123Z.reg.tmp-4242-0",
                                              "2026-12-07T11-52-41.000Z-2.reg.tmp-17-3"};
  const std::vector<std::string> foreign = {"notes.txt.tmp-1-1", "mine.reg.tmp-1-1",
                                            "2026-12-07T11-52-40.123Z.reg.tmp-x-1"};
  support::WriteBytes(store / leftovers[0], "half a back");
  support::WriteBytes(store / leftovers[1], "");
  for (const std::string& name : foreign) support::WriteBytes(store / name, "keep");

  BackupFolder backups(store);
  std::string error;
  ASSERT_TRUE(backups.write("whole", error)) << error;
  for (const std::string& name : leftovers) EXPECT_FALSE(fs::exists(store / name)) << name;
  for (const std::string& name : foreign) EXPECT_TRUE(fs::exists(store / name)) << name;
  ASSERT_EQ(backups.list().size(), 1u);
  EXPECT_EQ(ReadAll(backups.list()[0]), "whole");
}

// The keys come in as data: each one given is copied after its deletion, a missing one is
// only deleted when asked, and nothing else is copied.
TEST_F(BackupFiles, TheKeysGivenAreCopiedEachAfterItsDeletionAndNothingElse) {
  MemoryRegistry registry;
  modReg::WriteRegString(registry, kCurrentUser, "Software\\A", "v", "1");
  modReg::WriteRegString(registry, kCurrentUser, "Software\\A\\Sub", "w", "2");
  modReg::WriteRegString(registry, kCurrentUser, "Software\\Other", "x", "3");
  const std::vector<BackupKey> keys = {
      {"Software\\Missing", true}, {"Software\\A", true}, {"Software\\Gone", false}};
  std::string error;
  const std::optional<std::string> bytes = BackupFileBytes(registry, keys, error);
  ASSERT_TRUE(bytes) << error;
  ASSERT_GE(bytes->size(), 2u);
  const std::string text = Utf16ToWtf8(Utf16LeBytesToText(
      reinterpret_cast<const unsigned char*>(bytes->data()) + 2, bytes->size() - 2));
  const auto at = [&](const std::string& line) { return text.find(line + "\r\n"); };
  const std::size_t missing = at("[-HKEY_CURRENT_USER\\Software\\Missing]");
  const std::size_t deleted = at("[-HKEY_CURRENT_USER\\Software\\A]");
  const std::size_t copied = at("[HKEY_CURRENT_USER\\Software\\A]");
  const std::size_t below = at("[HKEY_CURRENT_USER\\Software\\A\\Sub]");
  ASSERT_NE(missing, std::string::npos) << text;
  ASSERT_NE(deleted, std::string::npos) << text;
  ASSERT_NE(copied, std::string::npos) << text;
  ASSERT_NE(below, std::string::npos) << text;
  EXPECT_LT(missing, deleted);  // in the order given
  EXPECT_LT(deleted, copied);
  EXPECT_LT(copied, below);
  EXPECT_NE(text.find("\"v\"=\"1\""), std::string::npos) << text;
  EXPECT_NE(text.find("\"w\"=\"2\""), std::string::npos) << text;
  EXPECT_EQ(text.find("Gone"), std::string::npos) << text;
  EXPECT_EQ(text.find("Other"), std::string::npos) << text;
  // What it gives back reads as a .reg file.
  EXPECT_TRUE(ParseRegFile(*bytes).document);
}

// Back up, change and add values, then merge the backup into the registry file as the README
// says (its lines after the header, appended): the keys are exactly as they were.
TEST_F(BackupFiles, MergingABackupIntoTheRegFileRestoresItsKeysAndKeepsTheRest) {
  const fs::path regFile = folder_ / "HKEY_CURRENT_USER.reg";
  {
    RegFileRegistry registry(regFile);
    Transaction transaction(registry);
    modReg::WriteRegString(registry, kCurrentUser, kTypedUrlsKey, "url1", "A");
    modReg::WriteRegString(registry, kCurrentUser, kTypedUrlsKey, "url2", "B");
    modReg::WriteRegString(registry, kCurrentUser, "Software\\Other", "v", "1");
  }
  const RegParseResult before = ParseRegFile(ReadAll(regFile));
  ASSERT_TRUE(before.document);
  {
    RegFileRegistry registry(regFile);
    registry.setBackup(ProgramBackup(folder_ / "backups"));
    Transaction transaction(registry);
    modReg::WriteRegString(registry, kCurrentUser, kTypedUrlsKey, "url1", "changed");
    modReg::WriteRegString(registry, kCurrentUser, kTypedUrlsKey, "url9", "added");
    modReg::WriteRegString(registry, kCurrentUser, kSettingsKey, "SaveOptions", "Two");
    modReg::WriteRegString(registry, kCurrentUser, "Software\\Other", "v", "2");
  }
  const auto backups = BackupFolder(folder_ / "backups").list();
  ASSERT_EQ(backups.size(), 1u);

  // iconv -f UTF-16 -t UTF-8 backup | tail -n +2 | iconv -f UTF-8 -t UTF-16LE >> the registry file
  const std::string backup = ReadAll(backups[0]);
  std::string text = Utf16ToWtf8(Utf16LeBytesToText(
      reinterpret_cast<const unsigned char*>(backup.data()) + 2, backup.size() - 2));
  text.erase(0, text.find('\n') + 1);
  std::ofstream(regFile, std::ios::binary | std::ios::app) << TextToUtf16LeBytes(Wtf8ToUtf16(text));

  RegFileRegistry restored(regFile);
  EXPECT_EQ(modReg::ReadRegString(restored, kCurrentUser, kTypedUrlsKey, "url1"), "A");
  EXPECT_EQ(modReg::ReadRegString(restored, kCurrentUser, kTypedUrlsKey, "url2"), "B");
  EXPECT_FALSE(restored.queryValue(kCurrentUser, kTypedUrlsKey, "url9"));
  EXPECT_FALSE(restored.keyExists(kCurrentUser, kSettingsKey));  // made since: gone again
  EXPECT_EQ(modReg::ReadRegString(restored, kCurrentUser, "Software\\Other", "v"), "2");
}

#ifndef _WIN32
TEST_F(BackupFiles, AnUnwritableBackupFolderStopsTheWriteAndIsTold) {
  // Root ignores permissions: the program runs as an unprivileged user in a child.
  if (!support::RunningAsRoot()) GTEST_SKIP() << "only root can give the folders to another user";
  const fs::path store = folder_ / "store";
  const fs::path locked = folder_ / "locked";
  fs::create_directories(store);
  fs::create_directories(locked);
  const fs::path regFile = store / "HKEY_CURRENT_USER.reg";
  {
    RegFileRegistry registry(regFile);
    modReg::WriteRegString(registry, kCurrentUser, kTypedUrlsKey, "url1", "A");
  }
  const std::string original = ReadAll(regFile);
  ASSERT_EQ(chown(store.c_str(), 65534, 65534), 0);
  ASSERT_EQ(chown(regFile.c_str(), 65534, 65534), 0);
  fs::remove(store / "HKEY_CURRENT_USER.reg.lock");
  fs::permissions(folder_, fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec |
                               fs::perms::others_read | fs::perms::others_exec);
  fs::permissions(locked, fs::perms::owner_all | fs::perms::others_read | fs::perms::others_exec);
  support::ChildSetup unprivileged;
  unprivileged.unprivileged = true;
  const support::ChildResult child = support::RunInChild(unprivileged, [&] {
    RegFileRegistry registry(regFile);
    registry.setBackup(ProgramBackup(locked / "store"));
    const bool written = modReg::WriteRegString(registry, kCurrentUser, kTypedUrlsKey, "url1", "B");
    const std::vector<std::string> notices = TakeStoreNotices(registry);
    if (written) return support::WorkResult{false, "the write went through"};
    if (notices.size() != 1 || notices[0].find("backup") == std::string::npos) {
      return support::WorkResult{false, notices.empty() ? "nothing told" : notices[0]};
    }
    return support::WorkResult{true, {}};
  });
  ASSERT_TRUE(child.ran) << child.problem;
  EXPECT_TRUE(child.work.ok) << child.work.message;
  EXPECT_EQ(ReadAll(regFile), original);
  EXPECT_TRUE(fs::is_empty(locked));
}
#endif

}  // namespace
}  // namespace tavelin
