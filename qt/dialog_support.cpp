#include "dialogs/dialog_support.h"

#include <QDialog>
#include <QWidget>

QFont ArialBold(double points) {
  QFont font(QStringLiteral("Arial"));
  font.setStyleHint(QFont::SansSerif);
  font.setPointSizeF(points);
  font.setBold(true);
  return font;
}

void ConfigureFixedDialog(QDialog& dialog, int clientWidthTwips, int clientHeightTwips) {
  dialog.setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                        Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint |
                        Qt::MSWindowsFixedSizeDialogHint);
  dialog.setFixedSize(Twips(clientWidthTwips), Twips(clientHeightTwips));
  dialog.setSizeGripEnabled(false);
}

int ShowModalCentredOver(QDialog& dialog, QWidget* mainWindow) {
  dialog.setWindowModality(Qt::ApplicationModal);
  if (mainWindow) {
    const QRect over = mainWindow->frameGeometry();
    // move() places the dialog's frame, which is not known before it is shown: take the
    // main window's decoration as the dialog's.
    const QSize decoration = over.size() - mainWindow->size();
    QRect mine(QPoint(0, 0), dialog.size() + decoration);
    mine.moveCenter(over.center());
    dialog.move(mine.topLeft());
  }
  return dialog.exec();
}
