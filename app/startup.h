#pragma once
// Start-up of the program, in the order the user relies on: single instance, number format,
// command line, windows, languages, start-up connection, numeric options, message loop.

#include <functional>
#include <memory>
#include <string>
#include <vector>

class QWidget;

namespace mvx {

struct CommandLine;

// The libraries above app/ plug their windows and the start-up connection in here, so the
// executable stays a thin main.
struct StartupHooks {
    // Creates every window (the main window first); returns the main window.
    std::function<QWidget*(const CommandLine&)> createWindows;
    // Runs the start-up connection; true when the controller is usable.
    std::function<bool()> connect;
    // Applies the command line's layout and option words after the connection.
    std::function<void(const CommandLine&)> applyOptions;
};

int RunProgram(int argc, char** argv, const StartupHooks& hooks);

}  // namespace mvx
