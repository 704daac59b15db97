#pragma once
// The program's wiring, the one place that knows every window: creates them once at start-up,
// ties them to each other and to the controller link, and plugs them into the start-up sequence
// of app/.

#include "app/startup.h"

namespace mvx {

StartupHooks ProgramStartupHooks();

}  // namespace mvx
