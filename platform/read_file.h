// Reading a whole file into memory. One implementation per platform (read_file_posix.cpp,
// read_file_win32.cpp).
#pragma once

#include <filesystem>
#include <string>

namespace tavelin::platform {

struct FileRead {
  enum class Status {
    kRead,            // `bytes` holds the whole file
    kMissing,         // nothing of that name, or a folder on the way is missing
    kNotRegularFile,  // a folder, a pipe, a device
    kFailed,          // `error` says why
  };
  Status status = Status::kFailed;
  std::string bytes;
  std::string error;  // the system's reason, to follow a colon
};

// Reads the whole of a regular file, following symbolic links. Opening never waits (a pipe
// without a writer is not waited on) and the file is examined before anything is read. A file
// that grows meanwhile is read to its new end; one too large for memory is kFailed.
FileRead ReadWholeFile(const std::filesystem::path& path);

}  // namespace tavelin::platform
