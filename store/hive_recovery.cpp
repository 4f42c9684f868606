#include "store/hive_recovery.h"

#include <algorithm>
#include <cstring>

#include "store/little_endian.h"

namespace tavelin {

namespace {

// The base block: the first 4096 bytes of a hive; a log holds a copy of its first sector.
constexpr std::size_t kBaseBlockSize = 0x1000;
constexpr std::size_t kSectorSize = 0x200;
constexpr std::size_t kPrimarySequenceAt = 4;
constexpr std::size_t kSecondarySequenceAt = 8;
constexpr std::size_t kTimestampAt = 12;
constexpr std::size_t kFileTypeAt = 28;
constexpr std::size_t kBinsSizeAt = 40;
constexpr std::size_t kClusteringAt = 44;
constexpr std::size_t kFlagsAt = 144;
constexpr std::size_t kChecksumAt = 508;

constexpr std::uint32_t kPrimaryFile = 0;
constexpr std::uint32_t kOldLog = 1;
constexpr std::uint32_t kOldLogOfWindows2000 = 2;
constexpr std::uint32_t kNewLog = 6;

// Hive bins come in whole 4096-byte blocks; the hive bins data stays below 2 GiB.
constexpr std::uint32_t kBinBlock = 0x1000;
constexpr std::uint32_t kLargestBinsSize = 0x7FFFF000u;
constexpr std::size_t kBinHeaderSize = 0x20;
constexpr std::size_t kFirstBinTimestampAt = kBaseBlockSize + 20;

// A log entry ("HvLE"): its header, then page references (offset, size), then the pages.
constexpr std::size_t kEntryHeaderSize = 40;
constexpr std::size_t kEntrySizeAt = 4;
constexpr std::size_t kEntryFlagsAt = 8;
constexpr std::size_t kEntrySequenceAt = 12;
constexpr std::size_t kEntryBinsSizeAt = 16;
constexpr std::size_t kEntryPageCountAt = 20;
constexpr std::size_t kEntryHash1At = 24;
constexpr std::size_t kEntryHash2At = 32;
constexpr std::size_t kPageReferenceSize = 8;

std::uint32_t RotateLeft(std::uint32_t value, int by) {
  return value << by | value >> (32 - by);
}

std::string Number(std::uint64_t value) {
  return std::to_string(value);
}

// What a base block (a hive's own, or a log's copy of its first sector) says.
struct BaseBlock {
  std::string invalid;  // why it is not a valid base block; empty when it is
  std::uint32_t primarySequence = 0;
  std::uint32_t secondarySequence = 0;
  std::uint64_t timestamp = 0;
  std::uint32_t fileType = 0;
  std::uint32_t binsSize = 0;
  std::uint32_t clustering = 0;
};

BaseBlock ReadBaseBlock(std::string_view bytes) {
  BaseBlock block;
  if (bytes.size() < kSectorSize) {
    block.invalid = "it is cut short";
    return block;
  }
  if (bytes.compare(0, 4, "regf") != 0) {
    block.invalid = "it does not begin with \"regf\"";
    return block;
  }
  block.primarySequence = LittleEndian32(bytes, kPrimarySequenceAt);
  block.secondarySequence = LittleEndian32(bytes, kSecondarySequenceAt);
  block.timestamp = LittleEndian64(bytes, kTimestampAt);
  block.fileType = LittleEndian32(bytes, kFileTypeAt);
  block.binsSize = LittleEndian32(bytes, kBinsSizeAt);
  block.clustering = LittleEndian32(bytes, kClusteringAt);
  if (LittleEndian32(bytes, kChecksumAt) != HiveBaseBlockChecksum(bytes))
    block.invalid = "its checksum is wrong";
  return block;
}

// The hive being rebuilt: its bytes, and which 512-byte pages of the hive bins data a log
// wrote (the hive bins there are checked once everything is applied).
struct Image {
  std::string bytes;
  std::vector<bool> written;

