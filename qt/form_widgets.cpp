#include "qt/form_widgets.h"

#include <QAbstractButton>
#include <QApplication>
#include <QGroupBox>
#include <QIcon>
#include <QKeyEvent>
#include <QLabel>
#include <QListView>
#include <QPalette>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QSignalBlocker>
#include <QTextDocument>
#include <QTimer>
#include <algorithm>

#include "platform/wtf8.h"
#include "qt/input.h"

namespace tavelin::qt {

QString ToQString(std::string_view wtf8) {
  const std::u16string wide = Wtf8ToUtf16(wtf8);
  return QString(reinterpret_cast<const QChar*>(wide.data()), static_cast<qsizetype>(wide.size()));
}

std::string FromQString(const QString& text) {
  return Utf16ToWtf8(std::u16string_view(reinterpret_cast<const char16_t*>(text.utf16()),
                                         static_cast<std::size_t>(text.size())));
}

QRect PixelRect(const TwipsRect& rect) {
  return QRect(TwipsToPixels(rect.left, kLayoutDpi), TwipsToPixels(rect.top, kLayoutDpi),
               TwipsToPixels(rect.width, kLayoutDpi), TwipsToPixels(rect.height, kLayoutDpi));
}

QSize ClientSize(const FormLayout& form) {
  return QSize(TwipsToPixels(form.clientWidth, kLayoutDpi),
               TwipsToPixels(form.clientHeight, kLayoutDpi));
}

QFont FontOf(const FontStyle& shape) {
  QFont font(ToQString(shape.face));
  // Where the face is missing (Arial on most Linux systems) a metric-compatible sans serif,
  // such as Liberation Sans, stands in.
  font.setStyleHint(QFont::SansSerif);
  font.setPointSizeF(shape.points);
  font.setBold(shape.bold);
  return font;
}

void SetUpFixedWindow(QWidget& window, const FormLayout& form, QSize size) {
  window.setObjectName(ToQString(form.name));
  window.setWindowTitle(ToQString(form.caption));
  Qt::WindowFlags flags = window.windowType() == Qt::Dialog ? Qt::Dialog : Qt::Window;
  flags |= Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
           Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint;
  if (form.minimizeBox) flags |= Qt::WindowMinimizeButtonHint;
  window.setWindowFlags(flags);
  window.setFixedSize(size);
}

void PlaceWindow(QWidget& window, Placement placement, const QWidget* mainWindow) {
  // move() places a window's frame. The frame is known once the window system has framed
  // the window; before that a dialog takes the main window's decoration as its own.
  QRect frame = window.frameGeometry();
  QPoint centre;
  if (placement == Placement::kCentreOverMainWindow && mainWindow) {
    const QRect over = mainWindow->frameGeometry();
    if (!window.isVisible()) frame.setSize(window.size() + (over.size() - mainWindow->size()));
    centre = over.center();
  } else if (const QScreen* screen = window.screen()) {
    centre = screen->availableGeometry().center();
  } else {
    return;
  }
  frame.moveCenter(centre);
  window.move(frame.topLeft());
}

namespace {

bool TakesFocus(ControlKind kind) {
  switch (kind) {
    case ControlKind::kListBox:
    case ControlKind::kPushButton:
    case ControlKind::kPictureButton:
    case ControlKind::kTextBox:
    case ControlKind::kOptionButton:
      return true;
    case ControlKind::kFrame:
    case ControlKind::kLabel:
    case ControlKind::kTimer:
      return false;
  }
  return false;
}

QWidget* Create(const ControlLayout& shape, QWidget& parent) {
  switch (shape.kind) {
    case ControlKind::kListBox: {
      auto* list = new QListView(&parent);
      list->setUniformItemSizes(true);
      list->setSelectionMode(QAbstractItemView::SingleSelection);
      list->setEditTriggers(QAbstractItemView::NoEditTriggers);
      return list;
    }
    case ControlKind::kPushButton:
    case ControlKind::kPictureButton: {
      auto* button = new QPushButton(ToQString(shape.text), &parent);
      // Only the table's default button is one. An auto-default button would make a dialog
      // take the first of them as its default, pressed by Enter wherever the focus is; the
      // form presses the focused button itself (pressButtonForKey).
      button->setAutoDefault(false);
      button->setDefault(shape.defaultButton);
      if (!shape.picture.empty()) {
        button->setIcon(
            QIcon(QStringLiteral(":/") + ToQString(shape.picture) + QStringLiteral(".png")));
        button->setIconSize(QSize(24, 24));
      }
      return button;
    }
    case ControlKind::kTextBox: {
      auto* box = new QPlainTextEdit(&parent);
      box->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
      box->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
      // Tab moves on to the next control, as in every other text box of a dialog.
      box->setTabChangesFocus(true);
      QPalette palette = box->palette();
      palette.setColor(QPalette::Base, palette.color(QPalette::Button));
      box->setPalette(palette);
      return box;
    }
    case ControlKind::kFrame: {
      auto* frame = new QGroupBox(ToQString(shape.text), &parent);
      frame->setFocusPolicy(Qt::NoFocus);
      return frame;
    }
    case ControlKind::kOptionButton:
      return new QRadioButton(ToQString(shape.text), &parent);
    case ControlKind::kLabel: {
      auto* label = new QLabel(ToQString(shape.text), &parent);
      label->setTextFormat(Qt::PlainText);
      label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
      label->setWordWrap(shape.wordWrap);
      if (shape.highlightText) {
        QPalette palette = label->palette();
        palette.setColor(QPalette::WindowText, palette.color(QPalette::Highlight));
        label->setPalette(palette);
      }
      return label;
    }
    case ControlKind::kTimer:
      return nullptr;
  }
  return nullptr;
}

// The option buttons of one frame make one tab stop, at the selected one; the arrow keys
// move within the frame.
void MakeOneTabStop(const std::vector<QRadioButton*>& group) {
  for (QRadioButton* option : group) {
    option->setFocusPolicy(option->isChecked() ? Qt::StrongFocus : Qt::ClickFocus);
  }
}

}  // namespace

FormWidgets::FormWidgets(QWidget& client, const FormLayout& form, Form& core)
    : form_(form), core_(core) {
  // Frames first, so that their option buttons can be built inside them.
  std::vector<const ControlLayout*> order;
  for (const ControlLayout& shape : form.controls) {
    if (shape.kind == ControlKind::kFrame) order.push_back(&shape);
  }
  for (const ControlLayout& shape : form.controls) {
    if (shape.kind != ControlKind::kFrame) order.push_back(&shape);
  }
  for (const ControlLayout* shape : order) {
    if (shape->kind == ControlKind::kTimer) {
      auto* timer = new QTimer(&client);
      timer->setObjectName(ToQString(shape->name));
      timer->setInterval(shape->interval);
      built_.push_back({shape, nullptr, timer});
      continue;
    }
    QWidget* parent = shape->parent.empty() ? &client : widget(shape->parent);
    QWidget* w = Create(*shape, parent ? *parent : client);
    w->setObjectName(ToQString(shape->name));
    w->setGeometry(PixelRect(shape->rect));
    w->setFont(FontOf(shape->font));
    if (!shape->tooltip.empty()) w->setToolTip(ToQString(shape->tooltip));
    if (!shape->accessibleName.empty()) w->setAccessibleName(ToQString(shape->accessibleName));
    built_.push_back({shape, w, nullptr});
  }

  for (const ControlLayout& shape : form.controls) {
    if (shape.kind != ControlKind::kFrame) continue;
    std::vector<QRadioButton*> group;
    for (const Built& b : built_) {
      if (b.shape->parent == shape.name) {
        if (auto* option = qobject_cast<QRadioButton*>(b.widget)) group.push_back(option);
      }
    }
    for (QRadioButton* option : group) {
      QObject::connect(option, &QRadioButton::toggled, option, [group] { MakeOneTabStop(group); });
    }
    MakeOneTabStop(group);
  }

  std::vector<const Built*> stops;
  for (const Built& b : built_) {
    if (b.widget && b.shape->tabIndex >= 0 && TakesFocus(b.shape->kind)) stops.push_back(&b);
  }
  std::stable_sort(stops.begin(), stops.end(), [](const Built* a, const Built* b) {
    return a->shape->tabIndex < b->shape->tabIndex;
  });
  for (std::size_t i = 1; i < stops.size(); ++i) {
    QWidget::setTabOrder(stops[i - 1]->widget, stops[i]->widget);
  }
  connectEvents();
}

QWidget* FormWidgets::widget(std::string_view name) const {
  for (const Built& b : built_) {
    if (b.shape->name == name) return b.widget;
  }
  return nullptr;
}

QTimer* FormWidgets::timer(std::string_view name) const {
  for (const Built& b : built_) {
    if (b.shape->name == name) return b.timer;
  }
  return nullptr;
}

const ControlLayout* FormWidgets::firstOf(ControlKind kind) const {
  for (const ControlLayout& shape : form_.controls) {
    if (shape.kind == kind) return &shape;
  }
  return nullptr;
}

void FormWidgets::connectEvents() {
  Form& core = core_;
  for (const Built& b : built_) {
    const ControlLayout& shape = *b.shape;
    if (b.timer != nullptr && shape.timer != nullptr) {
      QObject::connect(b.timer, &QTimer::timeout, b.timer,
                       [&core, run = shape.timer] { run(core); });
    } else if (auto* button = qobject_cast<QAbstractButton*>(b.widget);
               button != nullptr && shape.click != nullptr) {
      // `clicked` comes from the user only (a click, Space, or an arrow key within a frame),
      // never from the front end drawing the core's state.
      QObject::connect(button, &QAbstractButton::clicked, button,
                       [&core, run = shape.click] { run(core); });
    } else if (auto* box = qobject_cast<QPlainTextEdit*>(b.widget);
               box != nullptr && shape.change != nullptr) {
      // The whole text as the box holds it: a typed line break stays a paragraph separator
      // (toPlainText would also turn no-break spaces into spaces); the core makes it CR LF.
      QObject::connect(box, &QPlainTextEdit::textChanged, box, [&core, box, run = shape.change] {
        run(core, FromQString(box->document()->toRawText()));
      });
    }
  }
}

void FormWidgets::redraw() const {
  for (const Built& b : built_) {
    const ControlLayout& shape = *b.shape;
    if (b.widget == nullptr) continue;
    if (auto* box = qobject_cast<QPlainTextEdit*>(b.widget); box && shape.value) {
      const std::string text = shape.value(core_);
      if (FromQString(box->document()->toRawText()) != text) {
        const QSignalBlocker quiet(box);
        box->setPlainText(ToQString(text));
      }
    }
    // Selecting one option of a frame clears the other.
    if (auto* option = qobject_cast<QRadioButton*>(b.widget); option && shape.selected) {
      if (shape.selected(core_)) option->setChecked(true);
    }
    if (shape.left != nullptr) {
      QRect at = PixelRect(shape.rect);
      at.moveLeft(TwipsToPixels(shape.left(core_), kLayoutDpi));
      // Left of its parent the control is simply clipped.
      b.widget->setGeometry(at);
    }
  }
}

void FormWidgets::open() const {
  redraw();
  for (const Built& b : built_) {
    auto* box = qobject_cast<QPlainTextEdit*>(b.widget);
    if (box && b.shape->selectAllOnOpen && b.shape->selectAllOnOpen(core_)) box->selectAll();
  }
  if (QWidget* first = firstTabStop()) first->setFocus();
  // Timers run from the moment the form opens until it closes.
  for (const Built& b : built_) {
    if (b.timer != nullptr) b.timer->start();
  }
}

void FormWidgets::stopTimers() const {
  for (const Built& b : built_) {
    if (b.timer != nullptr) b.timer->stop();
  }
}

void FormWidgets::focusTextSelectAll() const {
  const ControlLayout* shape = firstOf(ControlKind::kTextBox);
  auto* box = shape ? get<QPlainTextEdit>(shape->name) : nullptr;
  if (box == nullptr) return;
  box->setFocus(Qt::OtherFocusReason);
  box->selectAll();
}

QWidget* FormWidgets::firstTabStop() const {
  QWidget* first = nullptr;
  int firstIndex = 0;
  for (const Built& b : built_) {
    if (!b.widget || b.shape->tabIndex < 0 || !TakesFocus(b.shape->kind)) continue;
    if (!(b.widget->focusPolicy() & Qt::TabFocus)) continue;
    if (!first || b.shape->tabIndex < firstIndex) {
      first = b.widget;
      firstIndex = b.shape->tabIndex;
    }
  }
  return first;
}

const ControlLayout* FormWidgets::shapeOf(const QWidget* w) const {
  for (; w != nullptr; w = w->parentWidget()) {
    for (const Built& b : built_) {
      if (b.widget == w) return b.shape;
    }
  }
  return nullptr;
}

bool FormWidgets::pressButtonForKey(const QKeyEvent& event) const {
  const int key = KeyCode(event.key());
  if (key != keys::kReturn && key != keys::kEscape) return false;
  const ControlLayout* focused = shapeOf(QApplication::focusWidget());
  if (const ControlLayout* button = ButtonPressedByKey(form_, key, focused)) {
    if (auto* pressed = get<QAbstractButton>(button->name)) pressed->click();
  }
  return true;
}

}  // namespace tavelin::qt
