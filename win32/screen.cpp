#include "win32/screen.h"

// After windows.h, which it builds on:
#include <cderr.h>

#include <algorithm>

#include "app/mainn.h"
#include "platform/system_function_win32.h"
#include "win32/layout.h"
#include "win32/main_window.h"
#include "win32/menus.h"

namespace tavelin::win32 {

namespace {

// Long enough for any path the file dialogs give.
constexpr std::size_t kFileNameCapacity = 32768;

}  // namespace

HWND WindowsScreen::mainHwnd() const {
  return main_ != nullptr ? main_->hwnd() : nullptr;
}

HWND WindowsScreen::ownerWindow() const {
  // A box shown from a dialog covers the dialog; once the dialog has unloaded (its window
  // goes when its handler returns) the box covers what is under it, and is modal there.
  for (auto at = dialogs_.rbegin(); at != dialogs_.rend(); ++at) {
    if ((*at)->hwnd() != nullptr && (*at)->dialog().isOpen()) return (*at)->hwnd();
  }
  return mainHwnd();
}

int WindowsScreen::runMessageBox(HWND owner, const std::wstring& text, const std::wstring& title,
                                 UINT type) {
  return MessageBoxW(owner, text.c_str(), title.c_str(), type);
}

void WindowsScreen::showMessage(const MessageBoxRequest& message) {
  const UINT icon = message.icon == MessageIcon::kQuestion ? MB_ICONQUESTION : MB_ICONEXCLAMATION;
  runMessageBox(ownerWindow(), Widen(message.text), Widen(message.title), MB_OK | icon);
}

bool WindowsScreen::askYesNo(const MessageBoxRequest& question) {
  const UINT icon =
      question.icon == MessageIcon::kExclamation ? MB_ICONEXCLAMATION : MB_ICONQUESTION;
  return runMessageBox(ownerWindow(), Widen(question.text), Widen(question.title),
                       MB_YESNO | MB_DEFBUTTON1 | icon) == IDYES;
}

bool WindowsScreen::runFileDialog(OPENFILENAMEW& dialog, bool save) {
  const auto run = platform::SystemFunction<decltype(GetOpenFileNameW)>(
      L"comdlg32.dll", save ? "GetSaveFileNameW" : "GetOpenFileNameW");
  return run != nullptr && run(&dialog) != 0;
}

DWORD WindowsScreen::fileDialogError() const {
  const auto error = platform::SystemFunction<decltype(CommDlgExtendedError)>(
      L"comdlg32.dll", "CommDlgExtendedError");
  return error != nullptr ? error() : 0;
}

std::optional<std::string> WindowsScreen::chooseFile(const FileDialogRequest& request) {
  // One filter: its name, NUL, its pattern, NUL, and the list's closing NUL.
  std::wstring filter = Widen(request.filterName);
  filter += L'\0';
  filter += Widen(request.filterPattern);
  filter += L'\0';
  filter += L'\0';
  const std::wstring title = Widen(request.title);
  std::wstring initial = Widen(request.initialName);
  std::vector<wchar_t> name(kFileNameCapacity, L'\0');

  for (int attempt = 0; attempt < 2; ++attempt) {
    std::fill(name.begin(), name.end(), L'\0');
    if (initial.size() < name.size()) initial.copy(name.data(), initial.size());
    OPENFILENAMEW dialog{};
    dialog.lStructSize = sizeof(dialog);
    dialog.hwndOwner = ownerWindow();
    dialog.lpstrFilter = filter.c_str();
    dialog.nFilterIndex = 1;
    dialog.lpstrFile = name.data();
    dialog.nMaxFile = static_cast<DWORD>(name.size());
    dialog.lpstrTitle = title.c_str();
    // The commands ask about replacing a file and test whether it exists themselves.
    dialog.Flags = OFN_EXPLORER | OFN_HIDEREADONLY | OFN_NOCHANGEDIR;
    if (runFileDialog(dialog, request.save)) return Narrow(name.data());
    // A last name the dialog cannot start from (a folder that has gone, a character the
    // file system refuses) must not keep the dialog from opening.
    if (fileDialogError() != FNERR_INVALIDFILENAME || initial.empty()) break;
    initial.clear();
  }
  return std::nullopt;
}

void WindowsScreen::runDialog(Dialog& dialog) {
  const HWND owner = ownerWindow();
  const int dpi = main_ != nullptr ? main_->dpi() : USER_DEFAULT_SCREEN_DPI;
  DialogWindow window(dialog, dpi, [this](Dialog& shown, HWND hwnd) { dialogShown(shown, hwnd); });
  dialogs_.push_back(&window);
  window.run(owner);
  std::erase(dialogs_, &window);
}

DialogWindow* WindowsScreen::dialogWindow(const Dialog& dialog) const {
  for (DialogWindow* window : dialogs_) {
    if (&window->dialog() == &dialog) return window;
  }
  return nullptr;
}

void WindowsScreen::openDialog(Dialog& dialog) {
  dialog.setOpen(true);
  runDialog(dialog);
  dialog.setOpen(false);
}

void WindowsScreen::closeDialog(Dialog& dialog) {
  dialog.setOpen(false);
  if (DialogWindow* window = dialogWindow(dialog)) window->close();
}

void WindowsScreen::dialogChanged(Dialog& dialog) {
  if (DialogWindow* window = dialogWindow(dialog)) window->redraw();
}

void WindowsScreen::focusTextSelectAll(Dialog& dialog) {
  if (DialogWindow* window = dialogWindow(dialog)) window->focusTextSelectAll();
}

UINT WindowsScreen::trackPopUpMenu(HMENU menu, POINT at, UINT flags) {
  return static_cast<UINT>(TrackPopupMenu(menu, flags, at.x, at.y, 0, mainHwnd(), nullptr));
}

void WindowsScreen::popUpOptionsMenu(PopUpPlace place) {
  if (mainHwnd() == nullptr) return;
  POINT at{};
  if (place == PopUpPlace::kAtPointer) {
    GetCursorPos(&at);
  } else {
    at = main_->listView().belowSelection();
  }
  const int menu = MenuIndex(Mainn::Menus(), Mainn::kOptionsMenu);
  if (menu < 0) return;
  // Its items answer the left button only: the right button's release that follows the
  // press must not choose one.
  const UINT chosen =
      trackPopUpMenu(GetSubMenu(main_->menuBar(), menu), at,
                     TPM_LEFTALIGN | TPM_TOPALIGN | TPM_LEFTBUTTON | TPM_RETURNCMD | TPM_NONOTIFY);
  if (chosen != 0) main_->runCommand(chosen);
}

void WindowsScreen::endProgram() {
  if (mainHwnd() != nullptr) DestroyWindow(mainHwnd());
}

void WindowsScreen::captionChanged() {
  if (mainHwnd() != nullptr) SetWindowTextW(mainHwnd(), Widen(main_->mainn().Caption()).c_str());
}

}  // namespace tavelin::win32
