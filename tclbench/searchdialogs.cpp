#include "searchdialogs.h"

#include "app/dialogs.h"
#include "app/language.h"

#include <Qsci/qsciscintilla.h>

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPointer>
#include <QPushButton>
#include <QRadioButton>
#include <QStyle>
#include <QVBoxLayout>

#include <cmath>
#include <mutex>

namespace mvx::tclbench {

namespace {

const char* const kNoSelection = "The is no selection available, search whole text?";

const texts::Builtin kTexts[] = {
    {"stringfnotfound", "Text not found"},
};

void registerSearchTexts()
{
    static std::once_flag once;
    std::call_once(once, [] { texts::add(texts::Family::Controller, kTexts); });
}

QString text(const char* key)
{
    registerSearchTexts();
    return QString::fromStdString(texts::get(key));
}

QComboBox* makeHistoryBox(QWidget* parent, const char* name)
{
    auto* box = new QComboBox(parent);
    box->setObjectName(QString::fromLatin1(name));
    box->setEditable(true);
    box->setInsertPolicy(QComboBox::NoInsert);
    box->setMinimumWidth(260);
    return box;
}

QStringList entriesOf(const QComboBox* box)
{
    QStringList out;
    for (int i = 0; i < box->count(); ++i) out << box->itemText(i);
    return out;
}

void setEntries(QComboBox* box, const QStringList& entries)
{
    const QString text = box->currentText();
    box->clear();
    box->addItems(entries);
    box->setCurrentIndex(-1);
    box->setEditText(text);
}

}  // namespace

// ---- search dialog ----

TTextSearchDialog::TTextSearchDialog(QWidget* parent) : TTextSearchDialog(parent, false)
{
    setObjectName(QStringLiteral("TextSearchDialog"));
    setWindowTitle(QStringLiteral("Search Text"));
    RememberWindowPosition(this, false);
    RegisterTranslatedWindow(texts::Family::Controller, this);
}

TTextSearchDialog::TTextSearchDialog(QWidget* parent, bool withReplace) : QDialog(parent)
{
    registerSearchTexts();
    setModal(true);
    auto* top = new QVBoxLayout(this);
    auto* grid = new QGridLayout;
    top->addLayout(grid);
    auto* searchLabel = new QLabel(QStringLiteral("&Search for:"), this);
    searchLabel->setObjectName(QStringLiteral("Label1"));
    cbSearchText = makeHistoryBox(this, "cbSearchText");
    searchLabel->setBuddy(cbSearchText);
    grid->addWidget(searchLabel, 0, 0);
    grid->addWidget(cbSearchText, 0, 1);
    if (withReplace) {
        auto* replaceLabel = new QLabel(QStringLiteral("&Replace with:"), this);
        replaceLabel->setObjectName(QStringLiteral("Label2"));
        cbReplaceText = makeHistoryBox(this, "cbReplaceText");
        replaceLabel->setBuddy(cbReplaceText);
        grid->addWidget(replaceLabel, 1, 0);
        grid->addWidget(cbReplaceText, 1, 1);
    }

    auto* row = new QHBoxLayout;
    top->addLayout(row);
    auto* options = new QGroupBox(QStringLiteral("Options"), this);
    options->setObjectName(QStringLiteral("gbSearchOptions"));
    auto* ol = new QVBoxLayout(options);
    auto box = [&](QCheckBox*& member, const char* name, const char* caption) {
        member = new QCheckBox(QString::fromUtf8(caption), options);
        member->setObjectName(QString::fromLatin1(name));
        ol->addWidget(member);
    };
    box(cbSearchCaseSensitive, "cbSearchCaseSensitive", "C&ase sensitivity");
    box(cbSearchWholeWords, "cbSearchWholeWords", "&Whole words only");
    box(cbSearchFromCursor, "cbSearchFromCursor", "Search from &caret");
    box(cbSearchSelectedOnly, "cbSearchSelectedOnly", "&Selected text only");
    box(cbRegularExpression, "cbRegularExpression", "&Regular expression");
    row->addWidget(options);

    auto* direction = new QGroupBox(QStringLiteral("Direction"), this);
    direction->setObjectName(QStringLiteral("rgSearchDirection"));
    direction->setProperty("radioGroup", true);
    auto* dl = new QVBoxLayout(direction);
    mForward = new QRadioButton(QStringLiteral("&Forward"), direction);
    mBackward = new QRadioButton(QStringLiteral("&Backward"), direction);
    mForward->setChecked(true);
    dl->addWidget(mForward);
    dl->addWidget(mBackward);
    dl->addStretch();
    row->addWidget(direction, 0, Qt::AlignTop);

    auto* buttons = new QDialogButtonBox(this);
    auto* ok = buttons->addButton(QStringLiteral("OK"), QDialogButtonBox::AcceptRole);
    ok->setObjectName(QStringLiteral("btnOK"));
    ok->setDefault(true);
    auto* cancel = buttons->addButton(QStringLiteral("Cancel"), QDialogButtonBox::RejectRole);
    cancel->setObjectName(QStringLiteral("btnCancel"));
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    top->addWidget(buttons);
}

bool TTextSearchDialog::IsBackward() const { return mBackward->isChecked(); }
void TTextSearchDialog::SetBackward(bool value) { (value ? mBackward : mForward)->setChecked(true); }
bool TTextSearchDialog::IsCaseSensitive() const { return cbSearchCaseSensitive->isChecked(); }
void TTextSearchDialog::SetCaseSensitive(bool value) { cbSearchCaseSensitive->setChecked(value); }
bool TTextSearchDialog::IsFromCaret() const { return cbSearchFromCursor->isChecked(); }
void TTextSearchDialog::SetFromCaret(bool value) { cbSearchFromCursor->setChecked(value); }
bool TTextSearchDialog::IsSelectionOnly() const { return cbSearchSelectedOnly->isChecked(); }
void TTextSearchDialog::SetSelectionOnly(bool value) { cbSearchSelectedOnly->setChecked(value); }
bool TTextSearchDialog::IsRegex() const { return cbRegularExpression->isChecked(); }
bool TTextSearchDialog::IsWholeWords() const { return cbSearchWholeWords->isChecked(); }
void TTextSearchDialog::SetWholeWords(bool value) { cbSearchWholeWords->setChecked(value); }
QString TTextSearchDialog::GetFindText() const { return cbSearchText->currentText(); }
void TTextSearchDialog::SetFindText(const QString& text) { cbSearchText->setEditText(text); }
QString TTextSearchDialog::GetFindHistory() const { return JoinHistory(entriesOf(cbSearchText)); }
void TTextSearchDialog::SetFindHistory(const QString& history) { setEntries(cbSearchText, SplitHistory(history)); }

void TTextSearchDialog::LoadFrom(const SearchOptions& o)
{
    SetBackward(o.Backward);
    SetCaseSensitive(o.CaseSensitive);
    SetFromCaret(o.FromCaret);
    SetSelectionOnly(o.SelectionOnly);
    SetFindText(o.SearchText);
    SetFindHistory(o.SearchHistory);
    SetWholeWords(o.WholeWords);
    cbRegularExpression->setChecked(o.UseRegex);
}

void TTextSearchDialog::StoreTo(SearchOptions& o) const
{
    o.SelectionOnly = IsSelectionOnly();
    o.Backward = IsBackward();
    o.CaseSensitive = IsCaseSensitive();
    o.FromCaret = IsFromCaret();
    o.WholeWords = IsWholeWords();
    o.UseRegex = IsRegex();
    o.SearchText = GetFindText();
    o.SearchHistory = GetFindHistory();
}

void TTextSearchDialog::pushEntry(QComboBox* box)
{
    const QString text = box->currentText();
    if (text.isEmpty()) return;
    QStringList entries = entriesOf(box);
    PushHistory(entries, text);
    setEntries(box, entries);
    box->setEditText(text);
}

void TTextSearchDialog::FormCloseQuery()
{
    pushEntry(cbSearchText);
}

void TTextSearchDialog::accept()
{
    FormCloseQuery();
    QDialog::accept();
}

// ---- replace dialog ----

TTextReplaceDialog::TTextReplaceDialog(QWidget* parent) : TTextSearchDialog(parent, true)
{
    setObjectName(QStringLiteral("TextReplaceDialog"));
    setWindowTitle(QStringLiteral("Replace text"));
    RememberWindowPosition(this, false);
    RegisterTranslatedWindow(texts::Family::Controller, this);
}

QString TTextReplaceDialog::GetReplaceWith() const { return cbReplaceText->currentText(); }
void TTextReplaceDialog::SetReplaceWith(const QString& text) { cbReplaceText->setEditText(text); }
QString TTextReplaceDialog::GetReplaceHistory() const { return JoinHistory(entriesOf(cbReplaceText)); }
void TTextReplaceDialog::SetReplaceHistory(const QString& history)
{
    setEntries(cbReplaceText, SplitHistory(history));
}

void TTextReplaceDialog::LoadFrom(const SearchOptions& o)
{
    SetBackward(o.Backward);
    SetCaseSensitive(o.CaseSensitive);
    SetFromCaret(o.FromCaret);
    SetSelectionOnly(o.SelectionOnly);
    SetFindText(o.SearchText);
    SetFindHistory(o.SearchHistory);
    SetReplaceWith(o.ReplaceText);
    SetReplaceHistory(o.ReplaceHistory);
    SetWholeWords(o.WholeWords);
    cbRegularExpression->setChecked(o.UseRegex);
}

void TTextReplaceDialog::StoreTo(SearchOptions& o) const
{
    TTextSearchDialog::StoreTo(o);
    o.ReplaceText = GetReplaceWith();
    o.ReplaceHistory = GetReplaceHistory();
}

void TTextReplaceDialog::FormCloseQuery()
{
    pushEntry(cbSearchText);
    pushEntry(cbReplaceText);
}

// ---- confirmation ----

TConfirmReplaceDialog::TConfirmReplaceDialog(QWidget* parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("ConfirmReplaceDialog"));
    setWindowTitle(QStringLiteral("Confirm replace"));
    setModal(true);
    auto* top = new QVBoxLayout(this);
    auto* row = new QHBoxLayout;
    top->addLayout(row);
    auto* icon = new QLabel(this);
    icon->setObjectName(QStringLiteral("Image1"));
    icon->setPixmap(style()->standardIcon(QStyle::SP_MessageBoxQuestion).pixmap(32, 32));
    row->addWidget(icon, 0, Qt::AlignTop);
    lblConfirmation = new QLabel(this);
    lblConfirmation->setObjectName(QStringLiteral("lblConfirmation"));
    lblConfirmation->setWordWrap(true);
    row->addWidget(lblConfirmation, 1);
    auto* buttons = new QHBoxLayout;
    top->addLayout(buttons);
    struct Row {
        const char* name;
        const char* caption;
        ReplaceAnswer answer;
    };
    const Row rows[] = {
        {"btnReplace", "&Yes", ReplaceAnswer::Yes},
        {"btnSkip", "&No", ReplaceAnswer::No},
        {"btnCancel", "&Cancel", ReplaceAnswer::Cancel},
        {"btnReplaceAll", "Yes to &all", ReplaceAnswer::YesToAll},
    };
    for (const Row& r : rows) {
        auto* b = new QPushButton(QString::fromLatin1(r.caption), this);
        b->setObjectName(QString::fromLatin1(r.name));
        b->setAutoDefault(false);
        if (r.answer == ReplaceAnswer::Yes) b->setDefault(true);
        const ReplaceAnswer answer = r.answer;
        connect(b, &QPushButton::clicked, this, [this, answer] {
            mAnswer = answer;
            if (answer == ReplaceAnswer::Cancel) reject();
            else accept();
        });
        buttons->addWidget(b);
    }
    adjustSize();
    RememberWindowPosition(this, false);
    RegisterTranslatedWindow(texts::Family::Controller, this);
}

