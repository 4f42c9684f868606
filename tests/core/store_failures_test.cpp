// What the user keeps and is told when a command cannot reach the registry file: the list keeps
// what the user did, the file stays byte for byte as it was, every refusal is told, and the
// program never writes where the user did not point it.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <functional>
#include <set>
#include <string>
#include <vector>

#include "app/mainn.h"
#include "dialogs/address_dialog.h"
#include "list/list_store.h"
#include "platform/wide_text.h"
#include "store/registry_file.h"
#include "store/typed_address_store.h"
#include "support/files.h"
#include "support/recording_screen.h"

#ifndef _WIN32
#include "support/child_process.h"
#endif

namespace tavelin {
namespace {

namespace fs = std::filesystem;
using platform::PathText;
using testing::RecordingLauncher;
using testing::RecordingScreen;
using Strings = std::vector<std::string>;

const std::string kDamaged = "WINE REGISTRY Version 2\n;; not ours\n";

using support::ReadBytes;
using support::WriteBytes;

using support::FolderNames;

class StoreFailures : public ::testing::Test {
 protected:
  void TearDown() override {
    // A test may leave the folder read-only.
    std::error_code ignored;
    fs::permissions(folder_, fs::perms::owner_all, fs::perm_options::add, ignored);
  }

  // Stores the addresses (and a save mode) the way another run of the program would.
  void Prepare(const Strings& urls, const char* saveMode) {
    RegFileRegistry registry(regFile_);
    Transaction transaction(registry);
    for (std::size_t i = 0; i < urls.size(); ++i) {
      modReg::WriteRegString(registry, kCurrentUser, kTypedUrlsKey, UrlValueName(i + 1), urls[i]);
    }
    modReg::WriteRegString(registry, kCurrentUser, kSettingsKey, kSaveModeValue, saveMode);
  }
  Strings StoredList() {
    RegFileRegistry registry(regFile_);
    AddressList list;
    Transaction transaction(registry);
    LoadAddresses(registry, list);
    RemoveBlankAddresses(list);
    return list.items();
  }

