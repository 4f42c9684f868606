#include "app/main_window.h"

// Not built yet.
void Mainn::AddAddress_Click() {}
void Mainn::EditAddress_Click() {}
