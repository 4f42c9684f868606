// The version the program shows agrees with the project's: the build passes project()'s
// version to this test on its own, so a title or an About text that kept an old version, or
// lost a piece of its text around the version, fails here.
#include <gtest/gtest.h>

#include <string>
#include <string_view>
#include <vector>

#include "app/mainn.h"
#include "dialogs/frm_about.h"

namespace tavelin {
namespace {

std::vector<std::string> Lines(std::string_view text) {
  std::vector<std::string> lines;
  std::size_t start = 0;
  for (std::size_t end; (end = text.find('\n', start)) != std::string_view::npos; start = end + 1) {
    lines.emplace_back(text.substr(start, end - start));
  }
  lines.emplace_back(text.substr(start));
  return lines;
}

TEST(ProgramVersion, WindowTitleNamesMajorAndMinor) {
  EXPECT_EQ(Mainn::Layout().caption, std::string_view(TAVELIN_EXPECTED_PROGRAM_NAME " - ByQuorin"));
}

TEST(ProgramVersion, AboutTextNamesTheWholeVersionOnItsOwnLine) {
  const ControlLayout* label = FrmAbout::Layout().control("Label1");
  ASSERT_NE(label, nullptr);
  const std::vector<std::string> lines = Lines(label->text);
  ASSERT_EQ(lines.size(), 4u) << label->text;
  EXPECT_EQ(lines[0],
            "Tavelin was made by its author, the Tavelin developer; all rights are reserved to "
            "the author.");
  EXPECT_EQ(lines[1], "Version: " TAVELIN_EXPECTED_VERSION ".");
  EXPECT_EQ(lines[2],
            "This program is not responsible for any damage caused using it, use it by your own "
            "responsibility");
  EXPECT_TRUE(lines[3].starts_with("You can contact with me")) << lines[3];
  EXPECT_TRUE(lines[3].ends_with("Thanks to the authors of the registry sample code.")) << lines[3];
}

}  // namespace
}  // namespace tavelin
