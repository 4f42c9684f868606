// The main window's handlers, driven as a front end drives them, through a recording screen:
// what each event does to the list, the store and the settings, and exactly what it shows.
#include <gtest/gtest.h>

#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/mainn.h"
#include "dialogs/address_dialog.h"
#include "store/typed_address_store.h"
#include "support/recording_screen.h"
#include "support/registry_memory.h"
#include "support/stored_list.h"

namespace tavelin {
namespace {

using testing::RecordingLauncher;
using testing::RecordingScreen;
using Strings = std::vector<std::string>;

using support::Numbered;
using support::ReadStoredUrls;
using support::StoreUrls;

void SetSaveMode(RegistryBackend& backend, const char* mode) {
  modReg::WriteRegString(backend, kCurrentUser, kSettingsKey, kSaveModeValue, mode);
}

// The program on a memory registry holding `urls`, started as the front end starts it.
struct Program {
  explicit Program(const std::map<int, std::string>& urls, const char* saveMode = nullptr) {
    StoreUrls(registry, urls);
    if (saveMode) SetSaveMode(registry, saveMode);
    mainn.Form_Load();
    mainn.Form_Shown();
  }
  Strings list() const { return mainn.List1().items(); }
  int selection() const { return mainn.List1().selectionIndex(); }

