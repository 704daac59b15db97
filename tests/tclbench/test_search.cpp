// Searching and replacing on an editor with the shared options and dialogs.

#include "tclbench/searchdialogs.h"

#include "core/common.h"
#include "app/dialogs.h"
#include "core/inifile.h"

#include <Qsci/qsciscintilla.h>

#include <QApplication>
#include <QComboBox>
#include <QPushButton>
#include <QTimer>

#include <gtest/gtest.h>

#include <deque>

using namespace mvx;
using namespace mvx::tclbench;

namespace {

struct FindRow {
    const char* doc;
    const char* text;
    bool caseSensitive;
    bool wholeWords;
    bool regex;
    bool backward;
    int from;
    int start;  // -1: not found
    int length;
};

TEST(FindInText, Table)
{
    const FindRow rows[] = {
        {"abc ABC abc", "abc", false, false, false, false, 0, 0, 3},
        {"abc ABC abc", "abc", false, false, false, false, 1, 4, 3},
        {"abc ABC abc", "abc", true, false, false, false, 1, 8, 3},
        {"abc ABC abc", "abc", false, false, false, true, 11, 8, 3},
        {"abc ABC abc", "abc", false, false, false, true, 8, 4, 3},
        {"abc ABC abc", "abc", true, false, false, true, 8, 0, 3},
        {"abc ABC abc", "abc", false, false, false, true, 2, -1, 0},
        {"myvar var var2", "var", false, true, false, false, 0, 6, 3},
        {"myvar var var2", "var", false, false, false, false, 0, 2, 3},
        {"var_x var", "var", false, true, false, true, 9, 6, 3},
        {"x = 12; y = 345", "\\d+", false, false, true, false, 0, 4, 2},
        {"x = 12; y = 345", "\\d+", false, false, true, true, 15, 12, 3},
        {"a.b a+b", "a.b", false, false, false, false, 1, -1, 0},  // plain text: the dot is a dot
        {"a.b axb", "a.b", false, false, true, false, 1, 4, 3},
        {"line1\nline2", "^line", false, false, true, false, 1, 6, 4},
        {"aaa", "x*", false, false, true, false, 0, -1, 0},  // only empty matches: none
        {"aaa", "^", false, false, true, false, 0, -1, 0},
        {"été", "té", false, false, false, false, 0, 1, 2},
    };
    for (const FindRow& r : rows) {
        const QString doc = QString::fromUtf8(r.doc);
        SearchPattern p{QString::fromUtf8(r.text), r.caseSensitive, r.wholeWords, r.regex};
        const auto m = FindInText(doc, r.from, 0, doc.size(), p, r.backward);
        SCOPED_TRACE(std::string(r.doc) + " / " + r.text + " from " + std::to_string(r.from));
        if (r.start < 0) {
            EXPECT_FALSE(m.has_value());
        } else {
            ASSERT_TRUE(m.has_value());
            EXPECT_EQ(m->start, r.start);
            EXPECT_EQ(m->length, r.length);
        }
    }
}

TEST(FindInText, InvalidRegexIsReported)
{
    QString error;
    const auto m = FindInText(QStringLiteral("abc"), 0, 0, 3, SearchPattern{QStringLiteral("(ab"), false, false, true},
                              false, &error);
    EXPECT_FALSE(m.has_value());
    EXPECT_FALSE(error.isEmpty());
}

TEST(FindInText, ScopeLimitsMatches)
{
    const QString doc = QStringLiteral("abc abc abc");
    const SearchPattern p{QStringLiteral("abc"), false, false, false};
    EXPECT_FALSE(FindInText(doc, 5, 5, 10, p, false).has_value());  // the last one runs past the scope
    const auto m = FindInText(doc, 0, 4, 11, p, false);
    ASSERT_TRUE(m);
    EXPECT_EQ(m->start, 4);
}

TEST(ExpandReplacement, GroupsOnlyWithRegex)
{
    TextMatch m;
    m.captures = {QStringLiteral("Speed=10"), QStringLiteral("Speed"), QStringLiteral("10")};
    EXPECT_EQ(ExpandReplacement(QStringLiteral("$2=$1 $$3 $9"), m, true), QStringLiteral("10=Speed $3 "));
    EXPECT_EQ(ExpandReplacement(QStringLiteral("$SocketID $1"), m, true), QStringLiteral("$SocketID Speed"));
    EXPECT_EQ(ExpandReplacement(QStringLiteral("$2=$1"), m, false), QStringLiteral("$2=$1"));
}

TEST(History, JoinSplitPush)
{
    QStringList entries;
    for (const char* t : {"abc", "abc", "def"}) PushHistory(entries, QString::fromLatin1(t));
    EXPECT_EQ(entries, (QStringList{"def", "abc"}));
    PushHistory(entries, QStringLiteral("abc"));
    EXPECT_EQ(entries, (QStringList{"abc", "def"}));
    PushHistory(entries, QString());
    EXPECT_EQ(entries.size(), 2);
    EXPECT_EQ(JoinHistory(entries), QStringLiteral("abc\r\ndef"));
    EXPECT_EQ(SplitHistory(QStringLiteral("a\r\nb\r\n\r\nc")), (QStringList{"a", "b", "c"}));
}

// ---- dialogs ----

class SearchDialogs : public ::testing::Test {
protected:
    void SetUp() override { SetMessageBoxHandler({}); }
    // Types the texts and presses OK, as a user does.
    static void acceptWith(TTextSearchDialog& dlg, const QString& text)
    {
        dlg.SetFindText(text);
        dlg.accept();
    }
};

TEST_F(SearchDialogs, NamesAndCaptions)
{
    TTextSearchDialog search;
    TTextReplaceDialog replace;
    TConfirmReplaceDialog confirm;
    EXPECT_EQ(search.objectName(), QStringLiteral("TextSearchDialog"));
    EXPECT_EQ(search.windowTitle(), QStringLiteral("Search Text"));
    EXPECT_EQ(replace.objectName(), QStringLiteral("TextReplaceDialog"));
    EXPECT_EQ(replace.windowTitle(), QStringLiteral("Replace text"));
    EXPECT_EQ(confirm.objectName(), QStringLiteral("ConfirmReplaceDialog"));
    EXPECT_EQ(confirm.windowTitle(), QStringLiteral("Confirm replace"));
    EXPECT_FALSE(search.IsBackward());
    EXPECT_NE(search.findChild<QComboBox*>(QStringLiteral("cbSearchText")), nullptr);
    EXPECT_NE(replace.findChild<QComboBox*>(QStringLiteral("cbReplaceText")), nullptr);
    EXPECT_EQ(search.findChild<QComboBox*>(QStringLiteral("cbReplaceText")), nullptr);
}

TEST_F(SearchDialogs, HistoryNewestFirstAndTenKept)
{
    TTextSearchDialog dlg;
    acceptWith(dlg, QStringLiteral("abc"));
    acceptWith(dlg, QStringLiteral("abc"));
    acceptWith(dlg, QStringLiteral("def"));
    EXPECT_EQ(dlg.GetFindHistory(), QStringLiteral("def\r\nabc"));
    acceptWith(dlg, QStringLiteral("abc"));
    EXPECT_EQ(dlg.GetFindHistory(), QStringLiteral("abc\r\ndef"));
    EXPECT_EQ(dlg.GetFindText(), QStringLiteral("abc"));

    TTextSearchDialog many;
    for (int i = 1; i <= 12; ++i) acceptWith(many, QStringLiteral("t%1").arg(i));
    const QStringList kept = SplitHistory(many.GetFindHistory());
    ASSERT_EQ(kept.size(), kHistoryLimit);
    EXPECT_EQ(kept.first(), QStringLiteral("t12"));
    EXPECT_EQ(kept.last(), QStringLiteral("t3"));
}

TEST_F(SearchDialogs, ReplaceDialogRoundTripsOptions)
{
    SearchOptions in;
    in.Backward = true;
    in.CaseSensitive = true;
    in.FromCaret = true;
    in.WholeWords = true;
    in.UseRegex = true;
    in.SearchText = QStringLiteral("x");
    in.SearchHistory = QStringLiteral("x\r\ny");
    in.ReplaceText = QStringLiteral("z");
    in.ReplaceHistory = QStringLiteral("z\r\nw");
    TTextReplaceDialog dlg;
    dlg.LoadFrom(in);
    dlg.SetReplaceWith(QStringLiteral("q"));
    dlg.accept();
    SearchOptions out;
    dlg.StoreTo(out);
    EXPECT_TRUE(out.Backward && out.CaseSensitive && out.FromCaret && out.WholeWords && out.UseRegex);
    EXPECT_FALSE(out.SelectionOnly);
    EXPECT_EQ(out.SearchText, QStringLiteral("x"));
    EXPECT_EQ(out.SearchHistory, QStringLiteral("x\r\ny"));
    EXPECT_EQ(out.ReplaceText, QStringLiteral("q"));
    EXPECT_EQ(out.ReplaceHistory, QStringLiteral("q\r\nz\r\nw"));
}

struct PlaceRow {
    QRect rect;
    int matchX, lineBelowY, matchY;
    int left, top;  // expected, for a dialog of 300 x 100
};

TEST_F(SearchDialogs, ConfirmPlacesNearTheMatch)
{
    TConfirmReplaceDialog dlg;
    dlg.setFixedSize(300, 100);
    const PlaceRow rows[] = {
        {QRect(100, 100, 800, 600), 200, 220, 200, 200, 224},   // upper part: below the match
        {QRect(100, 100, 800, 600), 800, 220, 200, 599, 224},   // kept inside the right edge
        {QRect(100, 100, 800, 600), 200, 600, 580, 200, 476},   // lower third: above the match
        {QRect(100, 100, 200, 600), 150, 220, 200, 50, 224},    // narrow editor: centred
    };
    for (const PlaceRow& r : rows) {
        dlg.PlaceNearMatch(r.rect, r.matchX, r.lineBelowY, r.matchY, QStringLiteral("abc"));
        EXPECT_EQ(dlg.pos(), QPoint(r.left, r.top)) << r.matchX << "," << r.lineBelowY;
    }
    EXPECT_EQ(dlg.question(), QStringLiteral("Replace this occurrence of \"abc\"?"));
    // A remembered position does not move it away from the match.
    SettingsIni()->writeInteger("ConfirmReplaceDialog", "top", 5);
    SettingsIni()->writeInteger("ConfirmReplaceDialog", "left", 5);
    dlg.PlaceNearMatch(rows[0].rect, rows[0].matchX, rows[0].lineBelowY, rows[0].matchY, QStringLiteral("abc"));
    dlg.show();
    EXPECT_EQ(dlg.pos(), QPoint(rows[0].left, rows[0].top));
    dlg.hide();
}

TEST_F(SearchDialogs, ConfirmAnswersByButton)
{
    const std::pair<const char*, ReplaceAnswer> rows[] = {
        {"btnReplace", ReplaceAnswer::Yes},
        {"btnSkip", ReplaceAnswer::No},
        {"btnCancel", ReplaceAnswer::Cancel},
        {"btnReplaceAll", ReplaceAnswer::YesToAll},
    };
    TConfirmReplaceDialog dlg;
    for (const auto& [name, expected] : rows) {
        QTimer::singleShot(0, &dlg, [&dlg, name = name] {
            dlg.findChild<QPushButton*>(QString::fromLatin1(name))->click();
        });
        EXPECT_EQ(dlg.ask(), expected) << name;
    }
    QTimer::singleShot(0, &dlg, [&dlg] { dlg.reject(); });  // Escape or the close box
    EXPECT_EQ(dlg.ask(), ReplaceAnswer::Cancel);
}

TEST_F(SearchDialogs, SharedDialogsAreMadeAgainAfterDestruction)
{
    TConfirmReplaceDialog* first = ConfirmReplaceDialog();
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(ConfirmReplaceDialog(), first);
    delete first;
    TConfirmReplaceDialog* second = ConfirmReplaceDialog();
    ASSERT_NE(second, nullptr);
    delete second;
}

// ---- searching an editor ----

class EditorSearch : public ::testing::Test {
protected:
    void SetUp() override
    {
        mAsked.clear();
        SetMessageBoxHandler([this](const std::string& text, std::uint16_t) {
            mAsked.push_back(text);
            return mAnswer;
        });
    }
    void TearDown() override { SetMessageBoxHandler({}); }
    SearchOptions opts(const char* text, const char* with = "")
    {
        SearchOptions o;
        o.SearchText = QString::fromUtf8(text);
        o.ReplaceText = QString::fromUtf8(with);
        return o;
    }
    // Answers the confirmations from a list; counts the questions.
    ConfirmHandler answers(std::deque<ReplaceAnswer> list)
    {
        return [this, list](QsciScintilla*, long, long) mutable {
            ++mConfirms;
            if (list.empty()) return ReplaceAnswer::Cancel;
            const ReplaceAnswer a = list.front();
            list.pop_front();
            return a;
        };
    }
    QString selected() const { return mEd.selectedText(); }
    long caret() { return mEd.SendScintilla(QsciScintilla::SCI_GETCURRENTPOS); }

