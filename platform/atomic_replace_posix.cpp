#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstring>
#include <optional>
#include <vector>

#include "platform/atomic_replace.h"
#include "platform/os_handle_posix.h"
#include "platform/system_error.h"
#include "platform/wide_text.h"

namespace tavelin::platform {

namespace fs = std::filesystem;

struct FileReplacement::Open {
  OsHandle fd;
  dev_t device = 0;
  ino_t inode = 0;
};

namespace {

// Built in place: "\"" + text + "\"" draws a false -Wrestrict from GCC 12.
std::string Quoted(const fs::path& path) {
  std::string text = PathText(path);
  text.insert(text.begin(), '"');
  text.push_back('"');
  return text;
}

std::string Reason() {
  return SystemErrorText(LastSystemError());
}

bool SameOwnerAndMode(const struct stat& a, const struct stat& b) {
  return a.st_uid == b.st_uid && a.st_gid == b.st_gid && (a.st_mode & 07777) == (b.st_mode & 07777);
}

// One extended attribute's value, or the list of names when `name` is null; nothing with
// errno set when it cannot be read.
std::optional<std::vector<char>> ReadAttribute(const fs::path& file, const char* name) {
  for (int attempt = 0; attempt < 8; ++attempt) {
    const ssize_t size =
        name ? ::getxattr(file.c_str(), name, nullptr, 0) : ::listxattr(file.c_str(), nullptr, 0);
    if (size < 0) return std::nullopt;
    std::vector<char> bytes(static_cast<std::size_t>(size));
    if (bytes.empty()) return bytes;  // nearly every file has none
    const ssize_t got = name ? ::getxattr(file.c_str(), name, bytes.data(), bytes.size())
                             : ::listxattr(file.c_str(), bytes.data(), bytes.size());
    if (got >= 0) {
      bytes.resize(static_cast<std::size_t>(got));
      return bytes;
    }
    if (errno != ERANGE) return std::nullopt;  // ERANGE: it grew meanwhile, read it again
  }
  return std::nullopt;
}

// Puts every extended attribute of `from` on the open file `to`: its access control list is
// one (system.posix_acl_access), and so are the marks other programs keep on it. Empty when
// done, else why not.
std::string CopyExtendedAttributes(const fs::path& from, const fs::path& to, int toFd) {
  const std::optional<std::vector<char>> names = ReadAttribute(from, nullptr);
  if (!names) return errno == ENOTSUP ? std::string() : Reason();
  for (std::size_t at = 0; at < names->size();) {
    const std::string name(names->data() + at);
    at += name.size() + 1;
    if (name.empty()) continue;
    const std::optional<std::vector<char>> value = ReadAttribute(from, name.c_str());
    if (!value) {
      if (errno == ENODATA) continue;  // removed meanwhile
      return "its attribute " + name + " cannot be read (" + Reason() + ")";
    }
    // The file may carry it already (a label the folder gives every new file).
    if (ReadAttribute(to, name.c_str()) == value) continue;
    if (::fsetxattr(toFd, name.c_str(), value->data(), value->size(), 0) != 0) {
      return "its attribute " + name + " cannot be kept (" + Reason() + ")";
    }
  }
  return {};
}

}  // namespace

unsigned long CurrentProcessId() {
  return static_cast<unsigned long>(::getpid());
}

FileReplacement::FileReplacement(const fs::path& target, NewFileAccess access) {
  struct stat old {};
  // Nearly always the file itself, examined once; a link is followed to what it names.
  int found = ::lstat(target.c_str(), &old);
  if (found == 0 && S_ISLNK(old.st_mode)) {
    target_ = FollowLinks(target);
    found = ::stat(target_.c_str(), &old);
  } else {
    target_ = target;
  }
  bool replacing = false;
  if (found == 0) {
    if (S_ISDIR(old.st_mode)) {
      fail(Quoted(target_) + " is a folder");
      return;
    }
    if (!S_ISREG(old.st_mode)) {
      fail(Quoted(target_) + " is not a regular file");
      return;
    }
    // The rename would let a writable folder replace a file its user made read-only.
    if (const std::string why = WhyNotWritable(target_); !why.empty()) {
      fail("cannot replace " + Quoted(target_) + ": " + why);
      return;
    }
    replacing = true;
  } else if (errno != ENOENT) {
    fail("cannot examine " + Quoted(target_) + ": " + Reason());
    return;
  }

  const fs::path folder = target_.has_parent_path() ? target_.parent_path() : fs::path(".");
  static std::atomic<unsigned long> counter{0};
  auto open = std::make_unique<Open>();
  // A name of a killed process with the same id may still be there: take the next one.
  for (int attempt = 0; attempt < 100 && !open->fd.valid(); ++attempt) {
    temporary_ = folder / TemporaryFileName(target_, CurrentProcessId(), counter++);
    // Never wider than 0600 until the final permissions are set below.
    const mode_t mode = !replacing && access == NewFileAccess::kShared ? 0666 : 0600;
    open->fd = OsHandle(
        ::open(temporary_.c_str(), O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, mode));
    if (!open->fd.valid() && errno != EEXIST) break;
  }
  if (!open->fd.valid()) {
    const std::string reason = Reason();
    temporary_.clear();
    fail("cannot create a temporary file in " + Quoted(folder) + ": " + reason);
    return;
  }
  open_ = std::move(open);

  struct stat made {};
  if (::fstat(open_->fd.get(), &made) != 0) {
    fail("cannot examine " + Quoted(temporary_) + ": " + Reason());
    return;
  }
  open_->device = made.st_dev;
  open_->inode = made.st_ino;
  if (replacing && !SameOwnerAndMode(made, old)) {
    // Owner first: a change of owner clears the set-id bits that the mode then restores.
    if ((made.st_uid != old.st_uid || made.st_gid != old.st_gid) &&
        ::fchown(open_->fd.get(), old.st_uid, old.st_gid) != 0) {
      fail("cannot keep the owner and group of " + Quoted(target_) + ": " + Reason());
      return;
    }
    if (::fchmod(open_->fd.get(), old.st_mode & 07777) != 0) {
      fail("cannot keep the permissions of " + Quoted(target_) + ": " + Reason());
      return;
    }
    // Some file systems accept a change they cannot hold; believe only what the file says.
    if (::fstat(open_->fd.get(), &made) != 0 || !SameOwnerAndMode(made, old)) {
      fail("cannot keep the owner and permissions of " + Quoted(target_) +
           ": the file system does not keep them");
      return;
    }
  }
  if (replacing) {
    if (const std::string why = CopyExtendedAttributes(target_, temporary_, open_->fd.get());
        !why.empty()) {
      fail("cannot keep the access control list and extended attributes of " + Quoted(target_) +
           ": " + why);
      return;
    }
  } else if (access == NewFileAccess::kOwnerOnly && (made.st_mode & 07777) != 0600 &&
             ::fchmod(open_->fd.get(), 0600) != 0) {
    fail("cannot make " + Quoted(temporary_) + " private: " + Reason());
  }
}

FileReplacement::~FileReplacement() {
  discard();
}

void FileReplacement::discard() {
  if (!open_) return;
  open_->fd.close();
  if (!committed_) ::unlink(temporary_.c_str());
  open_.reset();
}

bool FileReplacement::write(std::string_view bytes) {
  if (!open_) return false;
  while (!bytes.empty()) {
    const ssize_t written = ::write(open_->fd.get(), bytes.data(), bytes.size());
    if (written < 0) {
      if (errno == EINTR) continue;
      return fail("cannot write to " + Quoted(temporary_) + ": " + Reason());
    }
    bytes.remove_prefix(static_cast<std::size_t>(written));
  }
  return true;
}

bool FileReplacement::commit() {
  if (!open_) return false;
  // Another writer may have filled the temporary through its name; it must still be the file
  // made above, or its permissions and this process's ownership of it are not known.
  struct stat named {};
  if (::lstat(temporary_.c_str(), &named) != 0 || !S_ISREG(named.st_mode) ||
      named.st_dev != open_->device || named.st_ino != open_->inode) {
    return fail(Quoted(temporary_) + " was replaced by another file while it was written");
  }
  // Errors of earlier writes (a full disk, a failing device) may show only when flushed.
  if (::fsync(open_->fd.get()) != 0 || !open_->fd.close()) {
    return fail("cannot write to " + Quoted(temporary_) + ": " + Reason());
  }
  if (::rename(temporary_.c_str(), target_.c_str()) != 0) {
    return fail("cannot replace " + Quoted(target_) + ": " + Reason());
  }
  committed_ = true;
  open_.reset();
  // The rename lasts once the folder is on disk. The new file is in place either way, so a
  // folder that cannot be flushed (some file systems refuse) is no failure of the write.
  const fs::path folder = target_.has_parent_path() ? target_.parent_path() : fs::path(".");
  OsHandle folderFd(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (folderFd.valid()) ::fsync(folderFd.get());
  return true;
}

std::string WhyNotWritable(const fs::path& file) {
  const fs::path folder = file.has_parent_path() ? file.parent_path() : fs::path(".");
  const auto denied = [](const fs::path& path) {
    return ::faccessat(AT_FDCWD, path.c_str(), W_OK, AT_EACCESS) != 0 ? errno : 0;
  };
  struct stat info {};
  const bool found = ::stat(file.c_str(), &info) == 0;
  if (found && (info.st_mode & 0222) == 0) return "the file is read-only";
  // A rename gives this name a new file and leaves the old one to the other names.
  if (found && S_ISREG(info.st_mode) && info.st_nlink > 1) return std::string(kOtherHardLinks);
  if (const int error = denied(file)) {
    if (error == EROFS) return "it is on a file system mounted read-only";
    return "the file is read-only (" + SystemErrorText(static_cast<SystemErrorCode>(error)) + ")";
  }
  if (const int error = denied(folder)) {
    return "its folder " + PathText(folder) + " is read-only (" +
           SystemErrorText(static_cast<SystemErrorCode>(error)) + ")";
  }
  return {};
}

std::vector<fs::path> FolderEntryNames(const fs::path& folder) {
  int fd = -1;
#ifdef O_NOATIME
  // Listed without marking the folder read where the system allows it (the user owns it):
  // the flush of the new file that follows would otherwise have to write that time as well.
  fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC | O_NOATIME);
#endif
  if (fd < 0) fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return {};
  DIR* dir = ::fdopendir(fd);
  if (dir == nullptr) {
    ::close(fd);
    return {};
  }
  std::vector<fs::path> names;
  while (const dirent* entry = ::readdir(dir)) {
    const std::string_view name = entry->d_name;
    if (name != "." && name != "..") names.emplace_back(name);
  }
  ::closedir(dir);
  return names;
}

}  // namespace tavelin::platform
