#pragma once
// The boot script of the controller: the keys "BootScriptFileName" and "BootScriptArguments" of
// section "GENERAL" in its "system.ini".

#include "link/controller.h"

#include <string>

namespace mvx::tclbench {

// Writes the two boot keys into a local copy of system.ini; every other line stays as it was.
// False (with `error`) when the copy could not be written.
bool WriteBootKeys(const std::string& iniPath, const std::string& scriptName, const std::string& arguments,
                   std::string* error = nullptr);

// Why a name or an argument text cannot go into system.ini ("" when it can): empty name,
// line ends, or a "[" / "=" that would change the file's structure.
std::string BootKeyProblem(const std::string& scriptName, const std::string& arguments);

// Fetches system.ini from the configuration folder into `localDir`, writes the boot keys and
// uploads it back (closing the session after). The controller's file is only replaced when the
// download worked and the copy holds a "GENERAL" section: a failed download must never upload a
// file made of the boot keys alone. False with `error` on any failure.
bool SetBootScript(link::Controller& controller, const std::string& localDir, const std::string& scriptName, const std::string& arguments,
                   std::string& error);

}  // namespace mvx::tclbench
