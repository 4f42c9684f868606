#include "app/main_window.h"

#include <QAction>
#include <QContextMenuEvent>
#include <QIcon>
#include <QKeyEvent>
#include <QListView>
#include <QMenu>
#include <QMenuBar>
#include <QMouseEvent>
#include <QPushButton>
#include <QScreen>
#include <QTimer>

#include "app/address_list_model.h"
#include "dialogs/dialog_support.h"
#include "store/typed_address_store.h"

namespace {
constexpr int kClientWidthTwips = 7965;
constexpr int kClientHeightTwips = 3885;
}  // namespace

Mainn::Mainn(tavelin::RegistryBackend& backend, UserInteraction& interaction,
             tavelin::BrowserLauncher& launcher, QWidget* parent)
    : QMainWindow(parent), backend_(backend), interaction_(interaction), launcher_(launcher) {
  setObjectName(QStringLiteral("Mainn"));
  setWindowTitle(QStringLiteral("Tavelin v2.2 - ByQuorin"));
  setWindowIcon(QIcon(QStringLiteral(":/tavelin.png")));
  // Fixed single border: a minimize box and the close box, nothing else.
  setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                 Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                 Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint);
  buildControls();
  buildMenus();
  setFixedSize(Twips(kClientWidthTwips), Twips(kClientHeightTwips) + menuBar()->sizeHint().height());
}

Mainn::~Mainn() = default;

void Mainn::buildControls() {
  auto* client = new QWidget(this);
  client->setObjectName(QStringLiteral("client"));
  client->setFixedSize(Twips(kClientWidthTwips), Twips(kClientHeightTwips));
  setCentralWidget(client);
  const QFont font = ArialBold(9);

  List1 = new QListView(client);
  List1->setObjectName(QStringLiteral("List1"));
  List1->setGeometry(TwipsRect(0, 0, 7935, 3435));
  List1->setFont(font);
  List1->setUniformItemSizes(true);
  List1->setSelectionMode(QAbstractItemView::SingleSelection);
  List1->setEditTriggers(QAbstractItemView::NoEditTriggers);
  List1->setContextMenuPolicy(Qt::DefaultContextMenu);
  model_ = new AddressListModel(addresses_, this);
  model_->attachView(List1);
  List1->installEventFilter(this);
  List1->viewport()->installEventFilter(this);

  auto makeButton = [&](const char* name, const QRect& geometry) {
    auto* button = new QPushButton(client);
    button->setObjectName(QLatin1String(name));
    button->setGeometry(geometry);
    button->setFont(font);
    button->setAutoDefault(false);
    button->setDefault(false);
    return button;
  };
  Command1 = makeButton("Command1", TwipsRect(120, 3480, 2295, 375));
  Command1->setText(QStringLiteral("Save all changes"));
  Command2 = makeButton("Command2", TwipsRect(4200, 3480, 375, 375));
  Command2->setIcon(QIcon(QStringLiteral(":/arrow-up.png")));
  Command2->setIconSize(QSize(24, 24));
  Command2->setAccessibleName(QStringLiteral("Move the selected address up"));
  Command3 = makeButton("Command3", TwipsRect(3720, 3480, 375, 375));
  Command3->setIcon(QIcon(QStringLiteral(":/arrow-down.png")));
  Command3->setIconSize(QSize(24, 24));
  Command3->setAccessibleName(QStringLiteral("Move the selected address down"));
  connect(Command1, &QPushButton::clicked, this, &Mainn::Command1_Click);
  connect(Command2, &QPushButton::clicked, this, &Mainn::Command2_Click);
  connect(Command3, &QPushButton::clicked, this, &Mainn::Command3_Click);

  setTabOrder(List1, Command1);
  setTabOrder(Command1, Command2);
  setTabOrder(Command2, Command3);
  List1->setFocus();
}

