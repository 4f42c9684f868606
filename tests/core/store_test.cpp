#include <gtest/gtest.h>

#include "store/registry_memory.h"
#include "store/typed_address_store.h"

namespace tavelin {
namespace {

TEST(Smoke, MemoryRoundTrip) {
  MemoryRegistry reg;
  modReg::WriteRegString(reg, kCurrentUser, "A\\B", "url1", "x");
  EXPECT_EQ(modReg::ReadRegString(reg, kCurrentUser, "a\\b", "URL1"), "x");
}

}  // namespace
}  // namespace tavelin
