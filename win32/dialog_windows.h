// The Windows window of any of the core's dialogs: a modal system dialog owned by the window
// it covers, built from the dialog's layout at the owner's resolution, drawing the dialog's
// state and handing the user's typing and clicks to the handlers its rows name.
#pragma once

#include <windows.h>

#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "ui/dialog.h"

namespace tavelin::win32 {

class DialogWindow {
 public:
  // `shown` runs once the dialog is up, from inside its modal loop.
  DialogWindow(Dialog& dialog, int dpi, std::function<void(Dialog&, HWND)> shown);
  ~DialogWindow();
  DialogWindow(const DialogWindow&) = delete;
  DialogWindow& operator=(const DialogWindow&) = delete;

  // Shows the dialog centred over `owner`, which takes no input meanwhile, and returns when
  // the dialog has closed.
  void run(HWND owner);
  // The dialog has unloaded: the window closes once the message in hand is done.
  void close();
  // Draws what the dialog holds now.
  void redraw();
  // The text box takes the focus with its whole text selected.
  void focusTextSelectAll();

  Dialog& dialog() const { return dialog_; }
  HWND hwnd() const { return hwnd_; }
  HWND control(std::string_view name) const;

  // The posted message that runs `shown`.
  static constexpr UINT kShownMessage = WM_APP + 2;

 private:
  static INT_PTR CALLBACK Proc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
  static LRESULT CALLBACK TextProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam,
                                   UINT_PTR id, DWORD_PTR self);
  INT_PTR handle(UINT message, WPARAM wParam, LPARAM lParam);
  void initialise(HWND owner);
  void createControls();
  void place(HWND owner);
  void clicked(int id);
  void textChanged();
  std::wstring boxText() const;

  Dialog& dialog_;
  int dpi_;
  std::function<void(Dialog&, HWND)> shown_;
  HWND owner_ = nullptr;
  HWND hwnd_ = nullptr;
  HWND text_ = nullptr;
  const ControlLayout* textShape_ = nullptr;  // the text box's row
  HWND tooltip_ = nullptr;
  int defaultButton_ = 0;  // the table's default button; 0: Enter elsewhere presses none
  bool drawing_ = false;   // our own change of the box's text, not the user's
  std::vector<HFONT> fonts_;
};

}  // namespace tavelin::win32
