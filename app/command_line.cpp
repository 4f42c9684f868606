#include "app/command_line.h"

#include "ui/version.h"

namespace tavelin {

CommandLine ParseCommandLine(const std::vector<std::string>& arguments) {
  CommandLine line;
  const auto wrong = [&line](std::string why) {
    line.action = CommandLine::Action::kWrong;
    line.wrong = std::move(why);
    return line;
  };
  bool fileGiven = false;
  bool optionsEnded = false;
  for (const std::string& argument : arguments) {
    if (!optionsEnded && argument.size() > 1 && argument.front() == '-') {
      if (argument == "--") {
        optionsEnded = true;
      } else if (argument == "--help") {
        line.action = CommandLine::Action::kHelp;
      } else if (argument == "--version") {
        if (line.action != CommandLine::Action::kHelp) line.action = CommandLine::Action::kVersion;
      } else if (argument == "--read-only") {
        line.readOnly = true;
      } else {
        return wrong("Unknown option \"" + argument + "\".");
      }
      continue;
    }
    if (argument.empty()) return wrong("The file name is empty.");
    if (fileGiven) return wrong("Only one file can be opened; \"" + argument + "\" is a second.");
    fileGiven = true;
    line.file = argument;
  }
  return line;
}

std::string UsageText() {
  return "Usage: tavelin [--read-only] [FILE]\n"
         "       tavelin --help | --version\n"
         "\n"
         "Shows and curates the addresses a browser remembers as typed addresses.\n"
         "\n"
         "FILE is a Windows user's registry hive (NTUSER.DAT, known by its first bytes,\n"
         "whatever its name) or a registry file in the .reg format; a missing file is made\n"
         "only when its name ends in \".reg\". Without FILE, $TAVELIN_REGISTRY names it,\n"
         "else $XDG_DATA_HOME/tavelin/HKEY_CURRENT_USER.reg.\n"
         "\n"
         "  --read-only  never write the file, its logs or its folder\n"
         "  --help       show this text and exit\n"
         "  --version    show the version and exit\n"
         "\n"
         "Environment:\n"
         "  TAVELIN_REGISTRY  the file to open when no FILE is given\n"
         "  XDG_DATA_HOME     where the default registry file is kept\n"
         "  XDG_STATE_HOME    where the backups are kept\n"
         "  BROWSER           the browser that opens an address\n";
}

std::string VersionText() {
  return "Tavelin " + std::string(kVersion);
}

}  // namespace tavelin
