// The registry kept in one .reg file, the registry file: the current user's keys on systems
// without a registry of their own.
//
// Each transaction takes the lock beside the file, reads and parses the file once, and, when
// something changed, writes it back once through a temporary file that is flushed and
// renamed over it. The file as a transaction left it is kept with its parsed form, so that
// the next transaction, finding the same bytes, need not parse them again. Keys and values
// the program does not touch are written back as they were. The lock is held only for the
// length of one transaction, so a command must not keep one open while it waits for the user.
#pragma once

#include <chrono>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>

#include "store/reg_file_document.h"
#include "store/registry.h"

namespace tavelin {

namespace platform {
class FileLock;
}

class RegFileRegistry : public RegistryBackend {
 public:
  static constexpr std::chrono::milliseconds kDefaultLockTimeout{5000};

  explicit RegFileRegistry(std::filesystem::path path,
                           std::chrono::milliseconds lockTimeout = kDefaultLockTimeout);
  ~RegFileRegistry() override;

  std::optional<RegValue> queryValue(RootKey root, std::string_view keyPath,
                                     std::string_view name) override;
  std::string queryText(RootKey root, std::string_view keyPath, std::string_view name) override;
  bool setValue(RootKey root, std::string_view keyPath, std::string_view name,
                const RegValue& value) override;
  bool setText(RootKey root, std::string_view keyPath, std::string_view name,
               std::string_view text) override;
  bool deleteValue(RootKey root, std::string_view keyPath, std::string_view name) override;
  bool keyExists(RootKey root, std::string_view keyPath) override;
  std::vector<std::string> valueNames(RootKey root, std::string_view keyPath) override;
  std::vector<std::string> subkeyNames(RootKey root, std::string_view keyPath) override;
  // The file's path, as the user should be told it.
  std::string description() const override;

  const std::filesystem::path& path() const { return path_; }

 protected:
  void onBegin(LoadKind kind) override;
  void onEnd() override;

 private:
  template <class Change>
  bool change(RootKey root, std::string_view keyPath, Change&& apply);
  // Reads the file into document_, taking `kept` when the file still holds `keptBytes`.
  // Nothing when done, else why not.
  std::optional<std::string> load(std::optional<RegFileDocument> kept,
                                  const std::string& keptBytes);
  bool commit();
  // The value in the document read by the transaction under way, or null.
  std::optional<RegValueView> findValue(RootKey root, std::string_view keyPath,
                                        std::string_view name);
  // The key's full path in the file; a command asks for one key's values one after another.
  const std::string& fullPathOf(RootKey root, std::string_view keyPath);

  std::filesystem::path path_;
  std::chrono::milliseconds lockTimeout_;
  std::filesystem::path realPath_;  // path_ with its symbolic links followed
  std::unique_ptr<platform::FileLock> lock_;
  std::string lockProblem_;                  // why no lock is held, when the read went on without
  std::optional<RegFileDocument> document_;  // while a transaction runs and the read succeeded
  bool dirty_ = false;
  // The file's bytes as the last transaction found or wrote them, and their parsed form while
  // it is known to match them (kept between transactions).
  std::string fileBytes_;
  std::optional<RegFileDocument> fileDocument_;
  RootKey lastRoot_ = 0;
  std::string lastKeyPath_, lastFullPath_;
};

// Where the registry file is: `tavelinRegistry` ($TAVELIN_REGISTRY) when set, else
// `xdgDataHome`/tavelin/HKEY_CURRENT_USER.reg when that is an absolute path, else
// `home`/.local/share/tavelin/HKEY_CURRENT_USER.reg. Empty when none of them is set.
std::filesystem::path RegFilePath(const char* tavelinRegistry, const char* xdgDataHome,
                                  const char* home);
// The same, from this process's environment.
std::filesystem::path DefaultRegFilePath();

}  // namespace tavelin
