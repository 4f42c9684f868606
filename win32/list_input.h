// What the user does on the list view with the keyboard and the mouse, handed to the
// handlers of the list's row: keys, typed characters, mouse buttons and the keyboard's
// request for the context menu. Where the core decides, the view does not do its own work
// as well: it neither searches for typed characters nor selects the row under a right press.
#pragma once

#include <windows.h>

#include "app/mainn.h"
#include "ui/forms.h"

namespace tavelin::win32 {

class ListInput {
 public:
  explicit ListInput(Mainn& mainn) : mainn_(mainn) {}
  ListInput(const ListInput&) = delete;
  ListInput& operator=(const ListInput&) = delete;

  // From now on, the input of `list`, the control of the list's row `shape`.
  void attach(HWND list, const ControlLayout& shape);

 private:
  static LRESULT CALLBACK Proc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR id,
                               DWORD_PTR self);
  LRESULT handle(HWND list, UINT message, WPARAM wParam, LPARAM lParam);
  // A character typed in the list goes to the core, which chooses the entry it selects
  // (type-ahead). True when it was such a character.
  bool typeAhead(wchar_t character);

  Mainn& mainn_;
  const ControlLayout* shape_ = nullptr;  // the list's row: its events' handlers
};

// The modifier bits (shift::) held now, as the key and mouse handlers want them.
int CurrentShiftState();

}  // namespace tavelin::win32
