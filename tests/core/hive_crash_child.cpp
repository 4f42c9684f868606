// The other process in the crash and concurrency tests of the .reg file and of a Windows hive
// (which of them is told by the file's first bytes).
//
//   hive_crash_child save-loop HIVE
//     Writes one byte to standard output once the hive is open, then saves list B and list A
//     in turn, each in a transaction of its own and followed by one more byte, until it is
//     killed.
//   hive_crash_child write-values HIVE KEY PREFIX COUNT
//     Waits until standard input closes (so that two of them start together), then writes
//     PREFIX_1 .. PREFIX_COUNT under KEY, one value per transaction. Exits 0 when every write
//     succeeded and the store told nothing.
//   hive_crash_child delete-address HIVE TEXT
//     Starts as the window does (the list read, compacted and stored) and writes one byte;
//     waits until standard input closes, then deletes TEXT from its list in automatic mode,
//     answering No if asked whether to replace another program's change. Exits 0 when the
//     deletion was stored, 4 when it was not because the question was asked, 1 when the store
//     told something.
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>

#include "hive_crash_lists.h"
#include "list/address_list.h"
#include "list/list_commands.h"
#include "list/list_store.h"
#include "list/store_notices.h"
#include "store/typed_address_store.h"

namespace {

using namespace tavelin;

int SaveLoop(const char* hive) {
  const auto store = hivecrash::OpenStore(hive, std::chrono::seconds(60));
  RegistryBackend& registry = *store;
  AddressList a;
  AddressList b;
  for (const std::string& text : hivecrash::ListA()) a.append(text);
  for (const std::string& text : hivecrash::ListB()) b.append(text);
  const char ready = 'r';
  const char saved = 's';
  if (::write(STDOUT_FILENO, &ready, 1) != 1) return 3;
  for (unsigned long round = 1;; ++round) {
    {
      Transaction transaction(registry);
      SaveAddresses(registry, round % 2 == 1 ? b : a);  // the file starts out holding A
    }
    if (::write(STDOUT_FILENO, &saved, 1) != 1) return 3;
  }
}

int WriteValues(const char* hive, const char* key, const std::string& prefix, int count) {
  char ignored;
  while (::read(STDIN_FILENO, &ignored, 1) > 0) {
  }
  const auto store = hivecrash::OpenStore(hive, std::chrono::seconds(60));
  RegistryBackend& registry = *store;
  for (int i = 1; i <= count; ++i) {
    const std::string text = prefix + "_" + std::to_string(i);
    if (!modReg::WriteRegString(registry, kCurrentUser, key, text, text)) {
      std::fprintf(stderr, "writing %s failed\n", text.c_str());
      return 1;
    }
  }
  for (const std::string& notice : TakeStoreNotices(registry)) {
    std::fprintf(stderr, "%s\n", notice.c_str());
    return 1;
  }
  return 0;
}

int DeleteAddress(const char* hive, const std::string& text) {
  const auto store = hivecrash::OpenStore(hive, std::chrono::seconds(60));
  RegistryBackend& registry = *store;
  AddressList list;
  ProgramSettings settings;
  std::optional<TypedAddresses> base;
  CommandResult result = StartUp(registry, list, settings, &base);
  const char ready = 'r';
  if (::write(STDOUT_FILENO, &ready, 1) != 1) return 3;
  char ignored;
  while (::read(STDIN_FILENO, &ignored, 1) > 0) {
  }
  for (std::size_t i = 0; i < list.count(); ++i) {
    if (list.item(i) == text) list.select(static_cast<int>(i));
  }
  bool asked = false;
  ListContext context{registry, list, settings, nullptr, &base};
  context.replaceChangedStore = [&] {
    asked = true;
    return false;
  };
  const CommandResult deleted = DeleteSelectedAddress(context);
  for (const std::string& message : result.messages())
    std::fprintf(stderr, "%s\n", message.c_str());
  for (const std::string& message : deleted.messages())
    std::fprintf(stderr, "%s\n", message.c_str());
  if (!result.messages().empty() || !deleted.messages().empty()) return 1;
  return asked ? 4 : 0;
}

}  // namespace

int main(int argc, char** argv) {
  const std::string mode = argc > 1 ? argv[1] : "";
  if (mode == "save-loop" && argc == 3) return SaveLoop(argv[2]);
  if (mode == "write-values" && argc == 6) {
    return WriteValues(argv[2], argv[3], argv[4], std::atoi(argv[5]));
  }
  if (mode == "delete-address" && argc == 4) return DeleteAddress(argv[2], argv[3]);
  std::fprintf(stderr,
               "usage: %s save-loop HIVE | write-values HIVE KEY PREFIX COUNT | "
               "delete-address HIVE TEXT\n",
               argv[0]);
  return 2;
}
