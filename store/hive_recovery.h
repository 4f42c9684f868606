// A Windows hive left dirty, brought up to date from its transaction logs in memory, as
// Windows does when it loads the hive. Plain bytes in, plain bytes out: no file is opened
// here, and nothing is written anywhere (the caller reads the files and decides what to do).
//
// The layout follows the public description of the registry file format (GitHub
// msuhanov/regf, "Windows registry file format"): the base block and its XOR-32 checksum; old
// logs (Windows XP to 8: a copy of the base block, the dirty vector "DIRT" and dirty pages);
// new logs (Windows 8.1 and later: a copy of the base block and "HvLE" log entries, each
// guarded by two Marvin32 hashes); and which logs Windows applies, in which order.
//
// Every check must pass before anything is applied: a log that fails one is never used in
// part, and the hive is then not recovered at all (the caller reads it as it stands).
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tavelin {

// One transaction log found beside a hive.
struct HiveLogFile {
  std::string name;                  // the file's own name, for messages ("NTUSER.DAT.LOG1")
  std::optional<std::string> bytes;  // the whole file, when it could be read
  std::string unreadable;            // why it could not be read, when it could not
};

struct HiveRecovery {
  enum class Outcome {
    kClean,         // the hive is not dirty: its logs are not looked at
    kRecovered,     // `image` is the hive brought up to date, clean
    kUnrecoverable  // `why` says why, naming the log concerned
  };
  Outcome outcome = Outcome::kClean;
  std::string image;
  std::string why;                       // a clause to follow "it cannot be brought up to date: "
  std::vector<std::string> logsApplied;  // the names of the logs used, in the order applied
};

// Whether the hive's base block asks for recovery: its sequence numbers differ, or it is not
// a valid base block (wrong signature or checksum, or cut short).
bool IsHiveDirty(std::string_view primary);

// Brings a dirty hive up to date from its logs (any of NAME.LOG1, NAME.LOG2 and NAME.LOG, in
// any order). A clean hive comes back as kClean whatever its logs hold. The hive's bytes are
// taken, so that the recovered image is made in their place rather than in a copy.
HiveRecovery RecoverHive(std::string primary, const std::vector<HiveLogFile>& logs);

// The XOR-32 checksum of a base block's first 508 bytes, 0 and 0xFFFFFFFF moved aside as
// Windows does. `block` must hold at least 512 bytes.
std::uint32_t HiveBaseBlockChecksum(std::string_view block);

// The Marvin32 hash of the bytes under a 64-bit seed (its low half is the first state word).
std::uint64_t Marvin32(std::string_view bytes, std::uint64_t seed);

// The seed of the hashes of a log entry, as real Windows logs are written.
inline constexpr std::uint64_t kHiveLogEntrySeed = 0x82EF4D887A4E55C5ull;

}  // namespace tavelin
