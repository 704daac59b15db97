// Program entry: the start-up of app/ with the windows and connection of the libraries above it.
#include "app/startup.h"
#include "link/controller.h"
#include "program/programwindows.h"

int main(int argc, char** argv)
{
    // The link's state for the whole run: built before the windows, ended after the event loop.
    mvx::link::Controller controller;
    mvx::link::InstallController(&controller);
    // The windows get the controller from the wiring; the wiring ends before it.
    mvx::ProgramWiring wiring(controller);
    return mvx::RunProgram(argc, argv, wiring.startupHooks());
}
