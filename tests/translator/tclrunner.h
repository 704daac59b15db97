#pragma once
// Runs the real Tcl 8.6 interpreter on generated scripts (test helper).

#include <string>
#include <vector>

namespace mvx::test {

struct TclOutcome {
    int ExitCode = -1;
    std::string Output;
};

// `info complete` on each text as a whole and command by command. Passes when all are complete.
TclOutcome TclComplete(const std::vector<std::string>& texts);

// Executes a script with logging stand-ins for the controller commands; `failing` names one
// command that is refused. Output: "CALL ..." lines and "RESULT <value>".
TclOutcome TclRun(const std::string& script, const std::string& failing = {});

// The lines of a text, each with its "\n" removed.
std::vector<std::string> SplitLines(const std::string& text);

}  // namespace mvx::test
