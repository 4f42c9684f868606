#include "app/program.h"

#include <QApplication>
#include <QTimer>
#include <memory>

#include "app/main_window.h"
#include "app/user_interaction.h"
#include "browse/browser_launcher.h"
#if defined(_WIN32)
#include "store/registry_win32.h"
#elif __has_include("store/registry_file.h")
#include "store/registry_file.h"
#define TAVELIN_HIVE_FILE 1
#else
#include "store/registry_memory.h"  // until the hive file lands
#endif

int RunTavelin(int argc, char* argv[], const std::function<void(QWidget&)>& whenShown) {
  QApplication app(argc, argv);
  QApplication::setApplicationName(QStringLiteral("Tavelin"));

#if defined(_WIN32)
  tavelin::Win32Registry registry;
#elif defined(TAVELIN_HIVE_FILE)
  tavelin::HiveFileRegistry registry(tavelin::DefaultHiveFilePath());
#else
  tavelin::MemoryRegistry registry;
#endif
  WidgetInteraction interaction;
  std::unique_ptr<tavelin::BrowserLauncher> launcher = tavelin::CreateSystemBrowserLauncher();

  Mainn window(registry, interaction, *launcher);
  window.Form_Load();
  window.show();
  QTimer::singleShot(0, &window, [&window, &whenShown] {
    // An unreadable store is told once the window is up.
    window.showStoreNotices();
    if (whenShown) whenShown(window);
  });
  return QApplication::exec();
}
