#include "tclautocorrect.h"

#include <Qsci/qsciscintilla.h>

#include <QEvent>

#include <array>
#include <cctype>
#include <string_view>

namespace mvx::tclbench {

namespace {

constexpr std::array<std::string_view, 17> kWords{
    "set", "if", "while", "catch", "else", "for", "eval", "then", "puts", "stdout",
    "return", "global", "socket", "code", "tcl_argv", "string", "socketID"};

bool wordChar(char c) { return std::isalnum(static_cast<unsigned char>(c)) || c == '_'; }

bool sameNoCase(std::string_view a, std::string_view b)
{
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (std::tolower(static_cast<unsigned char>(a[i])) != std::tolower(static_cast<unsigned char>(b[i])))
            return false;
    return true;
}

}  // namespace

std::string AutoCorrectLine(const std::string& line)
{
    std::string out;
    out.reserve(line.size());
    std::size_t i = 0;
    while (i < line.size()) {
        if (wordChar(line[i])) {
            std::size_t j = i;
            while (j < line.size() && wordChar(line[j])) ++j;
            const std::string_view word(line.data() + i, j - i);
            std::string_view replaced = word;
            for (std::string_view w : kWords)
                if (sameNoCase(word, w)) replaced = w;
            out += replaced;
            i = j;
        } else if (line.compare(i, 2, ":=") == 0) {
            out += '=';
            i += 2;
        } else {
            out += line[i++];
        }
    }
    return out;
}

TclAutoCorrect::TclAutoCorrect(QsciScintilla* editor) : QObject(editor), mEditor(editor)
{
    editor->viewport()->installEventFilter(this);
}

bool TclAutoCorrect::eventFilter(QObject* watched, QEvent* event)
{
    if (mEnabled && event->type() == QEvent::MouseButtonPress && watched == mEditor->viewport()
        && !mEditor->isReadOnly()) {
        int line = 0, index = 0;
        mEditor->getCursorPosition(&line, &index);
        QString text = mEditor->text(line);
        QString ending;
        while (text.endsWith('\n') || text.endsWith('\r')) {
            ending.prepend(text.back());
            text.chop(1);
        }
        const QByteArray bytes = text.toLatin1();
        const std::string before(bytes.constData(), std::size_t(bytes.size()));
        const std::string after = AutoCorrectLine(before);
        if (after != before) {
            mEditor->setSelection(line, 0, line, int(text.size()));
            mEditor->replaceSelectedText(QString::fromLatin1(after.data(), qsizetype(after.size())));
        }
    }
    return QObject::eventFilter(watched, event);
}

}  // namespace mvx::tclbench
