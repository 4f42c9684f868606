#include "dialogs/frm_about.h"

#include <array>
#include <string_view>

#include "ui/joined_text.h"
#include "ui/version.h"

namespace tavelin {

namespace {

// The program's text, with the project's version on its second line.
constexpr std::string_view kTextBeforeVersion =
    "Tavelin was made by its author, the Tavelin developer; all rights are reserved to the "
    "author.\n"
    "Version: ";
constexpr std::string_view kTextAfterVersion =
    ".\n"
    "This program is not responsible for any damage caused using it, use it by your own "
    "responsibility\n"
    "You can contact with me by mailing an e-mail to the following address: "
    "tavelin@example.org Thanks to the authors of the registry sample code.";

constexpr std::array kControls{
    ControlLayout{.name = "Label1",
                  .kind = ControlKind::kLabel,
                  .text = JoinedText<kTextBeforeVersion, kVersion, kTextAfterVersion>::kText,
                  .rect = {120, 120, 4440, 2415},
                  .tabIndex = 0,
                  .font = {"Arial", 9.75, true},
                  .wordWrap = true},
    ControlLayout{.name = "Label2",
                  .kind = ControlKind::kLabel,
                  .text = "by Quorin",
                  .rect = {960, 2835, 1605, 285},
                  .tabIndex = 1,
                  .font = {"Arial", 12, true},
                  .highlightText = true,
                  .left = &Call<&FrmAbout::creditLeftTwips>},
    ControlLayout{.name = "Command1",
                  .kind = ControlKind::kPushButton,
                  .text = "Ok",
                  .rect = {1920, 2560, 735, 255},
                  .tabIndex = 2,
                  .font = {"MS Sans Serif", 8.25, true},
                  .defaultButton = true,
                  .click = &Call<&FrmAbout::Command1_Click>},
    ControlLayout{.name = "Timer1",
                  .kind = ControlKind::kTimer,
                  .interval = 100,
                  .timer = &Call<&FrmAbout::Timer1_Timer>},
};

const FormLayout kLayout{.name = "FrmAbout",
                         .caption = "Information",
                         .clientWidth = 4680,
                         .clientHeight = 3120,
                         .controls = kControls};

}  // namespace

const FormLayout& FrmAbout::Layout() {
  return kLayout;
}

void FrmAbout::Timer1_Timer() {
  creditLeft_ = creditLeft_ < kCreditWrapTwips ? creditLeft_ + kCreditStepTwips : kCreditStartTwips;
  screen_.dialogChanged(*this);
}

}  // namespace tavelin
