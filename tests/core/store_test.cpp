#include <gtest/gtest.h>

#include <map>
#include <string>

#include "list/address_list.h"
#include "list/list_store.h"
#include "store/typed_address_store.h"
#include "support/registry_memory.h"

namespace tavelin {
namespace {

TEST(Smoke, MemoryRoundTrip) {
  MemoryRegistry reg;
  modReg::WriteRegString(reg, kCurrentUser, "A\\B", "url1", "x");
  EXPECT_EQ(modReg::ReadRegString(reg, kCurrentUser, "a\\b", "URL1"), "x");
}

// Counts the questions asked of each value, and the writes: on Windows each is a registry
// call, and each write asks what is stored first.
class CountingRegistry : public MemoryRegistry {
 public:
  std::map<std::string, int> asked;  // key path + "\" + value name
  std::map<std::string, int> written;
  bool setValue(RootKey root, std::string_view keyPath, std::string_view name,
                const RegValue& value) override {
    ++written[std::string(keyPath) + "\\" + std::string(name)];
    return MemoryRegistry::setValue(root, keyPath, name, value);
  }
  bool deleteValue(RootKey root, std::string_view keyPath, std::string_view name) override {
    ++written[std::string(keyPath) + "\\" + std::string(name)];
    return MemoryRegistry::deleteValue(root, keyPath, name);
  }
  std::optional<RegValue> queryValue(RootKey root, std::string_view keyPath,
                                     std::string_view name) override {
    ++asked[std::string(keyPath) + "\\" + std::string(name)];
    return MemoryRegistry::queryValue(root, keyPath, name);
  }
  std::string queryText(RootKey root, std::string_view keyPath, std::string_view name) override {
    ++asked[std::string(keyPath) + "\\" + std::string(name)];
    return MemoryRegistry::queryText(root, keyPath, name);
  }
};

// A start-up (or reload) reads each stored value once: the compaction compares with what
// the load has just read, in the same transaction, whether or not it has to write.
TEST(LoadAndCompact, AsksTheStoreForEachValueOnce) {
  const struct {
    const char* label;
    std::size_t count;
    std::size_t gapEvery;  // 0: none
  } cases[] = {{"200, compact", 200, 0}, {"a few with gaps", 30, 4}, {"none", 0, 0}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.label);
    CountingRegistry registry;
    for (std::size_t n = 1; n <= c.count; ++n) {
      if (c.gapEvery != 0 && n % c.gapEvery == 0) continue;
      modReg::WriteRegString(registry, kCurrentUser, kTypedUrlsKey, UrlValueName(n),
                             "http://host" + std::to_string(n) + ".example/");
      registry.setValue(kCurrentUser, kTypedUrlsTimeKey, UrlValueName(n), TypedTime::At(n).value());
    }
    const bool keyBefore = registry.keyExists(kCurrentUser, kTypedUrlsKey);
    registry.asked.clear();
    registry.written.clear();
    AddressList list;
    ASSERT_TRUE(LoadAndCompactAddresses(registry, list, LoadKind::kStartup).complete);
    for (const auto& [value, times] : registry.asked) EXPECT_EQ(times, 1) << value;
    // A compact store is not written at all (a missing key is made, as start-up always has).
    if (c.gapEvery == 0 && keyBefore) {
      EXPECT_TRUE(registry.written.empty());
    }
    // Compacted all the same, each address with its own time.
    const std::size_t kept = c.gapEvery == 0 ? c.count : c.count - c.count / c.gapEvery;
    ASSERT_EQ(list.count(), kept);
    for (std::size_t k = 0; k < kept; ++k) {
      const std::string name = UrlValueName(k + 1);
      EXPECT_EQ(modReg::ReadRegString(registry, kCurrentUser, kTypedUrlsKey, name), list.item(k));
      EXPECT_EQ(registry.queryValue(kCurrentUser, kTypedUrlsTimeKey, name), list.time(k).value());
    }
    EXPECT_FALSE(registry.queryValue(kCurrentUser, kTypedUrlsKey, UrlValueName(kept + 1)));
  }
}

}  // namespace
}  // namespace tavelin
