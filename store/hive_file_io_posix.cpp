#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstring>
#include <thread>

#include "store/hive_file_io.h"

namespace tavelin::hivefile {

namespace {

std::string Reason(int err) {
  return std::strerror(err);
}

class FdLock : public FileLock {
 public:
  explicit FdLock(int fd) : fd_(fd) {}
  ~FdLock() override {
    ::flock(fd_, LOCK_UN);
    ::close(fd_);
  }

 private:
  int fd_;
};

bool WriteAll(int fd, std::string_view bytes) {
  while (!bytes.empty()) {
    const ssize_t n = ::write(fd, bytes.data(), bytes.size());
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    bytes.remove_prefix(static_cast<std::size_t>(n));
  }
  return true;
}

}  // namespace

unsigned long CurrentProcessId() {
  return static_cast<unsigned long>(::getpid());
}

std::string TemporaryPrefix(const std::filesystem::path& target) {
  return target.filename().string() + ".tmp-";
}

ReadStatus ReadWholeFile(const std::filesystem::path& path, std::string& bytes,
                         std::string& error) {
  bytes.clear();
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) {
    if (errno == ENOENT) return ReadStatus::kMissing;
    error = Reason(errno);
    return ReadStatus::kFailed;
  }
  struct stat st {};
  if (::fstat(fd, &st) == 0 && S_ISDIR(st.st_mode)) {
    ::close(fd);
    error = Reason(EISDIR);
    return ReadStatus::kFailed;
  }
  if (st.st_size > 0) bytes.reserve(static_cast<std::size_t>(st.st_size));
  char buffer[65536];
  for (;;) {
    const ssize_t n = ::read(fd, buffer, sizeof buffer);
    if (n == 0) break;
    if (n < 0) {
      if (errno == EINTR) continue;
      error = Reason(errno);
      ::close(fd);
      return ReadStatus::kFailed;
    }
    bytes.append(buffer, static_cast<std::size_t>(n));
  }
  ::close(fd);
  return ReadStatus::kOk;
}

LockStatus AcquireFileLock(const std::filesystem::path& lockPath, std::chrono::milliseconds timeout,
                           std::unique_ptr<FileLock>& lock, std::string& error) {
  const int fd = ::open(lockPath.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
  if (fd < 0) {
    error = Reason(errno);
    return LockStatus::kFailed;
  }
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  for (;;) {
    if (::flock(fd, LOCK_EX | LOCK_NB) == 0) {
      lock = std::make_unique<FdLock>(fd);
      return LockStatus::kLocked;
    }
    if (errno != EWOULDBLOCK && errno != EINTR) {
      error = Reason(errno);
      ::close(fd);
      return LockStatus::kFailed;
    }
    if (std::chrono::steady_clock::now() >= deadline) {
      ::close(fd);
      error = "another program has held the lock for too long";
      return LockStatus::kTimedOut;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
}

bool ReplaceFileAtomically(const std::filesystem::path& target, std::string_view bytes,
                           std::string& error) {
  static std::atomic<unsigned> counter{0};
  struct stat old {};
  const bool hadOld = ::stat(target.c_str(), &old) == 0;
  const std::filesystem::path folder = target.parent_path();
  const std::filesystem::path temporary =
      folder / (TemporaryPrefix(target) + std::to_string(CurrentProcessId()) + "-" +
                std::to_string(counter.fetch_add(1)));

  const int fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
  if (fd < 0) {
    error = Reason(errno);
    return false;
  }
  const auto fail = [&](int err, int openFd) {
    error = Reason(err);
    if (openFd >= 0) ::close(openFd);
    ::unlink(temporary.c_str());
    return false;
  };
  if (!WriteAll(fd, bytes)) return fail(errno, fd);
  if (hadOld) {
    // The owner can only be kept by a privileged process; the mode always.
    if (old.st_uid != ::geteuid() || old.st_gid != ::getegid()) {
      [[maybe_unused]] const int ignored = ::fchown(fd, old.st_uid, old.st_gid);
    }
    if (::fchmod(fd, old.st_mode & 07777) != 0) return fail(errno, fd);
  }
  if (::fsync(fd) != 0) return fail(errno, fd);
  if (::close(fd) != 0) return fail(errno, -1);
  if (::rename(temporary.c_str(), target.c_str()) != 0) return fail(errno, -1);
  // Make the rename itself durable.
  const int dirFd =
      ::open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (dirFd >= 0) {
    ::fsync(dirFd);
    ::close(dirFd);
  }
  return true;
}

}  // namespace tavelin::hivefile
