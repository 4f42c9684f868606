// win32/ is the native Windows front end, the program on Windows (Win32 API, built with
// MinGW): it builds the windows from the core's tables, runs what their rows name, and shows
// what the core asks for through the screen interface. It decides no rule; it uses app/ and
// what lies below it.
//
// The main window on Windows: built from Mainn's layout and menus, showing the core's list in a
// virtual list view, forwarding every event to what the control's row or menu item names, and
// showing what the core asks for (message boxes, file dialogs, the pop-up menu) as the Screen.
#pragma once

#include <windows.h>
// After windows.h, which they build on:
#include <cderr.h>
#include <commctrl.h>
#include <commdlg.h>

#include <string>
#include <string_view>
#include <vector>

#include "app/mainn.h"
#include "browse/browser_launcher.h"
#include "list/address_list.h"
#include "store/registry.h"
#include "ui/screen.h"
#include "win32/dialog_windows.h"

namespace tavelin::win32 {

class MainWindow : public Screen, private AddressListObserver {
 public:
  MainWindow(RegistryBackend& backend, BrowserLauncher& launcher);
  ~MainWindow() override;
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

  // What the message loop hands to the window before dispatching: the shortcut keys and
  // the keyboard moves between controls. True when the message was used.
  bool preTranslate(MSG& message);
  // The program's message loop; returns when the window is gone.
  int run();

  // Screen
  void showMessage(const MessageBoxRequest& message) override;
  bool askYesNo(const MessageBoxRequest& question) override;
  std::optional<std::string> chooseFile(const FileDialogRequest& dialog) override;
  void openDialog(Dialog& dialog) override;
  void closeDialog(Dialog& dialog) override;
  void dialogChanged(Dialog& dialog) override;
  void focusTextSelectAll(Dialog& dialog) override;
  void popUpOptionsMenu(PopUpPlace place) override;
  void endProgram() override;

  // The posted message that runs Form_Shown.
  static constexpr UINT kShownMessage = WM_APP + 1;
  // The posted message that shows the core's selection in the list view again.
  static constexpr UINT kShowSelectionMessage = WM_APP + 3;

 protected:
  // Where the window meets the system's modal boxes; tests replace these to record what
  // would be shown and to answer in the user's place.
  virtual int runMessageBox(HWND owner, const std::wstring& text, const std::wstring& title,
                            UINT type);
  virtual bool runFileDialog(OPENFILENAMEW& dialog, bool save);
  // Why the last file dialog gave no file: 0 when the user cancelled it.
  DWORD fileDialogError() const;
  virtual UINT trackPopUpMenu(HMENU menu, POINT at, UINT flags);
  // Runs the dialog's system dialog, modal over the window it covers.
  virtual void runDialog(Dialog& dialog);
  // The dialog is up and its modal loop runs; tests act in the user's place here.
  virtual void dialogShown(Dialog& /*dialog*/, HWND /*window*/) {}
  // The system dialog of an open core dialog, or nothing.
  DialogWindow* dialogWindow(const Dialog& dialog) const;

  // The window that a box shown now covers and is owned by.
  HWND ownerWindow() const;

 private:
  static LRESULT CALLBACK WindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
  static LRESULT CALLBACK ListProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam,
                                   UINT_PTR id, DWORD_PTR self);
  LRESULT handle(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
  LRESULT handleList(UINT message, WPARAM wParam, LPARAM lParam);
  LRESULT handleNotify(const NMHDR& header);

  void createControls();
  void placeControls();
  void applyDpi(int dpi, const RECT* suggested);
  void fitClientArea();
  void runCommand(UINT id);
  void buttonClicked(int id);

  // The list view follows the core's list.
  void beforeInsert(std::size_t, std::size_t) override {}
  void afterInsert() override { refreshList(); }
  void beforeRemove(std::size_t, std::size_t) override {}
  void afterRemove() override { refreshList(); }
  void beforeReset() override {}
  void afterReset() override { refreshList(); }
  void itemsChanged(std::size_t first, std::size_t last) override;
  void selectionChanged(int index) override { showSelection(index); }
  void refreshList();
  void showSelection(int index);
  void fitListColumn();
  int viewSelection() const;
  void fillDisplayText(NMLVDISPINFOW& info) const;

  Mainn mainn_;
  HWND hwnd_ = nullptr;
  HWND list_ = nullptr;
  const ControlLayout* listShape_ = nullptr;  // the list's row: its events' handlers
  HMENU menuBar_ = nullptr;
  HACCEL accelerators_ = nullptr;
  std::vector<HFONT> fonts_;
  std::vector<HICON> pictures_;
  HICON bigIcon_ = nullptr;
  HICON smallIcon_ = nullptr;
  HWND savedFocus_ = nullptr;
  std::vector<DialogWindow*> dialogs_;  // the open ones, the newest last
  int dpi_ = USER_DEFAULT_SCREEN_DPI;
  bool showingSelection_ = false;
};

// The modifier bits (shift::) held now, as the key and mouse handlers want them.
int CurrentShiftState();

}  // namespace tavelin::win32
