// A Windows user's own hive as the store: what hivex's own tools see after the program has
// worked on it, the hives it must read but never write, the ones it cannot read, how much a
// command makes the file grow, and hives Windows left dirty with their transaction logs.
// POSIX only (hivex).
#ifndef _WIN32

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "app/mainn.h"
#include "app/system_registry.h"
#include "dialogs/address_dialog.h"
#include "list/store_notices.h"
#include "platform/wide_text.h"
#include "platform/wtf8.h"
#include "store/backup.h"
#include "store/hive_recovery.h"
#include "store/registry_names.h"
#include "store/registry_offline_hive.h"
#include "store/settings_store.h"
#include "store/typed_address_store.h"
#include "support/blank_hive.h"
#include "support/child_process.h"
#include "support/dirty_hive.h"
#include "support/files.h"
#include "support/hive_tools.h"
#include "support/recording_screen.h"

namespace tavelin {
namespace {

namespace fs = std::filesystem;
using platform::PathText;
using support::ReadBytes;
using support::StringValue;
using support::WriteBytes;
using Strings = std::vector<std::string>;

// The program on a hive, started as a user starts it.
struct Program {
  explicit Program(const fs::path& hive,
                   std::chrono::milliseconds lockTimeout = OfflineHiveRegistry::kDefaultLockTimeout)
      : registry(hive, lockTimeout) {
    mainn.Form_Load();
    mainn.Form_Shown();
  }
  Strings list() const { return mainn.List1().items(); }
  // The messages shown since the last call, each as "title: text".
  Strings told() {
    Strings out;
    for (const MessageBoxRequest& m : screen.messages) out.push_back(m.title + ": " + m.text);
    screen.messages.clear();
    return out;
  }
  void add(const std::string& text) {
    screen.whileOpen.push_back([text](Dialog& d) {
      auto& add = dynamic_cast<FrmAdd&>(d);
      add.Text1_Change(text);
      add.Command1_Click();
    });
    mainn.AddAddress_Click();
  }

  OfflineHiveRegistry registry;
  testing::RecordingScreen screen;
  testing::RecordingLauncher launcher;
  Mainn mainn{registry, screen, launcher};
};

bool Contains(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}

// The command was told to the user once, with this reason.
void ExpectOneNotice(RegistryBackend& backend, const std::string& reason) {
  const Strings notices = TakeStoreNotices(backend);
  ASSERT_EQ(notices.size(), 1u);
  EXPECT_TRUE(Contains(notices[0], reason)) << notices[0];
}

// One message, titled "Error", naming the file and saying `why`.
::testing::AssertionResult ToldOnce(const Strings& told, const fs::path& hive,
                                    const std::string& why) {
  if (told.size() != 1) return ::testing::AssertionFailure() << told.size() << " messages";
  if (told[0].rfind("Error: ", 0) != 0 || !Contains(told[0], PathText(hive)) ||
      !Contains(told[0], why)) {
    return ::testing::AssertionFailure() << told[0];
  }
  return ::testing::AssertionSuccess();
}

// The part of an export from the line "[KEY]" to the next blank line.
std::string Section(const std::string& exported, const std::string& key) {
  const std::size_t start = exported.find("[" + key + "]\n");
  if (start == std::string::npos) return {};
  return exported.substr(start, exported.find("\n\n", start) - start);
}

RegValue Bytes(std::uint32_t type, std::vector<std::uint8_t> data) {
  return {type, data};
}

class OfflineHive : public ::testing::Test {
 protected:
  void TearDown() override {
    std::error_code ignored;
    fs::permissions(folder_, fs::perms::owner_all, fs::perm_options::add, ignored);
  }

  // A hive holding these typed addresses (url1, url2, ... in order), as another program
  // left it.
  void Prepare(const std::vector<support::HiveValue>& typed) {
    support::WriteBlankHive(hive_);
    ASSERT_TRUE(support::AddToHive(hive_, kTypedUrlsKey, typed));
  }

  // Sets the header's secondary sequence number apart from the primary, with the checksum
  // made to match, as Windows leaves a hive whose logs hold changes.
  void MarkLogsPending() {
    std::string bytes = ReadBytes(hive_);
    bytes[8] = static_cast<char>(bytes[8] + 1);
    support::MendHiveHeaderChecksum(bytes);
    WriteBytes(hive_, bytes);
  }

