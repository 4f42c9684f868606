// The screen the core talks to, on Windows: message boxes, Yes/No questions, the file
// dialogs, the dialogs' windows, the pop-up menu over the list, the title and the end of the
// program.
#pragma once

#include <windows.h>
// After windows.h, which it builds on:
#include <commdlg.h>

#include <optional>
#include <string>
#include <vector>

#include "ui/dialog.h"
#include "ui/screen.h"
#include "win32/dialog_windows.h"

namespace tavelin::win32 {

class MainWindow;

class WindowsScreen : public Screen {
 public:
  // The window the program runs in; set once it is made.
  void setMainWindow(MainWindow* window) { main_ = window; }

  void showMessage(const MessageBoxRequest& message) override;
  bool askYesNo(const MessageBoxRequest& question) override;
  std::optional<std::string> chooseFile(const FileDialogRequest& dialog) override;
  void openDialog(Dialog& dialog) override;
  void closeDialog(Dialog& dialog) override;
  void dialogChanged(Dialog& dialog) override;
  void focusTextSelectAll(Dialog& dialog) override;
  void popUpOptionsMenu(PopUpPlace place) override;
  void endProgram() override;
  void captionChanged() override;

 protected:
  // Where the screen meets the system's modal boxes; tests replace these to record what
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
  HWND mainHwnd() const;

  MainWindow* main_ = nullptr;
  std::vector<DialogWindow*> dialogs_;  // the open ones, the newest last
};

}  // namespace tavelin::win32
