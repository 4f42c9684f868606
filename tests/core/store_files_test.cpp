// What the program makes beside a store, and what it must never make or open: a file that
// is not a registry file of its own is refused with nothing left beside it, and a lock file
// is only ever a plain file of this user's, never followed through a link.
#include <gtest/gtest.h>

#ifndef _WIN32

#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <optional>
#include <set>
#include <string>

#include "app/system_registry.h"
#include "list/address_list.h"
#include "list/list_commands.h"
#include "list/list_store.h"
#include "list/store_notices.h"
#include "platform/wide_text.h"
#include "store/registry_file.h"
#include "store/typed_address_store.h"
#include "support/child_process.h"
#include "support/files.h"
#include "support/hive_tools.h"
#include "support/stored_list.h"

namespace tavelin {
namespace {

namespace fs = std::filesystem;
using support::ReadBytes;
using support::WriteBytes;

using support::FolderNames;

// An environment variable set for one test, as it was afterwards.
class ScopedVariable {
 public:
  ScopedVariable(const char* name, const std::string& value) : name_(name) {
    if (const char* old = std::getenv(name)) old_ = old;
    ::setenv(name, value.c_str(), 1);
  }
  ~ScopedVariable() {
    if (old_) {
      ::setenv(name_, old_->c_str(), 1);
    } else {
      ::unsetenv(name_);
    }
  }
  ScopedVariable(const ScopedVariable&) = delete;
  ScopedVariable& operator=(const ScopedVariable&) = delete;

