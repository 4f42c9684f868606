#include "browse/browser_launcher_win32.h"

// windows.h first: the shell headers rely on its types.
#include <windows.h>

#include <shellapi.h>
#include <shlwapi.h>

#include <utility>

#include "browse/address.h"
#include "platform/system_function_win32.h"
#include "platform/wide_text.h"

namespace tavelin {

static_assert(kShowMaximized == SW_SHOWMAXIMIZED && kShowMinimized == SW_SHOWMINIMIZED);

namespace {

using platform::FromWide;
using platform::ToWide;

std::string ShellExecuteReason(std::intptr_t result) {
  switch (result) {
    case 0:
    case SE_ERR_OOM:
      return "not enough memory";
    case SE_ERR_FNF:
      return "the program was not found";
    case SE_ERR_PNF:
      return "the path was not found";
    case SE_ERR_ACCESSDENIED:
      return "access was denied";
    case ERROR_BAD_FORMAT:
      return "the program is not a valid Windows program";
    case SE_ERR_NOASSOC:
      return "no program is associated with it";
    default:
      return "error " + std::to_string(result);
  }
}

class SystemWindowsShell : public WindowsShell {
 public:
  std::wstring htmlProgram() override {
    // Asking the association directly needs no sample file on disk.
    const auto query =
        platform::SystemFunction<decltype(AssocQueryStringW)>(L"shlwapi.dll", "AssocQueryStringW");
    if (query == nullptr) return {};
    DWORD size = 0;
    HRESULT hr = query(ASSOCF_NONE, ASSOCSTR_EXECUTABLE, L".html", L"open", nullptr, &size);
    if ((hr != S_OK && hr != S_FALSE) || size == 0) return {};
    std::wstring program(size, L'\0');
    hr = query(ASSOCF_NONE, ASSOCSTR_EXECUTABLE, L".html", L"open", program.data(), &size);
    if (hr != S_OK) return {};
    program.resize(program.find(L'\0') == std::wstring::npos ? program.size()
                                                             : program.find(L'\0'));
    return program;
  }

  std::intptr_t execute(const std::wstring& program, const std::wstring& parameters,
                        int show) override {
    const auto shellExecute =
        platform::SystemFunction<decltype(ShellExecuteW)>(L"shell32.dll", "ShellExecuteW");
    // As ShellExecute itself reports a missing library.
    if (shellExecute == nullptr) return SE_ERR_DLLNOTFOUND;
    const HINSTANCE result =
        shellExecute(nullptr, L"open", program.c_str(), parameters.c_str(), nullptr, show);
    return reinterpret_cast<std::intptr_t>(result);
  }
};

}  // namespace

std::unique_ptr<WindowsShell> CreateSystemWindowsShell() {
  return std::make_unique<SystemWindowsShell>();
}

WindowsBrowserLauncher::WindowsBrowserLauncher(std::unique_ptr<WindowsShell> shell)
    : shell_(std::move(shell)) {}

LaunchOutcome WindowsBrowserLauncher::open(const std::string& address, int showCommand) {
  if (address.find('\0') != std::string::npos) {
    return {false, "The address cannot be opened: it contains a NUL character."};
  }
  const std::wstring program = shell_->htmlProgram();
  if (program.empty()) {
    return {false, "No web browser was found: no program is associated with HTML files."};
  }
  const std::intptr_t result =
      shell_->execute(program, ToWide(QuoteWindowsArgument(address)), showCommand);
  if (result <= 32) {
    return {false, "The web browser could not be started (" + FromWide(program) +
                       "): " + ShellExecuteReason(result) + "."};
  }
  return {true, {}};
}

std::unique_ptr<BrowserLauncher> CreateSystemBrowserLauncher() {
  return std::make_unique<WindowsBrowserLauncher>(CreateSystemWindowsShell());
}

}  // namespace tavelin
