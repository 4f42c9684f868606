// app/ is the program without a toolkit: start-up, the main window (Mainn) with every handler
// of it, and the one place where the parts are put together. It may use every core folder
// below it, never a toolkit; the front ends (qt/, win32/) build on it.
//
// The main window without a toolkit: its state (the list with its selection, the two
// settings, the last list-file name), its layout and menus as data, and every handler. A
// front end builds the window from Layout() and Menus(), shows the list through the list's
// observer, and runs what each control's row or menu item names for its events.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "app/system_registry.h"
#include "browse/browser_launcher.h"
#include "list/address_list.h"
#include "list/list_commands.h"
#include "store/registry.h"
#include "store/settings_store.h"
#include "ui/forms.h"
#include "ui/screen.h"

namespace tavelin {

// "Min" opens the browser minimized; "Max" and every other text (empty text included, the
// state before the settings were first saved) open it maximized.
int WindowModeToShowCommand(std::string_view windowMode);

// How a list row shows its entry: each line break (CR LF, LF or CR) as one "¶", so that
// every row stays one line tall. The entry itself is not changed.
std::string ListDisplayText(std::string_view entry);

// Type-ahead in the list: the entry that typing `prefix` selects, or -1 when none begins with
// it. The search runs from the entry after `selection` for a single character (so that typing
// one letter again moves on to the next entry with it) and from `selection` itself for a
// longer prefix typed quickly one character after another, wrapping round; letter case is
// ignored.
int TypeAheadMatch(const std::vector<std::string>& entries, int selection, std::string_view prefix);

// What has been typed in the list for type-ahead. A character typed less than `interval`
// milliseconds after the one before extends the prefix; the first one, and one typed after a
// longer pause, starts a new prefix. Times are the key events' own, in milliseconds of the
// window system's clock, which wraps round at 2^32: only the difference of two counts.
class TypeAhead {
 public:
  // `text` typed at `time`: the entry that the prefix now selects (TypeAheadMatch), or -1.
  int type(const std::vector<std::string>& entries, int selection, std::string_view text,
           std::uint32_t time, std::uint32_t interval);
  const std::string& prefix() const { return prefix_; }

 private:
  std::string prefix_;
  std::uint32_t lastTime_ = 0;
};

class Mainn : public Form {
 public:
  // `storeFiles`, where given, opens the hives that "Open hive" chooses; `store` is what
  // `backend` is, as the title names it.
  Mainn(RegistryBackend& backend, Screen& screen, BrowserLauncher& launcher,
        StoreFiles* storeFiles = nullptr, StoreChoice store = {});

  static const FormLayout& Layout();
  static std::span<const MenuLayout> Menus();
  // The menu that also pops up over the list.
  static constexpr std::string_view kOptionsMenu = "MnuAddress";

  // The title: the layout's caption, naming the store's file when it is not the platform's
  // own, and saying when it was opened read-only.
  std::string Caption() const;
  RegistryBackend& backend() { return *backend_; }
  const StoreChoice& store() const { return store_; }

  AddressList& List1() { return list_; }
  const AddressList& List1() const { return list_; }
  std::string List1_DisplayText(std::size_t row) const { return ListDisplayText(list_.item(row)); }
  ProgramSettings& settings() { return settings_; }
  const std::string& lastListFileName() const { return lastListFileName_; }
  const UndoHistory& history() const { return history_; }

  // Start-up, before the window is shown: the list from the store, compacted, then the
  // settings. Whatever the store could not do is told by Form_Shown.
  void Form_Load();
  // The window is on the screen: start-up's messages are shown now, over it.
  void Form_Shown();

  void FileReload_Click();
  void FileSave_Click();
  void FileOpen_Click();
  void FileOpenHive_Click();
  void FileOpenHiveReadOnly_Click();
  void FileAbout_Click();
  void FileExit_Click();
  void GotoAddress_Click();
  void AddAddress_Click();
  void EditAddress_Click();
  void DeleteURL_Click();
  void DeleteAll_Click();
  void Undo_Click();
  void Redo_Click();
  void Settings_Click();
  void Command1_Click();  // "Save all changes"
  void Command2_Click();  // move up
  void Command3_Click();  // move down

  // The user selected a row (or none, -1) with the mouse or the keys. A list that has a
  // selection keeps one: no input clears it.
  void List1_Click(int index);
  // The entry that a prefix typed in the list selects (see TypeAheadMatch), or -1.
  int List1_TypeAheadMatch(std::string_view prefix) const {
    return TypeAheadMatch(list_.items(), list_.selectionIndex(), prefix);
  }
  // A character typed in the list at `time`, the key event's, with `interval` the pause after
  // which the platform starts a new search: the entry the typing selects (see TypeAhead), or
  // -1. The front end selects it as the user's choice.
  int List1_TypeAhead(std::string_view text, std::uint32_t time, std::uint32_t interval) {
    return typeAhead_.type(list_.items(), list_.selectionIndex(), text, time, interval);
  }
  // A key went down while the list had the focus; `shiftState` holds shift:: bits. The list
  // still does its own work with the key afterwards.
  void List1_KeyDown(int keyCode, int shiftState);
  // A mouse button went down on the list; `button` is a mouse:: value.
  void List1_MouseDown(int button, int shiftState);
  void List1_DblClick();
  // The keyboard asked for the list's context menu (the Menu key, Shift+F10).
  void List1_ContextMenuKey();

 private:
  ListContext context();
  void Show(const CommandResult& result);
  void ShowError(std::string_view text);
  // "Open hive": the window goes over to the chosen file as a start-up on it would.
  void OpenHive(bool readOnly);
  // In manual mode, whether the list differs from the store as last read or written.
  bool HasUnsavedChanges() const;

  RegistryBackend* backend_;
  Screen& screen_;
  BrowserLauncher& launcher_;
  StoreFiles* storeFiles_;
  StoreChoice store_;
  std::unique_ptr<RegistryBackend> opened_;  // a store opened since start-up
  AddressList list_;
  ProgramSettings settings_;
  std::string lastListFileName_;
  UndoHistory history_;
  // The stored list as this window last read or wrote it (see ListContext).
  std::optional<TypedAddresses> storedBase_;
  std::vector<std::string> startUpMessages_;
  TypeAhead typeAhead_;
};

}  // namespace tavelin
