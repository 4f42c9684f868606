// The commands that change the typed-address list: what happens to the list and its
// selection, what reaches the store in each save mode, and what the user must be told.
// The main window's handlers call these and show what they return.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "list/address_list.h"
#include "list/undo_history.h"
#include "store/registry.h"
#include "store/settings_store.h"

namespace tavelin {

// A command's own refusal, shown in a box titled "Error" with the exclamation icon.
enum class CommandMessage { kNone, kNoAddressSelected, kCannotAddEmpty, kCannotSaveEmpty };
std::string_view MessageText(CommandMessage message);

// What a command came to: its own refusal (then nothing changed), and one notice for every
// transaction of it that did not reach the store. The list always keeps the command's own
// change, whether or not the store followed.
struct CommandResult {
  CommandMessage refusal = CommandMessage::kNone;
  std::vector<std::string> storeNotices;

  bool refused() const { return refusal != CommandMessage::kNone; }
  // Everything to show, in order: the refusal, then the store's notices.
  std::vector<std::string> messages() const;
};

// The question asked when another program changed the stored list since this window last
// read or wrote it, before this window's list replaces it.
inline constexpr std::string_view kStoreChangedTitle = "Tavelin";
inline constexpr std::string_view kStoreChangedQuestion =
    "The typed addresses were changed by another program since Tavelin read them. Replace "
    "them with the list shown here?";

struct ListContext {
  RegistryBackend& backend;
  AddressList& list;
  const ProgramSettings& settings;
  // Where each change of the list is kept for undo; none when not given.
  UndoHistory* history = nullptr;
  // The stored list (compacted, with its times) as of this window's last successful read or
  // write. A command that rewrites the list first reads the store under the same lock; if it
  // no longer holds this, another program wrote it meanwhile and the command writes only
  // when `replaceChangedStore` says Yes (asked with no lock held). Empty before the first
  // successful read, and no check is made without it.
  std::optional<TypedAddresses>* base = nullptr;
  std::function<bool()> replaceChangedStore = {};
};

// Start-up: the list read afresh and compacted, then the two settings, in one transaction.
// When the read succeeds, `base` (if given) becomes the list as read.
CommandResult StartUp(RegistryBackend& backend, AddressList& list, ProgramSettings& settings,
                      std::optional<TypedAddresses>* base = nullptr);
// Start-up on a store that is to replace the window's ("Open hive"): the same, into the
// given list, settings and base, except that a store that cannot be opened is refused:
// `refusal` is then a sentence naming it and saying why (its read failed, or it lacks
// changes it could not recover), and nothing read is to be used.
CommandResult StartUpOpened(RegistryBackend& backend, AddressList& list, ProgramSettings& settings,
                            std::optional<TypedAddresses>& base, std::string& refusal);
// "Reload URLs": the list read afresh and compacted; a failed read leaves the list as it was.
CommandResult ReloadAddresses(ListContext context);

// "Delete selected address" and the Delete key.
CommandResult DeleteSelectedAddress(ListContext context);
// "Delete all addresses".
CommandResult DeleteAllAddresses(ListContext context);
// "Save all changes": the store is rewritten from the list in either save mode, and the list
// shows what the store then holds. When the store could not be written the list stays.
CommandResult SaveAllChanges(ListContext context);
// The arrow buttons; nothing happens at either end or without a selection.
CommandResult MoveSelectedUp(ListContext context);
CommandResult MoveSelectedDown(ListContext context);

// The Add dialog's "Add": appends the text as typed, unless it is blank.
CommandResult AddAddress(ListContext context, std::string_view text);
// Whether the Edit dialog may open: it needs a selection.
CommandMessage CheckEditable(const AddressList& list);
// The Edit dialog's "Save changes": replaces the selected item's text, unless it is blank.
CommandResult SaveEditedAddress(ListContext context, std::string_view text);
// "Open list" after the file was read: the entries replace the list, blanks go, and in
// automatic mode the store is rewritten. Nothing is selected afterwards.
CommandResult ImportAddresses(ListContext context, std::vector<std::string> entries);

// "Undo" and "Redo": the list one step back or forward, with that side's selection; in
// automatic mode the store follows in one transaction. Nothing happens when there is
// nothing to undo or redo.
CommandResult UndoChange(ListContext context);
CommandResult RedoChange(ListContext context);

// The Settings dialog's two writes, as one transaction; the copies follow either way.
CommandResult StoreSettings(RegistryBackend& backend, ProgramSettings& settings,
                            std::string_view saveMode, std::string_view windowMode);
// What the Settings dialog shows: the stored texts, read afresh (the window's copies are left
// as they are).
ProgramSettings ReadStoredSettings(RegistryBackend& backend, CommandResult& result);

}  // namespace tavelin
