#include "tcltelnetpane.h"

#include "link/telnet.h"

#include <QCoreApplication>
#include <QKeyEvent>
#include <QPointer>
#include <QScrollBar>
#include <QTextBlock>

namespace mvx::tclbench {

std::size_t AppendTelnetText(std::vector<std::string>& lines, const std::string& text)
{
    if (lines.empty()) lines.emplace_back();
    std::size_t crs = 0;
    bool afterCr = false;
    for (char ch : text) {
        if (ch == '\r') {
            lines.emplace_back();
            ++crs;
            afterCr = true;
            continue;
        }
        if (ch == '\n' && afterCr) {
            afterCr = false;
            continue;
        }
        afterCr = false;
        lines.back() += ch;
    }
    return crs;
}

TclTelnetPane::TclTelnetPane(QWidget* parent, link::Controller& controller) : QPlainTextEdit(parent), mController(controller)
{
    setObjectName("Memo1");
    setLineWrapMode(QPlainTextEdit::NoWrap);
    setUndoRedoEnabled(false);
    // The session reads on its own thread: hand the text to the GUI thread, where the pane may
    // already be gone.
    QPointer<TclTelnetPane> guard(this);
    auto post = [guard](std::string text) {
        QMetaObject::invokeMethod(
            qApp, [guard, text = std::move(text)] {
                if (guard) guard->appendReceived(text);
            },
            Qt::QueuedConnection);
    };
    mController.telnet().setDataHandler(post);
    mController.setTelnetPane([post](const std::string& line) { post(line + "\r"); });
}

TclTelnetPane::~TclTelnetPane()
{
    mController.telnet().setDataHandler({});
    mController.setTelnetPane({});
}

std::vector<std::string> TclTelnetPane::lines() const
{
    std::vector<std::string> out;
    if (document()->isEmpty()) return out;
    for (QTextBlock b = document()->firstBlock(); b.isValid(); b = b.next())
        out.push_back(b.text().toLatin1().toStdString());
    return out;
}

void TclTelnetPane::appendReceived(const std::string& text)
{
    mController.telnetDataReceived().store(1);
    std::vector<std::string> all = lines();
    AppendTelnetText(all, text);
    std::string joined;
    for (std::size_t i = 0; i < all.size(); ++i) {
        if (i) joined += '\n';
        joined += all[i];
    }
    setPlainText(QString::fromLatin1(joined.data(), qsizetype(joined.size())));
    moveCursor(QTextCursor::End);
    verticalScrollBar()->setValue(verticalScrollBar()->maximum());
}

void TclTelnetPane::keyPressEvent(QKeyEvent* event)
{
    const QString text = event->text();
    if (text.isEmpty() || (event->modifiers() & Qt::ControlModifier && event->key() == Qt::Key_C)) {
        QPlainTextEdit::keyPressEvent(event);  // caret moves, copy
        return;
    }
    // The session echoes what it wants shown.
    const QByteArray bytes = text.toLatin1();
    mController.telnet().send(std::string(bytes.constData(), std::size_t(bytes.size())));
    emit keyTyped(text);
}

}  // namespace mvx::tclbench
