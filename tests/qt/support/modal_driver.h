// Drives a modal dialog from a test: the dialog's own event loop blocks the test, so a timer
// looks for it and hands it to the test's code once it is shown and active.
#pragma once

#include <QString>
#include <functional>

class QDialog;

struct ModalRun {
  bool opened = false;         // a modal dialog of that name was shown and became active
  bool closedByDrive = false;  // it had closed by the time `drive` returned
};

// Runs `open` (which may block in the dialog's modal loop, or only start something that opens
// it later), waits at most `timeoutMs` for the active modal dialog named `objectName`, runs
// `drive` on it, and closes it if `drive` left it open. When nothing opens, returns after the
// wait with `opened` false.
ModalRun DriveModalDialog(const QString& objectName, const std::function<void()>& open,
                          const std::function<void(QDialog&)>& drive, int timeoutMs = 5000);
