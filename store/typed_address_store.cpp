#include "store/typed_address_store.h"

#include <charconv>
#include <vector>

namespace tavelin {

std::string UrlValueName(std::size_t n) {
  // Asked for three times for each of 200 addresses in a command: built in one piece.
  char name[3 + 20] = {'u', 'r', 'l'};
  char* const end = std::to_chars(name + 3, name + sizeof name, n).ptr;
  return std::string(name, static_cast<std::size_t>(end - name));
}

bool IsBlankAddress(std::string_view text) {
  return text.find_first_not_of(' ') == std::string_view::npos;
}

void LoadAddresses(RegistryBackend& backend, AddressList& list) {
  Transaction transaction(backend);
  const bool times = backend.keyExists(kCurrentUser, kTypedUrlsTimeKey);
  for (std::size_t n = 1; n <= kStoredAddressWindow; ++n) {
    const std::string name = UrlValueName(n);
    TypedTime time;
    if (times) {
      if (std::optional<RegValue> stored =
              modReg::ReadRegValue(backend, kCurrentUser, kTypedUrlsTimeKey, name)) {
        time = TypedTime::Stored(std::move(*stored));
      }
    }
    list.append(modReg::ReadRegString(backend, kCurrentUser, kTypedUrlsKey, name), std::move(time));
  }
}

std::vector<PlacedEntry> RemoveBlankAddresses(AddressList& list) {
  std::vector<PlacedEntry> removed;
  const std::size_t total = list.count();
  if (total == 0) return removed;
  // The scan examines position i, steps back after a removal, and gives up past position
  // 200. Every removal happens at the scan position, so the item at position i is always
  // the original item i + removed; the removals are collected and done in one pass.
  std::vector<std::size_t> doomed;
  long i = 0;
  for (;;) {
    const std::size_t original = static_cast<std::size_t>(i) + doomed.size();
    if (original < total && IsBlankAddress(list.item(original))) {
      doomed.push_back(original);
      --i;
    }
    const long remaining = static_cast<long>(total - doomed.size());
    if (i == remaining - 1) break;
    ++i;
    if (i > static_cast<long>(kStoredAddressWindow)) break;
  }
  removed.reserve(doomed.size());
  for (std::size_t at : doomed) removed.push_back({at, list.item(at), list.time(at)});
  list.removeMany(doomed);
  return removed;
}

void SaveAddresses(RegistryBackend& backend, const AddressList& list) {
  Transaction transaction(backend);
  // Deleting through DelSetting would make the key; it is written only where it already is.
  const bool times = backend.keyExists(kCurrentUser, kTypedUrlsTimeKey);
  // Writing first and deleting the surplus afterwards reaches the same end state as
  // clearing and rewriting, without a moment in which the store holds no addresses.
  for (std::size_t k = 0; k < list.count(); ++k) {
    const std::string name = UrlValueName(k + 1);
    modReg::WriteRegString(backend, kCurrentUser, kTypedUrlsKey, name, list.item(k));
    if (!times) continue;
    if (list.time(k).has()) {
      backend.setValue(kCurrentUser, kTypedUrlsTimeKey, name, list.time(k).value());
    } else {
      backend.deleteValue(kCurrentUser, kTypedUrlsTimeKey, name);
    }
  }
  for (std::size_t n = list.count() + 1; n <= kStoredAddressWindow; ++n) {
    DelSetting(backend, kCurrentUser, kTypedUrlsKey, UrlValueName(n));
    if (times) backend.deleteValue(kCurrentUser, kTypedUrlsTimeKey, UrlValueName(n));
  }
}

void SelectFirstAddress(AddressList& list) {
  if (list.count() > 0) list.select(0);
}

void DeleteStoredAddresses(RegistryBackend& backend) {
  Transaction transaction(backend);
  const bool times = backend.keyExists(kCurrentUser, kTypedUrlsTimeKey);
  for (std::size_t n = 1; n <= kStoredAddressWindow; ++n) {
    DelSetting(backend, kCurrentUser, kTypedUrlsKey, UrlValueName(n));
    if (times) backend.deleteValue(kCurrentUser, kTypedUrlsTimeKey, UrlValueName(n));
  }
}

StoreOutcome LoadAndCompactAddresses(RegistryBackend& backend, AddressList& list, LoadKind kind,
                                     const std::function<void()>& alongside,
                                     ListContents* discarded) {
  Transaction transaction(backend, kind);
  AddressList fresh;
  LoadAddresses(backend, fresh);
  const bool readOk = !backend.readFailed();
  if (readOk) {
    RemoveBlankAddresses(fresh);
    SaveAddresses(backend, fresh);
  }
  if (alongside) alongside();
  const StoreOutcome outcome = transaction.finish();
  if (readOk) {
    // Taken out of the list read, not copied.
    ListContents old = list.exchangeAll(fresh.exchangeAll({}));
    if (discarded) *discarded = std::move(old);
    SelectFirstAddress(list);
  }
  return outcome;
}

}  // namespace tavelin
