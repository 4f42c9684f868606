// What "Tavelin v<major>.<minor>.exe" carries, read from the built program beside this test:
// the version record of the project's version, the icon, the arrow pictures, the manifest, the
// GUI subsystem, and no runtime DLL it would need to be shipped with.
#include <windows.h>

#include <shellapi.h>

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <tuple>
#include <vector>

#include "version_record.h"

namespace {

std::wstring ProgramPath() {
  wchar_t path[MAX_PATH] = {};
  GetModuleFileNameW(nullptr, path, MAX_PATH);
  std::wstring folder(path);
  folder.erase(folder.find_last_of(L"\\/") + 1);
  return folder + L"" TAVELIN_EXPECTED_PROGRAM_NAME ".exe";
}

class ProgramFile : public ::testing::Test {
 protected:
  void SetUp() override {
    module = LoadLibraryExW(ProgramPath().c_str(), nullptr,
                            LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
    ASSERT_NE(module, nullptr) << "the program is not beside the test";
  }
  void TearDown() override {
    if (module != nullptr) FreeLibrary(module);
  }
  std::string Resource(const wchar_t* name, const wchar_t* type) {
    HRSRC found = FindResourceW(module, name, type);
    if (found == nullptr) return {};
    const auto* bytes = static_cast<const char*>(LockResource(LoadResource(module, found)));
    return bytes == nullptr ? std::string() : std::string(bytes, SizeofResource(module, found));
  }
  HMODULE module = nullptr;
};

TEST_F(ProgramFile, CarriesTheVersionRecord) {
  std::vector<std::uint8_t> record = tavelin::testing::VersionRecordOf(ProgramPath());
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

// Each entry of an icon group: width, height and colour depth; every picture it names is there.
std::vector<std::tuple<int, int, int>> IconGroup(HMODULE module, const wchar_t* name) {
  std::vector<std::tuple<int, int, int>> entries;
  HRSRC found = FindResourceW(module, name, MAKEINTRESOURCEW(14) /* RT_GROUP_ICON */);
  if (found == nullptr) return entries;
  const auto* group = static_cast<const std::uint8_t*>(LockResource(LoadResource(module, found)));
  const DWORD size = SizeofResource(module, found);
  if (group == nullptr || size < 6) return entries;
  WORD count = 0;
  std::memcpy(&count, group + 4, sizeof(count));
  for (WORD i = 0; i < count && 6u + (i + 1u) * sizeof(IconGroupEntry) <= size; ++i) {
    IconGroupEntry entry;
    std::memcpy(&entry, group + 6 + i * sizeof(IconGroupEntry), sizeof(entry));
    if (FindResourceW(module, MAKEINTRESOURCEW(entry.id), MAKEINTRESOURCEW(3) /* RT_ICON */)) {
      entries.emplace_back(entry.width, entry.height, entry.bitCount);
    }
  }
  return entries;
}

TEST_F(ProgramFile, CarriesTheIconIn256ColoursAndTrueColourAndTheArrowPictures) {
  EXPECT_EQ(IconGroup(module, L"IDI_ICON1"),
            (std::vector<std::tuple<int, int, int>>{{48, 48, 8}, {48, 48, 32}}));
  for (const wchar_t* arrow : {L"ARROW_UP", L"ARROW_DOWN"}) {
    EXPECT_EQ(IconGroup(module, arrow), (std::vector<std::tuple<int, int, int>>{{24, 24, 32}}));
  }
  // The first icon group is the one the shell shows for the file.
  EXPECT_NE(ExtractIconW(GetModuleHandleW(nullptr), ProgramPath().c_str(), 0), nullptr);
}

TEST_F(ProgramFile, CarriesTheManifest) {
  const std::string manifest = Resource(MAKEINTRESOURCEW(1), MAKEINTRESOURCEW(24));
  ASSERT_FALSE(manifest.empty());
  EXPECT_NE(manifest.find("name=\"Microsoft.Windows.Common-Controls\" version=\"6.0.0.0\""),
            std::string::npos);
  EXPECT_NE(manifest.find("PerMonitorV2"), std::string::npos);
  EXPECT_NE(manifest.find("level=\"asInvoker\""), std::string::npos);
}

TEST(ProgramImage, IsAStaticGuiProgram) {
  std::string image;
  if (FILE* file = _wfopen(ProgramPath().c_str(), L"rb")) {
    char buffer[65536];
    std::size_t got = 0;
    while ((got = std::fread(buffer, 1, sizeof(buffer), file)) > 0) image.append(buffer, got);
    std::fclose(file);
  }
  ASSERT_GT(image.size(), 0x100u);
  std::uint32_t header = 0;
  std::memcpy(&header, image.data() + 0x3C, sizeof(header));
  ASSERT_LT(header + sizeof(IMAGE_NT_HEADERS64), image.size());
  IMAGE_NT_HEADERS64 nt;
  std::memcpy(&nt, image.data() + header, sizeof(nt));
  EXPECT_EQ(nt.Signature, static_cast<DWORD>(IMAGE_NT_SIGNATURE));
  EXPECT_EQ(nt.OptionalHeader.Subsystem, IMAGE_SUBSYSTEM_WINDOWS_GUI);
  // Linked statically: it names none of the compiler's runtime libraries.
  for (const char* runtime : {"libstdc++-6.dll", "libgcc_s_seh-1.dll", "libwinpthread-1.dll"}) {
    EXPECT_EQ(image.find(runtime), std::string::npos) << runtime;
  }
}

}  // namespace