 private:
  const char* name_;
  std::optional<std::string> old_;
};

bool Contains(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}

std::string Told(RegistryBackend& registry) {
  std::string told;
  for (const std::string& notice : TakeStoreNotices(registry)) told += notice + "\n";
  return told;
}

class StoreFiles : public testing::Test {
 protected:
  support::TemporaryFolder temporary_{"store-files"};
  const fs::path folder_ = temporary_ / "profile";
  const fs::path state_ = temporary_ / "state";
  void SetUp() override { fs::create_directories(folder_); }
};

// A user points the program at a Windows user's hive that is not one (never written, wiped,
// or something else): it is opened as the program opens any store, by its first bytes.
TEST_F(StoreFiles, AFileThatIsNeitherHiveNorRegistryFileIsRefusedWithNothingBeside) {
  const struct {
    const char* label;
    std::string bytes;
  } cases[] = {
      {"empty", ""},
      {"zeroed first bytes", std::string(8192, '\0')},
      {"a hive cut inside its base block", "regf" + std::string(100, '\0')},
      {"text of another kind", "hello\n"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.label);
    const fs::path hive = folder_ / "NTUSER.DAT";
    WriteBytes(hive, c.bytes);
    const ScopedVariable store("TAVELIN_REGISTRY", hive.string());
    const ScopedVariable backups("XDG_STATE_HOME", state_.string());
    const std::unique_ptr<RegistryBackend> registry = CreateSystemRegistry();
    AddressList list;
    LoadAndCompactAddresses(*registry, list, LoadKind::kStartup);
    const std::string told = Told(*registry);
    EXPECT_TRUE(Contains(told, platform::PathText(hive))) << told;
    EXPECT_FALSE(
        modReg::WriteRegString(*registry, kCurrentUser, kTypedUrlsKey, "url1", "http://x/"));
    EXPECT_NE(Told(*registry), "");
    EXPECT_EQ(ReadBytes(hive), c.bytes);
    EXPECT_EQ(FolderNames(folder_), std::set<std::string>{"NTUSER.DAT"});
    EXPECT_FALSE(fs::exists(state_));
  }
}

TEST_F(StoreFiles, ALockFileIsNeverFollowedOrOpenedThroughALink) {
  const fs::path regFile = folder_ / "HKEY_CURRENT_USER.reg";
  const std::string original =
      "REGEDIT4\r\n\r\n[HKEY_CURRENT_USER\\Software\\K]\r\n\"a\"=\"1\"\r\n";
  WriteBytes(regFile, original);
  const fs::path elsewhere = temporary_ / "elsewhere";
  fs::create_directories(elsewhere);
  const fs::path lock = folder_ / "HKEY_CURRENT_USER.reg.lock";
  // Planted by someone who wants a file of their choice made with the user's rights.
  fs::create_symlink(elsewhere / "made", lock);

  RegFileRegistry registry(regFile);
  EXPECT_FALSE(modReg::WriteRegString(registry, kCurrentUser, "Software\\K", "a", "2"));
  const std::string told = Told(registry);
  EXPECT_TRUE(Contains(told, "symbolic link")) << told;
  EXPECT_TRUE(Contains(told, platform::PathText(lock))) << told;
  EXPECT_FALSE(fs::exists(elsewhere / "made"));
  EXPECT_TRUE(fs::is_symlink(lock));
  EXPECT_EQ(ReadBytes(regFile), original);
}

TEST_F(StoreFiles, AStoreThatLeadsToSomethingOtherThanAFileGetsNothingBesideIt) {
  const fs::path pipe = folder_ / "pipe.reg";
  ASSERT_EQ(::mkfifo(pipe.c_str(), 0600), 0);
  const fs::path store = folder_ / "store.reg";
  fs::create_symlink(pipe, store);

  RegFileRegistry registry(store);
  AddressList list;
  LoadAndCompactAddresses(registry, list, LoadKind::kStartup);  // must not wait for a writer
  EXPECT_TRUE(Contains(Told(registry), "not a regular file"));
  EXPECT_FALSE(modReg::WriteRegString(registry, kCurrentUser, "Software\\K", "a", "2"));
  EXPECT_EQ(FolderNames(folder_), (std::set<std::string>{"pipe.reg", "store.reg"}));
}

// A store reachable under another name too is never replaced: a Delete is told and refused.
TEST_F(StoreFiles, ADeleteOnAStoreWithOtherHardLinksIsRefusedAndBothNamesStay) {
  const ScopedVariable backups("XDG_STATE_HOME", state_.string());
  for (const std::string name : {"HKEY_CURRENT_USER.reg", "NTUSER.DAT"}) {
    const fs::path store = folder_ / name, other = temporary_ / name;
    if (name == "NTUSER.DAT") support::WriteBlankHive(store);
    const ScopedVariable named("TAVELIN_REGISTRY", store.string());
    const std::unique_ptr<RegistryBackend> registry = CreateSystemRegistry();
    support::StoreUrls(*registry, support::Numbered({"A", "B"}));
    fs::create_hard_link(store, other);
    const std::string before = ReadBytes(store);
    AddressList list;
    LoadAndCompactAddresses(*registry, list, LoadKind::kStartup);
    ProgramSettings settings;
    const std::vector<std::string> told =
        DeleteSelectedAddress({*registry, list, settings}).messages();
    ASSERT_EQ(told.size(), 1u) << name;
    EXPECT_TRUE(Contains(told[0], store.string()) && Contains(told[0], "hard links")) << told[0];
    EXPECT_EQ(ReadBytes(store), before);
    EXPECT_EQ(ReadBytes(other), before);
  }
}

TEST_F(StoreFiles, ALockFileOfAnotherUserIsRefused) {
  if (!support::RunningAsRoot()) GTEST_SKIP() << "only root can give the lock to another user";
  const fs::path regFile = folder_ / "HKEY_CURRENT_USER.reg";
  const std::string original = "REGEDIT4\r\n";
  WriteBytes(regFile, original);
  const fs::path lock = folder_ / "HKEY_CURRENT_USER.reg.lock";
  WriteBytes(lock, "");
  ASSERT_EQ(::chown(lock.c_str(), support::UnprivilegedUser(), support::UnprivilegedGroup()), 0);

  RegFileRegistry registry(regFile);
  EXPECT_FALSE(modReg::WriteRegString(registry, kCurrentUser, "Software\\K", "a", "2"));
  EXPECT_TRUE(Contains(Told(registry), "not a plain file of this user's"));
  EXPECT_EQ(ReadBytes(regFile), original);
}

}  // namespace
}  // namespace tavelin

#endif  // _WIN32
