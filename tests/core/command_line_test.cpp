// The command line: each form, what it opens, and whether it runs, answers or is wrong.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/command_line.h"

namespace tavelin {
namespace {

using Action = CommandLine::Action;

TEST(CommandLine, EachFormAndWhatItComesTo) {
  const struct {
    std::vector<std::string> arguments;
    Action action;
    std::string file;
    bool readOnly;
    std::string wrongMentions;  // kWrong: what the sentence names
  } cases[] = {
      {{}, Action::kRun, "", false, ""},
      {{"/media/u/Windows/Users/bob/NTUSER.DAT"},
       Action::kRun,
       "/media/u/Windows/Users/bob/NTUSER.DAT",
       false,
       ""},
      {{"--read-only", "NTUSER.DAT"}, Action::kRun, "NTUSER.DAT", true, ""},
      {{"NTUSER.DAT", "--read-only"}, Action::kRun, "NTUSER.DAT", true, ""},
      {{"--read-only"}, Action::kRun, "", true, ""},
      {{"-"}, Action::kRun, "-", false, ""},
      {{"--", "--read-only"}, Action::kRun, "--read-only", false, ""},
      {{"--help"}, Action::kHelp, "", false, ""},
      {{"NTUSER.DAT", "--help"}, Action::kHelp, "NTUSER.DAT", false, ""},
      {{"--version"}, Action::kVersion, "", false, ""},
      {{"--version", "--help"}, Action::kHelp, "", false, ""},
      {{"--readonly"}, Action::kWrong, "", false, "--readonly"},
      {{"-platform", "xcb"}, Action::kWrong, "", false, "-platform"},
      {{"-h"}, Action::kWrong, "", false, "-h"},
      {{"a.DAT", "b.DAT"}, Action::kWrong, "", false, "b.DAT"},
      {{""}, Action::kWrong, "", false, "empty"},
      {{"--help", "--bogus"}, Action::kWrong, "", false, "--bogus"},
  };
  for (const auto& c : cases) {
    std::string label;
    for (const std::string& a : c.arguments) label += "[" + a + "]";
    SCOPED_TRACE(label);
    const CommandLine line = ParseCommandLine(c.arguments);
    EXPECT_EQ(line.action, c.action);
    if (c.action == Action::kWrong) {
      EXPECT_NE(line.wrong.find(c.wrongMentions), std::string::npos) << line.wrong;
      continue;
    }
    EXPECT_EQ(line.file, c.file);
    EXPECT_EQ(line.readOnly, c.readOnly);
  }
}

}  // namespace
}  // namespace tavelin
