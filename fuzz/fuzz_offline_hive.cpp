// A Windows hive's open and load on any bytes: the backend must not crash, and reading it
// must write nothing, neither into the hive nor beside it. Each input is written to a hive
// file of its own folder and loaded as a start-up loads it (the typed addresses, their times,
// the settings), then the keys above them are listed.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "list/address_list.h"
#include "list/list_store.h"
#include "store/registry_offline_hive.h"
#include "store/settings_store.h"
#include "store/typed_address_store.h"
#include "support/blank_hive.h"

namespace {

namespace fs = std::filesystem;

[[noreturn]] void Fail(const char* what) {
  std::fprintf(stderr, "offline hive: %s\n", what);
  std::abort();
}

const fs::path& Folder() {
  static const fs::path folder = [] {
    fs::path made = fs::temp_directory_path() / ("tavelin-fuzz-hive-" + std::to_string(::getpid()));
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

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace tavelin;
  const fs::path hive = Folder() / "NTUSER.DAT";
  std::string bytes(reinterpret_cast<const char*>(data), size);
  // The header's checksum is set right, so that the fuzzing reaches past hivex's first check.
  if (bytes.size() >= 0x200 && bytes.compare(0, 4, "regf") == 0) {
    support::MendHiveHeaderChecksum(bytes);
  }
  {
    std::ofstream out(hive, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    if (!out.flush()) Fail("cannot write the input");
  }
  {
    OfflineHiveRegistry registry(hive, std::chrono::milliseconds(1000));
    Transaction transaction(registry, LoadKind::kReload);
    AddressList list;
    LoadAddresses(registry, list);
    ProgramSettings settings;
    LoadSettings(registry, settings);
    for (const char* key : {"", "Software", "Software\\Microsoft"}) {
      (void)registry.subkeyNames(kCurrentUser, key);
      (void)registry.valueNames(kCurrentUser, key);
    }
    (void)registry.keyExists(kCurrentUser, kTypedUrlsTimeKey);
    (void)transaction.finish();
    (void)registry.takeReports();
  }
  if (Read(hive) != bytes) Fail("reading the hive changed it");
  std::size_t entries = 0;
  for ([[maybe_unused]] const auto& entry : fs::directory_iterator(Folder())) ++entries;
  if (entries != 1) Fail("reading the hive left a file beside it");
  return 0;
}
