// The dialog in which the user types one new address for the end of the list.
#pragma once

#include "dialogs/address_dialog.h"

class FrmAdd : public AddressDialog {
  Q_OBJECT
 public:
  explicit FrmAdd(Mainn& mainWindow);

 protected:
  // "Add": appends the text as typed and closes; blank text is refused.
  void Command1_Click() override;
};
