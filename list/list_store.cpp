#include "list/list_store.h"

#include <utility>

namespace tavelin {

void LoadAddresses(RegistryBackend& backend, AddressList& list, StoredTypedValues* stored) {
  TypedAddresses read = ReadTypedAddresses(backend, stored);
  for (std::size_t i = 0; i < read.items.size(); ++i) {
    list.append(std::move(read.items[i]), std::move(read.times[i]));
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

void SaveAddresses(RegistryBackend& backend, const AddressList& list,
                   const StoredTypedValues* stored) {
  WriteTypedAddresses(backend, list.items(), list.times(), stored);
}

void SelectFirstAddress(AddressList& list) {
  if (list.count() > 0) list.select(0);
}

StoreOutcome LoadAndCompactAddresses(RegistryBackend& backend, AddressList& list, LoadKind kind,
                                     const std::function<void()>& alongside,
                                     TypedAddresses* discarded) {
  Transaction transaction(backend, kind);
  AddressList fresh;
  // The rewrite compares with what this read found, rather than reading each value again.
  StoredTypedValues stored;
  LoadAddresses(backend, fresh, &stored);
  const bool readOk = !backend.readFailed();
  if (readOk) {
    RemoveBlankAddresses(fresh);
    // A store opened read-only shows the list compacted, and is left as it is.
    if (!backend.readOnly()) SaveAddresses(backend, fresh, &stored);
  }
  if (alongside) alongside();
  const StoreOutcome outcome = transaction.finish();
  if (readOk) {
    // Taken out of the list read, not copied.
    TypedAddresses old = list.exchangeAll(fresh.exchangeAll({}));
    if (discarded) *discarded = std::move(old);
    SelectFirstAddress(list);
  }
  return outcome;
}

}  // namespace tavelin
