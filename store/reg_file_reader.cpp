#include "store/reg_file_reader.h"

#include <array>
#include <cstdint>
#include <vector>

#include "platform/wtf8.h"
#include "store/hex_digits.h"

namespace tavelin {

namespace {

constexpr std::u16string_view kVersion5Header = u"Windows Registry Editor Version 5.00";
constexpr std::u16string_view kRegedit4Header = u"REGEDIT4";

bool StartsWithNoCase(std::u16string_view text, std::u16string_view lowerPrefix) {
  if (text.size() < lowerPrefix.size()) return false;
  for (std::size_t i = 0; i < lowerPrefix.size(); ++i) {
    const char16_t c = text[i];
    if ((c >= u'A' && c <= u'Z' ? c + 0x20 : c) != lowerPrefix[i]) return false;
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

std::vector<std::uint8_t> Utf16LeData(std::u16string_view text) {
  std::vector<std::uint8_t> bytes(2 * text.size());
  TextToUtf16Le(text, bytes.data());
  return bytes;
}

// One pass over the decoded text, line by line; `pos_` is the place in the current line.
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
  bool atLineEnd() {
    skipBlanks();
    return atEnd() || line_[pos_] == u';';
  }
  bool parseKeyLine();
  bool parseValueLine();
  bool parseData(std::uint32_t& type, std::vector<std::uint8_t>& data);
  bool parseQuoted(std::u16string& out);
  bool parseHexList(std::vector<std::uint8_t>& out);
  bool parseHexNumber(std::uint32_t& number, const std::string& what);
  bool expectLineEnd();

  std::u16string_view text_;
  RegFileDocument& doc_;
  std::size_t next_ = 0;  // start of the next line in text_
  std::size_t lineNo_ = 0;
  std::u16string_view line_;
  std::size_t pos_ = 0;
  // The section values go to, null when none. A deletion clears it, so it stays valid.
  RegFileKey* current_ = nullptr;
  bool inDeletedKey_ = false;
  std::u16string name_, quoted_;  // of the value being read, their room used again
};

bool Parser::nextLine() {
  if (next_ >= text_.size()) return false;
  std::size_t end = next_;
  while (end < text_.size() && text_[end] != u'\r' && text_[end] != u'\n') ++end;
  line_ = text_.substr(next_, end - next_);
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
  // In characters: the low half of a surrogate pair does not count.
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
    if (atLineEnd()) continue;
    const char16_t c = line_[pos_];
    if (c == u'[') {
      if (!parseKeyLine()) return false;
    } else if (c == u'"' || c == u'@') {
      if (!parseValueLine()) return false;
    } else {
      return fail(pos_, "expected a [key], a value or a comment");
    }
  }
  return true;
}

bool Parser::parseKeyLine() {
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
  const std::string path = Utf16ToWtf8(inner);
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

bool Parser::parseQuoted(std::u16string& out) {
  // pos_ is at the opening quote.
  out.clear();
  for (++pos_; pos_ < line_.size(); ++pos_) {
    // Plain text up to the next quote or backslash goes over in one piece.
    std::size_t stop = pos_;
    while (stop < line_.size() && line_[stop] != u'"' && line_[stop] != u'\\') ++stop;
    out.append(line_.substr(pos_, stop - pos_));
    pos_ = stop;
    if (pos_ == line_.size()) break;
    char16_t c = line_[pos_];
    if (c == u'"') {
      ++pos_;
      return true;
    }
    if (pos_ + 1 >= line_.size()) break;
    switch (line_[pos_ + 1]) {
      case u'\\':
      case u'"':
        c = line_[pos_ + 1];
        break;
      case u'r':
        c = u'\r';
        break;
      case u'n':
        c = u'\n';
        break;
      case u'0':
        c = u'\0';
        break;
      default:
        return fail(pos_, "unknown escape in a quoted text (a backslash is written \\\\)");
    }
    ++pos_;
    out.push_back(c);
  }
  return fail(line_.size(), "the quoted text has no closing '\"'");
}

bool Parser::expectLineEnd() {
  return atLineEnd() || fail(pos_, "unexpected text after the value");
}

bool Parser::parseHexList(std::vector<std::uint8_t>& out) {
  out.reserve(line_.size() / 3);  // a line's worth of "hh," at once
  bool afterComma = true;         // a byte may follow
  while (!atLineEnd()) {
    const char16_t c = line_[pos_];
    if (c == u'\\') {
      ++pos_;
      skipBlanks();
      if (!atEnd()) return fail(pos_, "unexpected text after '\\'");
      if (!nextLine()) {
        return fail(line_.size(), "the hex data ends with '\\' at the end of the file");
      }
      continue;
    }
    if (c == u',') {
      if (afterComma) return fail(pos_, "expected a hex byte before ','");
      afterComma = true;
      ++pos_;
      continue;
    }
    if (!afterComma) return fail(pos_, "expected ',' between hex bytes");
    int byte = HexDigitValue(c);
    if (byte < 0) return fail(pos_, "expected a hex byte");
    ++pos_;
    if (pos_ < line_.size() && HexDigitValue(line_[pos_]) >= 0) {
      byte = byte * 16 + HexDigitValue(line_[pos_]);
      ++pos_;
    }
    out.push_back(static_cast<std::uint8_t>(byte));
    afterComma = false;
  }
  return true;
}

bool Parser::parseHexNumber(std::uint32_t& number, const std::string& what) {
  std::size_t digits = 0;
  number = 0;
  for (; pos_ < line_.size() && HexDigitValue(line_[pos_]) >= 0; ++pos_) {
    if (++digits > 8) return fail(pos_, what + " has at most 8 hex digits");
    number = number * 16 + static_cast<std::uint32_t>(HexDigitValue(line_[pos_]));
  }
  return digits > 0 || fail(pos_, "expected " + what + " in hex digits");
}

bool Parser::parseValueLine() {
  if (current_ == nullptr) {
    return fail(pos_, inDeletedKey_ ? "a value under a deleted key" : "a value before any [key]");
  }
  name_.clear();
  if (line_[pos_] == u'@') {
    ++pos_;
  } else if (!parseQuoted(name_)) {
    return false;
  }
  skipBlanks();
  if (atEnd() || line_[pos_] != u'=') return fail(pos_, "expected '=' after the value name");
  ++pos_;
  skipBlanks();
  if (pos_ < line_.size() && line_[pos_] == u'-') {
    ++pos_;
    if (!expectLineEnd()) return false;
    current_->remove(Utf16ToWtf8(name_));
    return true;
  }
  std::uint32_t type = regtype::kSz;
  std::vector<std::uint8_t> data;
  if (!parseData(type, data)) return false;
  current_->set({Utf16ToWtf8(name_), type, std::move(data)});
  return true;
}

// What follows '=': a quoted string, a dword, or hex bytes of a type.
bool Parser::parseData(std::uint32_t& type, std::vector<std::uint8_t>& data) {
  const std::u16string_view rest = line_.substr(pos_);
  if (!rest.empty() && rest[0] == u'"') {
    if (!parseQuoted(quoted_)) return false;
    quoted_.push_back(u'\0');
    data = Utf16LeData(quoted_);
    return expectLineEnd();
  }
  if (StartsWithNoCase(rest, u"dword:")) {
    pos_ += 6;
    std::uint32_t number = 0;
    if (!parseHexNumber(number, "a dword")) return false;
    type = regtype::kDword;
    const std::array<std::uint8_t, 4> dword = DwordBytes(number);
    data.assign(dword.begin(), dword.end());
    return expectLineEnd();
  }
  if (!StartsWithNoCase(rest, u"hex")) {
    return fail(pos_, "expected \"text\", dword:, hex: or hex(N): after '='");
  }
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
  const RegParseError where{lineNo_, columnOf(pos_), "the text of this value is not valid UTF-8"};
  if (!parseHexList(data)) return false;
  if (doc_.format.header == RegFileHeader::kRegedit4 && IsStringType(type)) {
    // 8-bit text in this kind of file; held as UTF-16 like every string.
    const std::string_view bytes(reinterpret_cast<const char*>(data.data()), data.size());
    if (FindInvalidUtf8(bytes)) {
      error_ = where;
      return false;
    }
    data = Utf16LeData(Wtf8ToUtf16(bytes));
  }
  return true;
}

// Where the bad byte of a UTF-8 file stands, as a line and a column in characters.
RegParseError PlaceUtf8Error(std::string_view body, std::size_t bad) {
  std::size_t line = 1;
  std::size_t lineStart = 0;
  for (std::size_t i = 0; i < bad; ++i) {
    const bool cr = body[i] == '\r';
    if (body[i] == '\n' || cr) {
      if (cr && i + 1 < body.size() && body[i + 1] == '\n') ++i;
      ++line;
      lineStart = i + 1;
    }
  }
  std::size_t column = 1;
  for (std::size_t i = lineStart; i < bad; ++i) {
    if ((static_cast<unsigned char>(body[i]) & 0xC0) != 0x80) ++column;
  }
  return {line, column, "the file is not valid UTF-8 text"};
}

}  // namespace

RegParseResult ParseRegFile(std::string_view bytes) {
  RegParseResult result;
  RegFileDocument doc;
  std::u16string text;
  if (bytes.empty()) {
    result.document = std::move(doc);
    return result;
  }
  if (bytes.size() >= 2 && bytes[0] == '\xFF' && bytes[1] == '\xFE') {
    doc.format.encoding = RegFileEncoding::kUtf16Le;
    if (bytes.size() % 2 != 0) {
      result.error = {1, 1, "the UTF-16 file ends in half a character"};
      return result;
    }
    text = Utf16LeBytesToText(reinterpret_cast<const unsigned char*>(bytes.data()) + 2,
                              bytes.size() - 2);
  } else if (bytes.size() >= 2 && bytes[0] == '\xFE' && bytes[1] == '\xFF') {
    result.error = {1, 1, "UTF-16 big-endian files are not supported"};
    return result;
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
    text = Wtf8ToUtf16(body);
  }
  // Some exports end in NUL characters.
  while (!text.empty() && text.back() == u'\0') text.pop_back();

  Parser parser(text, doc);
  if (!parser.run()) {
    result.error = parser.error_;
    return result;
  }
  result.document = std::move(doc);
  return result;
}

}  // namespace tavelin