  MemoryRegistry registry;
  RecordingScreen screen;
  RecordingLauncher launcher;
  Mainn mainn{registry, screen, launcher};
};

const std::string kNoSelection = "message:Error:No address was selected.";

TEST(StartUp, ShowsTheStoredAddressesCompactedWithTheFirstSelected) {
  Program p({{1, "A"}, {3, "   "}, {7, " C "}, {201, "beyond"}});
  EXPECT_EQ(p.list(), (Strings{"A", " C "}));
  EXPECT_EQ(p.selection(), 0);
  std::map<int, std::string> expected = Numbered({"A", " C "});
  expected[201] = "beyond";
  EXPECT_EQ(ReadStoredUrls(p.registry), expected);
  // No settings are read into being: both copies empty, no key made.
  EXPECT_EQ(p.mainn.settings().SaveMode, "");
  EXPECT_EQ(p.mainn.settings().WindowMode, "");
  EXPECT_FALSE(p.registry.keyExists(kCurrentUser, kSettingsKey));
  EXPECT_TRUE(p.screen.events.empty());
}

TEST(StartUp, WithoutTheKeyGivesAnEmptyListAndMakesTheKey) {
  Program p({});
  EXPECT_TRUE(p.list().empty());
  EXPECT_EQ(p.selection(), -1);
  EXPECT_TRUE(p.registry.keyExists(kCurrentUser, kTypedUrlsKey));
}

TEST(StartUp, AnUnreadableStoreIsToldOnceTheWindowIsUp) {
  MemoryRegistry registry;
  StoreUrls(registry, Numbered({"A"}));
  registry.setFailReads(true);
  RecordingScreen screen;
  RecordingLauncher launcher;
  Mainn mainn(registry, screen, launcher);
  mainn.Form_Load();
  EXPECT_TRUE(screen.messages.empty());  // not before the window is shown
  mainn.Form_Shown();
  ASSERT_EQ(screen.messages.size(), 1u);
  EXPECT_EQ(screen.messages[0].title, "Error");
  EXPECT_EQ(screen.messages[0].icon, MessageIcon::kExclamation);
  EXPECT_NE(screen.messages[0].text.find("Reload URLs"), std::string::npos);
  mainn.Form_Shown();
  EXPECT_EQ(screen.messages.size(), 1u);
  registry.setFailReads(false);
  EXPECT_EQ(ReadStoredUrls(registry), Numbered({"A"}));
}

TEST(Reload, BringsBackTheStoredOrderInManualModeAndKeepsTheSettings) {
  Program p(Numbered({"A", "B"}), "Two");
  p.mainn.List1_Click(1);
  p.mainn.Command2_Click();
  ASSERT_EQ(p.list(), (Strings{"B", "A"}));
  SetSaveMode(p.registry, "One");  // changed behind the program's back
  p.mainn.FileReload_Click();
  EXPECT_EQ(p.list(), (Strings{"A", "B"}));
  EXPECT_EQ(p.selection(), 0);
  EXPECT_EQ(p.mainn.settings().SaveMode, "Two");
}

TEST(Exit, EndsTheProgramWithoutAsking) {
  Program p(Numbered({"A"}), "Two");
  p.mainn.DeleteAll_Click();
  p.mainn.FileExit_Click();
  EXPECT_EQ(p.screen.events, Strings{"end"});
  EXPECT_EQ(ReadStoredUrls(p.registry), Numbered({"A"}));
}

// The commands that need a selection, without one.
TEST(Commands, WithoutASelection) {
  struct Row {
    const char* name;
    void (Mainn::*handler)();
    Strings events;
  };
  const std::vector<Row> rows{
      {"DeleteURL", &Mainn::DeleteURL_Click, {kNoSelection}},
      {"EditAddress", &Mainn::EditAddress_Click, {kNoSelection}},
      {"GotoAddress", &Mainn::GotoAddress_Click, {kNoSelection}},
      {"MoveUp", &Mainn::Command2_Click, {}},
      {"MoveDown", &Mainn::Command3_Click, {}},
      {"DoubleClick", &Mainn::List1_DblClick, {}},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    Program p(Numbered({"A", "B"}));
    p.mainn.List1().selectNone();
    (p.mainn.*row.handler)();
    EXPECT_EQ(p.screen.events, row.events);
    EXPECT_EQ(p.list(), (Strings{"A", "B"}));
    EXPECT_EQ(p.selection(), -1);
    EXPECT_TRUE(p.launcher.launches.empty());
  }
}

TEST(Commands, ArrowButtonsFollowTheSelectionAndTheSaveMode) {
  for (const char* mode : {"One", "Two", "two"}) {
    SCOPED_TRACE(mode);
    Program p(Numbered({"X", "Y", "Z"}), mode);
    const bool manual = std::string(mode) == "Two";
    p.mainn.List1_Click(1);
    p.mainn.Command2_Click();
    EXPECT_EQ(p.list(), (Strings{"Y", "X", "Z"}));
    EXPECT_EQ(p.selection(), 0);
    p.mainn.Command2_Click();  // at the top: nothing
    p.mainn.List1_Click(1);
    p.mainn.Command3_Click();
    EXPECT_EQ(p.list(), (Strings{"Y", "Z", "X"}));
    EXPECT_EQ(p.selection(), 2);
    p.mainn.Command3_Click();  // at the bottom: nothing
    EXPECT_EQ(p.list(), (Strings{"Y", "Z", "X"}));
    EXPECT_EQ(ReadStoredUrls(p.registry), Numbered(manual ? Strings{"X", "Y", "Z"} : p.list()));
    EXPECT_TRUE(p.screen.events.empty());
  }
}

TEST(Commands, SaveAllChangesWritesInEitherModeAndReadsBack) {
  Program p(Numbered({"A", "B", "C"}), "Two");
  p.mainn.List1_Click(1);
  p.mainn.DeleteURL_Click();
  EXPECT_EQ(p.selection(), -1);
  EXPECT_EQ(ReadStoredUrls(p.registry), Numbered({"A", "B", "C"}));
  p.mainn.Command1_Click();
  EXPECT_EQ(p.list(), (Strings{"A", "C"}));
  EXPECT_EQ(p.selection(), 0);
  EXPECT_EQ(ReadStoredUrls(p.registry), Numbered({"A", "C"}));

  p.mainn.DeleteAll_Click();
  EXPECT_EQ(ReadStoredUrls(p.registry), Numbered({"A", "C"}));
  p.mainn.Command1_Click();
  EXPECT_TRUE(ReadStoredUrls(p.registry).empty());
  EXPECT_TRUE(p.screen.events.empty());
}

// Another program wrote the list after the window read it: the user is asked, as a
// question over the window, before its list replaces what the other program stored.
TEST(Commands, AChangeByAnotherProgramIsReplacedOnlyOnYes) {
  for (const bool yes : {false, true}) {
    SCOPED_TRACE(yes ? "Yes" : "No");
    Program p({{1, "A"}, {2, "B"}});
    modReg::WriteRegString(p.registry, kCurrentUser, kTypedUrlsKey, "url3", "theirs");
    p.screen.answers = {yes};
    p.mainn.DeleteURL_Click();
    ASSERT_EQ(p.screen.questions.size(), 1u);
    EXPECT_EQ(p.screen.questions[0].title, "Tavelin");
    EXPECT_EQ(p.screen.questions[0].text,
              "The typed addresses were changed by another program since Tavelin read them. "
              "Replace them with the list shown here?");
    EXPECT_EQ(p.screen.questions[0].icon, MessageIcon::kQuestion);
    EXPECT_TRUE(p.screen.messages.empty());
    EXPECT_EQ(p.list(), (Strings{"B"}));
    EXPECT_EQ(ReadStoredUrls(p.registry), yes ? Numbered({"B"}) : Numbered({"A", "B", "theirs"}));
  }
}

TEST(ListKeys, OnlyDeleteDeletesWhateverTheModifiers) {
  for (int modifiers : {0, shift::kShift, shift::kCtrl, shift::kAlt}) {
    SCOPED_TRACE(modifiers);
    Program p(Numbered({"X", "Y", "Z"}));
    p.mainn.List1_Click(1);
    for (int other : {int{'A'}, 0x26 /* up */, 0x28 /* down */, keys::kF5, 0x0D /* Enter */}) {
      p.mainn.List1_KeyDown(other, modifiers);
    }
    EXPECT_EQ(p.list().size(), 3u);
    p.mainn.List1_KeyDown(keys::kDelete, modifiers);
    EXPECT_EQ(p.list(), (Strings{"X", "Z"}));
    EXPECT_EQ(p.selection(), 0);
    EXPECT_EQ(ReadStoredUrls(p.registry), Numbered({"X", "Z"}));
    EXPECT_TRUE(p.screen.events.empty());
  }
}

TEST(ListKeys, WithoutASelectionOnlyDeleteSaysSo) {
  Program p({});
  p.mainn.List1_KeyDown('A', 0);
  p.mainn.List1_KeyDown(0x28, 0);
  EXPECT_TRUE(p.screen.events.empty());
  p.mainn.List1_KeyDown(keys::kDelete, shift::kCtrl);
  EXPECT_EQ(p.screen.events, Strings{kNoSelection});
}

// A click or key that would leave the list without a selection (Ctrl+click or Ctrl+Space on
// the selected entry) leaves it as it was; only a command empties the selection.
TEST(ListMouse, NoClickOrKeyLeavesAListWithoutItsSelection) {
  Program p(Numbered({"X", "Y", "Z"}), "Two");
  p.mainn.List1_Click(1);
  p.mainn.List1_Click(-1);
  EXPECT_EQ(p.selection(), 1);
  p.mainn.List1_Click(2);
  EXPECT_EQ(p.selection(), 2);
  p.mainn.DeleteURL_Click();  // manual mode: nothing selected afterwards
  EXPECT_EQ(p.selection(), -1);
  p.mainn.List1_Click(-1);
  EXPECT_EQ(p.selection(), -1);
  p.mainn.List1_Click(0);
  EXPECT_EQ(p.selection(), 0);

  Program empty({});
  empty.mainn.List1_Click(-1);
  EXPECT_EQ(empty.selection(), -1);
}

// Type-ahead: which entry a typed prefix selects, from the selection on.
TEST(ListKeys, TypeAheadSelectsTheNextEntryThatBeginsWithWhatWasTyped) {
  const Strings entries{"http://a.example/", "Beta",      "bravo", "alpha",
                        "\xC3\x84rger",      "\xD0\x96uk"};
  const struct {
    const char* what;
    int selection;
    const char* prefix;
    int expected;
  } rows[] = {
      {"the next entry after the selected one", 1, "b", 2},
      {"wrapping round past the end", 2, "b", 1},
      {"wrapping round to the first", 3, "h", 0},
      {"the selected one when no other begins with it", 0, "h", 0},
      {"from the first when nothing is selected", -1, "b", 1},
      {"a prefix typed quickly keeps the selected one", 1, "be", 1},
      {"a prefix typed quickly moves on when it must", 1, "br", 2},
      {"a prefix typed quickly wraps round", 2, "BE", 1},
      {"a whole entry as the prefix", 0, "alpha", 3},
      {"letter case is ignored", 0, "BRAVO", 2},
      {"letter case outside ASCII too", 0, "\xC3\xA4r", 4},
      {"Cyrillic", 0, "\xD0\xB6", 5},
      {"no entry begins with it", 0, "x", -1},
      {"no entry begins with the longer prefix", 1, "bz", -1},
      {"a prefix longer than every entry", 1, "betamax", -1},
      {"nothing typed", 1, "", -1},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.what);
    EXPECT_EQ(TypeAheadMatch(entries, row.selection, row.prefix), row.expected);
  }
  EXPECT_EQ(TypeAheadMatch({}, -1, "a"), -1);

