#include "store/registry.h"



#include "platform/wtf8.h"

namespace tavelin {

void RegistryBackend::beginTransaction(bool fullLoad) {
  if (depth_++ == 0) onBegin(fullLoad);
}

void RegistryBackend::endTransaction() {
  if (depth_ > 0 && --depth_ == 0) onEnd();
}

std::vector<std::string> RegistryBackend::takeNotices() {
  std::vector<std::string> out;
  out.swap(notices_);
  return out;
}

void RegistryBackend::reportReadFailure(const std::string& message) {
  writesBlocked_ = true;
  if (!readFailureTold_) {
    readFailureTold_ = true;
    notices_.push_back(message);
  }
}

void RegistryBackend::reportReadSuccess(bool fullLoad) {
  if (fullLoad) {
    writesBlocked_ = false;
    readFailureTold_ = false;
  }
}

void RegistryBackend::reportWriteFailure(const std::string& message) {
  if (!lastWriteFailed_) notices_.push_back(message);
  lastWriteFailed_ = true;
}

void RegistryBackend::reportWriteSuccess() { lastWriteFailed_ = false; }

namespace modReg {

std::string ReadRegString(RegistryBackend& backend, RootKey hKey, std::string_view strPath,
                          std::string_view strValue) {
  const std::optional<RegValue> value = backend.queryValue(hKey, strPath, strValue);
  if (!value) return {};
  switch (value->type) {
    case regtype::kSz:
    case regtype::kExpandSz: {
      std::u16string text = Utf16LeBytesToText(value->data.data(), value->data.size());
      if (const auto nul = text.find(u'\0'); nul != std::u16string::npos) text.resize(nul);
      return Utf16ToWtf8(text);
    }
    case regtype::kDword: {
      if (value->data.size() != 4) return {};
      std::uint32_t number = 0;  // stored little-endian
      number = static_cast<std::uint32_t>(value->data[0]) |
               (static_cast<std::uint32_t>(value->data[1]) << 8) |
               (static_cast<std::uint32_t>(value->data[2]) << 16) |
               (static_cast<std::uint32_t>(value->data[3]) << 24);
      return std::to_string(number);
    }
    default:
      return {};
  }
}

bool WriteRegString(RegistryBackend& backend, RootKey hKey, std::string_view strPath,
                    std::string_view strValue, std::string_view strData) {
  // The registry is never given an empty string value; a single space stands in for it.
  const std::u16string text = Wtf8ToUtf16(strData.empty() ? std::string_view(" ") : strData);
  RegValue value;
  value.type = regtype::kSz;
  const std::string bytes = TextToUtf16LeBytes(text);
  value.data.assign(bytes.begin(), bytes.end());
  value.data.push_back(0);
  value.data.push_back(0);
  return backend.setValue(hKey, strPath, strValue, value);
}

}  // namespace modReg

void DelSetting(RegistryBackend& backend, RootKey hKey, std::string_view strPath,
                std::string_view strValue) {
  backend.deleteValue(hKey, strPath, strValue);
}

}  // namespace tavelin
