// Qt widgets built from the core's layout tables: one widget per control, named as the table
// names it, with its text, font and tooltip, placed in pixels at 96 dpi (Qt scales those
// device-independent pixels for the screen), in the table's tab order.
#pragma once

#include <QFont>
#include <QRect>
#include <QSize>
#include <QString>
#include <string>
#include <string_view>
#include <vector>

#include "ui/forms.h"

class QKeyEvent;
class QTimer;
class QWidget;

namespace tavelin::qt {

// The core's text (WTF-8) and Qt's (UTF-16), both ways without loss.
QString ToQString(std::string_view wtf8);
std::string FromQString(const QString& text);

inline constexpr int kLayoutDpi = 96;
QRect PixelRect(const TwipsRect& rect);
QSize ClientSize(const FormLayout& form);
QFont FontOf(const FontStyle& font);

// A fixed-size window of the form's client size with a close box, a minimize box where the
// table has one, and never a maximize box.
void SetUpFixedWindow(QWidget& window, const FormLayout& form, QSize size);

// Puts the window where the table says: centred on its screen, or over the main window
// (on the screen when there is none).
void PlaceWindow(QWidget& window, Placement placement, const QWidget* mainWindow);

// The controls of one form, built as children of `client`, each event wired to what its row
// in the table names, called on `core`.
class FormWidgets {
 public:
  FormWidgets(QWidget& client, const FormLayout& form, Form& core);

  const FormLayout& form() const { return form_; }
  QWidget* widget(std::string_view name) const;
  template <class W>
  W* get(std::string_view name) const {
    return qobject_cast<W*>(widget(name));
  }
  QTimer* timer(std::string_view name) const;
  // The form's first control of a kind, or null.
  const ControlLayout* firstOf(ControlKind kind) const;

  // Draws what the form holds now, where its rows ask: a text box's text, the selected
  // option button, the place of a control that moves.
  void redraw() const;
  // As the form opens: drawn, the text selected where the row asks, the focus on the first
  // tab stop, the timers running.
  void open() const;
  void stopTimers() const;
  // The form's text box takes the focus with its whole text selected.
  void focusTextSelectAll() const;
  // The first control that Tab reaches: the one that has the focus when the form opens.
  QWidget* firstTabStop() const;
  // The table row of a control of the form (or of a widget inside one), or null.
  const ControlLayout* shapeOf(const QWidget* widget) const;
  // Enter and Esc, as the form's table says: Enter presses the focused button, else the
  // default button; Esc the cancel button. True when the key was one of the two, which then
  // does nothing else, whether or not it pressed a button.
  bool pressButtonForKey(const QKeyEvent& event) const;

 private:
  struct Built {
    const ControlLayout* shape;
    QWidget* widget;  // null for a timer
    QTimer* timer;
  };
  void connectEvents();

  const FormLayout& form_;
  Form& core_;
  std::vector<Built> built_;
};

}  // namespace tavelin::qt
