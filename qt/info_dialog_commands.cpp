// The Settings and About commands: each opens its dialog afresh, modal and without an owner.
#include "app/main_window.h"
#include "dialogs/dialog_support.h"
#include "dialogs/frm_about.h"
#include "dialogs/frm_settings.h"

void Mainn::Settings_Click() {
  FrmSettings dialog(backend(), settings());
  ShowModalCentredOver(dialog, this);
  // A write that failed while saving is told now.
  showStoreNotices();
}

void Mainn::FileAbout_Click() {
  FrmAbout dialog;
  ShowModalCentredOver(dialog, this);
}
