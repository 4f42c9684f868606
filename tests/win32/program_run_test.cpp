// The whole program as a user starts it: "Tavelin v<major>.<minor>.exe" on the registry it runs
// on, its window found from outside, a button pressed, the registry read afterwards. Only under
// Wine, whose test prefix's registry is a throwaway one; never on a real user's registry.
#include <windows.h>

#include <commctrl.h>
#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <string>

#include "app/mainn.h"
#include "win32/layout.h"

namespace {

constexpr wchar_t kTypedUrls[] = L"Software\\Microsoft\\Internet Explorer\\TypedURLs";

bool UnderWine() {
  return GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "wine_get_version") != nullptr;
}

std::wstring ProgramPath() {
  wchar_t path[MAX_PATH] = {};
  GetModuleFileNameW(nullptr, path, MAX_PATH);
  std::wstring folder(path);
  folder.erase(folder.find_last_of(L"\\/") + 1);
  return folder + L"" TAVELIN_EXPECTED_PROGRAM_NAME ".exe";
}

// Asks again and again until the answer is yes or the deadline has passed.
bool WaitFor(const std::function<bool()>& done, int seconds = 60) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
  while (std::chrono::steady_clock::now() < deadline) {
    if (done()) return true;
    Sleep(20);
  }
  return done();
}

std::wstring TypedUrl(const wchar_t* name) {
  wchar_t data[512] = {};
  DWORD size = sizeof(data) - sizeof(wchar_t);
  if (RegGetValueW(HKEY_CURRENT_USER, kTypedUrls, name, RRF_RT_REG_SZ, nullptr, data, &size) !=
      ERROR_SUCCESS) {
    return L"(none)";
  }
  return data;
}

void SetTypedUrl(const wchar_t* name, const std::wstring& text) {
  RegSetKeyValueW(HKEY_CURRENT_USER, kTypedUrls, name, REG_SZ, text.c_str(),
                  static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t)));
}

struct FoundWindow {
  DWORD process;
  HWND window;
};

BOOL CALLBACK FindProgramWindow(HWND hwnd, LPARAM found) {
  auto* wanted = reinterpret_cast<FoundWindow*>(found);
  DWORD process = 0;
  GetWindowThreadProcessId(hwnd, &process);
  wchar_t caption[100] = {};
  GetWindowTextW(hwnd, caption, 100);
  const std::wstring title = L"" TAVELIN_EXPECTED_PROGRAM_NAME " - ByQuorin";
  if (process == wanted->process && std::wstring(caption) == title) {
    wanted->window = hwnd;
    return FALSE;
  }
  return TRUE;
}

TEST(WholeProgram, StartsOnTheRegistryAndWritesWhatTheUserDoes) {
  if (!UnderWine()) GTEST_SKIP() << "changes the typed addresses: only in a Wine test prefix";
  RegDeleteTreeW(HKEY_CURRENT_USER, kTypedUrls);
  SetTypedUrl(L"url1", L"http://one.example/");
  SetTypedUrl(L"url2", L" ");
  SetTypedUrl(L"url3", L"http://three.example/\u00E9");
  RegSetKeyValueW(HKEY_CURRENT_USER, L"Software\\Tavelin", L"SaveOptions", REG_SZ, L"One",
                  4 * sizeof(wchar_t));

  std::wstring commandLine = L"\"" + ProgramPath() + L"\"";
  STARTUPINFOW startup{};
  startup.cb = sizeof(startup);
  PROCESS_INFORMATION process{};
  ASSERT_TRUE(CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr,
                             nullptr, &startup, &process));

  FoundWindow found{process.dwProcessId, nullptr};
  EXPECT_TRUE(WaitFor([&] {
    EnumWindows(FindProgramWindow, reinterpret_cast<LPARAM>(&found));
    return found.window != nullptr;
  })) << "the program's window did not appear";
  if (found.window != nullptr) {
    const auto& layout = tavelin::Mainn::Layout();
    // The controls come just after the window: ask for them until they are there.
    HWND list = nullptr;
    EXPECT_TRUE(WaitFor([&] {
      list = GetDlgItem(found.window, tavelin::win32::ControlId(layout, "List1"));
      return SendMessageW(list, LVM_GETITEMCOUNT, 0, 0) == 2;
    })) << "the list did not show the two stored entries";
    const HWND down = GetDlgItem(found.window, tavelin::win32::ControlId(layout, "Command3"));
    // Start-up dropped the blank entry and closed the gap in the registry.
    EXPECT_EQ(SendMessageW(list, LVM_GETNEXTITEM, static_cast<WPARAM>(-1), LVNI_SELECTED), 0);
    EXPECT_EQ(TypedUrl(L"url2"), L"http://three.example/\u00E9");
    EXPECT_EQ(TypedUrl(L"url3"), L"(none)");

    // "Move down" in automatic mode: the registry follows at once.
    SendMessageW(down, BM_CLICK, 0, 0);
    EXPECT_TRUE(WaitFor([] { return TypedUrl(L"url1") == L"http://three.example/\u00E9"; }));
    EXPECT_EQ(TypedUrl(L"url2"), L"http://one.example/");

    PostMessageW(found.window, WM_CLOSE, 0, 0);
  }
  EXPECT_EQ(WaitForSingleObject(process.hProcess, 60000), WAIT_OBJECT_0);
  DWORD exitCode = 1;
  GetExitCodeProcess(process.hProcess, &exitCode);
  EXPECT_EQ(exitCode, 0u);
  if (WaitForSingleObject(process.hProcess, 0) != WAIT_OBJECT_0) {
    TerminateProcess(process.hProcess, 1);
  }
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
  RegDeleteTreeW(HKEY_CURRENT_USER, kTypedUrls);
  RegDeleteTreeW(HKEY_CURRENT_USER, L"Software\\Tavelin");
}

}  // namespace
