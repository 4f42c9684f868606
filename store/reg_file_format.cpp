#include "store/reg_file_format.h"

#include <algorithm>
#include <array>

#include "platform/wtf8.h"
#include "store/registry_names.h"

namespace tavelin {

namespace {

constexpr std::u16string_view kVersion5Header = u"Windows Registry Editor Version 5.00";
constexpr std::u16string_view kRegedit4Header = u"REGEDIT4";

struct RootName {
  RootKey root;
  std::string_view longName;
  std::string_view shortName;
};
constexpr std::array<RootName, 5> kRoots = {{
    {0x80000000u, "HKEY_CLASSES_ROOT", "HKCR"},
    {kCurrentUser, "HKEY_CURRENT_USER", "HKCU"},
    {0x80000002u, "HKEY_LOCAL_MACHINE", "HKLM"},
    {0x80000003u, "HKEY_USERS", "HKU"},
    {0x80000005u, "HKEY_CURRENT_CONFIG", "HKCC"},
}};

bool IsStringType(std::uint32_t type) {
  return type == regtype::kSz || type == regtype::kExpandSz || type == regtype::kMultiSz;
}

bool IsHighSurrogate(char16_t c) {
  return c >= 0xD800 && c <= 0xDBFF;
}
bool IsLowSurrogate(char16_t c) {
  return c >= 0xDC00 && c <= 0xDFFF;
}

bool HasUnpairedSurrogate(std::u16string_view text) {
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (IsHighSurrogate(text[i])) {
      if (i + 1 < text.size() && IsLowSurrogate(text[i + 1])) {
        ++i;
      } else {
        return true;
      }
    } else if (IsLowSurrogate(text[i])) {
      return true;
    }
  }
  return false;
}

// Strict UTF-8 to UTF-16. On bad input returns the offset of the first bad byte.
std::optional<std::size_t> DecodeUtf8(std::string_view bytes, std::u16string& out) {
  out.clear();
  out.reserve(bytes.size());
  std::size_t i = 0;
  while (i < bytes.size()) {
    const auto b0 = static_cast<unsigned char>(bytes[i]);
    if (b0 < 0x80) {
      out.push_back(b0);
      ++i;
      continue;
    }
    std::size_t len = 0;
    std::uint32_t cp = 0;
    std::uint32_t min = 0;
    if ((b0 & 0xE0) == 0xC0) {
      len = 2, cp = b0 & 0x1Fu, min = 0x80;
    } else if ((b0 & 0xF0) == 0xE0) {
      len = 3, cp = b0 & 0x0Fu, min = 0x800;
    } else if ((b0 & 0xF8) == 0xF0) {
      len = 4, cp = b0 & 0x07u, min = 0x10000;
    } else {
      return i;
    }
    if (bytes.size() - i < len) return i;
    for (std::size_t k = 1; k < len; ++k) {
      const auto b = static_cast<unsigned char>(bytes[i + k]);
      if ((b & 0xC0) != 0x80) return i;
      cp = (cp << 6) | (b & 0x3Fu);
    }
    if (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return i;
    if (cp >= 0x10000) {
      cp -= 0x10000;
      out.push_back(static_cast<char16_t>(0xD800 + (cp >> 10)));
      out.push_back(static_cast<char16_t>(0xDC00 + (cp & 0x3FF)));
    } else {
      out.push_back(static_cast<char16_t>(cp));
    }
    i += len;
  }
  return std::nullopt;
}

std::vector<std::uint8_t> ToLeBytes(std::u16string_view text) {
  std::vector<std::uint8_t> out(text.size() * 2);
  for (std::size_t i = 0; i < text.size(); ++i) {
    out[2 * i] = static_cast<std::uint8_t>(text[i] & 0xFF);
    out[2 * i + 1] = static_cast<std::uint8_t>(text[i] >> 8);
  }
  return out;
}

std::u16string FromLeBytes(const std::vector<std::uint8_t>& data) {
  return Utf16LeBytesToText(data.data(), data.size());
}

int HexDigit(char16_t c) {
  if (c >= u'0' && c <= u'9') return c - u'0';
  if (c >= u'a' && c <= u'f') return c - u'a' + 10;
  if (c >= u'A' && c <= u'F') return c - u'A' + 10;
  return -1;
}

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

// ---------------------------------------------------------------------------------------
// Reading

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
  // The section values go to, null when none. Sections are only appended while it is set,
  // and a deletion clears it, so it stays valid.
  RegFileKey* current_ = nullptr;
  bool inDeletedKey_ = false;
};

bool Parser::nextLine() {
  if (next_ >= text_.size()) return false;
  const std::size_t start = next_;
  std::size_t end = start;
  while (end < text_.size() && text_[end] != u'\r' && text_[end] != u'\n') ++end;
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
  ++pos_;
  while (pos_ < line_.size()) {
    const char16_t c = line_[pos_];
    if (c == u'"') {
      ++pos_;
      return true;
    }
    if (c == u'\\') {
      if (pos_ + 1 >= line_.size()) break;
      const char16_t e = line_[pos_ + 1];
      switch (e) {
        case u'\\':
        case u'"':
          out.push_back(e);
          break;
        case u'r':
          out.push_back(u'\r');
          break;
        case u'n':
          out.push_back(u'\n');
          break;
        case u'0':
          out.push_back(u'\0');
          break;
        default:
          return fail(pos_, "unknown escape in a quoted text (a backslash is written \\\\)");
      }
      pos_ += 2;
      continue;
    }
    // Plain characters up to the next quote or backslash go over in one piece.
    std::size_t end = pos_ + 1;
    while (end < line_.size() && line_[end] != u'"' && line_[end] != u'\\') ++end;
    out.append(line_, pos_, end - pos_);
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
    const int hi = HexDigit(c);
    if (hi < 0) return fail(pos_, "expected a hex byte");
    ++pos_;
    int byte = hi;
    if (pos_ < line_.size() && HexDigit(line_[pos_]) >= 0) {
      byte = byte * 16 + HexDigit(line_[pos_]);
      ++pos_;
    }
    out.push_back(static_cast<std::uint8_t>(byte));
    afterComma = false;
  }
}

bool Parser::parseHexNumber(std::uint32_t& number, const std::string& what) {
  std::size_t digits = 0;
  number = 0;
  while (pos_ < line_.size() && HexDigit(line_[pos_]) >= 0) {
    if (++digits > 8) return fail(pos_, what + " has at most 8 hex digits");
    number = number * 16 + static_cast<std::uint32_t>(HexDigit(line_[pos_]));
    ++pos_;
  }
  if (digits == 0) return fail(pos_, "expected " + what + " in hex digits");
  return true;
}

bool Parser::parseValueLine() {
  if (current_ == nullptr) {
    return fail(pos_, inDeletedKey_ ? "a value under a deleted key" : "a value before any [key]");
  }
  std::u16string name;
  if (line_[pos_] == u'@') {
    ++pos_;
  } else if (!parseQuoted(name)) {
    return false;
  }
  skipBlanks();
  if (atEnd() || line_[pos_] != u'=') return fail(pos_, "expected '=' after the value name");
  ++pos_;
  skipBlanks();
  const std::string nameText = Utf16ToWtf8(name);
  const std::size_t dataStart = pos_;
  const std::u16string_view rest = line_.substr(pos_);

  RegValue value;
  if (!rest.empty() && rest[0] == u'-') {
    ++pos_;
    if (!expectLineEnd()) return false;
    current_->remove(nameText);
    return true;
  }
  if (!rest.empty() && rest[0] == u'"') {
    std::u16string data;
    if (!parseQuoted(data)) return false;
    data.push_back(u'\0');
    value.type = regtype::kSz;
    value.data = ToLeBytes(data);
  } else if (StartsWithNoCase(rest, u"dword:")) {
    pos_ += 6;
    std::uint32_t number = 0;
    if (!parseHexNumber(number, "a dword")) return false;
    value.type = regtype::kDword;
    value.data = {static_cast<std::uint8_t>(number), static_cast<std::uint8_t>(number >> 8),
                  static_cast<std::uint8_t>(number >> 16), static_cast<std::uint8_t>(number >> 24)};
  } else if (StartsWithNoCase(rest, u"hex")) {
    pos_ += 3;
    value.type = regtype::kBinary;
    if (pos_ < line_.size() && line_[pos_] == u'(') {
      ++pos_;
      std::uint32_t type = 0;
      if (!parseHexNumber(type, "a value type")) return false;
      if (pos_ >= line_.size() || line_[pos_] != u')') return fail(pos_, "expected ')'");
      ++pos_;
      value.type = type;
    }
    if (pos_ >= line_.size() || line_[pos_] != u':') return fail(pos_, "expected ':'");
    ++pos_;
    const std::size_t hexLine = lineNo_;
    const std::size_t hexColumn = columnOf(pos_);
    if (!parseHexList(value.data)) return false;
    if (doc_.format.header == RegFileHeader::kRegedit4 && IsStringType(value.type)) {
      // 8-bit text in this kind of file; held as UTF-16 like every string.
      std::u16string text;
      const std::string bytes(value.data.begin(), value.data.end());
      if (DecodeUtf8(bytes, text)) {
        error_ = {hexLine, hexColumn, "the text of this value is not valid UTF-8"};
        return false;
      }
      value.data = ToLeBytes(text);
    }
    current_->set(nameText, std::move(value));
    return true;
  } else {
    return fail(dataStart, "expected \"text\", dword:, hex: or hex(N): after '='");
  }
  if (!expectLineEnd()) return false;
  current_->set(nameText, std::move(value));
  return true;
}

// ---------------------------------------------------------------------------------------
// Writing

class Writer {
 public:
  explicit Writer(const RegFileDocument& doc) : doc_(doc) {
    switch (doc.format.lineEnd) {
      case RegFileLineEnd::kCrLf:
        eol_ = u"\r\n";
        break;
      case RegFileLineEnd::kLf:
        eol_ = u"\n";
        break;
      case RegFileLineEnd::kCr:
        eol_ = u"\r";
        break;
    }
  }
  RegWriteResult run();

