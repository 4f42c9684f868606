// The browser's typed-address list in the registry: one string value per address, url1 for
// the top entry, url2 for the next, and so on. The store reads and writes plain data; the list
// the main window holds (list/) is loaded from it and saved to it there.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "store/registry.h"

namespace tavelin {

inline constexpr std::string_view kTypedUrlsKey =
    "Software\\Microsoft\\Internet Explorer\\TypedURLs";
// Beside it, newer browsers keep when each address was typed: one value per url value, of
// the same name. It is kept in step with the list when it exists, and never made.
inline constexpr std::string_view kTypedUrlsTimeKey =
    "Software\\Microsoft\\Internet Explorer\\TypedURLsTime";
// Only url1 to url200 are ever read. A rewrite deletes them, and past them only the values
// that continue the stored numbering without a gap (what a longer list written here left).
inline constexpr std::size_t kStoredAddressWindow = 200;

// When an entry was typed, as the browser keeps it beside the address: a FILETIME (100 ns
// steps since 1601, UTC) under the same value name in the time key. An entry read from the
// store keeps the value exactly as read, whatever its type or size.
struct TypedTime {
  enum class Kind : std::uint8_t { kNone, kAt, kStored };
  Kind kind = Kind::kNone;
  std::uint64_t filetime = 0;              // kAt
  std::shared_ptr<const RegValue> stored;  // kStored

  static TypedTime None() { return {}; }
  static TypedTime At(std::uint64_t filetime) { return {Kind::kAt, filetime, nullptr}; }
  static TypedTime Now();
  static TypedTime Stored(RegValue value) {
    return {Kind::kStored, 0, std::make_shared<const RegValue>(std::move(value))};
  }
  bool has() const { return kind != Kind::kNone; }
  // The value to store: REG_BINARY, 8 bytes little-endian, for a time set here.
  RegValue value() const;
  bool operator==(const TypedTime& other) const;
};

// A list of typed addresses, as the store holds it and as the window holds it: the texts
// and, at the same places, their times.
struct TypedAddresses {
  std::vector<std::string> items;
  std::vector<TypedTime> times;  // as many as items

  bool operator==(const TypedAddresses&) const = default;
};

// The typed-address values exactly as one read found them, url1..url200 and their times: a
// rewrite in the same transaction compares with these rather than asking the store again (on
// Windows each question is a registry call).
struct StoredTypedValues {
  bool urlKey = false;                         // the typed-address key exists
  bool timeKey = false;                        // the time key exists
  std::vector<std::optional<RegValue>> urls;   // url1..url200, each when present
  std::vector<std::optional<RegValue>> times;  // the same names' times, each when present
};

// "url" followed by n.
std::string UrlValueName(std::size_t n);

// Empty once the spaces (only code 32) at both ends are removed.
bool IsBlankAddress(std::string_view text);

// The texts of url1 to url200, one item each, present or not, each with its time.
// `stored`, when given, receives the values as read.
TypedAddresses ReadTypedAddresses(RegistryBackend& backend, StoredTypedValues* stored = nullptr);
// Writes the texts as url1..urlN, then deletes url(N+1)..url200 and every further url value
// that continued the stored numbering from url(N+1) without a gap; a value past url200 behind
// a gap stays. The times (as many as the texts) likewise, when their key exists (an entry
// without a time has its time value deleted).
// `stored`, when given, is what the same transaction read: what it already holds is not
// written again, and what it lacks is not deleted.
void WriteTypedAddresses(RegistryBackend& backend, std::span<const std::string> items,
                         std::span<const TypedTime> times,
                         const StoredTypedValues* stored = nullptr);
// Deletes url1 to url200 and, when all of them were there, every url value that continues
// them without a gap; their times likewise when that key exists.
void DeleteStoredAddresses(RegistryBackend& backend);

}  // namespace tavelin
