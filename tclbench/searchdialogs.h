#pragma once
// The search, replace and replace-confirmation dialogs shared by the editors, and the search
// run on a QsciScintilla editor with the shared options. GUI thread only.

#include "searchoptions.h"

#include <QDialog>
#include <QPoint>

#include <functional>
#include <optional>

class QCheckBox;
class QComboBox;
class QLabel;
class QRadioButton;
class QsciScintilla;

namespace mvx::tclbench {

class TTextSearchDialog : public QDialog {
    Q_OBJECT
public:
    explicit TTextSearchDialog(QWidget* parent = nullptr);

    bool IsBackward() const;
    void SetBackward(bool value);
    bool IsCaseSensitive() const;
    void SetCaseSensitive(bool value);
    bool IsFromCaret() const;
    void SetFromCaret(bool value);
    bool IsSelectionOnly() const;
    void SetSelectionOnly(bool value);
    bool IsRegex() const;
    bool IsWholeWords() const;
    void SetWholeWords(bool value);
    QString GetFindText() const;
    void SetFindText(const QString& text);
    QString GetFindHistory() const;
    void SetFindHistory(const QString& history);

    // Loads the dialog from the options (the replace dialog also loads its replacement).
    virtual void LoadFrom(const SearchOptions& options);
    // Stores the dialog back into the options.
    virtual void StoreTo(SearchOptions& options) const;

    void accept() override;

protected:
    explicit TTextSearchDialog(QWidget* parent, bool withReplace);
    // The history update of an OK close.
    virtual void FormCloseQuery();
    static void pushEntry(QComboBox* box);

    QComboBox* cbSearchText = nullptr;
    QComboBox* cbReplaceText = nullptr;  // replace dialog only
    QCheckBox* cbSearchCaseSensitive = nullptr;
    QCheckBox* cbSearchWholeWords = nullptr;
    QCheckBox* cbSearchFromCursor = nullptr;
    QCheckBox* cbSearchSelectedOnly = nullptr;
    QCheckBox* cbRegularExpression = nullptr;
    QRadioButton* mForward = nullptr;
    QRadioButton* mBackward = nullptr;
};

class TTextReplaceDialog : public TTextSearchDialog {
    Q_OBJECT
public:
    explicit TTextReplaceDialog(QWidget* parent = nullptr);

    QString GetReplaceWith() const;
    void SetReplaceWith(const QString& text);
    QString GetReplaceHistory() const;
    void SetReplaceHistory(const QString& history);

    void LoadFrom(const SearchOptions& options) override;
    void StoreTo(SearchOptions& options) const override;

protected:
    void FormCloseQuery() override;
};

// Answers of the confirmation, in the order of its buttons.
enum class ReplaceAnswer { Yes, No, Cancel, YesToAll };

class TConfirmReplaceDialog : public QDialog {
    Q_OBJECT
public:
    explicit TConfirmReplaceDialog(QWidget* parent = nullptr);

    // Sets the question and places the dialog near the match (screen coordinates).
    void PlaceNearMatch(const QRect& editorRect, int matchX, int lineBelowY, int matchY, const QString& searchText);
    QString question() const;
    // The answer of the last showing.
    ReplaceAnswer answer() const { return mAnswer; }
    // Shows modally and returns the answer (Cancel when closed otherwise).
    ReplaceAnswer ask();

protected:
    void showEvent(QShowEvent* event) override;

private:
    QLabel* lblConfirmation = nullptr;
    std::optional<QPoint> mPlacement;
    ReplaceAnswer mAnswer = ReplaceAnswer::Cancel;
};

// The three shared dialogs, created on first use and again after they were destroyed.
TTextSearchDialog* TextSearchDialog(QWidget* parent = nullptr);
TTextReplaceDialog* TextReplaceDialog(QWidget* parent = nullptr);
TConfirmReplaceDialog* ConfirmReplaceDialog(QWidget* parent = nullptr);
// Use dialogs made by the window set-up instead (null: make them on demand).
void SetSharedSearchDialogs(TTextSearchDialog* search, TTextReplaceDialog* replace, TConfirmReplaceDialog* confirm);

// What one run did.
struct SearchOutcome {
    bool found = false;      // at least one occurrence
    int replaced = 0;        // occurrences replaced
    bool cancelled = false;  // stopped by the user (confirmation or the selection question)
    bool invalid = false;    // the pattern was refused (bad regular expression)
};

// Asked for each occurrence to replace: the editor, the match's position (UTF-8 bytes) and length.
using ConfirmHandler = std::function<ReplaceAnswer(QsciScintilla* editor, long position, long length)>;
// The default asks the shared confirmation dialog near the match.
ReplaceAnswer AskConfirmReplace(QsciScintilla* editor, long position, long length);

// One search (or replace with prompt) on `editor` with the shared options. `fromCaret` off
// searches the whole scope. Not found: beep, and the selection collapses (backward to its
// begin, forward to its end) with the caret there. A replacement equal to the found text is
// skipped without asking. A replace never searches the text it has just put in.
SearchOutcome DoSearch(QsciScintilla* editor, const SearchOptions& options, bool replace, bool backward, bool fromCaret,
                       const ConfirmHandler& confirm = AskConfirmReplace);

// What an editor window shows in its search-result panel ("" before a search, "Text not found").
using SearchStatus = std::function<void(const QString& text)>;

// One editor window's search: shows the search or replace dialog loaded from the shared
// options, stores them back on OK and searches. `searchFromCaret` is the window's own flag:
// set from the dialog's from-caret option, then on after the search, so that "Find next" and
// "Find previous" go on from the caret. `useTextAtCaret`: the option that puts the selection or
// the word at the caret into the dialog.
SearchOutcome RunSearchDialog(QsciScintilla* editor, bool replace, bool& searchFromCaret, const SearchStatus& status,
                              bool useTextAtCaret = false, const ConfirmHandler& confirm = AskConfirmReplace,
                              QWidget* parent = nullptr);
// "Find next" / "Find previous": searches again with the shared options.
SearchOutcome SearchAgain(QsciScintilla* editor, bool backward, bool searchFromCaret, const SearchStatus& status);
// Enabling of "Find next"/"Find previous" and of "Replace...".
bool SearchAgainEnabled();
bool ReplaceEnabled(const QsciScintilla* editor);

// The text the "text at caret" option searches: the selection when on one line, else the word
// at the caret.
QString TextAtCaret(QsciScintilla* editor);

}  // namespace mvx::tclbench
