// The real main window, created and driven with messages as the system sends them: each event
// must reach its handler in the core, and the controls must show what the core holds.
#include <windows.h>

#include <commctrl.h>
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "app/mainn.h"
#include "store/settings_store.h"
#include "win32/layout.h"
#include "win32/menus.h"
#include "window_test_support.h"

namespace tavelin::win32::testing {
namespace {

using Rows = std::vector<std::wstring>;

class MainWindowTest : public WindowTest {
 protected:
  void TearDown() override {
    window.reset();
    Pump0();
  }
  static void Pump0() {
    MSG message{};
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&message);
  }
  // A left press and release on a row, as the mouse gives them. The release is queued first:
  // the list view waits for it (to tell a click from a drag) before it returns.
  void ClickRow(int row, UINT down = WM_LBUTTONDOWN) {
    RECT bounds{};
    bounds.left = LVIR_BOUNDS;
    ASSERT_TRUE(SendMessageW(list, LVM_GETITEMRECT, static_cast<WPARAM>(row),
                             reinterpret_cast<LPARAM>(&bounds)));
    const LPARAM at = MAKELPARAM(bounds.left + 5, (bounds.top + bounds.bottom) / 2);
    PostMessageW(list, WM_LBUTTONUP, 0, at);
    SendMessageW(list, down, MK_LBUTTON, at);
    Pump(*window);
  }
  LPARAM BelowLastRow() {
    RECT client{};
    GetClientRect(list, &client);
    return MAKELPARAM(client.right / 2, client.bottom - 3);
  }
  void Command(std::string_view item) { ASSERT_TRUE(MenuCommand(*window, item)) << item; }
  // A key pressed and released on the given control, which takes the focus first.
  void KeyOn(HWND control, WPARAM key) {
    SetFocus(control);
    PostMessageW(control, WM_KEYDOWN, key, 1);
    PostMessageW(control, WM_KEYUP, key, static_cast<LPARAM>(0xC0000001u));
    Pump(*window);
  }
  // Characters typed into the list one straight after another.
  void Type(std::wstring_view text) {
    SetFocus(list);
    for (wchar_t c : text) PostMessageW(list, WM_CHAR, c, 1);
    Pump(*window);
  }
  // A key as the keyboard gives it to the focused control, through the message loop.
  void Key(WPARAM key, UINT down = WM_KEYDOWN, LPARAM flags = 0) {
    SetFocus(list);
    PostMessageW(list, down, key, 1 | flags);
    PostMessageW(list, down == WM_SYSKEYDOWN ? WM_SYSKEYUP : WM_KEYUP, key,
                 static_cast<LPARAM>(0xC0000001u) | flags);
    Pump(*window);
  }
  void ExpectNoMessage() { EXPECT_TRUE(window->boxes.empty()) << Narrow(window->boxes[0].text); }
};

// --- Start-up ------------------------------------------------------------------------------

TEST_F(MainWindowTest, ShowsTheStoredListAsTheSystemQueriesIt) {
  Open({"http://a.example/", "  ", "https://b.example/\xD0\x9F\xD1\x80\xD0\xB8", "two\r\nlines",
        "\xF0\x9F\x98\x80 wide"});
  // The blank entry is gone; a line break shows as one pilcrow; text outside the BMP whole.
  EXPECT_EQ(ListRows(list), (Rows{L"http://a.example/", L"https://b.example/\u041F\u0440\u0438",
                                  L"two\u00B6lines", L"\U0001F600 wide"}));
  EXPECT_EQ(ListSelection(list), 0);
  EXPECT_EQ(ListFocus(list), 0);
  EXPECT_EQ(window->mainn().List1().selectionIndex(), 0);
  EXPECT_EQ(GetFocus(), list);
  EXPECT_TRUE(IsWindowVisible(window->hwnd()));
  ExpectNoMessage();
}

TEST_F(MainWindowTest, ACutTextNeverEndsInHalfACharacter) {
  Open({"ab\xF0\x9F\x98\x80"});
  wchar_t text[4] = {L'x', L'x', L'x', L'x'};
  LVITEMW item{};
  item.pszText = text;
  item.cchTextMax = 4;  // room for "ab" and half of the emoji
  SendMessageW(list, LVM_GETITEMTEXTW, 0, reinterpret_cast<LPARAM>(&item));
  EXPECT_EQ(std::wstring(item.pszText), L"ab");
}

TEST_F(MainWindowTest, StartUpMessagesComeOnceTheWindowIsVisible) {
  registry.setFailReads(true);
  window = std::make_unique<RecordingWindow>(registry, launcher);
  ASSERT_TRUE(window->create(SW_SHOWNORMAL));
  EXPECT_TRUE(window->boxes.empty());  // not before the window is up
  Pump(*window);
  ASSERT_FALSE(window->boxes.empty());
  EXPECT_EQ(window->boxes[0].title, L"Error");
  EXPECT_EQ(window->boxes[0].owner, window->hwnd());
  EXPECT_TRUE(window->boxes[0].ownerVisible);
  EXPECT_EQ(window->boxes[0].type, static_cast<UINT>(MB_OK | MB_ICONEXCLAMATION));
  const std::size_t shown = window->boxes.size();
  Pump(*window);
  EXPECT_EQ(window->boxes.size(), shown);  // once
}

TEST_F(MainWindowTest, AnEmptyStoreGivesAnEmptyListWithoutSelection) {
  Open({});
  EXPECT_EQ(SendMessageW(list, LVM_GETITEMCOUNT, 0, 0), 0);
  EXPECT_EQ(ListSelection(list), -1);
  ExpectNoMessage();
}

// --- Window, controls and layout -----------------------------------------------------------

TEST_F(MainWindowTest, FrameCaptionAndControls) {
  Open({"a"});
  const HWND hwnd = window->hwnd();
  const LONG style = GetWindowLongW(hwnd, GWL_STYLE);
  EXPECT_TRUE(style & WS_CAPTION);
  EXPECT_TRUE(style & WS_SYSMENU);
  EXPECT_TRUE(style & WS_MINIMIZEBOX);
  EXPECT_FALSE(style & WS_MAXIMIZEBOX);
  EXPECT_FALSE(style & WS_THICKFRAME);
  wchar_t caption[100] = {};
  GetWindowTextW(hwnd, caption, 100);
  EXPECT_STREQ(caption, L"" TAVELIN_EXPECTED_PROGRAM_NAME " - ByQuorin");
  EXPECT_NE(SendMessageW(hwnd, WM_GETICON, ICON_BIG, 0), 0);
  EXPECT_NE(SendMessageW(hwnd, WM_GETICON, ICON_SMALL, 0), 0);

  const LONG listStyle = GetWindowLongW(list, GWL_STYLE);
  EXPECT_EQ(listStyle & LVS_TYPEMASK, LVS_REPORT);
  for (LONG bit : {LVS_OWNERDATA, LVS_SINGLESEL, LVS_SHOWSELALWAYS, LVS_NOCOLUMNHEADER}) {
    EXPECT_TRUE(listStyle & bit) << bit;
  }
  EXPECT_FALSE(listStyle & LVS_SORTASCENDING);
  RECT client{};
  GetClientRect(list, &client);
  EXPECT_EQ(SendMessageW(list, LVM_GETCOLUMNWIDTH, 0, 0), client.right);

  wchar_t text[100] = {};
  GetWindowTextW(window->control("Command1"), text, 100);
  EXPECT_STREQ(text, L"Save all changes");
  for (const char* name : {"Command1", "Command2", "Command3"}) {
    const LONG buttonStyle = GetWindowLongW(window->control(name), GWL_STYLE);
    EXPECT_EQ(buttonStyle & BS_TYPEMASK, BS_PUSHBUTTON) << name << ": no default button";
  }
  for (const char* name : {"Command2", "Command3"}) {
    const HWND button = window->control(name);
    EXPECT_TRUE(GetWindowLongW(button, GWL_STYLE) & BS_ICON);
    const auto icon = reinterpret_cast<HICON>(SendMessageW(button, BM_GETIMAGE, IMAGE_ICON, 0));
    ICONINFO info{};
    ASSERT_TRUE(icon != nullptr && GetIconInfo(icon, &info)) << name;
    BITMAP bitmap{};
    GetObjectW(info.hbmColor, sizeof(bitmap), &bitmap);
    EXPECT_EQ(bitmap.bmWidth, 24);
    EXPECT_EQ(bitmap.bmHeight, 24);
    DeleteObject(info.hbmColor);
    DeleteObject(info.hbmMask);
    // What a screen reader says for a button without a caption.
    GetWindowTextW(button, text, 100);
    EXPECT_GT(wcslen(text), 0u);
  }
}

TEST_F(MainWindowTest, TabOrderRunsListAndTheThreeButtons) {
  Open({"a"});
  const HWND hwnd = window->hwnd();
  std::vector<HWND> order{list};
  for (int i = 0; i < 4; ++i) order.push_back(GetNextDlgTabItem(hwnd, order.back(), FALSE));
  EXPECT_EQ(order,
            (std::vector<HWND>{list, window->control("Command1"), window->control("Command2"),
                               window->control("Command3"), list}));
  // Tab through the message loop moves the focus the same way.
  SetFocus(list);
  PostMessageW(list, WM_KEYDOWN, VK_TAB, 1);
  Pump(*window);
  EXPECT_EQ(GetFocus(), window->control("Command1"));
}

struct ExpectedLayout {
  int dpi;
  SIZE client;
  RECT list, command1, command2, command3;  // left, top, right, bottom
  LONG fontHeight;
};
// Twips × dpi / 1440, rounded: worked out by hand from the window's design.
const ExpectedLayout kAt96{96,
                           {531, 259},
                           {0, 0, 529, 229},
                           {8, 232, 161, 257},
                           {280, 232, 305, 257},
                           {248, 232, 273, 257},
                           -12};
const ExpectedLayout kAt144{144,
                            {797, 389},
                            {0, 0, 794, 344},
                            {12, 348, 242, 386},
                            {420, 348, 458, 386},
                            {372, 348, 410, 386},
                            -18};

void ExpectLayout(MainWindow& window, const ExpectedLayout& expected) {
  SCOPED_TRACE("at " + std::to_string(expected.dpi) + " dpi");
  EXPECT_EQ(window.dpi(), expected.dpi);
  RECT client{};
  GetClientRect(window.hwnd(), &client);
  EXPECT_EQ(client.right, expected.client.cx);
  EXPECT_EQ(client.bottom, expected.client.cy);
  const std::pair<const char*, RECT> controls[] = {{"List1", expected.list},
                                                   {"Command1", expected.command1},
                                                   {"Command2", expected.command2},
                                                   {"Command3", expected.command3}};
  for (const auto& [name, rect] : controls) {
    const RECT actual = ChildRect(window.control(name));
    EXPECT_TRUE(EqualRect(&actual, &rect)) << name << ": " << actual.left << "," << actual.top
                                           << "," << actual.right << "," << actual.bottom;
    LOGFONTW font{};
    GetObjectW(reinterpret_cast<HFONT>(SendMessageW(window.control(name), WM_GETFONT, 0, 0)),
               sizeof(font), &font);
    EXPECT_STREQ(font.lfFaceName, L"Arial") << name;
    EXPECT_EQ(font.lfWeight, FW_BOLD) << name;
    EXPECT_EQ(font.lfHeight, expected.fontHeight) << name;
  }
}

TEST_F(MainWindowTest, PlacedInPixelsAt96DpiAndCentredOnTheScreen) {
  Open({"a"});
  ExpectLayout(*window, kAt96);
  RECT outer{};
  GetWindowRect(window->hwnd(), &outer);
  MONITORINFO monitor{};
  monitor.cbSize = sizeof(monitor);
  GetMonitorInfoW(MonitorFromWindow(window->hwnd(), MONITOR_DEFAULTTOPRIMARY), &monitor);
  const RECT& area = monitor.rcWork;
  EXPECT_NEAR(outer.left - area.left, area.right - outer.right, 1);
  EXPECT_NEAR(outer.top - area.top, area.bottom - outer.bottom, 1);
}

TEST_F(MainWindowTest, AChangeOfResolutionPlacesEveryControlAgain) {
  Open({"a", "b"});
  RECT suggested{40, 30, 40 + 800, 30 + 500};
  SendMessageW(window->hwnd(), WM_DPICHANGED, MAKEWPARAM(144, 144),
               reinterpret_cast<LPARAM>(&suggested));
  ExpectLayout(*window, kAt144);
  RECT outer{};
  GetWindowRect(window->hwnd(), &outer);
  EXPECT_EQ(outer.left, 40);
  EXPECT_EQ(outer.top, 30);
  const auto icon = reinterpret_cast<HICON>(
      SendMessageW(window->control("Command2"), BM_GETIMAGE, IMAGE_ICON, 0));
  ICONINFO info{};
  ASSERT_TRUE(GetIconInfo(icon, &info));
  BITMAP bitmap{};
  GetObjectW(info.hbmColor, sizeof(bitmap), &bitmap);
  EXPECT_EQ(bitmap.bmWidth, 36);
  DeleteObject(info.hbmColor);
  DeleteObject(info.hbmMask);

  suggested = {0, 0, 600, 400};
  SendMessageW(window->hwnd(), WM_DPICHANGED, MAKEWPARAM(96, 96),
               reinterpret_cast<LPARAM>(&suggested));
  ExpectLayout(*window, kAt96);
  EXPECT_EQ(ListRows(list), (Rows{L"a", L"b"}));
}

// The resolution the system gives this run: 96 dpi, or what the Wine prefix's LogPixels
// says when the run names it in TAVELIN_EXPECTED_DPI.
TEST_F(MainWindowTest, PlacedAtTheSystemsOwnResolution) {
  const char* named = std::getenv("TAVELIN_EXPECTED_DPI");
  const int expected = named != nullptr ? std::atoi(named) : 96;
  Open({"a"});
  ASSERT_EQ(static_cast<int>(GetDpiForWindow(window->hwnd())), expected);
  ExpectLayout(*window, expected == 144 ? kAt144 : kAt96);
}

// --- Menus and shortcut keys ---------------------------------------------------------------

TEST_F(MainWindowTest, MenuBarShowsTheCoresMenusWithTheirShortcuts) {
  Open({"a"});
  const HMENU bar = GetMenu(window->hwnd());
  const auto menus = Mainn::Menus();
  ASSERT_EQ(GetMenuItemCount(bar), static_cast<int>(menus.size()));
  for (std::size_t m = 0; m < menus.size(); ++m) {
    wchar_t text[100] = {};
    GetMenuStringW(bar, static_cast<UINT>(m), text, 100, MF_BYPOSITION);
    EXPECT_EQ(Narrow(text), menus[m].caption);
    const HMENU popUp = GetSubMenu(bar, static_cast<int>(m));
    ASSERT_EQ(GetMenuItemCount(popUp), static_cast<int>(menus[m].items.size()));
    for (std::size_t i = 0; i < menus[m].items.size(); ++i) {
      const UINT state = GetMenuState(popUp, static_cast<UINT>(i), MF_BYPOSITION);
      EXPECT_EQ((state & MF_SEPARATOR) != 0, menus[m].items[i].separator());
      if (!menus[m].items[i].separator()) {
        EXPECT_FALSE(state & (MF_GRAYED | MF_DISABLED | MF_CHECKED));
      }
    }
  }
  const HMENU file = GetSubMenu(bar, 0);
  std::vector<std::wstring> shown;
  for (int i = 0; i < 3; ++i) {
    wchar_t text[100] = {};
    GetMenuStringW(file, static_cast<UINT>(i), text, 100, MF_BYPOSITION);
    shown.emplace_back(text);
  }
  EXPECT_EQ(shown, (Rows{L"Reload URLs\tF5", L"Save list as\tCtrl+S", L"Open list\tCtrl+O"}));
}

TEST_F(MainWindowTest, ShortcutKeysWorkWithoutOpeningAMenu) {
  Open({"x", "y", "z"}, "Two");
  SendMessageW(window->control("Command3"), BM_CLICK, 0, 0);  // moved in the list only
  ASSERT_EQ(ListRows(list), (Rows{L"y", L"x", L"z"}));

  Key(VK_F5);  // Reload URLs brings back the stored order
  EXPECT_EQ(ListRows(list), (Rows{L"x", L"y", L"z"}));
  EXPECT_EQ(ListSelection(list), 0);

  {
    HeldKeys ctrl{VK_CONTROL};
    Key('S');
  }
  ASSERT_EQ(window->fileDialogs.size(), 1u);
  EXPECT_TRUE(window->fileDialogs[0].save);
  {
    HeldKeys ctrl{VK_CONTROL};
    Key('O');
  }
  ASSERT_EQ(window->fileDialogs.size(), 2u);
  EXPECT_FALSE(window->fileDialogs[1].save);

  Key('S');  // without Ctrl, a key for the list
  EXPECT_EQ(window->fileDialogs.size(), 2u);
}

TEST_F(MainWindowTest, EveryMenuCommandReachesItsHandler) {
  Open({"http://a.example/", "b"}, "One");
  Command("GotoAddress");
  ASSERT_EQ(launcher.launches.size(), 1u);
  EXPECT_EQ(launcher.launches[0].first, "http://a.example/");

  Command("AddAddress");
  Command("EditAddress");
  Command("Settings");
  Command("FileAbout");
  EXPECT_EQ(window->dialogs, (std::vector<DialogKind>{DialogKind::kAdd, DialogKind::kEdit,
                                                      DialogKind::kSettings, DialogKind::kAbout}));

  Command("DeleteURL");
  EXPECT_EQ(ListRows(list), (Rows{L"b"}));
  EXPECT_EQ(Stored(registry), (std::vector<std::string>{"b"}));
  Command("DeleteAll");
  EXPECT_TRUE(ListRows(list).empty());
  EXPECT_TRUE(Stored(registry).empty());
  Command("EditAddress");  // with nothing selected the core says so
  ASSERT_EQ(window->boxes.size(), 1u);
  EXPECT_EQ(window->boxes[0].text, L"No address was selected.");

  Command("FileExit");
  EXPECT_EQ(window->hwnd(), nullptr);
}

TEST_F(MainWindowTest, TheCloseBoxEndsTheProgramWithoutSaving) {
  Open({"x", "y"}, "Two");
  SendMessageW(window->control("Command3"), BM_CLICK, 0, 0);
  const HWND hwnd = window->hwnd();
  SendMessageW(hwnd, WM_CLOSE, 0, 0);
  EXPECT_FALSE(IsWindow(hwnd));
  EXPECT_EQ(Stored(registry), (std::vector<std::string>{"x", "y"}));
  MSG quit{};
  EXPECT_TRUE(PeekMessageW(&quit, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE));
}

// --- Buttons -------------------------------------------------------------------------------

TEST_F(MainWindowTest, ButtonsMoveAndSave) {
  Open({"x", "y", "z"}, "Two");
  SendMessageW(window->control("Command3"), BM_CLICK, 0, 0);  // down
  EXPECT_EQ(ListRows(list), (Rows{L"y", L"x", L"z"}));
  EXPECT_EQ(ListSelection(list), 1);
  EXPECT_EQ(ListFocus(list), 1);
  SendMessageW(window->control("Command3"), BM_CLICK, 0, 0);
  SendMessageW(window->control("Command2"), BM_CLICK, 0, 0);  // up
  EXPECT_EQ(ListRows(list), (Rows{L"y", L"x", L"z"}));
  EXPECT_EQ(ListSelection(list), 1);
  EXPECT_EQ(Stored(registry), (std::vector<std::string>{"x", "y", "z"}));  // manual mode

  SendMessageW(window->control("Command1"), BM_CLICK, 0, 0);  // Save all changes
  EXPECT_EQ(Stored(registry), (std::vector<std::string>{"y", "x", "z"}));
  EXPECT_EQ(ListSelection(list), 0);
  ExpectNoMessage();
}

// --- Keys ----------------------------------------------------------------------------------

// Enter and Space press the button that has the focus; Enter in the list and Esc anywhere
// press nothing (the window has no default or cancel button). The focused button is drawn as
// the default meanwhile.
TEST_F(MainWindowTest, EnterPressesTheFocusedButtonAndNothingElsewhere) {
  Open({"x", "y", "z"}, "Two");
  Key(VK_DELETE);  // manual mode: waits for "Save all changes"
  ASSERT_EQ(ListRows(list), (Rows{L"y", L"z"}));
  const std::vector<std::string> before{"x", "y", "z"};
  KeyOn(list, VK_RETURN);
  KeyOn(list, VK_ESCAPE);
  for (const char* name : {"Command1", "Command2", "Command3"}) {
    KeyOn(window->control(name), VK_ESCAPE);
    EXPECT_EQ(GetWindowLongW(window->control(name), GWL_STYLE) & BS_TYPEMASK, BS_DEFPUSHBUTTON)
        << name << " has the focus";
  }
  EXPECT_EQ(ListRows(list), (Rows{L"y", L"z"}));
  EXPECT_EQ(Stored(registry), before);

  window->mainn().List1_Click(1);
  KeyOn(window->control("Command2"), VK_RETURN);  // up
  EXPECT_EQ(ListRows(list), (Rows{L"z", L"y"}));
  KeyOn(window->control("Command3"), VK_SPACE);  // down
  EXPECT_EQ(ListRows(list), (Rows{L"y", L"z"}));
  KeyOn(window->control("Command3"), VK_RETURN);  // down, at the end: nothing
  EXPECT_EQ(Stored(registry), before);
  KeyOn(window->control("Command1"), VK_RETURN);  // Save all changes
  EXPECT_EQ(Stored(registry), (std::vector<std::string>{"y", "z"}));

  SetFocus(list);
  for (const char* name : {"Command1", "Command2", "Command3"}) {
    EXPECT_EQ(GetWindowLongW(window->control(name), GWL_STYLE) & BS_TYPEMASK, BS_PUSHBUTTON)
        << name << " has lost the focus";
  }
  ExpectNoMessage();
}

// Type-ahead: what is typed quickly selects the entry the core chooses, from the selection
// on; a pause starts a new search.
TEST_F(MainWindowTest, TypingSelectsTheEntryTheCoreChooses) {
  Open({"http://a.example/", "Beta", "bravo", "alpha", "beach"});
  const struct {
    const wchar_t* typed;  // quickly, after a pause
    int selected;
  } steps[] = {{L"b", 1}, {L"b", 2}, {L"BE", 4}, {L"x", 4}, {L"h", 0}, {L"br", 2}, {L"bb", 4}};
  for (const auto& step : steps) {
    SCOPED_TRACE(Narrow(step.typed));
    Sleep(1100);  // longer than typing waits for the next character
    Type(step.typed);
    EXPECT_EQ(window->mainn().List1().selectionIndex(), step.selected);
    EXPECT_EQ(ListSelection(list), step.selected);
  }
  ExpectNoMessage();
}

// Nothing the user does leaves the list without a selection: Ctrl+click and Ctrl+Space on the
// selected row, or the view dropping it any other way, leave it selected in view and core.
TEST_F(MainWindowTest, CtrlClickAndCtrlSpaceKeepTheSelection) {
  Open({"a", "b", "c"});
  ClickRow(1);
  ASSERT_EQ(window->mainn().List1().selectionIndex(), 1);
  RECT bounds{};
  bounds.left = LVIR_BOUNDS;
  ASSERT_TRUE(SendMessageW(list, LVM_GETITEMRECT, 1, reinterpret_cast<LPARAM>(&bounds)));
  const LPARAM at = MAKELPARAM(bounds.left + 5, (bounds.top + bounds.bottom) / 2);
  {
    HeldKeys ctrl{VK_CONTROL};
    PostMessageW(list, WM_LBUTTONUP, MK_CONTROL, at);
    SendMessageW(list, WM_LBUTTONDOWN, MK_LBUTTON | MK_CONTROL, at);
    Pump(*window);
  }
  EXPECT_EQ(window->mainn().List1().selectionIndex(), 1);
  EXPECT_EQ(ListSelection(list), 1);
  {
    HeldKeys ctrl{VK_CONTROL};
    Key(VK_SPACE);
    Type(L" ");
  }
  EXPECT_EQ(window->mainn().List1().selectionIndex(), 1);
  EXPECT_EQ(ListSelection(list), 1);
  LVITEMW none{};
  none.stateMask = LVIS_SELECTED;
  SendMessageW(list, LVM_SETITEMSTATE, 1, reinterpret_cast<LPARAM>(&none));
  Pump(*window);
  EXPECT_EQ(window->mainn().List1().selectionIndex(), 1);
  EXPECT_EQ(ListSelection(list), 1);
  ExpectNoMessage();
}

TEST_F(MainWindowTest, CtrlZUndoesADeleteAndCtrlYRedoesIt) {
  Open({"a", "b", "c"}, "One");
  Key(VK_DELETE);
  EXPECT_EQ(Stored(registry), (std::vector<std::string>{"b", "c"}));
  {
    HeldKeys ctrl{VK_CONTROL};
    Key('Z');
  }
  EXPECT_EQ(ListRows(list), (Rows{L"a", L"b", L"c"}));
  EXPECT_EQ(Stored(registry), (std::vector<std::string>{"a", "b", "c"}));
  {
    HeldKeys ctrl{VK_CONTROL};
    Key('Y');
  }
  EXPECT_EQ(ListRows(list), (Rows{L"b", L"c"}));
  EXPECT_EQ(Stored(registry), (std::vector<std::string>{"b", "c"}));
  ExpectNoMessage();
}

TEST_F(MainWindowTest, DeleteWithAnyModifierDeletesTheSelectedEntry) {
  Open({"a", "b", "c", "d", "e"}, "One");
  Key(VK_DELETE);
  EXPECT_EQ(ListRows(list), (Rows{L"b", L"c", L"d", L"e"}));
  {
    HeldKeys held{VK_SHIFT};
    Key(VK_DELETE);
  }
  {
    HeldKeys held{VK_CONTROL};
    Key(VK_DELETE);
  }
  EXPECT_EQ(ListRows(list), (Rows{L"d", L"e"}));
  // Alt+Delete comes as a system key, with the context bit set.
  {
    HeldKeys held{VK_MENU};
    Key(VK_DELETE, WM_SYSKEYDOWN, 1 << 29);
  }
  EXPECT_EQ(ListRows(list), (Rows{L"e"}));
  EXPECT_EQ(Stored(registry), (std::vector<std::string>{"e"}));
  EXPECT_EQ(ListSelection(list), 0);
  ExpectNoMessage();
}

TEST_F(MainWindowTest, DeleteWithoutSelectionSaysSoOverTheWindow) {
  Open({"a", "b"}, "Two");
  Key(VK_DELETE);  // manual mode: nothing is selected afterwards
  ASSERT_EQ(ListSelection(list), -1);
  ASSERT_EQ(window->mainn().List1().selectionIndex(), -1);
  Key(VK_DELETE);
  ASSERT_EQ(window->boxes.size(), 1u);
  EXPECT_EQ(window->boxes[0].text, L"No address was selected.");
  EXPECT_EQ(window->boxes[0].title, L"Error");
  EXPECT_EQ(window->boxes[0].type, static_cast<UINT>(MB_OK | MB_ICONEXCLAMATION));
  EXPECT_EQ(window->boxes[0].owner, window->hwnd());
  EXPECT_EQ(ListRows(list), (Rows{L"b"}));
}

TEST_F(MainWindowTest, ArrowKeysMoveTheSelectionInListAndCore) {
  Open({"a", "b", "c"});
  Key(VK_DOWN);
  EXPECT_EQ(ListSelection(list), 1);
  EXPECT_EQ(window->mainn().List1().selectionIndex(), 1);
  Key(VK_DOWN);
  Key(VK_UP);
  EXPECT_EQ(window->mainn().List1().selectionIndex(), 1);
  // After a move by a button, Down goes on from the moved entry.
  SendMessageW(window->control("Command2"), BM_CLICK, 0, 0);
  ASSERT_EQ(ListRows(list), (Rows{L"b", L"a", L"c"}));
  Key(VK_DOWN);
  EXPECT_EQ(window->mainn().List1().selectionIndex(), 1);
  Key(VK_END);
  EXPECT_EQ(window->mainn().List1().selectionIndex(), 2);
  ExpectNoMessage();
}

// --- Mouse ---------------------------------------------------------------------------------

TEST_F(MainWindowTest, RightPressPopsUpTheOptionsMenuAndSelectsNothing) {
  Open({"a", "b", "c"});
  RECT row{};
  row.left = LVIR_BOUNDS;
  SendMessageW(list, LVM_GETITEMRECT, 2, reinterpret_cast<LPARAM>(&row));
  const LPARAM onThird = MAKELPARAM(row.left + 5, (row.top + row.bottom) / 2);

  POINT pointer{};
  GetCursorPos(&pointer);
  SendMessageW(list, WM_RBUTTONDOWN, MK_RBUTTON, onThird);
  ASSERT_EQ(window->popUps.size(), 1u);
  const int options = MenuIndex(Mainn::Menus(), Mainn::kOptionsMenu);
  EXPECT_EQ(window->popUps[0].menu, GetSubMenu(GetMenu(window->hwnd()), options));
  EXPECT_EQ(window->popUps[0].at.x, pointer.x);
  EXPECT_EQ(window->popUps[0].at.y, pointer.y);
  // Its items answer the left button only (TPM_LEFTBUTTON is no bit: the absence of this one).
  EXPECT_FALSE(window->popUps[0].flags & TPM_RIGHTBUTTON);
  EXPECT_TRUE(window->popUps[0].flags & TPM_RETURNCMD);
  EXPECT_EQ(ListSelection(list), 0);
  EXPECT_EQ(window->mainn().List1().selectionIndex(), 0);

  // The release sends a context-menu request with the pointer's place: no second menu.
  SendMessageW(list, WM_RBUTTONUP, 0, onThird);
  Pump(*window);
  EXPECT_EQ(window->popUps.size(), 1u);

  // A quick second press comes as a double click, and pops the menu up too.
  SendMessageW(list, WM_RBUTTONDBLCLK, MK_RBUTTON, onThird);
  EXPECT_EQ(window->popUps.size(), 2u);

  // Left and middle presses never do.
  SendMessageW(list, WM_MBUTTONDOWN, MK_MBUTTON, onThird);
  SendMessageW(list, WM_MBUTTONUP, 0, onThird);
  ClickRow(1);
  EXPECT_EQ(window->popUps.size(), 2u);
}

TEST_F(MainWindowTest, AnItemChosenInThePopUpActsOnTheSelectionBeforeThePress) {
  Open({"a", "b", "c"}, "One");
  ClickRow(1);
  ASSERT_EQ(window->mainn().List1().selectionIndex(), 1);
  const auto menus = Mainn::Menus();
  const int options = MenuIndex(menus, Mainn::kOptionsMenu);
  for (std::size_t i = 0; i < menus[options].items.size(); ++i) {
    if (menus[options].items[i].name == "DeleteURL") {
      window->popUpChoice = MenuCommandId(static_cast<std::size_t>(options), i);
    }
  }
  SendMessageW(list, WM_RBUTTONDOWN, MK_RBUTTON, BelowLastRow());
  EXPECT_EQ(ListRows(list), (Rows{L"a", L"c"}));
  EXPECT_EQ(Stored(registry), (std::vector<std::string>{"a", "c"}));
}

TEST_F(MainWindowTest, MenuKeyPopsUpAtTheSelectionOrTheListsCorner) {
  Open({"a", "b", "c"}, "Two");
  ClickRow(2);
  SendMessageW(list, WM_CONTEXTMENU, reinterpret_cast<WPARAM>(list), MAKELPARAM(-1, -1));
  ASSERT_EQ(window->popUps.size(), 1u);
  RECT row{};
  row.left = LVIR_BOUNDS;
  SendMessageW(list, LVM_GETITEMRECT, 2, reinterpret_cast<LPARAM>(&row));
  POINT below{row.left, row.bottom};
  ClientToScreen(list, &below);
  EXPECT_EQ(window->popUps[0].at.x, below.x);
  EXPECT_EQ(window->popUps[0].at.y, below.y);
  EXPECT_EQ(window->mainn().List1().selectionIndex(), 2);

  Key(VK_DELETE);  // manual mode: no selection afterwards
  SendMessageW(list, WM_CONTEXTMENU, reinterpret_cast<WPARAM>(list), MAKELPARAM(-1, -1));
  ASSERT_EQ(window->popUps.size(), 2u);
  POINT corner{0, 0};
  ClientToScreen(list, &corner);
  EXPECT_EQ(window->popUps[1].at.x, corner.x);
  EXPECT_EQ(window->popUps[1].at.y, corner.y);
}

TEST_F(MainWindowTest, LeftClicksSelectRowsAndKeepTheSelectionBelowThem) {
  Open({"a", "b", "c"});
  ClickRow(2);
  EXPECT_EQ(window->mainn().List1().selectionIndex(), 2);
  EXPECT_EQ(ListFocus(list), 2);
  ClickRow(0);
  EXPECT_EQ(window->mainn().List1().selectionIndex(), 0);
  // Below the last row, as in a list box, the selection stays.
  PostMessageW(list, WM_LBUTTONUP, 0, BelowLastRow());
  SendMessageW(list, WM_LBUTTONDOWN, MK_LBUTTON, BelowLastRow());
  Pump(*window);
  EXPECT_EQ(window->mainn().List1().selectionIndex(), 0);
  EXPECT_EQ(ListSelection(list), 0);
}

TEST_F(MainWindowTest, DoubleClickOpensEditOnlyWithASelection) {
  Open({"a", "b"}, "Two");
  ClickRow(1);
  ClickRow(1, WM_LBUTTONDBLCLK);
  EXPECT_EQ(window->dialogs, std::vector<DialogKind>{DialogKind::kEdit});
  PostMessageW(list, WM_LBUTTONUP, 0, BelowLastRow());
  SendMessageW(list, WM_LBUTTONDBLCLK, MK_LBUTTON, BelowLastRow());
  Pump(*window);
  EXPECT_EQ(window->dialogs.size(), 2u);  // anywhere in the list, with an entry selected

  Key(VK_DELETE);  // nothing selected afterwards
  window->boxes.clear();
  PostMessageW(list, WM_LBUTTONUP, 0, BelowLastRow());
  SendMessageW(list, WM_LBUTTONDBLCLK, MK_LBUTTON, BelowLastRow());
  Pump(*window);
  EXPECT_EQ(window->dialogs.size(), 2u);
  ExpectNoMessage();
}

// --- File dialogs --------------------------------------------------------------------------

std::wstring TempFolder() {
  wchar_t path[MAX_PATH] = {};
  GetTempPathW(MAX_PATH, path);
  return path;
}

std::string ReadWhole(const std::wstring& path) {
  FILE* file = _wfopen(path.c_str(), L"rb");
  if (file == nullptr) return {};
  std::string bytes;
  char buffer[4096];
  std::size_t got = 0;
  while ((got = std::fread(buffer, 1, sizeof(buffer), file)) > 0) bytes.append(buffer, got);
  std::fclose(file);
  return bytes;
}

TEST_F(MainWindowTest, ExportAndImportThroughTheSystemsFileDialogs) {
  Open({"http://a.example/", "b \xC3\xA9"}, "One");
  const std::wstring path = TempFolder() + L"tavelin \u0441\u043F\u0438\u0441\u043E\u043A.txt";
  DeleteFileW(path.c_str());

  window->chosenFile = path;
  Command("FileSave");
  ASSERT_EQ(window->fileDialogs.size(), 1u);
  const RecordedFileDialog& save = window->fileDialogs[0];
  EXPECT_TRUE(save.save);
  EXPECT_EQ(save.owner, window->hwnd());
  EXPECT_EQ(save.title, L"Save addresses to...");
  EXPECT_EQ(save.filter, std::wstring(L"Text\0*.txt\0", 11));
  EXPECT_EQ(save.initialName, L"");
  EXPECT_FALSE(save.flags & (OFN_OVERWRITEPROMPT | OFN_FILEMUSTEXIST | OFN_PATHMUSTEXIST));
  ExpectNoMessage();
  const std::string written = ReadWhole(path);
  EXPECT_NE(written.find("http://a.example/"), std::string::npos);
  EXPECT_NE(written.find("b \xC3\xA9"), std::string::npos);

  // The same name again: the command asks before it replaces the file; No keeps it.
  window->boxAnswer = IDNO;
  Command("FileSave");
  ASSERT_EQ(window->fileDialogs.size(), 2u);
  EXPECT_EQ(window->fileDialogs[1].initialName, path);
  ASSERT_EQ(window->boxes.size(), 1u);
  EXPECT_EQ(window->boxes[0].type, static_cast<UINT>(MB_YESNO | MB_DEFBUTTON1 | MB_ICONQUESTION));
  EXPECT_EQ(window->boxes[0].owner, window->hwnd());

  {
    FILE* file = _wfopen(path.c_str(), L"wb");
    ASSERT_NE(file, nullptr);
    std::fputs("http://c.example/\r\n\xE2\x82\xAC\r\n", file);
    std::fclose(file);
  }
  Command("FileOpen");
  ASSERT_EQ(window->fileDialogs.size(), 3u);
  const RecordedFileDialog& open = window->fileDialogs[2];
  EXPECT_FALSE(open.save);
  EXPECT_EQ(open.title, L"Open addresses from...");
  EXPECT_EQ(open.filter, std::wstring(L"Text\0*.txt\0", 11));
  EXPECT_EQ(open.initialName, path);
  EXPECT_FALSE(open.flags & (OFN_OVERWRITEPROMPT | OFN_FILEMUSTEXIST | OFN_PATHMUSTEXIST));
  EXPECT_EQ(ListRows(list), (Rows{L"http://c.example/", L"\u20AC"}));
  EXPECT_EQ(Stored(registry), (std::vector<std::string>{"http://c.example/", "\xE2\x82\xAC"}));

  window->chosenFile.reset();  // cancelled
  Command("FileOpen");
  EXPECT_EQ(ListRows(list), (Rows{L"http://c.example/", L"\u20AC"}));
  EXPECT_EQ(window->boxes.size(), 1u);
  DeleteFileW(path.c_str());
}

// --- Focus and modal boxes -----------------------------------------------------------------

TEST_F(MainWindowTest, FocusComesBackWhenTheWindowIsActivatedAgain) {
  Open({"a"});
  const HWND button = window->control("Command2");
  SetFocus(button);
  SendMessageW(window->hwnd(), WM_ACTIVATE, WA_INACTIVE, 0);
  SetFocus(nullptr);
  SendMessageW(window->hwnd(), WM_ACTIVATE, WA_ACTIVE, 0);
  EXPECT_EQ(GetFocus(), button);
}

// The system's own message box, owned by the main window: while it is up the window takes
// no input, and afterwards the focus is back in the list.
HWND g_owner = nullptr;
bool g_ownerDisabled = false;
std::wstring g_boxText;
int g_ticks = 0;

BOOL CALLBACK FindBox(HWND hwnd, LPARAM found) {
  wchar_t name[32] = {};
  GetClassNameW(hwnd, name, 32);
  if (std::wstring(name) == L"#32770" && GetWindow(hwnd, GW_OWNER) == g_owner) {
    *reinterpret_cast<HWND*>(found) = hwnd;
    return FALSE;
  }
  return TRUE;
}

void CALLBACK AnswerBox(HWND, UINT, UINT_PTR timer, DWORD) {
  HWND box = nullptr;
  EnumThreadWindows(GetCurrentThreadId(), FindBox, reinterpret_cast<LPARAM>(&box));
  if (box == nullptr && ++g_ticks < 200) return;  // polled until a deadline of ten seconds
  KillTimer(nullptr, timer);
  if (box == nullptr) return;
  g_ownerDisabled = !IsWindowEnabled(g_owner);
  HWND text = GetDlgItem(box, 0xFFFF);
  wchar_t buffer[200] = {};
  if (text != nullptr) GetWindowTextW(text, buffer, 200);
  g_boxText = buffer;
  PostMessageW(box, WM_COMMAND, IDOK, 0);
}

TEST_F(MainWindowTest, TheSystemsMessageBoxIsModalOverTheWindow) {
  Open({}, "One");
  window->realBoxes = true;
  g_owner = window->hwnd();
  g_ticks = 0;
  SetTimer(nullptr, 0, 50, AnswerBox);
  Key(VK_DELETE);  // nothing selected
  ASSERT_EQ(window->boxes.size(), 1u);
  EXPECT_LT(g_ticks, 200) << "no message box owned by the main window appeared";
  EXPECT_TRUE(g_ownerDisabled);
  EXPECT_EQ(g_boxText, L"No address was selected.");
  EXPECT_TRUE(IsWindowEnabled(window->hwnd()));
  Pump(*window);
  EXPECT_EQ(GetFocus(), list);
}

}  // namespace
}  // namespace tavelin::win32::testing
