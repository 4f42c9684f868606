// Layout helpers shared by the main window and the dialogs. Positions are designed in twips;
// fifteen twips make one device-independent pixel, and Qt scales those for the screen.
#pragma once

#include <QFont>
#include <QRect>

class QDialog;
class QWidget;

constexpr int Twips(int twips) { return twips / 15; }
inline QRect TwipsRect(int left, int top, int width, int height) {
  return QRect(Twips(left), Twips(top), Twips(width), Twips(height));
}

// Arial bold at the given size (Liberation Sans stands in where Arial is missing).
QFont ArialBold(double points);

// A dialog of fixed client size with only a close box in its title bar.
void ConfigureFixedDialog(QDialog& dialog, int clientWidthTwips, int clientHeightTwips);

// Shows the dialog modal for the whole program, without an owner window, centred over the
// main window, and returns when it has closed.
int ShowModalCentredOver(QDialog& dialog, QWidget* mainWindow);
