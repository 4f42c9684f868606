// The four dialogs and the list-file commands, driven through the recording screen: what each
// shows when it opens, what each button does, and what the user is told or asked.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "app/mainn.h"
#include "dialogs/address_dialog.h"
#include "dialogs/frm_about.h"
#include "dialogs/frm_settings.h"
#include "platform/wide_text.h"
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
  return support::StoredTexts(backend);
}

std::string Setting(RegistryBackend& backend, std::string_view name) {
  return modReg::ReadRegString(backend, kCurrentUser, kSettingsKey, name);
}

struct Program {
  explicit Program(const Strings& urls, const char* saveMode = nullptr) {
    for (std::size_t i = 0; i < urls.size(); ++i) {
      modReg::WriteRegString(registry, kCurrentUser, kTypedUrlsKey, UrlValueName(i + 1), urls[i]);
    }
    if (saveMode) {
      modReg::WriteRegString(registry, kCurrentUser, kSettingsKey, kSaveModeValue, saveMode);
    }
    mainn.Form_Load();
    mainn.Form_Shown();
  }
  Strings list() const { return mainn.List1().items(); }
  // Queues what the user does in the next dialog.
  template <class D, class F>
  void inDialog(F&& step) {
    screen.whileOpen.push_back([step](Dialog& d) { step(dynamic_cast<D&>(d)); });
  }

  MemoryRegistry registry;
  RecordingScreen screen;
  RecordingLauncher launcher;
  Mainn mainn{registry, screen, launcher};
};

// ---- Add ----

TEST(AddDialog, AppendsAsTypedAndStoresInAutomaticMode) {
  for (const char* mode : {"One", "Two", ""}) {
    SCOPED_TRACE(mode);
    Program p({"X", "Y", "Z"}, mode);
    p.mainn.List1_Click(1);
    bool emptyOnOpen = false;
    p.inDialog<FrmAdd>([&](FrmAdd& d) {
      emptyOnOpen = d.Text1().empty() && !d.Text1SelectedOnOpen();
      d.Text1_Change(" new\xE2\x80\xA9line ");  // Enter in a text box that gives U+2029
      d.Command1_Click();
    });
    p.mainn.AddAddress_Click();
    EXPECT_TRUE(emptyOnOpen);
    EXPECT_EQ(p.list(), (Strings{"X", "Y", "Z", " new\r\nline "}));
    EXPECT_EQ(p.mainn.List1().selectionIndex(), 1);
    const Strings expected = std::string(mode) == "Two" ? Strings{"X", "Y", "Z"} : p.list();
    EXPECT_EQ(StoredList(p.registry), expected);
    EXPECT_EQ(p.screen.events, (Strings{"open:FrmAdd", "close:FrmAdd"}));
  }
}

TEST(AddDialog, RefusesBlankTextAndStaysOpenWithTheTextSelected) {
  Program p({"X"});
  p.inDialog<FrmAdd>([](FrmAdd& d) {
    d.Command1_Click();
    d.Text1_Change("   ");
    d.Command1_Click();
  });
  p.mainn.AddAddress_Click();
  EXPECT_EQ(p.screen.events, (Strings{"open:FrmAdd", "message:Error:Cannot add an empty address!",
                                      "focus:FrmAdd", "message:Error:Cannot add an empty address!",
                                      "focus:FrmAdd", "close:FrmAdd"}));
  EXPECT_EQ(p.list(), Strings{"X"});
  EXPECT_EQ(StoredList(p.registry), Strings{"X"});
}

TEST(AddDialog, CancelAndTheCloseBoxChangeNothing) {
  Program p({"X"});
  p.inDialog<FrmAdd>([](FrmAdd& d) {
    d.Text1_Change("typed");
    d.Command2_Click();
  });
  p.mainn.AddAddress_Click();
  p.inDialog<FrmAdd>([](FrmAdd& d) {
    EXPECT_EQ(d.Text1(), "");  // built afresh
    d.Text1_Change("typed");
    d.CloseBox_Click();
  });
  p.mainn.AddAddress_Click();
  EXPECT_EQ(p.list(), Strings{"X"});
  EXPECT_EQ(StoredList(p.registry), Strings{"X"});
}

