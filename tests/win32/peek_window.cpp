// What a running Tavelin shows, read from outside as a screen reader would: the screen
// rectangle of its list, then each row's text, one per line in UTF-8, and the caption of
// any dialog it has open, and whether a pop-up menu is up. Exits with 1 when no Tavelin window is
// up.
#include <windows.h>

#include <commctrl.h>

#include <cstdio>
#include <string>
#include <vector>

#include "app/mainn.h"
#include "win32/layout.h"

namespace {

struct Found {
  HWND main = nullptr;
  std::vector<std::wstring> dialogs;
  bool menu = false;
};

std::wstring Caption(HWND hwnd) {
  wchar_t caption[256] = {};
  GetWindowTextW(hwnd, caption, 256);
  return caption;
}

BOOL CALLBACK Look(HWND hwnd, LPARAM found) {
  auto& seen = *reinterpret_cast<Found*>(found);
  const std::wstring caption = Caption(hwnd);
  wchar_t windowClass[64] = {};
  GetClassNameW(hwnd, windowClass, 64);
  // A pop-up menu is a top-level window of the system's menu class.
  if (IsWindowVisible(hwnd) && std::wstring(windowClass) == L"#32768") seen.menu = true;
  if (caption == tavelin::win32::Widen(tavelin::Mainn::Layout().caption)) {
    seen.main = hwnd;
  } else if (IsWindowVisible(hwnd) && GetWindow(hwnd, GW_OWNER) != nullptr && !caption.empty()) {
    seen.dialogs.push_back(caption);
  }
  return TRUE;
}

// A row's text, asked of the list in the program's own memory.
std::wstring RowText(HWND list, HANDLE process, int row) {
  constexpr SIZE_T kChars = 2048;
  const SIZE_T size = sizeof(LVITEMW) + kChars * sizeof(wchar_t);
  auto* remote =
      static_cast<char*>(VirtualAllocEx(process, nullptr, size, MEM_COMMIT, PAGE_READWRITE));
  if (remote == nullptr) return L"?";
  LVITEMW item{};
  item.iSubItem = 0;
  item.pszText = reinterpret_cast<wchar_t*>(remote + sizeof(LVITEMW));
  item.cchTextMax = kChars;
  std::wstring text(kChars, L'\0');
  if (WriteProcessMemory(process, remote, &item, sizeof(item), nullptr)) {
    SendMessageW(list, LVM_GETITEMTEXTW, static_cast<WPARAM>(row),
                 reinterpret_cast<LPARAM>(remote));
    ReadProcessMemory(process, remote + sizeof(LVITEMW), text.data(), kChars * sizeof(wchar_t),
                      nullptr);
  }
  VirtualFreeEx(process, remote, 0, MEM_RELEASE);
  text.resize(text.find(L'\0'));
  return text;
}

}  // namespace

int wmain() {
  Found found;
  EnumWindows(Look, reinterpret_cast<LPARAM>(&found));
  if (found.main == nullptr) return 1;
  HWND list = GetDlgItem(found.main, tavelin::win32::ControlId(tavelin::Mainn::Layout(), "List1"));
  RECT at{};
  GetWindowRect(list, &at);
  std::printf("list %ld %ld %ld %ld\n", at.left, at.top, at.right - at.left, at.bottom - at.top);
  DWORD id = 0;
  GetWindowThreadProcessId(found.main, &id);
  HANDLE process =
      OpenProcess(PROCESS_VM_OPERATION | PROCESS_VM_READ | PROCESS_VM_WRITE, FALSE, id);
  const int rows = static_cast<int>(SendMessageW(list, LVM_GETITEMCOUNT, 0, 0));
  for (int row = 0; row < rows && process != nullptr; ++row) {
    std::printf("row %s\n", tavelin::win32::Narrow(RowText(list, process, row)).c_str());
  }
  if (process != nullptr) CloseHandle(process);
  for (const std::wstring& caption : found.dialogs) {
    std::printf("dialog %s\n", tavelin::win32::Narrow(caption).c_str());
  }
  if (found.menu) std::printf("menu\n");
  return 0;
}
