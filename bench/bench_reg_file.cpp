// The .reg reader and writer and the registry-file backend, timed. Medians of several runs.
//
//  - Reading a large registry file (the size of a whole exported HKEY_CURRENT_USER, about 14 MiB)
//    against a bare decode of the same bytes into lines, and writing it against a bare
//    encode: ratios, no goal.
//  - Whole commands on that registry file, each against one bare read and atomic replace of the
//  file
//    (write, flush, rename, folder flush), run in turn: the start-up (its read and the write
//    that closes a gap in the list), less the same start-up on a registry file of the 200 addresses
//    alone; a move, a delete and "Reload URLs". Goal: at most 4 times the bare read and
//    replace. Median and slowest of 10.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "bench/bench_support.h"
#include "list/address_list.h"
#include "list/list_commands.h"
#include "list/list_store.h"
#include "platform/wtf8.h"
#include "store/reg_file_reader.h"
#include "store/reg_file_writer.h"
#include "store/registry_file.h"
#include "store/settings_store.h"
#include "store/typed_address_store.h"

namespace {

namespace fs = std::filesystem;
using namespace tavelin;
using bench::LargeHive;
using bench::TypedAddressSections;
using bench::Utf16File;

template <class F>
double MedianMs(int runs, F&& f) {
  std::vector<double> times;
  for (int i = 0; i < runs; ++i) {
    const auto start = std::chrono::steady_clock::now();
    f();
    times.push_back(
        std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
            .count());
  }
  std::sort(times.begin(), times.end());
  return times[times.size() / 2];
}

// `bench_reg_file parse N` or `bench_reg_file write N` only reads or writes the large registry file
// N times, for a profiler to watch.
int Profile(const std::string& what, int times) {
  const std::string bytes = LargeHive(20000);
  std::size_t sink = 0;
  if (what == "parse") {
    for (int i = 0; i < times; ++i) sink += ParseRegFile(bytes).document->keys().size();
  } else {
    const RegFileDocument large = *ParseRegFile(bytes).document;
    for (int i = 0; i < times; ++i) sink += WriteRegFile(large).bytes->size();
  }
  return sink == 0 ? 1 : 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc > 2) return Profile(argv[1], std::atoi(argv[2]));
  const std::string bytes = LargeHive(20000);
  const RegFileDocument large = *ParseRegFile(bytes).document;
  if (*WriteRegFile(large).bytes != bytes)
    std::printf("(the large registry file does not round-trip)\n");
  std::size_t values = 0;
  for (const RegFileKey& k : large.keys()) values += k.values().size();
  std::printf("large registry file: %zu keys, %zu values, %.1f MiB (UTF-16)\n", large.keys().size(),
              values, bytes.size() / 1048576.0);

  const int runs = 7;
  std::size_t sink = 0;
  // Reading against a bare decode into lines, and writing against a bare encode, of the
  // same bytes, each pair measured side by side.
  struct Figures {
    double bare, parse, bareOut, write, room;
  };
  const auto measure = [&](const std::string& file) {
    Figures f{};
    f.bare = MedianMs(runs, [&] {
      const std::u16string text = Utf16LeBytesToText(
          reinterpret_cast<const unsigned char*>(file.data()) + 2, file.size() - 2);
      sink += std::count(text.begin(), text.end(), u'\n');
    });
    f.parse = MedianMs(runs, [&] { sink += ParseRegFile(file).document->keys().size(); });
    const std::u16string text = Utf16LeBytesToText(
        reinterpret_cast<const unsigned char*>(file.data()) + 2, file.size() - 2);
    const RegFileDocument document = *ParseRegFile(file).document;
    f.bareOut = MedianMs(runs, [&] { sink += TextToUtf16LeBytes(text).size(); });
    f.write = MedianMs(runs, [&] { sink += WriteRegFile(document).bytes->size(); });
    // What the machine charges for memory of the output's size (the registry file round-trips, so
    // the file's) alone: at ten times the registry file the heap has none such to hand back, and
    // each page comes new from the system.
    f.room = MedianMs(runs, [&] {
      const std::string room(file.size(), '\0');
      sink += room.size() + static_cast<unsigned char>(room[room.size() / 2]);
    });
    return f;
  };
  const Figures one = measure(bytes);
  std::printf("read:  bare decode into lines %8.1f ms   parse %8.1f ms   ratio %.1f\n", one.bare,
              one.parse, one.parse / one.bare);
  std::printf("write: bare encode            %8.1f ms   write %8.1f ms   ratio %.1f\n", one.bareOut,
              one.write, one.write / one.bareOut);
  {
    const std::string tenTimes = LargeHive(200000);
    const Figures ten = measure(tenTimes);
    std::printf(
        "ten times the registry file (%.1f MiB): parse %.1f ms (%.1fx), write %.1f ms (%.1fx)\n"
        "  (the bare decode took %.1fx its time, the bare encode %.1fx)\n"
        "  (room the size of the output, allocated and cleared: %.1f ms, against %.1f ms at the "
        "registry file's size: %.1fx)\n",
        tenTimes.size() / 1048576.0, ten.parse, ten.parse / one.parse, ten.write,
        ten.write / one.write, ten.bare / one.bare, ten.bareOut / one.bareOut, ten.room, one.room,
        ten.room / one.room);
  }

