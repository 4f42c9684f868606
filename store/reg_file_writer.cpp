#include "store/reg_file_writer.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <string_view>

#include "platform/utf16_lanes.h"
#include "platform/wtf8.h"
#include "store/hex_digits.h"

namespace tavelin {

namespace {

constexpr std::string_view kVersion5Header = "Windows Registry Editor Version 5.00";
constexpr std::string_view kRegedit4Header = "REGEDIT4";

char16_t UnitAt(const std::uint8_t* le, std::size_t i) {
  return static_cast<char16_t>(le[2 * i] | (le[2 * i + 1] << 8));
}

// Whether the text holds a NUL, CR or LF: eight bytes at a time pass while none of them is
// below 14, which is seldom.
bool HoldsLineBreakOrNul(std::string_view text) {
  std::size_t i = 0;
  for (; i + 8 <= text.size(); i += 8) {
    std::uint64_t w;
    std::memcpy(&w, text.data() + i, sizeof w);
    if (((w - 0x0E0E0E0E0E0E0E0Eu) & ~w & 0x8080808080808080u) != 0) break;
  }
  return std::any_of(text.begin() + static_cast<std::ptrdiff_t>(i), text.end(),
                     [](char c) { return c == '\0' || c == '\r' || c == '\n'; });
}

bool NeedsEscape(char16_t c) {
  return c == u'\\' || c == u'"' || c == u'\r' || c == u'\n' || c == u'\0';
}

std::string_view EscapeFor(char16_t c) {
  switch (c) {
    case u'\\':
      return "\\\\";
    case u'"':
      return "\\\"";
    case u'\r':
      return "\\r";
    case u'\n':
      return "\\n";
    default:
      return "\\0";
  }
}

// Lays the document out straight into the file's bytes: UTF-16LE when `kWide`, else UTF-8.
// Text the document already holds in the file's encoding (string data in a UTF-16 file,
// names in a UTF-8 one) is copied as it stands.
template <bool kWide>
class Writer {
 public:
  explicit Writer(const RegFileDocument& doc) : doc_(doc) {
    switch (doc.format.lineEnd) {
      case RegFileLineEnd::kCrLf:
        eol_ = "\r\n";
        break;
      case RegFileLineEnd::kLf:
        eol_ = "\n";
        break;
      case RegFileLineEnd::kCr:
        eol_ = "\r";
        break;
    }
  }
  RegWriteResult run();

 private:
  static constexpr std::size_t kWidth = kWide ? 2 : 1;

  // Room for `units` more characters; returns where they go. `finish` gives back what was
  // not used. Room is reserved ahead and grown by doubling, so that appending is a store; it
  // is cleared a little at a time, just ahead of the text written into it, so that the
  // clearing and the text meet the memory once, in the cache.
  char* grow(std::size_t units) {
    const std::size_t need = used_ + units * kWidth;
    if (need > out_.size()) makeRoom(need);
    char* p = out_.data() + used_;
    used_ = need;
    return p;
  }
  // Out of line: it is seldom called, and every piece written goes through grow.
  [[gnu::noinline]] void makeRoom(std::size_t need) {
    if (need > out_.capacity()) out_.reserve(std::max(need, 2 * out_.capacity()));
    constexpr std::size_t kStep = 16384;
    out_.resize(std::min(out_.capacity(), std::max(need, out_.size() + kStep)));
  }
  void finish(const char* end) { used_ = static_cast<std::size_t>(end - out_.data()); }
  void raw(std::string_view bytes) {
    std::memcpy(grow(bytes.size() / kWidth), bytes.data(), bytes.size());
  }
  static char* put(char* p, char c) {
    *p++ = c;
    if constexpr (kWide) *p++ = '\0';
    return p;
  }
  void ascii(std::string_view text) {
    char* p = grow(text.size());
    for (const char c : text) p = put(p, c);
  }
  void ascii(char c) { put(grow(1), c); }
  bool text(std::string_view wtf8);
  void textData(const std::uint8_t* le, std::size_t units);
  bool quotedName(std::string_view name);
  void quotedData(const std::uint8_t* le, std::size_t units);
  bool quotedWide(RegValueView v);
  bool quoted(RegValueView v);
  bool dword(RegValueView v);
  bool hexForm(const RegFileValue& v, std::size_t lineStart);
  void hex(const std::uint8_t* data, std::size_t size, std::size_t column);
  bool quotedFormFits(RegValueView v) const;
  bool value(const RegFileValue& v);
  std::size_t estimatedSize() const;

