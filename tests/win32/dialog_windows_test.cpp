// The real system dialogs, opened from the main window's menu and driven from inside their
// modal loops with the messages the keyboard and mouse give: each key must do what the
// dialog's rules say, each button must reach its handler, and the dialog must show what the
// core holds.
#include <windows.h>

#include <commctrl.h>
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "dialogs/address_dialog.h"
#include "dialogs/frm_about.h"
#include "dialogs/frm_settings.h"
#include "store/settings_store.h"
#include "store/typed_address_store.h"
#include "win32/layout.h"
#include "window_test_support.h"

namespace tavelin::win32::testing {
namespace {

using Rows = std::vector<std::wstring>;

class DialogWindowTest : public WindowTest {
 protected:
  void TearDown() override {
    EXPECT_EQ(window ? window->leftOpen : 0, 0) << "a dialog was still open";
    window.reset();
  }
  // Runs the menu item; `user` acts while its dialog is up.
  void InDialog(std::string_view item, std::function<void(Dialog&, HWND)> user) {
    int ran = 0;
    window->inDialog = [&](Dialog& dialog, HWND hwnd) {
      ++ran;
      user(dialog, hwnd);
    };
    ASSERT_TRUE(MenuCommand(*window, item));
    window->inDialog = nullptr;
    EXPECT_EQ(ran, 1) << item << " showed no dialog";
  }
  static HWND Item(HWND dialog, const Dialog& core, std::string_view name) {
    return GetDlgItem(dialog, ControlId(core.layout(), name));
  }
  static std::pair<DWORD, DWORD> Selection(HWND box) {
    DWORD start = 0;
    DWORD end = 0;
    SendMessageW(box, EM_GETSEL, reinterpret_cast<WPARAM>(&start), reinterpret_cast<LPARAM>(&end));
    return {start, end};
  }
  static void Click(HWND dialog, HWND button) {
    SendMessageW(button, BM_CLICK, 0, 0);
    PumpDialog(dialog);
  }
};

TEST_F(DialogWindowTest, EachDialogIsOwnedByTheMainWindowCentredOverItAtItsSize) {
  Open({"a"});
  const int dpi = window->dpi();
  for (const char* item : {"AddAddress", "EditAddress", "Settings", "FileAbout"}) {
    InDialog(item, [&](Dialog& core, HWND dialog) {
      EXPECT_EQ(WindowText(dialog), Widen(core.layout().caption)) << item;
      EXPECT_EQ(GetWindow(dialog, GW_OWNER), window->hwnd()) << item;
      EXPECT_FALSE(IsWindowEnabled(window->hwnd())) << item << ": the main window takes input";
      EXPECT_TRUE(IsWindowVisible(dialog));
      RECT client{};
      GetClientRect(dialog, &client);
      const SIZE wanted = ClientSizeInPixels(core.layout(), dpi);
      EXPECT_EQ(client.right, wanted.cx) << item;
      EXPECT_EQ(client.bottom, wanted.cy) << item;
      RECT over{};
      RECT outer{};
      GetWindowRect(window->hwnd(), &over);
      GetWindowRect(dialog, &outer);
      EXPECT_LE(std::abs((over.left + over.right) - (outer.left + outer.right)), 2) << item;
      EXPECT_LE(std::abs((over.top + over.bottom) - (outer.top + outer.bottom)), 2) << item;
      // Every control at its place, scaled to the resolution; option buttons inside their
      // frame.
      for (const ControlLayout& shape : core.layout().controls) {
        if (shape.kind == ControlKind::kTimer || shape.name == "Label2") continue;
        HWND control = Item(dialog, core, shape.name);
        ASSERT_NE(control, nullptr) << shape.name;
        PixelRect at = ToPixels(shape.rect, dpi);
        if (const ControlLayout* frame = core.layout().control(shape.parent)) {
          at.left += ToPixels(frame->rect, dpi).left;
          at.top += ToPixels(frame->rect, dpi).top;
        }
        const RECT got = ChildRect(control);
        EXPECT_EQ((PixelRect{got.left, got.top, got.right - got.left, got.bottom - got.top}), at)
            << item << " " << shape.name;
      }
      // No control answers to the ids the dialog manager gives Enter and Esc.
      EXPECT_EQ(GetDlgItem(dialog, IDOK), nullptr);
      EXPECT_EQ(GetDlgItem(dialog, IDCANCEL), nullptr);
      SendMessageW(dialog, WM_SYSCOMMAND, SC_CLOSE, 0);
    });
  }
  EXPECT_TRUE(IsWindowEnabled(window->hwnd()));
  EXPECT_EQ(window->dialogs, (std::vector<DialogKind>{DialogKind::kAdd, DialogKind::kEdit,
                                                      DialogKind::kSettings, DialogKind::kAbout}));
}

TEST_F(DialogWindowTest, AddTypesLineBreaksIgnoresEscMovesOnWithTabAndAddsOnEnter) {
  Open({"a"}, "One");
  InDialog("AddAddress", [&](Dialog& core, HWND dialog) {
    auto& add = static_cast<AddressDialog&>(core);
    HWND box = Item(dialog, core, "Text1");
    EXPECT_EQ(GetFocus(), box);
    TypeText(dialog, L"http://n.example/");
    EXPECT_EQ(add.Text1(), "http://n.example/");

    // Enter types a line break; Esc does nothing, however long the loop runs after it.
    PressKey(dialog, VK_RETURN);
    PressKey(dialog, VK_ESCAPE);
    PumpDialog(dialog);
    ASSERT_TRUE(core.isOpen()) << "Esc closed the dialog";
    EXPECT_EQ(WindowText(box), L"http://n.example/\r\n");
    TypeText(dialog, L"\x041F");
    EXPECT_EQ(add.StoredText(), "http://n.example/\r\n\xD0\x9F");

    // Tab moves on through the buttons; Esc on a button presses nothing.
    PressKey(dialog, VK_TAB);
    EXPECT_EQ(GetFocus(), Item(dialog, core, "Command1"));
    PressKey(dialog, VK_ESCAPE);
    PressKey(dialog, VK_TAB);
    EXPECT_EQ(GetFocus(), Item(dialog, core, "Command2"));
    PressKey(dialog, VK_ESCAPE);
    ASSERT_TRUE(core.isOpen());
    EXPECT_EQ(Stored(registry), (std::vector<std::string>{"a"}));
    EXPECT_EQ(WindowText(box), L"http://n.example/\r\n\x041F");

    // Back to "Add", which Enter presses now that it has the focus.
    SendMessageW(dialog, WM_NEXTDLGCTL, 1, FALSE);
    ASSERT_EQ(GetFocus(), Item(dialog, core, "Command1"));
    PressKey(dialog, VK_RETURN);
    EXPECT_FALSE(core.isOpen());
  });
  EXPECT_EQ(Stored(registry), (std::vector<std::string>{"a", "http://n.example/\r\n\xD0\x9F"}));
  EXPECT_EQ(ListRows(list), (Rows{L"a", L"http://n.example/\u00B6\u041F"}));
  EXPECT_TRUE(window->boxes.empty());
}

TEST_F(DialogWindowTest, ARefusalIsShownOverTheDialogAndSelectsTheWholeText) {
  Open({"a"});
  InDialog("AddAddress", [&](Dialog& core, HWND dialog) {
    HWND box = Item(dialog, core, "Text1");
    TypeText(dialog, L"   ");
    PressKey(dialog, VK_TAB);
    Click(dialog, Item(dialog, core, "Command1"));
    ASSERT_EQ(window->boxes.size(), 1u);
    EXPECT_EQ(window->boxes[0].text, L"Cannot add an empty address!");
    EXPECT_EQ(window->boxes[0].owner, dialog);
    ASSERT_TRUE(core.isOpen());
    EXPECT_EQ(GetFocus(), box);
    EXPECT_EQ(Selection(box), (std::pair<DWORD, DWORD>{0, 3}));
    Click(dialog, Item(dialog, core, "Command2"));  // Cancel
    EXPECT_FALSE(core.isOpen());
  });
  EXPECT_EQ(Stored(registry), (std::vector<std::string>{"a"}));
}

TEST_F(DialogWindowTest, EditShowsTheEntrySelectedAndSavesWhatIsTyped) {
  Open({"a", "b\r\nc"}, "One");
  SendMessageW(list, WM_KEYDOWN, VK_DOWN, 1);
  Pump(*window);
  ASSERT_EQ(window->mainn().List1().selectionIndex(), 1);
  InDialog("EditAddress", [&](Dialog& core, HWND dialog) {
    HWND box = Item(dialog, core, "Text1");
    EXPECT_EQ(WindowText(box), L"b\r\nc");
    EXPECT_EQ(GetFocus(), box);
    EXPECT_EQ(Selection(box), (std::pair<DWORD, DWORD>{0, 4}));
    TypeText(dialog, L"d");  // replaces the selected text
    EXPECT_EQ(static_cast<AddressDialog&>(core).Text1(), "d");
    Click(dialog, Item(dialog, core, "Command1"));
  });
  EXPECT_EQ(Stored(registry), (std::vector<std::string>{"a", "d"}));
}

TEST_F(DialogWindowTest, TheCloseBoxAndAltF4CloseADialogAndWriteNothing) {
  Open({"a"}, "One");
  InDialog("AddAddress", [&](Dialog& core, HWND dialog) {
    TypeText(dialog, L"typed");
    SendMessageW(dialog, WM_SYSCOMMAND, SC_CLOSE, 0);
    PumpDialog(dialog);
    EXPECT_FALSE(core.isOpen());
  });
  InDialog("Settings", [&](Dialog& core, HWND dialog) {
    Click(dialog, Item(dialog, core, "Option2"));
    // Alt+F4, as the keyboard gives it to the focused control.
    HeldKeys alt{VK_MENU};
    PostMessageW(GetFocus(), WM_SYSKEYDOWN, VK_F4, 1 | (1 << 29));
    PumpDialog(dialog);
    EXPECT_FALSE(core.isOpen());
  });
  // "Cancel" likewise.
  InDialog("Settings", [&](Dialog& core, HWND dialog) {
    Click(dialog, Item(dialog, core, "Option2"));
    Click(dialog, Item(dialog, core, "Command3"));
    EXPECT_FALSE(core.isOpen());
  });
  EXPECT_EQ(Stored(registry), (std::vector<std::string>{"a"}));
  EXPECT_EQ(modReg::ReadRegString(registry, kCurrentUser, kSettingsKey, kSaveModeValue), "One");
  EXPECT_TRUE(window->boxes.empty());
}

TEST_F(DialogWindowTest, SettingsShowsTheStoredOptionsAndWritesOnlyOnItsButtons) {
  Open({"a"}, "Two");
  InDialog("Settings", [&](Dialog& core, HWND dialog) {
    auto checked = [&](const char* name) {
      return SendMessageW(Item(dialog, core, name), BM_GETCHECK, 0, 0) == BST_CHECKED;
    };
    EXPECT_FALSE(checked("Option1"));
    EXPECT_TRUE(checked("Option2"));
    EXPECT_TRUE(checked("Option3"));
    EXPECT_FALSE(checked("Option4"));

    // The tab order of the layout, from the first control that takes the focus; Tab stops
    // at the chosen option of each frame, as the system's dialogs do.
    std::vector<std::string> order;
    HWND at = GetFocus();
    for (int i = 0; i < 6 && at != nullptr; ++i) {
      order.emplace_back(ControlForId(core.layout(), GetDlgCtrlID(at))->name);
      if (i == 5) break;
      PressKey(dialog, VK_TAB);
      at = GetFocus();
    }
    EXPECT_EQ(order, (std::vector<std::string>{"Option2", "Command1", "Command2", "Command3",
                                               "Option3", "Option2"}));
    // Within a frame the arrow keys move, in the layout's order, and choose.
    PressKey(dialog, VK_DOWN);
    EXPECT_EQ(GetFocus(), Item(dialog, core, "Option1"));
    EXPECT_TRUE(checked("Option1"));
    EXPECT_EQ(static_cast<FrmSettings&>(core).saveOption(), 1);

    // A click selects the option in its frame only, and reaches the core; Enter on an
    // option and Esc on a button press nothing.
    Click(dialog, Item(dialog, core, "Option1"));
    Click(dialog, Item(dialog, core, "Option4"));
    EXPECT_TRUE(checked("Option1"));
    EXPECT_FALSE(checked("Option2"));
    EXPECT_TRUE(checked("Option4"));
    EXPECT_FALSE(checked("Option3"));
    auto& settings = static_cast<FrmSettings&>(core);
    EXPECT_EQ(settings.saveOption(), 1);
    EXPECT_EQ(settings.webOption(), 4);
    SetFocus(Item(dialog, core, "Option4"));
    PressKey(dialog, VK_RETURN);
    PressKey(dialog, VK_ESCAPE);
    SetFocus(Item(dialog, core, "Command1"));
    PressKey(dialog, VK_ESCAPE);
    ASSERT_TRUE(core.isOpen());
    EXPECT_EQ(modReg::ReadRegString(registry, kCurrentUser, kSettingsKey, kSaveModeValue), "Two");

    // The tooltip of the first option.
    HWND tooltip = nullptr;
    EnumThreadWindows(
        GetCurrentThreadId(),
        [](HWND candidate, LPARAM found) {
          wchar_t name[64] = {};
          GetClassNameW(candidate, name, 64);
          if (std::wstring(name) == TOOLTIPS_CLASSW) *reinterpret_cast<HWND*>(found) = candidate;
          return TRUE;
        },
        reinterpret_cast<LPARAM>(&tooltip));
    ASSERT_NE(tooltip, nullptr);
    EXPECT_EQ(SendMessageW(tooltip, TTM_GETTOOLCOUNT, 0, 0), 1);
    wchar_t tip[256] = {};
    TTTOOLINFOW tool{};
    tool.cbSize = sizeof(tool);
    tool.hwnd = dialog;
    tool.uId = reinterpret_cast<UINT_PTR>(Item(dialog, core, "Option1"));
    tool.lpszText = tip;
    SendMessageW(tooltip, TTM_GETTEXTW, std::size(tip), reinterpret_cast<LPARAM>(&tool));
    EXPECT_EQ(Narrow(tip), core.layout().control("Option1")->tooltip);

    Click(dialog, Item(dialog, core, "Command1"));  // Save settings
    EXPECT_FALSE(core.isOpen());
  });
  EXPECT_EQ(modReg::ReadRegString(registry, kCurrentUser, kSettingsKey, kSaveModeValue), "One");
  EXPECT_EQ(modReg::ReadRegString(registry, kCurrentUser, kSettingsKey, kWindowModeValue), "Min");

  // "Default settings" shows and writes the defaults.
  InDialog("Settings", [&](Dialog& core, HWND dialog) {
    EXPECT_EQ(SendMessageW(Item(dialog, core, "Option4"), BM_GETCHECK, 0, 0), BST_CHECKED);
    Click(dialog, Item(dialog, core, "Command2"));
  });
  EXPECT_EQ(modReg::ReadRegString(registry, kCurrentUser, kSettingsKey, kWindowModeValue), "Max");
}

// Enter on each focused button of each dialog reaches that button's handler, as Space does;
// the button that has the focus is drawn as the default meanwhile, the others are not.
TEST_F(DialogWindowTest, EnterAndSpaceOnEachFocusedButtonReachItsHandler) {
  const struct {
    const char* item;
    const char* button;
    UINT key;
    const char* saveMode;             // the stored save mode, before and after unless Settings
    std::vector<std::string> stored;  // the list afterwards
    const char* savedMode;            // the stored save mode afterwards
  } rows[] = {
      // Automatic saving, so that what Add and Edit do reaches the store.
      {"AddAddress", "Command1", VK_RETURN, "One", {"a", "b", "typed"}, "One"},
      {"AddAddress", "Command2", VK_RETURN, "One", {"a", "b"}, "One"},
      {"AddAddress", "Command1", VK_SPACE, "One", {"a", "b", "typed"}, "One"},
      {"EditAddress", "Command1", VK_RETURN, "One", {"typed", "b"}, "One"},
      {"EditAddress", "Command2", VK_RETURN, "One", {"a", "b"}, "One"},
      // Manual saving, so that "Default settings" shows as a change.
      {"Settings", "Command1", VK_RETURN, "Two", {"a", "b"}, "Two"},
      {"Settings", "Command2", VK_RETURN, "Two", {"a", "b"}, "One"},
      {"Settings", "Command3", VK_RETURN, "Two", {"a", "b"}, "Two"},
      {"Settings", "Command2", VK_SPACE, "Two", {"a", "b"}, "One"},
      {"FileAbout", "Command1", VK_RETURN, "Two", {"a", "b"}, "Two"},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(std::string(row.item) + " " + row.button + (row.key == VK_SPACE ? " Space" : ""));
    DelSetting(registry, kCurrentUser, kTypedUrlsKey, "url3");
    Open({"a", "b"}, row.saveMode);
    InDialog(row.item, [&](Dialog& core, HWND dialog) {
      if (core.kind() == DialogKind::kAdd || core.kind() == DialogKind::kEdit) {
        TypeText(dialog, L"typed");
      }
      // Only About has a default button, which Enter presses wherever the focus is.
      const ControlLayout* formDefault = core.layout().defaultButton();
      EXPECT_EQ(
          SendMessageW(dialog, DM_GETDEFID, 0, 0),
          formDefault ? MAKELONG(ControlId(core.layout(), formDefault->name), DC_HASDEFID) : 0);
      HWND button = Item(dialog, core, row.button);
      SendMessageW(dialog, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(button), TRUE);
      ASSERT_EQ(GetFocus(), button);
      for (const ControlLayout& shape : core.layout().controls) {
        if (shape.kind != ControlKind::kPushButton) continue;
        const LONG style = GetWindowLongW(Item(dialog, core, shape.name), GWL_STYLE);
        EXPECT_EQ(style & BS_TYPEMASK, shape.name == row.button || shape.defaultButton
                                           ? BS_DEFPUSHBUTTON
                                           : BS_PUSHBUTTON)
            << shape.name;
      }
      PressKey(dialog, row.key);
      EXPECT_FALSE(core.isOpen());
    });
    EXPECT_EQ(Stored(registry), row.stored);
    EXPECT_EQ(modReg::ReadRegString(registry, kCurrentUser, kSettingsKey, kSaveModeValue),
              row.savedMode);
    EXPECT_TRUE(window->boxes.empty());
    window.reset();
  }
}

// A notice shown once a dialog has closed (a write that failed) is owned by the main window,
// which it covers and keeps from taking input, not by the dialog that has gone.
TEST_F(DialogWindowTest, ANoticeAfterADialogHasClosedIsOwnedByTheMainWindow) {
  Open({"a"}, "One");
  registry.setFailWrites(true);
  InDialog("AddAddress", [&](Dialog& core, HWND dialog) {
    TypeText(dialog, L"w");
    Click(dialog, Item(dialog, core, "Command1"));
    EXPECT_FALSE(core.isOpen());
  });
  InDialog("Settings", [&](Dialog& core, HWND dialog) {
    Click(dialog, Item(dialog, core, "Command2"));
    EXPECT_FALSE(core.isOpen());
  });
  ASSERT_EQ(window->boxes.size(), 2u);
  for (const RecordedBox& box : window->boxes) {
    EXPECT_EQ(box.owner, window->hwnd()) << Narrow(box.text);
    EXPECT_TRUE(box.ownerVisible);
    EXPECT_EQ(box.title, L"Error");
  }
}

TEST_F(DialogWindowTest, AboutScrollsItsCreditOnTheTimerAndEnterClosesIt) {
  Open({"a"});
  InDialog("FileAbout", [&](Dialog& core, HWND dialog) {
    HWND credit = Item(dialog, core, "Label2");
    EXPECT_EQ(WindowText(Item(dialog, core, "Label1")),
              Widen(core.layout().control("Label1")->text));
    const int dpi = window->dpi();
    EXPECT_EQ(ChildRect(credit).left, TwipsToPixels(FrmAbout::kCreditStartTwips * 1.0, dpi));
    // The 100 ms timer moves it on, step by step.
    const DWORD deadline = GetTickCount() + 3000;
    while (static_cast<FrmAbout&>(core).creditLeftTwips() <
               FrmAbout::kCreditStartTwips + 3 * FrmAbout::kCreditStepTwips &&
           GetTickCount() < deadline) {
      MsgWaitForMultipleObjects(0, nullptr, FALSE, 50, QS_ALLINPUT);
      PumpDialog(dialog);
    }
    const float left = static_cast<FrmAbout&>(core).creditLeftTwips();
    EXPECT_GE(left, FrmAbout::kCreditStartTwips + 3 * FrmAbout::kCreditStepTwips);
    EXPECT_EQ(ChildRect(credit).left, TwipsToPixels(static_cast<double>(left), dpi));

    // Esc presses nothing; "Ok" is the default button, which Enter presses.
    EXPECT_EQ(GetFocus(), Item(dialog, core, "Command1"));
    PressKey(dialog, VK_ESCAPE);
    ASSERT_TRUE(core.isOpen());
    EXPECT_EQ(SendMessageW(dialog, DM_GETDEFID, 0, 0),
              MAKELONG(ControlId(core.layout(), "Command1"), DC_HASDEFID));
    PressKey(dialog, VK_RETURN);
    EXPECT_FALSE(core.isOpen());
  });
}

}  // namespace
}  // namespace tavelin::win32::testing
