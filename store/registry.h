// store/ holds the program's persistent state: the registry routines and the backend they act
// on (this file), the backends (the hive file with its .reg codec, the Windows registry, a
// Windows user's own hive, memory), the typed-address and settings stores, and the backup. It
// uses platform/ (and hivex) only. What a backend could not do it reports as facts
// (StoreReport); the list the window holds and the sentences a user reads are made above it.
//
// The registry routines (module modReg) and the backend they act on.
//
// Every registry access of the program goes through ReadRegString, WriteRegString and
// DelSetting. They act on a RegistryBackend that the caller hands in: the Windows registry
// itself, or the hive file kept on other systems.
#pragma once

#include <algorithm>
#include <array>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace tavelin {

// A predefined root key, as the registry numbers it.
using RootKey = std::uint32_t;
inline constexpr RootKey kCurrentUser = 0x80000001u;  // HKEY_CURRENT_USER

// Registry value types.
namespace regtype {
inline constexpr std::uint32_t kNone = 0;
inline constexpr std::uint32_t kSz = 1;
inline constexpr std::uint32_t kExpandSz = 2;
inline constexpr std::uint32_t kBinary = 3;
inline constexpr std::uint32_t kDword = 4;
inline constexpr std::uint32_t kDwordBigEndian = 5;
inline constexpr std::uint32_t kLink = 6;
inline constexpr std::uint32_t kMultiSz = 7;
inline constexpr std::uint32_t kQword = 11;
}  // namespace regtype

// One value as the registry holds it. String data (REG_SZ, REG_EXPAND_SZ, REG_MULTI_SZ) is
// UTF-16LE, normally with its terminating NUL, exactly as the Windows API returns it.
struct RegValue {
  std::uint32_t type = regtype::kSz;
  std::vector<std::uint8_t> data;
  bool operator==(const RegValue&) const = default;
};

// A value's type and data where they stand, for reading it without a copy. It does not keep
// what it looks at alive.
struct RegValueView {
  std::uint32_t type = regtype::kSz;
  std::span<const std::uint8_t> data;

  RegValueView() = default;
  RegValueView(std::uint32_t valueType, std::span<const std::uint8_t> valueData)
      : type(valueType), data(valueData) {}
  // Implicit, so that whatever reads a stored value takes a RegValue as well.
  RegValueView(const RegValue& value) : type(value.type), data(value.data) {}

  RegValue copy() const { return {type, {data.begin(), data.end()}}; }
  bool operator==(const RegValueView& other) const {
    return type == other.type &&
           std::equal(data.begin(), data.end(), other.data.begin(), other.data.end());
  }
};

// Whether values of this type hold text (UTF-16LE in the registry).
constexpr bool IsStringType(std::uint32_t type) {
  return type == regtype::kSz || type == regtype::kExpandSz || type == regtype::kMultiSz;
}

// Four bytes stored least significant first, as a REG_DWORD and a hive's header hold numbers.
constexpr std::uint32_t LittleEndian32(const std::uint8_t* p) {
  return static_cast<std::uint32_t>(p[0]) | static_cast<std::uint32_t>(p[1]) << 8 |
         static_cast<std::uint32_t>(p[2]) << 16 | static_cast<std::uint32_t>(p[3]) << 24;
}
// A REG_DWORD's number, or nothing when its data is not four bytes.
inline std::optional<std::uint32_t> DwordOf(RegValueView value) {
  if (value.data.size() != 4) return std::nullopt;
  return LittleEndian32(value.data.data());
}
// A REG_DWORD's four bytes.
constexpr std::array<std::uint8_t, 4> DwordBytes(std::uint32_t number) {
  return {static_cast<std::uint8_t>(number), static_cast<std::uint8_t>(number >> 8),
          static_cast<std::uint8_t>(number >> 16), static_cast<std::uint8_t>(number >> 24)};
}
inline RegValue DwordValue(std::uint32_t number) {
  const std::array<std::uint8_t, 4> bytes = DwordBytes(number);
  return {regtype::kDword, {bytes.begin(), bytes.end()}};
}

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

class RegistryBackend;

// Why a store opened read-only takes no write, as the clause after "could not be written:".
inline constexpr std::string_view kOpenedReadOnly = "it was opened read-only";

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

// Where registry calls land. Key paths are relative to the root, levels separated by a
// backslash; key and value names compare case-insensitively and keep their case.
//
// A command groups its calls into one transaction (see Transaction below): the hive file is
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
  // What the user should be told this store is, e.g. the hive file's path.
  virtual std::string description() const = 0;

  // Transactions nest; only the outermost begin and end act (and only its kind counts).
  void beginTransaction(LoadKind kind = LoadKind::kCommand);
  // Ends one level; the outermost returns what the whole transaction came to.
  StoreOutcome endTransaction();
  bool inTransaction() const { return depth_ > 0; }

  // Whether the read of the transaction under way failed.
  bool readFailed() const { return readFailed_; }

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
  const std::optional<std::filesystem::path>& backupTaken() const { return backupTaken_; }

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
  void finishOutermost(StoreOutcome& outcome);
  void reportFailedWrite(const std::string& problem, bool backup);

  int depth_ = 0;
  bool readOnly_ = false;
  LoadKind kind_ = LoadKind::kCommand;
  bool writesBlocked_ = false;
  // The transaction under way:
  bool readFailed_ = false;
  bool writeAttempted_ = false;
  bool writeRefused_ = false;
  bool writeFailed_ = false;
  bool backupFailed_ = false;  // the write that failed first was the backup's
  std::string readProblem_;
  std::string writeProblem_;
  std::vector<std::string> notes_;
  std::vector<StoreReport> reports_;
  std::unique_ptr<StoreBackup> backup_;
  std::optional<std::filesystem::path> backupTaken_;
  std::optional<std::string> pendingBackup_;
  std::string pendingBackupError_;
  bool snapshotTaken_ = false;  // in the transaction under way
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

  // Ends the transaction now (the hive file is written here) and says what it came to.
  StoreOutcome finish() {
    finished_ = true;
    return backend_.endTransaction();
  }

 private:
  RegistryBackend& backend_;
  bool finished_ = false;
};

// A value's text, as modReg::ReadRegString gives it.
std::string RegValueText(RegValueView value);
// Whether the value is REG_SZ data holding exactly this text and its terminating NUL.
bool IsTextValue(RegValueView value, std::string_view text);

namespace modReg {

// The value's text; empty text when the key or value is missing or cannot be read. Strings
// (REG_SZ, REG_EXPAND_SZ, unexpanded) come back up to their first NUL; a 4-byte REG_DWORD as
// its decimal number; every other type, and a REG_DWORD of another size, as empty text.
std::string ReadRegString(RegistryBackend& backend, RootKey hKey, std::string_view strPath,
                          std::string_view strValue);

// The value exactly as stored (type and bytes); nothing when the key or value is missing or
// cannot be read.
std::optional<RegValue> ReadRegValue(RegistryBackend& backend, RootKey hKey,
                                     std::string_view strPath, std::string_view strValue);

// Stores the text as REG_SZ, creating the key and its parents; empty text is stored as " ".
// True when the value was stored.
bool WriteRegString(RegistryBackend& backend, RootKey hKey, std::string_view strPath,
                    std::string_view strValue, std::string_view strData);

}  // namespace modReg

// Removes one value, creating the key (empty) when it is missing. Reports nothing.
void DelSetting(RegistryBackend& backend, RootKey hKey, std::string_view strPath,
                std::string_view strValue);

}  // namespace tavelin