    QsciScintilla mEd;
    std::vector<std::string> mAsked;
    std::uint16_t mAnswer = MrNo;
    int mConfirms = 0;
};

TEST_F(EditorSearch, ForwardAndBackwardFromCaret)
{
    mEd.setText(QStringLiteral("set a 1\nset b 2\nset c 3\n"));
    SearchOptions o = opts("set");
    ASSERT_TRUE(DoSearch(&mEd, o, false, false, false).found);
    EXPECT_EQ(mEd.SendScintilla(QsciScintilla::SCI_GETSELECTIONSTART), 0);
    ASSERT_TRUE(DoSearch(&mEd, o, false, false, true).found);
    EXPECT_EQ(mEd.SendScintilla(QsciScintilla::SCI_GETSELECTIONSTART), 8);
    ASSERT_TRUE(DoSearch(&mEd, o, false, false, true).found);
    EXPECT_EQ(mEd.SendScintilla(QsciScintilla::SCI_GETSELECTIONSTART), 16);
    ASSERT_TRUE(DoSearch(&mEd, o, false, true, true).found);
    EXPECT_EQ(mEd.SendScintilla(QsciScintilla::SCI_GETSELECTIONSTART), 8);
    EXPECT_EQ(selected(), QStringLiteral("set"));
    // Whole text backward starts at the end.
    ASSERT_TRUE(DoSearch(&mEd, o, false, true, false).found);
    EXPECT_EQ(mEd.SendScintilla(QsciScintilla::SCI_GETSELECTIONSTART), 16);
}

TEST_F(EditorSearch, NotFoundCollapsesTheSelection)
{
    mEd.setText(QStringLiteral("alpha beta gamma"));
    mEd.SendScintilla(QsciScintilla::SCI_SETSEL, 6UL, 10L);  // "beta"
    const SearchOutcome r = DoSearch(&mEd, opts("delta"), false, false, true);
    EXPECT_FALSE(r.found);
    EXPECT_FALSE(mEd.hasSelectedText());
    EXPECT_EQ(caret(), 10);
    mEd.SendScintilla(QsciScintilla::SCI_SETSEL, 6UL, 10L);
    EXPECT_FALSE(DoSearch(&mEd, opts("delta"), false, true, true).found);
    EXPECT_EQ(caret(), 6);
    EXPECT_FALSE(mEd.hasSelectedText());
}

TEST_F(EditorSearch, NonAsciiTextSelectsTheRightBytes)
{
    mEd.setUtf8(true);
    mEd.setText(QStringLiteral("déjà vu: vitesse élevée"));
    ASSERT_TRUE(DoSearch(&mEd, opts("élevée"), false, false, false).found);
    EXPECT_EQ(selected(), QStringLiteral("élevée"));
}

TEST_F(EditorSearch, ConfirmAnswersDriveTheReplace)
{
    mEd.setText(QStringLiteral("a a a a a"));
    SearchOutcome r = DoSearch(&mEd, opts("a", "b"), true, false, false,
                               answers({ReplaceAnswer::Yes, ReplaceAnswer::No, ReplaceAnswer::YesToAll}));
    EXPECT_EQ(r.replaced, 4);
    EXPECT_EQ(mConfirms, 3);
    EXPECT_EQ(mEd.text(), QStringLiteral("b a b b b"));

    // One by one, then the rest at once, with a replacement that holds the search text.
    mEd.setText(QStringLiteral("a a a a"));
    mConfirms = 0;
    r = DoSearch(&mEd, opts("a", "aa"), true, false, false,
                 answers({ReplaceAnswer::No, ReplaceAnswer::Yes, ReplaceAnswer::YesToAll}));
    EXPECT_EQ(mConfirms, 3);
    EXPECT_EQ(r.replaced, 3);
    EXPECT_EQ(mEd.text(), QStringLiteral("a aa aa aa"));

    mEd.setText(QStringLiteral("a a a"));
    mConfirms = 0;
    r = DoSearch(&mEd, opts("a", "b"), true, false, false, answers({ReplaceAnswer::Yes, ReplaceAnswer::Cancel}));
    EXPECT_TRUE(r.cancelled);
    EXPECT_EQ(r.replaced, 1);
    EXPECT_EQ(mEd.text(), QStringLiteral("b a a"));
    // One undo takes the whole replace back.
    mEd.undo();
    EXPECT_EQ(mEd.text(), QStringLiteral("a a a"));
}

TEST_F(EditorSearch, ReplaceAllEnds)
{
    struct Row {
        const char* doc;
        const char* text;
        const char* with;
        bool regex;
        bool backward;
        int count;
        const char* result;
    };
    const Row rows[] = {
        {"a a a", "a", "aa", false, false, 3, "aa aa aa"},   // the replacement holds the search text
        {"a a a", "a", "aa", false, true, 3, "aa aa aa"},
        {"xax", "a", "bab", false, false, 1, "xbabx"},
        {"Speed=10 Accel=5", "(\\w+)=(\\d+)", "$2=$1", true, false, 2, "10=Speed 5=Accel"},
        {"abc", "x*", "-", true, false, 0, "abc"},            // only empty matches
        {"l1\nl2", "^", "# ", true, false, 0, "l1\nl2"},
        {"été été", "été", "summer", false, false, 2, "summer summer"},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.doc);
        mEd.setText(QString::fromUtf8(r.doc));
        SearchOptions o = opts(r.text, r.with);
        o.UseRegex = r.regex;
        const SearchOutcome out = DoSearch(&mEd, o, true, r.backward, false, answers({ReplaceAnswer::YesToAll}));
        EXPECT_EQ(out.replaced, r.count);
        EXPECT_EQ(mEd.text(), QString::fromUtf8(r.result));
    }
}

