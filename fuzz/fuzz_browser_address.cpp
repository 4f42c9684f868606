// The browser address rule, the Windows argument quoting and the $BROWSER reader on any
// bytes. Input: the $BROWSER value, a NUL byte, then the list entry (without a NUL, the whole
// input is the entry). The address must begin with "scheme://", the quoted address must read
// back as exactly that one argument, and every $BROWSER command must carry the address whole.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "browse/address.h"

namespace {

[[noreturn]] void Fail(const char* what) {
  std::fprintf(stderr, "browser address: %s\n", what);
  std::abort();
}

// The documented CommandLineToArgvW splitting of the arguments after the program name.
std::vector<std::string> SplitWindowsArguments(std::string_view line) {
  std::vector<std::string> arguments;
  std::size_t i = 0;
  const std::size_t n = line.size();
  for (;;) {
    while (i < n && (line[i] == ' ' || line[i] == '\t')) ++i;
    if (i == n) break;
    std::string argument;
    bool quoted = false;
    while (i < n && (quoted || (line[i] != ' ' && line[i] != '\t'))) {
      if (line[i] == '\\') {
        std::size_t backslashes = 0;
        while (i < n && line[i] == '\\') ++backslashes, ++i;
        if (i < n && line[i] == '"') {
          argument.append(backslashes / 2, '\\');
          if (backslashes % 2 == 1) argument.push_back(line[i++]);
        } else {
          argument.append(backslashes, '\\');
        }
      } else if (line[i] == '"') {
        if (quoted && i + 1 < n && line[i + 1] == '"') {
          argument.push_back('"');
          i += 2;
        } else {
          quoted = !quoted;
          ++i;
        }
      } else {
        argument.push_back(line[i++]);
      }
    }
    arguments.push_back(std::move(argument));
  }
  return arguments;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  const std::size_t nul = bytes.find('\0');
  const std::string_view browser = nul == std::string_view::npos ? "" : bytes.substr(0, nul);
  const std::string_view entry = nul == std::string_view::npos ? bytes : bytes.substr(nul + 1);

  const std::string address = tavelin::BrowserAddress(entry);
  if (!tavelin::BeginsWithSchemeAndSlashes(address)) Fail("address without a scheme");
  // Only spaces at the ends go, and at most "http://" is added.
  const std::size_t first = entry.find_first_not_of(' ');
  const std::string_view kept = first == std::string_view::npos
                                    ? std::string_view()
                                    : entry.substr(first, entry.find_last_not_of(' ') - first + 1);
  if (address != kept && address != "http://" + std::string(kept)) Fail("entry text changed");

  if (address.find('\0') == std::string::npos) {
    const std::vector<std::string> arguments =
        SplitWindowsArguments(tavelin::QuoteWindowsArgument(address));
    if (arguments.size() != 1 || arguments[0] != address) Fail("quoting does not read back");
  }

  const bool substitutes = browser.find('%') != std::string_view::npos;
  for (const tavelin::BrowserCommand& command : tavelin::ParseBrowserVariable(browser, address)) {
    if (command.arguments.empty()) Fail("command without a program");
    if (!substitutes && command.arguments.back() != address) Fail("address not last argument");
    bool carried = false;
    for (const std::string& argument : command.arguments) {
      if (argument.find(address) != std::string::npos) carried = true;
    }
    if (!carried) Fail("address missing from a command");
  }
  return 0;
}
