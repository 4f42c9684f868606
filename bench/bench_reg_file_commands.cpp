// The registry file under the store commands, with 200 addresses and the settings key:
//
//  (a) how many times each command replaces the file (renames into place, counted with
//      inotify), against the goal of one write per command that changes the store and none
//      for one that does not;
//  (b) for comparison, the start-up sequence (load, drop blanks, save) on a store it must
//      change, against one bare atomic replace of a file of the same size (medians of
//      interleaved runs), and (c) a command that changes one value, against the same replace;
//  (d) a writing command as the user gives it on the list the window holds, through the
//      registry the window keeps from its start-up: move down, saved at once with the check
//      that no other program changed the store meanwhile, against a bare replace of the
//      bytes it writes, taken before the command and after it in turn. Goal: at most 1.5
//      times.
//
// Usage: bench_reg_file_commands [folder [runs]]. It works in a new subfolder of `folder` (the
// current one by default), which should be on a disk, not a memory file system, or the
// flushes cost nothing.
#include <sys/inotify.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "bench/bench_support.h"
#include "list/address_list.h"
#include "list/list_commands.h"
#include "list/list_store.h"
#include "store/registry_file.h"
#include "store/settings_store.h"
#include "store/typed_address_store.h"

namespace {

namespace fs = std::filesystem;
using namespace tavelin;
using bench::BareReplace;
using bench::Clock;
using bench::Median;
using bench::MillisecondsSince;
using bench::ReadFile;

using bench::Addresses;

// Watches the registry file's folder and counts what happens to the registry file itself.
class RegFileWatch {
 public:
  explicit RegFileWatch(const fs::path& regFile) : name_(regFile.filename().string()) {
    fd_ = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    if (fd_ < 0 ||
        ::inotify_add_watch(fd_, regFile.parent_path().c_str(), IN_MOVED_TO | IN_CLOSE_WRITE) < 0) {
      std::perror("inotify");
      std::exit(1);
    }
  }
  ~RegFileWatch() { ::close(fd_); }

  struct Counts {
    int replaced = 0;        // a file renamed onto the registry file's name
    int writtenInPlace = 0;  // the registry file itself opened for writing and closed
  };

  // What happened since the last call. The kernel queues the events as the calls happen, so
  // everything a finished command did is there to read.
  Counts take() {
    Counts counts;
    alignas(inotify_event) char buffer[16384];
    for (;;) {
      const ssize_t n = ::read(fd_, buffer, sizeof buffer);
      if (n <= 0) break;
      for (ssize_t at = 0; at < n;) {
        const auto* event = reinterpret_cast<const inotify_event*>(buffer + at);
        if (event->len > 0 && name_ == event->name) {
          if (event->mask & IN_MOVED_TO) ++counts.replaced;
          if (event->mask & IN_CLOSE_WRITE) ++counts.writtenInPlace;
        }
        at += static_cast<ssize_t>(sizeof(inotify_event) + event->len);
      }
    }
    return counts;
  }

 private:
  std::string name_;
  int fd_ = -1;
};

ino_t Inode(const fs::path& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0 ? st.st_ino : 0;
}

struct Fixture {
  fs::path regFile;
  std::string compactBytes;     // 200 addresses and the settings
  std::string needsCompaction;  // the same with url100 blank
};

}  // namespace

