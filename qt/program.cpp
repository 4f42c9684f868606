#include "qt/program.h"

#include <QApplication>
#include <QTimer>
#include <memory>

#include "app/mainn.h"
#include "app/system_registry.h"
#include "qt/main_window.h"
#include "qt/screen.h"

int RunTavelin(int argc, char* argv[], const std::function<void(QWidget&)>& whenShown) {
  // The program takes nothing on its command line: Qt gets the program's name only, so that
  // its own options (-style, -reverse, -platform, ...) are not read either.
  char fallbackName[] = "tavelin";
  char* qtArguments[] = {argc > 0 && argv[0] != nullptr ? argv[0] : fallbackName, nullptr};
  int qtArgumentCount = 1;
  QApplication app(qtArgumentCount, qtArguments);
  QApplication::setApplicationName(QStringLiteral("Tavelin"));

  const tavelin::SystemParts parts = tavelin::CreateSystemParts();
  tavelin::qt::QtScreen screen;
  tavelin::Mainn core(*parts.registry, screen, *parts.launcher);
  tavelin::qt::MainWindow window(core);
  screen.setMainWindow(&window);

  core.Form_Load();
  window.place();
  window.show();
  QTimer::singleShot(0, &window, [&core, &window, &whenShown] {
    if (whenShown) whenShown(window);
    // What start-up has to tell appears over the window.
    core.Form_Shown();
  });
  return QApplication::exec();
}
