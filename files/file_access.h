// What the list files need of the system beyond reading and replacing a file (platform/):
// what is at a path, and the system's ANSI code page. One implementation per platform
// (file_access_posix.cpp, file_access_win32.cpp). Paths are UTF-8 text on Windows and the
// native bytes elsewhere.
#pragma once

#include <string>
#include <string_view>

namespace tavelin {

enum class PathKind {
  kMissing,      // nothing of that name (or a part of the path is not a folder)
  kRegularFile,  // hidden files included
  kDirectory,
  kOther,         // a device, a pipe, a socket
  kInaccessible,  // could not be examined; opening it will say why
};

// What is at `path`, following symbolic links. Never opens it, so a pipe cannot block.
PathKind ProbePath(const std::string& path);

struct FileResult {
  bool ok = false;
  std::string error;  // what failed, for the user, when !ok
};

// The system's ANSI code page to UTF-8 (Windows-1252 where the system has none).
std::string SystemAnsiToUtf8(std::string_view bytes);

}  // namespace tavelin
