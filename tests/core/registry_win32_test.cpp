// The Windows registry backend against the real registry API (under Wine in the cross build),
// for what only this backend does: where its keys land, how they are created, that no key
// handle outlives a call, and how failures reach the program. Its behaviour as a store is
// covered with every other backend in backend_suite_test.cpp.
#ifdef _WIN32

#include <windows.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "app/system_registry.h"
#include "list/store_notices.h"
#include "platform/wide_text.h"
#include "store/backup.h"
#include "store/registry_win32.h"
#include "store/settings_store.h"
#include "store/typed_address_store.h"
#include "support/files.h"

namespace tavelin {
namespace {

using platform::ToWide;

constexpr RootKey kNotARoot() {
  return 0x80000099u;
}

class Win32RegistryTest : public ::testing::Test {
 protected:
  Win32RegistryTest()
      : sandbox_("Software\\TavelinTests\\win32-" + std::to_string(GetCurrentProcessId()) + "-" +
                 std::to_string(GetTickCount64())),
        registry_(sandbox_) {}
  ~Win32RegistryTest() override {
    RegDeleteTreeW(HKEY_CURRENT_USER, ToWide(sandbox_).c_str());
    RegDeleteKeyW(HKEY_CURRENT_USER, L"Software\\TavelinTests");
  }

  // Reads a string straight from HKEY_CURRENT_USER, past the backend.
  std::wstring RawString(const std::string& path, const wchar_t* name) {
    wchar_t buffer[256] = {};
    DWORD size = sizeof(buffer) - sizeof(wchar_t);
    if (RegGetValueW(HKEY_CURRENT_USER, ToWide(path).c_str(), name, RRF_RT_REG_SZ, nullptr, buffer,
                     &size) != ERROR_SUCCESS) {
      return L"<missing>";
    }
    return buffer;
  }

  std::string sandbox_;
  Win32Registry registry_;
};

TEST_F(Win32RegistryTest, WritesLandUnderTheCurrentUserBelowThePrefix) {
  ASSERT_TRUE(modReg::WriteRegString(registry_, kCurrentUser, kTypedUrlsKey, "url1",
                                     "http://\xC3\xA9t\xC3\xA9/"));
  EXPECT_EQ(RawString(sandbox_ + "\\" + std::string(kTypedUrlsKey), L"url1"),
            L"http://\u00e9t\u00e9/");
  EXPECT_EQ(registry_.fullKeyPath(kTypedUrlsKey), sandbox_ + "\\" + std::string(kTypedUrlsKey));

  // And reads find what another writer put there.
  HKEY key = nullptr;
  ASSERT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, ToWide(sandbox_ + "\\Other").c_str(), 0, nullptr, 0,
                            KEY_SET_VALUE, nullptr, &key, nullptr),
            ERROR_SUCCESS);
  const wchar_t data[] = L"written elsewhere";
  RegSetValueExW(key, L"v", 0, REG_SZ, reinterpret_cast<const BYTE*>(data), sizeof(data));
  RegCloseKey(key);
  EXPECT_EQ(modReg::ReadRegString(registry_, kCurrentUser, "Other", "v"), "written elsewhere");
}

TEST_F(Win32RegistryTest, CreatedKeysCarryTheClassOne) {
  ASSERT_TRUE(modReg::WriteRegString(registry_, kCurrentUser, "Software\\Tavelin", "v", "x"));
  HKEY key = nullptr;
  ASSERT_EQ(RegOpenKeyExW(HKEY_CURRENT_USER, ToWide(sandbox_ + "\\Software\\Tavelin").c_str(), 0,
                          KEY_READ, &key),
            ERROR_SUCCESS);
  wchar_t keyClass[16] = {};
  DWORD classLength = 16;
  const LSTATUS rc = RegQueryInfoKeyW(key, keyClass, &classLength, nullptr, nullptr, nullptr,
                                      nullptr, nullptr, nullptr, nullptr, nullptr, nullptr);
  RegCloseKey(key);
  ASSERT_EQ(rc, ERROR_SUCCESS);
  EXPECT_EQ(std::wstring(keyClass, classLength), L"1");
}