  // The window asks with its own list and selection.
  Program p(Numbered({"one", "two", "three"}));
  p.mainn.List1_Click(1);
  EXPECT_EQ(p.mainn.List1_TypeAheadMatch("t"), 2);
  EXPECT_EQ(p.mainn.List1_TypeAheadMatch("tw"), 1);
}

// Type-ahead's prefix: a character typed quickly after the one before extends it, one typed
// after a pause (the platform's interval or longer) starts a new one, across the wrap-round of
// the key events' clock too. Each step selects what it finds, as the front end does.
TEST(ListKeys, ACharacterTypedQuicklyExtendsThePrefixAndAPauseStartsANewOne) {
  const Strings entries{"http://a.example/", "Beta", "bravo", "alpha", "beach"};
  const struct {
    const char* what;
    const char* typed;
    std::uint32_t since;  // milliseconds since the character before
    std::uint32_t interval;
    const char* prefix;
    int found;
  } steps[] = {
      {"the first character", "b", 0, 400, "b", 1},
      {"a quick second one extends the prefix", "r", 100, 400, "br", 2},
      {"just within the interval", "a", 399, 400, "bra", 2},
      {"after the interval a new prefix starts", "b", 400, 400, "b", 4},
      {"the same letter again after a pause moves on", "b", 1000, 400, "b", 1},
      {"the same letter typed quickly searches for both", "b", 50, 400, "bb", -1},
      {"a pause after a failed search", "h", 5000, 400, "h", 0},
      {"the clock wraps round between two quick ones", "t", 100, 400, "ht", 0},
      {"another platform's longer interval", "t", 600, 1000, "htt", 0},
      {"the same pause with a shorter interval", "x", 600, 400, "x", -1},
  };
  // The wrap-round comes at the eighth step.
  std::uint32_t time = 0xFFFFFFFFu - 6990;
  int selection = 0;
  TypeAhead typeAhead;
  for (const auto& step : steps) {
    SCOPED_TRACE(step.what);
    time += step.since;
    const int found = typeAhead.type(entries, selection, step.typed, time, step.interval);
    EXPECT_EQ(typeAhead.prefix(), step.prefix);
    EXPECT_EQ(found, step.found);
    if (found >= 0) selection = found;
  }
  EXPECT_LT(time, 0x10000u);  // the clock has wrapped round

  // The window keeps it for its own list and selection.
  Program p(Numbered({"one", "two", "three"}));
  EXPECT_EQ(p.mainn.List1_TypeAhead("t", 5, 400), 1);
  EXPECT_EQ(p.mainn.List1_TypeAhead("h", 10, 400), 2);
}

TEST(ListMouse, OnlyTheRightButtonPopsUpTheMenuAndTheSelectionStays) {
  Program p(Numbered({"X", "Y"}));
  p.mainn.List1_Click(1);
  p.mainn.List1_MouseDown(mouse::kLeft, 0);
  p.mainn.List1_MouseDown(mouse::kMiddle, 0);
  EXPECT_TRUE(p.screen.events.empty());
  p.mainn.List1_MouseDown(mouse::kRight, shift::kShift);
  p.mainn.List1_ContextMenuKey();
  EXPECT_EQ(p.screen.events, (Strings{"popup:pointer", "popup:selection"}));
  EXPECT_EQ(p.selection(), 1);

  Program empty({});
  empty.mainn.List1_MouseDown(mouse::kRight, 0);
  EXPECT_EQ(empty.screen.events, Strings{"popup:pointer"});
}

TEST(ListMouse, DoubleClickEditsTheSelectedEntry) {
  Program p(Numbered({"X", "Y"}));
  p.mainn.List1_Click(1);
  std::string shown;
  p.screen.whileOpen.push_back([&](Dialog& d) { shown = static_cast<AddressDialog&>(d).Text1(); });
  p.mainn.List1_DblClick();
  EXPECT_EQ(shown, "Y");
  EXPECT_EQ(p.screen.events, (Strings{"open:FrmEdit", "close:FrmEdit"}));
}

TEST(GoTo, OpensTheSelectedAddressByTheWindowMode) {
  struct Row {
    const char* windowMode;
    const char* entry;
    std::string address;
    int show;
  };
  const std::vector<Row> rows{
      {"Max", "Host/Page", "http://Host/Page", kShowMaximized},
      {"Min", " https://h/ ", "https://h/", kShowMinimized},
      {"", "h", "http://h", kShowMaximized},
      {"min", "h", "http://h", kShowMaximized},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.windowMode);
    Program p(Numbered({"first", row.entry}));
    p.mainn.settings().WindowMode = row.windowMode;
    p.mainn.List1_Click(1);
    p.mainn.GotoAddress_Click();
    ASSERT_EQ(p.launcher.launches.size(), 1u);
    EXPECT_EQ(p.launcher.launches[0].first, row.address);
    EXPECT_EQ(p.launcher.launches[0].second, row.show);
    EXPECT_EQ(p.list(), (Strings{"first", row.entry}));
    EXPECT_EQ(p.selection(), 1);
    EXPECT_TRUE(p.screen.events.empty());
  }
}

