#pragma once
// The workbench and console windows (TCL editor and its dialogs, file browser, backup and
// restore, text editor, maintenance console, gathering viewer), created once at start-up and
// tied to each other.

#include <string>

class QDialog;
class QWidget;

namespace mvx {

namespace link {
class Controller;
}

struct WorkbenchWindows {
    QDialog* textEditor = nullptr;
    QDialog* maintenance = nullptr;
};

// Registers the texts of these windows; before the language load.
void RegisterWorkbenchTexts();
// True for the window names this creates (so no placeholder is made for them).
bool IsWorkbenchWindow(const std::string& objectName);
// The windows that reach the controller get `controller`.
WorkbenchWindows CreateWorkbenchWindows(QWidget* main, link::Controller& controller);

}  // namespace mvx
