#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <new>
#include <random>
#include <system_error>

#include "files/file_access.h"
#include "files/list_file.h"

namespace tavelin {

namespace {

std::string Reason(int error) {
  return std::generic_category().message(error);
}

// Closes a descriptor on every way out.
class Descriptor {
 public:
  explicit Descriptor(int fd) : fd_(fd) {}
  ~Descriptor() {
    if (fd_ >= 0) ::close(fd_);
  }
  Descriptor(const Descriptor&) = delete;
  Descriptor& operator=(const Descriptor&) = delete;
  int get() const { return fd_; }
  // Closes now, reporting the error a late write may only show here.
  int close() {
    const int result = ::close(fd_);
    fd_ = -1;
    return result;
  }

 private:
  int fd_;
};

std::string FolderOf(const std::string& path) {
  const std::size_t slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  if (slash == 0) return "/";
  return path.substr(0, slash);
}

std::string NameOf(const std::string& path) {
  const std::size_t slash = path.rfind('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

// A symbolic link is replaced through: the file it names gets the new content.
std::string ResolveLinks(const std::string& path) {
  struct stat info {};
  if (::lstat(path.c_str(), &info) != 0 || !S_ISLNK(info.st_mode)) return path;
  char* real = ::realpath(path.c_str(), nullptr);
  if (real == nullptr) return path;
  std::string resolved(real);
  std::free(real);
  return resolved;
}

bool WriteAll(int fd, std::string_view bytes, int& error) {
  while (!bytes.empty()) {
    const ssize_t written = ::write(fd, bytes.data(), bytes.size());
    if (written < 0) {
      if (errno == EINTR) continue;
      error = errno;
      return false;
    }
    bytes.remove_prefix(static_cast<std::size_t>(written));
  }
  return true;
}

void SyncFolder(const std::string& folder) {
  const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return;
  ::fsync(fd);
  ::close(fd);
}

}  // namespace

PathKind ProbePath(const std::string& path) {
  struct stat info {};
  if (::stat(path.c_str(), &info) != 0) {
    return (errno == ENOENT || errno == ENOTDIR) ? PathKind::kMissing : PathKind::kInaccessible;
  }
  if (S_ISREG(info.st_mode)) return PathKind::kRegularFile;
  if (S_ISDIR(info.st_mode)) return PathKind::kDirectory;
  return PathKind::kOther;
}

FileContents ReadRegularFile(const std::string& path) {
  FileContents result;
  // O_NONBLOCK: opening a pipe must not wait for a writer; the check below refuses it.
  Descriptor fd(::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY));
  if (fd.get() < 0) {
    const int error = errno;
    if (error == ENOENT || error == ENOTDIR) {
      result.status = FileContents::Status::kNotRegularFile;
    } else {
      result.error = "Cannot open \"" + path + "\": " + Reason(error) + ".";
    }
    return result;
  }
  struct stat info {};
  if (::fstat(fd.get(), &info) != 0) {
    result.error = "Cannot examine \"" + path + "\": " + Reason(errno) + ".";
    return result;
  }
  if (!S_ISREG(info.st_mode)) {
    result.status = FileContents::Status::kNotRegularFile;
    return result;
  }
  // A regular file never blocks; normal mode makes short reads the exception.
  const int flags = ::fcntl(fd.get(), F_GETFL);
  if (flags >= 0) ::fcntl(fd.get(), F_SETFL, flags & ~O_NONBLOCK);
  try {
    const auto expected = static_cast<unsigned long long>(info.st_size);
    if (expected >= result.bytes.max_size()) throw std::bad_alloc();
    // Read straight into place; a file that grows meanwhile is read to its new end.
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
        result.bytes = {};
        result.error = "Cannot read \"" + path + "\": " + Reason(errno) + ".";
        return result;
      }
      if (got == 0) break;
      if (!intoPlace) result.bytes.append(spill, static_cast<std::size_t>(got));
      filled += static_cast<std::size_t>(got);
    }
    result.bytes.resize(filled);
  } catch (const std::bad_alloc&) {
    result.bytes = {};
    result.error = "\"" + path + "\" is too large to be read into memory.";
    return result;
  }
  result.status = FileContents::Status::kOk;
  return result;
}

FileResult ReplaceFileContents(const std::string& path, std::string_view bytes) {
  const std::string target = ResolveLinks(path);
  const std::string folder = FolderOf(target);
  struct stat old {};
  const bool replacing = ::stat(target.c_str(), &old) == 0 && S_ISREG(old.st_mode);

  // A hidden name of our own beside the target; O_EXCL makes sure it is new.
  std::random_device seed;
  std::mt19937_64 random(seed());
  std::string temporary;
  int fdNumber = -1;
  for (int attempt = 0; attempt < 100 && fdNumber < 0; ++attempt) {
    temporary =
        folder + "/." + NameOf(target) + "." + std::to_string(random() % 1000000000) + ".tmp";
    fdNumber = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fdNumber < 0 && errno != EEXIST) break;
  }
  if (fdNumber < 0) {
    return {false, "The list was not saved: cannot create a file in the folder \"" + folder +
                       "\": " + Reason(errno) + "."};
  }
  Descriptor fd(fdNumber);
  const auto fail = [&](const std::string& what, int error) {
    ::unlink(temporary.c_str());
    return FileResult{false, "The list was not saved: " + what + ": " + Reason(error) + "."};
  };

  int error = 0;
  if (!WriteAll(fd.get(), bytes, error)) {
    return fail("cannot write to \"" + temporary + "\"", error);
  }
  if (replacing) {
    // Keep the replaced file's owner and permissions where we may; failing to is no reason
    // to stop, since only the superuser can give a file away.
    if (::fchown(fd.get(), old.st_uid, old.st_gid) != 0) {
    }
    ::fchmod(fd.get(), old.st_mode & 07777);
  }
  if (::fsync(fd.get()) != 0) return fail("cannot write to \"" + temporary + "\"", errno);
  if (fd.close() != 0) return fail("cannot write to \"" + temporary + "\"", errno);
  if (::rename(temporary.c_str(), target.c_str()) != 0) {
    return fail("cannot replace \"" + target + "\"", errno);
  }
  SyncFolder(folder);
  return {true, {}};
}

std::string SystemAnsiToUtf8(std::string_view bytes) {
  return Windows1252ToUtf8(bytes);
}

}  // namespace tavelin