TEST(GoTo, AFailedLaunchIsTold) {
  Program p(Numbered({"h"}));
  p.launcher.outcome = {false, "No web browser was found."};
  p.mainn.GotoAddress_Click();
  EXPECT_EQ(p.screen.events, Strings{"message:Error:No web browser was found."});
}

TEST(Display, ALineBreakShowsAsOneMarkAndTheEntryStaysAsItIs) {
  EXPECT_EQ(ListDisplayText("a\r\nb\nc\rd"),
            "a\xC2\xB6"
            "b\xC2\xB6"
            "c\xC2\xB6"
            "d");
  EXPECT_EQ(ListDisplayText("\r\n\r\n"), "\xC2\xB6\xC2\xB6");
  EXPECT_EQ(ListDisplayText("plain \xE2\x82\xAC"), "plain \xE2\x82\xAC");
  Program p(Numbered({"a\r\nb"}));
  EXPECT_EQ(p.mainn.List1_DisplayText(0),
            "a\xC2\xB6"
            "b");
  EXPECT_EQ(p.list(), Strings{"a\r\nb"});
}

TEST(WindowMode, OnlyMinOpensMinimized) {
  EXPECT_EQ(WindowModeToShowCommand("Min"), kShowMinimized);
  for (const char* other : {"Max", "", "min", "Min ", "MIN", "Other"}) {
    EXPECT_EQ(WindowModeToShowCommand(other), kShowMaximized) << other;
  }
}