void TConfirmReplaceDialog::PlaceNearMatch(const QRect& editorRect, int matchX, int lineBelowY, int matchY,
                                           const QString& searchText)
{
    lblConfirmation->setText(QStringLiteral("Replace this occurrence of \"%1\"?").arg(searchText));
    const int w = width();
    const int h = height();
    int left = 0;
    if (editorRect.width() <= w) {
        left = editorRect.left() - (w - editorRect.width()) / 2;
    } else {
        left = matchX;
        if (left + w > editorRect.right()) left = editorRect.right() - w;
    }
    int top = 0;
    if (lineBelowY > editorRect.top() + static_cast<int>(std::lround(editorRect.height() * 2.0 / 3.0)))
        top = matchY - h - 4;
    else
        top = lineBelowY + 4;
    mPlacement = QPoint(left, top);
    move(left, top);
}

void TConfirmReplaceDialog::showEvent(QShowEvent* event)
{
    // The remembered position is restored on the first showing; the place near the match wins.
    if (mPlacement) move(*mPlacement);
    QDialog::showEvent(event);
}

QString TConfirmReplaceDialog::question() const { return lblConfirmation->text(); }

ReplaceAnswer TConfirmReplaceDialog::ask()
{
    mAnswer = ReplaceAnswer::Cancel;
    exec();
    return mAnswer;
}

