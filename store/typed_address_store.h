// The browser's typed-address list in the registry: one string value per address, url1 for
// the top entry, url2 for the next, and so on.
#pragma once

#include <cstddef>
#include <functional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "store/address_list.h"
#include "store/registry.h"

namespace tavelin {

inline constexpr std::string_view kTypedUrlsKey =
    "Software\\Microsoft\\Internet Explorer\\TypedURLs";
// Beside it, newer browsers keep when each address was typed: one value per url value, of
// the same name. It is kept in step with the list when it exists, and never made.
inline constexpr std::string_view kTypedUrlsTimeKey =
    "Software\\Microsoft\\Internet Explorer\\TypedURLsTime";
// Only url1 to url200 are ever read, and only they are deleted by a rewrite.
inline constexpr std::size_t kStoredAddressWindow = 200;

// "url" followed by n.
std::string UrlValueName(std::size_t n);

// Empty once the spaces (only code 32) at both ends are removed.
bool IsBlankAddress(std::string_view text);

// Appends the texts of url1 to url200, one item each, present or not, each with its time.
void LoadAddresses(RegistryBackend& backend, AddressList& list);
// Removes blank items, scanning at most the first 201 positions. Gives back what it removed,
// each entry with the place it had.
std::vector<PlacedEntry> RemoveBlankAddresses(AddressList& list);
// Writes the list as url1..urlN, then deletes url(N+1)..url200; the times likewise, when
// their key exists (an entry without a time has its time value deleted).
void SaveAddresses(RegistryBackend& backend, const AddressList& list);
// Selects the first item when there is one.
void SelectFirstAddress(AddressList& list);
// Deletes url1 to url200, and their times when that key exists.
void DeleteStoredAddresses(RegistryBackend& backend);

// Start-up and "Reload URLs": load afresh, drop blanks, rewrite, select the first, as one
// transaction of the given kind; `alongside`, when given, runs inside it after the rewrite.
// The list is replaced only when the read succeeded (what was read is shown even when its
// rewrite could not be stored); a failed read leaves the list as it was.
// When given, `discarded` receives the items the list held before it was replaced.
StoreOutcome LoadAndCompactAddresses(RegistryBackend& backend, AddressList& list,
                                     LoadKind kind = LoadKind::kReload,
                                     const std::function<void()>& alongside = {},
                                     ListContents* discarded = nullptr);

}  // namespace tavelin
