#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <new>

#include "platform/os_handle_posix.h"
#include "platform/read_file.h"
#include "platform/system_error.h"

namespace tavelin::platform {

namespace {

FileRead Failed(int error) {
  FileRead result;
  result.error = SystemErrorText(static_cast<SystemErrorCode>(error));
  return result;
}

}  // namespace

FileRead ReadWholeFile(const std::filesystem::path& path) {
  FileRead result;
  // O_NONBLOCK: opening a pipe must not wait for a writer; the check below refuses it.
  OsHandle fd(::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY));
  if (fd.get() < 0) {
    if (errno != ENOENT) return Failed(errno);
    result.status = FileRead::Status::kMissing;
    return result;
  }
  struct stat info {};
  if (::fstat(fd.get(), &info) != 0) return Failed(errno);
  if (!S_ISREG(info.st_mode)) {
    result.status = FileRead::Status::kNotRegularFile;
    return result;
  }
  // A regular file never blocks, whatever its mode; should a file system say otherwise, the
  // file is read in normal mode.
  bool blocking = false;
  try {
    const auto expected = static_cast<unsigned long long>(info.st_size);
    if (expected >= result.bytes.max_size()) throw std::bad_alloc();
    // Read straight into place; what lies past the size found above goes through `spill`.
    result.bytes.resize(static_cast<std::size_t>(expected));
    std::size_t filled = 0;
    char spill[1 << 12];
    for (;;) {
      const bool intoPlace = filled < result.bytes.size();
      char* const into = intoPlace ? result.bytes.data() + filled : spill;
      const std::size_t room = intoPlace ? result.bytes.size() - filled : sizeof spill;
      const ssize_t got = ::read(fd.get(), into, room);
      if (got < 0) {
        if (errno == EINTR) continue;
        if ((errno == EAGAIN || errno == EWOULDBLOCK) && !blocking) {
          blocking = true;
          const int flags = ::fcntl(fd.get(), F_GETFL);
          if (flags >= 0 && ::fcntl(fd.get(), F_SETFL, flags & ~O_NONBLOCK) == 0) continue;
        }
        return Failed(errno);
      }
      if (got == 0) break;
      if (!intoPlace) result.bytes.append(spill, static_cast<std::size_t>(got));
      filled += static_cast<std::size_t>(got);
    }
    result.bytes.resize(filled);
  } catch (const std::bad_alloc&) {
    result.bytes = {};
    result.error = "the file is too large to be read into memory";
    return result;
  }
  result.status = FileRead::Status::kRead;
  return result;
}

}  // namespace tavelin::platform
