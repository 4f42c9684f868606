// Drives modal windows from a test: a modal window's own event loop blocks the test, so a
// timer looks for it and hands it to the test's code once it is shown and active. Every wait
// is bounded: whatever is still modal when the time is up is closed, so a test fails instead
// of hanging.
#pragma once

#include <QElapsedTimer>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QTimer>
#include <functional>
#include <vector>

class QDialog;
class QWidget;

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

// Answers modal windows one after the other as they come up (a file dialog, then a message
// box, ...), one step per window. Construct it, then run what opens them.
class ModalSequence : public QObject {
 public:
  using Step = std::function<void(QWidget&)>;
  explicit ModalSequence(std::vector<Step> steps, int timeoutMs = 5000);
  // Every step ran.
  bool finished() const { return next_ == steps_.size(); }

 private:
  void tick();

  std::vector<Step> steps_;
  std::size_t next_ = 0;
  int timeoutMs_;
  QPointer<QWidget> handled_;
  QTimer timer_;
  QElapsedTimer clock_;
};
