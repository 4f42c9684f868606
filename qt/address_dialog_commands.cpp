// "Add new address" and "Edit selected address": each opening builds its dialog afresh.
#include "app/main_window.h"
#include "dialogs/dialog_support.h"
#include "dialogs/frm_add.h"
#include "dialogs/frm_edit.h"

void Mainn::AddAddress_Click() {
  FrmAdd dialog(*this);
  ShowModalCentredOver(dialog, this);
  showStoreNotices();
}

void Mainn::EditAddress_Click() {
  const tavelin::CommandMessage message = tavelin::CheckEditable(addresses());
  if (message != tavelin::CommandMessage::kNone) {
    showCommandMessage(message);
    return;
  }
  FrmEdit dialog(*this);
  ShowModalCentredOver(dialog, this);
  showStoreNotices();
}
