// What the Add and Edit dialogs share: a multi-line text box for one address and two buttons,
// neither of which is the default or the cancel button.
#pragma once

#include <QDialog>
#include <QRect>
#include <string>

#include "store/list_commands.h"

class Mainn;
class QKeyEvent;
class QPlainTextEdit;
class QPushButton;

class AddressDialog : public QDialog {
  Q_OBJECT
 public:
  // The box's text as the list stores it. A line break typed in the box is stored as CR LF,
  // as a Windows text box gives it; a box left as it was loaded gives back the loaded text
  // exactly, so that saving an unchanged address rewrites the same bytes.
  std::string addressText() const;
  void setAddressText(const std::string& text);

 protected:
  AddressDialog(Mainn& mainWindow, const char* name, const QString& caption, int clientWidthTwips,
                const QString& command1Caption, const QRect& command1Geometry);

  // Called by "Add" / "Save changes".
  virtual void Command1_Click() = 0;
  void Command2_Click();
  // Tells the user why the text was refused, then puts the focus back into the box with the
  // whole text selected, so that typing replaces it.
  void refuse(tavelin::CommandMessage message);

  // Esc must not close the dialog: it has no cancel button.
  void keyPressEvent(QKeyEvent* event) override;

  Mainn& mainWindow_;
  QPlainTextEdit* Text1 = nullptr;
  QPushButton* Command1 = nullptr;
  QPushButton* Command2 = nullptr;

 private:
  std::string loadedText_;
  QString loadedBoxText_;
};
