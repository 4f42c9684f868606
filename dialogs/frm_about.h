// "Information": the program's text and a credit line that scrolls across the bottom.
#pragma once

#include "ui/dialog.h"

namespace tavelin {

class FrmAbout : public Dialog {
 public:
  explicit FrmAbout(Screen& screen) : Dialog(screen) {}
  DialogKind kind() const override { return DialogKind::kAbout; }
  const FormLayout& layout() const override { return Layout(); }
  static const FormLayout& Layout();

  static constexpr float kCreditStartTwips = -1560.0f;
  static constexpr float kCreditStepTwips = 120.0f;
  static constexpr float kCreditWrapTwips = 4560.0f;

  // The credit's left edge, in twips; its top, width and height are in the layout.
  float creditLeftTwips() const { return creditLeft_; }

  void Form_Load() { creditLeft_ = kCreditStartTwips; }
  // One scroll step, every tick of Timer1 while the dialog is open.
  void Timer1_Timer();
  // "Ok".
  void Command1_Click() { Unload(); }

 private:
  float creditLeft_ = kCreditStartTwips;
};

}  // namespace tavelin
