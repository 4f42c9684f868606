#include "store/registry.h"

#include "platform/wtf8.h"

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

void RegistryBackend::setBackup(std::unique_ptr<StoreBackup> backup) {
  backup_ = std::move(backup);
  backupTaken_.reset();
  pendingBackup_.reset();
  snapshotTaken_ = false;
}

void RegistryBackend::snapshotForBackup() {
  if (!backup_ || backupTaken_ || snapshotTaken_) return;
  snapshotTaken_ = true;
  pendingBackupError_.clear();
  pendingBackup_ = backup_->copy(*this, pendingBackupError_);
}

bool RegistryBackend::writePendingBackup() {
  if (!backup_ || backupTaken_) return true;
  std::string error = pendingBackupError_;
  std::optional<std::filesystem::path> written;
  if (pendingBackup_) written = backup_->keep(*pendingBackup_, error);
  if (!written) {
    reportFailedWrite(error, true);
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
  readFailed_ = writeAttempted_ = writeRefused_ = writeFailed_ = backupFailed_ = false;
  readProblem_.clear();
  writeProblem_.clear();
  notes_.clear();
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
  if (readFailed_) {
    if (kind_ == LoadKind::kStartup) writesBlocked_ = true;
  } else if (kind_ != LoadKind::kCommand) {
    writesBlocked_ = false;
  }
  const auto reportOf = [&](StoreReport::Kind kind, std::string reason) {
    StoreReport report;
    report.kind = kind;
    report.reason = std::move(reason);
    report.load = kind_;
    report.store = description();
    report.writeAttempted = writeAttempted_;
    report.allOrNothing = writesAllOrNothing();
    reports_.push_back(std::move(report));
  };
  if (readFailed_) {
    reportOf(StoreReport::Kind::kReadFailed, readProblem_);
  } else if (writeRefused_) {
    reportOf(StoreReport::Kind::kWriteRefused, {});
  } else if (writeFailed_) {
    reportOf(backupFailed_ ? StoreReport::Kind::kBackupFailed : StoreReport::Kind::kWriteFailed,
             writeProblem_);
  }
  for (std::string& note : notes_) reportOf(StoreReport::Kind::kNote, std::move(note));
  notes_.clear();
}

std::vector<StoreReport> RegistryBackend::takeReports() {
  std::vector<StoreReport> out;
  out.swap(reports_);
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
  if (readOnly_) {
    reportFailedWrite(description() + " was opened read-only, so nothing is written to it.", false);
    return false;
  }
  // A call on its own is a transaction of its own, reported at once.
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

void RegistryBackend::reportNote(const std::string& note) {
  notes_.push_back(note);
}

void RegistryBackend::reportWriteFailure(const std::string& problem) {
  reportFailedWrite(problem, false);
}

void RegistryBackend::reportFailedWrite(const std::string& problem, bool backup) {
  const bool own = depth_ == 0;
  if (own) beginTransaction();
  writeAttempted_ = true;
  if (!writeFailed_) {
    writeProblem_ = problem;
    backupFailed_ = backup;
  }
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

std::vector<std::pair<std::string, RegValue>> RegistryBackend::keyValues(RootKey root,
                                                                         std::string_view keyPath) {
  Transaction transaction(*this);
  std::vector<std::pair<std::string, RegValue>> values;
  for (std::string& name : valueNames(root, keyPath)) {
    if (std::optional<RegValue> value = queryValue(root, keyPath, name)) {
      values.emplace_back(std::move(name), std::move(*value));
    }
  }
  return values;
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
