#include "dialogs/frm_add.h"

#include "app/main_window.h"
#include "dialogs/dialog_support.h"

FrmAdd::FrmAdd(Mainn& mainWindow)
    : AddressDialog(mainWindow, "FrmAdd", QStringLiteral("Tavelin - Add new address"), 5655,
                    QStringLiteral("Add"), TwipsRect(1320, 760, 1335, 300)) {}

void FrmAdd::Command1_Click() {
  const tavelin::CommandMessage message =
      tavelin::AddAddress(mainWindow_.listContext(), addressText());
  if (message != tavelin::CommandMessage::kNone) {
    refuse(message);
    return;
  }
  accept();
}