 private:
  bool writeValue(const RegFileValue& v);
  void writeQuoted(std::u16string_view text);
  void writeHex(const std::vector<std::uint8_t>& data, std::size_t column);
  bool quotedFormFits(const RegValue& v, std::u16string& text) const;

  const RegFileDocument& doc_;
  std::u16string_view eol_;
  std::u16string out_;
  std::string error_;
};

void Writer::writeQuoted(std::u16string_view text) {
  out_.push_back(u'"');
  std::size_t plain = 0;  // start of the run of characters that need no escape
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char16_t c = text[i];
    if (c != u'\\' && c != u'"' && c != u'\r' && c != u'\n' && c != u'\0') continue;
    out_.append(text.substr(plain, i - plain));
    plain = i + 1;
    switch (c) {
      case u'\\':
        out_ += u"\\\\";
        break;
      case u'"':
        out_ += u"\\\"";
        break;
      case u'\r':
        out_ += u"\\r";
        break;
      case u'\n':
        out_ += u"\\n";
        break;
      default:
        out_ += u"\\0";
        break;
    }
  }
  out_.append(text.substr(plain));
  out_.push_back(u'"');
}

void Writer::writeHex(const std::vector<std::uint8_t>& data, std::size_t column) {
  // Laid out as regedit does: lines end in ",\" once they pass 76 columns, and go on
  // indented by two spaces.
  static constexpr char16_t kDigits[] = u"0123456789abcdef";
  for (std::size_t i = 0; i < data.size(); ++i) {
    out_.push_back(kDigits[data[i] >> 4]);
    out_.push_back(kDigits[data[i] & 0xF]);
    if (i + 1 == data.size()) break;
    out_.push_back(u',');
    column += 3;
    if (column > 76) {
      out_.push_back(u'\\');
      out_ += eol_;
      out_ += u"  ";
      column = 2;
    }
  }
}

