// The list and the typed-address store: the list loaded from it, compacted, and saved to it.
#pragma once

#include <functional>
#include <vector>

#include "list/address_list.h"
#include "store/registry.h"
#include "store/typed_address_store.h"

namespace tavelin {

// Appends the texts of url1 to url200, one item each, present or not, each with its time.
// `stored`, when given, receives the values as read (see StoredTypedValues).
void LoadAddresses(RegistryBackend& backend, AddressList& list,
                   StoredTypedValues* stored = nullptr);
// Removes blank items, scanning at most the first 201 positions. Gives back what it removed,
// each entry with the place it had.
std::vector<PlacedEntry> RemoveBlankAddresses(AddressList& list);
// Writes the list as url1..urlN, then deletes url(N+1)..url200; the times likewise, when
// their key exists (an entry without a time has its time value deleted).
// `stored`, when given, is what the same transaction read.
void SaveAddresses(RegistryBackend& backend, const AddressList& list,
                   const StoredTypedValues* stored = nullptr);
// Selects the first item when there is one.
void SelectFirstAddress(AddressList& list);

// Start-up and "Reload URLs": load afresh, drop blanks, rewrite, select the first, as one
// transaction of the given kind; `alongside`, when given, runs inside it after the rewrite.
// The list is replaced only when the read succeeded (what was read is shown even when its
// rewrite could not be stored); a failed read leaves the list as it was.
// When given, `discarded` receives the items the list held before it was replaced.
StoreOutcome LoadAndCompactAddresses(RegistryBackend& backend, AddressList& list,
                                     LoadKind kind = LoadKind::kReload,
                                     const std::function<void()>& alongside = {},
                                     TypedAddresses* discarded = nullptr);

}  // namespace tavelin
