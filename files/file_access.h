// The few file-system operations the list files need, one implementation per platform
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

struct FileContents {
  enum class Status { kOk, kNotRegularFile, kFailed };
  Status status = Status::kFailed;
  std::string bytes;
  std::string error;  // for kFailed
};

// Reads the whole of a regular file. It is opened without blocking and examined before
// anything is read, so a pipe or a device is reported as kNotRegularFile and never waited on.
// A file too large for memory is a failure with its own message.
FileContents ReadRegularFile(const std::string& path);

// Replaces the content of `path` (or creates it) with `bytes`: they are written to a new
// file in the same folder, flushed and renamed over the target, so the target is either
// the old file or the complete new one. A replaced file's permissions are kept. A
// symbolic link is followed, so the link stays and its target gets the new content.
FileResult ReplaceFileContents(const std::string& path, std::string_view bytes);

// The system's ANSI code page to UTF-8 (Windows-1252 where the system has none).
std::string SystemAnsiToUtf8(std::string_view bytes);

}  // namespace tavelin
