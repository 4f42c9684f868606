// browse/ turns a list entry into a browser launch and starts it, one launcher per platform.
// It uses platform/ and the standard library only.
//
// Starting the user's default web browser on one address.
#pragma once

#include <memory>
#include <string>
#include <string_view>

namespace tavelin {

struct LaunchOutcome {
  bool started = false;
  std::string error;  // what went wrong, for the user, when not started
};

// How the browser's window is shown, as ShowWindow numbers it.
inline constexpr int kShowMinimized = 2;  // SW_SHOWMINIMIZED
inline constexpr int kShowMaximized = 3;  // SW_SHOWMAXIMIZED

class BrowserLauncher {
 public:
  virtual ~BrowserLauncher() = default;
  // Starts the browser on `address` (already in its final form) and returns without waiting.
  // `showCommand` is kShowMaximized or kShowMinimized; where the platform cannot choose
  // how another program's window opens, it is not passed on.
  virtual LaunchOutcome open(const std::string& address, int showCommand) = 0;
};

// The launcher of this platform.
std::unique_ptr<BrowserLauncher> CreateSystemBrowserLauncher();

}  // namespace tavelin