  const RegFileDocument& doc_;
  std::string_view eol_;
  std::string out_;
  std::size_t used_ = 0;  // bytes of out_ written
  std::string error_;
};

// A name or a path, held as WTF-8.
template <bool kWide>
bool Writer<kWide>::text(std::string_view wtf8) {
  // Plain ASCII, nearly every name and path, is copied as it is checked, eight characters
  // at a time into a UTF-16 file.
  const std::size_t start = used_;
  char* p = grow(wtf8.size());
  const char* const text = wtf8.data();
  std::size_t i = 0;
  if constexpr (kWide && kLittleEndianLanes) {
    for (; i + 8 <= wtf8.size() && WidenEightAscii(text + i, p); i += 8, p += 16) {
    }
  }
  for (; i < wtf8.size() && static_cast<unsigned char>(text[i]) < 0x80; ++i) p = put(p, text[i]);
  if (i == wtf8.size()) return true;
  used_ = start;
  if constexpr (kWide) {
    const std::u16string units = Wtf8ToUtf16(wtf8);
    TextToUtf16Le(units, reinterpret_cast<unsigned char*>(grow(units.size())));
  } else if (IsValidUtf8(wtf8)) {
    raw(wtf8);
  } else {
    // An unpaired surrogate has no UTF-8 form; other bad bytes become U+FFFD, as in a UTF-16
    // file.
    const std::u16string units = Wtf8ToUtf16(wtf8);
    if (HasUnpairedSurrogate(units)) {
      error_ = "a key or value name holds text that UTF-8 cannot carry";
      return false;
    }
    raw(Utf16ToWtf8(units));
  }
  return true;
}

// String data, held as UTF-16LE bytes; in a UTF-8 file it is whole UTF-16 text.
template <bool kWide>
void Writer<kWide>::textData(const std::uint8_t* le, std::size_t units) {
  if constexpr (kWide) {
    std::memcpy(grow(units), le, units * 2);
  } else {
    raw(Utf16ToWtf8(Utf16LeBytesToText(le, units * 2)));
  }
}

template <bool kWide>
bool Writer<kWide>::quotedName(std::string_view name) {
  // Nearly every name is plain ASCII with nothing to escape: checked and copied in one go.
  static constexpr auto kPlain = [] {
    std::array<bool, 256> plain{};
    for (std::size_t c = 0x20; c < 0x80; ++c) plain[c] = c != '\\' && c != '"';
    return plain;
  }();
  bool plain = true;
  for (const char c : name) plain &= kPlain[static_cast<unsigned char>(c)];
  if (plain) {
    char* p = put(grow(name.size() + 2), '"');
    for (const char c : name) p = put(p, c);
    put(p, '"');
    return true;
  }
  // The characters to escape are ASCII, which never stands inside a longer UTF-8 sequence.
  ascii('"');
  std::size_t run = 0;  // start of the run of characters that need no escape
  for (std::size_t i = 0; i < name.size(); ++i) {
    if (!NeedsEscape(static_cast<unsigned char>(name[i]))) continue;
    if (!text(name.substr(run, i - run))) return false;
    ascii(EscapeFor(static_cast<unsigned char>(name[i])));
    run = i + 1;
  }
  if (!text(name.substr(run))) return false;
  ascii('"');
  return true;
}

template <bool kWide>
void Writer<kWide>::quotedData(const std::uint8_t* le, std::size_t units) {
  ascii('"');
  std::size_t plain = 0;
  for (std::size_t i = 0; i < units; ++i) {
    const char16_t c = UnitAt(le, i);
    if (!NeedsEscape(c)) continue;
    textData(le + 2 * plain, i - plain);
    ascii(EscapeFor(c));
    plain = i + 1;
  }
  textData(le + 2 * plain, units - plain);
  ascii('"');
}

// String data as a quoted string straight from a UTF-16 file's own bytes, when it has that
// form: text ending in its one NUL, with no NUL or line break before it. Four units are
// looked at a time; only a word holding a character to escape (or one that rules the form
// out) is taken apart. Returns false, having written nothing, when the form does not fit.
template <bool kWide>
bool Writer<kWide>::quotedWide(RegValueView v) {
  const std::span<const std::uint8_t> data = v.data;
  if (v.type != regtype::kSz || data.size() < 2 || data.size() % 2 != 0) return false;
  const std::size_t units = data.size() / 2 - 1;
  const std::uint8_t* le = data.data();
  if (UnitAt(le, units) != u'\0') return false;
  const std::size_t start = used_;
  char* p = grow(2 * units + 2);  // every unit escaped, and the quotes
  p = put(p, '"');
  for (std::size_t i = 0; i < units;) {
    // Below '#' are NUL, the line breaks and '"' (and space and '!', which need nothing).
    if (kLittleEndianLanes && i + 8 <= units) {
      const EightUnits eight = LoadEightUnits(le + 2 * i);
      if (!AnyUnit((eight <= std::uint16_t{u'"'}) | (eight == std::uint16_t{u'\\'}))) {
        std::memcpy(p, le + 2 * i, 16);
        p += 16;
        i += 8;
        continue;
      }
    }
    if (kLittleEndianLanes && i + 4 <= units) {
      const std::uint64_t w = FourUnits(le + 2 * i);
      if ((UnitsBelow(w, u'"' + 1) | UnitsEqual(w, u'\\')) == 0) {
        std::memcpy(p, le + 2 * i, 8);
        p += 8;
        i += 4;
        continue;
      }
    }
    const char16_t c = UnitAt(le, i);
    if (c == u'\0' || c == u'\r' || c == u'\n') {
      used_ = start;
      return false;
    }
    if (c == u'\\' || c == u'"') {
      p = put(p, '\\');
      p = put(p, static_cast<char>(c));
    } else {
      std::memcpy(p, le + 2 * i, 2);
      p += 2;
    }
    ++i;
  }
  p = put(p, '"');
  finish(p);
  return true;
}

// The value as a quoted string, when it has that form; false, with nothing written, when not.
template <bool kWide>
bool Writer<kWide>::quoted(RegValueView v) {
  if constexpr (kWide) {
    return quotedWide(v);
  } else {
    if (!quotedFormFits(v)) return false;
    quotedData(v.data.data(), v.data.size() / 2 - 1);
    return true;
  }
}

template <bool kWide>
void Writer<kWide>::hex(const std::uint8_t* data, std::size_t size, std::size_t column) {
  // Laid out as regedit does: lines end in ",\" once they pass 76 columns, and go on
  // indented by two spaces. Each byte is one stored cell of its two digits and a comma.
  static constexpr std::size_t kCell = 3 * kWidth;
  static constexpr auto kCells = [] {
    std::array<std::array<char, 8>, 256> cells{};
    for (std::size_t b = 0; b < 256; ++b) {
      const char chars[3] = {kHexDigits[b >> 4], kHexDigits[b & 0xF], ','};
      for (std::size_t c = 0; c < 3; ++c) cells[b][c * kWidth] = chars[c];
    }
    return cells;
  }();
  // A cell is stored whole and the next one overwrites its spare bytes, so keep room for
  // one more cell than is written.
  const std::size_t breaks = 2 + size / 25;
  char* p = grow(3 * size + breaks * (3 + eol_.size()) + 8);
  std::size_t i = 0;
  while (i < size) {
    // The bytes that fit before this line passes 76 columns.
    const std::size_t fit = column > 76 ? 1 : (76 - column) / 3 + 1;
    const std::size_t n = std::min(fit, size - i);
    for (std::size_t k = 0; k < n; ++k, p += kCell) std::memcpy(p, kCells[data[i + k]].data(), 8);
    i += n;
    if (i == size) {
      p -= kWidth;  // the last byte takes no comma
      break;
    }
    p = put(p, '\\');
    for (const char c : eol_) p = put(p, c);
    p = put(p, ' ');
    p = put(p, ' ');
    column = 2;
  }
  finish(p);
}

template <bool kWide>
bool Writer<kWide>::quotedFormFits(RegValueView v) const {
  if (v.type != regtype::kSz || v.data.size() < 2 || v.data.size() % 2 != 0) return false;
  const std::size_t units = v.data.size() / 2;
  if (UnitAt(v.data.data(), units - 1) != u'\0') return false;
  for (std::size_t i = 0; i + 1 < units; ++i) {
    const char16_t c = UnitAt(v.data.data(), i);
    if (c == u'\0' || c == u'\r' || c == u'\n') return false;
  }
  if constexpr (!kWide) {
    if (HasUnpairedSurrogate(Utf16LeBytesToText(v.data.data(), v.data.size() - 2))) return false;
  }
  return true;
}

template <bool kWide>
bool Writer<kWide>::dword(RegValueView v) {
  const auto number = v.type == regtype::kDword ? DwordOf(v) : std::nullopt;
  if (!number) return false;
  ascii("dword:");
  for (int shift = 28; shift >= 0; shift -= 4) ascii(kHexDigits[(*number >> shift) & 0xF]);
  return true;
}

template <bool kWide>
bool Writer<kWide>::hexForm(const RegFileValue& v, std::size_t lineStart) {
  const RegFileBytes& data = v.data;
  if (v.type == regtype::kBinary) {
    ascii("hex:");
  } else {
    char digits[8];
    std::size_t n = 0;
    std::uint32_t t = v.type;
    do {
      digits[n++] = kHexDigits[t & 0xF];
      t >>= 4;
    } while (t != 0);
    ascii("hex(");
    while (n > 0) ascii(digits[--n]);
    ascii("):");
  }
  const std::size_t column = (used_ - lineStart) / kWidth;
  if (doc_.format.header == RegFileHeader::kRegedit4 && IsStringType(v.type)) {
    const std::u16string asText = Utf16LeBytesToText(data.data(), data.size());
    if (data.size() % 2 != 0 || HasUnpairedSurrogate(asText)) {
      error_ = "the value \"" + v.name +
               "\" holds text that a REGEDIT4 file cannot carry (it is not whole UTF-16 text)";
      return false;
    }
    const std::string utf8 = Utf16ToWtf8(asText);
    hex(reinterpret_cast<const std::uint8_t*>(utf8.data()), utf8.size(), column);
  } else {
    hex(data.data(), data.size(), column);
  }
  return true;
}

template <bool kWide>
bool Writer<kWide>::value(const RegFileValue& v) {
  const std::size_t lineStart = used_;
  if (v.name.empty()) {
    ascii('@');
  } else if (!quotedName(v.name)) {
    return false;
  }
  ascii('=');
  // The first form that fits: a quoted string, a dword, or hex (which may fail).
  const RegValueView data = v.value();
  if (!quoted(data) && !dword(data) && !hexForm(v, lineStart)) return false;
  ascii(eol_);
  return true;
}

template <bool kWide>
std::size_t Writer<kWide>::estimatedSize() const {
  // Enough that the output is seldom moved while it grows.
  std::size_t units = 64;
  for (const RegFileKey& key : doc_.keys()) {
    // Per value quotes, '=', the line end and a few escapes; text, or hex digits, commas and
    // line breaks.
    const RegFileKey::Sizes& sizes = key.sizes();
    units += key.path().size() + 8 + 24 * key.values().size() + sizes.names + sizes.stringData / 2 +
             sizes.stringData / 16 + 3 * sizes.otherData + sizes.otherData / 5;
  }
  return units * kWidth;
}

template <bool kWide>
RegWriteResult Writer<kWide>::run() {
  out_.reserve(estimatedSize());
  if constexpr (kWide) {
    raw("\xFF\xFE");
  } else if (doc_.format.encoding == RegFileEncoding::kUtf8WithBom) {
    raw("\xEF\xBB\xBF");
  }
  ascii(doc_.format.header == RegFileHeader::kVersion5 ? kVersion5Header : kRegedit4Header);
  ascii(eol_);
  ascii(eol_);
  for (const RegFileKey& key : doc_.keys()) {
    if (HoldsLineBreakOrNul(key.path())) {
      return {std::nullopt,
              "the key path \"" + std::string(key.path()) + "\" cannot be written in a file"};
    }
    ascii('[');
    if (!text(key.path())) return {std::nullopt, error_};
    ascii(']');
    ascii(eol_);
    for (const RegFileValue& v : key.values()) {
      if (!value(v)) return {std::nullopt, error_};
    }
    ascii(eol_);
  }
  out_.resize(used_);
  return {std::move(out_), {}};
}

}  // namespace

RegWriteResult WriteRegFile(const RegFileDocument& document) {
  if (document.format.encoding == RegFileEncoding::kUtf16Le) return Writer<true>(document).run();
  return Writer<false>(document).run();
}

}  // namespace tavelin
