#include "store/typed_address_store.h"

#include <algorithm>
#include <charconv>
#include <chrono>
#include <map>
#include <optional>

#include "store/registry_names.h"

namespace tavelin {

TypedTime TypedTime::Now() {
  // FILETIME counts 100 ns steps from 1601-01-01; the system clock counts from 1970-01-01.
  constexpr std::uint64_t kUnixEpochAsFiletime = 116444736000000000ULL;
  const auto since1970 = std::chrono::duration_cast<std::chrono::nanoseconds>(
      std::chrono::system_clock::now().time_since_epoch());
  return At(kUnixEpochAsFiletime + static_cast<std::uint64_t>(since1970.count() / 100));
}

RegValue TypedTime::value() const {
  if (kind == Kind::kStored) return *stored;
  RegValue out{regtype::kBinary, std::vector<std::uint8_t>(8)};
  for (int i = 0; i < 8; ++i)
    out.data[static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(filetime >> (8 * i));
  return out;
}

bool TypedTime::operator==(const TypedTime& other) const {
  if (kind != other.kind) return false;
  switch (kind) {
    case Kind::kNone:
      return true;
    case Kind::kAt:
      return filetime == other.filetime;
    case Kind::kStored:
      return *stored == *other.stored;
  }
  return false;
}

std::string UrlValueName(std::size_t n) {
  // Asked for three times for each of 200 addresses in a command: built in one piece.
  char name[3 + 20] = {'u', 'r', 'l'};
  char* const end = std::to_chars(name + 3, name + sizeof name, n).ptr;
  return std::string(name, static_cast<std::size_t>(end - name));
}

bool IsBlankAddress(std::string_view text) {
  return text.find_first_not_of(' ') == std::string_view::npos;
}

TypedAddresses ReadTypedAddresses(RegistryBackend& backend, StoredTypedValues* stored) {
  Transaction transaction(backend);
  // Each key's values at once, looked up by name: one question of the store for each key.
  const auto valuesOf = [&](std::string_view key) {
    std::map<std::string, RegValue> byName;
    for (auto& [name, value] : backend.keyValues(kCurrentUser, key)) {
      byName.emplace(FoldRegistryName(name), std::move(value));
    }
    return byName;
  };
  std::map<std::string, RegValue> urls = valuesOf(kTypedUrlsKey);
  const bool timeKey = backend.keyExists(kCurrentUser, kTypedUrlsTimeKey);
  std::map<std::string, RegValue> times;
  if (timeKey) times = valuesOf(kTypedUrlsTimeKey);
  if (stored) {
    *stored = {!urls.empty() || backend.keyExists(kCurrentUser, kTypedUrlsKey), timeKey, {}, {}};
  }

  TypedAddresses read;
  read.items.reserve(kStoredAddressWindow);
  read.times.reserve(kStoredAddressWindow);
  const auto take = [](std::map<std::string, RegValue>& from, const std::string& name) {
    const auto found = from.find(name);
    return found == from.end() ? std::nullopt : std::optional<RegValue>(std::move(found->second));
  };
  for (std::size_t n = 1; n <= kStoredAddressWindow; ++n) {
    const std::string folded = FoldRegistryName(UrlValueName(n));
    std::optional<RegValue> url = take(urls, folded);
    std::optional<RegValue> time = timeKey ? take(times, folded) : std::nullopt;
    read.items.push_back(url ? RegValueText(*url) : std::string());
    read.times.push_back(time ? TypedTime::Stored(*time) : TypedTime::None());
    if (stored) {
      stored->urls.push_back(std::move(url));
      if (timeKey) stored->times.push_back(std::move(time));
    }
  }
  return read;
}

namespace {

bool UrlValueExists(RegistryBackend& backend, std::size_t n, const StoredTypedValues* stored) {
  if (stored && n >= 1 && n <= stored->urls.size()) return stored->urls[n - 1].has_value();
  return backend.queryValue(kCurrentUser, kTypedUrlsKey, UrlValueName(n)).has_value();
}

// Whether the read says that url<n> (or, with `time`, its time) is absent: nothing to delete.
bool KnownAbsent(const StoredTypedValues* stored, std::size_t n, bool time) {
  if (!stored || n < 1) return false;
  const std::vector<std::optional<RegValue>>& values = time ? stored->times : stored->urls;
  return n <= values.size() && !values[n - 1];
}

// The last url value a rewrite to `count` addresses deletes: url200, or further while the
// stored numbering runs on from url(count+1) without a gap, as a longer list written here
// leaves it. Asked before anything is deleted; the writes touch only url1..url<count>. Where
// nothing lies past the window, that costs one look-up.
std::size_t StoredListEnd(RegistryBackend& backend, std::size_t count,
                          const StoredTypedValues* stored) {
  std::size_t last = std::max(count, kStoredAddressWindow);
  if (!UrlValueExists(backend, last + 1, stored)) return kStoredAddressWindow;
  // A value past the window continues the list only if nothing is missing before it.
  for (std::size_t n = count + 1; n <= kStoredAddressWindow; ++n) {
    if (!UrlValueExists(backend, n, stored)) return kStoredAddressWindow;
  }
  ++last;
  while (UrlValueExists(backend, last + 1, stored)) ++last;
  return last;
}

// Deletes url<from>..url<to>, and their times when that key exists.
void DeleteStoredRange(RegistryBackend& backend, std::size_t from, std::size_t to, bool times,
                       const StoredTypedValues* stored) {
  // A deletion makes the key where it is missing (as the program always has): once, then.
  bool keyThere = stored && stored->urlKey;
  for (std::size_t n = from; n <= to; ++n) {
    const std::string name = UrlValueName(n);
    if (!keyThere || !KnownAbsent(stored, n, false)) {
      DelSetting(backend, kCurrentUser, kTypedUrlsKey, name);
      keyThere = stored != nullptr;
    }
    if (times && !KnownAbsent(stored, n, true)) {
      backend.deleteValue(kCurrentUser, kTypedUrlsTimeKey, name);
    }
  }
}

}  // namespace

void WriteTypedAddresses(RegistryBackend& backend, std::span<const std::string> items,
                         std::span<const TypedTime> times, const StoredTypedValues* stored) {
  Transaction transaction(backend);
  // Deleting through DelSetting would make the key; it is written only where it already is.
  const bool timeKey =
      stored ? stored->timeKey : backend.keyExists(kCurrentUser, kTypedUrlsTimeKey);
  const std::size_t end = StoredListEnd(backend, items.size(), stored);
  const auto read = [&](const std::vector<std::optional<RegValue>> StoredTypedValues::*values,
                        std::size_t k) -> const std::optional<RegValue>* {
    if (!stored || k >= (stored->*values).size()) return nullptr;
    return &(stored->*values)[k];
  };
  // Writing first and deleting the surplus afterwards reaches the same end state as
  // clearing and rewriting, without a moment in which the store holds no addresses.
  for (std::size_t k = 0; k < items.size(); ++k) {
    const std::string name = UrlValueName(k + 1);
    const std::optional<RegValue>* url = read(&StoredTypedValues::urls, k);
    if (!url || !*url || !IsTextValue(**url, items[k].empty() ? std::string_view(" ") : items[k])) {
      modReg::WriteRegString(backend, kCurrentUser, kTypedUrlsKey, name, items[k]);
    }
    if (!timeKey) continue;
    const std::optional<RegValue>* time = read(&StoredTypedValues::times, k);
    if (k < times.size() && times[k].has()) {
      RegValue value = times[k].value();
      if (!time || *time != value) backend.setValue(kCurrentUser, kTypedUrlsTimeKey, name, value);
    } else if (!time || *time) {
      backend.deleteValue(kCurrentUser, kTypedUrlsTimeKey, name);
    }
  }
  DeleteStoredRange(backend, items.size() + 1, end, timeKey, stored);
}

void DeleteStoredAddresses(RegistryBackend& backend) {
  Transaction transaction(backend);
  const bool times = backend.keyExists(kCurrentUser, kTypedUrlsTimeKey);
  DeleteStoredRange(backend, 1, StoredListEnd(backend, 0, nullptr), times, nullptr);
}

}  // namespace tavelin