// ---- shared instances ----

namespace {
QPointer<TTextSearchDialog> gSearch;
QPointer<TTextReplaceDialog> gReplace;
QPointer<TConfirmReplaceDialog> gConfirm;
}  // namespace

TTextSearchDialog* TextSearchDialog(QWidget* parent)
{
    if (!gSearch) gSearch = new TTextSearchDialog(parent);
    return gSearch;
}

TTextReplaceDialog* TextReplaceDialog(QWidget* parent)
{
    if (!gReplace) gReplace = new TTextReplaceDialog(parent);
    return gReplace;
}

TConfirmReplaceDialog* ConfirmReplaceDialog(QWidget* parent)
{
    if (!gConfirm) gConfirm = new TConfirmReplaceDialog(parent);
    return gConfirm;
}

void SetSharedSearchDialogs(TTextSearchDialog* search, TTextReplaceDialog* replace, TConfirmReplaceDialog* confirm)
{
    gSearch = search;
    gReplace = replace;
    gConfirm = confirm;
}

// ---- the search on an editor ----

namespace {

// The editor counts positions in bytes of its encoding; the matcher in UTF-16 units.
class EditorText {
public:
    explicit EditorText(QsciScintilla* ed) : mEd(ed), mUtf8(ed->isUtf8()), mDoc(ed->text()) {}
    const QString& doc() const { return mDoc; }
    long toBytes(qsizetype index) const
    {
        const QStringView head = QStringView(mDoc).left(index);
        return static_cast<long>(mUtf8 ? head.toUtf8().size() : head.size());
    }
    qsizetype fromBytes(long pos) const
    {
        if (!mUtf8) return std::min<qsizetype>(pos, mDoc.size());
        const QByteArray bytes = mDoc.toUtf8();
        return QString::fromUtf8(bytes.left(pos)).size();
    }
    QByteArray encode(const QString& text) const { return mUtf8 ? text.toUtf8() : text.toLatin1(); }
    void select(qsizetype anchor, qsizetype caret)
    {
        mEd->SendScintilla(QsciScintilla::SCI_SETSEL, static_cast<unsigned long>(toBytes(anchor)),
                           static_cast<long>(toBytes(caret)));
        mEd->SendScintilla(QsciScintilla::SCI_SCROLLCARET);
    }
    void replace(qsizetype start, qsizetype length, const QString& text)
    {
        const long b = toBytes(start);
        const long e = toBytes(start + length);
        const QByteArray bytes = encode(text);
        mEd->SendScintilla(QsciScintilla::SCI_SETTARGETSTART, static_cast<unsigned long>(b));
        mEd->SendScintilla(QsciScintilla::SCI_SETTARGETEND, static_cast<unsigned long>(e));
        mEd->SendScintilla(QsciScintilla::SCI_REPLACETARGET, static_cast<unsigned long>(bytes.size()),
                           bytes.constData());
        mDoc.replace(start, length, text);
    }

private:
    QsciScintilla* mEd;
    bool mUtf8;
    QString mDoc;
};

}  // namespace

