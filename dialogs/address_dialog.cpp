#include "dialogs/address_dialog.h"

#include <array>

namespace tavelin {

namespace {

constexpr int kClientHeight = 1080;
// The text box and "Cancel" are the same in both dialogs.
constexpr ControlLayout kTextBox{.name = "Text1",
                                 .kind = ControlKind::kTextBox,
                                 .rect = {0, 0, 5655, 735},
                                 .tabIndex = 0,
                                 .change = &Call<&AddressDialog::Text1_Change>,
                                 .value = &Call<&AddressDialog::Text1>,
                                 .selectAllOnOpen = &Call<&AddressDialog::Text1SelectedOnOpen>};
constexpr ControlLayout kCancel{.name = "Command2",
                                .kind = ControlKind::kPushButton,
                                .text = "Cancel",
                                .rect = {3000, 760, 1335, 300},
                                .tabIndex = 2,
                                .click = &Call<&AddressDialog::Command2_Click>};

constexpr std::array kAddControls{
    kTextBox,
    ControlLayout{.name = "Command1",
                  .kind = ControlKind::kPushButton,
                  .text = "Add",
                  .rect = {1320, 760, 1335, 300},
                  .tabIndex = 1,
                  .click = &Call<&FrmAdd::Command1_Click>},
    kCancel,
};

constexpr std::array kEditControls{
    kTextBox,
    ControlLayout{.name = "Command1",
                  .kind = ControlKind::kPushButton,
                  .text = "Save changes",
                  .rect = {1080, 760, 1575, 300},
                  .tabIndex = 1,
                  .click = &Call<&FrmEdit::Command1_Click>},
    kCancel,
};

const FormLayout kAddLayout{.name = "FrmAdd",
                            .caption = "Tavelin - Add new address",
                            .clientWidth = 5655,
                            .clientHeight = kClientHeight,
                            .controls = kAddControls};

const FormLayout kEditLayout{.name = "FrmEdit",
                             .caption = "Tavelin - Edit",
                             .clientWidth = 5640,
                             .clientHeight = kClientHeight,
                             .controls = kEditControls};

}  // namespace

std::string NormaliseLineBreaks(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (c == '\r') {
      if (i + 1 < text.size() && text[i + 1] == '\n') ++i;
      out += "\r\n";
    } else if (c == '\n') {
      out += "\r\n";
    } else if (c == '\xE2' && i + 2 < text.size() && text[i + 1] == '\x80' &&
               (text[i + 2] == '\xA8' || text[i + 2] == '\xA9')) {
      i += 2;
      out += "\r\n";
    } else {
      out += c;
    }
  }
  return out;
}

void AddressDialog::Text1_Change(std::string_view typed) {
  text_ = std::string(typed);
  selectAllOnOpen_ = false;
}

std::string AddressDialog::StoredText() const {
  if (text_ == loaded_) return loaded_;
  std::string typed = NormaliseLineBreaks(text_);
  if (!loaded_.empty() && typed == NormaliseLineBreaks(loaded_)) return loaded_;
  return typed;
}

void AddressDialog::Finish(const CommandResult& result) {
  if (result.refused()) {
    ShowErrors(screen_, result.messages());
    screen_.focusTextSelectAll(*this);
    return;
  }
  Unload();
  ShowErrors(screen_, result.storeNotices);
}

const FormLayout& FrmAdd::Layout() {
  return kAddLayout;
}

void FrmAdd::Command1_Click() {
  Finish(AddAddress(context_, StoredText()));
}

const FormLayout& FrmEdit::Layout() {
  return kEditLayout;
}

void FrmEdit::Form_Load() {
  const int index = context_.list.selectionIndex();
  if (index >= 0) Load(context_.list.item(static_cast<std::size_t>(index)));
}

void FrmEdit::Command1_Click() {
  Finish(SaveEditedAddress(context_, StoredText()));
}

}  // namespace tavelin
