#include "app/program.h"

#include <QApplication>
#include <QTimer>
#include <memory>

#include "app/main_window.h"
#include "app/user_interaction.h"
#include "browse/browser_launcher.h"
#if defined(_WIN32)
#include "store/registry_win32.h"
#else
#include "store/registry_file.h"
#endif

int RunTavelin(int argc, char* argv[], const std::function<void(QWidget&)>& whenShown) {
  QApplication app(argc, argv);
  QApplication::setApplicationName(QStringLiteral("Tavelin"));

#if defined(_WIN32)
  tavelin::Win32Registry registry;
#else
  tavelin::HiveFileRegistry registry(tavelin::DefaultHiveFilePath());
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