TEST(Menus, EveryItemHasAHandlerAndTheOptionsMenuIsThere) {
  bool options = false;
  for (const MenuLayout& menu : Mainn::Menus()) {
    options = options || menu.name == Mainn::kOptionsMenu;
    for (const MenuItemLayout& item : menu.items) {
      EXPECT_EQ(item.separator(), item.caption.empty()) << item.name;
    }
  }
  EXPECT_TRUE(options);
}

// Stores "Open hive" opens: each file name a memory registry made afresh, as prepared.
class PreparedStoreFiles : public StoreFiles {
 public:
  std::map<std::string, std::function<std::unique_ptr<RegistryBackend>()>> stores;
  std::vector<Found> found;
  std::unique_ptr<RegistryBackend> open(const std::string& file, bool readOnly) override {
    std::unique_ptr<RegistryBackend> store = stores.at(file)();
    store->setReadOnly(readOnly);
    return store;
  }
  std::vector<Found> findHives() override { return found; }
};

std::unique_ptr<RegistryBackend> MemoryStore(const std::map<int, std::string>& urls,
                                             const char* saveMode, bool failReads = false) {
  auto store = std::make_unique<MemoryRegistry>();
  StoreUrls(*store, urls);
  if (saveMode) SetSaveMode(*store, saveMode);
  store->setFailReads(failReads);
  return store;
}

