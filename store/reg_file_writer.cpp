#include "store/reg_file_writer.h"

#include <algorithm>
#include <string_view>

#include "platform/wtf8.h"
#include "store/hex_digits.h"

namespace tavelin {

namespace {

constexpr std::u16string_view kVersion5Header = u"Windows Registry Editor Version 5.00";
constexpr std::u16string_view kRegedit4Header = u"REGEDIT4";

// Each asks first whether the character is low enough to matter: most are letters above.
bool HoldsLineBreakOrNul(std::u16string_view text) {
  return std::any_of(text.begin(), text.end(), [](char16_t c) {
    return c <= u'\r' && (c == u'\r' || c == u'\n' || c == u'\0');
  });
}

bool Escaped(char16_t c) {
  return c <= u'\\' && (c == u'\\' || c == u'"' || c == u'\r' || c == u'\n' || c == u'\0');
}

// The text between quotes, with what a quoted text cannot hold escaped, after `out`.
void AppendQuoted(std::u16string& out, std::u16string_view text) {
  out += u'"';
  for (std::size_t at = 0; at < text.size(); ++at) {
    // Plain text up to the next character to escape goes over in one piece.
    std::size_t stop = at;
    while (stop < text.size() && !Escaped(text[stop])) ++stop;
    out.append(text.substr(at, stop - at));
    at = stop;
    if (at == text.size()) break;
    switch (text[at]) {
      case u'\r':
        out += u"\\r";
        break;
      case u'\n':
        out += u"\\n";
        break;
      case u'\0':
        out += u"\\0";
        break;
      default:  // a backslash or a quote
        out += u'\\';
        out += text[at];
    }
  }
  out += u'"';
}

// Lays the document out in the file's encoding, piece by piece from UTF-16 text.
class Writer {
 public:
  explicit Writer(const RegFileDocument& doc)
      : doc_(doc),
        wide_(doc.format.encoding == RegFileEncoding::kUtf16Le),
        eol_(doc.format.lineEnd == RegFileLineEnd::kCrLf ? u"\r\n"
             : doc.format.lineEnd == RegFileLineEnd::kLf ? u"\n"
                                                         : u"\r") {}
  RegWriteResult run();

 private:
  void put(std::u16string_view text) {
    if (!wide_) {
      out_ += Utf16ToWtf8(text);
      return;
    }
    const std::size_t at = out_.size();
    out_.resize(at + 2 * text.size());
    TextToUtf16Le(text, reinterpret_cast<unsigned char*>(out_.data() + at));
  }
  // Characters written since `start` in this line.
  std::size_t columnSince(std::size_t start) const {
    return (out_.size() - start) / (wide_ ? 2 : 1);
  }
  bool fail(std::string why) {
    error_ = std::move(why);
    return false;
  }
  // A name or a path, held as WTF-8: text that UTF-8 cannot carry stops a UTF-8 file.
  bool name(std::string_view wtf8, std::u16string& units);
  bool value(const RegFileValue& v);
  bool quotedFormFits(const RegFileValue& v, std::u16string_view text) const;
  bool hexForm(const RegFileValue& v, std::size_t lineStart);
  void hex(const std::vector<std::uint8_t>& data, std::size_t column);

