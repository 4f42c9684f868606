#include "dialogs/frm_edit.h"

#include <QPlainTextEdit>

#include "app/main_window.h"
#include "dialogs/dialog_support.h"

FrmEdit::FrmEdit(Mainn& mainWindow)
    : AddressDialog(mainWindow, "FrmEdit", QStringLiteral("Tavelin - Edit"), 5640,
                    QStringLiteral("Save changes"), TwipsRect(1080, 760, 1575, 300)) {
  Form_Load();
}

void FrmEdit::Form_Load() {
  const tavelin::AddressList& list = mainWindow_.addresses();
  const int index = list.selectionIndex();
  if (index >= 0) setAddressText(list.item(static_cast<std::size_t>(index)));
  Text1->selectAll();
}

void FrmEdit::Command1_Click() {
  const tavelin::CommandMessage message =
      tavelin::SaveEditedAddress(mainWindow_.listContext(), addressText());
  if (message != tavelin::CommandMessage::kNone) {
    refuse(message);
    return;
  }
  accept();
}
