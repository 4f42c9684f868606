// The commands that change the typed-address list: what happens to the list and its
// selection, what reaches the store in each save mode, and which message the user sees.
// The main window only calls these and shows the message they return.
#pragma once

#include <string>
#include <string_view>

#include "store/address_list.h"
#include "store/registry.h"
#include "store/settings_store.h"

namespace tavelin {

// A message a command asks the window to show: a modal box titled "Error" with the
// exclamation icon and one OK button.
enum class CommandMessage { kNone, kNoAddressSelected, kCannotAddEmpty, kCannotSaveEmpty };
std::string_view MessageText(CommandMessage message);
inline constexpr std::string_view kErrorTitle = "Error";

struct ListContext {
  RegistryBackend& backend;
  AddressList& list;
  const ProgramSettings& settings;
};

// "Delete selected address" and the Delete key.
CommandMessage DeleteSelectedAddress(ListContext context);
// "Delete all addresses".
void DeleteAllAddresses(ListContext context);
// "Save all changes": the store is rewritten from the list in either save mode, and the list
// is read back from it.
void SaveAllChanges(ListContext context);
// The arrow buttons; nothing happens at either end or without a selection.
void MoveSelectedUp(ListContext context);
void MoveSelectedDown(ListContext context);
// "Reload URLs" (and start-up): the list is read afresh from the store and compacted.
void ReloadAddresses(ListContext context);

// The Add dialog's "Add": appends the text as typed, unless it is blank.
CommandMessage AddAddress(ListContext context, std::string_view text);
// Whether the Edit dialog may open: it needs a selection.
CommandMessage CheckEditable(const AddressList& list);
// The Edit dialog's "Save changes": replaces the selected item's text, unless it is blank.
CommandMessage SaveEditedAddress(ListContext context, std::string_view text);

}  // namespace tavelin
