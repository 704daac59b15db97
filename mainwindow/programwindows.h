#pragma once
// Every window of the program, created once at start-up, and the start-up hooks that tie them
// to the start-up sequence of app/.

#include "app/startup.h"

namespace mvx {

StartupHooks ProgramStartupHooks();

}  // namespace mvx
