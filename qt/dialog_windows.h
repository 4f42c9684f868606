// The Qt window of any of the core's dialogs: built from the dialog's layout, it draws the
// dialog's state and hands the user's typing and clicks to the handlers its rows name.
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

  // Built and drawn, not yet shown.
  explicit DialogWindow(Dialog& dialog);

  // Draws what the dialog holds now.
  void redraw() { widgets_->redraw(); }
  // The dialog's text box takes the focus with its whole text selected.
  void focusTextSelectAll() { widgets_->focusTextSelectAll(); }
  // The dialog has unloaded: the window closes.
  void unload();

  // The close box (and Alt+F4, and anything else that would cancel the window) is the
  // dialog's close box.
  void reject() override;

 protected:
  void keyPressEvent(QKeyEvent* event) override;
  void done(int result) override;

 private:
  Dialog& dialog_;
  std::unique_ptr<FormWidgets> widgets_;
};

}  // namespace tavelin::qt
