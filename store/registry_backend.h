// The backend every registry call lands on, and its transactions: one command's calls are
// one read of the store and at most one write, with what did not reach the store reported.
#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "store/registry_value.h"
#include "store/store_report.h"

namespace tavelin {

class RegistryBackend;

// A copy of what is stored, taken before the first change of a run reaches the store. The
// backend decides when; what is copied, in which form and where it is kept is the
// implementation's.
class StoreBackup {
 public:
  virtual ~StoreBackup() = default;
  // Called while the store still reads as the transaction read it, before its first change:
  // the copy, or nothing with `error` set.
  virtual std::optional<std::string> copy(RegistryBackend& backend, std::string& error) = 0;
  // Called right before that change reaches the store: keeps the copy. Where it was kept, or
  // nothing with `error` set.
  virtual std::optional<std::filesystem::path> keep(std::string_view copy, std::string& error) = 0;
};

// What the transaction under way has come to so far: what its read found, how its writes
// went, and what it has to report when it ends.
class TransactionState {
 public:
  // How its writes went; the first write that did not reach the store decides, except that
  // a refusal (writes are off) is what is told.
  enum class Writes : std::uint8_t { kNone, kAttempted, kRefused, kFailed, kBackupFailed };

  TransactionState() = default;
  explicit TransactionState(LoadKind kind) : kind_(kind) {}

  LoadKind kind() const { return kind_; }
  bool readFailed() const { return readFailure_.has_value(); }
  Writes writes() const { return writes_; }

  void readFailedBecause(const std::string& problem) {
    if (!readFailure_) readFailure_ = problem;
  }
  // A write it means to make: whether it may. Not after its own read failed; nor, in a
  // command, while `writesBlocked` (a start-up or reload whose read succeeded may: it brings
  // the list back), which is then told as a refusal.
  bool admitWrite(bool writesBlocked) {
    writeAttempted();
    if (readFailed()) return false;
    if (writesBlocked && kind_ == LoadKind::kCommand) {
      writes_ = Writes::kRefused;
      return false;
    }
    return true;
  }
  void writeAttempted() {
    if (writes_ == Writes::kNone) writes_ = Writes::kAttempted;
  }
  void writeFailedBecause(const std::string& problem, bool backup) {
    if (writes_ != Writes::kNone && writes_ != Writes::kAttempted) return;
    writes_ = backup ? Writes::kBackupFailed : Writes::kFailed;
    writeFailure_ = problem;
  }
  void note(const std::string& note) { notes_.push_back(note); }
  // Whether the copy for the backup has been taken in this transaction.
  bool backupCopied() const { return backupCopied_; }
  void markBackupCopied() { backupCopied_ = true; }

  StoreOutcome outcome() const {
    return {!readFailed(),
            !readFailed() && (writes_ == Writes::kNone || writes_ == Writes::kAttempted)};
  }
  // What it leaves to be told, for the store so described: at most one report of what did not
  // reach the store, then its notes.
  std::vector<StoreReport> reports(const std::string& store, bool allOrNothing) const;

 private:
  LoadKind kind_ = LoadKind::kCommand;
  std::optional<std::string> readFailure_;
  Writes writes_ = Writes::kNone;
  std::string writeFailure_;  // for kFailed and kBackupFailed
  std::vector<std::string> notes_;
  bool backupCopied_ = false;
};

// Where registry calls land. Key paths are relative to the root, levels separated by a
// backslash; key and value names compare case-insensitively and keep their case.
//
// A command groups its calls into one transaction (see Transaction below): the registry file is
// read once at the start and written at most once at the end. Calls made outside a
// transaction are each a transaction of their own.
//
// The rules for writes:
// - a transaction whose own read fails writes nothing;
// - after a start-up whose read failed (the list on screen is empty, not the stored one),
//   writes stay off until a start-up or reload reads the store successfully;
// - every transaction that did not reach the store leaves one report, with the store and the
//   reason, each time.
class RegistryBackend {
 public:
  RegistryBackend();
  virtual ~RegistryBackend();

  // The value, or nothing when the key or the value is missing or cannot be read.
  // Never creates a key.
  virtual std::optional<RegValue> queryValue(RootKey root, std::string_view keyPath,
                                             std::string_view name) = 0;
  // The value's text, as modReg::ReadRegString gives it. A backend that holds its values in
  // memory reads it in place, without a copy of the value.
  virtual std::string queryText(RootKey root, std::string_view keyPath, std::string_view name);
  // Creates the key and its missing parents, then stores the value. False on failure.
  virtual bool setValue(RootKey root, std::string_view keyPath, std::string_view name,
                        const RegValue& value) = 0;
  // Stores the text as a REG_SZ value. A backend that holds its values in memory compares
  // the text with the stored value in place, and builds the new value only when it differs.
  virtual bool setText(RootKey root, std::string_view keyPath, std::string_view name,
                       std::string_view text);
  // Creates the key and its missing parents, then removes the value if it is there.
  // False when the key could not be opened or created or the value could not be removed.
  virtual bool deleteValue(RootKey root, std::string_view keyPath, std::string_view name) = 0;
  // Every value of the key with its name as stored, in the store's own order; nothing when
  // the key is missing. Never creates it. A backend that asks the system for each value
  // reads them all through one handle.
  virtual std::vector<std::pair<std::string, RegValue>> keyValues(RootKey root,
                                                                  std::string_view keyPath);
  // Whether the key exists (for checks; never creates it).
  virtual bool keyExists(RootKey root, std::string_view keyPath) = 0;
  // The names of the key's values and of its direct subkeys, in the store's own order, as
  // spelt there; nothing when the key is missing. Never creates it.
  virtual std::vector<std::string> valueNames(RootKey root, std::string_view keyPath) = 0;
  virtual std::vector<std::string> subkeyNames(RootKey root, std::string_view keyPath) = 0;
  // The key's full path as a .reg file names it, root first, e.g.
  // "HKEY_CURRENT_USER\Software\Tavelin".
  virtual std::string exportPath(RootKey root, std::string_view keyPath) const;
  // What the user should be told this store is, e.g. the registry file's path.
  virtual std::string description() const = 0;

