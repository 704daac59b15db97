#include "tclbench/apibrowser.h"

#include "app/appearance.h"
#include "core/common.h"
#include "app/dialogs.h"
#include "app/language.h"
#include "tclbench/procedures.h"

#include <QFileInfo>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTextCursor>
#include <QTextEdit>
#include <QVBoxLayout>

#include <cctype>

namespace mvx::tclbench {

namespace {

// Field names in table order; when a field line holds several, the last one found wins.
constexpr const char* kFieldNames[kApiPaneCount] = {
    "TCL PROTOTYPE", "INPUT PARAMETERS", "OUTPUT PARAMETERS", "RETURN", "INPUT TESTS",
    "DESCRIPTION",   "NOTE",             "API ERRORS",        "SCRIPT TCL",
};
constexpr const char* kPaneLabels[kApiPaneCount] = {
    "Prototype TCL", "Input parameters", "Output parameters", "Return", "Input tests",
    "Description",   "Notes",            "API errors",        "TCL script",
};
constexpr const char* kCallPrefix = "set ErrorCode [catch \"";

bool isWordChar(char c) { return std::isalnum(static_cast<unsigned char>(c)) || c == '_'; }

bool wordAt(const std::string& s, std::size_t i, std::string_view word)
{
    return s.compare(i, word.size(), word) == 0 && (i == 0 || !isWordChar(s[i - 1])) &&
           (i + word.size() >= s.size() || !isWordChar(s[i + word.size()]));
}

// Type names are replaced as whole words only, so a parameter named Setpoint stays whole.
std::string replaceWord(const std::string& s, std::string_view word, std::string_view with)
{
    std::string out;
    for (std::size_t i = 0; i < s.size();) {
        if (wordAt(s, i, word)) {
            out += with;
            i += word.size();
        } else {
            out += s[i++];
        }
    }
    return out;
}

void replaceAll(std::string& s, std::string_view what, std::string_view with)
{
    for (std::size_t p = s.find(what); p != std::string::npos; p = s.find(what, p + with.size()))
        s.replace(p, what.size(), with);
}

}  // namespace

ApiIndex ParseApiIndex(std::string_view text)
{
    ApiIndex index;
    int number = 0;
    for (const std::string& line : SplitTextLines(text)) {
        ++number;
        if (line.empty() || line[0] != '[') continue;
        std::string name = line.substr(1);
        if (const auto close = name.find(']'); close != std::string::npos) name.erase(close);
        index.names.push_back(name);
        index.lines.push_back(number);
    }
    return index;
}

bool CanOpenApiEntry(std::string_view name) { return !name.empty() && name != " " && name[0] != '*'; }

std::string ApiCallText(const std::vector<std::string>& prototype)
{
    // The lines are joined with a blank so that words of two lines never run together.
    std::string s;
    for (const auto& l : prototype) s += (s.empty() ? "" : " ") + l;
    for (char& c : s)
        if (c == '\n' || c == '\r') c = ' ';
    for (std::size_t i = 0; i <= 1 && i < s.size(); ++i)
        if (wordAt(s, i, "int")) {
            s.erase(i, 3);
            break;
        }
    s = replaceWord(s, "int", "$");
    s = replaceWord(s, "double", "$");
    s = replaceWord(s, "char", "");
    s = replaceWord(s, "bool", "$");
    std::string t;
    for (char c : s) {
        if (c == '(' || c == ')') continue;
        t += c == ',' ? ' ' : c;
    }
    for (auto open = t.find('['); open != std::string::npos; open = t.find('[', open)) {
        const auto close = t.find(']', open);
        if (close == std::string::npos) break;
        t.erase(open, close - open + 1);
    }
    for (auto p = t.find("$ "); p != std::string::npos; p = t.find("$ ")) t.erase(p + 1, 1);
    replaceAll(t, "$ *", "");
    replaceAll(t, "$*", "");
    replaceAll(t, "*", "");
    for (auto p = t.find("  "); p != std::string::npos; p = t.find("  ")) t.erase(p, 1);
    return t;
}

ApiSnippet BuildApiSnippet(const std::vector<std::string>& prototype)
{
    const std::string call = ApiCallText(prototype);
    ApiSnippet s;
    s.lines = {
        kCallPrefix + call + "\"]",
        "if {$ErrorCode != 0} \\",
        "     {",
        "     set ErrorCode [catch \"ErrorStringGet $SocketID $ErrorCode ErrorString\"]",
        "     puts \"$ErrorCode : $ErrorString\"",
        "     }",
    };
    const std::size_t prefix = std::string_view(kCallPrefix).size();
    const auto dollar = call.find('$');
    s.blueBegin = prefix + (dollar == std::string::npos ? 0 : dollar);
    s.blueEnd = prefix + call.size();
    return s;
}

std::optional<ApiFunction> ReadApiFunction(std::string_view text, int headerLine)
{
    const Lines lines = SplitTextLines(text);
    if (headerLine < 1 || static_cast<std::size_t>(headerLine) >= lines.size()) return std::nullopt;
    ApiFunction f;
    int pane = PaneScript;
    for (std::size_t i = static_cast<std::size_t>(headerLine); i < lines.size(); ++i) {
        const std::string& line = lines[i];
        if (!line.empty() && line[0] == '[') break;
        std::string kept = line;
        if (!line.empty() && line[0] == '#') {
            const auto eq = line.find('=');
            // The field name is what stands before "=": a text after it never changes the pane.
            const std::string field = Upper(eq == std::string::npos ? line : line.substr(0, eq));
            for (int k = 0; k < kApiPaneCount; ++k)
                if (field.find(kFieldNames[k]) != std::string::npos) pane = k;
            if (eq != std::string::npos) kept = line.substr(eq + 1);
        }
        if (kept.empty()) continue;
        const std::string trimmed = TrimLeft(kept);
        if (trimmed.empty()) {
            if (pane == PaneScript) f.panes[PaneScript].push_back("");
            continue;
        }
        f.panes[static_cast<std::size_t>(pane)].push_back(trimmed);
    }
    if (f.panes[PaneScript].empty() && !f.panes[PanePrototype].empty()) {
        ApiSnippet s = BuildApiSnippet(f.panes[PanePrototype]);
        f.panes[PaneScript] = s.lines;
        f.snippet = std::move(s);
    }
    return f;
}

// ----- TFshowProcedure -----------------------------------------------------------------------

TFshowProcedure::TFshowProcedure(QWidget* parent, InsertText insert) : QDialog(parent), mInsert(std::move(insert))
{
    setObjectName("FshowProcedure");
    setWindowTitle(QString::fromUtf8("Procedure API KVX"));
    auto* layout = new QVBoxLayout(this);
    auto* top = new QHBoxLayout;
    top->addWidget(new QLabel(QString::fromUtf8("Nom"), this));
    mName = new QLineEdit(this);
    mName->setObjectName("Edit1");
    mName->setReadOnly(true);
    top->addWidget(mName);
    layout->addLayout(top);
    auto* grid = new QGridLayout;
    for (int k = 0; k < kApiPaneCount; ++k) {
        auto* label = new QLabel(QString::fromUtf8(kPaneLabels[k]), this);
        QWidget* pane = nullptr;
        if (k == PaneScript) {
            mScript = new QTextEdit(this);
            mScript->setAcceptRichText(true);
            pane = mScript;
        } else {
            auto* memo = new QPlainTextEdit(this);
            memo->setReadOnly(true);
            mMemos[static_cast<std::size_t>(k)] = memo;
            pane = memo;
        }
        pane->setObjectName(QString("Memo%1").arg(k + 1));
        pane->setFont(CodeFont());
        grid->addWidget(label, (k / 3) * 2, k % 3);
        grid->addWidget(pane, (k / 3) * 2 + 1, k % 3);
    }
    layout->addLayout(grid);
    auto* buttons = new QHBoxLayout;
    auto* insertButton = new QPushButton(QString::fromUtf8("Insert"), this);
    insertButton->setObjectName("BitBtn1");
    auto* testButton = new QPushButton(QString::fromUtf8("Insert / test"), this);
    testButton->setObjectName("BitBtn2");
    auto* close = new QPushButton(QString::fromUtf8("Close"), this);
    close->setObjectName("BitBtn3");
    buttons->addWidget(insertButton);
    buttons->addWidget(testButton);
    buttons->addWidget(close);
    layout->addLayout(buttons);
    connect(insertButton, &QPushButton::clicked, this, &TFshowProcedure::InsertClick);
    connect(testButton, &QPushButton::clicked, this, &TFshowProcedure::InsertTestClick);
    connect(close, &QPushButton::clicked, this, &QDialog::accept);
    RememberWindowPosition(this, true);
    RegisterTranslatedWindow(texts::Family::Controller, this);
}

void TFshowProcedure::showEvent(QShowEvent* event) { QDialog::showEvent(event); }

void TFshowProcedure::ShowFunction(const std::string& name, const ApiFunction& function)
{
    mName->setText(QString::fromStdString(name));
    for (int k = 0; k < kApiPaneCount; ++k) {
        QStringList lines;
        for (const auto& l : function.panes[static_cast<std::size_t>(k)]) lines << QString::fromStdString(l);
        if (k == PaneScript)
            mScript->setPlainText(lines.join('\n'));
        else
            mMemos[static_cast<std::size_t>(k)]->setPlainText(lines.join('\n'));
    }
    if (!function.snippet) return;
    // The arguments of the call line in blue (positions are bytes of the UTF-8 line).
    const std::string& first = function.snippet->lines.front();
    const int begin = QString::fromStdString(first.substr(0, function.snippet->blueBegin)).size();
    const int end = QString::fromStdString(first.substr(0, function.snippet->blueEnd)).size();
    QTextCursor cursor(mScript->document());
    cursor.setPosition(begin);
    cursor.setPosition(end, QTextCursor::KeepAnchor);
    QTextCharFormat blue;
    blue.setForeground(Qt::blue);
    cursor.mergeCharFormat(blue);
}

std::string TFshowProcedure::paneText(int pane) const
{
    if (pane < 0 || pane >= kApiPaneCount) return {};
    if (pane == PaneScript) return mScript->toPlainText().toStdString();
    return mMemos[static_cast<std::size_t>(pane)]->toPlainText().toStdString();
}

Lines TFshowProcedure::scriptLines() const
{
    const QString all = mScript->toPlainText();
    if (all.isEmpty()) return {};
    Lines out;
    for (const QString& l : all.split('\n')) out.push_back(l.toStdString());
    return out;
}

void TFshowProcedure::InsertClick()
{
    const Lines lines = scriptLines();
    if (lines.empty() || !mInsert) return;
    mInsert(JoinLines({lines.front()}));
}

void TFshowProcedure::InsertTestClick()
{
    Lines lines = scriptLines();
    if (lines.empty() || !mInsert) return;
    lines.push_back("");
    mInsert(JoinLines(lines));
}

// ----- TFshowAPI -----------------------------------------------------------------------------

TFshowAPI::TFshowAPI(QWidget* parent, TFshowProcedure* viewer, std::string apiPath)
    : QDialog(parent), mViewer(viewer), mPath(std::move(apiPath))
{
    if (mPath.empty()) mPath = common().ProgramDir + kApiFile;
    setObjectName("FshowAPI");
    setWindowTitle(QString::fromUtf8("Liste des fonctions de l'API KVX"));
    auto* layout = new QVBoxLayout(this);
    mList = new QListWidget(this);
    mList->setObjectName("ListBox1");
    layout->addWidget(mList);
    auto* close = new QPushButton(QString::fromUtf8("&Fermer"), this);
    close->setObjectName("BitBtn1");
    layout->addWidget(close);
    connect(close, &QPushButton::clicked, this, &QDialog::accept);
    connect(mList, &QListWidget::itemClicked, this, [this](QListWidgetItem* item) {
        try {
            ListBox1Click(mList->row(item));
        } catch (const std::exception& e) {
            ShowMsg(e.what());
        }
    });
    RememberWindowPosition(this, true);
    RegisterTranslatedWindow(texts::Family::Controller, this);
}

bool TFshowAPI::Available() const { return QFileInfo::exists(QString::fromStdString(mPath)); }

void TFshowAPI::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    FormShow();
}

void TFshowAPI::FormShow()
{
    mList->clear();
    mIndex = ParseApiIndex(ReadLocalFile(mPath).value_or(std::string()));
    for (const auto& n : mIndex.names) mList->addItem(QString::fromStdString(n));
}

bool TFshowAPI::ListBox1Click(int row, bool show)
{
    if (row < 0 || static_cast<std::size_t>(row) >= mIndex.names.size() || !mViewer) return false;
    const std::string& name = mIndex.names[static_cast<std::size_t>(row)];
    if (!CanOpenApiEntry(name)) return false;
    const auto text = ReadLocalFile(mPath);
    if (!text) {
        ShowMsg(mPath);
        return false;
    }
    const auto function = ReadApiFunction(*text, mIndex.lines[static_cast<std::size_t>(row)]);
    if (!function) return false;
    mViewer->ShowFunction(name, *function);
    if (show) mViewer->exec();
    return true;
}

}  // namespace mvx::tclbench
