#include "gui_test_support.h"

#include <QApplication>
#include <QListView>
#include <QWidget>

#include "store/typed_address_store.h"

void RecordingInteraction::showError(QWidget*, const QString& text) {
  messages.push_back({QStringLiteral("error"), QStringLiteral("Error"), text});
  if (onMessage) onMessage();
}

bool RecordingInteraction::askYesNo(QWidget*, const QString& title, const QString& text) {
  messages.push_back({QStringLiteral("question"), title, text});
  if (onMessage) onMessage();
  if (answers.empty()) return true;
  const bool answer = answers.front();
  answers.pop_front();
  return answer;
}

QString RecordingInteraction::chooseSaveFile(QWidget*, const QString& title, const QString& filter,
                                             const QString& initialName) {
  dialogs.push_back({QStringLiteral("save"), title, filter, initialName});
  if (fileNames.empty()) return {};
  QString name = fileNames.front();
  fileNames.pop_front();
  return name;
}

QString RecordingInteraction::chooseOpenFile(QWidget*, const QString& title, const QString& filter,
                                             const QString& initialName) {
  dialogs.push_back({QStringLiteral("open"), title, filter, initialName});
  if (fileNames.empty()) return {};
  QString name = fileNames.front();
  fileNames.pop_front();
  return name;
}

tavelin::LaunchOutcome RecordingLauncher::open(const std::string& address,
                                               std::string_view windowMode) {
  launches.emplace_back(address, std::string(windowMode));
  return outcome;
}

MainWindowFixture::MainWindowFixture(tavelin::RegistryBackend& backend)
    : window(std::make_unique<Mainn>(backend, interaction, launcher)) {
  window->Form_Load();
}

MainWindowFixture::~MainWindowFixture() {
  window.reset();
  CloseAllWindows();
}

void StoreAddresses(tavelin::RegistryBackend& backend, const std::vector<std::string>& addresses) {
  tavelin::Transaction transaction(backend);
  for (std::size_t i = 0; i < addresses.size(); ++i) {
    tavelin::modReg::WriteRegString(backend, tavelin::kCurrentUser, tavelin::kTypedUrlsKey,
                                    tavelin::UrlValueName(i + 1), addresses[i]);
  }
}

std::vector<std::string> StoredAddresses(tavelin::RegistryBackend& backend, int upTo) {
  std::vector<std::string> out;
  tavelin::Transaction transaction(backend);
  for (int n = 1; n <= upTo; ++n) {
    const auto value = backend.queryValue(tavelin::kCurrentUser, tavelin::kTypedUrlsKey,
                                          tavelin::UrlValueName(static_cast<std::size_t>(n)));
    if (!value) break;
    out.push_back(tavelin::modReg::ReadRegString(backend, tavelin::kCurrentUser,
                                                 tavelin::kTypedUrlsKey,
                                                 tavelin::UrlValueName(static_cast<std::size_t>(n))));
  }
  return out;
}

std::vector<std::string> ListItems(const Mainn& window) {
  return const_cast<Mainn&>(window).addresses().items();
}

QStringList ViewItems(Mainn& window) {
  QStringList out;
  QAbstractItemModel* model = window.list()->model();
  for (int row = 0; row < model->rowCount(); ++row) out << model->index(row, 0).data().toString();
  return out;
}

int ViewSelection(Mainn& window) {
  const QModelIndexList selected = window.list()->selectionModel()->selectedIndexes();
  return selected.isEmpty() ? -1 : selected.first().row();
}

void CloseAllWindows() {
  for (QWidget* widget : QApplication::topLevelWidgets()) {
    if (widget->isVisible()) widget->close();
  }
  QApplication::processEvents();
}