  void resizeBins(std::uint32_t binsSize) {
    bytes.resize(kBaseBlockSize + binsSize, '\0');
    written.resize(binsSize / kSectorSize, false);
  }
  void write(std::uint32_t offset, std::string_view page) {
    std::memcpy(bytes.data() + kBaseBlockSize + offset, page.data(), page.size());
    for (std::size_t at = offset / kSectorSize; at < (offset + page.size()) / kSectorSize; ++at) {
      written[at] = true;
    }
  }
};

// A log's copy of the first sector of the base block in place of the hive's damaged one.
void TakeBaseBlockFromLog(std::string& hive, std::string_view log) {
  if (hive.size() < kBaseBlockSize) hive.resize(kBaseBlockSize, '\0');
  std::memcpy(hive.data(), log.data(), kSectorSize);
  PutLittleEndian32(hive, kFileTypeAt, kPrimaryFile);
}

// The base block of the recovered hive: clean, its size that of its hive bins data.
void Seal(Image& image, std::uint32_t sequence) {
  std::string& bytes = image.bytes;
  PutLittleEndian32(bytes, kPrimarySequenceAt, sequence);
  PutLittleEndian32(bytes, kSecondarySequenceAt, sequence);
  PutLittleEndian32(bytes, kBinsSizeAt, static_cast<std::uint32_t>(bytes.size() - kBaseBlockSize));
  PutLittleEndian32(bytes, kChecksumAt, HiveBaseBlockChecksum(bytes));
}

// Every hive bin that holds a page a log wrote must be whole: its signature, its own offset,
// and a size of whole blocks inside the hive. The walk stops quietly at damage no log wrote:
// that is the hive's own, for hivex to judge.
std::string CheckWrittenBins(const Image& image, const std::string& logName) {
  const std::string_view bins = std::string_view(image.bytes).substr(kBaseBlockSize);
  std::size_t at = 0;
  while (at < bins.size()) {
    const bool whole = bins.size() - at >= kBinHeaderSize && bins.compare(at, 4, "hbin") == 0 &&
                       LittleEndian32(bins, at + 4) == at &&
                       LittleEndian32(bins, at + 8) >= kBinBlock &&
                       LittleEndian32(bins, at + 8) % kBinBlock == 0 &&
                       LittleEndian32(bins, at + 8) <= bins.size() - at;
    if (!whole) {
      const std::size_t end = std::min(bins.size(), at + kBinBlock) / kSectorSize;
      for (std::size_t page = at / kSectorSize; page < end; ++page) {
        if (image.written[page]) {
          return "its log " + logName + " leaves a damaged hive bin at offset " + Number(at) +
                 " of the hive bins";
        }
      }
      return {};
    }
    at += LittleEndian32(bins, at + 8);
  }
  return {};
}

struct PageReference {
  std::uint32_t offset = 0;
  std::string_view bytes;
};

struct LogEntry {
  std::uint32_t sequence = 0;
  std::uint32_t binsSize = 0;
  std::uint32_t flags = 0;
  std::vector<PageReference> pages;
};

// A log beside the hive, read and with a valid base block.
struct Log {
  const HiveLogFile* file = nullptr;
  std::string_view bytes;
  BaseBlock base;
  std::vector<LogEntry> entries;  // new format: those that follow on from its base block