bool Writer::quotedFormFits(const RegValue& v, std::u16string& text) const {
  if (v.type != regtype::kSz || v.data.size() < 2 || v.data.size() % 2 != 0) return false;
  text = FromLeBytes(v.data);
  if (text.back() != u'\0') return false;
  text.pop_back();
  if (text.find_first_of(std::u16string_view(u"\0\r\n", 3)) != std::u16string::npos) {
    return false;
  }
  if (doc_.format.encoding != RegFileEncoding::kUtf16Le && HasUnpairedSurrogate(text)) {
    return false;
  }
  return true;
}

bool Writer::writeValue(const RegFileValue& v) {
  const std::size_t lineStart = out_.size();
  if (v.name.empty()) {
    out_.push_back(u'@');
  } else {
    writeQuoted(Wtf8ToUtf16(v.name));
  }
  out_.push_back(u'=');
  std::u16string text;
  if (quotedFormFits(v.value, text)) {
    writeQuoted(text);
  } else if (v.value.type == regtype::kDword && v.value.data.size() == 4) {
    const std::uint32_t n = static_cast<std::uint32_t>(v.value.data[0]) |
                            (static_cast<std::uint32_t>(v.value.data[1]) << 8) |
                            (static_cast<std::uint32_t>(v.value.data[2]) << 16) |
                            (static_cast<std::uint32_t>(v.value.data[3]) << 24);
    static constexpr char16_t kDigits[] = u"0123456789abcdef";
    out_ += u"dword:";
    for (int shift = 28; shift >= 0; shift -= 4) out_.push_back(kDigits[(n >> shift) & 0xF]);
  } else {
    if (v.value.type == regtype::kBinary) {
      out_ += u"hex:";
    } else {
      out_ += u"hex(";
      static constexpr char16_t kDigits[] = u"0123456789abcdef";
      std::u16string digits;
      std::uint32_t t = v.value.type;
      do {
        digits.insert(digits.begin(), kDigits[t & 0xF]);
        t >>= 4;
      } while (t != 0);
      out_ += digits;
      out_ += u"):";
    }
    const std::size_t column = out_.size() - lineStart;
    if (doc_.format.header == RegFileHeader::kRegedit4 && IsStringType(v.value.type)) {
      const std::u16string asText = FromLeBytes(v.value.data);
      if (v.value.data.size() % 2 != 0 || HasUnpairedSurrogate(asText)) {
        error_ = "the value \"" + v.name +
                 "\" holds text that a REGEDIT4 file cannot carry (it is not whole UTF-16 text)";
        return false;
      }
      const std::string utf8 = Utf16ToWtf8(asText);
      writeHex(std::vector<std::uint8_t>(utf8.begin(), utf8.end()), column);
    } else {
      writeHex(v.value.data, column);
    }
  }
  out_ += eol_;
  return true;
}

