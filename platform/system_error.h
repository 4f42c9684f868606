// The system's own words for an error, for messages to the user. One implementation per
// platform (system_error_posix.cpp, system_error_win32.cpp).
#pragma once

#include <string>

namespace tavelin::platform {

// An errno value on POSIX systems; a GetLastError() or registry status code on Windows.
using SystemErrorCode = unsigned long;

// The calling thread's last error (errno, GetLastError()).
SystemErrorCode LastSystemError();

// The text for `code`, without a full stop at its end, so that it can follow a colon inside a
// sentence: "Permission denied"; on Windows "Access is denied (error 5)", with the number since
// the texts are translated.
std::string SystemErrorText(SystemErrorCode code);

}  // namespace tavelin::platform
