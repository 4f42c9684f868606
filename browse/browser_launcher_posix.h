// The launcher for Linux and other POSIX systems: the first usable command of $BROWSER, else
// the desktop's default browser through xdg-open, started detached.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "browse/browser_launcher.h"

namespace tavelin {

// The parts of the environment the launcher looks at, handed in rather than read from the
// process so that callers (and tests) decide them.
struct BrowserEnvironment {
  std::optional<std::string> browser;  // $BROWSER
  std::optional<std::string> path;     // $PATH; unset means the system's default search path
};

// The environment of this process.
BrowserEnvironment BrowserEnvironmentOfProcess();

// Where `program` is run from: itself when it contains a slash, otherwise the first
// executable regular file of that name in the colon-separated `searchPath` (an empty element
// meaning the current directory). Empty text when it cannot be run.
std::string FindExecutable(std::string_view program, std::string_view searchPath);

class PosixBrowserLauncher : public BrowserLauncher {
 public:
  explicit PosixBrowserLauncher(BrowserEnvironment environment);

  // The window mode does not apply here: browsers share no option for it, and an option a
  // browser does not know would make it fail.
  LaunchOutcome open(const std::string& address, int showCommand) override;

 private:
  BrowserEnvironment environment_;
};

}  // namespace tavelin
