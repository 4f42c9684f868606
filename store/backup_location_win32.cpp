#include <cstdlib>

#include "store/backup.h"

namespace tavelin {

std::filesystem::path DefaultBackupRoot() {
  const wchar_t* local = _wgetenv(L"LOCALAPPDATA");
  if (local == nullptr || *local == L'\0') return {};
  return std::filesystem::path(local) / L"Tavelin" / L"Backups";
}

}  // namespace tavelin
