// The program's two settings, kept as string values under its own key.
#pragma once

#include <string>
#include <string_view>

#include "store/registry.h"

namespace tavelin {

inline constexpr std::string_view kSettingsKey = "Software\\Tavelin";
inline constexpr std::string_view kSaveModeValue = "SaveOptions";
inline constexpr std::string_view kWindowModeValue = "SaveOptions2";

// The texts the settings hold. Anything else may be stored too and is kept as it is.
inline constexpr std::string_view kAutomaticSaveMode = "One";
inline constexpr std::string_view kManualSaveMode = "Two";
inline constexpr std::string_view kMaximizedWindowMode = "Max";
inline constexpr std::string_view kMinimizedWindowMode = "Min";

// The in-memory copies, exactly as read or written (empty text when the value is missing).
struct ProgramSettings {
  std::string SaveMode;    // "One": automatic saving; exactly "Two": manual saving
  std::string WindowMode;  // "Max" or "Min"
};

// Manual mode is exactly "Two"; any other text, empty text included, is automatic mode.
bool IsManualSaveMode(const ProgramSettings& settings);

// Reads both values; nothing is written or created.
void LoadSettings(RegistryBackend& backend, ProgramSettings& settings);

// Writes the value, then sets the copy (whether or not the write succeeded).
void StoreSaveMode(RegistryBackend& backend, ProgramSettings& settings, std::string_view text);
void StoreWindowMode(RegistryBackend& backend, ProgramSettings& settings, std::string_view text);

}  // namespace tavelin
