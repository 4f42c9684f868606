#include "store/registry_backend.h"

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
  backup_ = BackupRun{std::move(backup), std::nullopt, std::nullopt, {}};
}

void RegistryBackend::snapshotForBackup() {
  if (!backup_.hook || backup_.taken || transaction_.backupCopied()) return;
  transaction_.markBackupCopied();
  backup_.pendingError.clear();
  backup_.pending = backup_.hook->copy(*this, backup_.pendingError);
}

bool RegistryBackend::writePendingBackup() {
  if (!backup_.hook || backup_.taken) return true;
  std::string error = backup_.pendingError;
  std::optional<std::filesystem::path> written;
  if (backup_.pending) written = backup_.hook->keep(*backup_.pending, error);
  if (!written) {
    reportFailedWrite(error, true);
    return false;
  }
  backup_.taken = std::move(written);
  backup_.pending.reset();
  return true;
}

void RegistryBackend::beginTransaction(LoadKind kind) {
  if (depth_++ > 0) return;
  transaction_ = TransactionState(kind);
  backup_.pending.reset();
  onBegin(kind);
}

StoreOutcome RegistryBackend::endTransaction() {
  if (depth_ == 0) return {};
  if (depth_ > 1) {
    --depth_;
    return transaction_.outcome();
  }
  onEnd();  // still inside: what the commit reports belongs to this transaction
  depth_ = 0;
  if (transaction_.readFailed()) {
    if (transaction_.kind() == LoadKind::kStartup) writesBlocked_ = true;
  } else if (transaction_.kind() != LoadKind::kCommand) {
    writesBlocked_ = false;
  }
  for (StoreReport& report : transaction_.reports(description(), writesAllOrNothing())) {
    reports_.push_back(std::move(report));
  }
  return transaction_.outcome();
}

std::vector<StoreReport> TransactionState::reports(const std::string& store,
                                                   bool allOrNothing) const {
  std::vector<StoreReport> reports;
  const auto reportOf = [&](StoreReport::Kind kind, const std::string& reason) {
    StoreReport report;
    report.kind = kind;
    report.reason = reason;
    report.load = kind_;
    report.store = store;
    report.writeAttempted = writes_ != Writes::kNone;
    report.allOrNothing = allOrNothing;
    reports.push_back(std::move(report));
  };
  if (readFailure_) {
    reportOf(StoreReport::Kind::kReadFailed, *readFailure_);
  } else if (writes_ == Writes::kRefused) {
    reportOf(StoreReport::Kind::kWriteRefused, {});
  } else if (writes_ == Writes::kFailed) {
    reportOf(StoreReport::Kind::kWriteFailed, writeFailure_);
  } else if (writes_ == Writes::kBackupFailed) {
    reportOf(StoreReport::Kind::kBackupFailed, writeFailure_);
  }
  for (const std::string& note : notes_) reportOf(StoreReport::Kind::kNote, note);
  return reports;
}

std::vector<StoreReport> RegistryBackend::takeReports() {
  std::vector<StoreReport> out;
  out.swap(reports_);
  return out;
}

void RegistryBackend::reportReadFailure(const std::string& problem) {
  withinTransaction([&] {
    transaction_.readFailedBecause(problem);
    return true;
  });
}

bool RegistryBackend::admitWrite() {
  if (readOnly_) {
    reportFailedWrite(description() + " was opened read-only, so nothing is written to it.", false);
    return false;
  }
  bool admitted = false;
  withinTransaction([&] {
    admitted = transaction_.admitWrite(writesBlocked_);
    return true;
  });
  return admitted;
}

void RegistryBackend::reportNote(const std::string& note) {
  transaction_.note(note);
}

void RegistryBackend::reportWriteFailure(const std::string& problem) {
  reportFailedWrite(problem, false);
}

void RegistryBackend::reportFailedWrite(const std::string& problem, bool backup) {
  withinTransaction([&] {
    transaction_.writeAttempted();
    transaction_.writeFailedBecause(problem, backup);
    return true;
  });
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

bool RegistryBackend::setText(RootKey root, std::string_view keyPath, std::string_view name,
                              std::string_view text) {
  return setValue(root, keyPath, name, {regtype::kSz, Wtf8ToUtf16LeWithNul(text)});
}

}  // namespace tavelin
