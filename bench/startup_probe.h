// Shared by the two start-up probes: quit as soon as the window is exposed, after printing
// the resident memory when asked to (BENCH_RSS=1, after the window has idled for a moment).
#pragma once

#include <QApplication>
#include <QEvent>
#include <QTimer>
#include <QWidget>
#include <QWindow>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>

// A field of a /proc file, in KiB (-1 when missing).
inline long ProcKiB(const char* file, const std::string& field) {
  std::ifstream status(file);
  std::string line;
  while (std::getline(status, line)) {
    if (line.rfind(field, 0) == 0) return std::strtol(line.c_str() + field.size(), nullptr, 10);
  }
  return -1;
}

class ExposeWatcher : public QObject {
 public:
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (event->type() == QEvent::Expose && static_cast<QWindow*>(watched)->isExposed()) finish();
    return false;
  }
  void finish() {
    if (done_) return;
    done_ = true;
    if (std::getenv("BENCH_RSS")) {
      QTimer::singleShot(1000, [] {
        std::printf("rss_kib %ld\nprivate_dirty_kib %ld\n", ProcKiB("/proc/self/status", "VmRSS:"),
                    ProcKiB("/proc/self/smaps_rollup", "Private_Dirty:"));
        std::fflush(stdout);
        QApplication::quit();
      });
    } else {
      QTimer::singleShot(0, [] { QApplication::quit(); });
    }
  }
  void watch(QWidget& window) {
    QWindow* handle = window.windowHandle();
    if (handle && handle->isExposed()) {
      finish();
    } else if (handle) {
      handle->installEventFilter(this);
    }
  }

 private:
  bool done_ = false;
};
