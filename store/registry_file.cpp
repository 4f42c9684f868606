#include "store/registry_file.h"

#include <algorithm>
#include <cstdlib>
#include <system_error>
#include <utility>

#include "platform/atomic_replace.h"
#include "platform/file_lock.h"
#include "platform/read_file.h"
#include "platform/wide_text.h"
#include "platform/wtf8.h"
#include "store/reg_file_reader.h"
#include "store/reg_file_writer.h"
#include "store/registry_names.h"
#include "store/store_lock.h"

namespace tavelin {

namespace fs = std::filesystem;

namespace {

using platform::PathText;

}  // namespace

RegFileRegistry::RegFileRegistry(fs::path path, std::chrono::milliseconds lockTimeout)
    : path_(std::move(path)), lockTimeout_(lockTimeout) {}

RegFileRegistry::~RegFileRegistry() = default;

std::string RegFileRegistry::description() const {
  return path_.empty() ? std::string("(no registry file)") : PathText(path_);
}

void RegFileRegistry::onBegin(LoadKind /*kind*/) {
  document_.reset();
  dirty_ = false;
  std::optional<RegFileDocument> kept = std::exchange(fileDocument_, std::nullopt);
  const std::string keptBytes = std::exchange(fileBytes_, std::string());
  lockProblem_.clear();
  const auto readFailed = [&](const std::string& why) {
    lock_.reset();
    reportReadFailure("The registry file " + description() + " could not be read: " + why + ".");
  };
  if (path_.empty()) {
    // Nowhere to keep it: never fall back to the working folder.
    reportReadFailure(
        "There is no place for the registry file: none of TAVELIN_REGISTRY, an absolute "
        "XDG_DATA_HOME and HOME is set.");
    return;
  }
  fs::file_type type = fs::file_type::none;
  realPath_ = platform::FollowLinks(path_, &type);

  std::error_code ec;
  const bool missing = type == fs::file_type::not_found;
  // Only a name that says it is a .reg file is made into a new one: any other missing file
  // (an NTUSER.DAT on a drive that is not mounted, say) is a mistake to tell, not to paper over.
  if (missing && !NamesRegFile(realPath_)) {
    return readFailed(
        "there is no such file, and only a name ending in \".reg\" is made into a "
        "new registry file");
  }
  // Checked before the lock is taken: nothing is made beside a device or a folder.
  if (!missing && type != fs::file_type::regular) return readFailed("it is not a regular file");
  // A file of another name is taken for a registry file only when it holds one: an empty
  // NTUSER.DAT is a hive that was never written, not a place for a new registry file.
  if (!missing && !NamesRegFile(realPath_) && fs::file_size(realPath_, ec) == 0 && !ec) {
    return readFailed(
        "it is empty, and only a name ending in \".reg\" is made into a new registry file");
  }
  // Read-only, no folder, lock or file is made for it.
  if (!readOnly() && missing && realPath_.has_parent_path()) {
    fs::create_directories(realPath_.parent_path(), ec);
  }
  TransactionLock taken = LockForTransaction(realPath_, readOnly(), lockTimeout_);
  if (taken.timedOut) return readFailed(taken.whyNotHeld);
  lock_ = std::move(taken.lock);
  lockProblem_ = std::move(taken.whyNotHeld);  // writing will refuse with it
  if (const std::optional<std::string> why = load(std::move(kept), keptBytes)) readFailed(*why);
}

std::optional<std::string> RegFileRegistry::load(std::optional<RegFileDocument> kept,
                                                 const std::string& keptBytes) {
  platform::FileRead read = platform::ReadWholeFile(realPath_);
  switch (read.status) {
    case platform::FileRead::Status::kMissing:
      document_.emplace();  // a new file: version 5, UTF-16, as regedit writes
      return std::nullopt;
    case platform::FileRead::Status::kNotRegularFile:
      return "it is not a regular file";
    case platform::FileRead::Status::kFailed:
      return read.error;
    case platform::FileRead::Status::kRead:
      break;
  }
  if (kept && read.bytes == keptBytes) {
    document_ = std::move(kept);  // the file is as the last transaction left it
  } else {
    RegParseResult parsed = ParseRegFile(read.bytes);
    if (!parsed.document) {
      return "line " + std::to_string(parsed.error.line) + ", column " +
             std::to_string(parsed.error.column) + ": " + parsed.error.message;
    }
    document_ = std::move(parsed.document);
  }
  fileBytes_ = std::move(read.bytes);
  return std::nullopt;
}

void RegFileRegistry::onEnd() {
  // Kept only when the document is what the file now holds: unchanged, or written in full.
  if (document_ && (dirty_ ? commit() : !fileBytes_.empty())) fileDocument_ = std::move(document_);
  document_.reset();
  dirty_ = false;
  lock_.reset();
}

bool RegFileRegistry::commit() {
  const auto failed = [&](const std::string& why) {
    reportWriteFailure("The registry file " + description() + " could not be written: " + why +
                       ".");
    return false;
  };
  if (!lock_) return failed(lockProblem_);
  // A read-only file is refused, not replaced by a rename that its folder would allow.
  std::error_code ec;
  if (fs::exists(fs::symlink_status(realPath_, ec))) {
    if (const std::string why = platform::WhyNotWritable(realPath_); !why.empty()) {
      return failed(why);
    }
  }
  RegWriteResult written = WriteRegFile(*document_);
  if (!written.bytes) return failed(written.error);
  if (!writePendingBackup()) return false;
  platform::RemoveLeftoverTemporaries(realPath_);
  std::string error;
  if (!platform::ReplaceFileAtomically(realPath_, *written.bytes,
                                       platform::NewFileAccess::kOwnerOnly, error)) {
    return failed(error);
  }
  fileBytes_ = std::move(*written.bytes);
  return true;
}

const std::string& RegFileRegistry::fullPathOf(RootKey root, std::string_view keyPath) {
  if (root != lastRoot_ || keyPath != lastKeyPath_ || lastFullPath_.empty()) {
    lastRoot_ = root;
    lastKeyPath_ = keyPath;
    lastFullPath_ = RegFileKeyPath(root, keyPath);
  }
  return lastFullPath_;
}

template <class Change>
bool RegFileRegistry::change(RootKey root, std::string_view keyPath, Change&& apply) {
  return withinTransaction([&] {
    const std::string fullPath = fullPathOf(root, keyPath);
    if (!admitWrite() || !document_ || fullPath.empty()) return false;
    snapshotForBackup();  // the file as this transaction read it, before its first change
    auto [key, created] = document_->createKey(fullPath);
    if (!key) return false;
    dirty_ = apply(*key) || created || dirty_;
    return true;
  });
}

std::optional<RegValueView> RegFileRegistry::findValue(RootKey root, std::string_view keyPath,
                                                       std::string_view name) {
  if (!document_) return std::nullopt;
  const RegFileKey* key = document_->findKey(fullPathOf(root, keyPath));
  return key ? key->find(name) : std::nullopt;
}

std::optional<RegValue> RegFileRegistry::queryValue(RootKey root, std::string_view keyPath,
                                                    std::string_view name) {
  Transaction transaction(*this);
  const std::optional<RegValueView> value = findValue(root, keyPath, name);
  return value ? std::optional<RegValue>(value->copy()) : std::nullopt;
}

std::string RegFileRegistry::queryText(RootKey root, std::string_view keyPath,
                                       std::string_view name) {
  Transaction transaction(*this);
  const std::optional<RegValueView> value = findValue(root, keyPath, name);
  return value ? RegValueText(*value) : std::string();
}

bool RegFileRegistry::setValue(RootKey root, std::string_view keyPath, std::string_view name,
                               const RegValue& value) {
  return change(root, keyPath, [&](RegFileKey& key) { return key.set(name, value); });
}

bool RegFileRegistry::setText(RootKey root, std::string_view keyPath, std::string_view name,
                              std::string_view text) {
  // A command rewrites the whole list, and most of it is as stored.
  return change(root, keyPath, [&](RegFileKey& key) {
    const std::optional<RegValueView> stored = key.find(name);
    if (stored && IsTextValue(*stored, text)) return false;
    const std::vector<std::uint8_t> data = Wtf8ToUtf16LeWithNul(text);
    return key.set(name, RegValueView(regtype::kSz, data));
  });
}

bool RegFileRegistry::deleteValue(RootKey root, std::string_view keyPath, std::string_view name) {
  return change(root, keyPath, [&](RegFileKey& key) { return key.remove(name); });
}

bool RegFileRegistry::keyExists(RootKey root, std::string_view keyPath) {
  Transaction transaction(*this);
  const std::string& fullPath = fullPathOf(root, keyPath);
  return document_ && !fullPath.empty() && document_->keyExists(fullPath);
}

std::vector<std::string> RegFileRegistry::valueNames(RootKey root, std::string_view keyPath) {
  Transaction transaction(*this);
  std::vector<std::string> names;
  if (!document_) return names;
  if (const RegFileKey* key = document_->findKey(fullPathOf(root, keyPath))) {
    for (const RegFileValue& value : key->values()) names.push_back(value.name);
  }
  return names;
}

std::vector<std::string> RegFileRegistry::subkeyNames(RootKey root, std::string_view keyPath) {
  Transaction transaction(*this);
  std::vector<std::string> names;
  const std::string parent = CanonicalRegKeyPath(RegFileKeyPath(root, keyPath));
  if (!document_ || parent.empty()) return names;
  // A key may stand in the file only as the parent of a deeper section: every section below
  // names its level under the parent.
  const std::size_t levels =
      static_cast<std::size_t>(std::count(parent.begin(), parent.end(), '\\'));
  std::vector<std::string> seen;
  for (const RegFileKey& key : document_->keys()) {
    const std::string_view canonical = key.canonicalPath();
    if (canonical.size() <= parent.size() + 1 || canonical.compare(0, parent.size(), parent) != 0 ||
        canonical[parent.size()] != '\\') {
      continue;
    }
    std::size_t end = canonical.find('\\', parent.size() + 1);
    const std::string folded(canonical.substr(
        parent.size() + 1, end == std::string::npos ? std::string::npos : end - parent.size() - 1));
    if (std::find(seen.begin(), seen.end(), folded) != seen.end()) continue;
    seen.push_back(folded);
    // The same level of the path as written, for its spelling.
    const std::vector<std::string> written = SplitKeyPath(key.path());
    names.push_back(written.size() > levels + 1 ? written[levels + 1] : folded);
  }
  return names;
}

fs::path RegFilePath(const char* tavelinRegistry, const char* xdgDataHome, const char* home) {
  const auto set = [](const char* v) { return v != nullptr && *v != '\0'; };
  if (set(tavelinRegistry)) return fs::path(tavelinRegistry);
  const fs::path leaf = fs::path("tavelin") / "HKEY_CURRENT_USER.reg";
  if (set(xdgDataHome) && fs::path(xdgDataHome).is_absolute()) return xdgDataHome / leaf;
  if (set(home)) return fs::path(home) / ".local" / "share" / leaf;
  return {};
}

fs::path DefaultRegFilePath() {
  return RegFilePath(std::getenv("TAVELIN_REGISTRY"), std::getenv("XDG_DATA_HOME"),
                     std::getenv("HOME"));
}

}  // namespace tavelin
