// Program entry: the start-up of app/ with the windows and connection of the libraries above it.
#include "app/startup.h"
#include "program/programwindows.h"

int main(int argc, char** argv) { return mvx::RunProgram(argc, argv, mvx::ProgramStartupHooks()); }
