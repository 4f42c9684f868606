#include "store/registry.h"

#include "platform/wtf8.h"
#include "store/backup.h"

namespace tavelin {

std::string RegistryBackend::exportPath(RootKey root, std::string_view keyPath) const {
  std::string path = root == kCurrentUser ? "HKEY_CURRENT_USER" : "root " + std::to_string(root);
  while (!keyPath.empty() && keyPath.front() == '\\') keyPath.remove_prefix(1);
  if (!keyPath.empty()) {
    path += '\\';
    path += keyPath;
  }
  return path;
}

RegistryBackend::RegistryBackend() = default;
RegistryBackend::~RegistryBackend() = default;

void RegistryBackend::setBackupFolder(std::unique_ptr<BackupFolder> folder) {
  backups_ = std::move(folder);
  backupTaken_.reset();
  pendingBackup_.reset();
  snapshotTaken_ = false;
}

void RegistryBackend::snapshotForBackup() {
  if (!backups_ || backupTaken_ || snapshotTaken_) return;
  snapshotTaken_ = true;
  pendingBackupError_.clear();
  pendingBackup_ = BackupFileBytes(*this, pendingBackupError_);
}

bool RegistryBackend::writePendingBackup() {
  if (!backups_ || backupTaken_) return true;
  std::string error = pendingBackupError_;
  std::optional<std::filesystem::path> written;
  if (pendingBackup_) written = backups_->write(*pendingBackup_, error);
  if (!written) {
    reportWriteFailure(
        "No backup of what was stored could be made, so nothing was changed: " + error + ".");
    return false;
  }
  backupTaken_ = std::move(written);
  pendingBackup_.reset();
  return true;
}

void RegistryBackend::beginTransaction(LoadKind kind) {
  if (depth_++ > 0) return;
  kind_ = kind;
  snapshotTaken_ = false;
  pendingBackup_.reset();
  readFailed_ = writeAttempted_ = writeRefused_ = writeFailed_ = false;
  readProblem_.clear();
  writeProblem_.clear();
  onBegin(kind);
}

StoreOutcome RegistryBackend::endTransaction() {
  StoreOutcome outcome;
  if (depth_ == 0) return outcome;
  if (depth_ > 1) {
    --depth_;
    outcome.readOk = !readFailed_;
    outcome.complete = !readFailed_ && !writeRefused_ && !writeFailed_;
    return outcome;
  }
  onEnd();  // still inside: what the commit reports belongs to this transaction
  depth_ = 0;
  finishOutermost(outcome);
  return outcome;
}

void RegistryBackend::finishOutermost(StoreOutcome& outcome) {
  outcome.readOk = !readFailed_;
  outcome.complete = !readFailed_ && !writeRefused_ && !writeFailed_;
  const bool fullLoad = kind_ != LoadKind::kCommand;
  if (readFailed_) {
    if (kind_ == LoadKind::kStartup) {
      writesBlocked_ = true;
      notices_.push_back(readProblem_ +
                         " Nothing will be saved until \"Reload URLs\" (F5) reads it.");
    } else if (writeAttempted_) {
      notices_.push_back("Nothing was saved. " + readProblem_);
    } else {
      notices_.push_back(readProblem_);
    }
    return;
  }
  if (fullLoad) writesBlocked_ = false;
  if (writeRefused_) {
    notices_.push_back("Nothing was saved to " + description() +
                       ": it could not be read when the list was loaded. Press F5 (\"Reload "
                       "URLs\") to read it again; that replaces the list with what is stored.");
  } else if (writeFailed_) {
    notices_.push_back(
        (writesAllOrNothing() ? "Nothing was saved. " : "Not everything was saved. ") +
        writeProblem_);
  }
}

std::vector<std::string> RegistryBackend::takeNotices() {
  std::vector<std::string> out;
  out.swap(notices_);
  return out;
}

void RegistryBackend::reportReadFailure(const std::string& problem) {
  const bool own = depth_ == 0;
  if (own) beginTransaction();
  if (!readFailed_) readProblem_ = problem;
  readFailed_ = true;
  if (own) endTransaction();
}

bool RegistryBackend::admitWrite() {
  // A call on its own is a transaction of its own, told at once.
  const bool own = depth_ == 0;
  if (own) beginTransaction();
  writeAttempted_ = true;
  // A start-up or reload whose own read succeeded may write: it brings the list back.
  const bool blocked = writesBlocked_ && kind_ == LoadKind::kCommand;
  const bool admitted = !readFailed_ && !blocked;
  if (!admitted && !readFailed_) writeRefused_ = true;
  if (own) endTransaction();
  return admitted;
}

void RegistryBackend::reportWriteFailure(const std::string& problem) {
  const bool own = depth_ == 0;
  if (own) beginTransaction();
  if (!writeFailed_) writeProblem_ = problem;
  writeFailed_ = true;
  if (own) endTransaction();
}

std::string RegValueText(RegValueView value) {
  switch (value.type) {
    case regtype::kSz:
    case regtype::kExpandSz:
      return Utf16LeToWtf8UpToNul(value.data.data(), value.data.size());
    case regtype::kDword: {
      const std::optional<std::uint32_t> number = DwordOf(value);
      return number ? std::to_string(*number) : std::string();
    }
    default:
      return {};
  }
}

std::string RegistryBackend::queryText(RootKey root, std::string_view keyPath,
                                       std::string_view name) {
  const std::optional<RegValue> value = queryValue(root, keyPath, name);
  return value ? RegValueText(*value) : std::string();
}

bool IsTextValue(RegValueView value, std::string_view text) {
  if (value.type != regtype::kSz) return false;
  // Plain ASCII, nearly every address, unit by unit; anything else through a conversion.
  const std::uint8_t* data = value.data.data();
  const std::size_t units = value.data.size() / 2;
  std::size_t i = 0;
  for (; i < text.size() && i < units && static_cast<unsigned char>(text[i]) < 0x80; ++i) {
    if (data[2 * i] != static_cast<unsigned char>(text[i]) || data[2 * i + 1] != 0) return false;
  }
  if (i == text.size()) {
    return value.data.size() == 2 * i + 2 && data[2 * i] == 0 && data[2 * i + 1] == 0;
  }
  const std::vector<unsigned char> asStored = Wtf8ToUtf16LeWithNul(text);
  return std::equal(value.data.begin(), value.data.end(), asStored.begin(), asStored.end());
}

bool RegistryBackend::setText(RootKey root, std::string_view keyPath, std::string_view name,
                              std::string_view text) {
  return setValue(root, keyPath, name, {regtype::kSz, Wtf8ToUtf16LeWithNul(text)});
}

namespace modReg {

std::string ReadRegString(RegistryBackend& backend, RootKey hKey, std::string_view strPath,
                          std::string_view strValue) {
  return backend.queryText(hKey, strPath, strValue);
}

std::optional<RegValue> ReadRegValue(RegistryBackend& backend, RootKey hKey,
                                     std::string_view strPath, std::string_view strValue) {
  return backend.queryValue(hKey, strPath, strValue);
}

bool WriteRegString(RegistryBackend& backend, RootKey hKey, std::string_view strPath,
                    std::string_view strValue, std::string_view strData) {
  // The registry is never given an empty string value; a single space stands in for it.
  return backend.setText(hKey, strPath, strValue,
                         strData.empty() ? std::string_view(" ") : strData);
}

}  // namespace modReg

void DelSetting(RegistryBackend& backend, RootKey hKey, std::string_view strPath,
                std::string_view strValue) {
  backend.deleteValue(hKey, strPath, strValue);
}

}  // namespace tavelin
