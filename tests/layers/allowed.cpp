// Headers of the program's layer and of every layer below it.
#include "app/mainn.h"
#include "browse/browser_launcher.h"
#include "dialogs/frm_about.h"
#include "files/list_file.h"
#include "platform/wtf8.h"
#include "store/registry.h"
#include "ui/dialog.h"
#include "ui/version.h"
