#include "modal_driver.h"

#include <QApplication>
#include <QDeadlineTimer>
#include <QDialog>
#include <QPointer>
#include <QTest>
#include <QTimer>

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
      if (auto* stray = qobject_cast<QDialog*>(QApplication::activeModalWidget())) stray->reject();
      finished = true;
    }
  });
  poll.start();
  open();
  while (!finished) QTest::qWait(5);
  return run;
}
