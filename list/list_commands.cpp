#include "list/list_commands.h"

#include <cstdint>
#include <utility>

#include "list/list_store.h"
#include "list/store_notices.h"

namespace tavelin {

namespace {

// Collects what the store asks to be told since the command began.
CommandResult Told(RegistryBackend& backend, CommandMessage refusal = CommandMessage::kNone) {
  CommandResult result;
  result.refusal = refusal;
  result.storeNotices = TakeStoreNotices(backend);
  return result;
}

// The typed addresses as the store holds them now, compacted as a window shows them.
TypedAddresses ReadStoredList(RegistryBackend& backend) {
  AddressList stored;
  LoadAddresses(backend, stored);
  RemoveBlankAddresses(stored);
  return stored.exchangeAll({});
}

// What a write over the window's base came to.
struct BaseWrite {
  enum class Outcome : std::uint8_t {
    kWritten,       // complete: `stored` is what the store holds now, the new base
    kStoreChanged,  // another program wrote the list since, and its change was kept
    kIncomplete,    // the write did not (wholly) reach the store; the store told why
  };
  Outcome outcome = Outcome::kIncomplete;
  TypedAddresses stored;
};

// Runs `write` (the command's writes to the typed-address keys) in one transaction, unless
// the store no longer holds the window's base: another program wrote it since, and its
// change is not replaced unless the user says so. What the store holds after a complete write
// becomes the base and is given back.
template <class Write>
BaseWrite WriteOverBase(const ListContext& context, Write&& write) {
  const auto attempt = [&](bool check) {
    Transaction transaction(context.backend);
    if (check && context.base && *context.base) {
      const TypedAddresses stored = ReadStoredList(context.backend);
      // A store that cannot be read refuses the write below and says why.
      if (!context.backend.readFailed() && stored != **context.base) {
        return BaseWrite{BaseWrite::Outcome::kStoreChanged, {}};
      }
    }
    write();
    TypedAddresses written = ReadStoredList(context.backend);
    if (!transaction.finish().complete) return BaseWrite{BaseWrite::Outcome::kIncomplete, {}};
    if (context.base) *context.base = written;
    return BaseWrite{BaseWrite::Outcome::kWritten, std::move(written)};
  };
  BaseWrite done = attempt(true);
  if (done.outcome != BaseWrite::Outcome::kStoreChanged) return done;
  // The lock is released while the user decides.
  if (!context.replaceChangedStore || !context.replaceChangedStore()) return done;
  return attempt(false);
}

// In automatic mode the store follows every change at once, in one transaction; in manual
// mode the store is not touched at all (not even read).
CommandResult StoreListIfAutomatic(const ListContext& context) {
  if (!IsManualSaveMode(context.settings)) {
    WriteOverBase(context, [&] { SaveAddresses(context.backend, context.list); });
  }
  return Told(context.backend);
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

std::vector<std::string> CommandResult::messages() const {
  std::vector<std::string> out;
  if (refused()) out.emplace_back(MessageText(refusal));
  out.insert(out.end(), storeNotices.begin(), storeNotices.end());
  return out;
}

namespace {

// A start-up's one transaction: the list read and compacted, then the settings. Whether the
// read succeeded; only this command's notices are left to take.
bool StartUpRead(RegistryBackend& backend, AddressList& list, ProgramSettings& settings) {
  backend.takeReports();
  return LoadAndCompactAddresses(backend, list, LoadKind::kStartup,
                                 [&] { LoadSettings(backend, settings); })
      .readOk;
}

}  // namespace

CommandResult StartUp(RegistryBackend& backend, AddressList& list, ProgramSettings& settings,
                      std::optional<TypedAddresses>* base) {
  if (StartUpRead(backend, list, settings) && base) *base = list.contents();
  return Told(backend);
}

CommandResult StartUpOpened(RegistryBackend& backend, AddressList& list, ProgramSettings& settings,
                            std::optional<TypedAddresses>& base, std::string& refusal) {
  if (!StartUpRead(backend, list, settings)) {
    for (const StoreReport& report : backend.takeReports()) {
      if (report.kind == StoreReport::Kind::kReadFailed && refusal.empty()) {
        refusal = report.reason;
      }
    }
    if (refusal.empty()) refusal = backend.description() + " could not be read.";
    return {};
  }
  if (const std::string unrecovered = backend.unrecoveredChanges(); !unrecovered.empty()) {
    backend.takeReports();
    refusal =
        "The registry hive " + backend.description() + " cannot be opened: " + unrecovered + ".";
    return {};
  }
  base = list.contents();
  return Told(backend);
}

CommandResult ReloadAddresses(ListContext context) {
  const int selection = context.list.selectionIndex();
  TypedAddresses discarded;
  if (LoadAndCompactAddresses(context.backend, context.list, LoadKind::kReload, {}, &discarded)
          .readOk) {
    if (context.base) *context.base = context.list.contents();
    if (context.history) {
      context.history->recordReplacement(context.list, selection, std::move(discarded));
    }
  }
  return Told(context.backend);
}

CommandResult DeleteSelectedAddress(ListContext context) {
  const int index = context.list.selectionIndex();
  if (index == -1) return Told(context.backend, CommandMessage::kNoAddressSelected);
  const auto at = static_cast<std::size_t>(index);
  PlacedEntry removed{at, context.list.item(at), context.list.time(at)};
  context.list.remove(at);
  context.list.selectNone();
  CommandResult result = StoreListIfAutomatic(context);
  if (!IsManualSaveMode(context.settings)) SelectFirstAddress(context.list);
  if (context.history) context.history->recordRemovals(context.list, index, {std::move(removed)});
  return result;
}

CommandResult DeleteAllAddresses(ListContext context) {
  const int selection = context.list.selectionIndex();
  TypedAddresses before = context.list.exchangeAll({});
  if (context.history)
    context.history->recordReplacement(context.list, selection, std::move(before));
  if (!IsManualSaveMode(context.settings)) {
    WriteOverBase(context, [&] { DeleteStoredAddresses(context.backend); });
  }
  return Told(context.backend);
}

CommandResult SaveAllChanges(ListContext context) {
  if (context.list.count() == 0) {
    WriteOverBase(context, [&] { DeleteStoredAddresses(context.backend); });
    return Told(context.backend);
  }
  const int selection = context.list.selectionIndex();
  auto blanks = RemoveBlankAddresses(context.list);
  // What the store holds afterwards is read back in the same transaction, but shown only
  // once the write has landed: a save that did not happen leaves the user's list alone.
  if (BaseWrite written =
          WriteOverBase(context, [&] { SaveAddresses(context.backend, context.list); });
      written.outcome == BaseWrite::Outcome::kWritten) {
    AddressList stored;
    stored.exchangeAll(std::move(written.stored));
    if (stored.items() != context.list.items()) {
      // The list was longer than the store reads back: an undo brings back the whole list
      // as it was shown, blanks included.
      TypedAddresses before = context.list.exchangeAll(stored.exchangeAll({}));
      for (PlacedEntry& blank : blanks) {
        const auto at = static_cast<std::ptrdiff_t>(blank.at);
        before.items.insert(before.items.begin() + at, std::move(blank.text));
        before.times.insert(before.times.begin() + at, std::move(blank.time));
      }
      SelectFirstAddress(context.list);
      if (context.history) {
        context.history->recordReplacement(context.list, selection, std::move(before));
      }
      return Told(context.backend);
    }
    SelectFirstAddress(context.list);
  }
  if (context.history) context.history->recordRemovals(context.list, selection, std::move(blanks));
  return Told(context.backend);
}

CommandResult MoveSelectedUp(ListContext context) {
  const int i = context.list.selectionIndex();
  if (i <= 0) return Told(context.backend);
  context.list.exchange(static_cast<std::size_t>(i), static_cast<std::size_t>(i - 1));
  context.list.select(i - 1);
  if (context.history)
    context.history->recordExchange(context.list, i, static_cast<std::size_t>(i),
                                    static_cast<std::size_t>(i - 1));
  return StoreListIfAutomatic(context);
}

CommandResult MoveSelectedDown(ListContext context) {
  const int i = context.list.selectionIndex();
  if (i == -1 || static_cast<std::size_t>(i) + 1 >= context.list.count()) {
    return Told(context.backend);
  }
  context.list.exchange(static_cast<std::size_t>(i), static_cast<std::size_t>(i + 1));
  context.list.select(i + 1);
  if (context.history)
    context.history->recordExchange(context.list, i, static_cast<std::size_t>(i),
                                    static_cast<std::size_t>(i + 1));
  return StoreListIfAutomatic(context);
}

CommandResult AddAddress(ListContext context, std::string_view text) {
  if (IsBlankAddress(text)) return Told(context.backend, CommandMessage::kCannotAddEmpty);
  const int selection = context.list.selectionIndex();
  context.list.append(std::string(text), TypedTime::Now());
  if (context.history)
    context.history->recordInsertion(context.list, selection, context.list.count() - 1);
  // The whole list is rewritten rather than the one new value: after a switch from manual
  // to automatic saving the store may still hold an older list, and one write would mix them.
  return StoreListIfAutomatic(context);
}

CommandMessage CheckEditable(const AddressList& list) {
  return list.selectionIndex() == -1 ? CommandMessage::kNoAddressSelected : CommandMessage::kNone;
}

CommandResult SaveEditedAddress(ListContext context, std::string_view text) {
  if (IsBlankAddress(text)) return Told(context.backend, CommandMessage::kCannotSaveEmpty);
  const int index = context.list.selectionIndex();
  if (index == -1) return Told(context.backend, CommandMessage::kNoAddressSelected);
  const auto at = static_cast<std::size_t>(index);
  PlacedEntry before{at, context.list.item(at), context.list.time(at)};
  // Typed anew only when the text changed; saving it unchanged keeps when it was typed.
  if (before.text != text) context.list.setItem(at, std::string(text), TypedTime::Now());
  if (context.history) context.history->recordEdit(context.list, index, std::move(before));
  return StoreListIfAutomatic(context);
}

CommandResult ImportAddresses(ListContext context, std::vector<std::string> entries) {
  const int selection = context.list.selectionIndex();
  TypedAddresses imported{std::move(entries), {}};
  imported.times.assign(imported.items.size(), TypedTime::Now());
  TypedAddresses before = context.list.exchangeAll(std::move(imported));
  RemoveBlankAddresses(context.list);
  CommandResult result = StoreListIfAutomatic(context);
  context.list.selectNone();
  if (context.history)
    context.history->recordReplacement(context.list, selection, std::move(before));
  return result;
}

CommandResult UndoChange(ListContext context) {
  if (!context.history || !context.history->undo(context.list)) return Told(context.backend);
  return StoreListIfAutomatic(context);
}

CommandResult RedoChange(ListContext context) {
  if (!context.history || !context.history->redo(context.list)) return Told(context.backend);
  return StoreListIfAutomatic(context);
}

CommandResult StoreSettings(RegistryBackend& backend, ProgramSettings& settings,
                            std::string_view saveMode, std::string_view windowMode) {
  {
    Transaction transaction(backend);
    StoreSaveMode(backend, settings, saveMode);
    StoreWindowMode(backend, settings, windowMode);
  }
  return Told(backend);
}

ProgramSettings ReadStoredSettings(RegistryBackend& backend, CommandResult& result) {
  ProgramSettings stored;
  LoadSettings(backend, stored);
  CommandResult told = Told(backend);
  result.storeNotices.insert(result.storeNotices.end(), told.storeNotices.begin(),
                             told.storeNotices.end());
  return stored;
}

}  // namespace tavelin
