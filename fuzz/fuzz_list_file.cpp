// The address list file reader on any bytes. No entry may hold a line break; every entry is
// well-formed internal text; and writing the entries and reading them back gives them again,
// wherever the writer can carry them exactly (no unpaired surrogates, and a first entry that
// does not begin with U+FEFF, which a reader takes for a byte-order mark).
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "files/list_file.h"
#include "platform/wtf8.h"

namespace {

[[noreturn]] void Fail(const char* what) {
  std::fprintf(stderr, "list file: %s\n", what);
  std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  const std::vector<std::string> entries =
      tavelin::DecodeListFile(bytes, tavelin::Windows1252ToUtf8);

  bool exact = true;
  for (const std::string& entry : entries) {
    if (entry.find_first_of("\r\n") != std::string::npos) Fail("an entry holds a line break");
    if (tavelin::Utf16ToWtf8(tavelin::Wtf8ToUtf16(entry)) != entry) Fail("an entry is not WTF-8");
    if (!tavelin::IsValidUtf8(entry)) exact = false;
  }
  if (!entries.empty() && entries.front().starts_with("\xEF\xBB\xBF")) exact = false;
  // Entries holding a NUL are no text list ("Open list" refuses them), and written out they
  // may read as UTF-16: there is no round trip to check.
  for (const std::string& entry : entries) {
    if (entry.find('\0') != std::string::npos) return 0;
  }

  const std::string written = tavelin::EncodeListFile(entries);
  if (!tavelin::IsValidUtf8(written)) Fail("the writer produced invalid UTF-8");
  const std::vector<std::string> again =
      tavelin::DecodeListFile(written, tavelin::Windows1252ToUtf8);
  if (exact && again != entries) Fail("written entries do not read back");
  if (again.size() != entries.size()) Fail("written entries changed in number");
  return 0;
}
