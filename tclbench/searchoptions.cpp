#include "searchoptions.h"

#include <QRegularExpression>

#include <algorithm>

namespace mvx::tclbench {

SearchOptions& searchOptions()
{
    static SearchOptions options;
    return options;
}

QString JoinHistory(const QStringList& entries)
{
    return entries.mid(0, kHistoryLimit).join(QStringLiteral("\r\n"));
}

QStringList SplitHistory(const QString& text)
{
    QString t = text;
    t.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    return t.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
}

void PushHistory(QStringList& entries, const QString& text)
{
    if (text.isEmpty()) return;
    entries.removeAll(text);
    entries.prepend(text);
}

namespace {

bool isWordChar(QChar c)
{
    return c.isLetterOrNumber() || c == QLatin1Char('_');
}

bool wordBounded(const QString& doc, qsizetype start, qsizetype length)
{
    if (start > 0 && isWordChar(doc.at(start - 1))) return false;
    const qsizetype end = start + length;
    if (end < doc.size() && isWordChar(doc.at(end))) return false;
    return true;
}

QRegularExpression buildExpression(const SearchPattern& pattern)
{
    QRegularExpression::PatternOptions opts = QRegularExpression::MultilineOption;
    if (!pattern.caseSensitive) opts |= QRegularExpression::CaseInsensitiveOption;
    const QString source = pattern.regex ? pattern.text : QRegularExpression::escape(pattern.text);
    return QRegularExpression(source, opts);
}

TextMatch toMatch(const QRegularExpressionMatch& m)
{
    TextMatch out;
    out.start = m.capturedStart();
    out.length = m.capturedLength();
    out.captures = m.capturedTexts();
    return out;
}

}  // namespace

bool PatternValid(const SearchPattern& pattern, QString* error)
{
    if (pattern.text.isEmpty()) {
        if (error) *error = QStringLiteral("empty search text");
        return false;
    }
    const QRegularExpression re = buildExpression(pattern);
    if (!re.isValid()) {
        if (error) *error = re.errorString();
        return false;
    }
    return true;
}

std::optional<TextMatch> FindInText(const QString& doc, qsizetype from, qsizetype scopeBegin, qsizetype scopeEnd,
                                    const SearchPattern& pattern, bool backward, QString* error)
{
    if (!PatternValid(pattern, error)) return std::nullopt;
    const QRegularExpression re = buildExpression(pattern);
    scopeBegin = std::clamp<qsizetype>(scopeBegin, 0, doc.size());
    scopeEnd = std::clamp<qsizetype>(scopeEnd, scopeBegin, doc.size());
    from = std::clamp(from, scopeBegin, scopeEnd);

    // Matches never run past the scope: the subject ends there.
    const qsizetype limit = backward ? from : scopeEnd;
    const QStringView subject = QStringView(doc).left(limit);
    std::optional<TextMatch> last;
    qsizetype pos = backward ? scopeBegin : from;
    while (pos <= subject.size()) {
        const QRegularExpressionMatch m = re.match(subject, pos);
        if (!m.hasMatch()) break;
        const qsizetype s = m.capturedStart();
        const qsizetype len = m.capturedLength();
        pos = s + 1;  // a refused match: try one further on, so an empty match cannot loop
        if (len == 0) continue;
        if (pattern.wholeWords && !wordBounded(doc, s, len)) continue;
        if (!backward) return toMatch(m);
        // Backward takes the last of the matches a forward reading finds ("345", not "5").
        last = toMatch(m);
        pos = s + len;
    }
    return last;
}

QString ReplaceAllInText(const QString& doc, qsizetype begin, qsizetype end, const SearchPattern& pattern,
                         const QString& replacement, int& count)
{
    count = 0;
    begin = std::clamp<qsizetype>(begin, 0, doc.size());
    end = std::clamp<qsizetype>(end, begin, doc.size());
    QString out;
    qsizetype last = begin;
    qsizetype pos = begin;
    while (auto m = FindInText(doc, pos, begin, end, pattern, false)) {
        const QString with = ExpandReplacement(replacement, *m, pattern.regex);
        if (QStringView(doc).mid(m->start, m->length) != with) {
            out += QStringView(doc).mid(last, m->start - last);
            out += with;
            last = m->start + m->length;
            ++count;
        }
        pos = m->start + m->length;
    }
    out += QStringView(doc).mid(last, end - last);
    return out;
}

QString ExpandReplacement(const QString& replacement, const TextMatch& match, bool regex)
{
    if (!regex) return replacement;
    QString out;
    out.reserve(replacement.size());
    for (qsizetype i = 0; i < replacement.size(); ++i) {
        const QChar c = replacement.at(i);
        if (c == QLatin1Char('$') && i + 1 < replacement.size()) {
            const QChar n = replacement.at(i + 1);
            if (n == QLatin1Char('$')) {
                out += c;
                ++i;
                continue;
            }
            if (n.isDigit() && n.unicode() < 128) {
                const int group = n.unicode() - '0';
                if (group < match.captures.size()) out += match.captures.at(group);
                ++i;
                continue;
            }
        }
        out += c;
    }
    return out;
}

}  // namespace mvx::tclbench