ReplaceAnswer AskConfirmReplace(QsciScintilla* editor, long position, long /*length*/)
{
    QWidget* view = editor->viewport();
    const int x = static_cast<int>(editor->SendScintilla(QsciScintilla::SCI_POINTXFROMPOSITION, 0UL, position));
    const int y = static_cast<int>(editor->SendScintilla(QsciScintilla::SCI_POINTYFROMPOSITION, 0UL, position));
    const long line = editor->SendScintilla(QsciScintilla::SCI_LINEFROMPOSITION, static_cast<unsigned long>(position));
    const int lineHeight = static_cast<int>(editor->SendScintilla(QsciScintilla::SCI_TEXTHEIGHT,
                                                                  static_cast<unsigned long>(line)));
    const QPoint match = view->mapToGlobal(QPoint(x, y));
    const QRect rect(view->mapToGlobal(QPoint(0, 0)), view->size());
    TConfirmReplaceDialog* dlg = ConfirmReplaceDialog();
    dlg->PlaceNearMatch(rect, match.x(), match.y() + lineHeight, match.y(), searchOptions().SearchText);
    return dlg->ask();
}

QString TextAtCaret(QsciScintilla* editor)
{
    const QString selected = editor->selectedText();
    if (!selected.isEmpty() && !selected.contains(QLatin1Char('\n')) && !selected.contains(QLatin1Char('\r')))
        return selected;
    int line = 0;
    int index = 0;
    editor->getCursorPosition(&line, &index);
    return editor->wordAtLineIndex(line, index);
}