struct SwitchingProgram {
  explicit SwitchingProgram(const char* saveMode) {
    StoreUrls(registry, Numbered({"a", "b"}));
    if (saveMode) SetSaveMode(registry, saveMode);
    files.found = {{"/mnt/w/Users/bob/NTUSER.DAT", "/mnt/w/Users/bob"},
                   {"/mnt/w/Users/eve/NTUSER.DAT", "/mnt/w/Users/eve"}};
    files.stores["/bob.DAT"] = [] { return MemoryStore({{2, "x"}, {5, "y"}}, "One"); };
    files.stores["/eve.DAT"] = [] { return MemoryStore({{1, "z"}}, "Two"); };
    files.stores["/bad.DAT"] = [] { return MemoryStore({{1, "z"}}, nullptr, true); };
    mainn.Form_Load();
    mainn.Form_Shown();
  }
  MemoryRegistry registry;
  RecordingScreen screen;
  RecordingLauncher launcher;
  PreparedStoreFiles files;
  Mainn mainn{registry, screen, launcher, &files};
};

TEST(OpenHive, TheWindowWorksOnTheChosenFileAsAStartUpOnItWould) {
  for (const bool readOnly : {false, true}) {
    SCOPED_TRACE(readOnly ? "read-only" : "read and write");
    SwitchingProgram p("One");
    p.mainn.DeleteURL_Click();
    ASSERT_TRUE(p.mainn.history().canUndo());
    p.screen.files.push_back("/bob.DAT");
    readOnly ? p.mainn.FileOpenHiveReadOnly_Click() : p.mainn.FileOpenHive_Click();

    ASSERT_EQ(p.screen.fileDialogs.size(), 1u);
    const FileDialogRequest& dialog = p.screen.fileDialogs[0];
    // The dialog starts at the first hive found and offers every profile.
    EXPECT_EQ(dialog.initialName, "/mnt/w/Users/bob/NTUSER.DAT");
    EXPECT_EQ(dialog.places, (Strings{"/mnt/w/Users/bob", "/mnt/w/Users/eve"}));

    EXPECT_EQ(p.mainn.List1().items(), (Strings{"x", "y"}));
    EXPECT_EQ(p.mainn.List1().selectionIndex(), 0);
    EXPECT_EQ(p.mainn.settings().SaveMode, "One");
    EXPECT_FALSE(p.mainn.history().canUndo());
    EXPECT_EQ(p.mainn.Caption(), std::string(Mainn::Layout().caption) + " - /bob.DAT" +
                                     (readOnly ? " (read-only)" : ""));
    EXPECT_EQ(p.screen.events.back(), "caption");
    // Compacted in the store only when it may be written; the old store is left as it was.
    EXPECT_EQ(ReadStoredUrls(p.mainn.backend()),
              readOnly ? (std::map<int, std::string>{{2, "x"}, {5, "y"}}) : Numbered({"x", "y"}));
    EXPECT_EQ(ReadStoredUrls(p.registry), Numbered({"b"}));
    // The next command works on the new store.
    p.mainn.DeleteURL_Click();
    EXPECT_EQ(p.mainn.List1().items(), Strings{"y"});
    EXPECT_EQ(p.screen.messages.size(), readOnly ? 1u : 0u);
  }
}

