// The Qt windows of the core's dialogs: each is built from its dialog's layout, draws the
// dialog's state, and hands the user's typing and clicks to the dialog's handlers.
#pragma once

#include <QDialog>
#include <memory>

#include "qt/form_widgets.h"
#include "ui/dialog.h"

namespace tavelin::qt {

class DialogWindow : public QDialog {
  Q_OBJECT
 public:
  Dialog& dialog() const { return dialog_; }
  const FormWidgets& widgets() const { return *widgets_; }

  // Draws what the dialog holds now.
  virtual void redraw() {}
  // The dialog's text box takes the focus with its whole text selected.
  virtual void focusTextSelectAll() {}
  // The dialog has unloaded: the window closes.
  void unload();

  // The close box (and Alt+F4, and anything else that would cancel the window) is the
  // dialog's close box.
  void reject() override;

 protected:
  explicit DialogWindow(Dialog& dialog);
  // Called by each kind once its window is built and drawn: the first tab stop takes the
  // focus.
  void focusFirstTabStop();
  void keyPressEvent(QKeyEvent* event) override;

 private:
  Dialog& dialog_;
  std::unique_ptr<FormWidgets> widgets_;
};

// The window for the dialog's kind, built and drawn, not yet shown.
std::unique_ptr<DialogWindow> CreateDialogWindow(Dialog& dialog);

}  // namespace tavelin::qt
