// Tavelin on Windows: the main window over the current user's registry and the system's
// browser.
#include <windows.h>

#include "app/system_registry.h"
#include "win32/main_window.h"
#include "win32/screen.h"

int WINAPI wWinMain(HINSTANCE /*instance*/, HINSTANCE /*previous*/, PWSTR /*commandLine*/,
                    int showCommand) {
  const tavelin::SystemParts parts = tavelin::CreateSystemParts();
  tavelin::win32::WindowsScreen screen;
  tavelin::win32::MainWindow window(*parts.registry, screen, *parts.launcher);
  screen.setMainWindow(&window);
  if (!window.create(showCommand)) return 1;
  return window.run();
}
