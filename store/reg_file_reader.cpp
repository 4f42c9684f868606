#include "store/reg_file_reader.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>
#include <optional>
#include <vector>

#include "platform/utf16_lanes.h"
#include "platform/wtf8.h"
#include "store/hex_digits.h"

namespace tavelin {

namespace {

constexpr std::u16string_view kVersion5Header = u"Windows Registry Editor Version 5.00";
constexpr std::u16string_view kRegedit4Header = u"REGEDIT4";

bool StartsWithNoCase(std::u16string_view text, std::u16string_view prefix) {
  if (text.size() < prefix.size()) return false;
  for (std::size_t i = 0; i < prefix.size(); ++i) {
    char16_t a = text[i];
    if (a >= u'A' && a <= u'Z') a = static_cast<char16_t>(a + 0x20);
    if (a != prefix[i]) return false;
  }
  return true;
}

bool IsBlank(char16_t c) {
  return c == u' ' || c == u'\t';
}

std::u16string_view TrimRight(std::u16string_view s) {
  while (!s.empty() && IsBlank(s.back())) s.remove_suffix(1);
  return s;
}

// The first of the units from `p` on that is `a` or `b`, or `stop`: eight units at a time, and
// the last few one by one.
const char16_t* FindEither(const char16_t* p, const char16_t* stop, char16_t a, char16_t b) {
  for (; stop - p >= 8; p += 8) {
    const EightUnits eight = LoadEightUnits(p);
    const unsigned at = FirstUnit((eight == std::uint16_t{a}) | (eight == std::uint16_t{b}));
    if (at < 8) return p + at;
  }
  while (p != stop && *p != a && *p != b) ++p;
  return p;
}

// Where the line ends (at a CR or LF), or `stop`.
const char16_t* FindLineEnd(const char16_t* p, const char16_t* stop) {
  return FindEither(p, stop, u'\r', u'\n');
}

// Where the next '"' or backslash stands, or `stop`.
const char16_t* FindQuoteOrBackslash(const char16_t* p, const char16_t* stop) {
  return FindEither(p, stop, u'"', u'\\');
}

class Parser {
 public:
  Parser(std::u16string_view text, RegFileDocument& doc) : text_(text), doc_(doc) {}

  // Returns false with error_ set.
  bool run();
  RegParseError error_;

 private:
  bool nextLine();
  bool fail(std::size_t pos, std::string message);
  std::size_t columnOf(std::size_t pos) const;
  void skipBlanks() {
    while (pos_ < line_.size() && IsBlank(line_[pos_])) ++pos_;
  }
  bool atEnd() const { return pos_ >= line_.size(); }
  bool parseKeyLine();
  bool parseValueLine();
  // A quoted text without escapes, as it stands in the line, with pos_ after it; nothing,
  // with pos_ where it was, for one that has escapes or no end.
  std::optional<std::u16string_view> plainQuoted();
  template <class Out>
  bool parseQuoted(Out& out);
  bool parseHexList(std::vector<std::uint8_t>& out);
  bool parseHexNumber(std::uint32_t& number, const std::string& what);
  bool expectLineEnd();
  void storePending();

