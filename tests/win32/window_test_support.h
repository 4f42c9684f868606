// What the Windows front end's tests share: a main window whose screen records its message
// boxes, file dialogs, pop-up menu and dialogs and answers them in the user's place, a store
// in memory, and helpers that read the controls the way the system and a screen reader do.
#pragma once

#include <windows.h>

#include <commctrl.h>
#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "browse/browser_launcher.h"
#include "support/registry_memory.h"
#include "ui/dialog.h"
#include "win32/main_window.h"
#include "win32/screen.h"

namespace tavelin::win32::testing {

class RecordingLauncher : public BrowserLauncher {
 public:
  LaunchOutcome open(const std::string& address, int showCommand) override {
    launches.push_back({address, showCommand});
    return {true, {}};
  }
  std::vector<std::pair<std::string, int>> launches;
};

struct RecordedBox {
  HWND owner = nullptr;
  bool ownerVisible = false;
  std::wstring text;
  std::wstring title;
  UINT type = 0;
};

struct RecordedFileDialog {
  bool save = false;
  HWND owner = nullptr;
  std::wstring title;
  std::wstring filter;  // with its NULs, up to and without the closing one
  std::wstring initialName;
  DWORD flags = 0;
};

struct RecordedPopUp {
  HMENU menu = nullptr;
  POINT at{};
  UINT flags = 0;
};

// The screen, recording what would be shown and answering in the user's place.
class RecordingScreen : public WindowsScreen {
 public:
  std::vector<RecordedBox> boxes;
  int boxAnswer = IDYES;
  bool realBoxes = false;  // show the system's own message box instead

  std::vector<RecordedFileDialog> fileDialogs;
  std::optional<std::wstring> chosenFile;  // nothing: the user cancels

  std::vector<RecordedPopUp> popUps;
  UINT popUpChoice = 0;  // the item the user picks, 0 for none

  std::vector<DialogKind> dialogs;
  // What the user does while a dialog is up, from inside its modal loop. A dialog still
  // open afterwards is closed with its close box and counted in `leftOpen`.
  std::function<void(Dialog&, HWND)> inDialog;
  int leftOpen = 0;

 protected:
  int runMessageBox(HWND owner, const std::wstring& text, const std::wstring& title,
                    UINT type) override;
  bool runFileDialog(OPENFILENAMEW& dialog, bool save) override;
  UINT trackPopUpMenu(HMENU menu, POINT at, UINT flags) override;
  void runDialog(Dialog& dialog) override;
  void dialogShown(Dialog& dialog, HWND window) override;
};

// The real main window over the core, which talks to the recording screen.
class RecordingWindow : public RecordingScreen, public MainWindow {
 public:
  RecordingWindow(RegistryBackend& backend, BrowserLauncher& launcher)
      : MainWindow(backend, *this, launcher) {
    setMainWindow(this);
  }
};

// Hands every waiting message to the dialog as its modal loop would, the dialog manager's
// keys among them.
void PumpDialog(HWND dialog);

// A key pressed and released on the focused control, through the message queue.
void PressKey(HWND dialog, UINT key);
// A character typed into the focused control.
void TypeText(HWND dialog, std::wstring_view text);
// The text of a window, as the system gives it.
std::wstring WindowText(HWND window);

// What every window test starts from: a store in memory and the real main window over it.
class WindowTest : public ::testing::Test {
 protected:
  // Stores the entries and the save mode, then opens the main window as the program does.
  void Open(const std::vector<std::string>& entries, const std::string& saveMode = "One");

  MemoryRegistry registry;
  RecordingLauncher launcher;
  std::unique_ptr<RecordingWindow> window;
  HWND list = nullptr;
};

// Hands every waiting message to the window as its message loop would.
void Pump(MainWindow& window);
// Chooses the menu item of that name, as a click on it would; false when there is none.
bool MenuCommand(MainWindow& window, std::string_view item);

// What the list view answers to the system's text query, row by row.
std::vector<std::wstring> ListRows(HWND list);
int ListSelection(HWND list);
int ListFocus(HWND list);

// A store in memory holding the given entries as url1, url2, ... and the save mode.
void Store(MemoryRegistry& registry, const std::vector<std::string>& entries,
           const std::string& saveMode = "One");
std::vector<std::string> Stored(MemoryRegistry& registry);

// The key state that GetKeyState reports to this thread, for keys sent as messages.
class HeldKeys {
 public:
  explicit HeldKeys(std::initializer_list<int> keys);
  ~HeldKeys();
  HeldKeys(const HeldKeys&) = delete;
  HeldKeys& operator=(const HeldKeys&) = delete;

 private:
  BYTE saved_[256] = {};
};

// The rectangle of a control relative to its parent's client area.
RECT ChildRect(HWND control);

}  // namespace tavelin::win32::testing
