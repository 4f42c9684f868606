// Owners of an open descriptor (POSIX) or handle (Windows) that close it on every way out.
// For the platform files only.
#pragma once

#ifdef _WIN32
#include <windows.h>
#else
#include <unistd.h>
#endif

namespace tavelin::platform {

#ifdef _WIN32
class OsHandle {
 public:
  explicit OsHandle(HANDLE handle = INVALID_HANDLE_VALUE) : handle_(handle) {}
  ~OsHandle() { close(); }
  OsHandle(OsHandle&& other) noexcept : handle_(other.release()) {}
  OsHandle& operator=(OsHandle&& other) noexcept {
    if (this != &other) {
      close();
      handle_ = other.release();
    }
    return *this;
  }
  bool valid() const { return handle_ != INVALID_HANDLE_VALUE; }
  HANDLE get() const { return handle_; }
  HANDLE release() {
    const HANDLE handle = handle_;
    handle_ = INVALID_HANDLE_VALUE;
    return handle;
  }
  // Closes now; false when closing failed.
  bool close() {
    if (!valid()) return true;
    return CloseHandle(release()) != 0;
  }

 private:
  HANDLE handle_;
};
#else
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
#endif

}  // namespace tavelin::platform
