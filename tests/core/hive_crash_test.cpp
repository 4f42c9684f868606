// The .reg file and a Windows hive against other processes: a writer killed at any moment
// leaves the old list or the new one whole, and two processes writing at once lose nothing.
// The hive also as Windows left it dirty, its list only in its log: each writer is killed
// while it works on the hive as the log brings it up to date. The other process is
// hive_crash_child; POSIX only, since the writer is killed with SIGKILL.
#ifndef _WIN32

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "hive_crash_lists.h"
#include "list/address_list.h"
#include "list/list_store.h"
#include "list/store_notices.h"
#include "platform/atomic_replace.h"
#include "store/hive_recovery.h"
#include "store/registry_file.h"
#include "store/typed_address_store.h"
#include "support/blank_hive.h"
#include "support/dirty_hive.h"
#include "support/files.h"
#include "support/hive_tools.h"

namespace tavelin {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

void CloseOnExec(int fd) {
  ::fcntl(fd, F_SETFD, FD_CLOEXEC);
}

// hive_crash_child running with pipes to its standard input and output. Killed and reaped
// when it goes out of scope, so a failed assertion leaves no process behind.
class Child {
 public:
  explicit Child(std::vector<std::string> args) {
    args.insert(args.begin(), TAVELIN_HIVE_CRASH_CHILD);
    std::vector<char*> argv;
    for (std::string& arg : args) argv.push_back(arg.data());
    argv.push_back(nullptr);
    int in[2];
    int out[2];
    if (::pipe(in) != 0 || ::pipe(out) != 0) return;
    for (int fd : {in[0], in[1], out[0], out[1]}) CloseOnExec(fd);
    pid_ = ::fork();
    if (pid_ == 0) {
      ::dup2(in[0], STDIN_FILENO);
      ::dup2(out[1], STDOUT_FILENO);
      ::execv(argv[0], argv.data());
      ::_exit(127);
    }
    ::close(in[0]);
    ::close(out[1]);
    input_ = in[1];
    output_ = out[0];
  }
  ~Child() {
    if (pid_ > 0 && !reaped_) {
      ::kill(pid_, SIGKILL);
      ::waitpid(pid_, nullptr, 0);
    }
    closeInput();
    if (output_ >= 0) ::close(output_);
  }
  Child(const Child&) = delete;
  Child& operator=(const Child&) = delete;

  bool started() const { return pid_ > 0; }

  // Whether the child wrote `count` more bytes within `timeout`.
  bool waitForBytes(int count, std::chrono::milliseconds timeout) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (count > 0) {
      const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
          deadline - std::chrono::steady_clock::now());
      pollfd p{output_, POLLIN, 0};
      char bytes[64];
      if (left.count() < 0 || ::poll(&p, 1, static_cast<int>(left.count())) != 1) return false;
      const ssize_t n = ::read(output_, bytes, std::min<std::size_t>(sizeof bytes, count));
      if (n <= 0) return false;
      count -= static_cast<int>(n);
    }
    return true;
  }

  void closeInput() {
    if (input_ >= 0) ::close(input_);
    input_ = -1;
  }

  void kill() { ::kill(pid_, SIGKILL); }

  // The wait status, or nothing when the child is still running after `timeout`.
  std::optional<int> wait(std::chrono::milliseconds timeout) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    for (;;) {
      int status = 0;
      const pid_t done = ::waitpid(pid_, &status, WNOHANG);
      if (done == pid_) {
        reaped_ = true;
        return status;
      }
      if (done < 0 || std::chrono::steady_clock::now() >= deadline) return std::nullopt;
      std::this_thread::sleep_for(1ms);
    }
  }

 private:
  pid_t pid_ = -1;
  bool reaped_ = false;
  int input_ = -1;
  int output_ = -1;
};

bool KilledBySigkill(const std::optional<int>& status) {
  return status && WIFSIGNALED(*status) && WTERMSIG(*status) == SIGKILL;
}

