#include "app/user_interaction.h"

#include <QFileDialog>
#include <QMessageBox>

void WidgetInteraction::showError(QWidget* parent, const QString& text) {
  QMessageBox box(QMessageBox::Warning, QStringLiteral("Error"), text, QMessageBox::Ok, parent);
  box.setObjectName(QStringLiteral("ErrorMessage"));
  box.exec();
}

bool WidgetInteraction::askYesNo(QWidget* parent, const QString& title, const QString& text) {
  QMessageBox box(QMessageBox::Question, title, text, QMessageBox::Yes | QMessageBox::No, parent);
  box.setObjectName(QStringLiteral("Question"));
  box.setDefaultButton(QMessageBox::Yes);
  box.setEscapeButton(QMessageBox::No);
  return box.exec() == QMessageBox::Yes;
}

QString WidgetInteraction::chooseSaveFile(QWidget* parent, const QString& title,
                                          const QString& filter, const QString& initialName) {
  // The command asks its own question about replacing a file.
  return QFileDialog::getSaveFileName(parent, title, initialName, filter, nullptr,
                                      QFileDialog::DontConfirmOverwrite);
}

QString WidgetInteraction::chooseOpenFile(QWidget* parent, const QString& title,
                                          const QString& filter, const QString& initialName) {
  // Any name is accepted: the command itself tells the user when no such file exists.
  QFileDialog dialog(parent, title, initialName, filter);
  dialog.setAcceptMode(QFileDialog::AcceptOpen);
  dialog.setFileMode(QFileDialog::AnyFile);
  if (dialog.exec() != QDialog::Accepted) return {};
  const QStringList chosen = dialog.selectedFiles();
  return chosen.isEmpty() ? QString() : chosen.first();
}
