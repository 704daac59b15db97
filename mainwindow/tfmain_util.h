#pragma once
// Helpers shared by the main window's source files: file lines, the G-code file reader, and
// the guard that keeps exceptions out of event handlers. No widgets here.

#include "core/guard.h"

#include <string>
#include <vector>


namespace mvx::mainui {

inline constexpr const char* kScriptName = "GCode_Converted.TCL";

// Current text of a language key.
std::string T(const char* key);
bool readWholeFile(const std::string& path, std::string& data);
// Reads a G-code file for the line list. Refused, with the reason in `error`: anything but a
// regular file (a folder, a FIFO, a device: never read, so nothing blocks), an empty file, and
// a file holding NUL or other binary bytes (UTF-16 without a byte-order mark among them). UTF-16
// with a byte-order mark is read as text and given back as UTF-8; a UTF-8 byte-order mark is
// dropped. Any thread.
bool readGCodeFile(const std::string& path, std::string& data, std::string& error);
std::string baseName(const std::string& path);

// Runs a handler body; an exception ends the handler, never the event loop.
template <typename F>
void guarded(F&& f)
{
    Guarded("main window", std::forward<F>(f));
}

}  // namespace mvx::mainui
