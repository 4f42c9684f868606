#include "store/store_lock.h"

namespace tavelin {

namespace fs = std::filesystem;

// Windows keeps the user's own hive loaded: any store here is a file of this program's, and
// its lock file lies beside it.
platform::LockStatus LockStore(const fs::path& store, std::chrono::milliseconds timeout,
                               std::unique_ptr<platform::FileLock>& lock, std::string& error) {
  return LockBesideStore(store, timeout, lock, error);
}

}  // namespace tavelin
