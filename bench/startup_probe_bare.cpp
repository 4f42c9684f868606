// A bare Qt window of the same size, quitting once it is exposed.
#include "startup_probe.h"

int main(int argc, char* argv[]) {
  QApplication app(argc, argv);
  QWidget window;
  window.setFixedSize(531, 278);
  window.setWindowTitle(QStringLiteral("bare"));
  window.show();
  ExposeWatcher watcher;
  QTimer::singleShot(0, &window, [&] { watcher.watch(window); });
  return QApplication::exec();
}
