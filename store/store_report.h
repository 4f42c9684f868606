// What a transaction on the store came to, for the command that ran it and, as facts, for
// whoever tells the user.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace tavelin {

// Which kind of command a transaction belongs to. Start-up and a reload read the whole list
// afresh; whether their read succeeded decides whether later commands may write.
enum class LoadKind { kCommand, kStartup, kReload };

// What one transaction came to, for the command that ran it.
struct StoreOutcome {
  bool readOk = true;    // the store could be read
  bool complete = true;  // read, and everything the transaction meant to write was written
};

// What one transaction that did not reach the store came to, as facts. Whoever shows it to
// the user makes the sentence.
struct StoreReport {
  enum class Kind : std::uint8_t {
    kReadFailed,    // the store could not be read, so nothing was written
    kWriteRefused,  // writes are off: the list was loaded by a start-up whose read failed
    kWriteFailed,   // a write did not reach the store
    kBackupFailed,  // the copy taken before the run's first change could not be kept, so the
                    // change was not made
    kNote,          // the change was made, but something after it was not: `reason` says what
  };
  Kind kind = Kind::kReadFailed;
  // The transaction's kind: after a start-up whose read failed, writes stay off until a
  // start-up or reload reads the store.
  LoadKind load = LoadKind::kCommand;
  std::string store;  // what the store is, as description() says it
  // The backend's own account: for a read or a write, a sentence naming the store and the
  // system's reason; for a backup, why it could not be kept. Empty for a refused write.
  std::string reason;
  bool writeAttempted = false;  // the transaction meant to write
  bool allOrNothing = true;     // a failed write leaves the store as it was (see below)

  bool operator==(const StoreReport&) const = default;
};

// Why a store opened read-only takes no write, as the clause after "could not be written:".
inline constexpr std::string_view kOpenedReadOnly = "it was opened read-only";

}  // namespace tavelin
