#include "dialogs/frm_settings.h"

#include <array>

#include "list/list_commands.h"

namespace tavelin {

namespace {

template <int number>
bool OptionSelected(const Form& form) {
  return static_cast<const FrmSettings&>(form).Option(number);
}

constexpr std::array kControls{
    ControlLayout{.name = "Frame1",
                  .kind = ControlKind::kFrame,
                  .text = "Save options",
                  .rect = {0, 0, 4455, 855},
                  .tabIndex = 0},
    ControlLayout{.name = "Option1",
                  .kind = ControlKind::kOptionButton,
                  .text = "Automatic addresses save (Recommended) ",
                  .rect = {120, 240, 4095, 255},
                  .tabIndex = 2,
                  .parent = "Frame1",
                  .tooltip = "Automatic saves addresses when you add any address, delete, reorder "
                             "and edit addresses",
                  .click = &Call<&FrmSettings::Option1_Click>,
                  .selected = &OptionSelected<1>},
    ControlLayout{.name = "Option2",
                  .kind = ControlKind::kOptionButton,
                  .text = "Save only after pressing Save all changes",
                  .rect = {120, 480, 3855, 255},
                  .tabIndex = 1,
                  .parent = "Frame1",
                  .click = &Call<&FrmSettings::Option2_Click>,
                  .selected = &OptionSelected<2>},
    ControlLayout{.name = "Frame2",
                  .kind = ControlKind::kFrame,
                  .text = "Web options",
                  .rect = {0, 960, 4455, 855},
                  .tabIndex = 6},
    ControlLayout{.name = "Option3",
                  .kind = ControlKind::kOptionButton,
                  .text = "Open page in maximum size",
                  .rect = {120, 240, 4095, 255},
                  .tabIndex = 7,
                  .parent = "Frame2",
                  .click = &Call<&FrmSettings::Option3_Click>,
                  .selected = &OptionSelected<3>},
    ControlLayout{.name = "Option4",
                  .kind = ControlKind::kOptionButton,
                  .text = "Open page in minimum size",
                  .rect = {120, 480, 3855, 255},
                  .tabIndex = 8,
                  .parent = "Frame2",
                  .click = &Call<&FrmSettings::Option4_Click>,
                  .selected = &OptionSelected<4>},
    ControlLayout{.name = "Command1",
                  .kind = ControlKind::kPushButton,
                  .text = "Save settings",
                  .rect = {120, 1920, 1335, 375},
                  .tabIndex = 3,
                  .click = &Call<&FrmSettings::Command1_Click>},
    ControlLayout{.name = "Command2",
                  .kind = ControlKind::kPushButton,
                  .text = "Default settings",
                  .rect = {1560, 1920, 1575, 375},
                  .tabIndex = 4,
                  .click = &Call<&FrmSettings::Command2_Click>},
    ControlLayout{.name = "Command3",
                  .kind = ControlKind::kPushButton,
                  .text = "Cancel",
                  .rect = {3240, 1920, 1215, 375},
                  .tabIndex = 5,
                  .click = &Call<&FrmSettings::Command3_Click>},
};

const FormLayout kLayout{.name = "FrmSettings",
                         .caption = "Tavelin - Settings",
                         .clientWidth = 4605,
                         .clientHeight = 2340,
                         .controls = kControls};

}  // namespace

const FormLayout& FrmSettings::Layout() {
  return kLayout;
}

void FrmSettings::Form_Load() {
  CommandResult result;
  const ProgramSettings stored = ReadStoredSettings(backend_, result);
  // Only the exact texts select the non-default options.
  saveOption_ = IsManualSaveMode(stored) ? 2 : 1;
  webOption_ = stored.WindowMode == kMinimizedWindowMode ? 4 : 3;
  ShowErrors(screen_, result.storeNotices);
}

void FrmSettings::Store() {
  const CommandResult result =
      StoreSettings(backend_, settings_, saveOption_ == 2 ? kManualSaveMode : kAutomaticSaveMode,
                    webOption_ == 4 ? kMinimizedWindowMode : kMaximizedWindowMode);
  Unload();
  ShowErrors(screen_, result.storeNotices);
}

void FrmSettings::Command1_Click() {
  Store();
}

void FrmSettings::Command2_Click() {
  saveOption_ = 1;
  webOption_ = 3;
  screen_.dialogChanged(*this);
  Store();
}

}  // namespace tavelin
