#include "store/reg_file_reader.h"
#include "store/reg_file_writer.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>

#include "platform/wtf8.h"
#include "store/registry_names.h"
#include "support/files.h"

namespace tavelin {
namespace {

using namespace std::string_literals;

constexpr std::u16string_view kV5 = u"Windows Registry Editor Version 5.00\r\n\r\n";

using support::Utf16File;

std::string V5File(std::u16string_view body) {
  return Utf16File(std::u16string(kV5) + std::u16string(body));
}

std::vector<std::uint8_t> Bytes(std::initializer_list<int> list) {
  std::vector<std::uint8_t> out;
  for (int b : list) out.push_back(static_cast<std::uint8_t>(b));
  return out;
}

// String data as the registry holds it: UTF-16LE with its terminator.
std::vector<std::uint8_t> Sz(std::u16string_view text) {
  const std::string bytes = TextToUtf16LeBytes(text) + std::string(2, '\0');
  return {bytes.begin(), bytes.end()};
}

RegFileDocument MustParse(std::string_view bytes) {
  RegParseResult parsed = ParseRegFile(bytes);
  EXPECT_TRUE(parsed.document) << "line " << parsed.error.line << ", column " << parsed.error.column
                               << ": " << parsed.error.message;
  // Moved, as the program takes a document it reads: its values stay in its own storage.
  return parsed.document ? std::move(*parsed.document) : RegFileDocument{};
}

std::string MustWrite(const RegFileDocument& doc) {
  RegWriteResult written = WriteRegFile(doc);
  EXPECT_TRUE(written.bytes) << written.error;
  return written.bytes.value_or("");
}

// Keys, names, types and bytes, in order: what a round trip must keep.
void ExpectSameContent(const RegFileDocument& a, const RegFileDocument& b) {
  ASSERT_EQ(a.keys().size(), b.keys().size());
  for (std::size_t k = 0; k < a.keys().size(); ++k) {
    const RegFileKey& ka = a.keys()[k];
    const RegFileKey& kb = b.keys()[k];
    EXPECT_EQ(ka.path(), kb.path());
    ASSERT_EQ(ka.values().size(), kb.values().size()) << ka.path();
    for (std::size_t v = 0; v < ka.values().size(); ++v) {
      EXPECT_EQ(ka.values()[v].name, kb.values()[v].name);
      EXPECT_EQ(ka.values()[v].value(), kb.values()[v].value()) << ka.values()[v].name;
    }
  }
}

// A test name made from a case's label.
template <class Case>
std::string LabelName(const testing::TestParamInfo<Case>& info) {
  std::string name;
  for (const char* p = info.param.label; *p; ++p) {
    name += std::isalnum(static_cast<unsigned char>(*p)) ? *p : '_';
  }
  return name;
}

// ---------------------------------------------------------------------------------------
// A file laid out as regedit and `reg export` write it reads into the right values and is
// written back byte for byte.

TEST(RegFileFormat, ExportLayoutReadsAndWritesBackUnchanged) {
  const std::u16string body =
      u"[HKEY_CURRENT_USER\\Software\\Probe]\r\n"
      u"@=\"def \\\"q\\\" \\\\x\"\r\n"
      u"\"dw\"=dword:0000002a\r\n"
      u"\"exp\"=hex(2):25,00,50,00,41,00,54,00,48,00,25,00,3b,00,43,00,3a,00,5c,00,73,00,\\\r\n"
      u"  6f,00,6d,00,65,00,5c,00,6c,00,6f,00,6e,00,67,00,5c,00,66,00,6f,00,6c,00,64,\\\r\n"
      u"  00,00,00\r\n"
      u"\"multi\"=hex(7):61,00,00,00,62,00,00,00,00,00\r\n"
      u"\"q\"=hex(b):01,00,00,00,00,00,00,00\r\n"
      u"\"none\"=hex(0):\r\n"
      u"\"url1\"=\"http://a/\"\r\n"
      u"\r\n"
      u"[HKEY_CURRENT_USER\\Software\\Probe\\Sub]\r\n"
      u"\"bin\"=hex:00,01,02,03,04,05,06,07,08,09,0a,0b,0c,0d,0e,0f,10,11,12,13,14,15,16,\\\r\n"
      u"  17,18,19,1a,1b,1c,1d,1e,1f,20,21,22,23,24,25,26,27,28,29,2a,2b,2c,2d,2e,2f,\\\r\n"
      u"  30\r\n"
      u"\r\n";
  const std::string file = V5File(body);
  const RegFileDocument doc = MustParse(file);

  EXPECT_EQ(doc.format, (RegFileFormat{RegFileHeader::kVersion5, RegFileEncoding::kUtf16Le,
                                       RegFileLineEnd::kCrLf}));
  ASSERT_EQ(doc.keys().size(), 2u);
  const RegFileKey& probe = doc.keys()[0];
  EXPECT_EQ(probe.path(), "HKEY_CURRENT_USER\\Software\\Probe");
  ASSERT_EQ(probe.values().size(), 7u);
  EXPECT_EQ(probe.values()[0].name, "");
  EXPECT_EQ(probe.values()[0].value(), (RegValue{regtype::kSz, Sz(u"def \"q\" \\x")}));
  EXPECT_EQ(*probe.find("DW"), (RegValue{regtype::kDword, Bytes({0x2a, 0, 0, 0})}));
  EXPECT_EQ(*probe.find("exp"), (RegValue{regtype::kExpandSz, Sz(u"%PATH%;C:\\some\\long\\fold")}));
  EXPECT_EQ(*probe.find("multi"), (RegValue{regtype::kMultiSz, Sz(std::u16string(u"a\0b\0", 4))}));
  EXPECT_EQ(*probe.find("q"), (RegValue{regtype::kQword, Bytes({1, 0, 0, 0, 0, 0, 0, 0})}));
  EXPECT_EQ(*probe.find("none"), (RegValue{regtype::kNone, {}}));
  const std::optional<RegValueView> bin = doc.keys()[1].find("bin");
  ASSERT_TRUE(bin);
  EXPECT_EQ(bin->type, regtype::kBinary);
  ASSERT_EQ(bin->data.size(), 0x31u);
  for (std::size_t i = 0; i < bin->data.size(); ++i) EXPECT_EQ(bin->data[i], i);

  EXPECT_EQ(MustWrite(doc), file);
}

// ---------------------------------------------------------------------------------------
// Single value lines.

struct ValueCase {
  const char* label;
  std::u16string line;
  std::string name;
  RegValue value;
};

class RegFileValueLine : public testing::TestWithParam<ValueCase> {};

TEST_P(RegFileValueLine, ReadsAndSurvivesARoundTrip) {
  const ValueCase& c = GetParam();
  const RegFileDocument doc =
      MustParse(V5File(u"[HKEY_CURRENT_USER\\K]\r\n" + c.line + u"\r\n\r\n"));
  ASSERT_EQ(doc.keys().size(), 1u);
  ASSERT_EQ(doc.keys()[0].values().size(), 1u);
  EXPECT_EQ(doc.keys()[0].values()[0].name, c.name);
  EXPECT_EQ(doc.keys()[0].values()[0].value(), c.value);

  ExpectSameContent(MustParse(MustWrite(doc)), doc);
}

INSTANTIATE_TEST_SUITE_P(
    Forms, RegFileValueLine,
    testing::Values(
        ValueCase{"plain", u"\"a\"=\"x\"", "a", {regtype::kSz, Sz(u"x")}},
        ValueCase{"empty", u"\"a\"=\"\"", "a", {regtype::kSz, Sz(u"")}},
        ValueCase{"escapes",
                  u"\"a\\\\\\\"b\"=\"q\\\"uo\\\\te\"",
                  "a\\\"b",
                  {regtype::kSz, Sz(u"q\"uo\\te")}},
        ValueCase{"wine escapes",
                  u"\"a\"=\"l1\\r\\nl2\\0z\"",
                  "a",
                  {regtype::kSz, Sz(std::u16string(u"l1\r\nl2\0z", 8))}},
        ValueCase{"default", u"@=\"d\"", "", {regtype::kSz, Sz(u"d")}},
        ValueCase{"empty name is the default", u"\"\"=\"d\"", "", {regtype::kSz, Sz(u"d")}},
        ValueCase{"name @ in quotes", u"\"@\"=\"d\"", "@", {regtype::kSz, Sz(u"d")}},
        ValueCase{"blanks around =", u"  \"a\" \t=  \"x\"", "a", {regtype::kSz, Sz(u"x")}},
        ValueCase{"comment after", u"\"a\"=\"x;y\" ; note", "a", {regtype::kSz, Sz(u"x;y")}},
        ValueCase{"non-ASCII",
                  u"\"\u00e4\"=\"\u65e5\U0001F600\"",
                  "\xc3\xa4",
                  {regtype::kSz, Sz(u"\u65e5\U0001F600")}},
        ValueCase{"dword upper case",
                  u"\"a\"=dword:0000ABCD",
                  "a",
                  {regtype::kDword, Bytes({0xcd, 0xab, 0, 0})}},
        ValueCase{"dword short", u"\"a\"=DWORD:1", "a", {regtype::kDword, Bytes({1, 0, 0, 0})}},
        ValueCase{"dword max",
                  u"\"a\"=dword:ffffffff",
                  "a",
                  {regtype::kDword, Bytes({0xff, 0xff, 0xff, 0xff})}},
        ValueCase{
            "dword of two bytes", u"\"a\"=hex(4):01,02", "a", {regtype::kDword, Bytes({1, 2})}},
        ValueCase{"empty binary", u"\"a\"=hex:", "a", {regtype::kBinary, {}}},
        ValueCase{"binary as hex(3)", u"\"a\"=hex(3):ff", "a", {regtype::kBinary, Bytes({255})}},
        ValueCase{
            "one-digit bytes", u"\"a\"=hex:1, 2 ,a", "a", {regtype::kBinary, Bytes({1, 2, 10})}},
        ValueCase{"continued",
                  u"\"a\"=hex:01,\\\r\n  02,\\\r\n\t03 ; end",
                  "a",
                  {regtype::kBinary, Bytes({1, 2, 3})}},
        ValueCase{"big type number", u"\"a\"=hex(ffffffff):00", "a", {0xffffffffu, Bytes({0})}},
        ValueCase{"string without terminator",
                  u"\"a\"=hex(1):41,00",
                  "a",
                  {regtype::kSz, Bytes({0x41, 0})}},
        ValueCase{"string of odd length",
                  u"\"a\"=hex(1):41,00,00",
                  "a",
                  {regtype::kSz, Bytes({0x41, 0, 0})}},
        ValueCase{"string with NUL inside",
                  u"\"a\"=hex(1):41,00,00,00,42,00,00,00",
                  "a",
                  {regtype::kSz, Bytes({0x41, 0, 0, 0, 0x42, 0, 0, 0})}},
        ValueCase{
            "unpaired surrogate", u"\"a\"=\"x\xD800y\"", "a", {regtype::kSz, Sz(u"x\xD800y")}}),
    LabelName<ValueCase>);

// ---------------------------------------------------------------------------------------
// What the quoted form cannot carry exactly goes out as hex(1), and comes back the same.

struct WriteCase {
  const char* label = "";
  RegValue value;
  RegFileFormat format;
  std::u16string expectedLine;
};

class RegFileWriteForm : public testing::TestWithParam<WriteCase> {};

TEST_P(RegFileWriteForm, PicksAFormThatKeepsTheBytes) {
  const WriteCase& c = GetParam();
  RegFileDocument doc;
  doc.format = c.format;
  doc.createKey("HKEY_CURRENT_USER\\K").first->set("v", c.value);
  const std::string bytes = MustWrite(doc);
  const RegFileDocument back = MustParse(bytes);
  ASSERT_EQ(back.keys().size(), 1u);
  ASSERT_TRUE(back.keys()[0].find("v"));
  EXPECT_EQ(*back.keys()[0].find("v"), c.value);

  std::u16string text;
  if (c.format.encoding == RegFileEncoding::kUtf16Le) {
    text = Utf16LeBytesToText(reinterpret_cast<const unsigned char*>(bytes.data()) + 2,
                              bytes.size() - 2);
  } else {
    text = Wtf8ToUtf16(bytes);
  }
  EXPECT_NE(text.find(c.expectedLine), std::u16string::npos) << Utf16ToWtf8(text);
}

constexpr RegFileFormat kUtf16{};
constexpr RegFileFormat kUtf8V5{RegFileHeader::kVersion5, RegFileEncoding::kUtf8,
                                RegFileLineEnd::kCrLf};
constexpr RegFileFormat kRegedit4{RegFileHeader::kRegedit4, RegFileEncoding::kUtf8,
                                  RegFileLineEnd::kCrLf};

// Built one case at a time: GCC 12 warns falsely about a braced list of these.
std::vector<WriteCase> WriteCases() {
  std::vector<WriteCase> cases;
  const auto add = [&](const char* label, std::uint32_t type, std::vector<std::uint8_t> data,
                       RegFileFormat format, std::u16string line) {
    WriteCase c;
    c.label = label;
    c.value.type = type;
    c.value.data = std::move(data);
    c.format = format;
    c.expectedLine = std::move(line);
    cases.push_back(std::move(c));
  };
  add("quoted", regtype::kSz, Sz(u"a\\\"b"), kUtf16, u"\"v\"=\"a\\\\\\\"b\"\r\n");
  add("nul inside", regtype::kSz, Sz(std::u16string(u"a\0b", 3)), kUtf16,
      u"\"v\"=hex(1):61,00,00,00,62,00,00,00\r\n");
  add("line feed", regtype::kSz, Sz(u"a\nb"), kUtf16, u"\"v\"=hex(1):61,00,0a,00,62,00,00,00\r\n");
  add("carriage return", regtype::kSz, Sz(u"\r"), kUtf16, u"\"v\"=hex(1):0d,00,00,00\r\n");
  add("no terminator", regtype::kSz, Bytes({0x61, 0}), kUtf16, u"\"v\"=hex(1):61,00\r\n");
  add("no data", regtype::kSz, {}, kUtf16, u"\"v\"=hex(1):\r\n");
  add("dword", regtype::kDword, Bytes({0x78, 0x56, 0x34, 0x12}), kUtf16,
      u"\"v\"=dword:12345678\r\n");
  add("short dword", regtype::kDword, Bytes({1}), kUtf16, u"\"v\"=hex(4):01\r\n");
  add("big-endian dword", regtype::kDwordBigEndian, Bytes({0, 0, 0, 1}), kUtf16,
      u"\"v\"=hex(5):00,00,00,01\r\n");
  add("surrogate in UTF-16", regtype::kSz, Sz(u"\xDC00"), kUtf16, u"\"v\"=\"\xDC00\"\r\n");
  add("surrogate in UTF-8", regtype::kSz, Sz(u"\xDC00"), kUtf8V5, u"\"v\"=hex(1):00,dc,00,00\r\n");
  add("REGEDIT4 text is 8-bit", regtype::kExpandSz, Sz(u"\u00e4"), kRegedit4,
      u"\"v\"=hex(2):c3,a4,00\r\n");
  add("REGEDIT4 quoted", regtype::kSz, Sz(u"\u00e4"), kRegedit4, u"\"v\"=\"\u00e4\"\r\n");
  // Longer text, read four characters at a time: escapes and what rules the quoted form out
  // anywhere in a word, spaces among them.
  add("long quoted", regtype::kSz, Sz(u"C:\\Program Files\\Say \"hi\"!"), kUtf16,
      u"\"v\"=\"C:\\\\Program Files\\\\Say \\\"hi\\\"!\"\r\n");
  add("nul in the third word", regtype::kSz, Sz(std::u16string(u"abcdefghij\0kl", 13)), kUtf16,
      u"\"v\"=hex(1):61,00,62,00,63,00,64,00,65,00,66,00,67,00,68,00,69,00,6a,00,00,00");
  add("line feed after a word", regtype::kSz, Sz(u"abcd\nefgh"), kUtf16,
      u"\"v\"=hex(1):61,00,62,00,63,00,64,00,0a,00,65,00");
  return cases;
}

INSTANTIATE_TEST_SUITE_P(Forms, RegFileWriteForm, testing::ValuesIn(WriteCases()),
                         LabelName<WriteCase>);

TEST(RegFileFormat, Regedit4RefusesTextItCannotCarry) {
  RegFileDocument doc;
  doc.format = kRegedit4;
  auto* key = doc.createKey("HKEY_CURRENT_USER\\K").first;
  key->set("odd", RegValue{regtype::kExpandSz, Bytes({0x41})});
  EXPECT_FALSE(WriteRegFile(doc).bytes);
  key->remove("odd");
  key->set("lone", RegValue{regtype::kSz, Sz(u"\xD800")});
  const RegWriteResult written = WriteRegFile(doc);
  EXPECT_FALSE(written.bytes);
  EXPECT_NE(written.error.find("lone"), std::string::npos);
}

TEST(RegFileFormat, LongHexDataWrapsLikeAnExport) {
  RegFileDocument doc;
  std::vector<std::uint8_t> data(200);
  for (std::size_t i = 0; i < data.size(); ++i) data[i] = static_cast<std::uint8_t>(i);
  doc.createKey("HKEY_CURRENT_USER\\K").first->set("bin", {regtype::kBinary, data});
  const std::string bytes = MustWrite(doc);
  const std::u16string text = Utf16LeBytesToText(
      reinterpret_cast<const unsigned char*>(bytes.data()) + 2, bytes.size() - 2);
  // First line: `"bin"=hex:` and 23 bytes; then 25 bytes a line, indented by two spaces.
  std::size_t start = text.find(u"\"bin\"");
  std::size_t total = 0;
  std::size_t lines = 0;
  for (;;) {
    const std::size_t end = text.find(u"\r\n", start);
    const std::u16string_view line(text.data() + start, end - start);
    const bool more = line.back() == u'\\';
    const std::size_t count = std::count(line.begin(), line.end(), u',') + (more ? 0 : 1);
    EXPECT_LE(line.size(), 80u);
    if (lines > 0) {
      EXPECT_EQ(line.substr(0, 2), u"  ");
      if (more) {
        EXPECT_EQ(count, 25u);
      }
    } else {
      EXPECT_EQ(count, 23u);
    }
    total += count;
    ++lines;
    start = end + 2;
    if (!more) break;
  }
  EXPECT_EQ(total, data.size());
  ExpectSameContent(MustParse(bytes), doc);
}

// ---------------------------------------------------------------------------------------
// Header, encoding and line ends stay as they were.

struct FormatCase {
  const char* label;
  std::string file;
  RegFileFormat format;
};

class RegFileKeepsFormat : public testing::TestWithParam<FormatCase> {};

TEST_P(RegFileKeepsFormat, WritesBackTheSameBytes) {
  const FormatCase& c = GetParam();
  const RegFileDocument doc = MustParse(c.file);
  EXPECT_EQ(doc.format, c.format);
  ASSERT_EQ(doc.keys().size(), 1u);
  EXPECT_EQ(MustWrite(doc), c.file);
}

INSTANTIATE_TEST_SUITE_P(
    Files, RegFileKeepsFormat,
    testing::Values(
        FormatCase{"utf16", V5File(u"[HKEY_CURRENT_USER\\A]\r\n\"x\"=\"\u00e9\"\r\n\r\n"), kUtf16},
        FormatCase{"utf8 version 5",
                   "Windows Registry Editor Version 5.00\r\n\r\n[HKEY_CURRENT_USER\\A]\r\n"
                   "\"x\"=\"\xc3\xa9\"\r\n\"e\"=hex(2):41,00,00,00\r\n\r\n",
                   kUtf8V5},
        FormatCase{"utf8 with BOM, LF",
                   "\xEF\xBB\xBFWindows Registry Editor Version 5.00\n\n[HKEY_CURRENT_USER\\A]\n"
                   "\"x\"=\"y\"\n\n",
                   {RegFileHeader::kVersion5, RegFileEncoding::kUtf8WithBom, RegFileLineEnd::kLf}},
        FormatCase{"regedit4",
                   "REGEDIT4\r\n\r\n[HKEY_CURRENT_USER\\A]\r\n\"x\"=\"\xc3\xa9\"\r\n"
                   "\"e\"=hex(2):25,41,25,00\r\n\"m\"=hex(7):61,00,c3,a9,00,00\r\n\r\n",
                   kRegedit4},
        FormatCase{"regedit4, CR",
                   "REGEDIT4\r\r[HKEY_CURRENT_USER\\A]\r\"x\"=\"y\"\r\r",
                   {RegFileHeader::kRegedit4, RegFileEncoding::kUtf8, RegFileLineEnd::kCr}}),
    LabelName<FormatCase>);

TEST(RegFileFormat, Regedit4HexTextIsHeldAsUtf16) {
  const RegFileDocument doc =
      MustParse("REGEDIT4\r\n\r\n[HKEY_CURRENT_USER\\A]\r\n\"e\"=hex(2):25,41,25,c3,a4,00\r\n");
  EXPECT_EQ(*doc.keys()[0].find("e"), (RegValue{regtype::kExpandSz, Sz(u"%A%\u00e4")}));
}

TEST(RegFileFormat, EmptyFileIsAnEmptyHive) {
  const RegFileDocument doc = MustParse("");
  EXPECT_TRUE(doc.keys().empty());
  EXPECT_EQ(doc.format, kUtf16);
  EXPECT_EQ(MustWrite(doc), V5File(u""));
}

TEST(RegFileFormat, TrailingNulsAndCommentsAreIgnored) {
  const RegFileDocument doc =
      MustParse(V5File(u"; made by hand\r\n[HKEY_CURRENT_USER\\A] \r\n ;x\r\n\"v\"=\"1\"\r\n" +
                       std::u16string(2, u'\0')));
  ASSERT_EQ(doc.keys().size(), 1u);
  EXPECT_EQ(doc.keys()[0].values().size(), 1u);
}

// ---------------------------------------------------------------------------------------
// Parse errors carry the place.

struct ErrorCase {
  const char* label;
  std::string file;
  std::size_t line;
  std::size_t column;
};

class RegFileParseError : public testing::TestWithParam<ErrorCase> {};

TEST_P(RegFileParseError, IsReportedWithLineAndColumn) {
  const ErrorCase& c = GetParam();
  const RegParseResult parsed = ParseRegFile(c.file);
  ASSERT_FALSE(parsed.document);
  EXPECT_EQ(parsed.error.line, c.line) << parsed.error.message;
  EXPECT_EQ(parsed.error.column, c.column) << parsed.error.message;
  EXPECT_FALSE(parsed.error.message.empty());
}

std::string Key(std::u16string_view lines) {
  return V5File(u"[HKEY_CURRENT_USER\\K]\r\n" + std::u16string(lines));
}

INSTANTIATE_TEST_SUITE_P(
    Files, RegFileParseError,
    testing::Values(
        ErrorCase{"wine hive", "WINE REGISTRY Version 2\n;; All keys relative to \\\\User\n", 1, 1},
        ErrorCase{"no header", V5File(u"").substr(0, 2) + "x\0"s, 1, 1},
        ErrorCase{"only a byte-order mark", "\xEF\xBB\xBF", 1, 1},
        ErrorCase{"big-endian", "\xFE\xFF\0W", 1, 1},
        ErrorCase{"value before key", V5File(u"\"a\"=\"b\"\r\n"), 3, 1},
        ErrorCase{"unknown escape", Key(u"\"a\"=\"C:\\dir\"\r\n"), 4, 8},
        ErrorCase{"unclosed quote", Key(u"\"a\"=\"b\r\n"), 4, 7},
        ErrorCase{"unclosed name", Key(u"\"a=\"b\"\r\n"), 4, 5},
        ErrorCase{"no equals", Key(u"\"a\" \"b\"\r\n"), 4, 5},
        ErrorCase{"key without bracket", V5File(u"[HKEY_CURRENT_USER\\K\r\n"), 3, 21},
        ErrorCase{"unknown root", V5File(u"[HKEY_NOWHERE\\K]\r\n"), 3, 2},
        ErrorCase{"empty key", V5File(u"[-]\r\n"), 3, 3},
        ErrorCase{"NUL in key", V5File(u"[HKCU\\A" + std::u16string(1, u'\0') + u"]\r\n"), 3, 8},
        ErrorCase{"long dword", Key(u"\"a\"=dword:123456789\r\n"), 4, 19},
        ErrorCase{"empty dword", Key(u"\"a\"=dword:\r\n"), 4, 11},
        ErrorCase{"bad hex", Key(u"\"a\"=hex:01,g2\r\n"), 4, 12},
        ErrorCase{"double comma", Key(u"\"a\"=hex:01,,02\r\n"), 4, 12},
        ErrorCase{"missing comma", Key(u"\"a\"=hex:010203\r\n"), 4, 11},
        ErrorCase{"bad type", Key(u"\"a\"=hex(g):00\r\n"), 4, 9},
        ErrorCase{"unknown form", Key(u"\"a\"=str(2):\"x\"\r\n"), 4, 5},
        ErrorCase{"junk after value", Key(u"\"a\"=\"x\" y\r\n"), 4, 9},
        ErrorCase{"junk after backslash", Key(u"\"a\"=hex:01,\\ 02\r\n"), 4, 14},
        ErrorCase{"continued at the end", Key(u"\"a\"=hex:01,\\\r\n"), 4, 13},
        ErrorCase{"column after a pair", Key(u"\"\U0001F600\"=\"\\q\"\r\n"), 4, 6},
        ErrorCase{"value under deleted key", V5File(u"[-HKEY_CURRENT_USER\\K]\r\n\"a\"=\"b\"\r\n"),
                  4, 1},
        ErrorCase{"invalid UTF-8",
                  "REGEDIT4\r\n\r\n[HKEY_CURRENT_USER\\K]\r\n\"a\"=\"\xe9t\xe9\"\r\n", 4, 6},
        ErrorCase{"UTF-8 surrogate", "REGEDIT4\n[HKCU\\K]\n\"\xc3\xa4\"=\"\xed\xa0\x80\"\n", 3, 6},
        ErrorCase{"REGEDIT4 hex text not UTF-8",
                  "REGEDIT4\r\n\r\n[HKEY_CURRENT_USER\\K]\r\n\"a\"=hex(1):41,\\\r\n  e9,00\r\n", 4,
                  12},
        ErrorCase{"odd UTF-16", V5File(u"") + "x", 1, 1}),
    LabelName<ErrorCase>);

// ---------------------------------------------------------------------------------------
// Keys: deletions, repeats, creation, lookup.

TEST(RegFileFormat, DeletionsApplyInFileOrder) {
  const RegFileDocument doc =
      MustParse(V5File(u"[HKEY_CURRENT_USER\\A]\r\n\"keep\"=\"1\"\r\n\"gone\"=\"2\"\r\n\r\n"
                       u"[HKEY_CURRENT_USER\\A\\B]\r\n\"x\"=\"1\"\r\n\r\n"
                       u"[HKEY_CURRENT_USER\\AB]\r\n\"y\"=\"1\"\r\n\r\n"
                       u"[HKEY_CURRENT_USER\\A]\r\n\"GONE\"=-\r\n\"never\"=-\r\n\r\n"
                       u"[-hkey_current_user\\a\\b]\r\n"
                       u"[-HKEY_CURRENT_USER\\C]\r\n"
                       u"[HKEY_CURRENT_USER\\A\\B\\C]\r\n\"z\"=\"1\"\r\n"));
  ASSERT_EQ(doc.keys().size(), 3u);
  EXPECT_EQ(doc.keys()[0].path(), "HKEY_CURRENT_USER\\A");
  ASSERT_EQ(doc.keys()[0].values().size(), 1u);
  EXPECT_EQ(doc.keys()[0].values()[0].name, "keep");
  EXPECT_EQ(doc.keys()[1].path(), "HKEY_CURRENT_USER\\AB");
  EXPECT_EQ(doc.keys()[2].path(), "HKEY_CURRENT_USER\\A\\B\\C");
  EXPECT_TRUE(doc.keyExists("HKEY_CURRENT_USER\\A\\B"));  // through its subkey
  EXPECT_FALSE(doc.findKey("HKEY_CURRENT_USER\\A\\B"));
}

TEST(RegFileFormat, RepeatedKeysAndValuesMerge) {
  const RegFileDocument doc =
      MustParse(V5File(u"[HKEY_CURRENT_USER\\A]\r\n\"Name\"=\"1\"\r\n\"other\"=\"2\"\r\n\r\n"
                       u"[HKEY_CURRENT_USER\\B]\r\n\r\n"
                       u"[HKCU\\a]\r\n\"NAME\"=\"3\"\r\n\"more\"=\"4\"\r\n"));
  ASSERT_EQ(doc.keys().size(), 2u);
  const RegFileKey& a = doc.keys()[0];
  EXPECT_EQ(a.path(), "HKEY_CURRENT_USER\\A");
  ASSERT_EQ(a.values().size(), 3u);
  EXPECT_EQ(a.values()[0].name, "Name");
  EXPECT_EQ(a.values()[0].value(), (RegValue{regtype::kSz, Sz(u"3")}));
  EXPECT_EQ(a.values()[2].name, "more");
}

TEST(RegFileFormat, NamesCompareWithoutCaseAndKeepTheirSpelling) {
  RegFileDocument doc;
  RegFileKey* key = doc.createKey("HKEY_CURRENT_USER\\Software\\\u00c4bc").first;
  ASSERT_TRUE(key);
  EXPECT_TRUE(key->set("SaveOptions", {regtype::kSz, Sz(u"One")}));
  EXPECT_FALSE(key->set("SAVEOPTIONS", {regtype::kSz, Sz(u"One")}));  // same value: no change
  EXPECT_TRUE(key->set("saveoptions", {regtype::kSz, Sz(u"Two")}));
  ASSERT_EQ(key->values().size(), 1u);
  EXPECT_EQ(key->values()[0].name, "SaveOptions");
  EXPECT_EQ(doc.findKey("hkcu\\SOFTWARE\\\u00e4BC"), key);
  EXPECT_TRUE(key->remove("SAVEoptions"));
  EXPECT_FALSE(key->remove("SaveOptions"));
}

TEST(RegFileFormat, ManyValuesKeepTheirOrderThroughSetsAndRemovals) {
  RegFileKey key("HKEY_CURRENT_USER\\K");
  std::vector<std::string> names;
  for (int n = 1; n <= 40; ++n) {
    names.push_back("Url" + std::to_string(n));
    EXPECT_TRUE(key.set(names.back(), {regtype::kDword, Bytes({n, 0, 0, 0})}));
  }
  // Remove every third one, from the back, then overwrite a few under other spellings.
  for (int n = 39; n >= 1; n -= 3) {
    EXPECT_TRUE(key.remove("URL" + std::to_string(n)));
    names.erase(names.begin() + (n - 1));
  }
  EXPECT_FALSE(key.set("url2", {regtype::kDword, Bytes({2, 0, 0, 0})}));
  EXPECT_TRUE(key.set("url40", {regtype::kDword, Bytes({99, 0, 0, 0})}));
  ASSERT_EQ(key.values().size(), names.size());
  for (std::size_t i = 0; i < names.size(); ++i) {
    EXPECT_EQ(key.values()[i].name, names[i]);
    ASSERT_TRUE(key.find(names[i]));
    EXPECT_EQ(key.find(names[i])->data.data(), key.values()[i].data.data());
  }
  EXPECT_FALSE(key.find("url39"));
  EXPECT_EQ(key.find("URL40")->data[0], 99);
  // The last value taken away and another added, many times over: the slots of the ones
  // taken away must neither be found nor fill the index.
  for (int n = 0; n < 300; ++n) {
    EXPECT_TRUE(key.remove(names.back()));
    EXPECT_FALSE(key.find(names.back()));
    names.back() = "last" + std::to_string(n);
    EXPECT_TRUE(key.set(names.back(), {regtype::kDword, Bytes({n % 256, 0, 0, 0})}));
    ASSERT_TRUE(key.find(names.back()));
    EXPECT_EQ(key.find(names.back())->data[0], n % 256);
  }
  EXPECT_TRUE(key.find(names.front()));
  while (!names.empty()) {
    EXPECT_TRUE(key.remove(names.front()));
    names.erase(names.begin());
    if (!names.empty()) {
      EXPECT_EQ(key.find(names.front())->data.data(), key.values().front().data.data());
    }
  }
  EXPECT_TRUE(key.values().empty());
}

TEST(RegFileFormat, ValuesReadFromAFileOutliveTheirDocumentOnlyInACopy) {
  std::u16string body = u"[HKEY_CURRENT_USER\\A]\r\n";
  for (int n = 0; n < 300; ++n) {
    body += u"\"v" + Wtf8ToUtf16(std::to_string(n)) + u"\"=\"" + std::u16string(n, u'x') +
            u"\"\r\n\"d" + Wtf8ToUtf16(std::to_string(n)) + u"\"=dword:0000002a\r\n";
  }
  const std::string file = V5File(body + u"\r\n");
  // A copy of a document that is gone, a document moved twice (the first one it was moved
  // from gone too), and a copy of that copy.
  RegFileDocument copy = [&] {
    const RegFileDocument read = MustParse(file);
    return RegFileDocument(read);
  }();
  std::optional<RegFileDocument> first = MustParse(file);
  RegFileDocument moved = std::move(*first);
  first.reset();
  const RegFileDocument copyOfCopy = [&] {
    const RegFileDocument local = copy;
    return local;
  }();
  for (const RegFileDocument* doc :
       std::initializer_list<const RegFileDocument*>{&copy, &moved, &copyOfCopy}) {
    ASSERT_EQ(doc->keys().size(), 1u);
    const RegFileKey& key = doc->keys()[0];
    ASSERT_EQ(key.values().size(), 600u);
    EXPECT_EQ(*key.find("v299"), (RegValue{regtype::kSz, Sz(std::u16string(299, u'x'))}));
    EXPECT_EQ(*key.find("d7"), DwordValue(42));
    EXPECT_EQ(MustWrite(*doc), file);
  }
  // A copy stands on its own: the original may change or go.
  moved.findKey("HKCU\\A")->set("v1", RegValue{regtype::kSz, Sz(u"changed")});
  EXPECT_EQ(*copy.keys()[0].find("v1"), (RegValue{regtype::kSz, Sz(u"x")}));
}

TEST(RegFileFormat, AValueSetFromAnotherOfItsKeyIsCopiedBeforeTheKeyGrows) {
  RegFileDocument doc = MustParse(V5File(u"[HKEY_CURRENT_USER\\A]\r\n\"a\"=\"first\"\r\n\r\n"));
  RegFileKey& key = *doc.findKey("HKEY_CURRENT_USER\\A");
  const RegValue first{regtype::kSz, Sz(u"first")};
  // The data each value is set from stands in the same key, which grows as they are added.
  for (int n = 0; n < 40; ++n) EXPECT_TRUE(key.set("c" + std::to_string(n), *key.find("a")));
  EXPECT_FALSE(key.set("a", *key.find("c39")));  // the same value: nothing changes
  EXPECT_TRUE(key.set("a", RegValue{regtype::kBinary, Bytes({1, 2})}));
  EXPECT_TRUE(key.set("c0", *key.find("a")));  // replaced by another size
  EXPECT_EQ(*key.find("c0"), (RegValue{regtype::kBinary, Bytes({1, 2})}));
  EXPECT_EQ(*key.find("c39"), first);
}

TEST(RegFileFormat, AUtf16FileReadsTheSameWhereverItsBytesStand) {
  const std::string file = V5File(u"[HKEY_CURRENT_USER\\A]\r\n\"s\"=\"text \u00e4\"\r\n\r\n");
  // One byte further on, the file's units are not aligned in memory and are read through a
  // copy; the document must be the same.
  const std::string shifted = "x" + file;
  const RegFileDocument aligned = MustParse(file);
  const RegFileDocument unaligned = MustParse(std::string_view(shifted).substr(1));
  ExpectSameContent(aligned, unaligned);
  EXPECT_EQ(*unaligned.keys()[0].find("s"), (RegValue{regtype::kSz, Sz(u"text \u00e4")}));
}

TEST(RegFileFormat, NamesOutsideAsciiCompareFoldedWhateverTheirLength) {
  EXPECT_TRUE(SameRegistryName("SaveOptions", "saveOPTIONS"));
  EXPECT_FALSE(SameRegistryName("url1", "url10"));
  EXPECT_FALSE(SameRegistryName("url[", "url{"));  // only letters fold
  EXPECT_TRUE(SameRegistryName("x\u00e9\u03c9", "X\u00c9\u03a9"));
  EXPECT_FALSE(SameRegistryName("\u00e9", "\u00e8"));
  EXPECT_FALSE(SameRegistryName("e", "\u00e9"));
  // A name that is not UTF-8 folds as its replacement characters do.
  EXPECT_TRUE(SameRegistryName("a\xff", "A\xff"));
}

TEST(RegFileFormat, AKeyWithManyValuesFoldsOnlyLettersOfLongNames) {
  // Signs beside the letters ('@' '[' '`' '{') stay apart; letters fold at any length.
  RegFileKey key("HKEY_CURRENT_USER\\K");
  std::vector<std::string> names;
  for (const char* stem : {"LongValueName", "a", "Typed@", "Typed[", "Typed`", "Typed{"}) {
    for (int n = 0; n < 4; ++n) names.push_back(stem + std::to_string(n) + "TailOfIt");
  }
  for (std::size_t i = 0; i < names.size(); ++i) {
    EXPECT_TRUE(key.set(names[i], {regtype::kDword, Bytes({static_cast<int>(i), 0, 0, 0})}));
  }
  for (std::size_t i = 0; i < names.size(); ++i) {
    std::string other = names[i];
    for (char& c : other)
      c = static_cast<char>(std::islower(c) ? std::toupper(c) : std::tolower(c));
    ASSERT_TRUE(key.find(other)) << other;
    EXPECT_EQ(key.find(other)->data[0], i) << other;
  }
  EXPECT_EQ(key.values().size(), names.size());
}

TEST(RegFileFormat, ManySectionsAreFoundThroughEveryChange) {
  // Enough sections that the index grows several times, with lookups after insertions in the
  // middle (which move the sections after them) and after deletions.
  RegFileDocument doc;
  for (int i = 0; i < 500; ++i) {
    std::string path =
        "HKEY_CURRENT_USER\\Tree" + std::to_string(i % 7) + "\\Key" + std::to_string(i);
    ASSERT_TRUE(doc.appendSection(std::move(path)));
  }
  RegFileKey* key = doc.findKey("hkcu\\tree3\\KEY10");
  ASSERT_TRUE(key);
  key->set("v", {regtype::kSz, Sz(u"ten")});
  // A new key sorts in after its tree, in front of sections that were looked up before.
  ASSERT_TRUE(doc.createKey("HKEY_CURRENT_USER\\Tree0\\New").second);
  key = doc.findKey("hkcu\\tree3\\KEY10");
  ASSERT_TRUE(key);
  EXPECT_EQ(key->path(), "HKEY_CURRENT_USER\\Tree3\\Key10");
  ASSERT_TRUE(key->find("v"));
  for (int i = 0; i < 500; ++i) {
    const std::string path =
        "HKEY_CURRENT_USER\\TREE" + std::to_string(i % 7) + "\\key" + std::to_string(i);
    const RegFileKey* found = doc.findKey(path);
    ASSERT_TRUE(found) << path;
    EXPECT_EQ(found->path(),
              "HKEY_CURRENT_USER\\Tree" + std::to_string(i % 7) + "\\Key" + std::to_string(i));
  }
  EXPECT_TRUE(doc.keyExists("HKCU\\Tree6"));  // only through its subkeys
  EXPECT_TRUE(doc.deleteKeyTree("HKCU\\Tree6\\Key6"));
  EXPECT_FALSE(doc.findKey("HKCU\\Tree6\\Key6"));
  EXPECT_TRUE(doc.keyExists("HKCU\\Tree6"));  // Key13 and others are still below it
  EXPECT_TRUE(doc.deleteKeyTree("HKCU\\Tree6"));
  EXPECT_FALSE(doc.keyExists("HKCU\\Tree6"));
  EXPECT_FALSE(doc.findKey("HKCU\\Tree6\\Key13"));
  ASSERT_TRUE(doc.findKey("HKCU\\Tree5\\Key5"));
  EXPECT_EQ(doc.keys().size(), 501u - 71u);  // Key6, Key13, ... Key496 are gone
}

TEST(RegFileFormat, KeysWithoutSectionsExistThroughTheirSubkeysAfterEveryChange) {
  RegFileDocument doc =
      MustParse(V5File(u"[HKEY_CURRENT_USER\\A\\B\\C]\r\n\r\n"
                       u"[HKEY_CURRENT_USER\\A\\B\\D]\r\n\r\n"
                       u"[HKEY_CURRENT_USER\\Z0]\r\n\r\n"
                       u"[HKEY_CURRENT_USER\\Z1]\r\n\r\n"));
  for (int round = 0; round < 2; ++round) {
    EXPECT_TRUE(doc.keyExists("HKCU\\A"));
    EXPECT_TRUE(doc.keyExists("HKCU\\A\\B"));
    EXPECT_FALSE(doc.findKey("HKCU\\A\\B"));
    EXPECT_FALSE(doc.keyExists("HKCU\\A\\C"));
    // The index is built again.
    EXPECT_TRUE(doc.deleteKeyTree("HKCU\\Z" + std::to_string(round)));
  }
}

TEST(RegFileFormat, HexAfterALongNameBreaksAfterItsFirstByte) {
  for (const auto& [header, encoding] :
       {std::pair{RegFileHeader::kVersion5, RegFileEncoding::kUtf16Le},
        std::pair{RegFileHeader::kRegedit4, RegFileEncoding::kUtf8}}) {
    RegFileDocument doc;
    doc.format.header = header;
    doc.format.encoding = encoding;
    doc.format.lineEnd = RegFileLineEnd::kLf;
    const std::string name(80, 'n');
    doc.createKey("HKEY_CURRENT_USER\\K").first->set(name, {regtype::kBinary, Bytes({0xab, 0xcd})});
    const std::string bytes = MustWrite(doc);
    const std::string expected = "\"" + name + "\"=hex:ab,\\\n  cd\n";
    if (encoding == RegFileEncoding::kUtf16Le) {
      const std::u16string text = Utf16LeBytesToText(
          reinterpret_cast<const unsigned char*>(bytes.data()) + 2, bytes.size() - 2);
      EXPECT_NE(Utf16ToWtf8(text).find(expected), std::string::npos) << Utf16ToWtf8(text);
    } else {
      EXPECT_NE(bytes.find(expected), std::string::npos) << bytes;
    }
    ExpectSameContent(MustParse(bytes), doc);
  }
}

TEST(RegFileFormat, CreatingAKeyAddsSectionsForMissingParentsInTreeOrder) {
  RegFileDocument doc =
      MustParse(V5File(u"[HKEY_CURRENT_USER\\SOFTWARE]\r\n\r\n"
                       u"[HKEY_CURRENT_USER\\SOFTWARE\\Vendor]\r\n\r\n"
                       u"[HKEY_CURRENT_USER\\SOFTWARE\\Vendor\\Deep\\Leaf]\r\n\r\n"
                       u"[HKEY_CURRENT_USER\\Zeta]\r\n\r\n"
                       u"[HKEY_LOCAL_MACHINE\\Software]\r\n\r\n"));
  auto [key, created] = doc.createKey("HKEY_CURRENT_USER\\Software\\Microsoft\\Internet Explorer");
  ASSERT_TRUE(key);
  EXPECT_TRUE(created);
  EXPECT_FALSE(doc.createKey("HKCU\\software\\microsoft").second);
  // A key that so far exists only through its subkey gets its section in front of it.
  EXPECT_TRUE(doc.createKey("HKEY_CURRENT_USER\\Software\\Vendor\\Deep").second);

  std::vector<std::string> paths;
  for (const RegFileKey& k : doc.keys()) paths.emplace_back(k.path());
  EXPECT_EQ(paths, (std::vector<std::string>{
                       "HKEY_CURRENT_USER\\SOFTWARE",
                       "HKEY_CURRENT_USER\\SOFTWARE\\Vendor",
                       "HKEY_CURRENT_USER\\SOFTWARE\\Vendor\\Deep",
                       "HKEY_CURRENT_USER\\SOFTWARE\\Vendor\\Deep\\Leaf",
                       "HKEY_CURRENT_USER\\SOFTWARE\\Microsoft",
                       "HKEY_CURRENT_USER\\SOFTWARE\\Microsoft\\Internet Explorer",
                       "HKEY_CURRENT_USER\\Zeta",
                       "HKEY_LOCAL_MACHINE\\Software",
                   }));
  EXPECT_TRUE(doc.keyExists("HKEY_CURRENT_USER"));
  EXPECT_FALSE(doc.keyExists("HKEY_CURRENT_USER\\Software\\Other"));
  EXPECT_FALSE(doc.keyExists("NOWHERE\\Software"));
  EXPECT_FALSE(doc.createKey("NOWHERE\\Software").first);
}

TEST(RegFileFormat, DeletingATreeLeavesSiblingsWithACommonPrefix) {
  RegFileDocument doc;
  doc.createKey("HKEY_CURRENT_USER\\A\\B");
  doc.createKey("HKEY_CURRENT_USER\\AB");
  EXPECT_TRUE(doc.deleteKeyTree("HKCU\\a"));
  EXPECT_FALSE(doc.deleteKeyTree("HKCU\\a"));
  ASSERT_EQ(doc.keys().size(), 1u);
  EXPECT_EQ(doc.keys()[0].path(), "HKEY_CURRENT_USER\\AB");
  EXPECT_FALSE(doc.keyExists("HKEY_CURRENT_USER\\A"));
}

}  // namespace
}  // namespace tavelin
