#include "store/settings_store.h"

namespace tavelin {

bool IsManualSaveMode(const ProgramSettings& settings) {
  return settings.SaveMode == kManualSaveMode;
}

void LoadSettings(RegistryBackend& backend, ProgramSettings& settings) {
  Transaction transaction(backend);
  settings.SaveMode = modReg::ReadRegString(backend, kCurrentUser, kSettingsKey, kSaveModeValue);
  settings.WindowMode =
      modReg::ReadRegString(backend, kCurrentUser, kSettingsKey, kWindowModeValue);
}

void StoreSaveMode(RegistryBackend& backend, ProgramSettings& settings, std::string_view text) {
  modReg::WriteRegString(backend, kCurrentUser, kSettingsKey, kSaveModeValue, text);
  settings.SaveMode = std::string(text);
}

void StoreWindowMode(RegistryBackend& backend, ProgramSettings& settings, std::string_view text) {
  modReg::WriteRegString(backend, kCurrentUser, kSettingsKey, kWindowModeValue, text);
  settings.WindowMode = std::string(text);
}

}  // namespace tavelin
