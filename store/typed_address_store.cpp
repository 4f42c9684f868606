#include "store/typed_address_store.h"

#include <algorithm>
#include <charconv>
#include <chrono>

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

TypedAddresses ReadTypedAddresses(RegistryBackend& backend) {
  Transaction transaction(backend);
  TypedAddresses read;
  read.items.reserve(kStoredAddressWindow);
  read.times.reserve(kStoredAddressWindow);
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
    read.items.push_back(modReg::ReadRegString(backend, kCurrentUser, kTypedUrlsKey, name));
    read.times.push_back(std::move(time));
  }
  return read;
}

namespace {

bool UrlValueExists(RegistryBackend& backend, std::size_t n) {
  return backend.queryValue(kCurrentUser, kTypedUrlsKey, UrlValueName(n)).has_value();
}

// The last url value a rewrite to `count` addresses deletes: url200, or further while the
// stored numbering runs on from url(count+1) without a gap, as a longer list written here
// leaves it. Asked before anything is deleted; the writes touch only url1..url<count>. Where
// nothing lies past the window, that costs one look-up.
std::size_t StoredListEnd(RegistryBackend& backend, std::size_t count) {
  std::size_t last = std::max(count, kStoredAddressWindow);
  if (!UrlValueExists(backend, last + 1)) return kStoredAddressWindow;
  // A value past the window continues the list only if nothing is missing before it.
  for (std::size_t n = count + 1; n <= kStoredAddressWindow; ++n) {
    if (!UrlValueExists(backend, n)) return kStoredAddressWindow;
  }
  ++last;
  while (UrlValueExists(backend, last + 1)) ++last;
  return last;
}

// Deletes url<from>..url<to>, and their times when that key exists.
void DeleteStoredRange(RegistryBackend& backend, std::size_t from, std::size_t to, bool times) {
  for (std::size_t n = from; n <= to; ++n) {
    const std::string name = UrlValueName(n);
    DelSetting(backend, kCurrentUser, kTypedUrlsKey, name);
    if (times) backend.deleteValue(kCurrentUser, kTypedUrlsTimeKey, name);
  }
}

}  // namespace

void WriteTypedAddresses(RegistryBackend& backend, std::span<const std::string> items,
                         std::span<const TypedTime> times) {
  Transaction transaction(backend);
  // Deleting through DelSetting would make the key; it is written only where it already is.
  const bool timeKey = backend.keyExists(kCurrentUser, kTypedUrlsTimeKey);
  const std::size_t end = StoredListEnd(backend, items.size());
  // Writing first and deleting the surplus afterwards reaches the same end state as
  // clearing and rewriting, without a moment in which the store holds no addresses.
  for (std::size_t k = 0; k < items.size(); ++k) {
    const std::string name = UrlValueName(k + 1);
    modReg::WriteRegString(backend, kCurrentUser, kTypedUrlsKey, name, items[k]);
    if (!timeKey) continue;
    if (k < times.size() && times[k].has()) {
      backend.setValue(kCurrentUser, kTypedUrlsTimeKey, name, times[k].value());
    } else {
      backend.deleteValue(kCurrentUser, kTypedUrlsTimeKey, name);
    }
  }
  DeleteStoredRange(backend, items.size() + 1, end, timeKey);
}

void DeleteStoredAddresses(RegistryBackend& backend) {
  Transaction transaction(backend);
  const bool times = backend.keyExists(kCurrentUser, kTypedUrlsTimeKey);
  DeleteStoredRange(backend, 1, StoredListEnd(backend, 0), times);
}

}  // namespace tavelin
