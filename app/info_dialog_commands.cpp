#include "app/main_window.h"

// Not built yet.
void Mainn::Settings_Click() {}
void Mainn::FileAbout_Click() {}
