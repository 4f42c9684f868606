// Undo and redo of every change of the list: the list and its selection on each side of the
// change, and the store following in automatic mode only.
#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "app/mainn.h"
#include "dialogs/address_dialog.h"
#include "dialogs/frm_settings.h"
#include "store/registry_file.h"
#include "store/typed_address_store.h"
#include "support/files.h"
#include "support/recording_screen.h"
#include "support/registry_memory.h"
#include "support/stored_list.h"

namespace tavelin {
namespace {

namespace fs = std::filesystem;
using testing::RecordingLauncher;
using testing::RecordingScreen;
using Strings = std::vector<std::string>;

Strings StoredList(RegistryBackend& backend) {
  return support::StoredTexts(backend, kStoredAddressWindow + 1);
}

void StoreList(RegistryBackend& backend, const Strings& texts) {
  support::StoreUrls(backend, support::Numbered(texts));
}

struct Program {
  Program(RegistryBackend& backend, const Strings& urls, const char* saveMode)
      : registry(backend), mainn(backend, screen, launcher) {
    StoreList(registry, urls);
    modReg::WriteRegString(registry, kCurrentUser, kSettingsKey, kSaveModeValue, saveMode);
    mainn.Form_Load();
    mainn.Form_Shown();
  }
  Strings list() const { return mainn.List1().items(); }
  int selection() const { return mainn.List1().selectionIndex(); }
  template <class D>
  void type(const std::string& text) {
    screen.whileOpen.push_back([text](Dialog& d) {
      auto& dialog = dynamic_cast<D&>(d);
      dialog.Text1_Change(text);
      dialog.Command1_Click();
    });
  }

