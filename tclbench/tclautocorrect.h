#pragma once
// Auto-correct of the TCL editor: the usual miscapitalised TCL words and ":=" are put right on
// the line the caret leaves when the mouse is pressed in the editor. Words are matched whole
// and without regard to case.

#include <QObject>

#include <string>

class QsciScintilla;

namespace mvx::tclbench {

// The line with every listed word and ":=" corrected; other text is kept byte for byte.
std::string AutoCorrectLine(const std::string& line);

class TclAutoCorrect : public QObject {
    Q_OBJECT
public:
    // Attaches to the editor (owned by it).
    explicit TclAutoCorrect(QsciScintilla* editor);
    void setEnabled(bool on) noexcept { mEnabled = on; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QsciScintilla* mEditor;
    bool mEnabled = true;
};

}  // namespace mvx::tclbench
