// Tavelin: shows and curates the addresses the browser remembers as typed addresses.
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

int main(int argc, char* argv[]) {
  QApplication app(argc, argv);
  QApplication::setApplicationName(QStringLiteral("Tavelin"));

#if defined(_WIN32)
  tavelin::Win32Registry registry;
#elif defined(TAVELIN_HIVE_FILE)
  tavelin::HiveFileRegistry registry(tavelin::HiveFileRegistry::DefaultHivePath());
#else
  tavelin::MemoryRegistry registry;
#endif
  WidgetInteraction interaction;
  std::unique_ptr<tavelin::BrowserLauncher> launcher = tavelin::CreateSystemBrowserLauncher();

  Mainn window(registry, interaction, *launcher);
  window.Form_Load();
  window.show();
  // An unreadable store is told once the window is up.
  QTimer::singleShot(0, &window, [&window] { window.showStoreNotices(); });
  return QApplication::exec();
}
