// What every dialog has: a layout to be built from, a screen to appear on, and the close box.
#pragma once

#include "ui/forms.h"
#include "ui/screen.h"

namespace tavelin {

enum class DialogKind { kAdd, kEdit, kSettings, kAbout };

class Dialog : public Form {
 public:
  virtual DialogKind kind() const = 0;
  virtual const FormLayout& layout() const = 0;

  // The close box of the title bar (and Alt+F4): the dialog unloads, nothing is written.
  void CloseBox_Click() { Unload(); }

  bool isOpen() const { return open_; }
  // For the screen: the dialog is up, or has gone.
  void setOpen(bool open) { open_ = open; }

 protected:
  explicit Dialog(Screen& screen) : screen_(screen) {}
  void Unload() { screen_.closeDialog(*this); }
  Screen& screen_;

 private:
  bool open_ = false;
};

}  // namespace tavelin
