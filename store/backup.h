// A copy of what the program is about to change, taken once per run before its first write
// that changes stored bytes: the keys it is given, as one .reg file in which each key is a
// deletion followed by the whole key. Importing it (regedit, `reg import`, hivexregedit
// --merge) gives each key back exactly as it was, values added since included. Which keys
// those are is for whoever installs the backup on a backend.
#pragma once

#include <cstddef>
#include <filesystem>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "store/registry.h"
#include "store/store_name.h"

namespace tavelin {

// One key a backup holds, under HKEY_CURRENT_USER.
struct BackupKey {
  std::string path;
  // A key that is missing is left out of the backup, unless this is set: then its deletion is
  // still written, so that a restore removes the key if it was made since.
  bool deletedWhenMissing = true;
};

// The backup's bytes (version 5.00, UTF-16LE, as regedit exports), from what `backend` reads
// now: for each key in turn, its deletion and then the key with everything below it.
std::optional<std::string> BackupFileBytes(RegistryBackend& backend,
                                           std::span<const BackupKey> keys, std::string& error);

// Where the backups of all stores go: $XDG_STATE_HOME/tavelin/backups (an absolute path),
// else ~/.local/state/tavelin/backups; on Windows %LOCALAPPDATA%\Tavelin\Backups. Empty
// when none can be formed.
std::filesystem::path BackupRoot(const char* xdgStateHome, const char* home);
std::filesystem::path DefaultBackupRoot();

// One store's backup folder: each backup is named by the UTC time it was taken, with
// milliseconds, e.g. "2026-12-07T11-52-40.123Z.reg" (and "...Z-2.reg" when that is taken);
// only the newest `keep` stay.
class BackupFolder {
 public:
  explicit BackupFolder(std::filesystem::path folder, std::size_t keep = 10);

  const std::filesystem::path& folder() const { return folder_; }
  // Writes a new backup (atomically, readable by the user only, under the folder's lock file
  // "backups.lock") and removes the oldest ones beyond `keep` and what killed writers left. The
  // path written, or nothing with `error` set.
  std::optional<std::filesystem::path> write(std::string_view bytes, std::string& error);
  // The backups there now, oldest first.
  std::vector<std::filesystem::path> list() const;

 private:
  // Temporaries of backups whose writer was killed; only under the folder's lock.
  void RemoveLeftovers() const;

  std::filesystem::path folder_;
  std::size_t keep_;
};

// The backup a backend takes before the run's first change: the keys, as one .reg file, kept
// in the folder.
class RegFileBackup : public StoreBackup {
 public:
  RegFileBackup(BackupFolder folder, std::vector<BackupKey> keys)
      : folder_(std::move(folder)), keys_(std::move(keys)) {}

  std::optional<std::string> copy(RegistryBackend& backend, std::string& error) override {
    return BackupFileBytes(backend, keys_, error);
  }
  std::optional<std::filesystem::path> keep(std::string_view copy, std::string& error) override {
    return folder_.write(copy, error);
  }
  const BackupFolder& folder() const { return folder_; }

 private:
  BackupFolder folder_;
  std::vector<BackupKey> keys_;
};

}  // namespace tavelin
