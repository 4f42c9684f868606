// Every message box and file dialog of the program goes through this seam, so that tests can
// record what the user would be told and give prepared answers.
#pragma once

#include <QString>

class QWidget;

class UserInteraction {
 public:
  virtual ~UserInteraction() = default;
  // A modal box titled "Error" with the exclamation icon and one OK button.
  virtual void showError(QWidget* parent, const QString& text) = 0;
  // A question with the question-mark icon and Yes and No, Yes being the default.
  virtual bool askYesNo(QWidget* parent, const QString& title, const QString& text) = 0;
  // The chosen full file name, or empty text when the user cancelled.
  virtual QString chooseSaveFile(QWidget* parent, const QString& title, const QString& filter,
                                 const QString& initialName) = 0;
  virtual QString chooseOpenFile(QWidget* parent, const QString& title, const QString& filter,
                                 const QString& initialName) = 0;
};

// The real thing: QMessageBox and QFileDialog.
class WidgetInteraction : public UserInteraction {
 public:
  void showError(QWidget* parent, const QString& text) override;
  bool askYesNo(QWidget* parent, const QString& title, const QString& text) override;
  QString chooseSaveFile(QWidget* parent, const QString& title, const QString& filter,
                         const QString& initialName) override;
  QString chooseOpenFile(QWidget* parent, const QString& title, const QString& filter,
                         const QString& initialName) override;
};
