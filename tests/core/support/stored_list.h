// The typed addresses as a store holds them, read and written value by value, for checking
// what a command left in the store.
#pragma once

#include <map>
#include <string>
#include <vector>

#include "store/registry.h"

namespace tavelin::support {

// The url values url1..url<upTo> that exist, by number, with their text.
using StoredUrls = std::map<int, std::string>;

// Reads them in one transaction (one read of a registry file, not one per value).
StoredUrls ReadStoredUrls(RegistryBackend& backend, int upTo = 260);

// The stored texts in the order of their numbers, as a list reads them. A missing number below
// the last one shows as "<no urlN>", so that the texts equal a list only when the store holds
// exactly that list as url1, url2, ...
std::vector<std::string> StoredTexts(RegistryBackend& backend, int upTo = 260);

// Writes them in one transaction; a failed write fails the calling test.
void StoreUrls(RegistryBackend& backend, const StoredUrls& urls);

// The texts as url1, url2, ...
StoredUrls Numbered(const std::vector<std::string>& texts);

// "http://<stem>1/" .. "http://<stem><count>/".
std::vector<std::string> Generated(int count, const std::string& stem = "host");

}  // namespace tavelin::support