RegWriteResult Writer::run() {
  out_ += doc_.format.header == RegFileHeader::kVersion5 ? kVersion5Header : kRegedit4Header;
  out_ += eol_;
  out_ += eol_;
  for (const RegFileKey& key : doc_.keys()) {
    const std::u16string path = Wtf8ToUtf16(key.path());
    if (path.find_first_of(std::u16string_view(u"\0\r\n", 3)) != std::u16string::npos) {
      return {std::nullopt, "the key path \"" + key.path() + "\" cannot be written in a file"};
    }
    out_.push_back(u'[');
    out_ += path;
    out_.push_back(u']');
    out_ += eol_;
    for (const RegFileValue& v : key.values()) {
      if (!writeValue(v)) return {std::nullopt, error_};
    }
    out_ += eol_;
  }
  std::string bytes;
  if (doc_.format.encoding == RegFileEncoding::kUtf16Le) {
    bytes = "\xFF\xFE";
    bytes += TextToUtf16LeBytes(out_);
  } else {
    if (HasUnpairedSurrogate(out_)) {
      return {std::nullopt, "a key or value name holds text that UTF-8 cannot carry"};
    }
    if (doc_.format.encoding == RegFileEncoding::kUtf8WithBom) bytes = "\xEF\xBB\xBF";
    bytes += Utf16ToWtf8(out_);
  }
  return {std::move(bytes), {}};
}

}  // namespace

// ---------------------------------------------------------------------------------------
// Keys and documents

RegFileKey::RegFileKey(std::string path)
    : path_(std::move(path)), canonical_(CanonicalRegKeyPath(path_)) {}

std::size_t RegFileKey::position(const std::string& folded) const {
  if (!index_.empty()) {
    const auto it = index_.find(folded);
    return it == index_.end() ? values_.size() : it->second;
  }
  return static_cast<std::size_t>(std::find(folded_.begin(), folded_.end(), folded) -
                                  folded_.begin());
}

void RegFileKey::reindex() {
  index_.clear();
  if (folded_.size() < kIndexFrom) return;
  for (std::size_t i = 0; i < folded_.size(); ++i) index_.emplace(folded_[i], i);
}

const RegValue* RegFileKey::find(std::string_view name) const {
  const std::size_t at = position(FoldRegistryName(name));
  return at == values_.size() ? nullptr : &values_[at].value;
}

