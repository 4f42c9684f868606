// Hives as Windows leaves them when it stops half-way: a primary file whose base block says it
// is dirty, and transaction logs beside it that hold what is missing. Written byte by byte
// from the published layout of the logs, on top of the blank hive (blank_hive.h), so that the
// tests can make every way a log can be wrong.
//
//  - New format (Windows 8.1 and later): a copy of the base block's first sector (file type
//    6), then "HvLE" entries from the second sector on, each a multiple of 512 bytes: a
//    40-byte header (size, flags, sequence number, size of the hive bins data, page count,
//    hash-1 over everything after the header, hash-2 over the header's first 32 bytes, both
//    Marvin32), page references (offset in the hive bins data, size), then the pages.
//  - Old format (Windows XP to 8): a copy of the first sector (file type 1), then "DIRT" and a
//    bitmap with one bit per 512-byte page of the hive bins data, then, from the next sector
//    on, the dirty pages in the order of their bits.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace tavelin::support {

// Offsets in a base block.
inline constexpr std::size_t kHivePrimarySequenceAt = 4;
inline constexpr std::size_t kHiveSecondarySequenceAt = 8;
inline constexpr std::size_t kHiveFileTypeAt = 28;
inline constexpr std::size_t kHiveBinsSizeAt = 40;

std::uint32_t Get32(std::string_view bytes, std::size_t at);
void Put32(std::string& bytes, std::size_t at, std::uint32_t value);

// The hive with `count` more bins of 4096 bytes at its end, each one free cell whose bytes
// are filled with `fill`: still a valid hive, with pages that differ from the hive's.
std::string WithMoreBins(std::string hive, int count, char fill);

// The hive with both sequence numbers set (and its checksum mended).
std::string WithSequence(std::string hive, std::uint32_t primary, std::uint32_t secondary);

// One page of the hive bins data that a log writes.
struct LogPage {
  std::uint32_t offset = 0;  // from the start of the hive bins data
  std::string bytes;         // a multiple of 512 bytes
};

// The pages of 4096 bytes in which the hive bins data of `after` differ from those of
// `before` (all of them past the end of `before`).
std::vector<LogPage> ChangedPages(std::string_view before, std::string_view after);

// The first sector of a log: the hive's base block with the file type, both sequence numbers
// and the size of the hive bins data set, and its checksum mended.
std::string LogHeader(std::string_view hive, std::uint32_t fileType, std::uint32_t sequence,
                      std::uint32_t binsSize);

struct NewLogEntry {
  std::uint32_t sequence = 0;
  std::uint32_t binsSize = 0;
  std::vector<LogPage> pages;
  std::uint32_t flags = 0;
};

// One "HvLE" entry, its hashes right and its size rounded up to 512 bytes.
std::string NewFormatEntry(const NewLogEntry& entry);

// A new-format log: its header (type 6, the first entry's sequence number, the hive bins
// size of the last entry) and the entries one after the other.
std::string NewFormatLog(std::string_view hive, const std::vector<NewLogEntry>& entries);

// An old-format log that brings `before` to `after`: its header taken from `before` (the same
// time) with the sequence number given and `after`'s size, the pages that differ.
std::string OldFormatLog(std::string_view before, std::string_view after, std::uint32_t sequence);

// Where the entry that begins at `at` of a new-format log keeps its fields.
inline constexpr std::size_t kEntrySizeAt = 4;
inline constexpr std::size_t kEntrySequenceAt = 12;
inline constexpr std::size_t kEntryBinsSizeAt = 16;
inline constexpr std::size_t kEntryHash1At = 24;
inline constexpr std::size_t kEntryHash2At = 32;
inline constexpr std::size_t kEntryHeaderSize = 40;

// Sets both hashes of the entry at `at` right again after a field was changed.
void MendEntryHashes(std::string& log, std::size_t at);

struct DirtyHive {
  std::string primary;  // `before`, its primary sequence number one above the secondary
  std::string log1;
  std::string log2;  // empty
};

enum class LogFormat { kNew, kOld };

// `before` (a clean hive) left dirty, with a LOG1 that brings it to `after` (a clean hive too,
// made from `before`): in the new format one entry that continues `before`'s sequence, in the
// old format the pages that differ. Recovered, the hive holds `after`'s hive bins data.
DirtyHive MakeDirtyHive(std::string_view before, std::string_view after, LogFormat format);

}  // namespace tavelin::support
