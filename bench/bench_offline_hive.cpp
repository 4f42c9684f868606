// A Windows user's hive as the store, on a hive of 16 MiB holding 200 typed addresses:
//
//  (a) a store command that writes (one move in automatic mode: the whole list saved; and one
//      Delete, whose freed cells and the logs are wiped), against one bare atomic replace of a
//      file of the hive's size, folder flushed. Medians of interleaved runs; the goal is at
//      most 3 times the replace.
//  (b) how much the file grows over 100 such commands, and over 100 that change one value of
//      the settings key: hivex never reuses the space it frees.
//  (c) opening the same hive left dirty by Windows, with new-format logs (LOG1 and LOG2) whose
//      entries rewrite a tenth of its pages, brought up to date in memory and read by hivex,
//      against a bare read of the hive and its two logs. Medians of interleaved runs; the goal
//      is at most 2 times the bare read. The open of the same hive clean is timed in the same
//      loop, to tell what hivex's own open costs from what the recovery adds.
//
// The hive is a blank one of our own, grown through hivex with keys and values of every kind.
//
// Usage: bench_offline_hive [folder [runs]]. It works in a new subfolder of `folder` (the
// current one by default), which should be on a disk, not a memory file system.
#include <hivex.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "bench/bench_support.h"
#include "list/address_list.h"
#include "list/list_store.h"
#include "platform/read_file.h"
#include "platform/wtf8.h"
#include "store/registry_offline_hive.h"
#include "store/settings_store.h"
#include "store/typed_address_store.h"
#include "support/blank_hive.h"
#include "support/dirty_hive.h"

