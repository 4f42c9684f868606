#include "window_test_support.h"

#include <string_view>

#include "app/mainn.h"
#include "store/registry.h"
#include "store/settings_store.h"
#include "store/typed_address_store.h"
#include "win32/menus.h"

namespace tavelin::win32::testing {

int RecordingScreen::runMessageBox(HWND owner, const std::wstring& text, const std::wstring& title,
                                   UINT type) {
  boxes.push_back({owner, owner != nullptr && IsWindowVisible(owner) != 0, text, title, type});
  if (realBoxes) return WindowsScreen::runMessageBox(owner, text, title, type);
  return boxAnswer;
}

bool RecordingScreen::runFileDialog(OPENFILENAMEW& dialog, bool save) {
  RecordedFileDialog seen;
  seen.save = save;
  seen.owner = dialog.hwndOwner;
  seen.title = dialog.lpstrTitle != nullptr ? dialog.lpstrTitle : L"";
  for (const wchar_t* at = dialog.lpstrFilter; at != nullptr && *at != L'\0';) {
    const std::wstring_view part(at);
    seen.filter.append(part);
    seen.filter += L'\0';
    at += part.size() + 1;
  }
  seen.initialName = dialog.lpstrFile;
  seen.flags = dialog.Flags;
  fileDialogs.push_back(seen);
  if (!chosenFile || chosenFile->size() >= dialog.nMaxFile) return false;
  chosenFile->copy(dialog.lpstrFile, chosenFile->size());
  dialog.lpstrFile[chosenFile->size()] = L'\0';
  return true;
}

UINT RecordingScreen::trackPopUpMenu(HMENU menu, POINT at, UINT flags) {
  popUps.push_back({menu, at, flags});
  return popUpChoice;
}

void RecordingScreen::runDialog(Dialog& dialog) {
  dialogs.push_back(dialog.kind());
  WindowsScreen::runDialog(dialog);
}

void RecordingScreen::dialogShown(Dialog& dialog, HWND window) {
  if (inDialog) inDialog(dialog, window);
  if (dialog.isOpen() && IsWindow(window)) {
    ++leftOpen;
    SendMessageW(window, WM_SYSCOMMAND, SC_CLOSE, 0);
  }
}

void PumpDialog(HWND dialog) {
  MSG message{};
  while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
    if (message.message == WM_QUIT) continue;
    if (IsWindow(dialog) && IsDialogMessageW(dialog, &message)) continue;
    TranslateMessage(&message);
    DispatchMessageW(&message);
  }
}

void PressKey(HWND dialog, UINT key) {
  HWND focus = GetFocus();
  const UINT scan = MapVirtualKeyW(key, MAPVK_VK_TO_VSC);
  PostMessageW(focus, WM_KEYDOWN, key, 1 | (static_cast<LPARAM>(scan) << 16));
  PumpDialog(dialog);
  if (IsWindow(focus)) {
    PostMessageW(focus, WM_KEYUP, key, 1 | (static_cast<LPARAM>(scan) << 16) | (3LL << 30));
  }
  PumpDialog(dialog);
}

void TypeText(HWND dialog, std::wstring_view text) {
  for (wchar_t c : text) PostMessageW(GetFocus(), WM_CHAR, c, 1);
  PumpDialog(dialog);
}

std::wstring WindowText(HWND window) {
  std::wstring text(static_cast<std::size_t>(GetWindowTextLengthW(window)) + 1, L'\0');
  text.resize(
      static_cast<std::size_t>(GetWindowTextW(window, text.data(), static_cast<int>(text.size()))));
  return text;
}

void WindowTest::Open(const std::vector<std::string>& entries, const std::string& saveMode) {
  Store(registry, entries, saveMode);
  window = std::make_unique<RecordingWindow>(registry, launcher);
  ASSERT_TRUE(window->create(SW_SHOWNORMAL));
  Pump(*window);
  list = window->control("List1");
  ASSERT_NE(list, nullptr);
}

void Pump(MainWindow& window) {
  MSG message{};
  while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
    if (message.message == WM_QUIT) continue;
    if (window.preTranslate(message)) continue;
    TranslateMessage(&message);
    DispatchMessageW(&message);
  }
}

bool MenuCommand(MainWindow& window, std::string_view item) {
  const auto menus = Mainn::Menus();
  for (std::size_t m = 0; m < menus.size(); ++m) {
    for (std::size_t i = 0; i < menus[m].items.size(); ++i) {
      if (menus[m].items[i].name == item) {
        SendMessageW(window.hwnd(), WM_COMMAND, MenuCommandId(m, i), 0);
        Pump(window);
        return true;
      }
    }
  }
  return false;
}

std::vector<std::wstring> ListRows(HWND list) {
  std::vector<std::wstring> rows;
  const int count = static_cast<int>(SendMessageW(list, LVM_GETITEMCOUNT, 0, 0));
  for (int row = 0; row < count; ++row) {
    wchar_t text[1024] = {};
    LVITEMW item{};
    item.iSubItem = 0;
    item.pszText = text;
    item.cchTextMax = static_cast<int>(std::size(text));
    SendMessageW(list, LVM_GETITEMTEXTW, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(&item));
    rows.emplace_back(text);
  }
  return rows;
}

int ListSelection(HWND list) {
  return static_cast<int>(
      SendMessageW(list, LVM_GETNEXTITEM, static_cast<WPARAM>(-1), LVNI_SELECTED));
}

int ListFocus(HWND list) {
  return static_cast<int>(
      SendMessageW(list, LVM_GETNEXTITEM, static_cast<WPARAM>(-1), LVNI_FOCUSED));
}

void Store(MemoryRegistry& registry, const std::vector<std::string>& entries,
           const std::string& saveMode) {
  for (std::size_t i = 0; i < entries.size(); ++i) {
    modReg::WriteRegString(registry, kCurrentUser, kTypedUrlsKey, "url" + std::to_string(i + 1),
                           entries[i]);
  }
  modReg::WriteRegString(registry, kCurrentUser, kSettingsKey, kSaveModeValue, saveMode);
}

std::vector<std::string> Stored(MemoryRegistry& registry) {
  std::vector<std::string> entries;
  for (int i = 1; i <= 200; ++i) {
    const auto value = registry.queryValue(kCurrentUser, kTypedUrlsKey, "url" + std::to_string(i));
    if (value) {
      entries.push_back(
          modReg::ReadRegString(registry, kCurrentUser, kTypedUrlsKey, "url" + std::to_string(i)));
    }
  }
  return entries;
}

HeldKeys::HeldKeys(std::initializer_list<int> keys) {
  GetKeyboardState(saved_);
  BYTE state[256];
  std::copy(std::begin(saved_), std::end(saved_), state);
  for (int key : keys) state[key] = 0x80;
  SetKeyboardState(state);
}

HeldKeys::~HeldKeys() {
  SetKeyboardState(saved_);
}

RECT ChildRect(HWND control) {
  RECT rect{};
  GetWindowRect(control, &rect);
  MapWindowPoints(HWND_DESKTOP, GetParent(control), reinterpret_cast<POINT*>(&rect), 2);
  return rect;
}

}  // namespace tavelin::win32::testing