  // Whole commands on a registry file in a folder on disk (the current one), each run on the
  // file as `before` puts it, untimed, and followed in turn by a bare read and replace.
  const fs::path folder = fs::current_path() / "tavelin-bench-reg-file";
  fs::remove_all(folder);
  fs::create_directories(folder);
  const fs::path regFile = folder / "HKEY_CURRENT_USER.reg";
  const fs::path bare = folder / "bare.reg";
  struct Timing {
    double median, slowest, bareMedian;
  };
  // `prepare` runs untimed after the file is put back, `command` is timed.
  const auto timed = [&](
                         const std::string& before, const std::function<bool()>& command,
                         const std::function<void()>& prepare = [] {}) {
    std::vector<double> times, bares;
    for (int run = 0; run < 10; ++run) {
      bench::BareReplace(regFile, before, true);
      prepare();
      auto start = bench::Clock::now();
      if (!command()) std::printf("  (the command went wrong)\n");
      times.push_back(bench::MillisecondsSince(start));
      start = bench::Clock::now();
      sink += bench::ReadFile(regFile).size();
      bench::BareReplace(bare, before, true);
      bares.push_back(bench::MillisecondsSince(start));
    }
    return Timing{bench::Median(times), *std::max_element(times.begin(), times.end()),
                  bench::Median(bares)};
  };
  ProgramSettings settings;
  settings.SaveMode = std::string(kAutomaticSaveMode);
  const auto startUp = [&] {
    RegFileRegistry registry(regFile);
    AddressList list;
    ProgramSettings read;
    StartUp(registry, list, read);
    return list.count() == 199 && registry.takeReports().empty();
  };
  // A window that has started on the file, and one of its commands.
  std::optional<RegFileRegistry> registry;
  AddressList list;
  const auto start = [&] {
    registry.emplace(regFile);
    LoadAndCompactAddresses(*registry, list);
    list.select(100);
  };
  const auto command = [&](CommandResult (*run)(ListContext)) {
    return [&, run] {
      run(ListContext{*registry, list, settings});
      return registry->takeReports().empty();
    };
  };
  const std::string smallGap = Utf16File(TypedAddressSections(100));
  const std::string largeGap = LargeHive(20000, 100);
  const std::string largeFile = LargeHive(20000);
  const Timing small = timed(smallGap, startUp);
  const Timing largeStart = timed(largeGap, startUp);
  const double bound = largeStart.bareMedian;
  std::printf(
      "bare read and replace of the large registry file: %.1f ms\n"
      "start-up, large registry file %.1f ms (slowest %.1f), small %.1f ms: the difference is "
      "%.2fx the "
      "bare read and replace (goal at most 4)\n",
      bound, largeStart.median, largeStart.slowest, small.median,
      (largeStart.median - small.median) / bound);
  for (const auto& [label, run] :
       {std::pair{"move up", &MoveSelectedUp}, std::pair{"delete", &DeleteSelectedAddress},
        std::pair{"Reload URLs", &ReloadAddresses}}) {
    const Timing t = timed(largeFile, command(run), start);
    std::printf(
        "%-12s on the large registry file %7.1f ms (slowest %.1f): %.2fx (goal at most 4)\n", label,
        t.median, t.slowest, t.median / t.bareMedian);
  }
  fs::remove_all(folder);
  return sink == 0 ? 1 : 0;
}
