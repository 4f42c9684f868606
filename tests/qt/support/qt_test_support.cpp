#include "qt_test_support.h"

#include <QAction>
#include <QApplication>
#include <QListView>
#include <QMenu>
#include <QPushButton>
#include <QTest>

#include "store/registry_file.h"
#include "store/settings_store.h"
#include "store/typed_address_store.h"

using namespace tavelin;

std::vector<std::string> RecordingScreen::messageTexts() const {
  std::vector<std::string> out;
  for (const MessageBoxRequest& m : messages) out.push_back(m.text);
  return out;
}

void RecordingScreen::showMessage(const MessageBoxRequest& message) {
  messages.push_back(message);
  events.push_back("message:" + message.title + ":" + message.text);
  if (onMessage) onMessage();
}

bool RecordingScreen::askYesNo(const MessageBoxRequest& question) {
  events.push_back("question:" + question.title + ":" + question.text);
  if (onMessage) onMessage();
  if (answers.empty()) return true;
  const bool answer = answers.front();
  answers.pop_front();
  return answer;
}

std::optional<std::string> RecordingScreen::chooseFile(const FileDialogRequest& dialog) {
  fileDialogs.push_back(dialog);
  events.push_back(std::string(dialog.save ? "save:" : "open:") + dialog.title);
  if (files.empty()) return std::nullopt;
  std::optional<std::string> chosen = files.front();
  files.pop_front();
  return chosen;
}

LaunchOutcome RecordingLauncher::open(const std::string& address, int showCommand) {
  launches.emplace_back(address, showCommand);
  return outcome;
}

std::unique_ptr<RegistryBackend> RegFileStoreFiles::open(const std::string& file, bool readOnly) {
  auto store = std::make_unique<RegFileRegistry>(file);
  store->setReadOnly(readOnly);
  return store;
}

Program::Program(const Strings& addresses, const char* saveMode) {
  StoreAddresses(registry, addresses);
  if (saveMode) StoreSetting(registry, kSaveModeValue, saveMode);
  window = std::make_unique<qt::MainWindow>(core);
  screen.setMainWindow(window.get());
  core.Form_Load();
}

Program::~Program() {
  CloseAllWindows();
  screen.setMainWindow(nullptr);
  window.reset();
}

bool Program::show() {
  window->place();
  window->show();
  if (!QTest::qWaitForWindowActive(window.get())) return false;
  core.Form_Shown();
  return true;
}

QListView* Program::list() const {
  return window->list();
}

QAction* Program::action(const char* name) const {
  return window->findChild<QAction*>(QLatin1String(name));
}

QPushButton* Program::button(const char* name) const {
  return window->findChild<QPushButton*>(QLatin1String(name));
}

QMenu* Program::optionsMenu() const {
  return window->menu(Mainn::kOptionsMenu);
}

QPoint Program::rowCentre(int row) const {
  return list()->visualRect(list()->model()->index(row, 0)).center();
}

QStringList Program::viewItems() const {
  QStringList out;
  const QAbstractItemModel* model = list()->model();
  for (int row = 0; row < model->rowCount(); ++row) out << model->index(row, 0).data().toString();
  return out;
}

int Program::viewSelection() const {
  const QModelIndexList selected = list()->selectionModel()->selectedIndexes();
  return selected.isEmpty() ? -1 : selected.first().row();
}

Strings Program::stored() {
  return StoredAddresses(registry);
}

void StoreAddresses(RegistryBackend& backend, const Strings& addresses) {
  Transaction transaction(backend);
  for (std::size_t i = 0; i < addresses.size(); ++i) {
    modReg::WriteRegString(backend, kCurrentUser, kTypedUrlsKey, UrlValueName(i + 1), addresses[i]);
  }
}

Strings StoredAddresses(RegistryBackend& backend) {
  Strings out;
  Transaction transaction(backend);
  for (std::size_t n = 1; n <= 200; ++n) {
    if (!backend.queryValue(kCurrentUser, kTypedUrlsKey, UrlValueName(n))) break;
    out.push_back(modReg::ReadRegString(backend, kCurrentUser, kTypedUrlsKey, UrlValueName(n)));
  }
  return out;
}

void StoreSetting(RegistryBackend& backend, std::string_view name, const char* text) {
  modReg::WriteRegString(backend, kCurrentUser, kSettingsKey, name, text);
}

std::string StoredSetting(RegistryBackend& backend, std::string_view name) {
  Transaction transaction(backend);
  if (!backend.queryValue(kCurrentUser, kSettingsKey, name)) return "-";
  return modReg::ReadRegString(backend, kCurrentUser, kSettingsKey, name);
}

QStringList ToQt(const Strings& items) {
  QStringList out;
  for (const std::string& item : items) out << QString::fromStdString(item);
  return out;
}

void CloseAllWindows() {
  for (int round = 0; round < 5; ++round) {
    bool closed = false;
    for (QWidget* widget : QApplication::topLevelWidgets()) {
      if (widget->isVisible()) {
        widget->close();
        closed = true;
      }
    }
    QApplication::processEvents();
    if (!closed) return;
  }
}

QStringList OpenWindows() {
  QStringList out;
  for (QWidget* widget : QApplication::topLevelWidgets()) {
    if (widget->isVisible())
      out << widget->metaObject()->className() + QStringLiteral(":") + widget->objectName();
  }
  return out;
}
