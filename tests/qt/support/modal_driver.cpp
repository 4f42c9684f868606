#include "modal_driver.h"

#include <QApplication>
#include <QDeadlineTimer>
#include <QDialog>
#include <QTest>

namespace {

// Closes whatever is modal, innermost first.
void CloseStrayModals() {
  for (int i = 0; i < 10; ++i) {
    QWidget* stray = QApplication::activeModalWidget();
    if (!stray) return;
    if (auto* dialog = qobject_cast<QDialog*>(stray)) {
      dialog->reject();
    } else {
      stray->close();
    }
    QApplication::processEvents();
  }
}

}  // namespace

ModalRun DriveModalDialog(const QString& objectName, const std::function<void()>& open,
                          const std::function<void(QDialog&)>& drive, int timeoutMs) {
  ModalRun run;
  bool finished = false;
  const QDeadlineTimer deadline(timeoutMs);
  QTimer poll;
  poll.setInterval(5);
  QObject::connect(&poll, &QTimer::timeout, [&] {
    auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget());
    if (dialog && dialog->objectName() == objectName && dialog->isVisible() &&
        dialog->isActiveWindow()) {
      poll.stop();
      run.opened = true;
      QPointer<QDialog> guard(dialog);
      drive(*dialog);
      run.closedByDrive = !guard || !guard->isVisible();
      if (guard && guard->isVisible()) guard->reject();
      finished = true;
      return;
    }
    if (deadline.hasExpired()) {
      poll.stop();
      // Whatever is modal now would otherwise hang the test.
      CloseStrayModals();
      finished = true;
    }
  });
  poll.start();
  open();
  // `open` returns once the modal loop has ended; the wait covers an `open` that only starts.
  while (!finished) QTest::qWait(5);
  return run;
}

ModalSequence::ModalSequence(std::vector<Step> steps, int timeoutMs)
    : steps_(std::move(steps)), timeoutMs_(timeoutMs) {
  connect(&timer_, &QTimer::timeout, this, [this] { tick(); });
  timer_.start(10);
  clock_.start();
}

void ModalSequence::tick() {
  if (finished()) {
    timer_.stop();
    return;
  }
  QWidget* modal = QApplication::activeModalWidget();
  if (modal && modal->isVisible() && modal->isActiveWindow() && modal != handled_) {
    handled_ = modal;
    clock_.restart();
    steps_[next_++](*modal);
    return;
  }
  if (clock_.elapsed() > timeoutMs_) {
    timer_.stop();
    CloseStrayModals();
  }
}
