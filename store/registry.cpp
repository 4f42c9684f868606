#include "store/registry.h"

namespace tavelin {

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