  support::TemporaryFolder temporary_{"failures"};
  const fs::path& folder_ = temporary_.path();
  const fs::path regFile_ = folder_ / "HKEY_CURRENT_USER.reg";
};

struct Program {
  explicit Program(const fs::path& regFile,
                   std::chrono::milliseconds lockTimeout = RegFileRegistry::kDefaultLockTimeout)
      : registry(regFile, lockTimeout) {
    mainn.Form_Load();
    mainn.Form_Shown();
  }
  Strings list() const { return mainn.List1().items(); }
  // The messages shown since the last call.
  Strings told() {
    Strings out = screen.messageTexts();
    screen.messages.clear();
    screen.events.clear();
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

  RegFileRegistry registry;
  RecordingScreen screen;
  RecordingLauncher launcher;
  Mainn mainn{registry, screen, launcher};
};

::testing::AssertionResult ToldNothingSaved(const Strings& told, const fs::path& file) {
  if (told.size() != 1) return ::testing::AssertionFailure() << told.size() << " messages";
  if (told[0].find("Nothing was saved") == std::string::npos ||
      told[0].find(PathText(file)) == std::string::npos) {
    return ::testing::AssertionFailure() << told[0];
  }
  return ::testing::AssertionSuccess();
}

TEST_F(StoreFailures, ASaveAllThatCannotHappenKeepsTheListUntilTheFileIsMended) {
  Prepare({"A", "B", "C"}, "Two");
  const std::string good = ReadBytes(regFile_);
  Program p(regFile_);
  p.mainn.List1_Click(1);
  p.mainn.DeleteURL_Click();
  WriteBytes(regFile_, kDamaged);

  for (int attempt = 0; attempt < 2; ++attempt) {  // told again, each time
    p.mainn.Command1_Click();
    EXPECT_TRUE(ToldNothingSaved(p.told(), regFile_));
    EXPECT_EQ(p.list(), (Strings{"A", "C"}));
    EXPECT_EQ(ReadBytes(regFile_), kDamaged);
  }
  WriteBytes(regFile_, good);
  p.mainn.Command1_Click();
  EXPECT_TRUE(p.told().empty());
  EXPECT_EQ(StoredList(), (Strings{"A", "C"}));
  EXPECT_EQ(p.mainn.List1().selectionIndex(), 0);
}

TEST_F(StoreFailures, AutomaticCommandsOnADamagedFileKeepTheirChangeAndSaySo) {
  Prepare({"A", "B", "C"}, "One");
  const std::string good = ReadBytes(regFile_);
  Program p(regFile_);
  WriteBytes(regFile_, kDamaged);

  p.mainn.List1_Click(2);
  p.mainn.Command2_Click();
  EXPECT_TRUE(ToldNothingSaved(p.told(), regFile_));
  EXPECT_EQ(p.list(), (Strings{"A", "C", "B"}));

  p.add("D");
  EXPECT_TRUE(ToldNothingSaved(p.told(), regFile_));
  EXPECT_EQ(p.list(), (Strings{"A", "C", "B", "D"}));

  p.mainn.FileReload_Click();
  EXPECT_EQ(p.told().size(), 1u);
  EXPECT_EQ(p.list(), (Strings{"A", "C", "B", "D"}));  // a failed reload leaves the list
  EXPECT_EQ(ReadBytes(regFile_), kDamaged);

  // Mended behind the program's back: the list came from a good read, so writes go on.
  WriteBytes(regFile_, good);
  p.mainn.List1_Click(3);
  p.mainn.Command2_Click();
  EXPECT_TRUE(p.told().empty());
  EXPECT_EQ(StoredList(), (Strings{"A", "C", "D", "B"}));
}

TEST_F(StoreFailures, AfterAStartUpThatCouldNotReadNothingIsWrittenUntilAReload) {
  Prepare({"A", "B"}, "One");
  const std::string good = ReadBytes(regFile_);
  WriteBytes(regFile_, kDamaged);
  Program p(regFile_);
  const Strings atStart = p.told();
  ASSERT_EQ(atStart.size(), 1u);
  EXPECT_NE(atStart[0].find(PathText(regFile_)), std::string::npos);
  EXPECT_TRUE(p.list().empty());
  EXPECT_EQ(ReadBytes(regFile_), kDamaged);

  WriteBytes(regFile_, good);
  p.add("new");  // would store a one-entry list over the mended file
  const Strings refused = p.told();
  ASSERT_EQ(refused.size(), 1u);
  EXPECT_NE(refused[0].find("F5"), std::string::npos) << refused[0];
  EXPECT_EQ(ReadBytes(regFile_), good);
  EXPECT_EQ(p.list(), Strings{"new"});

  p.mainn.FileReload_Click();
  EXPECT_TRUE(p.told().empty());
  EXPECT_EQ(p.list(), (Strings{"A", "B"}));
  p.add("C");
  EXPECT_EQ(StoredList(), (Strings{"A", "B", "C"}));
}

TEST_F(StoreFailures, ManualModeCommandsDoNotTouchTheStoreAtAll) {
  Prepare({"A", "B", "C"}, "Two");
  Program p(regFile_, std::chrono::milliseconds(50));
  RegFileRegistry holder(regFile_);
  Transaction held(holder);  // another copy holds the lock for as long as this test runs
  p.mainn.List1_Click(1);
  p.mainn.Command3_Click();
  p.mainn.DeleteURL_Click();
  p.add("D");
  p.mainn.List1_Click(0);
  p.screen.whileOpen.push_back([](Dialog& d) {
    auto& edit = dynamic_cast<FrmEdit&>(d);
    edit.Text1_Change("E");
    edit.Command1_Click();
  });
  p.mainn.EditAddress_Click();
  p.mainn.DeleteAll_Click();
  EXPECT_TRUE(p.told().empty());  // no lock was waited for, no read failed
}

TEST_F(StoreFailures, WithNoPlaceForTheFileNothingAnywhereIsTouched) {
  // No TAVELIN_REGISTRY, no XDG_DATA_HOME, no HOME: there is no path.
  ASSERT_TRUE(RegFilePath(nullptr, nullptr, nullptr).empty());
  WriteBytes(folder_ / ".tmp-notes", "mine");
  WriteBytes(folder_ / ".tmp-1234", "mine too");
  const fs::path before = fs::current_path();
  fs::current_path(folder_);
  {
    Program p(RegFilePath(nullptr, nullptr, nullptr));
    const Strings atStart = p.told();
    ASSERT_EQ(atStart.size(), 1u);
    EXPECT_NE(atStart[0].find("HOME"), std::string::npos) << atStart[0];
    p.add("A");
    EXPECT_EQ(p.told().size(), 1u);
    p.mainn.Command1_Click();
    EXPECT_EQ(p.told().size(), 1u);
    EXPECT_EQ(p.list(), Strings{"A"});
  }
  fs::current_path(before);
  EXPECT_EQ(FolderNames(folder_), (std::set<std::string>{".tmp-1234", ".tmp-notes"}));
  EXPECT_EQ(ReadBytes(folder_ / ".tmp-notes"), "mine");
}

TEST_F(StoreFailures, OnlyANameEndingInRegBecomesANewFile) {
  {
    Program p(folder_ / "NTUSER.DAT");
    const Strings told = p.told();
    ASSERT_EQ(told.size(), 1u);
    EXPECT_NE(told[0].find("NTUSER.DAT"), std::string::npos) << told[0];
    p.add("A");
    EXPECT_EQ(p.told().size(), 1u);
  }
  EXPECT_TRUE(FolderNames(folder_).empty());
  {
    Program p(folder_ / "New.REG");
    EXPECT_TRUE(p.told().empty());
    p.add("A");
    EXPECT_TRUE(p.told().empty());
  }
  EXPECT_TRUE(fs::exists(folder_ / "New.REG"));
}

#ifndef _WIN32
// Runs `body` in a child process set up as asked (support/child_process.h) and returns the
// number it ends with; the child must report through it.
int InChild(const support::ChildSetup& setup, const std::function<int()>& body) {
  const support::ChildResult child = support::RunInChild(setup, [&] {
    const int code = body();
    return support::WorkResult{code == 0, std::to_string(code)};
  });
  EXPECT_TRUE(child.ran) << child.problem;
  return child.ran ? std::stoi(child.work.message) : -1;
}

// Checks for the children: 0 when all held, otherwise the number of the first that did not.
int Check(std::initializer_list<bool> checks) {
  int n = 1;
  for (bool ok : checks) {
    if (!ok) return n;
    ++n;
  }
  return 0;
}

TEST_F(StoreFailures, AReadOnlyFolderIsReadAndEveryWriteIsRefusedAloud) {
  // Root ignores permissions: the program runs as an unprivileged user in the child.
  Prepare({"A", "B"}, "One");
  const std::string good = ReadBytes(regFile_);
  fs::permissions(regFile_, fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read |
                                fs::perms::others_read);
  fs::permissions(folder_, fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec |
                               fs::perms::others_read | fs::perms::others_exec);
  support::ChildSetup unprivileged;
  unprivileged.unprivileged = true;
  const int result = InChild(unprivileged, [&] {
    Program p(regFile_);
    const Strings atStart = p.told();  // the compaction has nothing to write
    p.mainn.List1_Click(1);
    p.mainn.Command2_Click();
    const Strings moved = p.told();
    p.mainn.Command2_Click();  // at the top now: nothing to do, nothing told
    p.mainn.DeleteAll_Click();
    const Strings cleared = p.told();
    return Check({atStart.empty(), p.list().empty(), ToldNothingSaved(moved, regFile_),
                  ToldNothingSaved(cleared, regFile_)});
  });
  EXPECT_EQ(result, 0);
  EXPECT_EQ(ReadBytes(regFile_), good);
}

TEST_F(StoreFailures, AFullDiskIsToldAndTheOldFileStays) {
  Prepare({"A"}, "One");
  const std::string good = ReadBytes(regFile_);
  support::ChildSetup smallDisk;
  smallDisk.fileSizeLimit = good.size() + 16;
  const int result = InChild(smallDisk, [&] {
    Program p(regFile_);
    p.add(std::string(4096, 'x'));
    const Strings told = p.told();
    return Check({ToldNothingSaved(told, regFile_), p.list().size() == 2});
  });
  EXPECT_EQ(result, 0);
  EXPECT_EQ(ReadBytes(regFile_), good);
  EXPECT_EQ(FolderNames(folder_),
            (std::set<std::string>{"HKEY_CURRENT_USER.reg", "HKEY_CURRENT_USER.reg.lock"}));
}
#endif

}  // namespace
}  // namespace tavelin
