#include "app/main_window.h"

// Not built yet.
void Mainn::FileSave_Click() {}
void Mainn::FileOpen_Click() {}
