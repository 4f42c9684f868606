// Turning a list entry into what the browser is started with: the address itself, the
// argument quoting Windows programs expect, the window show state, and the commands named
// by $BROWSER. All pure, so the same rules are checked on every platform.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace tavelin {

// The address the browser is given for a list entry: the entry without the space characters
// at both ends, with "http://" put in front unless it already begins with "scheme://".
// Letter case is kept; nothing else is changed.
std::string BrowserAddress(std::string_view entry);

// Whether `text` begins with a URI scheme (a letter, then letters, digits, "+", "-", ".")
// directly followed by "://".
bool BeginsWithSchemeAndSlashes(std::string_view text);

// `argument` written so that CommandLineToArgvW (and the C runtime's parser) reads it back
// as exactly one argument equal to it. Text without blanks or quotes is left as it is.
std::u16string QuoteWindowsArgument(std::u16string_view argument);
std::string QuoteWindowsArgument(std::string_view argument);

// One candidate browser command from $BROWSER, split into arguments with the address already
// in place.
struct BrowserCommand {
  std::vector<std::string> arguments;  // arguments[0] is the program
};

// The commands of a $BROWSER value: a colon-separated list, each entry split into words at
// blanks (single quotes, double quotes and backslashes group and escape as a shell would, but
// nothing is expanded). In each word "%s" becomes the address and "%%" a percent sign; an
// entry without "%s" gets the address as its last argument. Entries that are empty or have an
// unterminated quote are left out. The address is never split or re-read.
std::vector<BrowserCommand> ParseBrowserVariable(std::string_view value, std::string_view address);

}  // namespace tavelin
