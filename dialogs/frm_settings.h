// "Tavelin - Settings": the save mode and the window mode, as stored under the program's key.
#pragma once

#include "store/registry.h"
#include "store/settings_store.h"
#include "ui/dialog.h"

namespace tavelin {

class FrmSettings : public Dialog {
 public:
  // Shows what the store holds (not the in-memory copies); writes go to the store and to
  // `settings`, which the rest of the program reads.
  FrmSettings(Screen& screen, RegistryBackend& backend, ProgramSettings& settings)
      : Dialog(screen), backend_(backend), settings_(settings) {}
  DialogKind kind() const override { return DialogKind::kSettings; }
  const FormLayout& layout() const override { return Layout(); }
  static const FormLayout& Layout();

  // Which option of each frame is selected: 1 or 2 ("Save options"), 3 or 4 ("Web options").
  int saveOption() const { return saveOption_; }
  int webOption() const { return webOption_; }
  bool Option(int number) const { return number == saveOption_ || number == webOption_; }

  // Selects the stored settings; what cannot be read shows the default option.
  void Form_Load();
  // The user chose an option; nothing is written yet.
  void Option1_Click() { saveOption_ = 1; }
  void Option2_Click() { saveOption_ = 2; }
  void Option3_Click() { webOption_ = 3; }
  void Option4_Click() { webOption_ = 4; }
  // "Save settings": both chosen values are written and take effect, and the dialog unloads.
  void Command1_Click();
  // "Default settings": "One" and "Max" are selected, written, take effect; it unloads.
  void Command2_Click();
  // "Cancel": unloads; nothing is written.
  void Command3_Click() { Unload(); }

 private:
  void Store();

  RegistryBackend& backend_;
  ProgramSettings& settings_;
  int saveOption_ = 1;
  int webOption_ = 3;
};

}  // namespace tavelin
