#pragma once
// Every window of the program, created once at start-up, and the start-up hooks that tie them
// to the start-up sequence of app/.

#include "app/startup.h"
#include "link/directexec.h"

namespace mvx {

class TFmain;

StartupHooks ProgramStartupHooks();

// What the main window lends the direct mode: "Block/block", "Next", "Abort" and the executed
// path of its 3D view (handed to the GUI thread).
link::DirectControls MainWindowDirectControls(TFmain* main);

}  // namespace mvx
