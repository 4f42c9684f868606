// The checks of a version record against the project's version (passed by the build as
// TAVELIN_EXPECTED_*), shared by the check of the resources as linked and the check of the
// built program.
#pragma once

#include <windows.h>

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

namespace tavelin::testing {

inline std::wstring VersionString(std::vector<std::uint8_t>& record, const wchar_t* field) {
  const std::wstring query = std::wstring(L"\\StringFileInfo\\040904B0\\") + field;
  void* text = nullptr;
  UINT length = 0;
  if (!VerQueryValueW(record.data(), query.c_str(), &text, &length) || text == nullptr) return {};
  std::wstring value(static_cast<const wchar_t*>(text), length);
  while (!value.empty() && value.back() == L'\0') value.pop_back();
  return value;
}

// The version record of the file at `path`, or nothing.
inline std::vector<std::uint8_t> VersionRecordOf(const std::wstring& path) {
  DWORD ignored = 0;
  const DWORD size = GetFileVersionInfoSizeW(path.c_str(), &ignored);
  if (size == 0) return {};
  std::vector<std::uint8_t> record(size);
  if (!GetFileVersionInfoW(path.c_str(), 0, size, record.data())) return {};
  return record;
}

// The numbers and the texts of the record are the project's version and the program's name.
inline void ExpectTheProjectsVersion(std::vector<std::uint8_t>& record) {
  ASSERT_FALSE(record.empty());
  void* fixed = nullptr;
  UINT size = 0;
  ASSERT_TRUE(VerQueryValueW(record.data(), L"\\", &fixed, &size));
  ASSERT_GE(size, sizeof(VS_FIXEDFILEINFO));
  const auto* info = static_cast<const VS_FIXEDFILEINFO*>(fixed);
  EXPECT_EQ(info->dwSignature, 0xFEEF04BDu);
  EXPECT_EQ(info->dwFileType, static_cast<DWORD>(VFT_APP));
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

}  // namespace tavelin::testing