QAction* Mainn::addMenuItem(QMenu* menu, const char* name, const QString& caption,
                            void (Mainn::*slot)()) {
  QAction* action = menu->addAction(caption);
  action->setObjectName(QLatin1String(name));
  connect(action, &QAction::triggered, this, slot);
  return action;
}

void Mainn::buildMenus() {
  auto separator = [](QMenu* menu, const char* name) {
    menu->addSeparator()->setObjectName(QLatin1String(name));
  };
  mnuFile = menuBar()->addMenu(QStringLiteral("File"));
  mnuFile->setObjectName(QStringLiteral("mnuFile"));
  addMenuItem(mnuFile, "FileReload", QStringLiteral("Reload URLs"), &Mainn::FileReload_Click)
      ->setShortcut(QKeySequence(Qt::Key_F5));
  addMenuItem(mnuFile, "FileSave", QStringLiteral("Save list as"), &Mainn::FileSave_Click)
      ->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_S));
  addMenuItem(mnuFile, "FileOpen", QStringLiteral("Open list"), &Mainn::FileOpen_Click)
      ->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_O));
  separator(mnuFile, "sepp");
  addMenuItem(mnuFile, "FileAbout", QStringLiteral("About"), &Mainn::FileAbout_Click);
  separator(mnuFile, "seppp");
  addMenuItem(mnuFile, "FileExit", QStringLiteral("Exit"), &Mainn::FileExit_Click);

  MnuAddress = menuBar()->addMenu(QStringLiteral("Options"));
  MnuAddress->setObjectName(QStringLiteral("MnuAddress"));
  addMenuItem(MnuAddress, "GotoAddress", QStringLiteral("Go to selected address"),
              &Mainn::GotoAddress_Click);
  separator(MnuAddress, "seppppp");
  addMenuItem(MnuAddress, "AddAddress", QStringLiteral("Add new address"),
              &Mainn::AddAddress_Click);
  addMenuItem(MnuAddress, "EditAddress", QStringLiteral("Edit selected address"),
              &Mainn::EditAddress_Click);
  separator(MnuAddress, "sep");
  addMenuItem(MnuAddress, "DeleteURL", QStringLiteral("Delete selected address"),
              &Mainn::DeleteURL_Click);
  addMenuItem(MnuAddress, "DeleteAll", QStringLiteral("Delete all addresses"),
              &Mainn::DeleteAll_Click);
  separator(MnuAddress, "Se");
  addMenuItem(MnuAddress, "Settings", QStringLiteral("Settings"), &Mainn::Settings_Click);
  // The menu's items answer the left button only, in the menu bar and as a pop-up.
  MnuAddress->installEventFilter(this);
}

void Mainn::Form_Load() {
  tavelin::ReloadAddresses(listContext());
  tavelin::LoadSettings(backend_, settings_);
  // Centred on the screen when first shown.
  if (const QScreen* screen = this->screen()) {
    QRect frame = frameGeometry();
    frame.moveCenter(screen->availableGeometry().center());
    move(frame.topLeft());
  }
}

void Mainn::LoadAddresses() { tavelin::LoadAddresses(backend_, addresses_); }
void Mainn::RemoveBlankAddresses() { tavelin::RemoveBlankAddresses(addresses_); }
void Mainn::SaveAddresses() { tavelin::SaveAddresses(backend_, addresses_); }
void Mainn::SelectFirstAddress() { tavelin::SelectFirstAddress(addresses_); }
void Mainn::DelSetting(tavelin::RootKey hKey, std::string_view strPath,
                       std::string_view strValue) {
  tavelin::DelSetting(backend_, hKey, strPath, strValue);
}

void Mainn::showStoreNotices() {
  for (const std::string& notice : backend_.takeNotices()) {
    interaction_.showError(this, QString::fromStdString(notice));
  }
}

void Mainn::showCommandMessage(tavelin::CommandMessage message) {
  if (message == tavelin::CommandMessage::kNone) return;
  const std::string_view text = tavelin::MessageText(message);
  interaction_.showError(this, QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())));
}