TEST(AddDialog, OpensOnAnEmptyListAndAddsAnAddressTwice) {
  Program p({});
  for (int i = 0; i < 2; ++i) {
    p.inDialog<FrmAdd>([](FrmAdd& d) {
      d.Text1_Change("W");
      d.Command1_Click();
    });
    p.mainn.AddAddress_Click();
  }
  EXPECT_EQ(p.list(), (Strings{"W", "W"}));
  EXPECT_EQ(StoredList(p.registry), (Strings{"W", "W"}));
}

// ---- Edit ----

TEST(EditDialog, OpensWithTheSelectedEntryAllSelectedAndSavesIt) {
  for (const char* mode : {"One", "Two"}) {
    SCOPED_TRACE(mode);
    Program p({"X", "Y", "Z"}, mode);
    p.mainn.List1_Click(1);
    p.inDialog<FrmEdit>([](FrmEdit& d) {
      EXPECT_EQ(d.Text1(), "Y");
      EXPECT_TRUE(d.Text1SelectedOnOpen());
      d.Text1_Change(" W ");
      d.Command1_Click();
    });
    p.mainn.EditAddress_Click();
    EXPECT_EQ(p.list(), (Strings{"X", " W ", "Z"}));
    EXPECT_EQ(p.mainn.List1().selectionIndex(), 1);
    const Strings expected = std::string(mode) == "Two" ? Strings{"X", "Y", "Z"} : p.list();
    EXPECT_EQ(StoredList(p.registry), expected);
  }
}