namespace {

namespace fs = std::filesystem;
using namespace tavelin;
using bench::BareReplace;
using bench::Clock;
using bench::Median;
using bench::MillisecondsSince;
using bench::ReadFile;

using bench::Addresses;

void Fail(const char* what) {
  std::perror(what);
  std::exit(1);
}

hive_node_h Child(hive_h* h, hive_node_h parent, const std::string& name) {
  const hive_node_h node = hivex_node_add_child(h, parent, name.c_str());
  if (node == 0) Fail("hivex_node_add_child");
  return node;
}

// Grows a blank hive to at least `size` bytes: keys of vendors and products, each with string,
// number and binary values, as a user's Software key holds them.
void GrowHive(const fs::path& hive, std::uintmax_t size) {
  {
    const std::string blank = support::BlankHiveBytes();
    FILE* out = std::fopen(hive.c_str(), "wb");
    if (!out || std::fwrite(blank.data(), 1, blank.size(), out) != blank.size()) Fail("blank");
    std::fclose(out);
  }
  hive_h* h = hivex_open(hive.c_str(), HIVEX_OPEN_WRITE);
  if (!h) Fail("hivex_open");
  const hive_node_h software = Child(h, hivex_root(h), "Software");
  const std::string text = TextToUtf16LeBytes(
      u"C:\\Program Files\\Some Vendor\\Some Product\\bin\\product.exe --option value");
  std::string binary(600, '\x5A');
  std::uint32_t dword = 1;
  for (int vendor = 0; fs::file_size(hive) < size; ++vendor) {
    const hive_node_h v = Child(h, software, "Vendor " + std::to_string(vendor));
    for (int product = 0; product < 50; ++product) {
      const hive_node_h p = Child(h, v, "Product " + std::to_string(product));
      hive_set_value values[3];
      char n0[] = "Path", n1[] = "Version", n2[] = "State";
      values[0] = {n0, hive_t_REG_SZ, text.size(), const_cast<char*>(text.data())};
      values[1] = {n1, hive_t_REG_DWORD, 4, reinterpret_cast<char*>(&dword)};
      values[2] = {n2, hive_t_REG_BINARY, binary.size(), binary.data()};
      if (hivex_node_set_values(h, p, 3, values, 0) != 0) Fail("hivex_node_set_values");
    }
    if (hivex_commit(h, nullptr, 0) != 0) Fail("hivex_commit");
  }
  hivex_close(h);

  OfflineHiveRegistry registry(hive);
  AddressList list;
  for (const std::string& text : Addresses()) list.append(text);
  SaveAddresses(registry, list);
  if (!registry.takeReports().empty()) Fail("seeding the addresses");
}

// One move in automatic mode: the list with two neighbours swapped, saved whole.
void Move(OfflineHiveRegistry& registry, AddressList& list, int round) {
  std::vector<std::string> items = list.items();
  const std::size_t at = static_cast<std::size_t>(round) % (items.size() - 1);
  std::swap(items[at], items[at + 1]);
  list = AddressList();
  for (const std::string& item : items) list.append(item);
  Transaction transaction(registry);
  SaveAddresses(registry, list);
}

void Write(const fs::path& path, const std::string& bytes) {
  FILE* out = std::fopen(path.c_str(), "wb");
  if (!out || std::fwrite(bytes.data(), 1, bytes.size(), out) != bytes.size()) Fail("write");
  std::fclose(out);
}

// The hive as Windows leaves it dirty: the primary file one write behind, and its logs
// holding every tenth page of the hive bins data, 16 pages to an entry, the first half of the
// entries in LOG1 and the rest in LOG2.
void WriteDirtyHive(const std::string& hive, const fs::path& folder) {
  constexpr std::size_t kPage = 0x1000;
  constexpr std::size_t kPagesPerEntry = 16;
  const std::uint32_t sequence = support::Get32(hive, 8);
  const auto binsSize = static_cast<std::uint32_t>(hive.size() - kPage);
  std::vector<support::NewLogEntry> entries;
  for (std::size_t page = 0; page < binsSize / kPage; page += 10) {
    if (entries.empty() || entries.back().pages.size() == kPagesPerEntry) {
      entries.push_back({static_cast<std::uint32_t>(sequence + entries.size()), binsSize, {}});
    }
    entries.back().pages.push_back(
        {static_cast<std::uint32_t>(page * kPage), hive.substr(kPage + page * kPage, kPage)});
  }
  const auto half = entries.begin() + static_cast<std::ptrdiff_t>(entries.size() / 2);
  Write(folder / "NTUSER.DAT", support::WithSequence(hive, sequence + 1, sequence));
  Write(folder / "NTUSER.DAT.LOG1", support::NewFormatLog(hive, {entries.begin(), half}));
  Write(folder / "NTUSER.DAT.LOG2", support::NewFormatLog(hive, {half, entries.end()}));
}

// One command that only reads: the hive opened (and brought up to date when dirty), one key
// looked at.
void Open(const fs::path& hive) {
  OfflineHiveRegistry registry(hive);
  {
    Transaction transaction(registry, LoadKind::kReload);
    if (!registry.keyExists(kCurrentUser, kTypedUrlsKey)) Fail("open");
  }
  if (!registry.takeReports().empty()) Fail("open: told something");
}

}  // namespace

