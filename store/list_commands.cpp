#include "store/list_commands.h"

#include "store/typed_address_store.h"

namespace tavelin {

namespace {

// In automatic mode the store follows every change at once.
void StoreListIfAutomatic(const ListContext& context) {
  if (!IsManualSaveMode(context.settings)) SaveAddresses(context.backend, context.list);
}

}  // namespace

std::string_view MessageText(CommandMessage message) {
  switch (message) {
    case CommandMessage::kNoAddressSelected:
      return "No address was selected.";
    case CommandMessage::kCannotAddEmpty:
      return "Cannot add an empty address!";
    case CommandMessage::kCannotSaveEmpty:
      return "Cannot save an empty address!";
    case CommandMessage::kNone:
      break;
  }
  return {};
}

CommandMessage DeleteSelectedAddress(ListContext context) {
  const int index = context.list.selectionIndex();
  if (index == -1) return CommandMessage::kNoAddressSelected;
  Transaction transaction(context.backend);
  context.list.remove(static_cast<std::size_t>(index));
  context.list.selectNone();
  if (!IsManualSaveMode(context.settings)) {
    SaveAddresses(context.backend, context.list);
    SelectFirstAddress(context.list);
  }
  return CommandMessage::kNone;
}

void DeleteAllAddresses(ListContext context) {
  Transaction transaction(context.backend);
  context.list.clear();
  if (!IsManualSaveMode(context.settings)) DeleteStoredAddresses(context.backend);
}

void SaveAllChanges(ListContext context) {
  Transaction transaction(context.backend);
  if (context.list.count() == 0) {
    DeleteStoredAddresses(context.backend);
    return;
  }
  RemoveBlankAddresses(context.list);
  SaveAddresses(context.backend, context.list);
  context.list.clear();
  LoadAddresses(context.backend, context.list);
  RemoveBlankAddresses(context.list);
  SelectFirstAddress(context.list);
}

void MoveSelectedUp(ListContext context) {
  const int i = context.list.selectionIndex();
  if (i <= 0) return;
  Transaction transaction(context.backend);
  const auto at = static_cast<std::size_t>(i);
  std::string kept = context.list.item(at);
  context.list.setItem(at, context.list.item(at - 1));
  context.list.setItem(at - 1, std::move(kept));
  context.list.select(i - 1);
  StoreListIfAutomatic(context);
}

void MoveSelectedDown(ListContext context) {
  const int i = context.list.selectionIndex();
  if (i == -1 || static_cast<std::size_t>(i) + 1 >= context.list.count()) return;
  Transaction transaction(context.backend);
  const auto at = static_cast<std::size_t>(i);
  std::string kept = context.list.item(at);
  context.list.setItem(at, context.list.item(at + 1));
  context.list.setItem(at + 1, std::move(kept));
  context.list.select(i + 1);
  StoreListIfAutomatic(context);
}

void ReloadAddresses(ListContext context) {
  LoadAndCompactAddresses(context.backend, context.list);
}

CommandMessage AddAddress(ListContext context, std::string_view text) {
  if (IsBlankAddress(text)) return CommandMessage::kCannotAddEmpty;
  Transaction transaction(context.backend);
  context.list.append(std::string(text));
  // The whole list is rewritten rather than the one new value: after a switch from manual
  // to automatic saving the store may still hold an older list, and one write would mix them.
  StoreListIfAutomatic(context);
  return CommandMessage::kNone;
}

CommandMessage CheckEditable(const AddressList& list) {
  return list.selectionIndex() == -1 ? CommandMessage::kNoAddressSelected : CommandMessage::kNone;
}

CommandMessage SaveEditedAddress(ListContext context, std::string_view text) {
  if (IsBlankAddress(text)) return CommandMessage::kCannotSaveEmpty;
  const int index = context.list.selectionIndex();
  if (index == -1) return CommandMessage::kNoAddressSelected;
  Transaction transaction(context.backend);
  context.list.setItem(static_cast<std::size_t>(index), std::string(text));
  StoreListIfAutomatic(context);
  return CommandMessage::kNone;
}

}  // namespace tavelin