  // Transactions nest; only the outermost begin and end act (and only its kind counts).
  void beginTransaction(LoadKind kind = LoadKind::kCommand);
  // Ends one level; the outermost returns what the whole transaction came to.
  StoreOutcome endTransaction();
  bool inTransaction() const { return depth_ > 0; }

  // Whether the read of the transaction under way failed.
  bool readFailed() const { return transaction_.readFailed(); }

  // True after a start-up whose read failed, until a start-up or reload reads the store:
  // writes are then refused, so that a list loaded empty from an unreadable store cannot
  // wipe it.
  bool writesBlocked() const { return writesBlocked_; }

  // What the transactions since the last call could not do, one report per transaction that
  // did not reach the store, oldest first.
  std::vector<StoreReport> takeReports();

  // The copy taken before the first write of this run that changes stored bytes. A copy that
  // cannot be kept stops that write. None when unset.
  void setBackup(std::unique_ptr<StoreBackup> backup);
  // The backup this run took, if any.
  const std::optional<std::filesystem::path>& backupTaken() const { return backup_.taken; }

  // A store opened read-only is only ever read: no lock, temporary, backup or write reaches
  // its file or its folder, and every write is reported as refused for that reason.
  void setReadOnly(bool readOnly) { readOnly_ = readOnly; }
  bool readOnly() const { return readOnly_; }
  // Why the last read came from a store that lacks changes it should hold (a hive whose
  // transaction logs could not bring it up to date); empty when it did not.
  virtual std::string unrecoveredChanges() const { return {}; }

 protected:
  virtual void onBegin(LoadKind /*kind*/) {}
  virtual void onEnd() {}
  // Whether a failed write leaves the store as it was (one file replaced whole) or may
  // have stored part of a command's changes (one registry call at a time).
  virtual bool writesAllOrNothing() const { return true; }

  // Runs `body` within the transaction under way, or within one of its own when none runs:
  // a call on its own is a command of its own, reported at once. What `body` returned, and
  // false when its own transaction did not complete.
  template <class Body>
  bool withinTransaction(Body&& body);

  // For implementations. `problem` is a whole sentence naming the store and the reason.
  void reportReadFailure(const std::string& problem);
  // Every write asks first; false means it must not be made (the refusal is recorded).
  bool admitWrite();
  void reportWriteFailure(const std::string& problem);
  // What the user should know of a transaction whose change was made all the same: a whole
  // sentence naming the file and the reason.
  void reportNote(const std::string& note);
  // Backups, for implementations: before the first change of a transaction that may change
  // stored bytes, while the store still reads as it was read, take the copy; right before
  // the change reaches the store, keep it. False (and reported) when it cannot be kept: the
  // change must not be made then.
  void snapshotForBackup();
  bool writePendingBackup();

 private:
  void reportFailedWrite(const std::string& problem, bool backup);

  // The backup hook and what it has done in this run.
  struct BackupRun {
    std::unique_ptr<StoreBackup> hook;
    std::optional<std::filesystem::path> taken;  // kept by this run
    std::optional<std::string> pending;          // copied for the transaction under way
    std::string pendingError;                    // why it could not be copied
  };

  int depth_ = 0;  // of nested transactions; 0 when none runs
  bool readOnly_ = false;
  bool writesBlocked_ = false;
  TransactionState transaction_;  // the one under way, or the last one
  std::vector<StoreReport> reports_;
  BackupRun backup_;
};

// Groups the calls of one command into one transaction.
class Transaction {
 public:
  explicit Transaction(RegistryBackend& backend, LoadKind kind = LoadKind::kCommand)
      : backend_(backend) {
    backend_.beginTransaction(kind);
  }
  ~Transaction() {
    if (!finished_) backend_.endTransaction();
  }
  Transaction(const Transaction&) = delete;
  Transaction& operator=(const Transaction&) = delete;

  // Ends the transaction now (the registry file is written here) and says what it came to.
  StoreOutcome finish() {
    finished_ = true;
    return backend_.endTransaction();
  }

 private:
  RegistryBackend& backend_;
  bool finished_ = false;
};

template <class Body>
bool RegistryBackend::withinTransaction(Body&& body) {
  if (inTransaction()) return body();
  Transaction own(*this);
  const bool done = body();
  return own.finish().complete && done;
}

}  // namespace tavelin
