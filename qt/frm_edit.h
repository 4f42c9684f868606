// The dialog in which the user changes the text of the selected address.
#pragma once

#include "dialogs/address_dialog.h"

class FrmEdit : public AddressDialog {
  Q_OBJECT
 public:
  // Loads the selected entry's text, all of it selected so that typing replaces it.
  explicit FrmEdit(Mainn& mainWindow);

 protected:
  // "Save changes": puts the text back into the selected entry and closes; blank text is
  // refused.
  void Command1_Click() override;

 private:
  void Form_Load();
};
