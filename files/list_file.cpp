#include "files/list_file.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>
#include <new>
#include <optional>
#include <utility>

#include "platform/atomic_replace.h"
#include "platform/read_file.h"
#include "platform/wide_text.h"
#include "platform/wtf8.h"

namespace tavelin {

namespace {

#ifdef _WIN32
constexpr std::string_view kPathSeparators = "/\\:";
#else
constexpr std::string_view kPathSeparators = "/";
#endif

constexpr std::string_view kListFileExtension = ".txt";

char AsciiLower(char c) {
  return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

bool EndsWithIgnoringCase(std::string_view text, std::string_view suffix) {
  if (text.size() < suffix.size()) return false;
  const std::string_view tail = text.substr(text.size() - suffix.size());
  return std::equal(tail.begin(), tail.end(), suffix.begin(),
                    [](char a, char b) { return AsciiLower(a) == AsciiLower(b); });
}

bool IsQuotedLine(std::string_view line) {
  return line.size() >= 2 && line.front() == '"' && line.back() == '"';
}

// Most lists are plain ASCII: skip the full check for them, eight bytes at a time.
bool IsValidUtf8Fast(std::string_view bytes) {
  std::size_t i = 0;
  for (; i + 8 <= bytes.size(); i += 8) {
    std::uint64_t word;
    std::memcpy(&word, bytes.data() + i, 8);
    if (word & 0x8080808080808080ull) break;
  }
  while (i < bytes.size() && (static_cast<unsigned char>(bytes[i]) & 0x80) == 0) ++i;
  return i == bytes.size() || IsValidUtf8(bytes.substr(i));
}

// Internal text may hold unpaired surrogates; a text file should not.
std::string ToValidUtf8(std::string_view text) {
  std::u16string units = Wtf8ToUtf16(text);
  for (std::size_t i = 0; i < units.size(); ++i) {
    const char16_t c = units[i];
    if (c >= 0xD800 && c <= 0xDBFF && i + 1 < units.size() && units[i + 1] >= 0xDC00 &&
        units[i + 1] <= 0xDFFF) {
      ++i;
    } else if (c >= 0xD800 && c <= 0xDFFF) {
      units[i] = u'\uFFFD';
    }
  }
  return Utf16ToWtf8(units);
}

enum class Encoding { kUtf8, kUtf8WithBom, kUtf16Le, kUtf16Be, kBareUtf16Le, kBareUtf16Be, kAnsi };

// UTF-16 without a byte-order mark shows in its ASCII characters, of which every list has
// plenty (line ends, schemes, dots): each is a NUL and a byte below 0x80, the NUL first in
// big-endian order. Taken for UTF-16 when such characters make a quarter of the file and
// none of the other order's, and no character is NUL: a stray NUL in 8-bit text is no
// UTF-16, and neither is a binary file.
std::optional<Encoding> BareUtf16(std::string_view bytes) {
  if (bytes.empty() || bytes.size() % 2 != 0) return std::nullopt;
  std::size_t little = 0;
  std::size_t big = 0;
  for (std::size_t i = 0; i < bytes.size(); i += 2) {
    const auto first = static_cast<unsigned char>(bytes[i]);
    const auto second = static_cast<unsigned char>(bytes[i + 1]);
    if (first == 0 && second == 0) return std::nullopt;
    if (second == 0 && first < 0x80) ++little;
    if (first == 0 && second < 0x80) ++big;
  }
  const std::size_t units = bytes.size() / 2;
  if (big == 0 && little * 4 >= units) return Encoding::kBareUtf16Le;
  if (little == 0 && big * 4 >= units) return Encoding::kBareUtf16Be;
  return std::nullopt;
}

Encoding DetectEncoding(std::string_view bytes) {
  const auto at = [&](std::size_t i) { return static_cast<unsigned char>(bytes[i]); };
  if (bytes.size() >= 2 && at(0) == 0xFF && at(1) == 0xFE) return Encoding::kUtf16Le;
  if (bytes.size() >= 2 && at(0) == 0xFE && at(1) == 0xFF) return Encoding::kUtf16Be;
  if (bytes.size() >= 3 && at(0) == 0xEF && at(1) == 0xBB && at(2) == 0xBF) {
    return Encoding::kUtf8WithBom;
  }
  // Only bytes with a NUL can be UTF-16 of an address list.
  if (bytes.find('\0') != std::string_view::npos) {
    if (const std::optional<Encoding> utf16 = BareUtf16(bytes)) return *utf16;
  }
  return IsValidUtf8Fast(bytes) ? Encoding::kUtf8 : Encoding::kAnsi;
}

// A NUL or another control character than tab, CR and LF (C0, DEL and C1), in UTF-8 text.
bool HoldsControlCharacter(std::string_view text) {
  for (std::size_t i = 0; i < text.size(); ++i) {
    const auto c = static_cast<unsigned char>(text[i]);
    if ((c < 0x20 && c != '\t' && c != '\r' && c != '\n') || c == 0x7F) return true;
    if (c == 0xC2 && i + 1 < text.size() && static_cast<unsigned char>(text[i + 1]) < 0xA0)
      return true;
  }
  return false;
}

std::string Utf16BytesToUtf8(std::string_view bytes, bool bigEndian) {
  std::u16string units;
  units.reserve(bytes.size() / 2);
  for (std::size_t i = 0; i + 1 < bytes.size(); i += 2) {
    const auto first = static_cast<unsigned char>(bytes[i]);
    const auto second = static_cast<unsigned char>(bytes[i + 1]);
    units.push_back(
        static_cast<char16_t>(bigEndian ? (first << 8) | second : (second << 8) | first));
  }
  return Utf16ToWtf8(units);
}

void AppendUtf8(std::string& out, std::uint32_t cp) {
  if (cp < 0x80) {
    out.push_back(static_cast<char>(cp));
  } else if (cp < 0x800) {
    out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  } else {
    out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
    out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  }
}

// Bytes 0x80 to 0x9F of Windows-1252; the rest of the upper half is Latin-1.
constexpr std::array<std::uint16_t, 32> kWindows1252High = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

}  // namespace

bool HasListFileExtension(std::string_view name) {
  return EndsWithIgnoringCase(name, kListFileExtension);
}

std::string ListFileTargetName(std::string_view chosen) {
  if (HasListFileExtension(chosen)) return std::string(chosen);
  const std::size_t lastSeparator = chosen.find_last_of(kPathSeparators);
  const std::size_t nameStart = lastSeparator == std::string_view::npos ? 0 : lastSeparator + 1;
  const std::size_t dot = chosen.rfind('.');
  std::string target(chosen);
  // A dot in a folder's name, or one that starts the file name (".profile"), is no extension.
  if (dot != std::string_view::npos && dot > nameStart) target.resize(dot);
  target += kListFileExtension;
  return target;
}

std::string EncodeListFile(const std::vector<std::string>& entries) {
  std::size_t size = 0;
  for (const std::string& entry : entries) size += entry.size() + 4;
  std::string out;
  out.reserve(size);
  for (const std::string& entry : entries) {
    const bool quoted = IsQuotedLine(entry);
    if (quoted) out += '"';
    if (IsValidUtf8Fast(entry)) {
      out += entry;
    } else {
      out += ToValidUtf8(entry);
    }
    if (quoted) out += '"';
    out += "\r\n";
  }
  return out;
}

std::string Windows1252ToUtf8(std::string_view bytes) {
  std::string out;
  out.reserve(bytes.size() + bytes.size() / 2);
  for (char c : bytes) {
    const auto b = static_cast<unsigned char>(c);
    if (b < 0x80) {
      out.push_back(c);
    } else if (b < 0xA0) {
      AppendUtf8(out, kWindows1252High[b - 0x80]);
    } else {
      AppendUtf8(out, b);
    }
  }
  return out;
}

std::string DecodeListFileText(std::string_view bytes, AnsiDecoder decodeAnsi) {
  switch (DetectEncoding(bytes)) {
    case Encoding::kUtf16Le:
      return Utf16BytesToUtf8(bytes.substr(2), false);
    case Encoding::kUtf16Be:
      return Utf16BytesToUtf8(bytes.substr(2), true);
    case Encoding::kBareUtf16Le:
      return Utf16BytesToUtf8(bytes, false);
    case Encoding::kBareUtf16Be:
      return Utf16BytesToUtf8(bytes, true);
    case Encoding::kUtf8WithBom: {
      const std::string_view rest = bytes.substr(3);
      // The mark says UTF-8: a bad byte after it becomes U+FFFD rather than a code page guess.
      return IsValidUtf8Fast(rest) ? std::string(rest) : Utf16ToWtf8(Wtf8ToUtf16(rest));
    }
    case Encoding::kUtf8:
      return std::string(bytes);
    case Encoding::kAnsi:
      return decodeAnsi(bytes);
  }
  return std::string(bytes);
}

std::vector<std::string> SplitListFileLines(std::string_view text) {
  std::vector<std::string> lines;
  // Most files end lines with LF or CR LF: one slot per LF spares the regrowth of a long list.
  lines.reserve(static_cast<std::size_t>(std::count(text.begin(), text.end(), '\n')) + 1);
  const char* const data = text.data();
  const std::size_t size = text.size();
  const auto takeLine = [&](std::size_t from, std::size_t to) {
    std::string_view line(data + from, to - from);
    if (IsQuotedLine(line)) line = line.substr(1, line.size() - 2);
    lines.emplace_back(line);
  };
  // Line by line from one LF to the next; a CR inside such a stretch ends a line of its own,
  // unless it is the CR of a CR LF pair.
  std::size_t start = 0;
  while (start < size) {
    const auto* newline = static_cast<const char*>(std::memchr(data + start, '\n', size - start));
    const std::size_t end = newline ? static_cast<std::size_t>(newline - data) : size;
    std::size_t from = start;
    bool crLf = false;
    while (from < end) {
      const auto* cr = static_cast<const char*>(std::memchr(data + from, '\r', end - from));
      if (!cr) break;
      const auto at = static_cast<std::size_t>(cr - data);
      takeLine(from, at);
      from = at + 1;
      if (from == end && newline) crLf = true;
    }
    if (newline) {
      if (!crLf) takeLine(from, end);
      start = end + 1;
    } else {
      if (from < size) takeLine(from, size);
      start = size;
    }
  }
  return lines;
}

std::vector<std::string> DecodeListFile(std::string_view bytes, AnsiDecoder decodeAnsi) {
  // Plain UTF-8 is split where it lies; only other encodings need a converted copy.
  if (DetectEncoding(bytes) == Encoding::kUtf8) return SplitListFileLines(bytes);
  return SplitListFileLines(DecodeListFileText(bytes, decodeAnsi));
}

ListFileRead ReadListFile(const std::string& path) {
  ListFileRead result;
  const PathKind kind = ProbePath(path);
  if (kind == PathKind::kMissing || kind == PathKind::kDirectory || kind == PathKind::kOther) {
    result.outcome = ListFileRead::Outcome::kMissing;
    return result;
  }
  if (!HasListFileExtension(path)) {
    result.outcome = ListFileRead::Outcome::kUnsupportedExtension;
    return result;
  }
  platform::FileRead contents = platform::ReadWholeFile(platform::PathFromText(path));
  switch (contents.status) {
    case platform::FileRead::Status::kMissing:
    case platform::FileRead::Status::kNotRegularFile:
      result.outcome = ListFileRead::Outcome::kMissing;
      return result;
    case platform::FileRead::Status::kFailed:
      result.outcome = ListFileRead::Outcome::kFailed;
      result.error = "Cannot read \"" + path + "\": " + contents.error + ".";
      return result;
    case platform::FileRead::Status::kRead:
      break;
  }
  try {
    result.entries = DecodeListFile(contents.bytes);
    result.outcome = ListFileRead::Outcome::kRead;
    // The line ends are gone from the entries; any other control character means the file
    // holds no list of addresses, and nothing of it is taken.
    if (std::any_of(result.entries.begin(), result.entries.end(), HoldsControlCharacter)) {
      result.entries = {};
      result.outcome = ListFileRead::Outcome::kFailed;
      result.error = "\"" + path +
                     "\" is not a text list: it holds a NUL or other control characters. "
                     "Nothing was read from it.";
    }
  } catch (const std::bad_alloc&) {
    result.entries = {};
    result.outcome = ListFileRead::Outcome::kFailed;
    result.error = "There is not enough memory to read the list from \"" + path + "\".";
  }
  return result;
}

ListFileTarget CheckListFileTarget(const std::string& target) {
  ListFileTarget result;
  switch (ProbePath(target)) {
    case PathKind::kRegularFile:
      result.state = ListFileTarget::State::kExisting;
      break;
    case PathKind::kDirectory:
      result.state = ListFileTarget::State::kRefused;
      result.error = "The list was not saved: \"" + target + "\" is a folder.";
      break;
    case PathKind::kOther:
      result.state = ListFileTarget::State::kRefused;
      result.error = "The list was not saved: \"" + target + "\" is not a regular file.";
      break;
    case PathKind::kMissing:
    case PathKind::kInaccessible:
      // Writing will tell what is wrong with an inaccessible path.
      result.state = ListFileTarget::State::kNew;
      break;
  }
  return result;
}

FileResult WriteListFile(const std::string& target, const std::vector<std::string>& entries) {
  std::string bytes;
  try {
    bytes = EncodeListFile(entries);
  } catch (const std::bad_alloc&) {
    return {false,
            "The list was not saved: there is not enough memory to write \"" + target + "\"."};
  }
  std::string error;
  if (!platform::ReplaceFileAtomically(platform::PathFromText(target), bytes,
                                       platform::NewFileAccess::kShared, error)) {
    return {false, "The list was not saved to \"" + target + "\": " + error + "."};
  }
  return {true, {}};
}

}  // namespace tavelin
