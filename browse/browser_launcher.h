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

class BrowserLauncher {
 public:
  virtual ~BrowserLauncher() = default;
  // Starts the browser on `address` (already in its final form) and returns without waiting.
  // `windowMode` is the window-mode setting ("Max", "Min", or anything else).
  virtual LaunchOutcome open(const std::string& address, std::string_view windowMode) = 0;
};

// The launcher of this platform.
std::unique_ptr<BrowserLauncher> CreateSystemBrowserLauncher();

}  // namespace tavelin
