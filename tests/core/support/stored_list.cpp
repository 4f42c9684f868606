#include "support/stored_list.h"

#include <gtest/gtest.h>

#include "store/typed_address_store.h"

namespace tavelin::support {

StoredUrls ReadStoredUrls(RegistryBackend& backend, int upTo) {
  Transaction transaction(backend);
  StoredUrls stored;
  for (int n = 1; n <= upTo; ++n) {
    if (backend.queryValue(kCurrentUser, kTypedUrlsKey, UrlValueName(n))) {
      stored[n] = modReg::ReadRegString(backend, kCurrentUser, kTypedUrlsKey, UrlValueName(n));
    }
  }
  return stored;
}

std::vector<std::string> StoredTexts(RegistryBackend& backend, int upTo) {
  std::vector<std::string> texts;
  for (const auto& [n, text] : ReadStoredUrls(backend, upTo)) {
    while (static_cast<int>(texts.size()) + 1 < n) {
      texts.push_back("<no url" + std::to_string(texts.size() + 1) + ">");
    }
    texts.push_back(text);
  }
  return texts;
}

void StoreUrls(RegistryBackend& backend, const StoredUrls& urls) {
  Transaction transaction(backend);
  for (const auto& [n, text] : urls) {
    ASSERT_TRUE(
        modReg::WriteRegString(backend, kCurrentUser, kTypedUrlsKey, UrlValueName(n), text));
  }
}

StoredUrls Numbered(const std::vector<std::string>& texts) {
  StoredUrls urls;
  for (std::size_t i = 0; i < texts.size(); ++i) urls[static_cast<int>(i) + 1] = texts[i];
  return urls;
}

std::vector<std::string> Generated(int count, const std::string& stem) {
  std::vector<std::string> texts;
  for (int i = 1; i <= count; ++i) texts.push_back("http://" + stem + std::to_string(i) + "/");
  return texts;
}

}  // namespace tavelin::support