// The handle table hands out the lowest free slot (Wine's process handle count is always 0,
// so the slot is what is compared): a key handle left open would take the slot a new handle
// got before.
HANDLE NextFreeHandle() {
  HANDLE probe = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  CloseHandle(probe);
  return probe;
}

TEST_F(Win32RegistryTest, NoKeyHandleOutlivesACall) {
  HANDLE before = nullptr;
  // The first round lets the system open what it keeps for the whole process (its own handle
  // of HKEY_CURRENT_USER); the rounds after it must leave nothing behind.
  for (int i = 0; i < 4; ++i) {
    if (i == 1) before = NextFreeHandle();
    modReg::WriteRegString(registry_, kCurrentUser, "K", "v", "x");
    modReg::ReadRegString(registry_, kCurrentUser, "K", "v");
    modReg::ReadRegString(registry_, kCurrentUser, "K", "missing");
    modReg::ReadRegString(registry_, kCurrentUser, "Missing", "v");
    DelSetting(registry_, kCurrentUser, "K", "v");
    DelSetting(registry_, kCurrentUser, "K", "missing");
    registry_.keyExists(kCurrentUser, "K");
    registry_.keyExists(kCurrentUser, "Missing");
  }
  EXPECT_EQ(NextFreeHandle(), before);
}

TEST_F(Win32RegistryTest, AFailedWriteIsToldEachTimeWithTheSystemsReason) {
  // A key that vanishes with the session cannot hold a lasting sub-key: the registry refuses
  // the program's non-volatile create. (The sandbox itself is made lasting first; a volatile
  // create would otherwise make its missing parents volatile too.)
  ASSERT_TRUE(modReg::WriteRegString(registry_, kCurrentUser, "Lasting", "v", "first"));
  HKEY key = nullptr;
  ASSERT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, ToWide(sandbox_ + "\\Volatile").c_str(), 0, nullptr,
                            REG_OPTION_VOLATILE, KEY_ALL_ACCESS, nullptr, &key, nullptr),
            ERROR_SUCCESS);
  RegCloseKey(key);

  EXPECT_FALSE(modReg::WriteRegString(registry_, kCurrentUser, "Volatile\\Child", "url1", "a"));
  EXPECT_FALSE(modReg::WriteRegString(registry_, kCurrentUser, "Volatile\\Child", "url2", "b"));
  std::vector<std::string> notices = TakeStoreNotices(registry_);
  ASSERT_EQ(notices.size(), 2u);  // each call is a command of its own here
  EXPECT_NE(notices[1].find("url2"), std::string::npos) << notices[1];
  EXPECT_NE(notices[0].find("url1"), std::string::npos) << notices[0];
  // One call at a time: an earlier call of the same command may have landed.
  EXPECT_NE(notices[0].find("Not everything was saved"), std::string::npos) << notices[0];
  EXPECT_NE(notices[0].find("Volatile\\Child"), std::string::npos) << notices[0];
  EXPECT_NE(notices[0].find("(error " + std::to_string(ERROR_CHILD_MUST_BE_VOLATILE) + ")"),
            std::string::npos)
      << notices[0];

  EXPECT_TRUE(modReg::WriteRegString(registry_, kCurrentUser, "Lasting", "v", "a"));
  EXPECT_FALSE(modReg::WriteRegString(registry_, kCurrentUser, "Volatile\\Child", "url3", "c"));
  notices = TakeStoreNotices(registry_);
  ASSERT_EQ(notices.size(), 1u);
  EXPECT_NE(notices[0].find("url3"), std::string::npos) << notices[0];
}