void Mainn::FileReload_Click() {
  tavelin::ReloadAddresses(listContext());
  showStoreNotices();
}

void Mainn::FileExit_Click() { close(); }

void Mainn::DeleteURL_Click() {
  const tavelin::CommandMessage message = tavelin::DeleteSelectedAddress(listContext());
  showCommandMessage(message);
  showStoreNotices();
}

void Mainn::DeleteAll_Click() {
  tavelin::DeleteAllAddresses(listContext());
  showStoreNotices();
}

void Mainn::Command1_Click() {
  tavelin::SaveAllChanges(listContext());
  showStoreNotices();
}

void Mainn::Command2_Click() {
  tavelin::MoveSelectedUp(listContext());
  showStoreNotices();
}

void Mainn::Command3_Click() {
  tavelin::MoveSelectedDown(listContext());
  showStoreNotices();
}

void Mainn::List1_KeyDown(int keyCode) {
  if (keyCode != Qt::Key_Delete) return;
  DeleteURL_Click();
}

void Mainn::List1_DblClick() {
  if (addresses_.selectionIndex() == -1) return;
  EditAddress_Click();
}

void Mainn::popUpOptionsMenu(const QPoint& globalPosition) {
  MnuAddress->setActiveAction(nullptr);
  MnuAddress->popup(globalPosition);
}

void Mainn::popUpOptionsMenuFromKeyboard() {
  const int row = addresses_.selectionIndex();
  const QPoint at = row >= 0 ? List1->visualRect(model_->index(row)).bottomLeft() : QPoint(0, 0);
  popUpOptionsMenu(List1->viewport()->mapToGlobal(at));
}

bool Mainn::eventFilter(QObject* watched, QEvent* event) {
  if (watched == MnuAddress) {
    if (event->type() == QEvent::MouseButtonRelease || event->type() == QEvent::MouseButtonPress ||
        event->type() == QEvent::MouseButtonDblClick) {
      auto* mouse = static_cast<QMouseEvent*>(event);
      // Other buttons do nothing on the items; outside the menu they still close it.
      if (mouse->button() != Qt::LeftButton &&
          MnuAddress->rect().contains(mouse->position().toPoint()))
        return true;
    }
    return QMainWindow::eventFilter(watched, event);
  }
  if (watched == List1 && event->type() == QEvent::KeyPress) {
    auto* key = static_cast<QKeyEvent*>(event);
    // Not every platform turns these keys into a context-menu event (Shift+F10 hardly any).
    if (key->key() == Qt::Key_Menu ||
        (key->key() == Qt::Key_F10 && key->modifiers() == Qt::ShiftModifier)) {
      popUpOptionsMenuFromKeyboard();
      return true;
    }
    List1_KeyDown(key->key());
    return false;  // the list still does its own work with the key
  }
  if (watched == List1 && event->type() == QEvent::ContextMenu) {
    auto* menuEvent = static_cast<QContextMenuEvent*>(event);
    // A right press has popped the menu up already; the keyboard may arrive here too.
    if (menuEvent->reason() == QContextMenuEvent::Keyboard && !MnuAddress->isVisible())
      popUpOptionsMenuFromKeyboard();
    return true;
  }
  if (watched == List1->viewport()) {
    if (event->type() == QEvent::MouseButtonPress || event->type() == QEvent::MouseButtonDblClick) {
      auto* mouse = static_cast<QMouseEvent*>(event);
      if (mouse->button() == Qt::RightButton) {
        // Consumed, so that the view does not move the selection to the row under the pointer.
        popUpOptionsMenu(mouse->globalPosition().toPoint());
        return true;
      }
      if (event->type() == QEvent::MouseButtonDblClick && mouse->button() == Qt::LeftButton) {
        // After the view has handled the click that selects the entry under the pointer.
        QTimer::singleShot(0, this, [this] { List1_DblClick(); });
      }
    }
    if (event->type() == QEvent::ContextMenu) return true;
  }
  return QMainWindow::eventFilter(watched, event);
}