int main(int argc, char** argv) {
  const fs::path base = argc > 1 ? fs::path(argv[1]) : fs::current_path();
  const int runs = argc > 2 ? std::atoi(argv[2]) : 15;
  const fs::path folder = base / ("tavelin-bench-hive-" + std::to_string(::getpid()));
  fs::create_directories(folder);
  const fs::path hive = folder / "NTUSER.DAT";
  GrowHive(hive, 16u << 20);
  std::printf("hive: %.1f MiB\n", static_cast<double>(fs::file_size(hive)) / (1 << 20));

  AddressList list;
  for (const std::string& text : Addresses()) list.append(text);
  const fs::path other = folder / "bare.bin";
  const std::string sameSize = ReadFile(hive);
  std::vector<double> command, bare;
  for (int round = 0; round < runs; ++round) {
    auto start = Clock::now();
    {
      OfflineHiveRegistry registry(hive);
      Move(registry, list, round);
      if (!registry.takeReports().empty()) Fail("move");
    }
    command.push_back(MillisecondsSince(start));
    start = Clock::now();
    BareReplace(other, sameSize, true);
    bare.push_back(MillisecondsSince(start));
  }
  const double c = Median(command), b = Median(bare);
  std::printf("(a) move, 16 MiB hive: %.2f ms; bare atomic replace: %.2f ms; ratio %.2f (goal 3)\n",
              c, b, c / b);

  // A Delete in automatic mode: the first address out and the list saved, its freed cells
  // and the logs wiped; the address goes back, untimed, before the next round.
  std::vector<double> deletion, bareAgain;
  for (int round = 0; round < runs; ++round) {
    AddressList shorter;
    for (std::size_t i = 1; i < list.count(); ++i) shorter.append(list.item(i));
    auto start = Clock::now();
    {
      OfflineHiveRegistry registry(hive);
      Transaction transaction(registry);
      SaveAddresses(registry, shorter);
    }
    deletion.push_back(MillisecondsSince(start));
    start = Clock::now();
    BareReplace(other, sameSize, true);
    bareAgain.push_back(MillisecondsSince(start));
    OfflineHiveRegistry registry(hive);
    Transaction transaction(registry);
    SaveAddresses(registry, list);
  }
  {
    const double del = Median(deletion), replace = Median(bareAgain);
    std::printf(
        "(a) delete, 16 MiB hive: %.2f ms; bare atomic replace: %.2f ms; ratio %.2f (goal 3)\n",
        del, replace, del / replace);
  }

  const auto growth = [&](const char* what, auto&& command) {
    const std::uintmax_t start = fs::file_size(hive);
    for (int round = 0; round < 100; ++round) {
      OfflineHiveRegistry registry(hive);
      command(registry, round);
      if (!registry.takeReports().empty()) Fail(what);
    }
    const double grown = static_cast<double>(fs::file_size(hive) - start);
    std::printf("(b) 100 x %s: the file grew by %.0f KiB, %.1f KiB a command\n", what, grown / 1024,
                grown / 1024 / 100);
  };
  growth("move (200 addresses saved)",
         [&](OfflineHiveRegistry& registry, int round) { Move(registry, list, round); });
  growth("settings change (one value)", [&](OfflineHiveRegistry& registry, int round) {
    modReg::WriteRegString(registry, kCurrentUser, kSettingsKey, kSaveModeValue,
                           round % 2 ? "One" : "Zero");
  });

  // The hive as grown, before the commands above grew it further: clean, and dirty.
  const fs::path dirty = folder / "dirty";
  const fs::path clean = folder / "clean" / "NTUSER.DAT";
  fs::create_directories(dirty);
  fs::create_directories(clean.parent_path());
  WriteDirtyHive(sameSize, dirty);
  Write(clean, sameSize);
  std::printf("(c) logs: %.1f MiB + %.1f MiB\n",
              static_cast<double>(fs::file_size(dirty / "NTUSER.DAT.LOG1")) / (1 << 20),
              static_cast<double>(fs::file_size(dirty / "NTUSER.DAT.LOG2")) / (1 << 20));
  std::vector<double> dirtyOpen, cleanOpen, bareRead;
  for (int round = 0; round < runs; ++round) {
    auto start = Clock::now();
    Open(dirty / "NTUSER.DAT");
    dirtyOpen.push_back(MillisecondsSince(start));
    start = Clock::now();
    std::size_t read = 0;
    for (const char* name : {"NTUSER.DAT", "NTUSER.DAT.LOG1", "NTUSER.DAT.LOG2"}) {
      read += platform::ReadWholeFile(dirty / name).bytes.size();
    }
    if (read == 0) Fail("bare read");
    bareRead.push_back(MillisecondsSince(start));
    start = Clock::now();
    Open(clean);
    cleanOpen.push_back(MillisecondsSince(start));
  }
  const double d = Median(dirtyOpen), r = Median(bareRead), o = Median(cleanOpen);
  std::printf(
      "(c) open of the dirty hive: %.2f ms; bare read of it and its logs: %.2f ms; ratio %.2f "
      "(goal 2)\n"
      "(c) open of the same hive clean: %.2f ms (%.2f times the bare read); what the dirty "
      "one costs more: %.2f ms (%.2f times the bare read)\n",
      d, r, d / r, o, o / r, d - o, (d - o) / r);

  fs::remove_all(folder);
  return 0;
}
