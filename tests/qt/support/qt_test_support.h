// What the Qt tests share: the real screen with its message boxes and file dialogs answered
// by the test (the windows and dialogs stay real), a browser launcher that only records, and
// the program on a memory registry with its real main window.
#pragma once

#include <QPoint>
#include <QStringList>
#include <deque>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/mainn.h"
#include "browse/browser_launcher.h"
#include "qt/main_window.h"
#include "qt/screen.h"
#include "support/registry_memory.h"

class QAction;
class QListView;
class QMenu;
class QPushButton;

using Strings = std::vector<std::string>;

class RecordingScreen : public tavelin::qt::QtScreen {
 public:
  // Every message, question and file dialog in order: "message:Error:No address was
  // selected.", "question:File exists:...", "save:Save addresses to...", "open:...".
  std::vector<std::string> events;
  std::vector<tavelin::MessageBoxRequest> messages;
  std::vector<tavelin::FileDialogRequest> fileDialogs;
  // Answers, in order: Yes when none is left; a cancelled file dialog when none is left.
  std::deque<bool> answers;
  std::deque<std::optional<std::string>> files;
  // Runs while a message or question is "shown", e.g. to see what is modal at that moment.
  std::function<void()> onMessage;

  std::vector<std::string> messageTexts() const;

  void showMessage(const tavelin::MessageBoxRequest& message) override;
  bool askYesNo(const tavelin::MessageBoxRequest& question) override;
  std::optional<std::string> chooseFile(const tavelin::FileDialogRequest& dialog) override;
};

class RecordingLauncher : public tavelin::BrowserLauncher {
 public:
  tavelin::LaunchOutcome open(const std::string& address, int showCommand) override;
  std::vector<std::pair<std::string, int>> launches;  // address, show command
  tavelin::LaunchOutcome outcome{true, {}};
};

// "Open hive" on registry files of the test's own; no Windows user is found.
class RegFileStoreFiles : public tavelin::StoreFiles {
 public:
  std::unique_ptr<tavelin::RegistryBackend> open(const std::string& file, bool readOnly) override;
  std::vector<Found> findHives() override { return {}; }
};

// The program on a memory registry holding `addresses` (and the save mode, when given),
// loaded as at start-up, with its main window built over it.
struct Program {
  explicit Program(const Strings& addresses = {}, const char* saveMode = nullptr);
  ~Program();
  Program(const Program&) = delete;
  Program& operator=(const Program&) = delete;

  // Shows the window as the program does and waits until it is active; then start-up's
  // messages, if any, appear over it. False when the window did not become active.
  [[nodiscard]] bool show();

  QListView* list() const;
  QAction* action(const char* name) const;
  QPushButton* button(const char* name) const;
  QMenu* optionsMenu() const;
  QPoint rowCentre(int row) const;  // in the list's viewport

  Strings items() const { return core.List1().items(); }
  int selection() const { return core.List1().selectionIndex(); }
  QStringList viewItems() const;
  int viewSelection() const;
  Strings stored();

  tavelin::MemoryRegistry registry;
  RecordingScreen screen;
  RecordingLauncher launcher;
  RegFileStoreFiles storeFiles;
  tavelin::Mainn core{registry, screen, launcher, &storeFiles};
  std::unique_ptr<tavelin::qt::MainWindow> window;
};

void StoreAddresses(tavelin::RegistryBackend& backend, const Strings& addresses);
Strings StoredAddresses(tavelin::RegistryBackend& backend);
void StoreSetting(tavelin::RegistryBackend& backend, std::string_view name, const char* text);
// The stored text, or "-" when the value is missing.
std::string StoredSetting(tavelin::RegistryBackend& backend, std::string_view name);

QStringList ToQt(const Strings& items);

// Closes every top-level window that is still open (each test ends with none open).
void CloseAllWindows();
// The names of the top-level windows still on the screen.
QStringList OpenWindows();