  RegistryBackend& registry;
  RecordingScreen screen;
  RecordingLauncher launcher;
  Mainn mainn;
};

struct Change {
  const char* name;
  int selectBefore;
  std::function<void(Program&)> make;
  std::function<void(Program&)> setUp = {};  // shapes the list before, not itself undone
};

// Each kind of change, from A, B, C (or a list with blanks), in both save modes.
TEST(Undo, EveryKindOfChangeGoesBackAndForth) {
  const support::TemporaryFolder folder("undo");
  const fs::path file = folder / "import.txt";
  support::WriteBytes(file, "x\r\n\r\ny\r\n");
  const std::vector<Change> changes{
      {"delete", 1, [](Program& p) { p.mainn.DeleteURL_Click(); }},
      {"delete key", 2, [](Program& p) { p.mainn.List1_KeyDown(keys::kDelete, shift::kAlt); }},
      {"delete all", 1, [](Program& p) { p.mainn.DeleteAll_Click(); }},
      {"move up", 2, [](Program& p) { p.mainn.Command2_Click(); }},
      {"move down", 0, [](Program& p) { p.mainn.Command3_Click(); }},
      {"add", 1,
       [](Program& p) {
         p.type<FrmAdd>("D");
         p.mainn.AddAddress_Click();
       }},
      {"edit", 1,
       [](Program& p) {
         p.type<FrmEdit>("E");
         p.mainn.EditAddress_Click();
       }},
      {"import", 0,
       [&file](Program& p) {
         p.screen.files.push_back(file.string());
         p.mainn.FileOpen_Click();
       }},
      {"blanks of save all", 2, [](Program& p) { p.mainn.Command1_Click(); },
       [](Program& p) {
         p.mainn.List1().append("   ");
         p.mainn.List1().insert(0, " ");
       }},
      {"reload", 3, [](Program& p) { p.mainn.FileReload_Click(); },
       [](Program& p) { p.mainn.List1().append("unsaved"); }},
  };
  for (const char* mode : {"One", "Two"}) {
    const bool manual = std::string(mode) == "Two";
    for (const Change& change : changes) {
      SCOPED_TRACE(std::string(change.name) + ", " + mode);
      MemoryRegistry registry;
      Program p(registry, {"A", "B", "C"}, mode);
      if (change.setUp) change.setUp(p);
      p.mainn.List1_Click(change.selectBefore);
      const std::size_t stepsBefore = p.mainn.history().undoCount();
      const Strings before = p.list();
      const int selectionBefore = p.selection();
      change.make(p);
      ASSERT_EQ(p.mainn.history().undoCount(), stepsBefore + 1);
      const Strings after = p.list();
      const int selectionAfter = p.selection();
      const Strings storedAfter = StoredList(registry);
      ASSERT_NE(after, before);

      p.mainn.Undo_Click();
      EXPECT_EQ(p.list(), before);
      EXPECT_EQ(p.selection(), selectionBefore);
      EXPECT_EQ(StoredList(registry), manual ? storedAfter : before);

      p.mainn.Redo_Click();
      EXPECT_EQ(p.list(), after);
      EXPECT_EQ(p.selection(), selectionAfter);
      EXPECT_EQ(StoredList(registry), storedAfter);
      EXPECT_TRUE(p.screen.messages.empty());
    }
  }
  fs::remove(file);
}

TEST(Undo, AChainOfFiveChangesIsUndoneAndRedoneInOrder) {
  MemoryRegistry registry;
  Program p(registry, {"A", "B", "C", "D"}, "One");
  std::vector<Strings> states{p.list()};
  p.mainn.List1_Click(3);
  p.mainn.Command2_Click();  // A B D C
  states.push_back(p.list());
  p.mainn.DeleteURL_Click();  // D, now at 2
  states.push_back(p.list());
  p.type<FrmAdd>("E");
  p.mainn.AddAddress_Click();
  states.push_back(p.list());
  p.mainn.List1_Click(0);
  p.type<FrmEdit>("F");
  p.mainn.EditAddress_Click();
  states.push_back(p.list());
  p.mainn.DeleteAll_Click();
  states.push_back(p.list());

  for (int i = 4; i >= 0; --i) {
    p.mainn.Undo_Click();
    EXPECT_EQ(p.list(), states[static_cast<std::size_t>(i)]) << i;
    EXPECT_EQ(StoredList(registry), states[static_cast<std::size_t>(i)]) << i;
  }
  const auto stored = StoredList(registry);
  p.mainn.Undo_Click();  // nothing left: nothing happens, nothing is shown
  EXPECT_EQ(p.list(), states[0]);
  EXPECT_EQ(StoredList(registry), stored);
  for (std::size_t i = 1; i <= 5; ++i) {
    p.mainn.Redo_Click();
    EXPECT_EQ(p.list(), states[i]) << i;
  }
  p.mainn.Redo_Click();
  EXPECT_EQ(p.list(), states[5]);
  EXPECT_TRUE(p.screen.messages.empty());
}

TEST(Undo, ANewChangeEndsTheRedoSide) {
  MemoryRegistry registry;
  Program p(registry, {"A", "B"}, "One");
  p.mainn.List1_Click(1);
  p.mainn.DeleteURL_Click();
  p.mainn.Undo_Click();
  ASSERT_EQ(p.mainn.history().redoCount(), 1u);
  p.mainn.List1_Click(1);
  p.mainn.Command2_Click();
  EXPECT_EQ(p.mainn.history().redoCount(), 0u);
  p.mainn.Redo_Click();
  EXPECT_EQ(p.list(), (Strings{"B", "A"}));
}

TEST(Undo, CommandsThatChangedNothingLeaveNoStep) {
  MemoryRegistry registry;
  Program p(registry, {"A", "B"}, "One");
  p.mainn.List1_Click(0);
  p.mainn.Command2_Click();  // at the top
  p.mainn.List1().selectNone();
  p.mainn.DeleteURL_Click();  // refused: nothing selected
  p.type<FrmAdd>(" ");
  p.screen.whileOpen.push_back([](Dialog& d) { d.CloseBox_Click(); });
  p.mainn.AddAddress_Click();  // refused: blank
  p.mainn.List1_Click(1);
  p.type<FrmEdit>("B");
  p.mainn.EditAddress_Click();  // the same text
  p.mainn.FileReload_Click();   // the same list
  EXPECT_EQ(p.mainn.history().undoCount(), 0u);
  // Settings are not undone.
  p.screen.whileOpen.push_back([](Dialog& d) {
    auto& settings = dynamic_cast<FrmSettings&>(d);
    settings.Option2_Click();
    settings.Command1_Click();
  });
  p.mainn.Settings_Click();
  EXPECT_EQ(p.mainn.history().undoCount(), 0u);
}

TEST(Undo, TheSaveModeAtTheUndoDecidesWhetherTheStoreFollows) {
  MemoryRegistry registry;
  Program p(registry, {"A", "B", "C"}, "One");
  p.mainn.List1_Click(1);
  p.mainn.DeleteURL_Click();
  p.mainn.settings().SaveMode = "Two";
  p.mainn.Undo_Click();
  EXPECT_EQ(p.list(), (Strings{"A", "B", "C"}));
  EXPECT_EQ(StoredList(registry), (Strings{"A", "C"}));
  p.mainn.settings().SaveMode = "One";
  p.mainn.Redo_Click();
  p.mainn.settings().SaveMode = "";
  p.mainn.Undo_Click();
  EXPECT_EQ(StoredList(registry), (Strings{"A", "B", "C"}));
}

TEST(Undo, ARefusedSaveAllCanBeUndoneAndTheFileStays) {
  const support::TemporaryFolder folder("undo");
  const fs::path regFile = folder / "HKEY_CURRENT_USER.reg";
  {
    RegFileRegistry registry(regFile);
    Program p(registry, {"A", "B", "C"}, "Two");
    p.mainn.List1_Click(1);
    p.mainn.DeleteURL_Click();
    const std::string damaged = "WINE REGISTRY Version 2\n";
    support::WriteBytes(regFile, damaged);
    p.mainn.Command1_Click();
    EXPECT_EQ(p.screen.messages.size(), 1u);
    p.mainn.Undo_Click();  // Ctrl+Z in manual mode: only the list changes
    EXPECT_EQ(p.list(), (Strings{"A", "B", "C"}));
    EXPECT_EQ(p.selection(), 1);
    EXPECT_EQ(support::ReadBytes(regFile), damaged);
  }
}

TEST(Undo, ARefusedUndoKeepsTheUndoneListAndSaysSo) {
  MemoryRegistry registry;
  Program p(registry, {"A", "B"}, "One");
  p.mainn.List1_Click(0);
  p.mainn.DeleteURL_Click();
  registry.setFailWrites(true);
  p.mainn.Undo_Click();
  EXPECT_EQ(p.list(), (Strings{"A", "B"}));
  ASSERT_EQ(p.screen.messages.size(), 1u);
  EXPECT_NE(p.screen.messages[0].text.find("Nothing was saved"), std::string::npos);
}

TEST(Undo, AStepKeepsOnlyWhatChanged) {
  MemoryRegistry registry;
  Program p(registry, {}, "Two");
  Strings many;
  for (int i = 0; i < 100000; ++i) many.push_back("https://example.org/page/" + std::to_string(i));
  std::size_t total = 0;
  for (const std::string& s : many) total += s.size();
  p.mainn.List1().replaceAll(many);
  p.mainn.List1_Click(500);
  p.mainn.DeleteURL_Click();
  EXPECT_EQ(p.mainn.history().keptBytes(), many[500].size());
  p.mainn.List1_Click(10);
  p.mainn.Command3_Click();
  EXPECT_EQ(p.mainn.history().keptBytes(), many[500].size());
  p.mainn.DeleteAll_Click();  // a whole list, kept once
  EXPECT_EQ(p.mainn.history().keptBytes(), total);
  p.mainn.Undo_Click();  // the empty list is now the other side
  EXPECT_EQ(p.mainn.history().keptBytes(), many[500].size());
}

}  // namespace
}  // namespace tavelin
