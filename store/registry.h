// store/ holds the program's persistent state: the registry routines (this file), the values
// they move (registry_value.h), the backend they act on and its transactions
// (registry_backend.h), the backends (the registry file with its .reg codec, the Windows
// registry, a Windows user's own hive), the typed-address and settings stores, and the backup.
// It uses platform/ (and hivex) only. What a backend could not do it reports as facts
// (store_report.h); the list the window holds and the sentences a user reads are made above it.
//
// The registry routines (module modReg). Every registry access of the program goes through
// ReadRegString, WriteRegString and DelSetting. They act on a RegistryBackend that the caller
// hands in: the Windows registry itself, or the registry file kept on other systems.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "store/registry_backend.h"

namespace tavelin {

namespace modReg {

// The value's text; empty text when the key or value is missing or cannot be read. Strings
// (REG_SZ, REG_EXPAND_SZ, unexpanded) come back up to their first NUL; a 4-byte REG_DWORD as
// its decimal number; every other type, and a REG_DWORD of another size, as empty text.
std::string ReadRegString(RegistryBackend& backend, RootKey hKey, std::string_view strPath,
                          std::string_view strValue);

// The value exactly as stored (type and bytes); nothing when the key or value is missing or
// cannot be read.
std::optional<RegValue> ReadRegValue(RegistryBackend& backend, RootKey hKey,
                                     std::string_view strPath, std::string_view strValue);

// Stores the text as REG_SZ, creating the key and its parents; empty text is stored as " ".
// True when the value was stored.
bool WriteRegString(RegistryBackend& backend, RootKey hKey, std::string_view strPath,
                    std::string_view strValue, std::string_view strData);

}  // namespace modReg

// Removes one value, creating the key (empty) when it is missing. Reports nothing.
void DelSetting(RegistryBackend& backend, RootKey hKey, std::string_view strPath,
                std::string_view strValue);

}  // namespace tavelin
