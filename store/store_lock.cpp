#include "store/store_lock.h"

#include "platform/wide_text.h"
#include "store/store_report.h"

namespace tavelin {

namespace fs = std::filesystem;

bool NamesRegFile(const fs::path& store) {
  std::string extension = platform::PathText(store.extension());
  for (char& c : extension) c = static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
  return extension == ".reg";
}

platform::LockStatus LockBesideStore(const fs::path& store, std::chrono::milliseconds timeout,
                                     std::unique_ptr<platform::FileLock>& lock,
                                     std::string& error) {
  fs::path beside = store;
  beside += ".lock";
  const platform::LockStatus status = platform::AcquireFileLock(beside, timeout, lock, error);
  if (status == platform::LockStatus::kFailed) {
    error = "its lock file " + platform::PathText(beside) + " cannot be used (" + error + ")";
  }
  return status;
}

TransactionLock LockForTransaction(const fs::path& store, bool readOnly,
                                   std::chrono::milliseconds timeout) {
  TransactionLock taken;
  if (readOnly) {
    taken.whyNotHeld = std::string(kOpenedReadOnly);
    return taken;
  }
  switch (LockStore(store, timeout, taken.lock, taken.whyNotHeld)) {
    case platform::LockStatus::kLocked:
      taken.whyNotHeld.clear();
      break;
    case platform::LockStatus::kTimedOut:
      taken.timedOut = true;
      [[fallthrough]];
    case platform::LockStatus::kFailed:
      taken.lock.reset();
      break;
  }
  return taken;
}

}  // namespace tavelin