  const std::string& name() const { return file->name; }
  std::uint32_t sequence() const { return base.primarySequence; }
};

// Reads a new-format log's entries, from the second sector on, while they continue the
// sequence its base block begins. The entries end at the file's end, at bytes that are no
// entry, or at an older entry that a new one did not overwrite; any entry that fails a check
// is an error, and nothing of the log is used.
std::string ReadEntries(Log& log) {
  const std::string_view bytes = log.bytes;
  const std::string& name = log.name();
  std::uint32_t expected = log.sequence();
  std::size_t at = kSectorSize;
  while (at < bytes.size()) {
    const std::string_view rest = bytes.substr(at);
    const std::string where = "the entry at byte " + Number(at) + " of its log " + name;
    if (rest.size() < kEntryHeaderSize) {
      if (std::string_view("HvLE").substr(0, std::min<std::size_t>(rest.size(), 4)) ==
          rest.substr(0, 4)) {
        return "its log " + name + " is cut short inside the entry at byte " + Number(at);
      }
      break;
    }
    if (rest.compare(0, 4, "HvLE") != 0) break;
    const std::uint32_t size = LittleEndian32(rest, kEntrySizeAt);
    if (size < kEntryHeaderSize || size % kSectorSize != 0) {
      return where + " gives an impossible size (" + Number(size) + " bytes)";
    }
    if (size > rest.size()) {
      return "its log " + name + " is cut short inside the entry at byte " + Number(at);
    }
    const std::string_view entry = rest.substr(0, size);
    if (LittleEndian64(entry, kEntryHash1At) !=
        Marvin32(entry.substr(kEntryHeaderSize), kHiveLogEntrySeed)) {
      return where + " fails its check (hash-1)";
    }
    if (LittleEndian64(entry, kEntryHash2At) != Marvin32(entry.substr(0, 32), kHiveLogEntrySeed)) {
      return where + " fails its check (hash-2)";
    }
    const std::uint32_t sequence = LittleEndian32(entry, kEntrySequenceAt);
    if (log.entries.empty() && sequence != expected) {
      return "its log " + name + " begins with entry " + Number(sequence) + ", its header with " +
             Number(expected);
    }
    if (sequence < expected) break;  // an older entry, already in the hive
    if (sequence > expected) {
      return "its log " + name + " skips from entry " + Number(expected - 1) + " to entry " +
             Number(sequence) + " (at byte " + Number(at) + ")";
    }
    LogEntry parsed;
    parsed.sequence = sequence;
    parsed.flags = LittleEndian32(entry, kEntryFlagsAt);
    parsed.binsSize = LittleEndian32(entry, kEntryBinsSizeAt);
    if (parsed.binsSize == 0 || parsed.binsSize % kBinBlock != 0 ||
        parsed.binsSize > kLargestBinsSize) {
      return where + " gives an impossible size for the hive bins (" + Number(parsed.binsSize) +
             " bytes)";
    }
    const std::uint32_t count = LittleEndian32(entry, kEntryPageCountAt);
    if (count > (size - kEntryHeaderSize) / kPageReferenceSize) {
      return where + " names more pages than it has room for";
    }
    std::size_t data = kEntryHeaderSize + std::size_t{count} * kPageReferenceSize;
    for (std::uint32_t i = 0; i < count; ++i) {
      const std::size_t reference = kEntryHeaderSize + std::size_t{i} * kPageReferenceSize;
      const std::uint32_t offset = LittleEndian32(entry, reference);
      const std::uint32_t length = LittleEndian32(entry, reference + 4);
      if (length == 0 || offset % kSectorSize != 0 || length % kSectorSize != 0) {
        return where + " names an impossible page (" + Number(length) + " bytes at offset " +
               Number(offset) + ")";
      }
      if (std::uint64_t{offset} + length > parsed.binsSize) {
        return where + " writes beyond the hive's end (" + Number(length) + " bytes at offset " +
               Number(offset) + ", the hive bins hold " + Number(parsed.binsSize) + ")";
      }
      if (length > size - data) return where + " is shorter than the pages it names";
      parsed.pages.push_back({offset, entry.substr(data, length)});
      data += length;
    }
    log.entries.push_back(std::move(parsed));
    ++expected;
    at += size;
  }
  return {};
}

void ApplyEntries(const Log& log, Image& image, std::uint32_t& flags) {
  for (const LogEntry& entry : log.entries) {
    image.resizeBins(entry.binsSize);
    for (const PageReference& page : entry.pages) image.write(page.offset, page.bytes);
    flags = (flags & ~1u) | (entry.flags & 1u);
  }
}

HiveRecovery Unrecoverable(std::string why) {
  HiveRecovery result;
  result.outcome = HiveRecovery::Outcome::kUnrecoverable;
  result.why = std::move(why);
  return result;
}

HiveRecovery Recovered(Image& image, std::uint32_t sequence, std::vector<std::string> applied) {
  Seal(image, sequence);
  HiveRecovery result;
  result.outcome = HiveRecovery::Outcome::kRecovered;
  result.image = std::move(image.bytes);
  result.logsApplied = std::move(applied);
  return result;
}

// New-format logs. With a valid base block in the hive, every log whose entries continue the
// hive's sequence is applied, the one with the earlier entries first, and the next must
// follow on from the last entry applied; with a damaged one, only the log with the latest
// entries is applied, its base block taking the damaged one's place.
HiveRecovery RecoverFromNewLogs(std::string& primary, const BaseBlock& hive,
                                std::vector<Log> logs) {
  std::stable_sort(logs.begin(), logs.end(),
                   [](const Log& a, const Log& b) { return a.sequence() < b.sequence(); });
  const bool hiveValid = hive.invalid.empty();
  if (hiveValid) {
    // Logs whose entries the hive already holds are passed over.
    const std::uint32_t expected = hive.secondarySequence;
    std::string older;
    for (const Log& log : logs) {
      if (log.sequence() >= expected) break;
      older +=
          (older.empty() ? "" : ", ") + log.name() + " begins with entry " + Number(log.sequence());
    }
    std::erase_if(logs, [&](const Log& log) { return log.sequence() < expected; });
    if (logs.empty()) {
      return Unrecoverable(
          "none of its logs continues the hive's sequence: the hive expects entry " +
          Number(expected) + ", " + older);
    }
  }
  for (std::size_t i = 1; i < logs.size(); ++i) {
    if (logs[i].sequence() == logs[i - 1].sequence()) {
      return Unrecoverable("its logs " + logs[i - 1].name() + " and " + logs[i].name() +
                           " contradict each other: both begin with entry " +
                           Number(logs[i].sequence()));
    }
  }
  if (!hiveValid) logs.erase(logs.begin(), logs.end() - 1);
  for (Log& log : logs) {
    if (std::string error = ReadEntries(log); !error.empty()) return Unrecoverable(error);
  }

  // Each entry sets the size of the hive bins data, so the image takes its size from them.
  Image image;
  image.bytes = std::move(primary);
  if (!hiveValid) TakeBaseBlockFromLog(image.bytes, logs.back().bytes);
  std::uint32_t flags = LittleEndian32(image.bytes, kFlagsAt);
  std::vector<std::string> applied;
  const Log* previous = nullptr;
  for (const Log& log : logs) {
    if (log.entries.empty()) continue;
    if (previous) {
      const std::uint32_t last = previous->entries.back().sequence;
      const std::uint32_t first = log.entries.front().sequence;
      if (first <= last) {
        return Unrecoverable("its logs " + previous->name() + " and " + log.name() +
                             " contradict each other: both hold entry " + Number(first));
      }
      if (first != last + 1) {
        return Unrecoverable("its log " + log.name() +
                             " does not continue the hive's sequence: it begins with entry " +
                             Number(first) + ", and " + previous->name() + " ends with entry " +
                             Number(last));
      }
    }
    ApplyEntries(log, image, flags);
    applied.push_back(log.name());
    previous = &log;
  }
  if (!previous) {
    std::string names;
    for (const Log& log : logs) names += (names.empty() ? "" : " and ") + log.name();
    return Unrecoverable("its log" + std::string(logs.size() > 1 ? "s " : " ") + names +
                         (logs.size() > 1 ? " hold" : " holds") + " no entry to apply");
  }
  PutLittleEndian32(image.bytes, kFlagsAt, flags);
  for (const std::string& name : applied) {
    if (std::string error = CheckWrittenBins(image, name); !error.empty()) {
      return Unrecoverable(error);
    }
  }
  return Recovered(image, previous->entries.back().sequence, std::move(applied));
}

// Old-format logs: a copy of the base block, the dirty vector and the dirty pages. A log
// applies when its base block was written for this state of the hive (the same time in both
// base blocks) and is not older than the hive; of those, the one with the latest sequence
// number is applied. A damaged base block (a wrong checksum) still names its own time, which
// is the time of its log; the first hive bin's copy of that time lags behind it after some
// writes, and stands in only where the block is no base block at all.
HiveRecovery RecoverFromOldLogs(std::string& primary, const BaseBlock& hive,
                                const std::vector<Log>& logs) {
  const bool hiveValid = hive.invalid.empty();
  // ReadBaseBlock reads the time of any block that is whole and signed "regf".
  const bool ownTime = hiveValid || (primary.size() >= kSectorSize && primary.starts_with("regf"));
  std::uint64_t hiveTime = hive.timestamp;
  if (!ownTime) {
    if (primary.size() < kFirstBinTimestampAt + 8) {
      return Unrecoverable(
          "its base block is damaged and it has no first hive bin to match "
          "its logs against");
    }
    hiveTime = LittleEndian64(std::string_view(primary), kFirstBinTimestampAt);
  }
  const Log* chosen = nullptr;
  std::string refused;
  for (const Log& log : logs) {
    std::string why;
    if (log.base.timestamp != hiveTime) {
      why = log.name() +
            " was written for another state of the hive (the times in their "
            "headers differ)";
    } else if (hiveValid && log.sequence() < hive.secondarySequence) {
      why = log.name() + " is older than the hive (entry " + Number(log.sequence()) +
            ", the hive expects " + Number(hive.secondarySequence) + ")";
    }
    if (!why.empty()) {
      refused += (refused.empty() ? "" : "; ") + why;
      continue;
    }
    if (chosen && log.sequence() == chosen->sequence() &&
        log.bytes.substr(kSectorSize) != chosen->bytes.substr(kSectorSize)) {
      return Unrecoverable("its logs " + chosen->name() + " and " + log.name() +
                           " contradict each other: both hold entry " + Number(log.sequence()) +
                           " with different pages");
    }
    if (!chosen || log.sequence() > chosen->sequence()) chosen = &log;
  }
  if (!chosen) return Unrecoverable("none of its logs applies to it: " + refused);

  const Log& log = *chosen;
  const std::string& name = log.name();
  const std::uint32_t clustering = log.base.clustering;
  if (clustering != 1 && clustering != 2 && clustering != 4 && clustering != 8) {
    return Unrecoverable("the header of its log " + name + " gives an impossible sector size");
  }
  const std::uint32_t binsSize = log.base.binsSize;
  if (binsSize == 0 || binsSize % kBinBlock != 0 || binsSize > kLargestBinsSize) {
    return Unrecoverable("the header of its log " + name +
                         " gives an impossible size for the hive bins (" + Number(binsSize) +
                         " bytes)");
  }
  const std::size_t sector = std::size_t{clustering} * kSectorSize;
  const std::string_view bytes = log.bytes;
  if (bytes.size() < sector + 4 || bytes.compare(sector, 4, "DIRT") != 0) {
    return Unrecoverable("its log " + name + " has no dirty vector (\"DIRT\") after its header");
  }
  const std::size_t pageCount = binsSize / kSectorSize;
  const std::size_t vectorBytes = (pageCount + 7) / 8;
  if (bytes.size() - sector - 4 < vectorBytes) {
    return Unrecoverable("its log " + name + " is cut short inside its dirty vector");
  }
  const std::string_view vector = bytes.substr(sector + 4, vectorBytes);
  const auto dirty = [&](std::size_t page) {
    return (static_cast<unsigned char>(vector[page / 8]) >> (page % 8) & 1u) != 0;
  };
  std::size_t dirtyCount = 0;
  for (std::size_t page = 0; page < pageCount; ++page) dirtyCount += dirty(page) ? 1 : 0;
  const std::size_t pagesAt = (sector + 4 + vectorBytes + sector - 1) / sector * sector;
  if (pagesAt > bytes.size() || (bytes.size() - pagesAt) / kSectorSize < dirtyCount) {
    return Unrecoverable("its log " + name + " is cut short: its dirty vector names " +
                         Number(dirtyCount) + " pages");
  }

  Image image;
  image.bytes = std::move(primary);
  if (image.bytes.size() < kBaseBlockSize) image.bytes.resize(kBaseBlockSize, '\0');
  if (!hiveValid) TakeBaseBlockFromLog(image.bytes, bytes);
  image.resizeBins(binsSize);
  std::size_t next = pagesAt;
  for (std::size_t page = 0; page < pageCount; ++page) {
    if (!dirty(page)) continue;
    image.write(static_cast<std::uint32_t>(page * kSectorSize), bytes.substr(next, kSectorSize));
    next += kSectorSize;
  }
  if (std::string error = CheckWrittenBins(image, name); !error.empty()) {
    return Unrecoverable(error);
  }
  const std::uint32_t sequence =
      hiveValid ? std::max(log.sequence(), hive.primarySequence) : log.sequence();
  return Recovered(image, sequence, {name});
}

}  // namespace

std::uint32_t HiveBaseBlockChecksum(std::string_view block) {
  std::uint32_t sum = 0;
  for (std::size_t at = 0; at < kChecksumAt; at += 4) sum ^= LittleEndian32(block, at);
  if (sum == 0xFFFFFFFFu) return 0xFFFFFFFEu;
  if (sum == 0) return 1;
  return sum;
}

std::uint64_t Marvin32(std::string_view bytes, std::uint64_t seed) {
  std::uint32_t low = static_cast<std::uint32_t>(seed);
  std::uint32_t high = static_cast<std::uint32_t>(seed >> 32);
  const auto mix = [&] {
    high ^= low;
    low = RotateLeft(low, 20);
    low += high;
    high = RotateLeft(high, 9);
    high ^= low;
    low = RotateLeft(low, 27);
    low += high;
    high = RotateLeft(high, 19);
  };
  std::size_t at = 0;
  for (; bytes.size() - at >= 4; at += 4) {
    low += LittleEndian32(bytes, at);
    mix();
  }
  // The last 0 to 3 bytes, closed by a 0x80 byte above them.
  std::uint32_t last = 0x80;
  for (std::size_t i = bytes.size(); i > at; --i) {
    last = last << 8 | static_cast<unsigned char>(bytes[i - 1]);
  }
  low += last;
  mix();
  mix();
  return static_cast<std::uint64_t>(high) << 32 | low;
}

bool IsHiveDirty(std::string_view primary) {
  const BaseBlock block = ReadBaseBlock(primary);
  return !block.invalid.empty() || block.primarySequence != block.secondarySequence;
}

HiveRecovery RecoverHive(std::string primary, const std::vector<HiveLogFile>& logs) {
  const BaseBlock hive = ReadBaseBlock(primary);
  if (hive.invalid.empty() && hive.primarySequence == hive.secondarySequence) return {};
  if (logs.empty()) return Unrecoverable("no log file is beside it");

  std::vector<Log> newLogs;
  std::vector<Log> oldLogs;
  std::vector<std::string> empty;
  for (const HiveLogFile& file : logs) {
    if (!file.bytes)
      return Unrecoverable("its log " + file.name + " cannot be read: " + file.unreadable);
    if (file.bytes->empty()) {
      empty.push_back(file.name);
      continue;
    }
    Log log;
    log.file = &file;
    log.bytes = *file.bytes;
    log.base = ReadBaseBlock(log.bytes);
    const std::string header = "the header of its log " + file.name;
    if (!log.base.invalid.empty())
      return Unrecoverable(header + " is not valid: " + log.base.invalid);
    if (log.base.primarySequence != log.base.secondarySequence) {
      return Unrecoverable(header + " is not valid: its sequence numbers differ");
    }
    switch (log.base.fileType) {
      case kNewLog:
        newLogs.push_back(std::move(log));
        break;
      case kOldLog:
      case kOldLogOfWindows2000:
        oldLogs.push_back(std::move(log));
        break;
      default:
        return Unrecoverable(header + " names a kind of file that is not a log (" +
                             Number(log.base.fileType) + ")");
    }
  }
  if (newLogs.empty() && oldLogs.empty()) {
    std::string names;
    for (const std::string& name : empty) names += (names.empty() ? "" : " and ") + name;
    return Unrecoverable(empty.size() > 1 ? "its logs " + names + " are empty"
                                          : "its log " + names + " is empty");
  }
  // A hive written by Windows 8.1 or later keeps its changes in new-format logs; an old-format
  // log beside them is left over from an older Windows.
  if (!newLogs.empty()) return RecoverFromNewLogs(primary, hive, std::move(newLogs));
  return RecoverFromOldLogs(primary, hive, oldLogs);
}

}  // namespace tavelin
