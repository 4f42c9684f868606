#include "app/system_registry.h"

#include <utility>

#include "store/settings_store.h"
#include "store/typed_address_store.h"

namespace tavelin {

std::vector<BackupKey> ProgramBackupKeys() {
  // The time key is never made by the program, so a restore has nothing to remove when it
  // was missing; the other two it makes.
  return {{std::string(kTypedUrlsKey), true},
          {std::string(kTypedUrlsTimeKey), false},
          {std::string(kSettingsKey), true}};
}

std::unique_ptr<StoreBackup> ProgramBackup(std::filesystem::path folder) {
  return std::make_unique<RegFileBackup>(BackupFolder(std::move(folder)), ProgramBackupKeys());
}

}  // namespace tavelin