bool RegFileKey::set(std::string_view name, RegValue value) {
  std::string folded = FoldRegistryName(name);
  const std::size_t at = position(folded);
  if (at == values_.size()) {
    values_.push_back({std::string(name), std::move(value)});
    folded_.push_back(std::move(folded));
    if (!index_.empty()) {
      index_.emplace(folded_.back(), at);
    } else if (folded_.size() == kIndexFrom) {
      reindex();
    }
    return true;
  }
  RegValue& slot = values_[at].value;
  if (slot == value) return false;
  slot = std::move(value);
  return true;
}

bool RegFileKey::remove(std::string_view name) {
  const std::size_t at = position(FoldRegistryName(name));
  if (at == values_.size()) return false;
  values_.erase(values_.begin() + static_cast<std::ptrdiff_t>(at));
  folded_.erase(folded_.begin() + static_cast<std::ptrdiff_t>(at));
  if (!index_.empty()) reindex();
  return true;
}

std::string RegFileKeyPath(RootKey root, std::string_view keyPath) {
  std::string path;
  for (const RootName& r : kRoots) {
    if (r.root == root) path = r.longName;
  }
  if (path.empty()) return path;
  for (const std::string& level : SplitKeyPath(keyPath)) {
    path += '\\';
    path += level;
  }
  return path;
}

std::string CanonicalRegKeyPath(std::string_view fullPath) {
  // Runs for every value a command reads or writes, so it walks the path in place rather
  // than splitting it into a vector of folded copies.
  std::string out;
  out.reserve(fullPath.size());
  bool first = true;
  std::size_t start = 0;
  while (start <= fullPath.size()) {
    std::size_t end = fullPath.find('\\', start);
    if (end == std::string_view::npos) end = fullPath.size();
    if (end > start) {
      const std::string level = FoldRegistryName(fullPath.substr(start, end - start));
      if (first) {
        for (const RootName& r : kRoots) {
          if (level == r.longName || level == r.shortName) out = r.longName;
        }
        if (out.empty()) return out;
        first = false;
      } else {
        out += '\\';
        out += level;
      }
    }
    start = end + 1;
  }
  return out;
}

namespace {

// Whether `path` is `ancestor` or lies below it (both canonical).
bool InTree(std::string_view path, std::string_view ancestor) {
  return path.size() >= ancestor.size() && path.compare(0, ancestor.size(), ancestor) == 0 &&
         (path.size() == ancestor.size() || path[ancestor.size()] == '\\');
}

void AddWithAncestors(std::unordered_set<std::string>& present, const std::string& canonical) {
  std::string_view p = canonical;
  for (;;) {
    if (!present.emplace(p).second) return;  // its ancestors are in already
    const std::size_t cut = p.rfind('\\');
    if (cut == std::string_view::npos) return;
    p = p.substr(0, cut);
  }
}

}  // namespace

void RegFileDocument::reindex() {
  index_.clear();
  present_.clear();
  for (std::size_t i = 0; i < keys_.size(); ++i) {
    const std::string& canonical = keys_[i].canonicalPath();
    index_.emplace(canonical, i);
    AddWithAncestors(present_, canonical);
  }
}

RegFileKey* RegFileDocument::findKey(std::string_view fullPath) {
  const auto it = index_.find(CanonicalRegKeyPath(fullPath));
  return it == index_.end() ? nullptr : &keys_[it->second];
}

const RegFileKey* RegFileDocument::findKey(std::string_view fullPath) const {
  const auto it = index_.find(CanonicalRegKeyPath(fullPath));
  return it == index_.end() ? nullptr : &keys_[it->second];
}

bool RegFileDocument::keyExists(std::string_view fullPath) const {
  const std::string canonical = CanonicalRegKeyPath(fullPath);
  if (canonical.empty()) return false;
  return canonical.find('\\') == std::string::npos || present_.count(canonical) != 0;
}

RegFileKey* RegFileDocument::appendSection(std::string_view fullPath) {
  RegFileKey key{std::string(fullPath)};
  if (key.canonicalPath().empty()) return nullptr;
  const auto [it, inserted] = index_.try_emplace(key.canonicalPath(), keys_.size());
  if (inserted) {
    AddWithAncestors(present_, key.canonicalPath());
    keys_.push_back(std::move(key));
  }
  return &keys_[it->second];
}

