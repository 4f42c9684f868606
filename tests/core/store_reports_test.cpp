// What a backend reports when a transaction does not reach the store, as facts (no sentence
// for the user is made here), and when it takes the backup it was given: once per run, before
// the first change reaches the store, and never a change without it.
#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "store/registry.h"
#include "support/registry_memory.h"

namespace tavelin {
namespace {

using Kind = StoreReport::Kind;

constexpr std::string_view kKey = "Software\\K";

bool Write(RegistryBackend& backend, std::string_view text) {
  return modReg::WriteRegString(backend, kCurrentUser, kKey, "v", text);
}
std::string Read(RegistryBackend& backend) {
  return modReg::ReadRegString(backend, kCurrentUser, kKey, "v");
}

StoreReport Report(Kind kind, LoadKind load, std::string reason, bool writeAttempted) {
  return {kind, load, "memory registry", std::move(reason), writeAttempted, true};
}

const std::string kReadProblem = "The memory registry could not be read.";
const std::string kWriteProblem = "The memory registry refused a write.";

struct ReportCase {
  const char* label;
  std::function<void(MemoryRegistry&)> run;
  std::vector<StoreReport> expected;
};

TEST(StoreReports, EachTransactionThatMissedTheStoreLeavesOneReportOfWhatHappened) {
  const ReportCase cases[] = {
      {"a start-up whose read failed",
       [](MemoryRegistry& r) {
         r.setFailReads(true);
         Transaction transaction(r, LoadKind::kStartup);
         Read(r);
       },
       {Report(Kind::kReadFailed, LoadKind::kStartup, kReadProblem, false)}},
      {"a command that read nothing and so wrote nothing",
       [](MemoryRegistry& r) {
         r.setFailReads(true);
         Transaction transaction(r);
         Write(r, "x");
       },
       {Report(Kind::kReadFailed, LoadKind::kCommand, kReadProblem, true)}},
      {"a reload whose read failed, without a write",
       [](MemoryRegistry& r) {
         r.setFailReads(true);
         Transaction transaction(r, LoadKind::kReload);
         Read(r);
       },
       {Report(Kind::kReadFailed, LoadKind::kReload, kReadProblem, false)}},
      {"a write after a start-up whose read failed",
       [](MemoryRegistry& r) {
         r.setFailReads(true);
         { Transaction transaction(r, LoadKind::kStartup); }
         r.setFailReads(false);
         Write(r, "x");
       },
       {Report(Kind::kReadFailed, LoadKind::kStartup, kReadProblem, false),
        Report(Kind::kWriteRefused, LoadKind::kCommand, "", true)}},
      {"writes that failed, told once for their transaction",
       [](MemoryRegistry& r) {
         r.setFailWrites(true);
         Transaction transaction(r);
         Write(r, "x");
         Write(r, "y");
       },
       {Report(Kind::kWriteFailed, LoadKind::kCommand, kWriteProblem, true)}},
      {"a write on its own, its own transaction",
       [](MemoryRegistry& r) {
         r.setFailWrites(true);
         Write(r, "x");
         Write(r, "y");
       },
       {Report(Kind::kWriteFailed, LoadKind::kCommand, kWriteProblem, true),
        Report(Kind::kWriteFailed, LoadKind::kCommand, kWriteProblem, true)}},
      {"a reload that read the store lets writes through again",
       [](MemoryRegistry& r) {
         r.setFailReads(true);
         { Transaction transaction(r, LoadKind::kStartup); }
         r.setFailReads(false);
         { Transaction transaction(r, LoadKind::kReload); }
         Write(r, "x");
       },
       {Report(Kind::kReadFailed, LoadKind::kStartup, kReadProblem, false)}},
      {"transactions that reached the store",
       [](MemoryRegistry& r) {
         Transaction transaction(r);
         Write(r, "x");
         Read(r);
       },
       {}},
  };
  for (const ReportCase& c : cases) {
    SCOPED_TRACE(c.label);
    MemoryRegistry registry;
    c.run(registry);
    EXPECT_EQ(registry.takeReports(), c.expected);
    EXPECT_TRUE(registry.takeReports().empty());  // each report is taken once
  }
}

// Records what the backend asks of its backup, and what the store held when it asked.
class RecordingBackup : public StoreBackup {
 public:
  struct Log {
    std::vector<std::string> calls;
    std::optional<std::string> failKeep;  // the error `keep` gives, while set
  };
  explicit RecordingBackup(Log& log) : log_(log) {}

  std::optional<std::string> copy(RegistryBackend& backend, std::string& /*error*/) override {
    const std::string held = Read(backend);
    log_.calls.push_back("copy " + held);
    return "copy of " + held;
  }
  std::optional<std::filesystem::path> keep(std::string_view copy, std::string& error) override {
    log_.calls.push_back("keep " + std::string(copy));
    if (log_.failKeep) {
      error = *log_.failKeep;
      return std::nullopt;
    }
    return std::filesystem::path("backup-" + std::to_string(log_.calls.size()));
  }

 private:
  Log& log_;
};

TEST(StoreBackupHook, OneBackupOfWhatWasStoredPrecedesTheRunsFirstChange) {
  MemoryRegistry registry;
  ASSERT_TRUE(Write(registry, "before"));
  RecordingBackup::Log log;
  registry.setBackup(std::make_unique<RecordingBackup>(log));

  // Reads, and a write of what is stored already, change nothing: no backup.
  Read(registry);
  ASSERT_TRUE(Write(registry, "before"));
  EXPECT_TRUE(log.calls.empty());
  EXPECT_FALSE(registry.backupTaken());

  {
    Transaction transaction(registry);
    ASSERT_TRUE(Write(registry, "first"));
    ASSERT_TRUE(Write(registry, "second"));
  }
  ASSERT_TRUE(Write(registry, "third"));
  EXPECT_EQ(log.calls, (std::vector<std::string>{"copy before", "keep copy of before"}));
  EXPECT_EQ(registry.backupTaken(), std::filesystem::path("backup-2"));
  EXPECT_EQ(Read(registry), "third");
  EXPECT_TRUE(registry.takeReports().empty());
}

TEST(StoreBackupHook, ABackupThatCannotBeKeptRefusesTheChangeAndIsReportedAsSuch) {
  MemoryRegistry registry;
  ASSERT_TRUE(Write(registry, "before"));
  RecordingBackup::Log log;
  log.failKeep = "the folder /b cannot be made (Permission denied)";
  registry.setBackup(std::make_unique<RecordingBackup>(log));

  EXPECT_FALSE(Write(registry, "after"));
  EXPECT_EQ(Read(registry), "before");
  EXPECT_FALSE(registry.backupTaken());
  EXPECT_EQ(
      registry.takeReports(),
      (std::vector<StoreReport>{{Kind::kBackupFailed, LoadKind::kCommand, "memory registry",
                                 "the folder /b cannot be made (Permission denied)", true, true}}));

  // Until one is kept, every change asks for it again.
  log.failKeep.reset();
  log.calls.clear();
  EXPECT_TRUE(Write(registry, "after"));
  EXPECT_EQ(log.calls, (std::vector<std::string>{"copy before", "keep copy of before"}));
  EXPECT_TRUE(registry.backupTaken());
  EXPECT_EQ(Read(registry), "after");
}

}  // namespace
}  // namespace tavelin
