// "Go to selected address": opens the selected entry in the default web browser. It only
// reads: the list, its selection, the settings and the store stay as they are.
#include <QString>

#include "app/main_window.h"
#include "browse/address.h"

void Mainn::GotoAddress_Click() {
  const int index = addresses().selectionIndex();
  if (index == -1) {
    interaction().showError(this, QStringLiteral("No address was selected."));
    return;
  }
  const std::string address = tavelin::BrowserAddress(addresses().item(std::size_t(index)));
  const tavelin::LaunchOutcome outcome = launcher().open(address, settings().WindowMode);
  if (!outcome.started) interaction().showError(this, QString::fromStdString(outcome.error));
}
