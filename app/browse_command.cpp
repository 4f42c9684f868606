#include "app/main_window.h"

// Not built yet.
void Mainn::GotoAddress_Click() {}
