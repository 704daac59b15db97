#pragma once
// The open dialog of the editors that may open a file read-only: a file dialog with a
// read-only box, as the editors' "Open" commands offer it. GUI thread only.

#include <string>

class QWidget;

namespace mvx {

// Object name of the dialog and of its box, so a test can find and answer them.
inline constexpr const char* kOpenDialogName = "OpenDialog1";
inline constexpr const char* kOpenReadOnlyBoxName = "ReadOnlyBox";

// Asks for an existing file starting in `startFolder` (empty: the current one) with a Qt filter
// such as "Tcl script (*.TCL *.tcl);;All (*)". Empty result: cancelled. `readOnly` receives the
// box's state at OK.
std::string OpenFileAskReadOnly(QWidget* parent, const std::string& startFolder, const std::string& filter,
                                bool& readOnly);

}  // namespace mvx