bool ExitedCleanly(const std::optional<int>& status) {
  return status && WIFEXITED(*status) && WEXITSTATUS(*status) == 0;
}

std::string Describe(const std::vector<std::string>& items) {
  std::size_t filled = 0;
  for (const std::string& item : items) filled += item.empty() ? 0 : 1;
  std::string text = std::to_string(filled) + " of " + std::to_string(items.size()) + " filled";
  if (!items.empty()) text += ", first \"" + items.front() + "\"";
  if (filled > 0) text += ", last filled \"" + items[filled - 1] + "\"";
  return text;
}

enum class StoreKind { kRegFile, kWindowsHive, kDirtyWindowsHive };

class HiveAgainstOtherProcesses : public testing::TestWithParam<StoreKind> {
 protected:
  void SetUp() override {
    if (GetParam() == StoreKind::kRegFile) return;
    support::WriteBlankHive(hive_);
    if (GetParam() == StoreKind::kDirtyWindowsHive) {
      // A blank hive whose log holds list A: made by saving A into a copy, whose changed
      // pages become the log's one entry.
      const std::string blank = support::ReadBytes(hive_);
      support::TemporaryFolder scratch("hive-crash-scratch");
      support::WriteBytes(scratch / "NTUSER.DAT", blank);
      {
        const auto store = hivecrash::OpenStore(scratch / "NTUSER.DAT");
        AddressList a;
        for (const std::string& text : hivecrash::ListA()) a.append(text);
        SaveAddresses(*store, a);
        ASSERT_TRUE(TakeStoreNotices(*store).empty());
      }
      dirty_ = support::MakeDirtyHive(blank, support::ReadBytes(scratch / "NTUSER.DAT"),
                                      support::LogFormat::kNew);
      support::WriteBytes(hive_, dirty_.primary);
      support::WriteBytes(folder_ / "NTUSER.DAT.LOG1", dirty_.log1);
    }
  }
  bool windowsHive() const { return GetParam() != StoreKind::kRegFile; }
  bool dirty() const { return GetParam() == StoreKind::kDirtyWindowsHive; }
  std::unique_ptr<RegistryBackend> open() const { return hivecrash::OpenStore(hive_); }

  std::size_t temporaries() const {
    std::size_t count = 0;
    for (const auto& entry : fs::directory_iterator(folder_)) {
      count += platform::IsOwnTemporaryName(hive_, entry.path().filename()) ? 1 : 0;
    }
    return count;
  }

  // The system's temporary folder, normally on a disk: there the flushes keep a writer's
  // temporary on disk for much of each save, so many kills leave one behind for the next
  // writer to clean up, and a file rewritten in place would be caught cut short.
  support::TemporaryFolder temporary_{"hive-crash"};
  const fs::path& folder_ = temporary_.path();
  const fs::path hive_ = folder_ / (windowsHive() ? "NTUSER.DAT" : "HKEY_CURRENT_USER.reg");
  support::DirtyHive dirty_;
};

