// The owner of an open POSIX descriptor, closing it on every way out. For the platform files
// only.
#pragma once

#include <unistd.h>

namespace tavelin::platform {

class OsHandle {
 public:
  explicit OsHandle(int fd = -1) : fd_(fd) {}
  ~OsHandle() { close(); }
  OsHandle(OsHandle&& other) noexcept : fd_(other.release()) {}
  OsHandle& operator=(OsHandle&& other) noexcept {
    if (this != &other) {
      close();
      fd_ = other.release();
    }
    return *this;
  }
  bool valid() const { return fd_ >= 0; }
  int get() const { return fd_; }
  int release() {
    const int fd = fd_;
    fd_ = -1;
    return fd;
  }
  // Closes now; false when closing failed (a late write error may only show here).
  bool close() {
    if (!valid()) return true;
    return ::close(release()) == 0;
  }

 private:
  int fd_;
};
}  // namespace tavelin::platform
