// Bringing a dirty Windows hive up to date from its transaction logs, on bytes alone: hives
// and logs made by the dirty-hive maker, each way a log can be wrong, and which logs are
// applied in which order. The real hives Windows left dirty are in offline_hive_test.cpp.
#include "store/hive_recovery.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "support/blank_hive.h"
#include "support/dirty_hive.h"

namespace tavelin {
namespace {

using support::Get32;
using support::LogFormat;
using support::LogPage;
using support::NewLogEntry;
using support::Put32;
using Outcome = HiveRecovery::Outcome;

constexpr std::size_t kBase = 0x1000;
constexpr std::size_t kFirstEntry = 0x200;

std::string Bins(const std::string& hive) {
  return hive.substr(kBase);
}

HiveLogFile Log(const std::string& name, std::optional<std::string> bytes) {
  return {name, std::move(bytes), bytes ? "" : "Permission denied"};
}

std::vector<HiveLogFile> Logs(const std::string& log1, const std::string& log2 = {}) {
  return {Log("NTUSER.DAT.LOG1", log1), Log("NTUSER.DAT.LOG2", log2)};
}

// The recovery ended clean: equal sequence numbers, the right checksum and size.
::testing::AssertionResult EndsClean(const HiveRecovery& result, std::uint32_t sequence) {
  if (result.outcome != Outcome::kRecovered) {
    return ::testing::AssertionFailure() << "not recovered: " << result.why;
  }
  const std::string& image = result.image;
  if (Get32(image, 4) != sequence || Get32(image, 8) != sequence) {
    return ::testing::AssertionFailure()
           << "sequence numbers " << Get32(image, 4) << " and " << Get32(image, 8);
  }
  if (Get32(image, 0x1FC) != support::HiveHeaderChecksum(image)) {
    return ::testing::AssertionFailure() << "wrong checksum";
  }
  if (Get32(image, 40) != image.size() - kBase) {
    return ::testing::AssertionFailure()
           << "hive bins data size " << Get32(image, 40) << " for a file of " << image.size();
  }
  if (Get32(image, 28) != 0) return ::testing::AssertionFailure() << "not a primary file";
  return ::testing::AssertionSuccess();
}

class HiveRecoveryTest : public ::testing::Test {
 protected:
  // `before`: a blank hive grown to three bins, sequence 7; `after`: the same with changed
  // bytes in its second bin and two more bins.
  const std::string before =
      support::WithSequence(support::WithMoreBins(support::BlankHiveBytes(), 2, 'a'), 7, 7);
  const std::string after = [this] {
    std::string changed = before;
    changed.replace(kBase + 0x1000 + 0x100, 16, "changed by a log");
    return support::WithMoreBins(changed, 2, 'b');
  }();
  // One more change on top of `after`, for a second entry or a second log.
  const std::string later = [this] {
    std::string changed = after;
    changed.replace(kBase + 0x3000 + 0x200, 10, "later yet!");
    return changed;
  }();
  const std::uint32_t afterBins = static_cast<std::uint32_t>(after.size() - kBase);
  const std::string primary = support::WithSequence(before, 8, 7);

