#pragma once
// Small file helpers shared by the windows.

#include <string>

namespace mvx {

// Path of the entry of `folder` whose name equals `name` without regard to case ("part.nc"
// finds "PART.NC"); an exact match wins. Empty when there is none. `name` with a folder part
// is looked up as it is.
std::string FindFileNoCase(const std::string& folder, const std::string& name);

// Writes a whole file through a temporary in the same folder and a rename, so a failed write
// never leaves a truncated file. Returns false (with `error`) on failure.
bool WriteFileAtomic(const std::string& path, const std::string& data, std::string* error = nullptr);

// Removes the temporaries a killed run left behind ("*.part~" and "*.tmp~") from the program
// folder itself and from its own subfolders GCODE, TMP, TCLPC and ADMIN (with theirs); nothing
// elsewhere, and only regular files. Returns how many were removed.
int RemoveLeftoverTemporaries(const std::string& programDir);

}  // namespace mvx
