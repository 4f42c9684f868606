// Tavelin exactly as it starts, quitting once its window is exposed.
#include "qt/program.h"
#include "startup_probe.h"

int main(int argc, char* argv[]) {
  ExposeWatcher watcher;
  return RunTavelin(argc, argv, [&watcher](QWidget& window) { watcher.watch(window); });
}