TEST_F(EditorSearch, EqualReplacementIsNotAsked)
{
    mEd.setText(QStringLiteral("Abc abc"));
    SearchOptions o = opts("abc", "abc");
    const SearchOutcome r = DoSearch(&mEd, o, true, false, false, answers({ReplaceAnswer::Yes, ReplaceAnswer::Yes}));
    EXPECT_EQ(mConfirms, 1);  // only "Abc" differs from the replacement
    EXPECT_EQ(r.replaced, 1);
    EXPECT_EQ(mEd.text(), QStringLiteral("abc abc"));
}

TEST_F(EditorSearch, SelectionOnly)
{
    mEd.setText(QStringLiteral("x1 x2 x3 x4"));
    SearchOptions o = opts("x", "y");
    o.SelectionOnly = true;
    // No selection: the question comes first; "Non" ends it.
    mAnswer = MrNo;
    SearchOutcome r = DoSearch(&mEd, o, true, false, false, answers({ReplaceAnswer::YesToAll}));
    ASSERT_EQ(mAsked.size(), 1u);
    EXPECT_EQ(mAsked[0], "The is no selection available, search whole text?");
    EXPECT_TRUE(r.cancelled);
    EXPECT_EQ(mEd.text(), QStringLiteral("x1 x2 x3 x4"));
    // A selection: only its occurrences change.
    mEd.SendScintilla(QsciScintilla::SCI_SETSEL, 3UL, 8L);  // "x2 x3"
    r = DoSearch(&mEd, o, true, false, false, answers({ReplaceAnswer::YesToAll}));
    EXPECT_EQ(r.replaced, 2);
    EXPECT_EQ(mEd.text(), QStringLiteral("x1 y2 y3 x4"));
    // "Oui" searches the whole text and drops the option.
    mAsked.clear();
    mAnswer = MrYes;
    searchOptions().SelectionOnly = true;
    mEd.SendScintilla(QsciScintilla::SCI_SETSEL, 0UL, 0L);
    r = DoSearch(&mEd, o, true, false, false, answers({ReplaceAnswer::YesToAll}));
    EXPECT_EQ(mAsked.size(), 1u);
    EXPECT_EQ(r.replaced, 2);
    EXPECT_FALSE(searchOptions().SelectionOnly);
}

