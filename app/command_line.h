// The program's command line on systems where it opens a store file:
//   tavelin [--read-only] [FILE]     tavelin --help     tavelin --version
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace tavelin {

struct CommandLine {
  enum class Action { kRun, kHelp, kVersion, kWrong };
  Action action = Action::kRun;
  std::string file;  // the store to open; empty: $TAVELIN_REGISTRY, else the default file
  bool readOnly = false;
  std::string wrong;  // kWrong: what was wrong, a sentence
};

// The arguments after the program's name. Nothing else reads them (the toolkit's own options
// among them): an option the program does not know is wrong.
CommandLine ParseCommandLine(const std::vector<std::string>& arguments);

// What --help prints, and a wrong command line after its sentence.
std::string UsageText();
// What --version prints: "Tavelin <version>".
std::string VersionText();

// The exit status of a wrong command line.
inline constexpr int kWrongCommandLineStatus = 2;

}  // namespace tavelin
