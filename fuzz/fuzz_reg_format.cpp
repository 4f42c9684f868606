// The .reg reader on any bytes: it must not crash, must place its errors on the page, and
// whatever it reads must survive a write and a second read unchanged (keys, values, types,
// bytes, header, encoding and line ends), with the second write identical to the first.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string_view>

#include "store/reg_file_reader.h"
#include "store/reg_file_writer.h"

namespace {

[[noreturn]] void Fail(const char* what) {
  std::fprintf(stderr, "reg format round trip: %s\n", what);
  std::abort();
}

void ExpectSame(const tavelin::RegFileDocument& a, const tavelin::RegFileDocument& b) {
  if (!(a.format == b.format)) Fail("format changed");
  if (a.keys().size() != b.keys().size()) Fail("number of keys changed");
  for (std::size_t k = 0; k < a.keys().size(); ++k) {
    const auto& ka = a.keys()[k];
    const auto& kb = b.keys()[k];
    if (ka.path() != kb.path()) Fail("key path changed");
    if (ka.values().size() != kb.values().size()) Fail("number of values changed");
    for (std::size_t v = 0; v < ka.values().size(); ++v) {
      if (ka.values()[v].name != kb.values()[v].name) Fail("value name changed");
      if (!(ka.values()[v].value() == kb.values()[v].value())) Fail("value type or bytes changed");
    }
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  const tavelin::RegParseResult first = tavelin::ParseRegFile(bytes);
  if (!first.document) {
    if (first.error.line == 0 || first.error.column == 0 || first.error.message.empty()) {
      Fail("parse error without a place or a message");
    }
    return 0;
  }
  // Everything read from a file can be written back in that file's own format.
  const tavelin::RegWriteResult written = tavelin::WriteRegFile(*first.document);
  if (!written.bytes) Fail("a document just read could not be written");
  const tavelin::RegParseResult second = tavelin::ParseRegFile(*written.bytes);
  if (!second.document) Fail("the written file does not read back");
  ExpectSame(*first.document, *second.document);
  const tavelin::RegWriteResult again = tavelin::WriteRegFile(*second.document);
  if (!again.bytes || *again.bytes != *written.bytes) Fail("the layout is not stable");

  // A change the program makes (a key created under existing ones, a value set and one
  // removed) must survive a round trip too.
  tavelin::RegFileDocument changed = *first.document;
  auto [key, created] =
      changed.createKey("HKEY_CURRENT_USER\\Software\\Microsoft\\Internet Explorer\\TypedURLs");
  if (key == nullptr) Fail("the typed-address key could not be created");
  key->set("url1", tavelin::RegValue{tavelin::regtype::kSz, {'h', 0, 0, 0}});
  key->remove("url2");
  const tavelin::RegWriteResult changedBytes = tavelin::WriteRegFile(changed);
  if (!changedBytes.bytes) Fail("a changed document could not be written");
  const tavelin::RegParseResult changedBack = tavelin::ParseRegFile(*changedBytes.bytes);
  if (!changedBack.document) Fail("a changed document does not read back");
  ExpectSame(changed, *changedBack.document);
  return 0;
}
