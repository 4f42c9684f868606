#include "qt/dialog_windows.h"

#include <QKeyEvent>

namespace tavelin::qt {

DialogWindow::DialogWindow(Dialog& dialog) : QDialog(nullptr), dialog_(dialog) {
  const FormLayout& form = dialog.layout();
  SetUpFixedWindow(*this, form, ClientSize(form));
  setSizeGripEnabled(false);
  widgets_ = std::make_unique<FormWidgets>(*this, form, dialog);
  widgets_->open();
}

void DialogWindow::unload() {
  done(QDialog::Rejected);
}

void DialogWindow::reject() {
  dialog_.CloseBox_Click();
}

void DialogWindow::done(int result) {
  widgets_->stopTimers();
  QDialog::done(result);
}

void DialogWindow::keyPressEvent(QKeyEvent* event) {
  // Enter and Esc press what the dialog's table says, never what QDialog would (its
  // default button, its reject).
  if (widgets_->pressButtonForKey(*event)) {
    event->accept();
    return;
  }
  QDialog::keyPressEvent(event);
}

}  // namespace tavelin::qt