// What the screen is asked before the switch, and whether it happens: a manual-mode list
// with unsaved changes is asked about; a Cancel, a No or a store that cannot be read leaves
// the window with its store, list and undo history.
TEST(OpenHive, TheSwitchIsAskedAboutOnlyWhenUnsavedWorkWouldGo) {
  const struct {
    const char* label;
    const char* saveMode;
    bool changeFirst;
    std::deque<bool> answers;
    std::optional<std::string> file;
    Strings events;  // what the screen was asked, after the change
    bool switched;
  } cases[] = {
      {"cancelled", "One", true, {}, std::nullopt, {"open:Open hive"}, false},
      {"unsaved, kept", "Two", true, {false}, "/eve.DAT", {"question:Tavelin"}, false},
      {"unsaved, dropped",
       "Two",
       true,
       {true},
       "/eve.DAT",
       {"question:Tavelin", "open:Open hive", "caption"},
       true},
      {"manual, nothing unsaved",
       "Two",
       false,
       {},
       "/eve.DAT",
       {"open:Open hive", "caption"},
       true},
      {"automatic", "One", true, {}, "/eve.DAT", {"open:Open hive", "caption"}, true},
      {"unreadable", "One", false, {}, "/bad.DAT", {"open:Open hive", "message:Error"}, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.label);
    SwitchingProgram p(c.saveMode);
    if (c.changeFirst) p.mainn.Command3_Click();
    const Strings list = p.mainn.List1().items();
    const bool undo = p.mainn.history().canUndo();
    p.screen.answers = c.answers;
    p.screen.files = {c.file};
    p.mainn.FileOpenHive_Click();
    Strings events;
    for (const std::string& e : p.screen.events) {
      events.push_back(e.substr(0, e.find(':', e.find(':') + 1)));
    }
    EXPECT_EQ(events, c.events);
    if (c.switched) {
      EXPECT_EQ(p.mainn.List1().items(), Strings{"z"});
      EXPECT_NE(&p.mainn.backend(), &p.registry);
      continue;
    }
    EXPECT_EQ(p.mainn.List1().items(), list);
    EXPECT_EQ(p.mainn.history().canUndo(), undo);
    EXPECT_EQ(p.mainn.Caption(), Mainn::Layout().caption);
    EXPECT_EQ(&p.mainn.backend(), &p.registry);
    if (!p.screen.messages.empty()) {
      // The store's own sentence says what it is and why; the window's store is named too.
      EXPECT_NE(p.screen.messages[0].text.find(p.registry.description()), std::string::npos)
          << p.screen.messages[0].text;
    }
  }
}

}  // namespace
}  // namespace tavelin
