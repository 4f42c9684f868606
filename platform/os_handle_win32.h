// The owner of an open Windows handle, closing it on every way out. For the platform files
// only.
#pragma once

#include <windows.h>

namespace tavelin::platform {

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
}  // namespace tavelin::platform
