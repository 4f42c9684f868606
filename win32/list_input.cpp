#include "win32/list_input.h"

#include <windowsx.h>
// After windows.h, which it builds on:
#include <commctrl.h>

#include <cstdint>
#include <string_view>

#include "win32/layout.h"

namespace tavelin::win32 {

namespace {

// The pause after which a character typed in the list starts a new search, in milliseconds.
// Windows' own list view joins what is typed within about a second, and twice the
// double-click time is that second at the system's default double-click speed, following a
// user who set a slower or quicker one. (Wine's list view waits a fixed 450 ms; the pace
// kept here is the one Windows users know.)
std::uint32_t TypeAheadInterval() {
  return static_cast<std::uint32_t>(GetDoubleClickTime()) * 2;
}

// A character that searches the list: a printable one, not a space. Halves of a character
// outside the BMP do not count, as they do not in the Qt list either.
bool SearchesList(wchar_t character) {
  if (character >= 0xD800 && character <= 0xDFFF) return false;
  WORD type = 0;
  if (!GetStringTypeW(CT_CTYPE1, &character, 1, &type)) return false;
  return (type & C1_DEFINED) && !(type & (C1_CNTRL | C1_SPACE));
}

}  // namespace

int CurrentShiftState() {
  int state = 0;
  if (GetKeyState(VK_SHIFT) < 0) state |= shift::kShift;
  if (GetKeyState(VK_CONTROL) < 0) state |= shift::kCtrl;
  if (GetKeyState(VK_MENU) < 0) state |= shift::kAlt;
  return state;
}

void ListInput::attach(HWND list, const ControlLayout& shape) {
  shape_ = &shape;
  SetWindowSubclass(list, Proc, 1, reinterpret_cast<DWORD_PTR>(this));
}

LRESULT CALLBACK ListInput::Proc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam,
                                 UINT_PTR /*id*/, DWORD_PTR self) {
  if (message == WM_NCDESTROY) {
    RemoveWindowSubclass(hwnd, Proc, 1);
    return DefSubclassProc(hwnd, message, wParam, lParam);
  }
  return reinterpret_cast<ListInput*>(self)->handle(hwnd, message, wParam, lParam);
}

LRESULT ListInput::handle(HWND list, UINT message, WPARAM wParam, LPARAM lParam) {
  const ControlLayout& row = *shape_;
  auto mouseShift = [wParam] {
    int state = 0;
    if (wParam & MK_SHIFT) state |= shift::kShift;
    if (wParam & MK_CONTROL) state |= shift::kCtrl;
    if (GetKeyState(VK_MENU) < 0) state |= shift::kAlt;
    return state;
  };
  auto onRow = [list, lParam] {
    LVHITTESTINFO hit{};
    hit.pt = {GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)};
    return SendMessageW(list, LVM_HITTEST, 0, reinterpret_cast<LPARAM>(&hit)) != -1 &&
           (hit.flags & LVHT_ONITEM);
  };
  switch (message) {
    case WM_KEYDOWN:
      Dispatch(row.keyDown, mainn_, static_cast<int>(wParam), CurrentShiftState());
      break;  // the list does its own work with the key afterwards
    case WM_SYSKEYDOWN: {
      // Keys held with Alt (Alt+Delete among them) come as system keys.
      int state = CurrentShiftState();
      if (lParam & (1 << 29)) state |= shift::kAlt;
      Dispatch(row.keyDown, mainn_, static_cast<int>(wParam), state);
      break;
    }
    case WM_CHAR:
      // Consumed when the core searched for it, so that the view does not search as well.
      if (typeAhead(static_cast<wchar_t>(wParam))) return 0;
      break;
    case WM_RBUTTONDOWN:
    case WM_RBUTTONDBLCLK:
      // A list view would select the row under the pointer and wait for a drag; the menu
      // acts on the selection as it was.
      Dispatch(row.mouseDown, mainn_, mouse::kRight, mouseShift());
      return 0;
    case WM_CONTEXTMENU:
      // The release of the right button pops up nothing (the press did); only the
      // keyboard's request, at (-1, -1), does.
      if (GET_X_LPARAM(lParam) == -1 && GET_Y_LPARAM(lParam) == -1)
        Dispatch(row.contextMenuKey, mainn_);
      return 0;
    case WM_LBUTTONDOWN:
      Dispatch(row.mouseDown, mainn_, mouse::kLeft, mouseShift());
      if (!IsWindow(list)) return 0;
      // Below the last row a list box keeps its selection, where a list view drops it.
      if (!onRow()) {
        SetFocus(list);
        return 0;
      }
      break;
    case WM_LBUTTONDBLCLK:
      if (!onRow()) {
        SetFocus(list);
        Dispatch(row.dblClick, mainn_);
        return 0;
      }
      break;  // the list view reports it as NM_DBLCLK
    case WM_MBUTTONDOWN:
      Dispatch(row.mouseDown, mainn_, mouse::kMiddle, mouseShift());
      break;
    default:
      break;
  }
  if (!IsWindow(list)) return 0;
  return DefSubclassProc(list, message, wParam, lParam);
}

bool ListInput::typeAhead(wchar_t character) {
  if (shape_->typeAhead == nullptr || !SearchesList(character)) return false;
  // With Ctrl held a key is a command; with Ctrl and Alt together it is AltGr, which types
  // characters on many keyboards. Alt alone gives system characters, which do not come here.
  const int state = CurrentShiftState();
  if ((state & shift::kCtrl) && !(state & shift::kAlt)) return false;
  const auto time = static_cast<std::uint32_t>(GetMessageTime());
  const int match = shape_->typeAhead(mainn_, Narrow(std::wstring_view(&character, 1)), time,
                                      TypeAheadInterval());
  if (match >= 0) Dispatch(shape_->select, mainn_, match);
  return true;
}

}  // namespace tavelin::win32