SearchOutcome DoSearch(QsciScintilla* editor, const SearchOptions& options, bool replace, bool backward,
                       bool fromCaret, const ConfirmHandler& confirm)
{
    SearchOutcome out;
    if (!editor || options.SearchText.isEmpty()) return out;
    SearchPattern pattern{options.SearchText, options.CaseSensitive, options.WholeWords, options.UseRegex};
    QString error;
    if (!PatternValid(pattern, &error)) {
        out.invalid = true;
        ShowMsg(("Regular expression: " + error).toStdString());
        return out;
    }
    if (replace && editor->isReadOnly()) {
        out.cancelled = true;  // nothing may change: no "not found" either
        return out;
    }

    EditorText text(editor);
    const qsizetype selStart = text.fromBytes(editor->SendScintilla(QsciScintilla::SCI_GETSELECTIONSTART));
    const qsizetype selEnd = text.fromBytes(editor->SendScintilla(QsciScintilla::SCI_GETSELECTIONEND));
    bool selectionOnly = options.SelectionOnly;
    if (selectionOnly) {
        const QString selected = text.doc().mid(selStart, selEnd - selStart);
        if (selected.isEmpty() || selected.compare(options.SearchText, Qt::CaseInsensitive) == 0) {
            if (MsgDialog(kNoSelection, 3, MbYes | MbNo) != MrYes) {
                out.cancelled = true;
                return out;
            }
            selectionOnly = false;
            searchOptions().SelectionOnly = false;
        }
    }
    qsizetype scopeBegin = selectionOnly ? selStart : 0;
    qsizetype scopeEnd = selectionOnly ? selEnd : text.doc().size();
    // Inside a selection the whole selection is searched: the caret always stands at its edge.
    qsizetype pos = backward ? scopeEnd : scopeBegin;
    if (fromCaret && !selectionOnly) pos = backward ? selStart : selEnd;

    if (!replace) {
        if (auto m = FindInText(text.doc(), pos, scopeBegin, scopeEnd, pattern, backward)) {
            out.found = true;
            if (backward) text.select(m->start + m->length, m->start);
            else text.select(m->start, m->start + m->length);
        }
    } else {
        editor->beginUndoAction();
        bool all = false;
        qsizetype caret = -1;
        while (auto m = FindInText(text.doc(), pos, scopeBegin, scopeEnd, pattern, backward)) {
            out.found = true;
            const QString found = text.doc().mid(m->start, m->length);
            const QString with = ExpandReplacement(options.ReplaceText, *m, pattern.regex);
            if (found == with) {
                pos = backward ? m->start : m->start + m->length;
                continue;
            }
            if (!all) {
                text.select(m->start, m->start + m->length);
                const ReplaceAnswer answer =
                    confirm ? confirm(editor, text.toBytes(m->start), text.toBytes(m->start + m->length) -
                                                                          text.toBytes(m->start))
                            : ReplaceAnswer::YesToAll;
                if (answer == ReplaceAnswer::Cancel) {
                    out.cancelled = true;
                    break;
                }
                if (answer == ReplaceAnswer::No) {
                    pos = backward ? m->start : m->start + m->length;
                    continue;
                }
                if (answer == ReplaceAnswer::YesToAll) all = true;
            }
            if (all) {
                // The rest in one edit: a large file is not rescanned for every occurrence.
                const qsizetype segBegin = backward ? scopeBegin : m->start;
                const qsizetype segEnd = backward ? m->start + m->length : scopeEnd;
                int count = 0;
                const QString rest =
                    ReplaceAllInText(text.doc(), segBegin, segEnd, pattern, options.ReplaceText, count);
                text.replace(segBegin, segEnd - segBegin, rest);
                out.replaced += count;
                caret = backward ? segBegin : segBegin + rest.size();
                break;
            }
            text.replace(m->start, m->length, with);
            ++out.replaced;
            scopeEnd += with.size() - m->length;
            // Go on past the new text, so a replacement that holds the search text is not found again.
            pos = backward ? m->start : m->start + with.size();
            caret = pos;
        }
        editor->endUndoAction();
        if (caret >= 0) text.select(caret, caret);
    }
    if (!out.found) {
        QApplication::beep();
        const qsizetype at = backward ? selStart : selEnd;
        text.select(at, at);
    }
    return out;
}