std::pair<RegFileKey*, bool> RegFileDocument::createKey(std::string_view fullPath) {
  const std::string canonical = CanonicalRegKeyPath(fullPath);
  if (canonical.empty()) return {nullptr, false};
  if (const auto it = index_.find(canonical); it != index_.end()) {
    return {&keys_[it->second], false};
  }
  const std::vector<std::string> levels = SplitKeyPath(fullPath);
  std::vector<std::string> canonicalLevels;  // canonical path of each depth
  {
    std::string_view c = canonical;
    std::size_t cut = 0;
    while ((cut = c.find('\\', cut)) != std::string_view::npos) {
      canonicalLevels.emplace_back(c.substr(0, cut));
      ++cut;
    }
    canonicalLevels.emplace_back(c);
  }
  // The deepest key on the way that exists already (at worst the root).
  std::size_t known = 0;
  for (std::size_t d = 1; d < canonicalLevels.size(); ++d) {
    if (present_.count(canonicalLevels[d]) == 0) break;
    known = d;
  }
  const std::string& anchor = canonicalLevels[known];

  // Keep the spelling the file already uses for the existing part of the path.
  std::vector<std::string> spelled = levels;
  std::size_t insertAt = keys_.size();
  std::size_t firstInTree = keys_.size();
  bool anyInTree = false;
  for (std::size_t i = 0; i < keys_.size(); ++i) {
    if (!InTree(keys_[i].canonicalPath(), anchor)) continue;
    if (!anyInTree) {
      firstInTree = i;
      const std::vector<std::string> existing = SplitKeyPath(keys_[i].path());
      for (std::size_t d = 0; d <= known && d < existing.size(); ++d) spelled[d] = existing[d];
    }
    anyInTree = true;
    insertAt = i + 1;
  }
  // A key that exists only through its subkeys gets its section in front of them.
  if (known + 1 == canonicalLevels.size() && anyInTree) insertAt = firstInTree;

  std::string path;
  for (std::size_t d = 0; d <= known; ++d) {
    if (d > 0) path += '\\';
    path += spelled[d];
  }
  std::vector<RegFileKey> fresh;
  if (known + 1 == canonicalLevels.size()) fresh.emplace_back(path);
  for (std::size_t d = known + 1; d < canonicalLevels.size(); ++d) {
    path += '\\';
    path += spelled[d];
    fresh.emplace_back(path);
  }
  keys_.insert(keys_.begin() + static_cast<std::ptrdiff_t>(insertAt),
               std::make_move_iterator(fresh.begin()), std::make_move_iterator(fresh.end()));
  reindex();
  return {&keys_[index_.at(canonical)], true};
}

bool RegFileDocument::deleteKeyTree(std::string_view fullPath) {
  const std::string canonical = CanonicalRegKeyPath(fullPath);
  if (canonical.empty()) return false;
  const auto end = std::remove_if(keys_.begin(), keys_.end(), [&](const RegFileKey& k) {
    return InTree(k.canonicalPath(), canonical);
  });
  if (end == keys_.end()) return false;
  keys_.erase(end, keys_.end());
  reindex();
  return true;
}

// ---------------------------------------------------------------------------------------

RegParseResult ParseRegFile(std::string_view bytes) {
  RegParseResult result;
  RegFileDocument doc;
  std::u16string text;
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
    text = Utf16LeBytesToText(reinterpret_cast<const unsigned char*>(bytes.data()) + 2,
                              bytes.size() - 2);
  } else if (bytes.size() >= 2 && bytes[0] == '\xFE' && bytes[1] == '\xFF') {
    return fail(1, 1, "UTF-16 big-endian files are not supported");
  } else {
    std::string_view body = bytes;
    doc.format.encoding = RegFileEncoding::kUtf8;
    if (body.substr(0, 3) == "\xEF\xBB\xBF") {
      doc.format.encoding = RegFileEncoding::kUtf8WithBom;
      body.remove_prefix(3);
    }
    if (const auto bad = DecodeUtf8(body, text)) {
      // Place the error: count the lines and characters before the bad byte.
      const std::string_view before = body.substr(0, *bad);
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
      return fail(line, column, "the file is not valid UTF-8 text");
    }
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

RegWriteResult WriteRegFile(const RegFileDocument& document) {
  return Writer(document).run();
}

}  // namespace tavelin
