// The main window: the typed-address list, three buttons and the menus.
#pragma once

#include <QMainWindow>
#include <QString>

#include "app/user_interaction.h"
#include "browse/browser_launcher.h"
#include "store/address_list.h"
#include "store/list_commands.h"
#include "store/registry.h"
#include "store/settings_store.h"

class AddressListModel;
class QAction;
class QListView;
class QMenu;
class QPushButton;

class Mainn : public QMainWindow {
  Q_OBJECT
 public:
  Mainn(tavelin::RegistryBackend& backend, UserInteraction& interaction,
        tavelin::BrowserLauncher& launcher, QWidget* parent = nullptr);
  ~Mainn() override;

  // Start-up: fills the list from the store (compacting it) and reads the settings. Run once,
  // before the window is shown.
  void Form_Load();

  // The store procedures, on this window's list.
  void LoadAddresses();
  void RemoveBlankAddresses();
  void SaveAddresses();
  void SelectFirstAddress();
  void DelSetting(tavelin::RootKey hKey, std::string_view strPath, std::string_view strValue);

  tavelin::AddressList& addresses() { return addresses_; }
  tavelin::ProgramSettings& settings() { return settings_; }
  tavelin::RegistryBackend& backend() { return backend_; }
  UserInteraction& interaction() { return interaction_; }
  tavelin::BrowserLauncher& launcher() { return launcher_; }
  tavelin::ListContext listContext() { return {backend_, addresses_, settings_}; }

  // Tells the user what the store asked to be told (an unreadable file, a failed write).
  void showStoreNotices();
  // Shows a command's message, if it has one, in a box titled "Error".
  void showCommandMessage(tavelin::CommandMessage message);

  // The menu "Options", also popped up over the list.
  QMenu* optionsMenu() const { return MnuAddress; }
  QListView* list() const { return List1; }

  // The full name last chosen in either list-file dialog.
  QString lastListFileName;

 public slots:
  void FileReload_Click();
  void FileSave_Click();
  void FileOpen_Click();
  void FileAbout_Click();
  void FileExit_Click();
  void GotoAddress_Click();
  void AddAddress_Click();
  void EditAddress_Click();
  void DeleteURL_Click();
  void DeleteAll_Click();
  void Settings_Click();
  void Command1_Click();
  void Command2_Click();
  void Command3_Click();

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void buildControls();
  void buildMenus();
  QAction* addMenuItem(QMenu* menu, const char* name, const QString& caption, void (Mainn::*slot)());
  void popUpOptionsMenu(const QPoint& globalPosition);
  void popUpOptionsMenuFromKeyboard();
  void List1_KeyDown(int keyCode);
  void List1_DblClick();

  tavelin::RegistryBackend& backend_;
  UserInteraction& interaction_;
  tavelin::BrowserLauncher& launcher_;
  tavelin::AddressList addresses_;
  tavelin::ProgramSettings settings_;

  AddressListModel* model_ = nullptr;
  QListView* List1 = nullptr;
  QPushButton* Command1 = nullptr;
  QPushButton* Command2 = nullptr;
  QPushButton* Command3 = nullptr;
  QMenu* mnuFile = nullptr;
  QMenu* MnuAddress = nullptr;
};
