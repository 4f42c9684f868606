// The screen the core talks to, in Qt widgets: message boxes, the file dialogs, the dialogs'
// windows, the pop-up menu and the end of the program.
#pragma once

#include <QPointer>
#include <vector>

#include "ui/screen.h"

class QWidget;

namespace tavelin::qt {

class DialogWindow;
class MainWindow;

class QtScreen : public Screen {
 public:
  // The window the program runs in; set once it is built.
  void setMainWindow(MainWindow* window) { main_ = window; }
  MainWindow* mainWindow() const { return main_; }

  // The three that only ask the user are virtual so that tests can answer them instead;
  // the windows stay real.
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

  // The Qt window of an open dialog, or null.
  DialogWindow* window(const Dialog& dialog) const;
  // What a message box or file dialog covers: the dialog on top, else the main window.
  QWidget* topWindow() const;

 private:
  MainWindow* main_ = nullptr;
  std::vector<QPointer<DialogWindow>> open_;
};

}  // namespace tavelin::qt
