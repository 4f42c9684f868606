// The program's start: the store and the browser of this platform, the core, the main window,
// the event loop.
#pragma once

#include <functional>

class QWidget;

// Runs Tavelin until its window is closed and returns the exit code. `whenShown`, if given,
// is called with the main window once it is on the screen.
int RunTavelin(int argc, char* argv[], const std::function<void(QWidget&)>& whenShown = {});
