// Start-up probes for the Windows program under Wine: built as "tavelin" (the real main
// window on the current user's registry, as the program starts) or as "bare" (one empty
// window of the system's own). Each quits once its window is up, painted and idle; with
// --memory it first prints its resident memory (working set) in KiB.
#include <windows.h>

#include <psapi.h>

#include <cstdio>
#include <cwchar>
#include <memory>

#ifdef PROBE_TAVELIN
#include "app/system_registry.h"
#include "win32/main_window.h"
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
LRESULT CALLBACK BareProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  return DefWindowProcW(hwnd, message, wParam, lParam);
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
  tavelin::win32::MainWindow window(*parts.registry, *parts.launcher);
  if (!window.create(SW_SHOWNORMAL)) return 1;
  HWND hwnd = window.hwnd();
#else
  WNDCLASSEXW windowClass{};
  windowClass.cbSize = sizeof(windowClass);
  windowClass.lpfnWndProc = BareProc;
  windowClass.hInstance = GetModuleHandleW(nullptr);
  windowClass.hCursor = LoadCursorW(nullptr, IDC_ARROW);
  windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
  windowClass.lpszClassName = L"BareWindow";
  RegisterClassExW(&windowClass);
  HWND hwnd =
      CreateWindowExW(0, L"BareWindow", L"Bare", WS_OVERLAPPEDWINDOW, CW_USEDEFAULT, CW_USEDEFAULT,
                      540, 300, nullptr, nullptr, GetModuleHandleW(nullptr), nullptr);
  if (hwnd == nullptr) return 1;
  ShowWindow(hwnd, SW_SHOWNORMAL);
  UpdateWindow(hwnd);
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
