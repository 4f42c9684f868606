#include <cstdlib>

#include "store/backup.h"

namespace tavelin {

std::filesystem::path DefaultBackupRoot() {
  return BackupRoot(std::getenv("XDG_STATE_HOME"), std::getenv("HOME"));
}

}  // namespace tavelin