  NewLogEntry entry(std::uint32_t sequence, const std::string& from, const std::string& to) const {
    return {sequence, static_cast<std::uint32_t>(to.size() - kBase),
            support::ChangedPages(from, to)};
  }
};

TEST(Marvin32, GivesThePublishedValues) {
  const std::uint64_t seed = 0x004FB61A001BDBCCull;
  EXPECT_EQ(Marvin32("", seed), 0x30ED35C100CD3C7Dull);
  EXPECT_EQ(Marvin32("\xAF", seed), 0x48E73FC77D75DDC1ull);
  EXPECT_EQ(Marvin32("\xE7\x0F", seed), 0xB5F6E1FC485DBFF8ull);
  EXPECT_EQ(Marvin32("\x37\xF4\x95", seed), 0xF0B07C789B8CF7E8ull);
  EXPECT_EQ(Marvin32("\x86\x42\xDC\x59", seed), 0x7008F2E87E9CF556ull);
}

TEST_F(HiveRecoveryTest, ACleanHiveIsNeverTouchedByItsLogs) {
  const std::string log = support::NewFormatLog(before, {entry(7, before, after)});
  for (const auto& logs : {Logs(log), Logs("garbage", "more garbage"), std::vector<HiveLogFile>{},
                           std::vector<HiveLogFile>{Log("NTUSER.DAT.LOG1", std::nullopt)}}) {
    const HiveRecovery result = RecoverHive(before, logs);
    EXPECT_EQ(result.outcome, Outcome::kClean);
    EXPECT_TRUE(result.image.empty());
  }
  EXPECT_FALSE(IsHiveDirty(before));
  EXPECT_TRUE(IsHiveDirty(primary));
}

TEST_F(HiveRecoveryTest, EitherFormatBringsTheHiveToWhatItsLogHolds) {
  for (const LogFormat format : {LogFormat::kNew, LogFormat::kOld}) {
    SCOPED_TRACE(format == LogFormat::kNew ? "new format" : "old format");
    const support::DirtyHive dirty = support::MakeDirtyHive(before, after, format);
    EXPECT_EQ(dirty.primary, primary);
    const HiveRecovery result = RecoverHive(dirty.primary, Logs(dirty.log1, dirty.log2));
    // The new format ends on the last entry's number, the old on the write the hive began.
    EXPECT_TRUE(EndsClean(result, format == LogFormat::kNew ? 7 : 8));
    EXPECT_EQ(Bins(result.image), Bins(after));
    EXPECT_EQ(result.logsApplied, std::vector<std::string>{"NTUSER.DAT.LOG1"});
    // The rest of the base block is the hive's own.
    EXPECT_EQ(result.image.substr(0x30, 0x1FC - 0x30), primary.substr(0x30, 0x1FC - 0x30));
  }
}

TEST_F(HiveRecoveryTest, EntriesAndLogsAreAppliedInTheOrderOfTheirNumbersWhicheverLogIsOlder) {
  const std::string first = support::NewFormatLog(before, {entry(7, before, after)});
  const std::string second = support::NewFormatLog(after, {entry(8, after, later)});
  // LOG1 older than LOG2, and the other way round: the older entries go first.
  const HiveRecovery inOrder = RecoverHive(primary, Logs(first, second));
  EXPECT_TRUE(EndsClean(inOrder, 8));
  EXPECT_EQ(Bins(inOrder.image), Bins(later));
  EXPECT_EQ(inOrder.logsApplied, (std::vector<std::string>{"NTUSER.DAT.LOG1", "NTUSER.DAT.LOG2"}));
  const HiveRecovery swapped = RecoverHive(primary, Logs(second, first));
  EXPECT_TRUE(EndsClean(swapped, 8));
  EXPECT_EQ(Bins(swapped.image), Bins(later));
  EXPECT_EQ(swapped.logsApplied, (std::vector<std::string>{"NTUSER.DAT.LOG2", "NTUSER.DAT.LOG1"}));

  // Two entries in one log, then an older entry that a newer run did not overwrite, then
  // zeros: the log ends after the second.
  std::string both =
      support::NewFormatLog(before, {entry(7, before, after), entry(8, after, later)});
  both += support::NewFormatEntry(entry(3, before, after));
  both += std::string(0x400, '\0');
  const HiveRecovery one = RecoverHive(primary, Logs(both));
  EXPECT_TRUE(EndsClean(one, 8));
  EXPECT_EQ(Bins(one.image), Bins(later));

  // A log whose entries the hive already holds is passed over.
  const std::string stale = support::NewFormatLog(before, {entry(5, before, after)});
  const HiveRecovery skipping = RecoverHive(primary, Logs(stale, first));
  EXPECT_TRUE(EndsClean(skipping, 7));
  EXPECT_EQ(skipping.logsApplied, std::vector<std::string>{"NTUSER.DAT.LOG2"});
  // Two such logs alike do not contradict each other: neither is looked at.
  const HiveRecovery twoStale = RecoverHive(
      primary,
      {Log("NTUSER.DAT.LOG1", stale), Log("NTUSER.DAT.LOG2", first), Log("NTUSER.DAT.LOG", stale)});
  EXPECT_TRUE(EndsClean(twoStale, 7));
}

TEST_F(HiveRecoveryTest, TheLastEntryGivesTheHiveItsSizeAndItsFlag) {
  // The hive shrinks back to three bins in the second entry, its flag set.
  NewLogEntry grow = entry(7, before, after);
  NewLogEntry shrink{8,
                     static_cast<std::uint32_t>(before.size() - kBase),
                     {{0x1000, before.substr(kBase + 0x1000, 0x1000)}},
                     1};
  const HiveRecovery result =
      RecoverHive(primary, Logs(support::NewFormatLog(before, {grow, shrink})));
  EXPECT_TRUE(EndsClean(result, 8));
  EXPECT_EQ(Bins(result.image), Bins(before));
  EXPECT_EQ(Get32(result.image, 144) & 1u, 1u);
}

TEST_F(HiveRecoveryTest, ADamagedBaseBlockIsTakenFromTheLogWithTheLatestEntries) {
  std::string damaged = primary;
  damaged.replace(0x30, 8, "garbage!");  // the checksum no longer matches
  ASSERT_TRUE(IsHiveDirty(damaged));
  // New format: only the log with the latest entries is applied.
  const std::string first = support::NewFormatLog(before, {entry(7, before, after)});
  const std::string second = support::NewFormatLog(after, {entry(8, after, later)});
  const HiveRecovery fromNew = RecoverHive(damaged, Logs(first, second));
  EXPECT_TRUE(EndsClean(fromNew, 8));
  EXPECT_EQ(fromNew.logsApplied, std::vector<std::string>{"NTUSER.DAT.LOG2"});
  EXPECT_EQ(fromNew.image.substr(0x30, 8), before.substr(0x30, 8));
  // Only LOG2's page: the first change never reached the hive.
  std::string expected = Bins(before);
  expected.resize(Bins(later).size(), '\0');
  for (const LogPage& page : support::ChangedPages(after, later)) {
    expected.replace(page.offset, page.bytes.size(), page.bytes);
  }
  EXPECT_EQ(Bins(fromNew.image), expected);
  // Old format: the log is matched by the time the damaged base block still names.
  const support::DirtyHive old = support::MakeDirtyHive(before, after, LogFormat::kOld);
  const HiveRecovery fromOld = RecoverHive(damaged, Logs(old.log1));
  EXPECT_TRUE(EndsClean(fromOld, 8));
  EXPECT_EQ(Bins(fromOld.image), Bins(after));
  EXPECT_EQ(fromOld.image.substr(0x30, 8), before.substr(0x30, 8));
}

// Each way a log can be wrong: told, naming the log, and nothing of it applied.
TEST_F(HiveRecoveryTest, EveryLogThatFailsACheckIsRefusedWithItsReason) {
  const std::string good = support::NewFormatLog(before, {entry(7, before, after)});
  const std::string two =
      support::NewFormatLog(before, {entry(7, before, after), entry(8, after, later)});
  const std::size_t secondEntry = kFirstEntry + Get32(two, kFirstEntry + 4);
  const auto edited = [](std::string log, std::size_t at, std::string_view bytes, bool mend) {
    log.replace(at, bytes.size(), bytes);
    if (mend) support::MendEntryHashes(log, kFirstEntry);
    return log;
  };
  std::string badHeader = good;
  badHeader[0x30] ^= 1;
  std::string unequalHeader = good;
  Put32(unequalHeader, 8, 6);
  support::MendHiveHeaderChecksum(unequalHeader);
  std::string notALog = good;
  Put32(notALog, 28, 0);
  support::MendHiveHeaderChecksum(notALog);
  std::string gap = two;
  Put32(gap, secondEntry + support::kEntrySequenceAt, 9);
  support::MendEntryHashes(gap, secondEntry);
  std::string mismatched = good;
  Put32(mismatched, kFirstEntry + support::kEntrySequenceAt, 8);
  support::MendEntryHashes(mismatched, kFirstEntry);
  std::string oddSize = good;
  Put32(oddSize, kFirstEntry + support::kEntrySizeAt, 0x300 + 8);
  std::string badBin = good;
  // Two page references, then the first page: the hive bin at 4096.
  badBin.replace(kFirstEntry + support::kEntryHeaderSize + 16, 4, "nope");
  support::MendEntryHashes(badBin, kFirstEntry);
  NewLogEntry beyond = entry(7, before, after);
  beyond.binsSize = 0x2000;
  NewLogEntry oddBins = entry(7, before, after);
  oddBins.binsSize = 0x4800;

  struct Case {
    const char* name;
    std::vector<HiveLogFile> logs;
    const char* why;
  };
  const std::vector<Case> cases = {
      {"no log", {}, "no log file is beside it"},
      {"both empty", Logs("", ""), "its logs NTUSER.DAT.LOG1 and NTUSER.DAT.LOG2 are empty"},
      {"unreadable",
       {Log("NTUSER.DAT.LOG1", good), Log("NTUSER.DAT.LOG2", std::nullopt)},
       "its log NTUSER.DAT.LOG2 cannot be read: Permission denied"},
      {"header checksum", Logs(badHeader),
       "the header of its log NTUSER.DAT.LOG1 is not valid: "
       "its checksum is wrong"},
      {"header sequence numbers", Logs(unequalHeader), "its sequence numbers differ"},
      {"header not a log's", Logs(notALog), "names a kind of file that is not a log"},
      {"header cut short", Logs(good.substr(0, 100)),
       "NTUSER.DAT.LOG1 is not valid: it is cut short"},
      {"hash-1", Logs(edited(good, 0x400, "x", false)),
       "the entry at byte 512 of its log NTUSER.DAT.LOG1 fails its check (hash-1)"},
      {"hash-2", Logs(edited(good, kFirstEntry + 8, "\x01", false)), "fails its check (hash-2)"},
      {"entry cut short", Logs(good.substr(0, 0x900)),
       "its log NTUSER.DAT.LOG1 is cut short inside the entry at byte 512"},
      {"entry header cut short", Logs(good + "HvLE"), "cut short inside the entry at byte"},
      {"entry size", Logs(oddSize), "gives an impossible size (776 bytes)"},
      {"gap inside a log", Logs(gap), "its log NTUSER.DAT.LOG1 skips from entry 7 to entry 9"},
      {"gap between logs", Logs(good, support::NewFormatLog(after, {entry(9, after, later)})),
       "its log NTUSER.DAT.LOG2 does not continue the hive's sequence: it begins with entry 9, and "
       "NTUSER.DAT.LOG1 ends with entry 7"},
      {"first entry against header", Logs(mismatched),
       "its log NTUSER.DAT.LOG1 begins with entry 8, its header with 7"},
      {"logs begin alike", Logs(good, good), "contradict each other: both begin with entry 7"},
      {"logs overlap", Logs(two, support::NewFormatLog(after, {entry(8, after, later)})),
       "its logs NTUSER.DAT.LOG1 and NTUSER.DAT.LOG2 contradict each other: both hold entry 8"},
      {"older than the hive", Logs(support::NewFormatLog(before, {entry(6, before, after)})),
       "none of its logs continues the hive's sequence: the hive expects entry 7, "
       "NTUSER.DAT.LOG1 begins with entry 6"},
      {"page beyond the end", Logs(support::NewFormatLog(before, {beyond})),
       "writes beyond the hive's end"},
      {"hive bins size", Logs(support::NewFormatLog(before, {oddBins})),
       "gives an impossible size for the hive bins (18432 bytes)"},
      {"no entry", Logs(good.substr(0, kFirstEntry)), "its log NTUSER.DAT.LOG1 holds no entry"},
      {"damaged bin", Logs(badBin),
       "its log NTUSER.DAT.LOG1 leaves a damaged hive bin at offset 4096"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const HiveRecovery result = RecoverHive(primary, c.logs);
    EXPECT_EQ(result.outcome, Outcome::kUnrecoverable);
    EXPECT_TRUE(result.image.empty());
    EXPECT_NE(result.why.find(c.why), std::string::npos) << result.why;
  }
}

TEST_F(HiveRecoveryTest, AnOldFormatLogMustMatchTheHiveAndHoldEveryPageItNames) {
  const std::string good = support::OldFormatLog(before, after, 8);
  std::string otherTime = good;
  otherTime[12] ^= 1;
  support::MendHiveHeaderChecksum(otherTime);
  std::string noVector = good;
  noVector.replace(0x200, 4, "DIRX");
  std::string badBin = good;
  badBin.replace(0x400, 4, "nope");  // the first dirty page begins a hive bin
  std::string wideSectors = good;
  Put32(wideSectors, 44, 3);
  support::MendHiveHeaderChecksum(wideSectors);
  struct Case {
    const char* name;
    std::vector<HiveLogFile> logs;
    const char* why;
  };
  const std::vector<Case> cases = {
      {"another time", Logs(otherTime),
       "NTUSER.DAT.LOG1 was written for another state of the hive"},
      {"older", Logs(support::OldFormatLog(before, after, 6)),
       "NTUSER.DAT.LOG1 is older than the hive (entry 6, the hive expects 7)"},
      {"no dirty vector", Logs(noVector), "its log NTUSER.DAT.LOG1 has no dirty vector"},
      {"vector cut short", Logs(good.substr(0, 0x204)), "is cut short inside its dirty vector"},
      {"pages cut short", Logs(good.substr(0, good.size() - 0x200)),
       "its log NTUSER.DAT.LOG1 is cut short: its dirty vector names"},
      {"sector size", Logs(wideSectors), "gives an impossible sector size"},
      {"damaged bin", Logs(badBin), "leaves a damaged hive bin"},
      {"two alike that differ", Logs(good, support::OldFormatLog(before, later, 8)),
       "its logs NTUSER.DAT.LOG1 and NTUSER.DAT.LOG2 contradict each other"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const HiveRecovery result = RecoverHive(primary, c.logs);
    EXPECT_EQ(result.outcome, Outcome::kUnrecoverable);
    EXPECT_NE(result.why.find(c.why), std::string::npos) << result.why;
  }
  // Of two logs that apply, the later one; an empty one beside a good one is passed over.
  const HiveRecovery newer =
      RecoverHive(primary, Logs(good, support::OldFormatLog(before, later, 9)));
  EXPECT_TRUE(EndsClean(newer, 9));
  EXPECT_EQ(Bins(newer.image), Bins(later));
  EXPECT_EQ(newer.logsApplied, std::vector<std::string>{"NTUSER.DAT.LOG2"});
  const HiveRecovery beside = RecoverHive(primary, Logs("", good));
  EXPECT_TRUE(EndsClean(beside, 8));
  EXPECT_EQ(Bins(beside.image), Bins(after));
}

}  // namespace
}  // namespace tavelin
