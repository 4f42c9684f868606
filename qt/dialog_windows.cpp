#include "qt/dialog_windows.h"

#include <QKeyEvent>
#include <QLabel>
#include <QPlainTextEdit>
#include <QRadioButton>
#include <QSignalBlocker>
#include <QTextDocument>
#include <QTimer>

#include "dialogs/address_dialog.h"
#include "dialogs/frm_about.h"
#include "dialogs/frm_settings.h"

namespace tavelin::qt {

DialogWindow::DialogWindow(Dialog& dialog) : QDialog(nullptr), dialog_(dialog) {
  const FormLayout& form = dialog.layout();
  SetUpFixedWindow(*this, form, ClientSize(form));
  setSizeGripEnabled(false);
  widgets_ = std::make_unique<FormWidgets>(*this, form);
}

void DialogWindow::unload() {
  QDialog::done(QDialog::Rejected);
}

void DialogWindow::reject() {
  dialog_.CloseBox_Click();
}

void DialogWindow::focusFirstTabStop() {
  if (QWidget* first = widgets_->firstTabStop()) first->setFocus();
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

namespace {

// "Tavelin - Add new address" and "Tavelin - Edit".
class AddressDialogWindow : public DialogWindow {
 public:
  explicit AddressDialogWindow(AddressDialog& dialog) : DialogWindow(dialog), core_(dialog) {
    box_ = widgets().get<QPlainTextEdit>("Text1");
    widgets().connect({
        {"Command1", [this] { core_.Command1_Click(); }},
        {"Command2", [this] { core_.Command2_Click(); }},
    });
    // The whole text as the box holds it: a typed line break stays a paragraph separator
    // (toPlainText would also turn no-break spaces into spaces); the core makes it CR LF.
    connect(box_, &QPlainTextEdit::textChanged, this,
            [this] { core_.Text1_Change(FromQString(box_->document()->toRawText())); });
    redraw();
    if (core_.Text1SelectedOnOpen()) box_->selectAll();
    focusFirstTabStop();
  }

  void redraw() override {
    if (FromQString(box_->document()->toRawText()) == core_.Text1()) return;
    const QSignalBlocker quiet(box_);
    box_->setPlainText(ToQString(core_.Text1()));
  }

  void focusTextSelectAll() override {
    box_->setFocus(Qt::OtherFocusReason);
    box_->selectAll();
  }

 private:
  AddressDialog& core_;
  QPlainTextEdit* box_ = nullptr;
};

// "Tavelin - Settings".
class SettingsWindow : public DialogWindow {
 public:
  explicit SettingsWindow(FrmSettings& dialog) : DialogWindow(dialog), core_(dialog) {
    widgets().connect({
        {"Option1", [this] { core_.Option1_Click(); }},
        {"Option2", [this] { core_.Option2_Click(); }},
        {"Option3", [this] { core_.Option3_Click(); }},
        {"Option4", [this] { core_.Option4_Click(); }},
        {"Command1", [this] { core_.Command1_Click(); }},
        {"Command2", [this] { core_.Command2_Click(); }},
        {"Command3", [this] { core_.Command3_Click(); }},
    });
    redraw();
    focusFirstTabStop();
  }

  void redraw() override {
    for (int number = 1; number <= 4; ++number) {
      auto* option = widgets().get<QRadioButton>("Option" + std::to_string(number));
      // Selecting one option of a frame clears the other.
      if (option && core_.Option(number)) option->setChecked(true);
    }
  }

 private:
  FrmSettings& core_;
};

// "Information".
class AboutWindow : public DialogWindow {
 public:
  explicit AboutWindow(FrmAbout& dialog) : DialogWindow(dialog), core_(dialog) {
    credit_ = widgets().get<QLabel>("Label2");
    timer_ = widgets().timer("Timer1");
    widgets().connect({
        {"Command1", [this] { core_.Command1_Click(); }},
        {"Timer1", [this] { core_.Timer1_Timer(); }},
    });
    redraw();
    focusFirstTabStop();
    // It runs from the moment the dialog is built until it unloads.
    if (timer_) timer_->start();
  }

  void redraw() override {
    const ControlLayout* shape = dialog().layout().control("Label2");
    if (!credit_ || !shape) return;
    QRect at = PixelRect(shape->rect);
    at.moveLeft(TwipsToPixels(static_cast<double>(core_.creditLeftTwips()), kLayoutDpi));
    // Left of the client area the label is simply clipped.
    credit_->setGeometry(at);
  }

  void done(int result) override {
    if (timer_) timer_->stop();
    DialogWindow::done(result);
  }

 private:
  FrmAbout& core_;
  QLabel* credit_ = nullptr;
  QTimer* timer_ = nullptr;
};

}  // namespace

std::unique_ptr<DialogWindow> CreateDialogWindow(Dialog& dialog) {
  switch (dialog.kind()) {
    case DialogKind::kAdd:
    case DialogKind::kEdit:
      return std::make_unique<AddressDialogWindow>(static_cast<AddressDialog&>(dialog));
    case DialogKind::kSettings:
      return std::make_unique<SettingsWindow>(static_cast<FrmSettings&>(dialog));
    case DialogKind::kAbout:
      return std::make_unique<AboutWindow>(static_cast<FrmAbout&>(dialog));
  }
  return nullptr;
}

}  // namespace tavelin::qt