namespace {

SearchOutcome searchAndReport(QsciScintilla* editor, bool replace, bool backward, bool fromCaret,
                              const SearchStatus& status, const ConfirmHandler& confirm)
{
    if (status) status(QString());
    const SearchOutcome r = DoSearch(editor, searchOptions(), replace, backward, fromCaret, confirm);
    if (!r.found && !r.cancelled && !r.invalid && status) status(text("stringfnotfound"));
    return r;
}

}  // namespace

SearchOutcome RunSearchDialog(QsciScintilla* editor, bool replace, bool& searchFromCaret, const SearchStatus& status,
                              bool useTextAtCaret, const ConfirmHandler& confirm, QWidget* parent)
{
    if (status) status(QString());
    TTextSearchDialog* dlg =
        replace ? static_cast<TTextSearchDialog*>(TextReplaceDialog(parent)) : TextSearchDialog(parent);
    SearchOptions& o = searchOptions();
    SearchOptions shown = o;
    if (useTextAtCaret && editor) {
        const QString atCaret = TextAtCaret(editor);
        if (!atCaret.isEmpty()) shown.SearchText = atCaret;
    }
    dlg->LoadFrom(shown);
    if (dlg->exec() != QDialog::Accepted) return {};
    dlg->StoreTo(o);
    searchFromCaret = o.FromCaret;
    SearchOutcome r;
    if (!o.SearchText.isEmpty()) {
        r = searchAndReport(editor, replace, o.Backward, searchFromCaret, status, confirm);
        searchFromCaret = true;
    }
    return r;
}

SearchOutcome SearchAgain(QsciScintilla* editor, bool backward, bool searchFromCaret, const SearchStatus& status)
{
    return searchAndReport(editor, false, backward, searchFromCaret, status, AskConfirmReplace);
}

bool SearchAgainEnabled()
{
    return !searchOptions().SearchText.isEmpty();
}

bool ReplaceEnabled(const QsciScintilla* editor)
{
    return SearchAgainEnabled() && editor && !editor->isReadOnly();
}

}  // namespace mvx::tclbench
