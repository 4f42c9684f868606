// The registry routines (module modReg) and the backend they act on.
//
// Every registry access of the program goes through ReadRegString, WriteRegString and
// DelSetting. They act on a RegistryBackend that the caller hands in: the Windows registry
// itself, or the hive file kept on other systems.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
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

// Where registry calls land. Key paths are relative to the root, levels separated by a
// backslash; key and value names compare case-insensitively and keep their case.
//
// A command groups its calls into one transaction (see Transaction below): the hive file is
// read once at the start and written at most once at the end. Calls made outside a
// transaction are each a transaction of their own.
class RegistryBackend {
 public:
  virtual ~RegistryBackend() = default;

  // The value, or nothing when the key or the value is missing or cannot be read.
  // Never creates a key.
  virtual std::optional<RegValue> queryValue(RootKey root, std::string_view keyPath,
                                             std::string_view name) = 0;
  // Creates the key and its missing parents, then stores the value. False on failure.
  virtual bool setValue(RootKey root, std::string_view keyPath, std::string_view name,
                        const RegValue& value) = 0;
  // Creates the key and its missing parents, then removes the value if it is there.
  // False when the key could not be opened or created or the value could not be removed.
  virtual bool deleteValue(RootKey root, std::string_view keyPath, std::string_view name) = 0;
  // Whether the key exists (for checks; never creates it).
  virtual bool keyExists(RootKey root, std::string_view keyPath) = 0;
  // What the user should be told this store is, e.g. the hive file's path.
  virtual std::string description() const = 0;

  // Transactions nest; only the outermost begin and end act. `fullLoad` marks the
  // start-up and reload sequences: a successful read there turns writes back on after an
  // earlier failed read.
  void beginTransaction(bool fullLoad = false);
  void endTransaction();
  bool inTransaction() const { return depth_ > 0; }

  // True while an earlier read failed and no full load has succeeded since: writes are
  // then refused, so that a list loaded empty from an unreadable store cannot wipe it.
  bool writesBlocked() const { return writesBlocked_; }

  // Messages the user should be told now, each once: a failed read (naming the store and
  // the place or reason), and a failed write (not repeated while writes keep failing).
  std::vector<std::string> takeNotices();

 protected:
  virtual void onBegin(bool /*fullLoad*/) {}
  virtual void onEnd() {}

  // For implementations: record what happened so the rules above hold.
  void reportReadFailure(const std::string& message);
  void reportReadSuccess(bool fullLoad);
  void reportWriteFailure(const std::string& message);
  void reportWriteSuccess();

 private:
  int depth_ = 0;
  bool writesBlocked_ = false;
  bool readFailureTold_ = false;
  bool lastWriteFailed_ = false;
  std::vector<std::string> notices_;
};

// Groups the calls of one command into one transaction.
class Transaction {
 public:
  explicit Transaction(RegistryBackend& backend, bool fullLoad = false) : backend_(backend) {
    backend_.beginTransaction(fullLoad);
  }
  ~Transaction() { backend_.endTransaction(); }
  Transaction(const Transaction&) = delete;
  Transaction& operator=(const Transaction&) = delete;

 private:
  RegistryBackend& backend_;
};

namespace modReg {

// The value's text; empty text when the key or value is missing or cannot be read. Strings
// (REG_SZ, REG_EXPAND_SZ, unexpanded) come back up to their first NUL; a 4-byte REG_DWORD as
// its decimal number; every other type, and a REG_DWORD of another size, as empty text.
std::string ReadRegString(RegistryBackend& backend, RootKey hKey, std::string_view strPath,
                          std::string_view strValue);

// Stores the text as REG_SZ, creating the key and its parents; empty text is stored as " ".
// True when the value was stored.
bool WriteRegString(RegistryBackend& backend, RootKey hKey, std::string_view strPath,
                    std::string_view strValue, std::string_view strData);

}  // namespace modReg

// Removes one value, creating the key (empty) when it is missing. Reports nothing.
void DelSetting(RegistryBackend& backend, RootKey hKey, std::string_view strPath,
                std::string_view strValue);

}  // namespace tavelin
