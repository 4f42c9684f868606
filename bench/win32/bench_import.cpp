// Filling the Windows program's list with 100 000 imported entries (the real "Open list"
// command on the real main window, its file dialog answered, until the list view holds them
// all) against a bare read of the same file split into lines. Medians of several runs.
#include <windows.h>

#include <commctrl.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "browse/browser_launcher.h"
#include "files/list_file.h"
#include "store/registry.h"
#include "store/settings_store.h"
#include "support/registry_memory.h"
#include "win32/layout.h"
#include "win32/main_window.h"
#include "win32/screen.h"

namespace {

using Clock = std::chrono::steady_clock;
constexpr int kLines = 100000;
constexpr int kRuns = 9;

class NoLauncher : public tavelin::BrowserLauncher {
 public:
  tavelin::LaunchOutcome open(const std::string&, int) override { return {true, {}}; }
};

// The screen with its file dialog answered and its questions answered Yes.
class AnsweringScreen : public tavelin::win32::WindowsScreen {
 public:
  std::wstring file;

 protected:
  int runMessageBox(HWND, const std::wstring&, const std::wstring&, UINT) override { return IDYES; }
  bool runFileDialog(OPENFILENAMEW& dialog, bool) override {
    file.copy(dialog.lpstrFile, file.size());
    dialog.lpstrFile[file.size()] = L'\0';
    return true;
  }
};

void Pump() {
  MSG message{};
  while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
    TranslateMessage(&message);
    DispatchMessageW(&message);
  }
}

double Median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  return values[values.size() / 2];
}

double Milliseconds(Clock::time_point since) {
  return std::chrono::duration<double, std::milli>(Clock::now() - since).count();
}

}  // namespace

int wmain() {
  wchar_t folder[MAX_PATH] = {};
  GetTempPathW(MAX_PATH, folder);
  const std::wstring path = std::wstring(folder) + L"tavelin-bench-import.txt";
  {
    std::ofstream out(std::filesystem::path(path), std::ios::binary);
    for (int i = 0; i < kLines; ++i)
      out << "http://host" << i << ".example/some/path?q=" << i << "\r\n";
  }

  std::vector<double> bare;
  std::vector<double> reading;
  std::vector<double> window;
  std::size_t lines = 0;
  for (int run = 0; run < kRuns; ++run) {
    {
      const auto start = Clock::now();
      std::ifstream in(std::filesystem::path(path), std::ios::binary);
      const std::string text((std::istreambuf_iterator<char>(in)),
                             std::istreambuf_iterator<char>());
      std::vector<std::string> split;
      std::size_t at = 0;
      while (at < text.size()) {
        std::size_t end = text.find('\n', at);
        if (end == std::string::npos) end = text.size();
        std::size_t stop = end;
        if (stop > at && text[stop - 1] == '\r') --stop;
        split.emplace_back(text, at, stop - at);
        at = end + 1;
      }
      bare.push_back(Milliseconds(start));
      lines = split.size();
    }
    {
      // The part of the command that reads and decodes the file.
      const auto start = Clock::now();
      const tavelin::ListFileRead read = tavelin::ReadListFile(tavelin::win32::Narrow(path));
      reading.push_back(Milliseconds(start));
      if (read.entries.size() != kLines) return 1;
    }
    {
      tavelin::MemoryRegistry registry;
      // Manual mode: the store is not written, so this is the list alone.
      tavelin::modReg::WriteRegString(registry, tavelin::kCurrentUser, tavelin::kSettingsKey,
                                      tavelin::kSaveModeValue, "Two");
      NoLauncher launcher;
      AnsweringScreen screen;
      screen.file = path;
      tavelin::win32::MainWindow main(registry, screen, launcher);
      screen.setMainWindow(&main);
      if (!main.create(SW_SHOWNORMAL)) return 1;
      Pump();
      HWND list = main.control("List1");
      const auto start = Clock::now();
      main.mainn().FileOpen_Click();
      Pump();
      window.push_back(Milliseconds(start));
      if (SendMessageW(list, LVM_GETITEMCOUNT, 0, 0) != kLines) {
        std::printf("the list holds %d entries, not %d\n",
                    static_cast<int>(SendMessageW(list, LVM_GETITEMCOUNT, 0, 0)), kLines);
        return 1;
      }
    }
  }
  DeleteFileW(path.c_str());
  const double b = Median(bare);
  const double w = Median(window);
  std::printf(
      "import of %zu lines into the window: %.1f ms (reading the file %.1f ms of it); "
      "bare read and split: %.1f ms; ratio %.2f (goal: at most 3)\n",
      lines, w, Median(reading), b, w / b);
  return 0;
}
