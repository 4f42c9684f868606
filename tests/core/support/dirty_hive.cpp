#include "support/dirty_hive.h"

#include <algorithm>

#include "store/hive_recovery.h"
#include "support/blank_hive.h"

namespace tavelin::support {

namespace {

constexpr std::size_t kBaseBlockSize = 0x1000;
constexpr std::size_t kSector = 0x200;
constexpr std::size_t kBlock = 0x1000;
constexpr std::uint32_t kNewLogType = 6;
constexpr std::uint32_t kOldLogType = 1;

std::string_view Bins(std::string_view hive) {
  return hive.size() > kBaseBlockSize ? hive.substr(kBaseBlockSize) : std::string_view();
}

void Put64(std::string& bytes, std::size_t at, std::uint64_t value) {
  Put32(bytes, at, static_cast<std::uint32_t>(value));
  Put32(bytes, at + 4, static_cast<std::uint32_t>(value >> 32));
}

std::string RoundUp(std::string bytes, std::size_t unit) {
  bytes.resize((bytes.size() + unit - 1) / unit * unit, '\0');
  return bytes;
}

}  // namespace

std::uint32_t Get32(std::string_view bytes, std::size_t at) {
  std::uint32_t value = 0;
  for (int i = 3; i >= 0; --i) value = value << 8 | static_cast<unsigned char>(bytes[at + i]);
  return value;
}

void Put32(std::string& bytes, std::size_t at, std::uint32_t value) {
  for (int i = 0; i < 4; ++i) bytes[at + i] = static_cast<char>(value >> (8 * i));
}

std::string WithMoreBins(std::string hive, int count, char fill) {
  for (int i = 0; i < count; ++i) {
    const auto offset = static_cast<std::uint32_t>(hive.size() - kBaseBlockSize);
    std::string bin(kBlock, fill);
    bin.replace(0, 4, "hbin");
    Put32(bin, 4, offset);
    Put32(bin, 8, static_cast<std::uint32_t>(kBlock));
    for (std::size_t at = 12; at < 32; ++at) bin[at] = '\0';
    Put32(bin, 32, static_cast<std::uint32_t>(kBlock - 32));  // one free cell, the rest
    hive += bin;
  }
  Put32(hive, kHiveBinsSizeAt, static_cast<std::uint32_t>(hive.size() - kBaseBlockSize));
  MendHiveHeaderChecksum(hive);
  return hive;
}

std::string WithSequence(std::string hive, std::uint32_t primary, std::uint32_t secondary) {
  Put32(hive, kHivePrimarySequenceAt, primary);
  Put32(hive, kHiveSecondarySequenceAt, secondary);
  MendHiveHeaderChecksum(hive);
  return hive;
}

std::vector<LogPage> ChangedPages(std::string_view before, std::string_view after) {
  const std::string_view old = Bins(before);
  const std::string_view now = Bins(after);
  std::vector<LogPage> pages;
  for (std::size_t at = 0; at < now.size(); at += kBlock) {
    const std::string_view page = now.substr(at, kBlock);
    if (at + page.size() <= old.size() && old.substr(at, page.size()) == page) continue;
    if (!pages.empty() && pages.back().offset + pages.back().bytes.size() == at) {
      pages.back().bytes += page;  // neighbours go in one page reference
    } else {
      pages.push_back({static_cast<std::uint32_t>(at), std::string(page)});
    }
  }
  return pages;
}

std::string LogHeader(std::string_view hive, std::uint32_t fileType, std::uint32_t sequence,
                      std::uint32_t binsSize) {
  std::string header(hive.substr(0, kSector));
  Put32(header, kHivePrimarySequenceAt, sequence);
  Put32(header, kHiveSecondarySequenceAt, sequence);
  Put32(header, kHiveFileTypeAt, fileType);
  Put32(header, kHiveBinsSizeAt, binsSize);
  MendHiveHeaderChecksum(header);
  return header;
}

void MendEntryHashes(std::string& log, std::size_t at) {
  const std::uint32_t size = Get32(log, at + kEntrySizeAt);
  const std::string_view entry = std::string_view(log).substr(at, size);
  Put64(log, at + kEntryHash1At, Marvin32(entry.substr(kEntryHeaderSize), kHiveLogEntrySeed));
  Put64(log, at + kEntryHash2At, Marvin32(entry.substr(0, 32), kHiveLogEntrySeed));
}

std::string NewFormatEntry(const NewLogEntry& entry) {
  std::string bytes(kEntryHeaderSize, '\0');
  bytes.replace(0, 4, "HvLE");
  Put32(bytes, 8, entry.flags);
  Put32(bytes, kEntrySequenceAt, entry.sequence);
  Put32(bytes, kEntryBinsSizeAt, entry.binsSize);
  Put32(bytes, 20, static_cast<std::uint32_t>(entry.pages.size()));
  for (const LogPage& page : entry.pages) {
    std::string reference(8, '\0');
    Put32(reference, 0, page.offset);
    Put32(reference, 4, static_cast<std::uint32_t>(page.bytes.size()));
    bytes += reference;
  }
  // The pages follow the references without a gap; the padding comes last.
  for (const LogPage& page : entry.pages) bytes += page.bytes;
  bytes = RoundUp(std::move(bytes), kSector);
  Put32(bytes, kEntrySizeAt, static_cast<std::uint32_t>(bytes.size()));
  MendEntryHashes(bytes, 0);
  return bytes;
}

std::string NewFormatLog(std::string_view hive, const std::vector<NewLogEntry>& entries) {
  std::string log = LogHeader(hive, kNewLogType, entries.front().sequence, entries.back().binsSize);
  for (const NewLogEntry& entry : entries) log += NewFormatEntry(entry);
  return log;
}

std::string OldFormatLog(std::string_view before, std::string_view after, std::uint32_t sequence) {
  const auto binsSize = static_cast<std::uint32_t>(Bins(after).size());
  std::string log = LogHeader(before, kOldLogType, sequence, binsSize);
  std::string vector = "DIRT";
  std::string bitmap((binsSize / kSector + 7) / 8, '\0');
  std::string pages;
  for (const LogPage& page : ChangedPages(before, after)) {
    for (std::size_t at = 0; at < page.bytes.size(); at += kSector) {
      const std::size_t bit = (page.offset + at) / kSector;
      bitmap[bit / 8] = static_cast<char>(bitmap[bit / 8] | 1 << (bit % 8));
    }
    pages += page.bytes;
  }
  log += RoundUp(vector + bitmap, kSector);
  log += pages;
  return log;
}

DirtyHive MakeDirtyHive(std::string_view before, std::string_view after, LogFormat format) {
  const std::uint32_t sequence = Get32(before, kHiveSecondarySequenceAt);
  DirtyHive dirty;
  dirty.primary = WithSequence(std::string(before), sequence + 1, sequence);
  if (format == LogFormat::kNew) {
    NewLogEntry entry;
    entry.sequence = sequence;
    entry.binsSize = static_cast<std::uint32_t>(Bins(after).size());
    entry.pages = ChangedPages(before, after);
    dirty.log1 = NewFormatLog(before, {entry});
  } else {
    dirty.log1 = OldFormatLog(before, after, sequence + 1);
  }
  return dirty;
}

}  // namespace tavelin::support
