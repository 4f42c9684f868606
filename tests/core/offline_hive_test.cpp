// A Windows user's own hive as the store: what hivex's own tools see after the program has
// worked on it, the hives it must read but never write, the ones it cannot read, and how
// much a command makes the file grow. POSIX only (hivex).
#ifndef _WIN32

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "app/mainn.h"
#include "dialogs/address_dialog.h"
#include "platform/wide_text.h"
#include "store/registry_offline_hive.h"
#include "store/settings_store.h"
#include "store/typed_address_store.h"
#include "support/blank_hive.h"
#include "support/child_process.h"
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
  const Strings notices = backend.takeNotices();
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
  EXPECT_TRUE(ToldOnce(p.told(), hive_, "open the hive in Windows first"));
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
    EXPECT_TRUE(registry.takeNotices().empty());
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

}  // namespace
}  // namespace tavelin

#endif  // _WIN32