  std::u16string_view text_;
  RegFileDocument& doc_;
  std::size_t next_ = 0;  // start of the next line in text_
  std::size_t lineNo_ = 0;
  std::u16string_view line_;
  std::size_t pos_ = 0;
  // The section values go to, null when none. Sections are only appended while it is set,
  // and a deletion clears it, so it stays valid.
  RegFileKey* current_ = nullptr;
  bool inDeletedKey_ = false;
  // The current section's values read since it began or since its last deletion: stored in
  // one go, so that a section's values are allocated once.
  std::vector<RegFileValue> pending_;
  std::u16string name_;              // reused for every value's name
  std::string path_;                 // reused for every section's path
  std::vector<std::uint8_t> bytes_;  // reused for every value's data, before the document keeps it
};

bool Parser::nextLine() {
  if (next_ >= text_.size()) return false;
  const std::size_t start = next_;
  const char16_t* const begin = text_.data();
  const char16_t* const stop = begin + text_.size();
  const char16_t* p = begin + start;
  p = FindLineEnd(p, stop);
  std::size_t end = static_cast<std::size_t>(p - begin);
  line_ = text_.substr(start, end - start);
  if (end < text_.size()) {
    const bool crlf = text_[end] == u'\r' && end + 1 < text_.size() && text_[end + 1] == u'\n';
    if (lineNo_ == 0) {
      doc_.format.lineEnd = crlf                  ? RegFileLineEnd::kCrLf
                            : text_[end] == u'\r' ? RegFileLineEnd::kCr
                                                  : RegFileLineEnd::kLf;
    }
    end += crlf ? 2 : 1;
  }
  next_ = end;
  ++lineNo_;
  pos_ = 0;
  return true;
}

std::size_t Parser::columnOf(std::size_t pos) const {
  std::size_t column = 1;
  for (std::size_t i = 0; i < pos && i < line_.size(); ++i) {
    if (!(IsLowSurrogate(line_[i]) && i > 0 && IsHighSurrogate(line_[i - 1]))) ++column;
  }
  return column;
}

bool Parser::fail(std::size_t pos, std::string message) {
  error_ = {lineNo_, columnOf(pos), std::move(message)};
  return false;
}

void Parser::storePending() {
  if (current_ == nullptr || pending_.empty()) return;
  current_->reserve(pending_.size());
  for (RegFileValue& v : pending_) current_->set(std::move(v));
  pending_.clear();
}

bool Parser::run() {
  if (!nextLine()) {
    error_ = {1, 1, "the file has no header"};
    return false;
  }
  const std::u16string_view header = TrimRight(line_);
  if (header == kVersion5Header) {
    doc_.format.header = RegFileHeader::kVersion5;
  } else if (header == kRegedit4Header) {
    doc_.format.header = RegFileHeader::kRegedit4;
  } else {
    return fail(0,
                "not a registry export: the first line must be "
                "\"Windows Registry Editor Version 5.00\" or \"REGEDIT4\"");
  }
  while (nextLine()) {
    skipBlanks();
    if (atEnd() || line_[pos_] == u';') continue;
    const char16_t c = line_[pos_];
    if (c == u'[') {
      if (!parseKeyLine()) return false;
    } else if (c == u'"' || c == u'@') {
      if (!parseValueLine()) return false;
    } else {
      return fail(pos_, "expected a [key], a value or a comment");
    }
  }
  storePending();
  return true;
}

bool Parser::parseKeyLine() {
  storePending();
  const std::size_t open = pos_;
  const std::u16string_view trimmed = TrimRight(line_);
  if (trimmed.size() < open + 2 || trimmed.back() != u']') {
    return fail(trimmed.size(), "a key line must end with ']'");
  }
  std::size_t first = open + 1;
  const bool deletion = line_[first] == u'-';
  if (deletion) ++first;
  const std::u16string_view inner = trimmed.substr(first, trimmed.size() - 1 - first);
  if (inner.empty()) return fail(first, "the key path is empty");
  if (const auto nul = inner.find(u'\0'); nul != std::u16string_view::npos) {
    return fail(first + nul, "a key name cannot hold a NUL character");
  }
  std::string& path = path_;
  Utf16ToWtf8(inner, path);
  static constexpr const char* kNoRoot =
      "the key path must begin with a root key such as HKEY_CURRENT_USER";
  if (deletion) {
    if (CanonicalRegKeyPath(path).empty()) return fail(first, kNoRoot);
    doc_.deleteKeyTree(path);
    current_ = nullptr;
    inDeletedKey_ = true;
  } else {
    current_ = doc_.appendSection(path);
    if (current_ == nullptr) return fail(first, kNoRoot);
    inDeletedKey_ = false;
  }
  return true;
}

// Quoted text goes to UTF-16 (names) or straight to the UTF-16LE bytes of string data.
void Append(std::u16string& out, const char16_t* text, std::size_t units) {
  out.append(text, units);
}
void Append(std::vector<std::uint8_t>& out, const char16_t* text, std::size_t units) {
  // Room for the terminating NUL too, so that text without escapes is allocated once; text
  // with many escapes grows by doubling.
  const std::size_t need = out.size() + 2 * units + 2;
  if (need > out.capacity()) out.reserve(std::max(need, 2 * out.capacity()));
  if constexpr (kLittleEndianLanes) {
    const auto* bytes = reinterpret_cast<const std::uint8_t*>(text);
    out.insert(out.end(), bytes, bytes + 2 * units);
  } else {
    const std::size_t at = out.size();
    out.resize(at + 2 * units);
    TextToUtf16Le(std::u16string_view(text, units), out.data() + at);
  }
}

std::optional<std::u16string_view> Parser::plainQuoted() {
  // pos_ is at the opening quote. Nearly every quoted text has no escape in it.
  const char16_t* const begin = line_.data();
  const char16_t* const end = FindQuoteOrBackslash(begin + pos_ + 1, begin + line_.size());
  if (end == begin + line_.size() || *end != u'"') return std::nullopt;
  const std::u16string_view plain(begin + pos_ + 1,
                                  static_cast<std::size_t>(end - begin) - pos_ - 1);
  pos_ = static_cast<std::size_t>(end - begin) + 1;
  return plain;
}

template <class Out>
bool Parser::parseQuoted(Out& out) {
  // pos_ is at the opening quote.
  out.clear();
  ++pos_;
  while (pos_ < line_.size()) {
    const char16_t c = line_[pos_];
    if (c == u'"') {
      ++pos_;
      return true;
    }
    if (c == u'\\') {
      if (pos_ + 1 >= line_.size()) break;
      char16_t e = line_[pos_ + 1];
      switch (e) {
        case u'\\':
        case u'"':
          break;
        case u'r':
          e = u'\r';
          break;
        case u'n':
          e = u'\n';
          break;
        case u'0':
          e = u'\0';
          break;
        default:
          return fail(pos_, "unknown escape in a quoted text (a backslash is written \\\\)");
      }
      Append(out, &e, 1);
      pos_ += 2;
      continue;
    }
    // Plain characters up to the next quote or backslash go over in one piece.
    const char16_t* const begin = line_.data();
    const char16_t* const p = FindQuoteOrBackslash(begin + pos_ + 1, begin + line_.size());
    const auto end = static_cast<std::size_t>(p - begin);
    Append(out, begin + pos_, end - pos_);
    pos_ = end;
  }
  return fail(line_.size(), "the quoted text has no closing '\"'");
}

bool Parser::expectLineEnd() {
  skipBlanks();
  if (atEnd() || line_[pos_] == u';') return true;
  return fail(pos_, "unexpected text after the value");
}

bool Parser::parseHexList(std::vector<std::uint8_t>& out) {
  bool afterComma = true;  // a byte may follow
  for (;;) {
    if (afterComma) {
      // Runs of two digits and a comma, nearly all of an export's hex data, in one loop that
      // stores into room made for as many as the line can hold.
      const char16_t* p = line_.data() + pos_;
      const char16_t* const stop = line_.data() + line_.size();
      const std::size_t at = out.size();
      out.resize(at + static_cast<std::size_t>(stop - p) / 3);
      std::uint8_t* o = out.data() + at;
      for (; stop - p >= 3 && p[2] == u','; p += 3) {
        const int hi = HexDigitValue(p[0]);
        const int lo = HexDigitValue(p[1]);
        if ((hi | lo) < 0) break;
        *o++ = static_cast<std::uint8_t>(hi * 16 + lo);
      }
      out.resize(static_cast<std::size_t>(o - out.data()));
      pos_ = static_cast<std::size_t>(p - line_.data());
    }
    skipBlanks();
    if (atEnd() || line_[pos_] == u';') return true;
    const char16_t c = line_[pos_];
    if (c == u'\\') {
      ++pos_;
      skipBlanks();
      if (!atEnd()) return fail(pos_, "unexpected text after '\\'");
      if (!nextLine())
        return fail(line_.size(), "the hex data ends with '\\' at the end of the file");
      continue;
    }
    if (c == u',') {
      if (afterComma) return fail(pos_, "expected a hex byte before ','");
      afterComma = true;
      ++pos_;
      continue;
    }
    if (!afterComma) return fail(pos_, "expected ',' between hex bytes");
    const int hi = HexDigitValue(c);
    if (hi < 0) return fail(pos_, "expected a hex byte");
    ++pos_;
    int byte = hi;
    if (pos_ < line_.size()) {
      if (const int lo = HexDigitValue(line_[pos_]); lo >= 0) {
        byte = byte * 16 + lo;
        ++pos_;
      }
    }
    out.push_back(static_cast<std::uint8_t>(byte));
    afterComma = false;
  }
}

bool Parser::parseHexNumber(std::uint32_t& number, const std::string& what) {
  std::size_t digits = 0;
  number = 0;
  int digit = 0;
  while (pos_ < line_.size() && (digit = HexDigitValue(line_[pos_])) >= 0) {
    if (++digits > 8) return fail(pos_, what + " has at most 8 hex digits");
    number = number * 16 + static_cast<std::uint32_t>(digit);
    ++pos_;
  }
  if (digits == 0) return fail(pos_, "expected " + what + " in hex digits");
  return true;
}

bool Parser::parseValueLine() {
  if (current_ == nullptr) {
    return fail(pos_, inDeletedKey_ ? "a value under a deleted key" : "a value before any [key]");
  }
  std::string nameText;
  if (line_[pos_] == u'@') {
    ++pos_;
  } else if (const std::optional<std::u16string_view> plain = plainQuoted()) {
    nameText = Utf16ToWtf8(*plain);
  } else {
    if (!parseQuoted(name_)) return false;
    nameText = Utf16ToWtf8(name_);
  }
  skipBlanks();
  if (atEnd() || line_[pos_] != u'=') return fail(pos_, "expected '=' after the value name");
  ++pos_;
  skipBlanks();
  const std::size_t dataStart = pos_;
  const std::u16string_view rest = line_.substr(pos_);

  std::uint32_t type = regtype::kSz;
  bytes_.clear();
  if (!rest.empty() && rest[0] == u'-') {
    ++pos_;
    if (!expectLineEnd()) return false;
    storePending();
    current_->remove(nameText);
    return true;
  }
  if (!rest.empty() && rest[0] == u'"') {
    if (const std::optional<std::u16string_view> plain =
            kLittleEndianLanes ? plainQuoted() : std::nullopt) {
      // The units as they stand in the line are the data, followed by its NUL.
      if (!expectLineEnd()) return false;
      static constexpr std::uint8_t kNul[2] = {0, 0};
      const auto* units = reinterpret_cast<const std::uint8_t*>(plain->data());
      pending_.push_back({std::move(nameText), type, doc_.keep({units, 2 * plain->size()}, kNul)});
      return true;
    }
    if (!parseQuoted(bytes_)) return false;
    bytes_.push_back(0);  // the terminating NUL
    bytes_.push_back(0);
    if (!expectLineEnd()) return false;
  } else if (StartsWithNoCase(rest, u"dword:")) {
    pos_ += 6;
    std::uint32_t number = 0;
    if (!parseHexNumber(number, "a dword")) return false;
    if (!expectLineEnd()) return false;
    type = regtype::kDword;
    const std::array<std::uint8_t, 4> dword = DwordBytes(number);
    bytes_.assign(dword.begin(), dword.end());
  } else if (StartsWithNoCase(rest, u"hex")) {
    pos_ += 3;
    type = regtype::kBinary;
    if (pos_ < line_.size() && line_[pos_] == u'(') {
      ++pos_;
      if (!parseHexNumber(type, "a value type")) return false;
      if (pos_ >= line_.size() || line_[pos_] != u')') return fail(pos_, "expected ')'");
      ++pos_;
    }
    if (pos_ >= line_.size() || line_[pos_] != u':') return fail(pos_, "expected ':'");
    ++pos_;
    const std::size_t hexLine = lineNo_;
    const std::size_t hexColumn = columnOf(pos_);
    if (!parseHexList(bytes_)) return false;
    if (doc_.format.header == RegFileHeader::kRegedit4 && IsStringType(type)) {
      // 8-bit text in this kind of file; held as UTF-16 like every string.
      const std::string_view bytes(reinterpret_cast<const char*>(bytes_.data()), bytes_.size());
      if (FindInvalidUtf8(bytes)) {
        error_ = {hexLine, hexColumn, "the text of this value is not valid UTF-8"};
        return false;
      }
      const std::u16string text = Wtf8ToUtf16(bytes);
      bytes_.assign(text.size() * 2, 0);
      TextToUtf16Le(text, bytes_.data());
    }
  } else {
    return fail(dataStart, "expected \"text\", dword:, hex: or hex(N): after '='");
  }
  pending_.push_back({std::move(nameText), type, doc_.keep(bytes_)});
  return true;
}

// Where the bad byte of a UTF-8 file stands, as a line and a column in characters.
RegParseError PlaceUtf8Error(std::string_view body, std::size_t bad) {
  const std::string_view before = body.substr(0, bad);
  std::size_t line = 1;
  std::size_t lineStart = 0;
  for (std::size_t i = 0; i < before.size(); ++i) {
    const bool cr = before[i] == '\r';
    if (before[i] == '\n' || cr) {
      if (cr && i + 1 < body.size() && body[i + 1] == '\n') ++i;
      ++line;
      lineStart = i + 1;
    }
  }
  std::size_t column = 1;
  for (std::size_t i = lineStart; i < before.size(); ++i) {
    if ((static_cast<unsigned char>(before[i]) & 0xC0) != 0x80) ++column;
  }
  return {line, column, "the file is not valid UTF-8 text"};
}

}  // namespace

RegParseResult ParseRegFile(std::string_view bytes) {
  RegParseResult result;
  RegFileDocument doc;
  std::u16string decoded;  // the file's text, when it cannot be read where it stands
  std::u16string_view text;
  const auto fail = [&](std::size_t line, std::size_t column, std::string message) {
    result.error = {line, column, std::move(message)};
    return result;
  };
  if (bytes.empty()) {
    result.document = std::move(doc);
    return result;
  }
  if (bytes.size() >= 2 && bytes[0] == '\xFF' && bytes[1] == '\xFE') {
    doc.format.encoding = RegFileEncoding::kUtf16Le;
    if (bytes.size() % 2 != 0) return fail(1, 1, "the UTF-16 file ends in half a character");
    const char* const units = bytes.data() + 2;
    if (kLittleEndianLanes && reinterpret_cast<std::uintptr_t>(units) % alignof(char16_t) == 0) {
      // On a little-endian machine the file's bytes are already the units the parser reads:
      // a large file is not copied first. The parser only reads them.
      text = std::u16string_view(reinterpret_cast<const char16_t*>(units), bytes.size() / 2 - 1);
    } else {
      decoded = Utf16LeBytesToText(reinterpret_cast<const unsigned char*>(units), bytes.size() - 2);
      text = decoded;
    }
  } else if (bytes.size() >= 2 && bytes[0] == '\xFE' && bytes[1] == '\xFF') {
    return fail(1, 1, "UTF-16 big-endian files are not supported");
  } else {
    std::string_view body = bytes;
    doc.format.encoding = RegFileEncoding::kUtf8;
    if (body.substr(0, 3) == "\xEF\xBB\xBF") {
      doc.format.encoding = RegFileEncoding::kUtf8WithBom;
      body.remove_prefix(3);
    }
    if (const auto bad = FindInvalidUtf8(body)) {
      result.error = PlaceUtf8Error(body, *bad);
      return result;
    }
    decoded = Wtf8ToUtf16(body);
    text = decoded;
  }
  // Some exports end in NUL characters.
  while (!text.empty() && text.back() == u'\0') text.remove_suffix(1);

  // Sections of a typical export take a few hundred characters each.
  doc.reserve(text.size() / 256);
  Parser parser(text, doc);
  if (!parser.run()) {
    result.error = parser.error_;
    return result;
  }
  result.document = std::move(doc);
  return result;
}

}  // namespace tavelin