TEST_P(HiveAgainstOtherProcesses, AWriterKilledAtAnyMomentLeavesOneWholeList) {
  const std::vector<std::string> listA = hivecrash::ListA();
  const std::vector<std::string> listB = hivecrash::ListB();
  AddressList a;
  for (const std::string& text : listA) a.append(text);
  // How long one save takes here (a sanitizer build or a busy disk makes it much longer), so
  // that the kills fall across the first few saves of each writer: before its first save
  // (the file holds A), after one (B), after two (A again), or in the middle of one.
  std::chrono::microseconds save{};
  {
    Child writer({"save-loop", hive_.string()});
    ASSERT_TRUE(writer.started());
    ASSERT_TRUE(writer.waitForBytes(2, 60s)) << "the writer did not start";
    const auto start = std::chrono::steady_clock::now();
    ASSERT_TRUE(writer.waitForBytes(4, 60s)) << "the writer does not save";
    save = std::chrono::duration_cast<std::chrono::microseconds>(std::chrono::steady_clock::now() -
                                                                 start) /
           4;
  }
  // The file holds a whole list before the first kill (the dirty hive, once recovered).
  if (dirty()) {
    support::WriteBytes(hive_, dirty_.primary);
    support::WriteBytes(folder_ / "NTUSER.DAT.LOG1", dirty_.log1);
  } else {
    const auto seed = open();
    SaveAddresses(*seed, a);
    ASSERT_TRUE(TakeStoreNotices(*seed).empty());
  }
  // Read back, B shows its missing url151..url200 as empty texts.
  std::vector<std::string> readB = listB;
  readB.resize(kStoredAddressWindow);

  std::mt19937 random(20240611);
  std::uniform_int_distribution<std::int64_t> delay(0, 3 * save.count());
  int heldA = 0;
  int heldB = 0;
  int stayedDirty = 0;
  for (int round = 1; round <= 200; ++round) {
    SCOPED_TRACE("round " + std::to_string(round));
    // Every writer of the dirty kind starts on the hive and its log as Windows left them.
    if (dirty()) {
      support::WriteBytes(hive_, dirty_.primary);
      support::WriteBytes(folder_ / "NTUSER.DAT.LOG1", dirty_.log1);
    }
    Child writer({"save-loop", hive_.string()});
    ASSERT_TRUE(writer.started());
    ASSERT_TRUE(writer.waitForBytes(1, 60s)) << "the writer did not start";
    std::this_thread::sleep_for(std::chrono::microseconds(delay(random)));
    writer.kill();
    ASSERT_TRUE(KilledBySigkill(writer.wait(20s))) << "the writer ended some other way";

    const auto reader = open();
    AddressList loaded;
    LoadAddresses(*reader, loaded);
    const std::vector<std::string> notices = TakeStoreNotices(*reader);
    ASSERT_TRUE(notices.empty()) << notices.front();
    ASSERT_FALSE(reader->writesBlocked());
    if (loaded.items() == listA) {
      ++heldA;
    } else if (loaded.items() == readB) {
      ++heldB;
    } else {
      FAIL() << "the file holds neither list whole: " << Describe(loaded.items());
    }
    if (dirty()) {
      // Either the dirty hive as it was with its log as it was, still recovering to A, or a
      // clean one, whose log was emptied or not yet.
      const std::string now = support::ReadBytes(hive_);
      const std::string log = support::ReadBytes(folder_ / "NTUSER.DAT.LOG1");
      if (now == dirty_.primary) {
        ++stayedDirty;
        ASSERT_EQ(loaded.items(), listA);
        ASSERT_EQ(log, dirty_.log1);
      } else {
        ASSERT_FALSE(IsHiveDirty(now));
        ASSERT_TRUE(log.empty() || log == dirty_.log1);
      }
    }
    // A killed writer leaves at most its one temporary; the next writer removes it.
    ASSERT_LE(temporaries(), 2u);
  }
  // Kills landed both before and after the writer's saves.
  EXPECT_GT(heldA, 0);
  EXPECT_GT(heldB, 0);
  if (dirty()) {
    EXPECT_GT(stayedDirty, 0);
  }

  const auto last = open();
  ASSERT_TRUE(
      modReg::WriteRegString(*last, kCurrentUser, "Software\\Tavelin", "SaveOptions", "One"));
  EXPECT_EQ(temporaries(), 0u);
  AddressList loaded;
  LoadAddresses(*last, loaded);
  EXPECT_TRUE(loaded.items() == listA || loaded.items() == readB) << Describe(loaded.items());
  EXPECT_TRUE(TakeStoreNotices(*last).empty());
  // A Windows user's profile folder is left with nothing but the hive (and its log).
  if (windowsHive()) {
    EXPECT_EQ(support::CountEntries(folder_), dirty() ? 2u : 1u);
    EXPECT_TRUE(!support::HiveToolsPresent() || support::OpensInHivexsh(hive_));
  }
}