  support::TemporaryFolder temporary_{"offline-hive"};
  const fs::path& folder_ = temporary_.path();
  const fs::path hive_ = folder_ / "NTUSER.DAT";
};

TEST_F(OfflineHive, StartUpCompactsTheListAndHivexSeesEverythingElseUnchanged) {
  if (!support::HiveToolsPresent()) GTEST_SKIP() << "hivexregedit or hivexsh is not installed";
  Prepare({StringValue("url3", u"http://c.example/"),
           StringValue("url1", u"   "),
           StringValue("url7", u"http://g.example/\u00e9"),
           {"Other", Bytes(regtype::kDword, {7, 0, 0, 0})},
           StringValue("url250", u"http://beyond.example/")});
  ASSERT_TRUE(support::AddToHive(
      hive_, "Software\\Other",
      {{"expand", Bytes(regtype::kExpandSz, {'%', 0, 'T', 0, '%', 0, 0, 0})},
       {"binary", Bytes(regtype::kBinary, {0, 1, 2, 0xFF})},
       {"lone", Bytes(regtype::kSz, {0x00, 0xD8, 'x', 0, 0, 0})},  // an unpaired surrogate
       {"odd type", Bytes(0x12345678u, {1, 2, 3})}}));
  const std::optional<std::string> before = support::ExportHive(hive_);
  ASSERT_TRUE(before);

  {
    Program p(hive_);
    EXPECT_EQ(p.list(), (Strings{"http://c.example/", "http://g.example/\xC3\xA9"}));
    EXPECT_TRUE(p.told().empty());
  }
  const std::optional<std::string> after = support::ExportHive(hive_);
  ASSERT_TRUE(after);
  const std::string typed = Section(*after, "HKEY_CURRENT_USER\\" + std::string(kTypedUrlsKey));
  const std::size_t url1 = typed.find("\"url1\"");
  const std::size_t url2 = typed.find("\"url2\"");
  EXPECT_TRUE(url1 != std::string::npos && url2 != std::string::npos && url1 < url2) << typed;
  EXPECT_FALSE(Contains(typed, "\"url3\"") || Contains(typed, "\"url7\"")) << typed;
  EXPECT_TRUE(Contains(typed, "\"Other\"=dword:00000007")) << typed;
  EXPECT_TRUE(Contains(typed, "\"url250\"")) << typed;
  EXPECT_EQ(Section(*after, "HKEY_CURRENT_USER\\Software\\Other"),
            Section(*before, "HKEY_CURRENT_USER\\Software\\Other"));
  EXPECT_FALSE(Section(*after, "HKEY_CURRENT_USER\\Software\\Other").empty());
  EXPECT_TRUE(support::OpensInHivexsh(hive_));
  // Nothing beside the hive: no lock, no temporary.
  EXPECT_EQ(support::CountEntries(folder_), 1u);
}

TEST_F(OfflineHive, AHiveThatIsAlreadyCompactIsLeftByteForByte) {
  Prepare({StringValue("url1", u"http://a.example/"), StringValue("url2", u"http://b.example/")});
  const std::string before = ReadBytes(hive_);
  Program p(hive_);
  p.mainn.FileReload_Click();
  EXPECT_EQ(p.list(), (Strings{"http://a.example/", "http://b.example/"}));
  EXPECT_TRUE(p.told().empty());
  EXPECT_EQ(ReadBytes(hive_), before);
}

TEST_F(OfflineHive, AHiveWhoseLogsHoldChangesIsReadButNeverWritten) {
  Prepare({StringValue("url2", u"http://b.example/")});  // the gap makes the start-up write
  MarkLogsPending();
  const std::string before = ReadBytes(hive_);
  Program p(hive_);
  EXPECT_EQ(p.list(), Strings{"http://b.example/"});
  EXPECT_TRUE(ToldOnce(p.told(), hive_, "Let that Windows installation start once"));
  p.add("http://new.example/");
  EXPECT_TRUE(ToldOnce(p.told(), hive_, "no log file is beside it"));
  EXPECT_EQ(ReadBytes(hive_), before);
}

TEST_F(OfflineHive, AHiveThatCannotBeReadIsToldAndLeftAlone) {
  Prepare({StringValue("url1", u"http://a.example/")});
  const std::string good = ReadBytes(hive_);
  std::string badChecksum = good;
  badChecksum[0x30] ^= 0x55;
  std::string badBin = good;
  badBin.replace(0x1000, 4, "nope");
  struct Damage {
    const char* name;
    std::string bytes;
    const char* why;
  };
  const std::vector<Damage> damages = {
      {"cut inside the base block", good.substr(0, 3000), "cut short"},
      {"cut after the first bin", good.substr(0, 0x2000), "cut short"},
      {"header checksum wrong", badChecksum, "hivex cannot open it"},
      {"first bin overwritten", badBin, "hivex cannot open it"},
  };
  for (const Damage& damage : damages) {
    SCOPED_TRACE(damage.name);
    WriteBytes(hive_, damage.bytes);
    Program p(hive_);
    EXPECT_TRUE(p.list().empty());
    EXPECT_TRUE(ToldOnce(p.told(), hive_, damage.why));
    p.add("http://new.example/");
    EXPECT_TRUE(ToldOnce(p.told(), hive_, "could not be read"));
    EXPECT_EQ(ReadBytes(hive_), damage.bytes);
    EXPECT_EQ(support::CountEntries(folder_), 1u);
  }
}

TEST_F(OfflineHive, AReadOnlyHiveOrFolderIsReadAndEveryWriteIsRefusedAloud) {
  // Root ignores permissions: the program runs as an unprivileged user in the child.
  Prepare({StringValue("url2", u"http://b.example/")});
  const std::string before = ReadBytes(hive_);
  struct Case {
    const char* name;
    fs::perms file;
    fs::perms folder;
    const char* why;
  };
  const fs::perms all = fs::perms::all;
  const fs::perms readable = fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec |
                             fs::perms::others_read | fs::perms::others_exec;
  const std::vector<Case> cases = {
      {"read-only file", fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read,
       all, "the file is read-only"},
      {"read-only folder", all, readable, "is read-only"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    fs::permissions(hive_, c.file);
    fs::permissions(folder_, c.folder);
    support::ChildSetup unprivileged;
    unprivileged.unprivileged = true;
    const support::ChildResult child = support::RunInChild(unprivileged, [&] {
      Program p(hive_);
      const Strings atStart = p.told();
      p.add("http://new.example/");
      const Strings added = p.told();
      const bool ok = p.list() == Strings{"http://b.example/", "http://new.example/"} &&
                      ToldOnce(atStart, hive_, c.why) && ToldOnce(added, hive_, c.why);
      std::string seen;
      for (const std::string& item : p.list()) seen += item + " | ";
      for (const std::string& message : atStart) seen += "\nat start: " + message;
      for (const std::string& message : added) seen += "\nadding: " + message;
      return support::WorkResult{ok, seen};
    });
    ASSERT_TRUE(child.ran) << child.problem;
    EXPECT_TRUE(child.work.ok) << child.work.message;
    fs::permissions(folder_, fs::perms::owner_all, fs::perm_options::add);
    EXPECT_EQ(ReadBytes(hive_), before);
    EXPECT_EQ(support::CountEntries(folder_), 1u);
  }
}

TEST_F(OfflineHive, ASecondCopyWaitsForTheLockAndThenGivesUpWithoutWriting) {
  Prepare({StringValue("url1", u"http://a.example/")});
  OfflineHiveRegistry first(hive_);
  Transaction holding(first);
  ASSERT_TRUE(first.keyExists(kCurrentUser, kTypedUrlsKey));
  const std::string before = ReadBytes(hive_);
  OfflineHiveRegistry second(hive_, std::chrono::milliseconds(100));
  EXPECT_FALSE(modReg::WriteRegString(second, kCurrentUser, kTypedUrlsKey, "url1", "x"));
  ExpectOneNotice(second, "held the lock");
  EXPECT_EQ(ReadBytes(hive_), before);
}

TEST_F(OfflineHive, ACommandRewritesEachChangedKeyOnce) {
  // hivex grows the file with every rewrite of a key's values: 200 changes in one command
  // must cost one rewrite, far less than 200 commands of one change each.
  support::WriteBlankHive(hive_);
  const auto grownBy = [&](const std::function<void(OfflineHiveRegistry&)>& work) {
    const auto start = fs::file_size(hive_);
    OfflineHiveRegistry registry(hive_);
    work(registry);
    EXPECT_TRUE(TakeStoreNotices(registry).empty());
    return fs::file_size(hive_) - start;
  };
  const auto writeAll = [](OfflineHiveRegistry& registry, const std::string& prefix) {
    for (int i = 1; i <= 200; ++i) {
      modReg::WriteRegString(registry, kCurrentUser, kTypedUrlsKey, UrlValueName(i),
                             prefix + std::to_string(i));
    }
  };
  grownBy([&](OfflineHiveRegistry& r) { writeAll(r, "http://first.example/"); });
  const auto oneCommand = grownBy([&](OfflineHiveRegistry& r) {
    Transaction transaction(r);
    writeAll(r, "http://second.example/");
  });
  const auto manyCommands =
      grownBy([&](OfflineHiveRegistry& r) { writeAll(r, "http://third.example/"); });
  EXPECT_LT(oneCommand * 10, manyCommands) << oneCommand << " against " << manyCommands;
}

// The hive's bytes after hivex has set these values, in a scratch file of its own.
std::string Added(const std::string& hive, std::string_view key,
                  const std::vector<support::HiveValue>& values) {
  support::TemporaryFolder scratch("hive-scratch");
  WriteBytes(scratch / "hive", hive);
  EXPECT_TRUE(support::AddToHive(scratch / "hive", key, values));
  return ReadBytes(scratch / "hive");
}

// Every file in the folder with its bytes (a folder, a pipe or a link as a mark of its own).
std::map<std::string, std::string> Files(const fs::path& folder) {
  std::map<std::string, std::string> files;
  for (const auto& entry : fs::directory_iterator(folder)) {
    const fs::path& path = entry.path();
    files[path.filename().string()] = fs::is_regular_file(fs::symlink_status(path))
                                          ? ReadBytes(path)
                                          : std::string("(not a regular file)");
  }
  return files;
}

// A hive that Windows left dirty: its primary file holds the typed address a, and its log
// adds b.
class DirtyHive : public OfflineHive {
 protected:
  void SetUp() override {
    support::WriteBlankHive(hive_);
    ASSERT_TRUE(
        support::AddToHive(hive_, kTypedUrlsKey, {StringValue("url1", u"http://a.example/")}));
    before_ = ReadBytes(hive_);
    after_ = Added(before_, kTypedUrlsKey, {StringValue("url2", u"http://b.example/")});
  }
  // The dirty hive and its logs in the folder, LOG1 named as given.
  void Write(support::LogFormat format, const std::string& log1Name = "NTUSER.DAT.LOG1") {
    dirty_ = support::MakeDirtyHive(before_, after_, format);
    WriteBytes(hive_, dirty_.primary);
    WriteBytes(folder_ / log1Name, dirty_.log1);
    WriteBytes(folder_ / "NTUSER.DAT.LOG2", dirty_.log2);
  }
  std::uint32_t sequence() const { return support::Get32(before_, 8); }

  std::string before_;
  std::string after_;
  support::DirtyHive dirty_;
};

TEST_F(DirtyHive, IsReadAsItsLogsLeaveItAndAWriteCommitsItCleanEmptyingTheLogs) {
  for (const support::LogFormat format : {support::LogFormat::kNew, support::LogFormat::kOld}) {
    SCOPED_TRACE(format == support::LogFormat::kNew ? "new format" : "old format");
    for (const auto& entry : fs::directory_iterator(folder_)) fs::remove(entry.path());
    // Windows writes the log's name in either case.
    Write(format, "ntuser.dat.LOG1");
    const auto files = Files(folder_);
    {
      Program p(hive_);
      EXPECT_EQ(p.list(), (Strings{"http://a.example/", "http://b.example/"}));
      EXPECT_TRUE(p.told().empty());
    }
    // A start-up with nothing to write left the hive dirty, its logs beside it.
    EXPECT_EQ(Files(folder_), files);
    {
      Program p(hive_);
      p.add("http://c.example/");
      EXPECT_TRUE(p.told().empty());
    }
    EXPECT_TRUE(support::HiveHeaderIsClean(hive_));
    // The logs stay, emptied, as Windows leaves those of a clean hive.
    EXPECT_EQ(ReadBytes(folder_ / "ntuser.dat.LOG1"), "");
    EXPECT_EQ(ReadBytes(folder_ / "NTUSER.DAT.LOG2"), "");
    EXPECT_EQ(support::CountEntries(folder_), 3u);
    const std::optional<support::HiveContents> contents = support::ReadHiveContents(hive_);
    ASSERT_TRUE(contents);
    const std::vector<support::HiveValue> typed = contents->at(std::string(kTypedUrlsKey));
    ASSERT_EQ(typed.size(), 3u);
    EXPECT_EQ(typed[1].value, StringValue("", u"http://b.example/").value);
    EXPECT_EQ(typed[2].value, StringValue("", u"http://c.example/").value);
    // The peers read the committed hive whole.
    EXPECT_TRUE(!support::HiveToolsPresent() || support::OpensInHivexsh(hive_));
    if (support::RegfToolsPresent()) {
      EXPECT_EQ(support::RegfExportKeyCount(hive_), contents->size());
    }
    // Clean now, the hive is read as it stands: its logs no longer count.
    Program again(hive_);
    EXPECT_EQ(again.list(),
              (Strings{"http://a.example/", "http://b.example/", "http://c.example/"}));
    EXPECT_TRUE(again.told().empty());
  }
}

TEST_F(DirtyHive, ItsLogsAreLookedForBesideTheRealHiveBehindALink) {
  const fs::path profile = folder_ / "profile";
  fs::create_directory(profile);
  dirty_ = support::MakeDirtyHive(before_, after_, support::LogFormat::kNew);
  WriteBytes(profile / "NTUSER.DAT", dirty_.primary);
  WriteBytes(profile / "NTUSER.DAT.LOG1", dirty_.log1);
  const fs::path link = folder_ / "user.dat";
  fs::create_symlink(profile / "NTUSER.DAT", link);
  WriteBytes(folder_ / "user.dat.LOG1", "not a log");  // beside the link: not the hive's
  Program p(link);
  EXPECT_EQ(p.list(), (Strings{"http://a.example/", "http://b.example/"}));
  EXPECT_TRUE(p.told().empty());
}

TEST_F(DirtyHive, TheBackupBeforeTheFirstWriteHoldsTheKeysAsRecovered) {
  Write(support::LogFormat::kNew);
  const fs::path backups = temporary_ / "backups";
  {
    OfflineHiveRegistry registry(hive_);
    registry.setBackup(ProgramBackup(backups));
    EXPECT_TRUE(
        modReg::WriteRegString(registry, kCurrentUser, kTypedUrlsKey, "url3", "http://c.example/"));
    EXPECT_TRUE(TakeStoreNotices(registry).empty());
  }
  const std::vector<fs::path> taken = BackupFolder(backups).list();
  ASSERT_EQ(taken.size(), 1u);
  const std::string backup = ReadBytes(taken.front());
  const std::string b = TextToUtf16LeBytes(u"http://b.example/");
  EXPECT_NE(backup.find(b), std::string::npos);
  EXPECT_EQ(backup.find(TextToUtf16LeBytes(u"http://c.example/")), std::string::npos);
}

// Each way the logs can fail to bring the hive up to date: the hive is read as it stands,
// every write is refused with the reason, and no file changes.
TEST_F(DirtyHive, LogsThatCannotBringItUpToDateAreToldAndNothingIsWritten) {
  const support::DirtyHive good = support::MakeDirtyHive(before_, after_, support::LogFormat::kNew);
  const support::DirtyHive old = support::MakeDirtyHive(before_, after_, support::LogFormat::kOld);
  std::string badPage = good.log1;
  badPage[0x300] ^= 1;
  std::string badHeader = good.log1;
  badHeader[0x40] ^= 1;
  support::NewLogEntry later{sequence() + 2, static_cast<std::uint32_t>(after_.size() - 0x1000),
                             support::ChangedPages(before_, after_)};
  support::NewLogEntry beyond = later;
  beyond.sequence = sequence();
  beyond.binsSize = 0x1000;
  std::string otherTime = old.log1;
  otherTime[12] ^= 1;
  support::MendHiveHeaderChecksum(otherTime);

  struct Case {
    const char* name;
    std::vector<std::pair<std::string, std::string>> logs;  // name, bytes ("" for none)
    std::function<void(const fs::path&)> special;           // makes files of other kinds
    const char* why;
  };
  const auto fifo = [](const char* name) {
    return
        [name](const fs::path& folder) { ASSERT_EQ(::mkfifo((folder / name).c_str(), 0600), 0); };
  };
  const std::vector<Case> cases = {
      {"no log", {}, nullptr, "no log file is beside it"},
      {"an empty log", {{"NTUSER.DAT.LOG1", ""}}, nullptr, "its log NTUSER.DAT.LOG1 is empty"},
      {"a page changed", {{"NTUSER.DAT.LOG1", badPage}}, nullptr, "fails its check (hash-1)"},
      {"its header changed",
       {{"NTUSER.DAT.LOG1", badHeader}},
       nullptr,
       "the header of its log NTUSER.DAT.LOG1 is not valid"},
      {"cut short",
       {{"NTUSER.DAT.LOG1", good.log1.substr(0, 0x700)}},
       nullptr,
       "is cut short inside the entry at byte 512"},
      {"a gap",
       {{"NTUSER.DAT.LOG1", good.log1},
        {"NTUSER.DAT.LOG2", support::NewFormatLog(after_, {later})}},
       nullptr,
       "its log NTUSER.DAT.LOG2 does not continue the hive's sequence"},
      {"two alike",
       {{"NTUSER.DAT.LOG1", good.log1}, {"NTUSER.DAT.LOG2", good.log1}},
       nullptr,
       "contradict each other"},
      {"beyond the end",
       {{"NTUSER.DAT.LOG1", support::NewFormatLog(before_, {beyond})}},
       nullptr,
       "writes beyond the hive's end"},
      {"another time",
       {{"NTUSER.DAT.LOG1", otherTime}},
       nullptr,
       "was written for another state of the hive"},
      {"a folder",
       {{"NTUSER.DAT.LOG2", good.log1}},
       [](const fs::path& folder) { fs::create_directory(folder / "NTUSER.DAT.LOG1"); },
       "its log NTUSER.DAT.LOG1 cannot be read: it is not a regular file"},
      {"a pipe",
       {{"NTUSER.DAT.LOG1", good.log1}},
       fifo("NTUSER.DAT.LOG2"),
       "its log NTUSER.DAT.LOG2 cannot be read: it is not a regular file"},
      {"a link to itself",
       {{"NTUSER.DAT.LOG2", good.log1}},
       [](const fs::path& folder) {
         fs::create_symlink("NTUSER.DAT.LOG1", folder / "NTUSER.DAT.LOG1");
       },
       "its log NTUSER.DAT.LOG1 cannot be read: "},
      {"two of one name",
       {{"NTUSER.DAT.LOG1", good.log1}, {"ntuser.dat.log1", good.log1}},
       nullptr,
       "two files beside it are named like one log"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    support::TemporaryFolder own("dirty-hive");
    const fs::path hive = own / "NTUSER.DAT";
    WriteBytes(hive, good.primary);
    for (const auto& [name, bytes] : c.logs) WriteBytes(own / name, bytes);
    if (c.special) c.special(own.path());
    const auto files = Files(own.path());
    Program p(hive);
    EXPECT_EQ(p.list(), Strings{"http://a.example/"});  // as the primary file holds it
    EXPECT_TRUE(p.told().empty());                      // the start-up had nothing to write
    p.add("http://new.example/");
    const Strings told = p.told();
    EXPECT_TRUE(ToldOnce(told, hive, c.why));
    EXPECT_TRUE(ToldOnce(told, hive, "Let that Windows installation start once"));
    EXPECT_EQ(p.list(), (Strings{"http://a.example/", "http://new.example/"}));
    EXPECT_EQ(Files(own.path()), files);
  }
}

// Copies of the real hives (see ../shared/hives/README.md), when they are there.
class SharedHive : public OfflineHive {
 protected:
  bool copy(const char* name) {
    const std::optional<fs::path> source = support::SharedHive(name);
    if (!source) return false;
    fs::copy_file(*source, hive_);
    fs::permissions(hive_, fs::perms::owner_read | fs::perms::owner_write);
    return true;
  }
};

TEST_F(SharedHive, AHiveWrittenByWindowsKeepsItsOddKeysThroughAStartUpAndAnAdd) {
  if (!copy("special")) GTEST_SKIP() << "../shared/hives/special is not there";
  if (!support::HiveToolsPresent()) GTEST_SKIP() << "hivexregedit or hivexsh is not installed";
  const std::optional<std::string> before = support::ExportHive(hive_);
  ASSERT_TRUE(before);
  {
    Program p(hive_);
    EXPECT_TRUE(p.list().empty());
    p.add("http://added.example/");
    EXPECT_TRUE(p.told().empty());
  }
  {
    Program again(hive_);
    EXPECT_EQ(again.list(), Strings{"http://added.example/"});
  }
  const std::optional<std::string> after = support::ExportHive(hive_);
  ASSERT_TRUE(after);
  // Every key of the original is there with the same values.
  std::size_t at = 0;
  int sections = 0;
  while ((at = before->find("\n[", at)) != std::string::npos) {
    const std::size_t end = before->find("]\n", at);
    const std::string key = before->substr(at + 2, end - at - 2);
    if (key != "HKEY_CURRENT_USER\\") {
      EXPECT_EQ(Section(*after, key), Section(*before, key)) << key;
      ++sections;
    }
    at = end;
  }
  EXPECT_GE(sections, 3);
  EXPECT_TRUE(support::OpensInHivexsh(hive_));
}

TEST_F(SharedHive, AKeyWhoseValueNamesHivexCannotTakeBackIsNeverRewritten) {
  if (!copy("special")) GTEST_SKIP() << "../shared/hives/special is not there";
  const std::string before = ReadBytes(hive_);
  const std::string key("zero\0key", 8);
  OfflineHiveRegistry registry(hive_);
  ASSERT_TRUE(registry.keyExists(kCurrentUser, key));
  EXPECT_TRUE(registry.queryValue(kCurrentUser, key, std::string("zero\0val", 8)));
  EXPECT_FALSE(modReg::WriteRegString(registry, kCurrentUser, key, "new", "x"));
  ExpectOneNotice(registry, "NUL");
  EXPECT_EQ(ReadBytes(hive_), before);
}

TEST_F(SharedHive, ABareHiveGainsTheEmptyListOnceAndIsThenLeftAlone) {
  if (!copy("minimal")) GTEST_SKIP() << "../shared/hives/minimal is not there";
  {
    Program p(hive_);  // the start-up leaves the list's key behind, as on Windows
    EXPECT_TRUE(p.list().empty());
    EXPECT_TRUE(p.told().empty());
  }
  EXPECT_TRUE(OfflineHiveRegistry(hive_).keyExists(kCurrentUser, kTypedUrlsKey));
  EXPECT_TRUE(!support::HiveToolsPresent() || support::OpensInHivexsh(hive_));
  const std::string before = ReadBytes(hive_);
  Program again(hive_);
  EXPECT_TRUE(again.told().empty());
  EXPECT_EQ(ReadBytes(hive_), before);
}

// Windows' own dirty hives (../shared/hives/recovery): recovered here, they hold every key and
// value that Windows itself recovered; edited, the committed file is clean and holds that
// plus the edit, and the peers read it whole. So does the old-format one with its base
// block's checksum broken: its log is matched by that block's own time, not by the first hive
// bin's, 36 hours older.
TEST_F(SharedHive, WindowsOwnDirtyHivesComeOutAsWindowsRecoveredThem) {
  struct Sample {
    const char* folder;
    const char* recovered;
    bool damagedBase = false;
  };
  for (const Sample& sample : {Sample{"recovery/new-format", "recovered-by-windows-10"},
                               Sample{"recovery/old-format", "recovered-by-windows-7"},
                               Sample{"recovery/old-format", "recovered-by-windows-7", true}}) {
    SCOPED_TRACE(std::string(sample.folder) + (sample.damagedBase ? ", base block damaged" : ""));
    const std::string folder = sample.folder;
    const std::optional<fs::path> windows = support::SharedHive(folder + "/" + sample.recovered);
    if (!windows) GTEST_SKIP() << "../shared/hives/" << folder << " is not there";
    for (const auto& entry : fs::directory_iterator(folder_)) fs::remove(entry.path());
    std::vector<HiveLogFile> logs;
    for (const char* name : {"NTUSER.DAT", "NTUSER.DAT.LOG1", "NTUSER.DAT.LOG2"}) {
      const std::optional<fs::path> source = support::SharedHive(folder + "/" + name);
      ASSERT_TRUE(source) << name;
      fs::copy_file(*source, folder_ / name);
      fs::permissions(folder_ / name, fs::perms::owner_read | fs::perms::owner_write);
      if (std::string(name) != "NTUSER.DAT") logs.push_back({name, ReadBytes(*source), ""});
    }
    if (sample.damagedBase) {
      std::string bytes = ReadBytes(hive_);
      bytes[508] ^= 1;
      WriteBytes(hive_, bytes);
    }
    const std::optional<support::HiveContents> expected = support::ReadHiveContents(*windows);
    ASSERT_TRUE(expected);

    // The recovered hive, key by key and value by value.
    const HiveRecovery recovery = RecoverHive(ReadBytes(hive_), logs);
    ASSERT_EQ(recovery.outcome, HiveRecovery::Outcome::kRecovered) << recovery.why;
    support::TemporaryFolder scratch("recovered");
    WriteBytes(scratch / "hive", recovery.image);
    const std::optional<support::HiveContents> recovered =
        support::ReadHiveContents(scratch / "hive");
    ASSERT_TRUE(recovered);
    EXPECT_EQ(support::FirstDifference(*expected, *recovered), "");
    // The primary file alone is not that.
    const std::optional<support::HiveContents> stale = support::ReadHiveContents(hive_);
    EXPECT_TRUE(!stale || !support::FirstDifference(*expected, *stale).empty());

    // Through the program: the typed addresses edited, the hive committed.
    {
      Program p(hive_);
      EXPECT_TRUE(p.list().empty());
      p.add("http://recovered.example/");
      EXPECT_TRUE(p.told().empty());
    }
    EXPECT_TRUE(support::HiveHeaderIsClean(hive_));
    for (const HiveLogFile& log : logs) EXPECT_EQ(ReadBytes(folder_ / log.name), "");
    EXPECT_EQ(support::CountEntries(folder_), 3u);
    support::HiveContents edited = *expected;
    std::string path;
    for (const std::string& level : SplitKeyPath(kTypedUrlsKey)) {
      path += (path.empty() ? "" : "\\") + level;
      edited.try_emplace(path);
    }
    edited[std::string(kTypedUrlsKey)] = {StringValue("url1", u"http://recovered.example/")};
    const std::optional<support::HiveContents> committed = support::ReadHiveContents(hive_);
    ASSERT_TRUE(committed);
    EXPECT_EQ(support::FirstDifference(edited, *committed), "");
    EXPECT_TRUE(!support::HiveToolsPresent() || support::OpensInHivexsh(hive_));
    if (support::RegfToolsPresent()) {
      EXPECT_EQ(support::RegfExportKeyCount(hive_), committed->size());
    }
  }
}

// The program on a store file as the command line opens it, with the system's parts.
struct SystemProgram {
  SystemProgram(const fs::path& file, bool readOnly, const fs::path& state)
      : stateHome(state), parts(CreateSystemParts({file.string(), readOnly})) {
    mainn.Form_Load();
    mainn.Form_Shown();
  }
  Strings told() {
    Strings out;
    for (const MessageBoxRequest& m : screen.messages) out.push_back(m.title + ": " + m.text);
    screen.messages.clear();
    return out;
  }
  // Backups go to the test's own folder.
  struct StateHome {
    explicit StateHome(const fs::path& state) { ::setenv("XDG_STATE_HOME", state.c_str(), 1); }
    ~StateHome() { ::unsetenv("XDG_STATE_HOME"); }
  } stateHome;
  SystemParts parts;
  testing::RecordingScreen screen;
  Mainn mainn{*parts.registry, screen, *parts.launcher, parts.storeFiles.get(), parts.store};
};

TEST_F(OfflineHive, OpenedReadOnlyNothingIsWrittenAnywhereWhateverTheCommand) {
  Prepare({StringValue("url1", u"http://a.example/"), StringValue("url3", u"http://c.example/")});
  WriteBytes(folder_ / "NTUSER.DAT.LOG1", std::string(512, 'L'));
  const fs::path state = folder_ / "state";
  const std::map<std::string, std::string> before = Files(folder_);

  SystemProgram p(hive_, true, state);
  EXPECT_EQ(p.mainn.List1().items(), (Strings{"http://a.example/", "http://c.example/"}));
  EXPECT_TRUE(p.told().empty());  // the compaction is shown, not stored, and not complained of
  EXPECT_EQ(p.mainn.Caption(),
            std::string(Mainn::Layout().caption) + " - " + hive_.string() + " (read-only)");
  p.mainn.DeleteURL_Click();
  EXPECT_TRUE(ToldOnce(p.told(), hive_, "opened read-only"));
  p.screen.whileOpen.push_back([](Dialog& d) {
    auto& add = dynamic_cast<FrmAdd&>(d);
    add.Text1_Change("http://new.example/");
    add.Command1_Click();
  });
  p.mainn.AddAddress_Click();
  EXPECT_TRUE(ToldOnce(p.told(), hive_, "opened read-only"));
  EXPECT_EQ(Files(folder_), before);
  EXPECT_FALSE(fs::exists(state));
}

// "Open hive" through the program's own store files: a hive is opened and compacted; what the
// backends cannot open is refused, naming the file and why, and the window keeps its store.
TEST_F(OfflineHive, OpenHiveTakesAGoodHiveAndRefusesOneThatCannotBeOpened) {
  Prepare({StringValue("url2", u"http://b.example/")});
  const std::string good = ReadBytes(hive_);
  std::string pending = good;
  pending[8] = static_cast<char>(pending[8] + 1);  // dirty, and no log to bring it up to date
  support::MendHiveHeaderChecksum(pending);
  const struct {
    const char* label;
    std::string bytes;
    const char* why;  // empty: it is opened
  } cases[] = {
      {"a good hive", good, ""},
      {"not a hive", "hello\n", "line 1"},
      {"cut short", good.substr(0, 0x2000), "cut short"},
      {"dirty without its logs", pending, "cannot be taken from its transaction logs"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.label);
    WriteBytes(hive_, c.bytes);
    const fs::path first = folder_ / "first.reg";
    SystemProgram p(first, false, folder_ / "state");
    p.screen.files.push_back(hive_.string());
    p.mainn.FileOpenHive_Click();
    const bool opened = *c.why == '\0';
    if (!opened) {
      EXPECT_TRUE(ToldOnce(p.told(), hive_, c.why));
    }
    EXPECT_EQ(p.mainn.List1().items(), opened ? Strings{"http://b.example/"} : Strings{});
    EXPECT_EQ(p.mainn.Caption(),
              std::string(Mainn::Layout().caption) + " - " + (opened ? hive_ : first).string());
    // Compacted and written when opened, as a start-up on it would; else left as it was.
    EXPECT_EQ(ReadBytes(hive_) == c.bytes, !opened);
  }
}

// Every free cell of the hive zero after its size field, and nothing but zeros after the
// last bin: walked here by the layout's own rules, apart from the program's walk.
::testing::AssertionResult FreeSpaceIsZero(const std::string& hive) {
  const std::size_t end = 0x1000 + support::Get32(hive, support::kHiveBinsSizeAt);
  for (std::size_t bin = 0x1000; bin < end;) {
    const std::size_t binSize = support::Get32(hive, bin + 8);
    if (hive.compare(bin, 4, "hbin") != 0 || binSize == 0) {
      return ::testing::AssertionFailure() << "no bin at " << bin;
    }
    for (std::size_t at = bin + 0x20; at < bin + binSize;) {
      const auto size = static_cast<std::int32_t>(support::Get32(hive, at));
      const std::size_t length = size < 0 ? 0u - static_cast<std::uint32_t>(size) : size;
      if (length == 0) return ::testing::AssertionFailure() << "an empty cell at " << at;
      if (size > 0 && hive.find_first_not_of('\0', at + 4) < at + length) {
        return ::testing::AssertionFailure() << "the free cell at " << at << " holds something";
      }
      at += length;
    }
    bin += binSize;
  }
  if (hive.find_first_not_of('\0', end) != std::string::npos) {
    return ::testing::AssertionFailure() << "bytes after the last bin";
  }
  return ::testing::AssertionSuccess();
}

std::string Utf16Le(std::string_view ascii) {
  std::string out;
  for (const char c : ascii) out += {c, '\0'};
  return out;
}

// An address the user takes out of the list is gone from the hive and its logs: its text in
// either form and its time, whichever command took it, and whoever freed the cells before.
TEST_F(SharedHive, WhatLeavesTheListCannotBeReadBackFromTheHiveOrItsLogs) {
  const Strings typed{"http://one-secret.example/", "http://two-secret.example/",
                      "http://three-secret.example/", "http://four-secret.example/"};
  const auto timeOf = [](std::size_t i) {
    return std::string{'\x01', '\x23', '\x45', '\x67',
                       '\x89', '\xAB', '\xCD', static_cast<char>(0xE0 + i)};
  };
  const auto edit = [](Program& p, std::size_t at, const char* text) {
    p.mainn.List1_Click(static_cast<int>(at));
    p.screen.whileOpen.push_back([text](Dialog& d) {
      auto& dialog = dynamic_cast<FrmEdit&>(d);
      dialog.Text1_Change(text);
      dialog.Command1_Click();
    });
    p.mainn.EditAddress_Click();
  };
  const struct {
    const char* label;
    std::function<void(Program&)> command;
    std::vector<std::size_t> gone;  // the entries of `typed` that leave the list
  } commands[] = {
      {"Delete", [](Program& p) { p.mainn.DeleteURL_Click(); }, {0}},
      {"Delete all", [](Program& p) { p.mainn.DeleteAll_Click(); }, {0, 1, 2, 3}},
      {"Edit", [&](Program& p) { edit(p, 1, "http://new.example/"); }, {1}},
      {"a move", [](Program& p) { p.mainn.Command3_Click(); }, {}},
  };
  const char* const hives[] = {"hand-made 1.3", "hand-made 1.5",
                               "recovery/old-format/recovered-by-windows-7"};
  for (const char* kind : hives) {
    for (const auto& c : commands) {
      SCOPED_TRACE(std::string(kind) + ", " + c.label);
      for (const auto& entry : fs::directory_iterator(folder_)) fs::remove_all(entry.path());
      if (std::string_view(kind).starts_with("hand-made")) {
        WriteBytes(hive_, support::BlankHiveBytes(kind[12] == '3' ? 3 : 5));
      } else if (!copy(kind)) {
        GTEST_SKIP() << "../shared/hives is not there";
      }
      std::vector<support::HiveValue> urls;
      std::vector<support::HiveValue> times;
      for (std::size_t i = 0; i < typed.size(); ++i) {
        const std::u16string text(typed[i].begin(), typed[i].end());
        urls.push_back(StringValue(UrlValueName(i + 1), text));
        const std::string time = timeOf(i);
        times.push_back({UrlValueName(i + 1), Bytes(regtype::kBinary, {time.begin(), time.end()})});
      }
      ASSERT_TRUE(support::AddToHive(hive_, kTypedUrlsKey, urls));
      ASSERT_TRUE(support::AddToHive(hive_, kTypedUrlsTimeKey, times));
      // A stale log of the clean hive, holding every address, as a log of Windows' may.
      WriteBytes(folder_ / "NTUSER.DAT.LOG1", ReadBytes(hive_));
      std::optional<support::HiveContents> others = support::ReadHiveContents(hive_);
      ASSERT_TRUE(others);

      {
        Program p(hive_);
        ASSERT_EQ(p.list(), typed);
        c.command(p);
        EXPECT_TRUE(p.told().empty());
      }
      const std::string after = ReadBytes(hive_);
      const std::string log = ReadBytes(folder_ / "NTUSER.DAT.LOG1");
      EXPECT_EQ(log, "");
      for (const std::size_t i : c.gone) {
        for (const std::string& trace : {typed[i], Utf16Le(typed[i]), timeOf(i)}) {
          EXPECT_EQ(after.find(trace), std::string::npos) << typed[i];
        }
      }
      EXPECT_TRUE(FreeSpaceIsZero(after));
      EXPECT_TRUE(!support::HiveToolsPresent() || support::OpensInHivexsh(hive_));
      std::optional<support::HiveContents> contents = support::ReadHiveContents(hive_);
      ASSERT_TRUE(contents);
      if (support::RegfToolsPresent()) {
        EXPECT_EQ(support::RegfExportKeyCount(hive_), contents->size());
      }
      for (const std::string_view key : {kTypedUrlsKey, kTypedUrlsTimeKey}) {
        others->erase(std::string(key));
        contents->erase(std::string(key));
      }
      EXPECT_EQ(support::FirstDifference(*others, *contents), "");
    }
  }
}

TEST_F(OfflineHive, ALogThatCannotBeEmptiedIsToldAndTheChangeStays) {
  Prepare({StringValue("url1", u"http://a.example/")});
  fs::create_directory(folder_ / "NTUSER.DAT.LOG2");  // a log Windows could never have left
  Program p(hive_);
  p.add("http://b.example/");
  const Strings told = p.told();
  ASSERT_EQ(told.size(), 1u);
  EXPECT_TRUE(Contains(told[0], "The change was saved") &&
              Contains(told[0], PathText(folder_ / "NTUSER.DAT.LOG2")))
      << told[0];
  Program again(hive_);
  EXPECT_EQ(again.list(), (Strings{"http://a.example/", "http://b.example/"}));
}

}  // namespace
}  // namespace tavelin

#endif  // _WIN32