TEST_F(Win32RegistryTest, AFailedReadStopsItsOwnCommandAndAFailedStartUpEveryWrite) {
  // On its own, a failed read is told and stops nothing after it.
  EXPECT_FALSE(registry_.queryValue(kNotARoot(), "K", "v"));
  ASSERT_EQ(TakeStoreNotices(registry_).size(), 1u);
  EXPECT_FALSE(registry_.writesBlocked());
  {
    Transaction command(registry_);
    EXPECT_FALSE(registry_.queryValue(kNotARoot(), "K", "v"));
    EXPECT_FALSE(modReg::WriteRegString(registry_, kCurrentUser, "K", "v", "x"));
  }
  EXPECT_FALSE(registry_.keyExists(kCurrentUser, "K"));
  std::vector<std::string> notices = TakeStoreNotices(registry_);
  ASSERT_EQ(notices.size(), 1u);
  EXPECT_NE(notices[0].find("Nothing was saved"), std::string::npos) << notices[0];

  {
    Transaction startUp(registry_, LoadKind::kStartup);
    EXPECT_FALSE(registry_.queryValue(kNotARoot(), "K", "v"));
  }
  EXPECT_TRUE(registry_.writesBlocked());
  EXPECT_FALSE(modReg::WriteRegString(registry_, kCurrentUser, "K", "v", "x"));
  EXPECT_FALSE(registry_.keyExists(kCurrentUser, "K"));
  { Transaction ordinary(registry_); }
  EXPECT_TRUE(registry_.writesBlocked());
  { Transaction reload(registry_, LoadKind::kReload); }
  EXPECT_FALSE(registry_.writesBlocked());
  EXPECT_EQ(TakeStoreNotices(registry_).size(), 2u);  // the start-up, the refused write
  EXPECT_TRUE(modReg::WriteRegString(registry_, kCurrentUser, "K", "v", "x"));
  EXPECT_EQ(modReg::ReadRegString(registry_, kCurrentUser, "K", "v"), "x");
  EXPECT_TRUE(TakeStoreNotices(registry_).empty());
}

TEST_F(Win32RegistryTest, AMissingKeyOrValueIsNoReadFailure) {
  EXPECT_FALSE(registry_.queryValue(kCurrentUser, "No\\Such\\Key", "v"));
  ASSERT_TRUE(modReg::WriteRegString(registry_, kCurrentUser, "K", "v", "x"));
  EXPECT_FALSE(registry_.queryValue(kCurrentUser, "K", "missing"));
  EXPECT_FALSE(registry_.writesBlocked());
  EXPECT_TRUE(TakeStoreNotices(registry_).empty());
}

// Back up, change and add values, then `reg import` the backup: the keys are exactly as they
// were, without the values added since.
TEST_F(Win32RegistryTest, RegImportOfABackupRestoresTheKeysExactly) {
  ASSERT_TRUE(modReg::WriteRegString(registry_, kCurrentUser, kTypedUrlsKey, "url1", "A"));
  ASSERT_TRUE(modReg::WriteRegString(registry_, kCurrentUser, kTypedUrlsKey, "url2", "B \"q\""));
  const support::TemporaryFolder temporary("backup");
  const std::filesystem::path folder = temporary / "backups";
  registry_.setBackup(ProgramBackup(folder));
  ASSERT_TRUE(modReg::WriteRegString(registry_, kCurrentUser, kTypedUrlsKey, "url1", "changed"));
  ASSERT_TRUE(modReg::WriteRegString(registry_, kCurrentUser, kTypedUrlsKey, "url9", "added"));
  ASSERT_TRUE(modReg::WriteRegString(registry_, kCurrentUser, kSettingsKey, "SaveOptions", "Two"));
  ASSERT_TRUE(registry_.backupTaken());
  EXPECT_EQ(BackupFolder(folder).list().size(), 1u);  // one per run, however many writes

  std::wstring command = L"reg.exe import \"" + registry_.backupTaken()->wstring() + L"\"";
  STARTUPINFOW startup{};
  startup.cb = sizeof(startup);
  PROCESS_INFORMATION process{};
  ASSERT_TRUE(CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                             &startup, &process));
  ASSERT_EQ(WaitForSingleObject(process.hProcess, 60000), WAIT_OBJECT_0);
  DWORD code = 1;
  GetExitCodeProcess(process.hProcess, &code);
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
  EXPECT_EQ(code, 0u);

  const std::string typed = sandbox_ + "\\" + std::string(kTypedUrlsKey);
  EXPECT_EQ(RawString(typed, L"url1"), L"A");
  EXPECT_EQ(RawString(typed, L"url2"), L"B \"q\"");
  EXPECT_EQ(RawString(typed, L"url9"), L"<missing>");
  EXPECT_FALSE(registry_.keyExists(kCurrentUser, kSettingsKey));
}

}  // namespace
}  // namespace tavelin

#endif  // _WIN32