int main(int argc, char** argv) {
  // A folder of its own inside the one given, so that only what this program made is removed.
  const fs::path folder =
      (argc > 1 ? fs::path(argv[1]) : fs::current_path()) / "tavelin-bench-reg-file-commands";
  const int runs = argc > 2 ? std::atoi(argv[2]) : 31;
  fs::remove_all(folder);
  fs::create_directories(folder);

  Fixture f;
  f.regFile = folder / "HKEY_CURRENT_USER.reg";
  const fs::path bare = folder / "bare.reg";
  {
    RegFileRegistry registry(f.regFile);
    AddressList list;
    for (std::string& text : Addresses()) list.append(std::move(text));
    Transaction transaction(registry);
    SaveAddresses(registry, list);
    modReg::WriteRegString(registry, kCurrentUser, kSettingsKey, kSaveModeValue, "One");
    modReg::WriteRegString(registry, kCurrentUser, kSettingsKey, kWindowModeValue, "Max");
  }
  f.compactBytes = ReadFile(f.regFile);
  {
    RegFileRegistry registry(f.regFile);
    modReg::WriteRegString(registry, kCurrentUser, kTypedUrlsKey, "url100", " ");
  }
  f.needsCompaction = ReadFile(f.regFile);

  // (a) Writes per command.
  std::printf("registry file: %zu bytes, 200 addresses and the settings key\n\n",
              f.compactBytes.size());
  std::printf("%-48s %7s %9s\n", "command", "writes", "expected");
  RegFileWatch watch(f.regFile);
  bool allAsExpected = true;
  // Counts what `command` does to the file, on the given file, after the program's start-up
  // (when `afterStartUp`) with the list and settings it then holds.
  const auto count = [&](const char* label, int expected, const std::string& file,
                         bool afterStartUp, const std::function<void(ListContext)>& command) {
    BareReplace(f.regFile, file, true);
    RegFileRegistry registry(f.regFile);
    AddressList list;
    ProgramSettings settings;
    if (afterStartUp) {
      LoadSettings(registry, settings);
      LoadAndCompactAddresses(registry, list);
    }
    watch.take();
    const ino_t before = Inode(f.regFile);
    command(ListContext{registry, list, settings});
    const RegFileWatch::Counts counts = watch.take();
    const bool inodeChanged = Inode(f.regFile) != before;
    const bool ok = counts.replaced == expected && counts.writtenInPlace == 0 &&
                    inodeChanged == (counts.replaced > 0) && registry.takeReports().empty();
    allAsExpected = allAsExpected && ok;
    std::printf("%-48s %7d %9d%s\n", label, counts.replaced, expected,
                ok ? "" : "   <-- not as expected");
    if (counts.writtenInPlace > 0) {
      std::printf("  (the file itself was written %d times)\n", counts.writtenInPlace);
    }
  };
  const std::string& compact = f.compactBytes;

  count("start-up, store already compact", 0, compact, false,
        [](ListContext c) { LoadAndCompactAddresses(c.backend, c.list); });
  count("start-up, store with a blank address", 1, f.needsCompaction, false,
        [](ListContext c) { LoadAndCompactAddresses(c.backend, c.list); });
  count("move down (automatic)", 1, compact, true, [](ListContext c) {
    c.list.select(100);
    MoveSelectedDown(c);
  });
  count("delete selected (automatic)", 1, compact, true,
        [](ListContext c) { DeleteSelectedAddress(c); });
  count("add (automatic)", 1, compact, true,
        [](ListContext c) { AddAddress(c, "https://added.example/"); });
  count("edit (automatic)", 1, compact, true,
        [](ListContext c) { SaveEditedAddress(c, "https://edited.example/"); });
  count("save all changes, nothing changed", 0, compact, true,
        [](ListContext c) { SaveAllChanges(c); });
  count("move down, then save all changes (manual)", 1, compact, true, [](ListContext c) {
    ProgramSettings manual = c.settings;
    manual.SaveMode = "Two";
    const ListContext m{c.backend, c.list, manual};
    m.list.select(100);
    MoveSelectedDown(m);  // in manual mode only the list changes
    SaveAllChanges(m);
  });
  count("delete all (automatic)", 1, compact, true, [](ListContext c) { DeleteAllAddresses(c); });
  std::printf("one write per changing command, none otherwise: %s\n\n",
              allAsExpected ? "met" : "NOT met");

  // (b) The start-up sequence that writes, against a bare replace of the same size.
  using HiveCommand = std::function<bool(RegFileRegistry&)>;
  const HiveCommand startUpSequence = [](RegFileRegistry& registry) {
    AddressList list;
    LoadAndCompactAddresses(registry, list);
    return list.count() == 199;
  };
  // What the registry file holds after `command` on `before`: the bytes the bare replace writes.
  const auto fileAfter = [&](const std::string& before, const HiveCommand& command) {
    BareReplace(f.regFile, before, true);
    {
      RegFileRegistry registry(f.regFile);
      command(registry);
    }
    return ReadFile(f.regFile);
  };
  const std::string written = fileAfter(f.needsCompaction, startUpSequence);
  // Medians of `command` on the registry file, put back to `before` untimed each time, and of a
  // bare replace of the bytes the command writes, run in turn. Null when the command went wrong.
  struct Pair {
    double command, bare;
  };
  const auto interleaved = [&](const std::string& before, const std::string& after,
                               const HiveCommand& command) -> std::optional<Pair> {
    std::vector<double> commands, bares;
    for (int run = 0; run < runs; ++run) {
      BareReplace(f.regFile, before, true);
      auto start = Clock::now();
      {
        RegFileRegistry registry(f.regFile);
        if (!command(registry) || !registry.takeReports().empty()) return std::nullopt;
      }
      commands.push_back(MillisecondsSince(start));
      start = Clock::now();
      BareReplace(bare, after, true);
      bares.push_back(MillisecondsSince(start));
    }
    return Pair{Median(commands), Median(bares)};
  };
  const std::optional<Pair> startUp = interleaved(f.needsCompaction, written, startUpSequence);
  if (!startUp) {
    std::fprintf(stderr, "the start-up sequence went wrong\n");
    return 1;
  }
  const double ratio = startUp->command / startUp->bare;
  std::printf(
      "start-up sequence that writes (%zu bytes): median %.3f ms over %d runs\n"
      "bare atomic replace of the same size:       median %.3f ms\n"
      "start-up / bare replace: %.2fx (a new process: nothing read before to go on from)\n",
      written.size(), startUp->command, runs, startUp->bare, ratio);

  // (c) The least a writing command costs in this store: one value changed in a transaction
  // of its own (lock, read, parse, write, flush, replace), nothing done per address. Texts of
  // one length, so that the file written has the size of the one before.
  const auto setFirst = [](const char* text) -> HiveCommand {
    return [text](RegFileRegistry& registry) {
      return modReg::WriteRegString(registry, kCurrentUser, kTypedUrlsKey, "url1", text);
    };
  };
  const std::string one = fileAfter(written, setFirst("https://one.example/"));
  const HiveCommand second = setFirst("https://two.example/");
  const std::optional<Pair> single = interleaved(one, fileAfter(one, second), second);
  if (!single) {
    std::fprintf(stderr, "the changed value went wrong\n");
    return 1;
  }
  std::printf(
      "one changed value, nothing per address:      median %.3f ms (%.2fx the bare replace)\n",
      single->command, single->command / single->bare);

  // (d) Move down as the program runs it: start-up untimed, then the command, timed.
  std::vector<double> moves, moveBares;
  std::string moved;
  const auto timeBare = [&] {
    const auto start = Clock::now();
    BareReplace(bare, moved, true);
    moveBares.push_back(MillisecondsSince(start));
  };
  for (int run = 0; run <= runs; ++run) {  // the first run, untimed, gives the bytes it writes
    BareReplace(f.regFile, compact, true);
    AddressList list;
    ProgramSettings settings;
    std::optional<TypedAddresses> base;
    // One registry for the window's life, as the program keeps it.
    RegFileRegistry registry(f.regFile);
    StartUp(registry, list, settings, &base);
    list.select(100);
    const ListContext context{registry, list, settings, nullptr, &base, [] { return true; }};
    // The bare replace runs before the command on every other run: a flush just before
    // another can change what the second one costs.
    const bool bareFirst = run % 2 == 1;
    if (bareFirst) timeBare();
    const auto start = Clock::now();
    if (!MoveSelectedDown(context).messages().empty() || !registry.takeReports().empty()) {
      std::fprintf(stderr, "the move went wrong\n");
      return 1;
    }
    const double took = MillisecondsSince(start);
    if (run == 0) {
      moved = ReadFile(f.regFile);
      continue;
    }
    moves.push_back(took);
    if (!bareFirst) timeBare();
  }
  const double moveRatio = Median(moves) / Median(moveBares);
  std::printf(
      "move down as the program runs it:             median %.3f ms (%.2fx the bare replace); "
      "goal at most 1.5x: %s\n",
      Median(moves), moveRatio, moveRatio <= 1.5 ? "met" : "NOT met");
  fs::remove_all(folder);
  return allAsExpected ? 0 : 1;
}
