// qt/ is the Qt 6 Widgets front end, the program on Linux and other systems: it builds the
// windows from the core's tables, runs what their rows name, and shows what the core asks for
// through the screen interface. It decides no rule; it uses app/ and what lies below it.
//
// The program's start: the store and the browser of this platform, the core, the main window,
// the event loop.
#pragma once

#include <functional>

class QWidget;

// Runs Tavelin until its window is closed and returns the exit code. `whenShown`, if given,
// is called with the main window once it is on the screen.
int RunTavelin(int argc, char* argv[], const std::function<void(QWidget&)>& whenShown = {});
