// The launcher for Windows: the program the shell associates with HTML files, started through
// ShellExecuteW with the address as its one, quoted, argument.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "browse/browser_launcher.h"

namespace tavelin {

// The two shell services the launcher needs, behind a seam so that the call it makes can be
// checked without starting a browser.
class WindowsShell {
 public:
  virtual ~WindowsShell() = default;
  // The program associated with ".html" files for the verb "open"; empty when there is none.
  virtual std::wstring htmlProgram() = 0;
  // ShellExecuteW(nullptr, L"open", program, parameters, nullptr, show), its result as a
  // number: above 32 means started.
  virtual std::intptr_t execute(const std::wstring& program, const std::wstring& parameters,
                                int show) = 0;
};

std::unique_ptr<WindowsShell> CreateSystemWindowsShell();

class WindowsBrowserLauncher : public BrowserLauncher {
 public:
  explicit WindowsBrowserLauncher(std::unique_ptr<WindowsShell> shell);
  LaunchOutcome open(const std::string& address, int showCommand) override;

 private:
  std::unique_ptr<WindowsShell> shell_;
};

}  // namespace tavelin
