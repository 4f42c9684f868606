// files/ reads and writes the address list file. It uses platform/ and the standard library,
// and knows no registry, no list on screen and no window.
//
// The address list file: a plain text file with one address per line, written by "Save list
// as" and read by "Open list".
//
// Written as UTF-8 without a byte-order mark, every line ended by CR LF. Read as UTF-8 (a
// byte-order mark skipped), as UTF-16 when the file starts with a UTF-16 byte-order mark or,
// without one, when its ASCII characters come as a byte and a NUL (either order), and
// otherwise, when the bytes are not valid UTF-8, in the system's ANSI code page. "Open list"
// refuses a file whose text then holds a NUL or a control character other than tab, CR, LF.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "files/file_access.h"

namespace tavelin {

// Whether the name ends in ".txt", in any letter case.
bool HasListFileExtension(std::string_view name);

// The name the export writes to: a name ending in ".txt" (any case) stays as it is;
// otherwise the extension of the file name (from its last dot, unless that dot starts the
// name) is replaced by ".txt", or ".txt" is appended when there is none.
std::string ListFileTargetName(std::string_view chosen);

// The file's bytes for these entries. An entry of two or more characters that begins and
// ends with a double quote gets one more pair, which the reader takes off again. Unpaired
// surrogates (which the registry can hold) are written as U+FFFD, so that the file is
// always valid UTF-8.
std::string EncodeListFile(const std::vector<std::string>& entries);

// Turns the file's bytes into UTF-8 text, by the rules above. `decodeAnsi` converts bytes in
// the ANSI code page; the system's is the default.
using AnsiDecoder = std::string (*)(std::string_view bytes);
std::string DecodeListFileText(std::string_view bytes, AnsiDecoder decodeAnsi = SystemAnsiToUtf8);

// One entry per line: CR LF, LF and CR each end a line, and a line end at the very end does
// not start another entry. A line of two or more characters that begins and ends with a
// double quote loses that one pair.
std::vector<std::string> SplitListFileLines(std::string_view text);

// Both steps together.
std::vector<std::string> DecodeListFile(std::string_view bytes,
                                        AnsiDecoder decodeAnsi = SystemAnsiToUtf8);

// Windows-1252 to UTF-8; the five bytes the code page leaves undefined become the C1
// control characters of the same number, as Windows converts them.
std::string Windows1252ToUtf8(std::string_view bytes);

// What reading a list file for "Open list" came to.
struct ListFileRead {
  enum class Outcome {
    kRead,                  // `entries` holds the file's entries
    kMissing,               // no regular file of that name
    kUnsupportedExtension,  // the name does not end in ".txt"
    kFailed,                // `error` says what failed
  };
  Outcome outcome = Outcome::kFailed;
  std::vector<std::string> entries;
  std::string error;
};

// Checks the name and reads the whole file, touching nothing else. A file that is no text
// list (a NUL or a control character other than tab, CR and LF) is kFailed, `error` naming it.
ListFileRead ReadListFile(const std::string& path);

// Whether the export may write to `target`, and whether it must ask first.
struct ListFileTarget {
  enum class State {
    kNew,       // nothing there yet
    kExisting,  // a file is there: ask before replacing it
    kRefused,   // a folder or some other thing that is not a file; `error` says so
  };
  State state = State::kNew;
  std::string error;
};
ListFileTarget CheckListFileTarget(const std::string& target);

// Writes the entries to `target` by way of a temporary file in the same folder, by the rule of
// platform/atomic_replace.h (links followed, a replaced file keeps its permissions, a new one
// is readable as the umask allows). On failure the returned text names the file and says what
// failed, and a file that was there stays as it was.
FileResult WriteListFile(const std::string& target, const std::vector<std::string>& entries);

}  // namespace tavelin
