#include <sys/stat.h>

#include <cerrno>

#include "files/file_access.h"
#include "files/list_file.h"

namespace tavelin {

PathKind ProbePath(const std::string& path) {
  struct stat info {};
  if (::stat(path.c_str(), &info) != 0) {
    return (errno == ENOENT || errno == ENOTDIR) ? PathKind::kMissing : PathKind::kInaccessible;
  }
  if (S_ISREG(info.st_mode)) return PathKind::kRegularFile;
  if (S_ISDIR(info.st_mode)) return PathKind::kDirectory;
  return PathKind::kOther;
}

std::string SystemAnsiToUtf8(std::string_view bytes) {
  return Windows1252ToUtf8(bytes);
}

}  // namespace tavelin
