// win32/ is the native Windows front end, the program on Windows (Win32 API, built with
// MinGW): it builds the windows from the core's tables, runs what their rows name, and shows
// what the core asks for through the screen interface. It decides no rule; it uses app/ and
// what lies below it.
//
// The main window on Windows: built from Mainn's layout and menus, showing the core's list in a
// virtual list view, and forwarding every event to what the control's row or menu item names.
// What the core asks for (message boxes, file dialogs, the pop-up menu) goes to the screen it
// is given.
#pragma once

#include <windows.h>

#include <string_view>
#include <vector>

#include "app/mainn.h"
#include "browse/browser_launcher.h"
#include "store/registry.h"
#include "ui/screen.h"
#include "win32/address_list_view.h"
#include "win32/list_input.h"

namespace tavelin::win32 {

class MainWindow {
 public:
  MainWindow(RegistryBackend& backend, Screen& screen, BrowserLauncher& launcher);
  ~MainWindow();
  MainWindow(const MainWindow&) = delete;
  MainWindow& operator=(const MainWindow&) = delete;

  // Creates the window hidden, runs Form_Load, then shows it centred on the screen with the
  // focus in the list. Form_Shown runs from the message loop once the window is visible.
  bool create(int showCommand = SW_SHOWNORMAL);

  HWND hwnd() const { return hwnd_; }
  HWND control(std::string_view name) const;
  Mainn& mainn() { return mainn_; }
  int dpi() const { return dpi_; }
  HMENU menuBar() const { return menuBar_; }
  const AddressListView& listView() const { return listView_; }

  // What the message loop hands to the window before dispatching: the shortcut keys and
  // the keyboard moves between controls. True when the message was used.
  bool preTranslate(MSG& message);
  // The program's message loop; returns when the window is gone.
  int run();
  // Runs the menu item of that command id: clicked, chosen in the pop-up menu, or its
  // shortcut key pressed.
  void runCommand(UINT id);

  // The posted message that runs Form_Shown.
  static constexpr UINT kShownMessage = WM_APP + 1;

 private:
  static LRESULT CALLBACK WindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
  LRESULT handle(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);

  void createControls();
  void placeControls();
  void applyDpi(int dpi, const RECT* suggested);
  void fitClientArea();
  void buttonClicked(int id);

  Mainn mainn_;
  AddressListView listView_{mainn_};
  ListInput listInput_{mainn_};
  HWND hwnd_ = nullptr;
  HMENU menuBar_ = nullptr;
  HACCEL accelerators_ = nullptr;
  std::vector<HFONT> fonts_;
  std::vector<HICON> pictures_;
  HICON bigIcon_ = nullptr;
  HICON smallIcon_ = nullptr;
  HWND savedFocus_ = nullptr;
  int dpi_ = USER_DEFAULT_SCREEN_DPI;
};

}  // namespace tavelin::win32
