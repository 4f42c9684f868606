// Start-up probes for the Windows program under Wine: built as "tavelin" (the real main
// window on the current user's registry, as the program starts) or as "bare" (a window of
// the system's own with the same controls made by hand: the menu bar with the same items, a
// virtual list view of 200 rows, the three buttons with their font and pictures; both carry
// the program's resources and manifest). Each quits once its window is up, painted and idle;
// with --memory it first prints its resident memory (working set) in KiB.
#include <windows.h>

#include <commctrl.h>
#include <psapi.h>

#include <cstdio>
#include <cwchar>
#include <memory>

#ifdef PROBE_TAVELIN
#include "app/system_registry.h"
#include "win32/main_window.h"
#include "win32/screen.h"
#endif

namespace {

// Runs everything waiting, then once more after a short idle, as a window settled on screen.
void Settle() {
  MSG message{};
  for (int round = 0; round < 2; ++round) {
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
      TranslateMessage(&message);
      DispatchMessageW(&message);
    }
    MsgWaitForMultipleObjects(0, nullptr, FALSE, round == 0 ? 0 : 200, QS_ALLINPUT);
  }
}

// Milliseconds since the process was created.
double SinceCreation() {
  FILETIME created{}, exited{}, kernel{}, user{}, now{};
  GetProcessTimes(GetCurrentProcess(), &created, &exited, &kernel, &user);
  GetSystemTimePreciseAsFileTime(&now);
  auto ticks = [](FILETIME t) {
    return (static_cast<unsigned long long>(t.dwHighDateTime) << 32) | t.dwLowDateTime;
  };
  return static_cast<double>(ticks(now) - ticks(created)) / 1e4;
}

void PrintMemory() {
  PROCESS_MEMORY_COUNTERS_EX counters{};
  counters.cb = sizeof(counters);
  GetProcessMemoryInfo(GetCurrentProcess(), reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&counters),
                       sizeof(counters));
  std::printf("rss_kib %llu\nprivate_kib %llu\n",
              static_cast<unsigned long long>(counters.WorkingSetSize / 1024),
              static_cast<unsigned long long>(counters.PrivateUsage / 1024));
}

#ifndef PROBE_TAVELIN
wchar_t rowText[128];

LRESULT CALLBACK BareProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_NOTIFY) {
    auto* info = reinterpret_cast<NMLVDISPINFOW*>(lParam);
    if (info->hdr.code == LVN_GETDISPINFOW && (info->item.mask & LVIF_TEXT) != 0) {
      std::swprintf(rowText, 128, L"http://host%d.example/a/path/that/is/typical?x=%d",
                    info->item.iItem + 1, info->item.iItem + 1);
      info->item.pszText = rowText;
      return 0;
    }
  }
  if (message == WM_DESTROY) PostQuitMessage(0);
  return DefWindowProcW(hwnd, message, wParam, lParam);
}

// The program's two menus, item for item, with their shortcut texts.
HMENU BareMenuBar() {
  HMENU bar = CreateMenu();
  const wchar_t* const file[] = {L"Reload URLs\tF5",
                                 L"Save list as\tCtrl+S",
                                 L"Open list\tCtrl+O",
                                 nullptr,
                                 L"About",
                                 nullptr,
                                 L"Exit"};
  const wchar_t* const options[] = {L"Go to selected address",
                                    nullptr,
                                    L"Add new address",
                                    L"Edit selected address",
                                    nullptr,
                                    L"Delete selected address",
                                    L"Delete all addresses",
                                    L"Undo\tCtrl+Z",
                                    L"Redo\tCtrl+Y",
                                    nullptr,
                                    L"Settings"};
  UINT id = 100;
  const auto add = [&](const wchar_t* caption, const wchar_t* const* items, int count) {
    HMENU menu = CreatePopupMenu();
    for (int i = 0; i < count; ++i) {
      if (items[i] == nullptr) {
        AppendMenuW(menu, MF_SEPARATOR, 0, nullptr);
      } else {
        AppendMenuW(menu, MF_STRING, id++, items[i]);
      }
    }
    AppendMenuW(bar, MF_POPUP, reinterpret_cast<UINT_PTR>(menu), caption);
  };
  add(L"File", file, 7);
  add(L"Options", options, 11);
  return bar;
}

