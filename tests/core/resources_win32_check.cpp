// Reads the program's Windows resources back from this executable, which links them in the
// same way the program does.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

namespace {

std::vector<std::uint8_t> OwnVersionRecord() {
  wchar_t path[MAX_PATH] = {};
  const DWORD length = GetModuleFileNameW(nullptr, path, MAX_PATH);
  if (length == 0 || length >= MAX_PATH) return {};
  DWORD ignored = 0;
  const DWORD size = GetFileVersionInfoSizeW(path, &ignored);
  if (size == 0) return {};
  std::vector<std::uint8_t> record(size);
  if (!GetFileVersionInfoW(path, 0, size, record.data())) return {};
  return record;
}

std::wstring VersionString(std::vector<std::uint8_t>& record, const wchar_t* field) {
  const std::wstring query = std::wstring(L"\\StringFileInfo\\040904B0\\") + field;
  void* text = nullptr;
  UINT length = 0;
  if (!VerQueryValueW(record.data(), query.c_str(), &text, &length) || text == nullptr) return {};
  std::wstring value(static_cast<const wchar_t*>(text), length);
  while (!value.empty() && value.back() == L'\0') value.pop_back();
  return value;
}

TEST(WindowsResources, VersionRecord) {
  std::vector<std::uint8_t> record = OwnVersionRecord();
  ASSERT_FALSE(record.empty());

  void* fixed = nullptr;
  UINT size = 0;
  ASSERT_TRUE(VerQueryValueW(record.data(), L"\\", &fixed, &size));
  ASSERT_GE(size, sizeof(VS_FIXEDFILEINFO));
  const auto* info = static_cast<const VS_FIXEDFILEINFO*>(fixed);
  EXPECT_EQ(info->dwSignature, 0xFEEF04BDu);
  // The project's version, as the build passes it to this check.
  const DWORD versionMS = (TAVELIN_EXPECTED_VERSION_MAJOR << 16) | TAVELIN_EXPECTED_VERSION_MINOR;
  const DWORD versionLS = TAVELIN_EXPECTED_VERSION_PATCH << 16;
  EXPECT_EQ(info->dwFileVersionMS, versionMS);
  EXPECT_EQ(info->dwFileVersionLS, versionLS);
  EXPECT_EQ(info->dwProductVersionMS, versionMS);
  EXPECT_EQ(info->dwProductVersionLS, versionLS);

  // The version strings are major.minor with a two-digit minor ("2.02" for 2.2).
  const std::wstring recordVersion = std::to_wstring(TAVELIN_EXPECTED_VERSION_MAJOR) +
                                     (TAVELIN_EXPECTED_VERSION_MINOR < 10 ? L".0" : L".") +
                                     std::to_wstring(TAVELIN_EXPECTED_VERSION_MINOR);
  EXPECT_EQ(VersionString(record, L"ProductName"), L"" TAVELIN_EXPECTED_PROGRAM_NAME);
  EXPECT_EQ(VersionString(record, L"InternalName"), L"" TAVELIN_EXPECTED_PROGRAM_NAME);
  EXPECT_EQ(VersionString(record, L"OriginalFilename"), L"" TAVELIN_EXPECTED_PROGRAM_NAME ".exe");
  EXPECT_EQ(VersionString(record, L"FileVersion"), recordVersion);
  EXPECT_EQ(VersionString(record, L"ProductVersion"), recordVersion);
  EXPECT_FALSE(VersionString(record, L"CompanyName").empty());
  EXPECT_FALSE(VersionString(record, L"FileDescription").empty());
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
