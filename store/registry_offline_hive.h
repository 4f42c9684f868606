// A Windows user's own registry hive (NTUSER.DAT, the binary "regf" format) as the current
// user's registry, read and written with hivex. Its root is HKEY_CURRENT_USER.
//
// One transaction is one open of the hive and at most one commit. hivex never changes one
// value in place and never reuses the space it frees, so every change of a key's values
// rewrites the key's whole value list and grows the file: a transaction collects its changes
// per key and hands each changed key to hivex once, at its end. The commit goes to a
// temporary file in the hive's folder, is read again to check it (by hivex, and by a walk of
// its cells as Windows reads them, hive_cells.h), flushed, and renamed over the hive. Nothing
// is left beside the hive when a command ends: the folder is a Windows user's profile.
//
// What the user deletes cannot be read back: every commit zeroes the new hive's unallocated
// cells after their size field (and whatever follows its last bin) before it is flushed, and
// once the clean hive is in place for good it empties the transaction logs beside it.
//
// hivex writes every value as one plain cell. A hive of format 1.4 or later (Windows 8.1 and
// 10) keeps data over kLargestPlainData bytes only in big-data cells, which hivex cannot
// write: a command whose changed key holds such a value, a new one or one already stored
// that way, is refused and reported, and nothing is written.
//
// A hive that Windows left dirty (its header says that its transaction logs hold changes not
// yet written into it, or the header is damaged) is brought up to date from those logs in
// memory first (hive_recovery.h), and every command works on that; a command that writes
// commits it clean. The logs are never renamed or deleted. A dirty hive whose logs
// cannot bring it up to date, a hive opened read-only, a read-only hive and a read-only folder
// are read but never written; each command that would write reports why.
//
// This backend holds one transaction's keys and values; finding, locking and recovering the
// hive is hive_files.h's, committing and checking it hive_commit.h's.
#pragma once

#include <chrono>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "store/registry.h"

namespace tavelin {

struct HiveKey;

class OfflineHiveRegistry : public RegistryBackend {
 public:
  static constexpr std::chrono::milliseconds kDefaultLockTimeout{5000};

  explicit OfflineHiveRegistry(std::filesystem::path path,
                               std::chrono::milliseconds lockTimeout = kDefaultLockTimeout);
  ~OfflineHiveRegistry() override;

  std::optional<RegValue> queryValue(RootKey root, std::string_view keyPath,
                                     std::string_view name) override;
  bool setValue(RootKey root, std::string_view keyPath, std::string_view name,
                const RegValue& value) override;
  bool deleteValue(RootKey root, std::string_view keyPath, std::string_view name) override;
  bool keyExists(RootKey root, std::string_view keyPath) override;
  std::vector<std::string> valueNames(RootKey root, std::string_view keyPath) override;
  std::vector<std::string> subkeyNames(RootKey root, std::string_view keyPath) override;
  std::string description() const override;
  std::string unrecoveredChanges() const override { return unrecovered_; }

  const std::filesystem::path& path() const { return path_; }

 protected:
  void onBegin(LoadKind kind) override;
  void onEnd() override;

 private:
  struct Session;
  HiveKey* findKey(RootKey root, std::string_view keyPath, bool create);
  template <class Change>
  bool change(RootKey root, std::string_view keyPath, Change&& apply);
  bool commit();

  std::filesystem::path path_;
  std::chrono::milliseconds lockTimeout_;
  std::unique_ptr<Session> session_;  // while a transaction runs and the hive could be read
  std::string unrecovered_;           // as of the last transaction's read
};

// Whether the file begins with the four bytes that open every Windows hive, "regf".
bool IsWindowsHiveFile(const std::filesystem::path& path);

}  // namespace tavelin
