// The sentence the user reads for each report a backend makes, word for word, and that the
// list commands tell exactly those.
#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "list/address_list.h"
#include "list/list_commands.h"
#include "list/store_notices.h"
#include "store/settings_store.h"
#include "support/registry_memory.h"

namespace tavelin {
namespace {

using Kind = StoreReport::Kind;

struct NoticeCase {
  const char* label;
  StoreReport report;
  std::string expected;
};

TEST(StoreNotices, EachReportReadsAsOneSentenceNamingTheStoreAndTheReason) {
  const std::string read = "The registry file /h.reg could not be read: Permission denied.";
  const std::string written = "The registry file /h.reg could not be written: No space left.";
  const NoticeCase cases[] = {
      {"start-up could not read",
       {Kind::kReadFailed, LoadKind::kStartup, "/h.reg", read, false, true},
       read + " Nothing will be saved until \"Reload URLs\" (F5) reads it."},
      {"start-up could not read, though it meant to write",
       {Kind::kReadFailed, LoadKind::kStartup, "/h.reg", read, true, true},
       read + " Nothing will be saved until \"Reload URLs\" (F5) reads it."},
      {"a command that meant to write could not read",
       {Kind::kReadFailed, LoadKind::kCommand, "/h.reg", read, true, true},
       "Nothing was saved. " + read},
      {"a reload that meant to write could not read",
       {Kind::kReadFailed, LoadKind::kReload, "/h.reg", read, true, false},
       "Nothing was saved. " + read},
      {"a command that only read could not",
       {Kind::kReadFailed, LoadKind::kCommand, "/h.reg", read, false, true},
       read},
      {"writes are off",
       {Kind::kWriteRefused, LoadKind::kCommand, "/h.reg", "", true, true},
       "Nothing was saved to /h.reg: it could not be read when the list was loaded. Press F5 "
       "(\"Reload URLs\") to read it again; that replaces the list with what is stored."},
      {"a write failed and left the store as it was",
       {Kind::kWriteFailed, LoadKind::kCommand, "/h.reg", written, true, true},
       "Nothing was saved. " + written},
      {"a write failed part way",
       {Kind::kWriteFailed, LoadKind::kCommand, "registry", written, true, false},
       "Not everything was saved. " + written},
      {"no backup could be kept",
       {Kind::kBackupFailed, LoadKind::kCommand, "/h.reg", "the folder /b cannot be made (x)", true,
        true},
       "Nothing was saved. No backup of what was stored could be made, so nothing was changed: "
       "the folder /b cannot be made (x)."},
      {"no backup could be kept, by a store written call by call",
       {Kind::kBackupFailed, LoadKind::kCommand, "registry", "the folder /b cannot be made (x)",
        true, false},
       "Not everything was saved. No backup of what was stored could be made, so nothing was "
       "changed: the folder /b cannot be made (x)."},
  };
  for (const NoticeCase& c : cases) {
    SCOPED_TRACE(c.label);
    EXPECT_EQ(NoticeText(c.report), c.expected);
  }
}

TEST(StoreNotices, TheCommandsTellWhatTheStoreReportedInThoseWords) {
  MemoryRegistry registry;
  AddressList list;
  ProgramSettings settings;
  std::optional<TypedAddresses> base;
  registry.setFailReads(true);
  EXPECT_EQ(StartUp(registry, list, settings, &base).storeNotices,
            std::vector<std::string>{"The memory registry could not be read. Nothing will be "
                                     "saved until \"Reload URLs\" (F5) reads it."});
  registry.setFailReads(false);
  EXPECT_EQ(AddAddress({registry, list, settings}, "http://a/").storeNotices,
            std::vector<std::string>{
                "Nothing was saved to memory registry: it could not be read when the list was "
                "loaded. Press F5 (\"Reload URLs\") to read it again; that replaces the list with "
                "what is stored."});
  ReloadAddresses({registry, list, settings});
  registry.setFailWrites(true);
  EXPECT_EQ(AddAddress({registry, list, settings}, "http://b/").storeNotices,
            std::vector<std::string>{"Nothing was saved. The memory registry refused a write."});
  EXPECT_TRUE(TakeStoreNotices(registry).empty());  // each told once, by its command
}

}  // namespace
}  // namespace tavelin
