#include "qt/program.h"

#include <QApplication>
#include <QTimer>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "app/command_line.h"
#include "app/mainn.h"
#include "app/system_registry.h"
#include "qt/main_window.h"
#include "qt/screen.h"

int RunTavelin(int argc, char* argv[], const std::function<void(QWidget&)>& whenShown) {
  // The command line is the program's own, read before a display is needed: --help and
  // --version answer from a terminal without one.
  const std::vector<std::string> arguments(argv + (argc > 0 ? 1 : 0), argv + argc);
  const tavelin::CommandLine line = tavelin::ParseCommandLine(arguments);
  switch (line.action) {
    case tavelin::CommandLine::Action::kHelp:
      std::fputs(tavelin::UsageText().c_str(), stdout);
      return 0;
    case tavelin::CommandLine::Action::kVersion:
      std::printf("%s\n", tavelin::VersionText().c_str());
      return 0;
    case tavelin::CommandLine::Action::kWrong:
      std::fprintf(stderr, "tavelin: %s\n\n%s", line.wrong.c_str(), tavelin::UsageText().c_str());
      return tavelin::kWrongCommandLineStatus;
    case tavelin::CommandLine::Action::kRun:
      break;
  }

  // Qt gets the program's name only, so that its own options (-style, -reverse, -platform,
  // ...) are not read either.
  char fallbackName[] = "tavelin";
  char* qtArguments[] = {argc > 0 && argv[0] != nullptr ? argv[0] : fallbackName, nullptr};
  int qtArgumentCount = 1;
  QApplication app(qtArgumentCount, qtArguments);
  QApplication::setApplicationName(QStringLiteral("Tavelin"));

  const tavelin::SystemParts parts = tavelin::CreateSystemParts({line.file, line.readOnly});
  tavelin::qt::QtScreen screen;
  tavelin::Mainn core(*parts.registry, screen, *parts.launcher, parts.storeFiles.get(),
                      parts.store);
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
