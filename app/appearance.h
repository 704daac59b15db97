#pragma once
// How the program's windows look wherever they are built: one font for code and data views, and
// a style that leaves room around every button's label.

class QApplication;
class QFont;
class QWidget;

namespace mvx {

// The fixed-pitch font of every view that shows code, files or controller data.
QFont CodeFont();

// The program's widget style: the platform's, with push buttons a little wider than their label
// so no label touches (or, with a longer translation, loses) its edges.
void InstallProgramStyle(QApplication& app);

// Shrinks a window that would not fit the free area of its screen (title bar included), never
// below its minimum size; its place is left as it is.
void FitWindowToScreen(QWidget* window);

}  // namespace mvx