HWND BareWindow() {
  INITCOMMONCONTROLSEX controls{sizeof(controls),
                                ICC_LISTVIEW_CLASSES | ICC_STANDARD_CLASSES | ICC_BAR_CLASSES};
  InitCommonControlsEx(&controls);
  HINSTANCE instance = GetModuleHandleW(nullptr);
  WNDCLASSEXW windowClass{};
  windowClass.cbSize = sizeof(windowClass);
  windowClass.lpfnWndProc = BareProc;
  windowClass.hInstance = instance;
  windowClass.hCursor = LoadCursorW(nullptr, IDC_ARROW);
  windowClass.hIcon = LoadIconW(instance, L"IDI_ICON1");
  windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
  windowClass.lpszClassName = L"BareWindow";
  RegisterClassExW(&windowClass);
  // The program's client area, 7965 x 3885 twips, at 96 dpi.
  RECT frame{0, 0, 531, 259};
  const DWORD style = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX;
  AdjustWindowRectEx(&frame, style, TRUE, 0);
  HWND hwnd = CreateWindowExW(0, L"BareWindow", L"Bare", style, CW_USEDEFAULT, CW_USEDEFAULT,
                              frame.right - frame.left, frame.bottom - frame.top, nullptr,
                              BareMenuBar(), instance, nullptr);
  if (hwnd == nullptr) return nullptr;
  HFONT font =
      CreateFontW(-12, 0, 0, 0, FW_BOLD, FALSE, FALSE, FALSE, DEFAULT_CHARSET, OUT_DEFAULT_PRECIS,
                  CLIP_DEFAULT_PRECIS, CLEARTYPE_QUALITY, DEFAULT_PITCH | FF_DONTCARE, L"Arial");
  HWND list = CreateWindowExW(WS_EX_CLIENTEDGE, WC_LISTVIEWW, L"",
                              WS_CHILD | WS_VISIBLE | WS_TABSTOP | LVS_REPORT | LVS_OWNERDATA |
                                  LVS_NOCOLUMNHEADER | LVS_SINGLESEL | LVS_SHOWSELALWAYS,
                              0, 0, 529, 229, hwnd, reinterpret_cast<HMENU>(1), instance, nullptr);
  SendMessageW(list, LVM_SETEXTENDEDLISTVIEWSTYLE, LVS_EX_FULLROWSELECT | LVS_EX_DOUBLEBUFFER,
               LVS_EX_FULLROWSELECT | LVS_EX_DOUBLEBUFFER);
  LVCOLUMNW column{};
  column.mask = LVCF_WIDTH;
  column.cx = 505;
  SendMessageW(list, LVM_INSERTCOLUMNW, 0, reinterpret_cast<LPARAM>(&column));
  SendMessageW(list, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
  SendMessageW(list, LVM_SETITEMCOUNT, 200, 0);
  ListView_SetItemState(list, 0, LVIS_SELECTED | LVIS_FOCUSED, LVIS_SELECTED | LVIS_FOCUSED);
  HWND save = CreateWindowExW(0, WC_BUTTONW, L"Save all changes",
                              WS_CHILD | WS_VISIBLE | WS_TABSTOP | BS_PUSHBUTTON, 8, 232, 153, 25,
                              hwnd, reinterpret_cast<HMENU>(2), instance, nullptr);
  SendMessageW(save, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
  const wchar_t* const pictures[] = {L"ARROW_UP", L"ARROW_DOWN"};
  const int lefts[] = {280, 248};
  for (int i = 0; i < 2; ++i) {
    HWND button = CreateWindowExW(
        0, WC_BUTTONW, L"", WS_CHILD | WS_VISIBLE | WS_TABSTOP | BS_PUSHBUTTON | BS_ICON, lefts[i],
        232, 25, 25, hwnd, reinterpret_cast<HMENU>(3 + i), instance, nullptr);
    HANDLE picture = LoadImageW(instance, pictures[i], IMAGE_ICON, 24, 24, LR_DEFAULTCOLOR);
    SendMessageW(button, BM_SETIMAGE, IMAGE_ICON, reinterpret_cast<LPARAM>(picture));
  }
  ShowWindow(hwnd, SW_SHOWNORMAL);
  UpdateWindow(hwnd);
  SetFocus(list);
  return hwnd;
}
#endif

}  // namespace

int wmain(int argc, wchar_t** argv) {
  const bool memory = argc > 1 && std::wcscmp(argv[1], L"--memory") == 0;
  // --phases: when main began, the window was made, and it had settled.
  const bool phases = argc > 1 && std::wcscmp(argv[1], L"--phases") == 0;
  const double atMain = SinceCreation();
#ifdef PROBE_TAVELIN
  const tavelin::SystemParts parts = tavelin::CreateSystemParts();
  tavelin::win32::WindowsScreen screen;
  tavelin::win32::MainWindow window(*parts.registry, screen, *parts.launcher);
  screen.setMainWindow(&window);
  if (!window.create(SW_SHOWNORMAL)) return 1;
  HWND hwnd = window.hwnd();
#else
  HWND hwnd = BareWindow();
  if (hwnd == nullptr) return 1;
#endif
  const double atWindow = SinceCreation();
  Settle();
  if (!IsWindowVisible(hwnd)) return 2;
  if (phases) {
    std::printf("main %.1f window %.1f settled %.1f\n", atMain, atWindow, SinceCreation() - 200);
  }
  if (memory) PrintMemory();
  return 0;
}
