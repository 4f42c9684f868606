#include <cerrno>
#include <system_error>

#include "platform/system_error.h"

namespace tavelin::platform {

SystemErrorCode LastSystemError() {
  return static_cast<SystemErrorCode>(errno);
}

std::string SystemErrorText(SystemErrorCode code) {
  return std::generic_category().message(static_cast<int>(code));
}

}  // namespace tavelin::platform
