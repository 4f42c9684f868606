// Reads the program's Windows resources back from this executable, which links them in the
// same way the program does.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "version_record.h"

namespace {

TEST(WindowsResources, VersionRecord) {
  wchar_t path[MAX_PATH] = {};
  const DWORD length = GetModuleFileNameW(nullptr, path, MAX_PATH);
  ASSERT_TRUE(length > 0 && length < MAX_PATH);
  std::vector<std::uint8_t> record = tavelin::testing::VersionRecordOf(path);
  tavelin::testing::ExpectTheProjectsVersion(record);
}

#pragma pack(push, 2)
struct IconGroupEntry {
  BYTE width;
  BYTE height;
  BYTE colourCount;
  BYTE reserved;
  WORD planes;
  WORD bitCount;
  DWORD bytes;
  WORD id;
};
#pragma pack(pop)
static_assert(sizeof(IconGroupEntry) == 14);

TEST(WindowsResources, IconIn256AndTrueColour) {
  const HMODULE self = GetModuleHandleW(nullptr);
  HRSRC found = FindResourceW(self, L"IDI_ICON1", MAKEINTRESOURCEW(14) /* RT_GROUP_ICON */);
  ASSERT_NE(found, nullptr);
  const auto* group = static_cast<const std::uint8_t*>(LockResource(LoadResource(self, found)));
  ASSERT_NE(group, nullptr);
  ASSERT_GE(SizeofResource(self, found), 6u);
  WORD count = 0;
  std::memcpy(&count, group + 4, sizeof(count));
  ASSERT_EQ(count, 2);
  ASSERT_GE(SizeofResource(self, found), 6u + count * sizeof(IconGroupEntry));
  std::vector<WORD> depths;
  for (WORD i = 0; i < count; ++i) {
    IconGroupEntry entry;
    std::memcpy(&entry, group + 6 + i * sizeof(IconGroupEntry), sizeof(entry));
    EXPECT_EQ(entry.width, 48);
    EXPECT_EQ(entry.height, 48);
    depths.push_back(entry.bitCount);
    // Every picture the group names is there.
    EXPECT_NE(FindResourceW(self, MAKEINTRESOURCEW(entry.id), MAKEINTRESOURCEW(3) /* RT_ICON */),
              nullptr);
  }
  EXPECT_EQ(depths, (std::vector<WORD>{8, 32}));
}

TEST(WindowsResources, Manifest) {
  const HMODULE self = GetModuleHandleW(nullptr);
  HRSRC found = FindResourceW(self, MAKEINTRESOURCEW(1), MAKEINTRESOURCEW(24) /* RT_MANIFEST */);
  ASSERT_NE(found, nullptr);
  const auto* bytes = static_cast<const char*>(LockResource(LoadResource(self, found)));
  ASSERT_NE(bytes, nullptr);
  const std::string manifest(bytes, SizeofResource(self, found));
  EXPECT_NE(manifest.find("level=\"asInvoker\""), std::string::npos);
  EXPECT_NE(manifest.find("Microsoft.Windows.Common-Controls"), std::string::npos);
  EXPECT_NE(manifest.find("PerMonitorV2"), std::string::npos);
  // The program's own identity, not the common controls' it depends on, has its version.
  const std::size_t identity = manifest.find("<assemblyIdentity type=\"win32\" name=\"Tavelin\"");
  ASSERT_NE(identity, std::string::npos);
  const std::string element = manifest.substr(identity, manifest.find("/>", identity) - identity);
  EXPECT_NE(element.find("version=\"" TAVELIN_EXPECTED_VERSION ".0\""), std::string::npos)
      << element;
}

}  // namespace