  const RegFileDocument& doc_;
  const bool wide_;
  const std::u16string_view eol_;
  std::string out_;
  std::string error_;
  std::u16string units_, text_, line_;  // pieces of the value being written, their room used again
};

bool Writer::name(std::string_view wtf8, std::u16string& units) {
  Wtf8ToUtf16(wtf8, units);
  return wide_ || !HasUnpairedSurrogate(units) ||
         fail("a key or value name holds text that UTF-8 cannot carry");
}

// A quoted string: REG_SZ data (`text` as UTF-16) ending in its one NUL, with no NUL or line
// break before it, and in a UTF-8 file whole UTF-16 text.
bool Writer::quotedFormFits(const RegFileValue& v, std::u16string_view text) const {
  if (v.type != regtype::kSz || v.data.size() % 2 != 0 || text.empty() || text.back() != u'\0') {
    return false;
  }
  const std::u16string_view body = text.substr(0, text.size() - 1);
  return !HoldsLineBreakOrNul(body) && (wide_ || !HasUnpairedSurrogate(body));
}

void Writer::hex(const std::vector<std::uint8_t>& data, std::size_t column) {
  // Laid out as regedit does: a line ends in ",\" once it passes 76 columns, and goes on
  // indented by two spaces.
  std::u16string text;
  text.reserve(3 * data.size() + data.size() / 8 + 8);  // the digits, commas and line breaks
  for (std::size_t i = 0; i < data.size(); ++i) {
    text += static_cast<char16_t>(kHexDigits[data[i] >> 4]);
    text += static_cast<char16_t>(kHexDigits[data[i] & 0xF]);
    column += 2;
    if (i + 1 == data.size()) break;
    text += u',';
    ++column;
    if (column > 76) {
      text += u'\\';
      text += eol_;
      text += u"  ";
      column = 2;
    }
  }
  put(text);
}

bool Writer::hexForm(const RegFileValue& v, std::size_t lineStart) {
  if (v.type == regtype::kBinary) {
    put(u"hex:");
  } else {
    std::u16string digits;
    for (std::uint32_t t = v.type; digits.empty() || t != 0; t >>= 4) {
      digits.insert(digits.begin(), static_cast<char16_t>(kHexDigits[t & 0xF]));
    }
    put(u"hex(" + digits + u"):");
  }
  const std::size_t column = columnSince(lineStart);
  if (doc_.format.header != RegFileHeader::kRegedit4 || !IsStringType(v.type)) {
    hex(v.data, column);
    return true;
  }
  // A REGEDIT4 file holds string data as 8-bit text, UTF-8 here.
  const std::u16string text = Utf16LeBytesToText(v.data.data(), v.data.size());
  if (v.data.size() % 2 != 0 || HasUnpairedSurrogate(text)) {
    return fail("the value \"" + v.name +
                "\" holds text that a REGEDIT4 file cannot carry (it is not whole UTF-16 text)");
  }
  const std::string utf8 = Utf16ToWtf8(text);
  hex({utf8.begin(), utf8.end()}, column);
  return true;
}

bool Writer::value(const RegFileValue& v) {
  const std::size_t lineStart = out_.size();
  line_.clear();
  if (v.name.empty()) {
    line_ += u'@';
  } else if (name(v.name, units_)) {
    AppendQuoted(line_, units_);
  } else {
    return false;
  }
  line_ += u'=';
  // The first form that fits: a quoted string, a dword, or hex (which may fail).
  text_.clear();
  if (v.type == regtype::kSz) Utf16LeBytesToText(v.data.data(), v.data.size(), text_);
  if (quotedFormFits(v, text_)) {
    AppendQuoted(line_, std::u16string_view(text_).substr(0, text_.size() - 1));
  } else if (const auto number = v.type == regtype::kDword ? DwordOf(v.value()) : std::nullopt) {
    line_ += u"dword:";
    for (int shift = 28; shift >= 0; shift -= 4) {
      line_ += static_cast<char16_t>(kHexDigits[(*number >> shift) & 0xF]);
    }
  } else {
    put(line_);
    if (!hexForm(v, lineStart)) return false;
    put(eol_);
    return true;
  }
  line_ += eol_;
  put(line_);
  return true;
}

RegWriteResult Writer::run() {
  // Room for at least the whole file, so that a large one is not moved again and again as it
  // grows: hex data takes three characters a byte, the most any form takes.
  std::size_t units = 64;
  for (const RegFileKey& key : doc_.keys()) {
    units += key.path().size() + 8;
    for (const RegFileValue& v : key.values()) units += v.name.size() + 24 + 3 * v.data.size();
  }
  out_.reserve(wide_ ? 2 * units : units);
  if (wide_) {
    out_ = "\xFF\xFE";
  } else if (doc_.format.encoding == RegFileEncoding::kUtf8WithBom) {
    out_ = "\xEF\xBB\xBF";
  }
  put(doc_.format.header == RegFileHeader::kVersion5 ? kVersion5Header : kRegedit4Header);
  put(eol_);
  put(eol_);
  for (const RegFileKey& key : doc_.keys()) {
    std::u16string path;
    if (!name(key.path(), path)) return {std::nullopt, error_};
    if (HoldsLineBreakOrNul(path)) {
      return {std::nullopt,
              "the key path \"" + std::string(key.path()) + "\" cannot be written in a file"};
    }
    line_ = u'[' + path + u']';
    line_ += eol_;
    put(line_);
    for (const RegFileValue& v : key.values()) {
      if (!value(v)) return {std::nullopt, error_};
    }
    put(eol_);
  }
  return {std::move(out_), {}};
}

}  // namespace

RegWriteResult WriteRegFile(const RegFileDocument& document) {
  return Writer(document).run();
}

}  // namespace tavelin
