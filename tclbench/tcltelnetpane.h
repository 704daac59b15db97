#pragma once
// The TCL editor's telnet pane: a view of the program's telnet session (link/telnet.h). It shows
// what the session receives and sends each typed character to it; nothing typed is shown locally.

#include "link/controller.h"
#include <QPlainTextEdit>

#include <cstddef>
#include <string>
#include <vector>

namespace mvx::tclbench {

// Appends received text to the pane's lines: up to each CR on the last line, a new line at each
// CR, an LF right after a CR skipped, every other character (LF included) kept. Returns the
// number of CRs.
std::size_t AppendTelnetText(std::vector<std::string>& lines, const std::string& text);

class TclTelnetPane : public QPlainTextEdit {
    Q_OBJECT
public:
    // Becomes the session's data handler and warning pane (one pane in the program).
    TclTelnetPane(QWidget* parent, link::Controller& controller);
    ~TclTelnetPane() override;

    // Text received from the session (GUI thread).
    void appendReceived(const std::string& text);
    // The pane's lines as shown.
    std::vector<std::string> lines() const;

signals:
    void keyTyped(const QString& text);

protected:
    void keyPressEvent(QKeyEvent* event) override;

private:
    link::Controller& mController;
};

}  // namespace mvx::tclbench