TEST_P(HiveAgainstOtherProcesses, TwoProcessesWritingAtOnceLoseNothing) {
  const std::string key = "Software\\Tavelin\\Concurrent";
  const int each = 200;
  // Both wait for their standard input to close, so that they start together.
  Child first({"write-values", hive_.string(), key, "p1", std::to_string(each)});
  Child second({"write-values", hive_.string(), key, "p2", std::to_string(each)});
  ASSERT_TRUE(first.started() && second.started());
  first.closeInput();
  second.closeInput();
  EXPECT_TRUE(ExitedCleanly(first.wait(120s)));
  EXPECT_TRUE(ExitedCleanly(second.wait(120s)));

  const auto store = open();
  RegistryBackend& reader = *store;
  Transaction transaction(reader);  // one read of the file for all the checks
  std::vector<std::string> missing;
  for (const char* prefix : {"p1", "p2"}) {
    for (int i = 1; i <= each; ++i) {
      const std::string name = std::string(prefix) + "_" + std::to_string(i);
      if (modReg::ReadRegString(reader, kCurrentUser, key, name) != name) missing.push_back(name);
    }
  }
  EXPECT_TRUE(missing.empty()) << missing.size() << " values lost, the first " << missing.front();
  EXPECT_TRUE(TakeStoreNotices(reader).empty());
}

// Two copies of the program, both showing a, b, c, d, each delete a different address at once
// and answer No when asked: each deletion either reached the store or was asked about, and
// none is undone without a word.
TEST_P(HiveAgainstOtherProcesses, TwoCopiesDeletingAtOnceUndoNoDeletionSilently) {
  const std::vector<std::string> texts{"a", "b", "c", "d"};
  for (int round = 1; round <= 3; ++round) {
    SCOPED_TRACE("round " + std::to_string(round));
    {
      const auto store = open();
      AddressList list;
      for (const std::string& text : texts) list.append(text);
      Transaction transaction(*store);
      SaveAddresses(*store, list);
    }
    Child first({"delete-address", hive_.string(), "a"});
    Child second({"delete-address", hive_.string(), "b"});
    ASSERT_TRUE(first.started() && second.started());
    // Both have read the list before either deletes.
    ASSERT_TRUE(first.waitForBytes(1, 60s));
    ASSERT_TRUE(second.waitForBytes(1, 60s));
    first.closeInput();
    second.closeInput();
    const std::optional<int> statuses[] = {first.wait(120s), second.wait(120s)};

    AddressList stored;
    {
      const auto store = open();
      LoadAndCompactAddresses(*store, stored);
    }
    const auto holds = [&](const std::string& text) {
      return std::find(stored.items().begin(), stored.items().end(), text) != stored.items().end();
    };
    int reached = 0;
    for (int i = 0; i < 2; ++i) {
      const std::string deleted = texts[static_cast<std::size_t>(i)];
      ASSERT_TRUE(statuses[i] && WIFEXITED(*statuses[i])) << deleted;
      const int code = WEXITSTATUS(*statuses[i]);
      ASSERT_TRUE(code == 0 || code == 4) << deleted << " ended with " << code;
      if (code == 0) {
        ++reached;
        EXPECT_FALSE(holds(deleted))
            << deleted << " was deleted and is back: " << Describe(stored.items());
      }
    }
    // The first to write finds the list it read.
    EXPECT_GE(reached, 1);
    EXPECT_TRUE(holds("c") && holds("d")) << Describe(stored.items());
  }
}

INSTANTIATE_TEST_SUITE_P(EachFile, HiveAgainstOtherProcesses,
                         testing::Values(StoreKind::kRegFile, StoreKind::kWindowsHive,
                                         StoreKind::kDirtyWindowsHive),
                         [](const testing::TestParamInfo<StoreKind>& info) {
                           switch (info.param) {
                             case StoreKind::kRegFile:
                               return "RegFile";
                             case StoreKind::kWindowsHive:
                               return "WindowsHive";
                             case StoreKind::kDirtyWindowsHive:
                               return "DirtyWindowsHive";
                           }
                           return "";
                         });

}  // namespace
}  // namespace tavelin

#endif  // _WIN32
