#pragma once
// The one check a name from the controller passes before it names a local file: every place
// that turns a listed or typed remote name into a local path (the TCL editor, the file browser,
// the backup, the include-file download, GetFile itself) asks here.

#include <string>

namespace mvx::link {

// True when `name` may be used as the name of a file in `localDir`: a plain name (not empty,
// not "." or "..", no '/', '\', NUL or other control character, at most 255 bytes) and, when
// `localDir` is the program folder, none of the program's own files (the executable, the
// settings file, the language files, the SSH known-hosts file), compared without regard to
// case. An empty `localDir` checks the plain-name part only (a name that goes into a remote
// path).
bool RemoteNameUsable(const std::string& name, const std::string& localDir);

// The message of a refused name: the built-in text, a blank and the name.
std::string RemoteNameRefusedText(const std::string& name);
// Registers the built-in text (before the language load; safe to call again).
void registerRemoteNameTexts();

}  // namespace mvx::link
