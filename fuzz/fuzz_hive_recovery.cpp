// A Windows hive left dirty, with any bytes as its two transaction logs: recovering it must
// not crash, a hive it recovers must come out clean, and the program reading it (as a
// start-up that has nothing to write reads it) must write nothing, neither into the hive nor
// into its logs nor beside them.
//
// An input is LOG1 and LOG2: its first two bytes (little-endian) give LOG1's length, the
// rest after LOG1 is LOG2. The hive is a blank one grown by one bin, its sequence numbers 6
// and 5, as the seeds' logs expect (corpus/hive_recovery).
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "list/address_list.h"
#include "list/list_store.h"
#include "store/hive_recovery.h"
#include "store/registry_offline_hive.h"
#include "store/typed_address_store.h"
#include "support/blank_hive.h"
#include "support/dirty_hive.h"

namespace {

namespace fs = std::filesystem;

[[noreturn]] void Fail(const char* what) {
  std::fprintf(stderr, "hive recovery: %s\n", what);
  std::abort();
}

const fs::path& Folder() {
  static const fs::path folder = [] {
    fs::path made =
        fs::temp_directory_path() / ("tavelin-fuzz-recovery-" + std::to_string(::getpid()));
    fs::create_directories(made);
    std::atexit([] { fs::remove_all(Folder()); });
    return made;
  }();
  return folder;
}

std::string Read(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void Write(const fs::path& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  if (!out.flush()) Fail("cannot write the input");
}

const std::string& DirtyHive() {
  static const std::string hive = tavelin::support::WithSequence(
      tavelin::support::WithMoreBins(tavelin::support::BlankHiveBytes(), 1, 'a'), 6, 5);
  return hive;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace tavelin;
  const std::string input(reinterpret_cast<const char*>(data), size);
  std::size_t split = size >= 2 ? (data[0] | std::size_t{data[1]} << 8) : 0;
  const std::string rest = size >= 2 ? input.substr(2) : input;
  split = std::min(split, rest.size());
  const std::string log1 = rest.substr(0, split);
  const std::string log2 = rest.substr(split);

  // The recovery alone.
  const HiveRecovery recovery =
      RecoverHive(DirtyHive(), {{"NTUSER.DAT.LOG1", log1, ""}, {"NTUSER.DAT.LOG2", log2, ""}});
  if (recovery.outcome == HiveRecovery::Outcome::kClean) Fail("a dirty hive came out clean");
  if (recovery.outcome == HiveRecovery::Outcome::kRecovered) {
    const std::string& image = recovery.image;
    if (image.size() < 0x1000 || IsHiveDirty(image)) Fail("the recovered hive is not clean");
    if (support::Get32(image, support::kHiveBinsSizeAt) != image.size() - 0x1000) {
      Fail("the recovered hive's size is not its header's");
    }
  } else if (recovery.why.empty() || !recovery.image.empty()) {
    Fail("a hive that was not recovered says nothing or comes with an image");
  }

  // The program on the files.
  const fs::path hive = Folder() / "NTUSER.DAT";
  Write(hive, DirtyHive());
  Write(Folder() / "NTUSER.DAT.LOG1", log1);
  Write(Folder() / "NTUSER.DAT.LOG2", log2);
  {
    OfflineHiveRegistry registry(hive, std::chrono::milliseconds(1000));
    Transaction transaction(registry, LoadKind::kReload);
    AddressList list;
    LoadAddresses(registry, list);
    for (const char* key : {"", "Software"}) {
      (void)registry.subkeyNames(kCurrentUser, key);
      (void)registry.valueNames(kCurrentUser, key);
    }
    (void)transaction.finish();
    (void)registry.takeReports();
  }
  if (Read(hive) != DirtyHive()) Fail("reading the hive changed it");
  if (Read(Folder() / "NTUSER.DAT.LOG1") != log1 || Read(Folder() / "NTUSER.DAT.LOG2") != log2) {
    Fail("reading the hive changed its logs");
  }
  std::size_t entries = 0;
  for ([[maybe_unused]] const auto& entry : fs::directory_iterator(Folder())) ++entries;
  if (entries != 3) Fail("reading the hive left a file beside it");
  return 0;
}
