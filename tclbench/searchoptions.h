#pragma once
// The search and replace options shared by every editor of the program, kept for the run only,
// and the text matcher the editors search with. GUI thread only.

#include <QString>
#include <QStringList>

#include <optional>

namespace mvx::tclbench {

struct SearchOptions {
    bool Backward = false;
    bool CaseSensitive = false;
    bool FromCaret = false;
    bool SelectionOnly = false;
    bool WholeWords = false;
    bool UseRegex = false;
    bool TextAtCaret = false;  // search text taken from the selection or the word at the caret
    QString SearchText;
    QString SearchHistory;  // newest first, joined with CR LF
    QString ReplaceText;
    QString ReplaceHistory;
};

// The one record of the program.
SearchOptions& searchOptions();

// At most this many history entries are kept.
constexpr int kHistoryLimit = 10;
// First kHistoryLimit entries joined with CR LF.
QString JoinHistory(const QStringList& entries);
// Entries of a CR LF separated text (a lone LF separates too); empty entries are dropped.
QStringList SplitHistory(const QString& text);
// `text` first: moved to the top when already there, inserted otherwise; empty texts change nothing.
void PushHistory(QStringList& entries, const QString& text);

// What to look for. Empty matches (a regular expression such as "x*" or "^") are never
// reported: they could not be selected and would make a replace loop in place.
struct SearchPattern {
    QString text;
    bool caseSensitive = false;
    bool wholeWords = false;
    bool regex = false;
};

struct TextMatch {
    qsizetype start = 0;
    qsizetype length = 0;
    QStringList captures;  // regular expression groups, 0 = whole match
};

// Forward: the first match that starts at or after `from` and ends by `scopeEnd`.
// Backward: the last match that ends at or before `from` and starts at or after `scopeBegin`.
// `error` (when given) receives the reason when the pattern itself is invalid.
std::optional<TextMatch> FindInText(const QString& doc, qsizetype from, qsizetype scopeBegin, qsizetype scopeEnd,
                                    const SearchPattern& pattern, bool backward, QString* error = nullptr);
// The replacement for one match: with a regular expression "$0".."$9" stand for its groups
// ("$$" for one "$"); a plain search inserts the text as it stands.
QString ExpandReplacement(const QString& replacement, const TextMatch& match, bool regex);
// The text of [begin, end) with every match replaced (matches equal to their replacement are
// left and not counted); `count` receives the number replaced. Never searches its own output.
QString ReplaceAllInText(const QString& doc, qsizetype begin, qsizetype end, const SearchPattern& pattern,
                         const QString& replacement, int& count);
// Whether the pattern can be used at all (a regular expression that compiles, a non-empty text).
bool PatternValid(const SearchPattern& pattern, QString* error = nullptr);

}  // namespace mvx::tclbench
