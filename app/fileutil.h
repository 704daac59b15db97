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

}  // namespace mvx
