// What the GUI tests share: a seam that records messages and gives prepared answers, a
// browser launcher that records addresses, and a main window set up on a store.
#pragma once

#include <QString>
#include <QStringList>
#include <deque>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "app/main_window.h"
#include "app/user_interaction.h"
#include "browse/browser_launcher.h"
#include "store/registry.h"

struct RecordedMessage {
  QString kind;  // "error" or "question"
  QString title;
  QString text;
};

class RecordingInteraction : public UserInteraction {
 public:
  void showError(QWidget* parent, const QString& text) override;
  bool askYesNo(QWidget* parent, const QString& title, const QString& text) override;
  QString chooseSaveFile(QWidget* parent, const QString& title, const QString& filter,
                         const QString& initialName) override;
  QString chooseOpenFile(QWidget* parent, const QString& title, const QString& filter,
                         const QString& initialName) override;

  std::vector<RecordedMessage> messages;
  // Answers to questions, in order; Yes when none is left.
  std::deque<bool> answers;
  // File names the dialogs return, in order; empty text (cancel) when none is left.
  std::deque<QString> fileNames;
  struct DialogCall {
    QString kind, title, filter, initialName;
  };
  std::vector<DialogCall> dialogs;
  // Called while a message is "shown", e.g. to check what is modal at that moment.
  std::function<void()> onMessage;
};

class RecordingLauncher : public tavelin::BrowserLauncher {
 public:
  tavelin::LaunchOutcome open(const std::string& address, std::string_view windowMode) override;
  std::vector<std::pair<std::string, std::string>> launches;  // address, window mode
  tavelin::LaunchOutcome outcome{true, {}};
};

// A main window on the given store, loaded as at start-up, with recording seams.
struct MainWindowFixture {
  explicit MainWindowFixture(tavelin::RegistryBackend& backend);
  ~MainWindowFixture();
  RecordingInteraction interaction;
  RecordingLauncher launcher;
  std::unique_ptr<Mainn> window;
};

// Typed-address store helpers for tests.
void StoreAddresses(tavelin::RegistryBackend& backend, const std::vector<std::string>& addresses);
std::vector<std::string> StoredAddresses(tavelin::RegistryBackend& backend, int upTo = 200);
std::vector<std::string> ListItems(const Mainn& window);
QStringList ViewItems(Mainn& window);
int ViewSelection(Mainn& window);

// Closes every top-level window that is still open (each test ends with none open).
void CloseAllWindows();
