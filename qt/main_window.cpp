#include "qt/main_window.h"

#include <QAction>
#include <QApplication>
#include <QContextMenuEvent>
#include <QIcon>
#include <QKeyEvent>
#include <QListView>
#include <QMenu>
#include <QMenuBar>
#include <QMouseEvent>
#include <QTimer>
#include <QWindow>
#include <algorithm>
#include <cstdint>

#include "qt/address_list_model.h"
#include "qt/input.h"

namespace tavelin::qt {

MainWindow::MainWindow(Mainn& core, QWidget* parent) : QMainWindow(parent), core_(core) {
  const FormLayout& form = Mainn::Layout();
  setWindowIcon(QIcon(QStringLiteral(":/tavelin.png")));

  auto* client = new QWidget(this);
  client->setObjectName(QStringLiteral("client"));
  client->setFixedSize(ClientSize(form));
  setCentralWidget(client);
  widgets_ = std::make_unique<FormWidgets>(*client, form, core_);

  listShape_ = widgets_->firstOf(ControlKind::kListBox);
  list_ = widgets_->get<QListView>(listShape_->name);
  model_ = new AddressListModel(core_, listShape_->select, this);
  model_->attachView(list_);
  list_->setContextMenuPolicy(Qt::DefaultContextMenu);
  list_->installEventFilter(this);
  list_->viewport()->installEventFilter(this);

  buildMenus();
  // The client area lies below the menu bar.
  SetUpFixedWindow(*this, form, ClientSize(form) + QSize(0, menuBar()->sizeHint().height()));
  showCaption();
  if (QWidget* first = widgets_->firstTabStop()) first->setFocus();
}

MainWindow::~MainWindow() = default;

QMenu* MainWindow::menu(std::string_view name) const {
  return findChild<QMenu*>(ToQString(name), Qt::FindDirectChildrenOnly);
}

void MainWindow::buildMenus() {
  for (const MenuLayout& shape : Mainn::Menus()) {
    QMenu* menu = new QMenu(ToQString(shape.caption), this);
    menu->setObjectName(ToQString(shape.name));
    menuBar()->addMenu(menu);
    for (const MenuItemLayout& item : shape.items) {
      if (item.separator()) {
        menu->addSeparator()->setObjectName(ToQString(item.name));
        continue;
      }
      QAction* action = menu->addAction(ToQString(item.caption));
      action->setObjectName(ToQString(item.name));
      QList<QKeySequence> shortcuts;
      for (const Shortcut& shortcut : {item.shortcut, item.alsoShortcut}) {
        const QKeySequence sequence = KeySequence(shortcut);
        if (!sequence.isEmpty()) shortcuts << sequence;
      }
      action->setShortcuts(shortcuts);
      connect(action, &QAction::triggered, this,
              [&core = core_, run = item.handler] { run(core); });
    }
    if (shape.name == Mainn::kOptionsMenu) {
      optionsMenu_ = menu;
      // Its items answer the left button only, in the menu bar and as a pop-up.
      menu->installEventFilter(this);
    }
  }
}

void MainWindow::popUpOptionsMenu(PopUpPlace place) {
  if (!optionsMenu_) return;
  QPoint at = QCursor::pos();
  if (place == PopUpPlace::kAtSelection) {
    const int row = core_.List1().selectionIndex();
    const QPoint inView =
        row >= 0 ? list_->visualRect(model_->index(row)).bottomLeft() : QPoint(0, 0);
    at = list_->viewport()->mapToGlobal(inView);
  }
  optionsMenu_->setActiveAction(nullptr);
  optionsMenu_->popup(at);
}

void MainWindow::showCaption() {
  setWindowTitle(ToQString(core_.Caption()));
}

void MainWindow::place() {
  PlaceWindow(*this, Mainn::Layout().placement, nullptr);
}

void MainWindow::showEvent(QShowEvent* event) {
  QMainWindow::showEvent(event);
  // The window system frames the window only once it is on the screen: it is placed again
  // when it is first exposed with its frame known.
  if (!placedWithFrame_ && windowHandle()) windowHandle()->installEventFilter(this);
}

void MainWindow::keyPressEvent(QKeyEvent* event) {
  if (widgets_->pressButtonForKey(*event)) {
    event->accept();
    return;
  }
  QMainWindow::keyPressEvent(event);
}

bool MainWindow::listKeyPress(QKeyEvent* key) {
  // Not every platform turns these keys into a context-menu event (Shift+F10 hardly any).
  if (key->key() == Qt::Key_Menu ||
      (key->key() == Qt::Key_F10 && key->modifiers() == Qt::ShiftModifier)) {
    Dispatch(listShape_->contextMenuKey, core_);
    return true;
  }
  Dispatch(listShape_->keyDown, core_, KeyCode(key->key()), ShiftState(key->modifiers()));
  return typeAhead(*key);
}

bool MainWindow::typeAhead(const QKeyEvent& key) {
  const QString text = key.text();
  if (text.isEmpty() || !text.at(0).isPrint() || text.at(0).isSpace() ||
      (key.modifiers() & (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier))) {
    return false;  // the list still does its own work with the key
  }
  if (listShape_->typeAhead == nullptr) return false;
  // The core keeps what has been typed and chooses the entry, rather than the view's own
  // search, so that both front ends select the same one.
  const auto interval =
      static_cast<std::uint32_t>(std::max(0, QApplication::keyboardInputInterval()));
  const int match = listShape_->typeAhead(core_, FromQString(text), KeyTime(key), interval);
  if (match >= 0) Dispatch(listShape_->select, core_, match);
  return true;
}

bool MainWindow::viewportMouse(QMouseEvent* mouse) {
  const int button = MouseButton(mouse->button());
  if (button == 0) return false;
  Dispatch(listShape_->mouseDown, core_, button, ShiftState(mouse->modifiers()));
  if (button == mouse::kRight) {
    // Consumed, so that the view does not move the selection to the row under the pointer.
    return true;
  }
  if (mouse->type() == QEvent::MouseButtonDblClick && button == mouse::kLeft) {
    // After the view has handled the click that selects the entry under the pointer.
    QTimer::singleShot(0, this, [this] { Dispatch(listShape_->dblClick, core_); });
  }
  return false;
}

bool MainWindow::eventFilter(QObject* watched, QEvent* event) {
  const QEvent::Type type = event->type();
  const bool mouseButton = type == QEvent::MouseButtonPress || type == QEvent::MouseButtonRelease ||
                           type == QEvent::MouseButtonDblClick;
  if (watched == optionsMenu_) {
    if (mouseButton) {
      auto* mouse = static_cast<QMouseEvent*>(event);
      // Other buttons do nothing on the items; outside the menu they still close it.
      if (mouse->button() != Qt::LeftButton &&
          optionsMenu_->rect().contains(mouse->position().toPoint())) {
        return true;
      }
    }
    return false;
  }
  if (watched == list_) {
    if (type == QEvent::KeyPress) return listKeyPress(static_cast<QKeyEvent*>(event));
    if (type == QEvent::ContextMenu) {
      // A right press has popped the menu up already; the keyboard may arrive here too.
      auto* menuEvent = static_cast<QContextMenuEvent*>(event);
      if (menuEvent->reason() == QContextMenuEvent::Keyboard && !optionsMenu_->isVisible()) {
        Dispatch(listShape_->contextMenuKey, core_);
      }
      return true;
    }
    return false;
  }
  if (list_ && watched == list_->viewport()) {
    if (type == QEvent::MouseButtonPress || type == QEvent::MouseButtonDblClick) {
      return viewportMouse(static_cast<QMouseEvent*>(event));
    }
    return type == QEvent::ContextMenu;
  }
  if (watched == windowHandle() && type == QEvent::Expose && !placedWithFrame_) {
    if (windowHandle()->isExposed() && frameGeometry() != geometry()) {
      placedWithFrame_ = true;
      windowHandle()->removeEventFilter(this);
      place();
    }
  }
  return QMainWindow::eventFilter(watched, event);
}

}  // namespace tavelin::qt