TEST(EditDialog, AnUntouchedOrRestoredBoxGivesBackTheStoredBytes) {
  struct Row {
    const char* name;
    std::string stored;
    std::vector<std::string> typed;  // successive texts of the box
    std::string saved;
  };
  const std::vector<Row> rows{
      {"untouched lone LF", "a\nb", {}, "a\nb"},
      {"typed and restored",
       "a\nb",
       {"a",
        "a\xE2\x80\xA9"
        "b"},
       "a\nb"},
      {"changed",
       "a\nb",
       {"a\xE2\x80\xA9"
        "c"},
       "a\r\nc"},
      {"lone CR typed", "x", {"x\ry"}, "x\r\ny"},
      {"unpaired surrogate kept", "\xED\xA0\x80", {}, "\xED\xA0\x80"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    Program p({row.stored});
    p.inDialog<FrmEdit>([&](FrmEdit& d) {
      for (const std::string& text : row.typed) d.Text1_Change(text);
      d.Command1_Click();
    });
    p.mainn.EditAddress_Click();
    EXPECT_EQ(p.list(), Strings{row.saved});
    EXPECT_EQ(StoredList(p.registry), Strings{row.saved});
  }
}

TEST(EditDialog, RefusesBlankTextAndCancelKeepsTheOldText) {
  Program p({"X", "Y"});
  p.mainn.List1_Click(0);
  p.inDialog<FrmEdit>([](FrmEdit& d) {
    d.Text1_Change("  ");
    d.Command1_Click();
    EXPECT_TRUE(d.isOpen());
    d.Text1_Change("changed");
    d.Command2_Click();
  });
  p.mainn.EditAddress_Click();
  EXPECT_EQ(p.screen.events, (Strings{"open:FrmEdit", "message:Error:Cannot save an empty address!",
                                      "focus:FrmEdit", "close:FrmEdit"}));
  EXPECT_EQ(p.list(), (Strings{"X", "Y"}));
  EXPECT_EQ(StoredList(p.registry), (Strings{"X", "Y"}));
}

// ---- Settings ----

TEST(SettingsDialog, ShowsWhatIsStoredNotTheCopies) {
  struct Row {
    const char* saveMode;
    const char* windowMode;
    int saveOption;
    int webOption;
  };
  // Only the exact texts select the non-default options.
  const std::vector<Row> rows{
      {nullptr, nullptr, 1, 3}, {"Two", "Min", 2, 4},   {"two", "min", 1, 3},
      {"Two ", "Max", 1, 3},    {"One", "Min", 1, 4},   {"One", "min", 1, 3},
      {" ", " ", 1, 3},         {"Two", nullptr, 2, 3}, {nullptr, "Min", 1, 4}};
  for (const Row& row : rows) {
    Program p({});
    if (row.saveMode)
      modReg::WriteRegString(p.registry, kCurrentUser, kSettingsKey, kSaveModeValue, row.saveMode);
    if (row.windowMode)
      modReg::WriteRegString(p.registry, kCurrentUser, kSettingsKey, kWindowModeValue,
                             row.windowMode);
    p.mainn.settings() = {"Two", "Min"};  // the copies do not count
    if (!row.saveMode) p.mainn.settings() = {};
    int shown[2] = {0, 0};
    p.inDialog<FrmSettings>([&](FrmSettings& d) {
      shown[0] = d.saveOption();
      shown[1] = d.webOption();
    });
    p.mainn.Settings_Click();
    EXPECT_EQ(shown[0], row.saveOption) << (row.saveMode ? row.saveMode : "(none)");
    EXPECT_EQ(shown[1], row.webOption) << (row.windowMode ? row.windowMode : "(none)");
  }
}

TEST(SettingsDialog, SaveWritesBothAndTheProgramFollowsAtOnce) {
  Program p({"A", "B"});
  p.inDialog<FrmSettings>([](FrmSettings& d) {
    d.Option2_Click();
    d.Command1_Click();
  });
  p.mainn.Settings_Click();
  EXPECT_EQ(Setting(p.registry, kSaveModeValue), "Two");
  EXPECT_EQ(Setting(p.registry, kWindowModeValue), "Max");
  EXPECT_EQ(p.mainn.settings().SaveMode, "Two");
  EXPECT_EQ(p.mainn.settings().WindowMode, "Max");
  p.mainn.List1_Click(1);
  p.mainn.Command2_Click();  // manual now: the store stays
  EXPECT_EQ(StoredList(p.registry), (Strings{"A", "B"}));
}

TEST(SettingsDialog, DefaultsAreWrittenAndShownAtOnce) {
  Program p({});
  modReg::WriteRegString(p.registry, kCurrentUser, kSettingsKey, kSaveModeValue, "Two");
  modReg::WriteRegString(p.registry, kCurrentUser, kSettingsKey, kWindowModeValue, "Min");
  p.inDialog<FrmSettings>([](FrmSettings& d) {
    EXPECT_TRUE(d.Option(2) && d.Option(4));
    d.Command2_Click();
    EXPECT_TRUE(d.Option(1) && d.Option(3));
  });
  p.mainn.Settings_Click();
  EXPECT_EQ(Setting(p.registry, kSaveModeValue), "One");
  EXPECT_EQ(Setting(p.registry, kWindowModeValue), "Max");
  EXPECT_EQ(p.mainn.settings().SaveMode, "One");
  EXPECT_EQ(p.mainn.settings().WindowMode, "Max");
  EXPECT_GE(p.screen.changes, 1);
}

TEST(SettingsDialog, CancelAndTheCloseBoxWriteNothing) {
  Program p({});
  p.inDialog<FrmSettings>([](FrmSettings& d) {
    d.Option2_Click();
    d.Option4_Click();
    d.Command3_Click();
  });
  p.mainn.Settings_Click();
  p.inDialog<FrmSettings>([](FrmSettings& d) {
    EXPECT_TRUE(d.Option(1) && d.Option(3));  // the stored values again
    d.Option2_Click();
    d.CloseBox_Click();
  });
  p.mainn.Settings_Click();
  EXPECT_FALSE(p.registry.keyExists(kCurrentUser, kSettingsKey));
  EXPECT_EQ(p.mainn.settings().SaveMode, "");
}

TEST(SettingsDialog, AFailedWriteIsToldAndTheCopiesFollowAnyway) {
  Program p({});
  p.registry.setFailWrites(true);
  p.inDialog<FrmSettings>([](FrmSettings& d) {
    d.Option2_Click();
    d.Command1_Click();
  });
  p.mainn.Settings_Click();
  EXPECT_EQ(p.mainn.settings().SaveMode, "Two");
  ASSERT_EQ(p.screen.messages.size(), 1u);
  EXPECT_NE(p.screen.messages[0].text.find("Nothing was saved"), std::string::npos);
}

// ---- About ----

TEST(AboutDialog, TheCreditScrollsInTwipsAndWraps) {
  Program p({});
  std::vector<float> seen;
  p.inDialog<FrmAbout>([&](FrmAbout& d) {
    seen.push_back(d.creditLeftTwips());
    for (int tick = 1; tick <= 53; ++tick) {
      d.Timer1_Timer();
      seen.push_back(d.creditLeftTwips());
    }
    d.Command1_Click();
  });
  p.mainn.FileAbout_Click();
  ASSERT_EQ(seen.size(), 54u);
  EXPECT_EQ(seen[0], -1560.0f);
  EXPECT_EQ(seen[1], -1440.0f);
  EXPECT_EQ(seen[51], 4560.0f);  // moves on only while strictly left of 4560
  EXPECT_EQ(seen[52], -1560.0f);
  EXPECT_EQ(seen[53], -1440.0f);
  // Reopening starts again from the start position.
  p.inDialog<FrmAbout>([](FrmAbout& d) { EXPECT_EQ(d.creditLeftTwips(), -1560.0f); });
  p.mainn.FileAbout_Click();
  EXPECT_EQ(p.screen.events,
            (Strings{"open:FrmAbout", "close:FrmAbout", "open:FrmAbout", "close:FrmAbout"}));
}

// ---- Layouts ----

// Every control of every form lies inside its client area (or its frame), and the tab order
// has no two controls on one stop.
TEST(Layouts, ControlsFitTheirFormsAndTabStopsAreDistinct) {
  for (const FormLayout* form : {&Mainn::Layout(), &FrmAdd::Layout(), &FrmEdit::Layout(),
                                 &FrmSettings::Layout(), &FrmAbout::Layout()}) {
    SCOPED_TRACE(std::string(form->name));
    std::vector<int> stops;
    for (const ControlLayout& c : form->controls) {
      if (c.tabIndex >= 0) stops.push_back(c.tabIndex);
      if (c.kind == ControlKind::kTimer || c.name == "Label2") continue;  // the credit moves
      int width = form->clientWidth;
      int height = form->clientHeight;
      if (!c.parent.empty()) {
        const ControlLayout* frame = form->control(c.parent);
        ASSERT_NE(frame, nullptr) << c.name;
        width = frame->rect.width;
        height = frame->rect.height;
      }
      EXPECT_GE(c.rect.left, 0) << c.name;
      EXPECT_LE(c.rect.left + c.rect.width, width + 15) << c.name;
      EXPECT_LE(c.rect.top + c.rect.height, height) << c.name;
    }
    std::sort(stops.begin(), stops.end());
    EXPECT_EQ(std::adjacent_find(stops.begin(), stops.end()), stops.end());
  }
  EXPECT_EQ(TwipsToPixels(7965, 96), 531);
  EXPECT_EQ(TwipsToPixels(3885, 144), 389);  // 388.5 rounds up
  EXPECT_EQ(TwipsToPixels(-1560.0, 96), -104);
}

// Only About's "Ok" is a default button (Enter presses it wherever the focus is); no form has
// a cancel button (Esc presses nothing).
TEST(Layouts, OnlyAboutHasADefaultButtonAndNoFormACancelButton) {
  const struct {
    const FormLayout* form;
    const char* defaultButton;  // "" for none
  } rows[] = {{&Mainn::Layout(), ""},
              {&FrmAdd::Layout(), ""},
              {&FrmEdit::Layout(), ""},
              {&FrmSettings::Layout(), ""},
              {&FrmAbout::Layout(), "Command1"}};
  for (const auto& row : rows) {
    SCOPED_TRACE(std::string(row.form->name));
    const ControlLayout* found = row.form->defaultButton();
    EXPECT_EQ(found ? std::string(found->name) : "", row.defaultButton);
    EXPECT_EQ(row.form->cancelButton(), nullptr);
  }
}

// A front end only calls what a control's row names: every control that takes input names a
// handler for it, and driving the forms through their rows alone does what each control is for.
const ControlLayout& Row(const FormLayout& form, std::string_view name) {
  const ControlLayout* row = form.control(name);
  EXPECT_NE(row, nullptr) << name;
  return *row;
}

TEST(Layouts, EveryControlIsWiredThroughItsRow) {
  for (const FormLayout* form : {&Mainn::Layout(), &FrmAdd::Layout(), &FrmEdit::Layout(),
                                 &FrmSettings::Layout(), &FrmAbout::Layout()}) {
    for (const ControlLayout& c : form->controls) {
      SCOPED_TRACE(std::string(form->name) + "." + std::string(c.name));
      switch (c.kind) {
        case ControlKind::kPushButton:
        case ControlKind::kPictureButton:
        case ControlKind::kOptionButton:
          EXPECT_NE(c.click, nullptr);
          EXPECT_EQ(c.kind == ControlKind::kOptionButton, c.selected != nullptr);
          break;
        case ControlKind::kTextBox:
          EXPECT_TRUE(c.change && c.value && c.selectAllOnOpen);
          break;
        case ControlKind::kTimer:
          EXPECT_NE(c.timer, nullptr);
          break;
        case ControlKind::kListBox:
          EXPECT_TRUE(c.select && c.dblClick && c.keyDown && c.mouseDown && c.contextMenuKey &&
                      c.typeAhead);
          break;
        case ControlKind::kFrame:
        case ControlKind::kLabel:
          EXPECT_EQ(c.click, nullptr);
          break;
      }
    }
  }

  Program p({"Alpha", "Beta", "Gamma"});
  Mainn& m = p.mainn;
  const FormLayout& main = Mainn::Layout();
  Row(main, "List1").select(m, 2);
  EXPECT_EQ(Row(main, "List1").typeAhead(m, "b", 0, 400), 1);
  Row(main, "Command2").click(m);  // up
  EXPECT_EQ(p.list(), (Strings{"Alpha", "Gamma", "Beta"}));
  Row(main, "Command3").click(m);  // down
  EXPECT_EQ(p.list(), (Strings{"Alpha", "Beta", "Gamma"}));
  Row(main, "List1").keyDown(m, keys::kDelete, 0);
  EXPECT_EQ(p.list(), (Strings{"Alpha", "Beta"}));

  // Add: typed text, then "Add".
  p.inDialog<FrmAdd>([](FrmAdd& d) {
    const FormLayout& form = d.layout();
    EXPECT_FALSE(Row(form, "Text1").selectAllOnOpen(d));
    Row(form, "Text1").change(d, "new\nline");
    EXPECT_EQ(Row(form, "Text1").value(d), "new\nline");  // as typed
    Row(form, "Command1").click(d);
  });
  Dispatch(Mainn::Menus()[1].items[2].handler, m);  // "Add new address"
  EXPECT_EQ(p.list(), (Strings{"Alpha", "Beta", "new\r\nline"}));

  // Edit, from a double click: "Cancel" keeps the text.
  p.inDialog<FrmEdit>([](FrmEdit& d) {
    EXPECT_TRUE(Row(d.layout(), "Text1").selectAllOnOpen(d));
    EXPECT_EQ(Row(d.layout(), "Text1").value(d), "Alpha");
    Row(d.layout(), "Command2").click(d);
  });
  Row(main, "List1").select(m, 0);
  Row(main, "List1").dblClick(m);

  // Settings: the second option of each frame, then "Save settings".
  p.inDialog<FrmSettings>([](FrmSettings& d) {
    const FormLayout& form = d.layout();
    Row(form, "Option2").click(d);
    Row(form, "Option4").click(d);
    for (const char* name : {"Option1", "Option2", "Option3", "Option4"}) {
      const std::string_view n = name;
      EXPECT_EQ(Row(form, name).selected(d), n == "Option2" || n == "Option4") << name;
    }
    Row(form, "Command1").click(d);
  });
  Dispatch(Mainn::Menus()[1].items.back().handler, m);  // "Settings"
  EXPECT_EQ(Setting(p.registry, kSaveModeValue), "Two");
  EXPECT_EQ(Setting(p.registry, kWindowModeValue), "Min");

  // About: the timer moves the credit, "Ok" closes.
  p.inDialog<FrmAbout>([](FrmAbout& d) {
    const FormLayout& form = d.layout();
    Row(form, "Timer1").timer(d);
    EXPECT_EQ(Row(form, "Label2").left(d), -1440.0);
    Row(form, "Command1").click(d);
  });
  for (const MenuItemLayout& item : Mainn::Menus()[0].items) {
    if (item.name == "FileAbout") Dispatch(item.handler, m);
  }
  EXPECT_EQ(p.screen.events,
            (Strings{"open:FrmAdd", "close:FrmAdd", "open:FrmEdit", "close:FrmEdit",
                     "open:FrmSettings", "close:FrmSettings", "open:FrmAbout", "close:FrmAbout"}));
}

// Which button a key presses: the focused push button on Enter or Space, else the form's
// default button on Enter; a text box keeps Enter for its line breaks.
TEST(Layouts, EnterAndSpacePressTheFocusedButtonAndElseOnlyADefaultOne) {
  const struct {
    const FormLayout* form;
    int key;
    const char* focused;  // "" for a window without a focused control
    const char* pressed;  // "" for none
  } rows[] = {
      {&Mainn::Layout(), keys::kReturn, "Command1", "Command1"},
      {&Mainn::Layout(), keys::kReturn, "Command3", "Command3"},  // a picture button
      {&Mainn::Layout(), keys::kSpace, "Command2", "Command2"},
      {&Mainn::Layout(), keys::kReturn, "List1", ""},
      {&Mainn::Layout(), keys::kEscape, "Command1", ""},
      {&FrmAdd::Layout(), keys::kReturn, "Command1", "Command1"},
      {&FrmAdd::Layout(), keys::kReturn, "Command2", "Command2"},
      {&FrmAdd::Layout(), keys::kReturn, "Text1", ""},
      {&FrmAdd::Layout(), keys::kEscape, "Text1", ""},
      {&FrmAdd::Layout(), keys::kSpace, "Text1", ""},
      {&FrmEdit::Layout(), keys::kReturn, "Command1", "Command1"},
      {&FrmEdit::Layout(), keys::kEscape, "Command2", ""},
      {&FrmSettings::Layout(), keys::kReturn, "Command2", "Command2"},
      {&FrmSettings::Layout(), keys::kReturn, "Option1", ""},
      {&FrmSettings::Layout(), keys::kEscape, "Command3", ""},
      {&FrmAbout::Layout(), keys::kReturn, "Command1", "Command1"},
      {&FrmAbout::Layout(), keys::kReturn, "", "Command1"},
      {&FrmAbout::Layout(), keys::kSpace, "", ""},
      {&FrmAbout::Layout(), keys::kEscape, "Command1", ""},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(std::string(row.form->name) + " key " + std::to_string(row.key) + " on " +
                 row.focused);
    const ControlLayout* focused = row.form->control(row.focused);
    ASSERT_EQ(focused == nullptr, std::string_view(row.focused).empty());
    const ControlLayout* pressed = ButtonPressedByKey(*row.form, row.key, focused);
    EXPECT_EQ(pressed ? std::string(pressed->name) : "", row.pressed);
  }
}

// ---- List files ----

class ListFiles : public ::testing::Test {
 protected:
  std::string path(const std::string& name) const { return folder_.text(name); }
  static std::string Read(const std::string& file) {
    return support::ReadBytes(platform::PathFromText(file));
  }
  static void Write(const std::string& file, const std::string& bytes) {
    support::WriteBytes(platform::PathFromText(file), bytes);
  }
  support::TemporaryFolder folder_{"dialogs"};
};

TEST_F(ListFiles, SaveAsAsksBeforeReplacingAndRemembersTheName) {
  Program p({"a", "b"}, "Two");
  p.mainn.DeleteAll_Click();  // the file holds the list as shown, not the store
  p.mainn.List1().append("shown");
  Write(path("list.txt"), "old");

  p.screen.files = {path("list.dat"), path("list.txt"), path("list.txt"), std::nullopt};
  p.screen.answers = {false, true};
  p.mainn.FileSave_Click();  // list.dat becomes list.txt, which exists: No
  EXPECT_EQ(Read(path("list.txt")), "old");
  p.mainn.FileSave_Click();  // Yes
  EXPECT_EQ(Read(path("list.txt")), "shown\r\n");
  p.mainn.FileSave_Click();  // asked again, Yes by default
  p.mainn.FileSave_Click();  // cancelled
  ASSERT_EQ(p.screen.questions.size(), 3u);
  EXPECT_EQ(p.screen.questions[0].title, "File exists");
  EXPECT_EQ(p.screen.questions[0].text, "File is already exists, would you like to replace it?");
  EXPECT_EQ(p.screen.questions[0].icon, MessageIcon::kQuestion);
  ASSERT_EQ(p.screen.fileDialogs.size(), 4u);
  const FileDialogRequest& first = p.screen.fileDialogs[0];
  EXPECT_TRUE(first.save);
  EXPECT_EQ(first.title, "Save addresses to...");
  EXPECT_EQ(first.filterName, "Text");
  EXPECT_EQ(first.filterPattern, "*.txt");
  EXPECT_EQ(first.initialName, "");
  EXPECT_EQ(p.screen.fileDialogs[1].initialName, path("list.dat"));  // the name chosen, as chosen
  EXPECT_EQ(p.mainn.lastListFileName(), path("list.txt"));
  EXPECT_EQ(p.list(), Strings{"shown"});
  EXPECT_TRUE(p.screen.messages.empty());
}

TEST_F(ListFiles, SaveAsToAFolderIsRefusedWithAMessage) {
  Program p({"a"});
  fs::create_directories(folder_ / "taken.txt");
  p.screen.files = {path("taken.txt")};
  p.mainn.FileSave_Click();
  ASSERT_EQ(p.screen.messages.size(), 1u);
  EXPECT_EQ(p.screen.messages[0].title, "Error");
  EXPECT_TRUE(p.screen.questions.empty());
}

TEST_F(ListFiles, OpenReplacesTheListAndRefusesWhatItCannotRead) {
  Write(path("in.txt"), "x,y\r\n\r\n\"q\"\r\nx,y\r\n");
  Write(path("in.csv"), "z\r\n");
  for (const char* mode : {"One", "Two"}) {
    SCOPED_TRACE(mode);
    const bool manual = std::string(mode) == "Two";
    Program p({"old"}, mode);
    p.screen.files = {path("missing.dat"), path("in.csv"), path("in.txt"), std::nullopt};
    p.mainn.FileOpen_Click();
    p.mainn.FileOpen_Click();
    EXPECT_EQ(p.list(), Strings{"old"});
    p.mainn.FileOpen_Click();
    EXPECT_EQ(p.list(), (Strings{"x,y", "q", "x,y"}));
    EXPECT_EQ(p.mainn.List1().selectionIndex(), -1);
    const Strings expected = manual ? Strings{"old"} : p.list();
    EXPECT_EQ(StoredList(p.registry), expected);
    p.mainn.FileOpen_Click();  // cancelled: nothing changes
    EXPECT_EQ(p.screen.messageTexts(),
              (Strings{"File doesn't exist!", "File extension is not supported!"}));
    EXPECT_EQ(p.screen.fileDialogs[0].title, "Open addresses from...");
    EXPECT_FALSE(p.screen.fileDialogs[0].save);
    EXPECT_EQ(p.screen.fileDialogs[3].initialName, path("in.txt"));
    p.mainn.GotoAddress_Click();  // nothing selected after an import
    EXPECT_EQ(p.screen.messageTexts().back(), "No address was selected.");
  }
}

}  // namespace
}  // namespace tavelin