TEST_F(EditorSearch, BadRegexIsReportedNotSearched)
{
    mEd.setText(QStringLiteral("abc"));
    SearchOptions o = opts("(abc");
    o.UseRegex = true;
    const SearchOutcome r = DoSearch(&mEd, o, false, false, false);
    EXPECT_TRUE(r.invalid);
    ASSERT_EQ(mAsked.size(), 1u);
}

TEST_F(EditorSearch, EnablingFollowsTheSearchText)
{
    searchOptions() = SearchOptions{};
    EXPECT_FALSE(SearchAgainEnabled());
    EXPECT_FALSE(ReplaceEnabled(&mEd));
    searchOptions().SearchText = QStringLiteral("x");
    EXPECT_TRUE(SearchAgainEnabled());
    EXPECT_TRUE(ReplaceEnabled(&mEd));
    mEd.setReadOnly(true);
    EXPECT_FALSE(ReplaceEnabled(&mEd));
    searchOptions() = SearchOptions{};
}

TEST_F(EditorSearch, ReadOnlyEditorIsNotChanged)
{
    mEd.setText(QStringLiteral("abc"));
    mEd.setReadOnly(true);
    const SearchOutcome r = DoSearch(&mEd, opts("abc", "x"), true, false, false, answers({ReplaceAnswer::YesToAll}));
    EXPECT_EQ(r.replaced, 0);
    EXPECT_EQ(mEd.text(), QStringLiteral("abc"));
}

}  // namespace
