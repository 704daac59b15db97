#include "tclbench/procedures.h"

#include "app/appearance.h"
#include "core/common.h"
#include "app/dialogs.h"
#include "core/fileutil.h"
#include "app/language.h"
#include "link/remotefiles.h"
#include "link/transfer.h"
#include "translator/texts.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include <filesystem>
#include <fstream>
#include <sstream>

namespace mvx::tclbench {

namespace {

using texts::Builtin;

constexpr Builtin kRows[] = {
    {"stringprocfunctiontrue", "Add a Function true if"},
    {"stringprocisactive", "is  active ?"},
    {"stringprocisinactive", "is  inactive ?"},
    {"stringprocactivate", "Add a Function to activate"},
    {"stringprocdisactivate", "Add a Function to disactivate"},
    {"stringproccreate", "Create a Function"},
    {"stringprocfunctionname", "Function name"},
    {"stringprocexists", " Function already exists"},
    {"stringprocbadname", "Nom refusé (lettres, chiffres et _ seulement) :"},
    {"stringprocnotfetched", "\"Procedure.INC\" n'a pas pu être lu sur le contrôleur : rien n'a été modifié"},
    {"stringprocuploadfailed", "Echec du transfert de \"Procedure.INC\" : le fichier du contrôleur n'a pas changé"},
    {"stringproclocalfailed", "Impossible d'écrire le fichier local"},
    {"stringprocnoblock", "Aucun bloc \"# Name\" pour la procédure"},
    {"StringRepScriptInaccessible", "Répertoire des scripts inaccessible"},
    {"stringtclunsafe", "Texte refusé (caractères non permis en TCL) :"},
};

std::string text(const char* key) { return texts::get(key); }

bool isHeader(const std::string& line)
{
    return line.find('#') != std::string::npos && line.find("Name") != std::string::npos &&
           line.find(':') != std::string::npos;
}

std::string headerName(const std::string& line) { return Trim(line.substr(line.find(':') + 1)); }

bool isProcLine(const std::string& line) { return Upper(TrimLeft(line)).rfind("PROC ", 0) == 0; }

// Raw lines with their line ends, so a rewrite keeps every other byte.
std::vector<std::string> rawLines(std::string_view text)
{
    std::vector<std::string> out;
    std::size_t from = 0;
    while (from < text.size()) {
        std::size_t end = text.find('\n', from);
        end = end == std::string_view::npos ? text.size() : end + 1;
        out.emplace_back(text.substr(from, end - from));
        from = end;
    }
    return out;
}

// Index of the line that closes the body of the procedure starting at `proc`, or nullopt.
std::optional<std::size_t> bodyEnd(const Lines& lines, std::size_t proc, std::size_t limit)
{
    // "proc name {args} {body}": two braced groups, one when the arguments are a bare word.
    std::string rest = TrimLeft(lines[proc]);
    rest = TrimLeft(std::string_view(rest).substr(5));
    const auto afterName = rest.find_first_of(" {");
    const std::string args = afterName == std::string::npos ? std::string() : TrimLeft(rest.substr(afterName));
    const int groups = (!args.empty() && args[0] != '{') ? 1 : 2;
    int depth = 0;
    int closed = 0;
    for (std::size_t i = proc; i < limit; ++i) {
        const std::string& l = lines[i];
        for (std::size_t k = 0; k < l.size(); ++k) {
            if (l[k] == '\\') {
                ++k;
                continue;
            }
            if (l[k] == '{') ++depth;
            if (l[k] == '}' && depth > 0 && --depth == 0 && ++closed == groups) return i;
        }
    }
    return std::nullopt;
}

}  // namespace

void registerProcedureTexts()
{
    static const bool done = [] {
        texts::add(texts::Family::Controller, kRows);
        return true;
    }();
    (void)done;
}

std::optional<std::string> ReadLocalFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    if (!in) return std::nullopt;
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

Lines InputProcedureBlock(std::string_view procedure, std::string_view input, bool active)
{
    const std::string f(procedure), x(input);
    return Lines{
        "",
        "# Name : " + f,
        active ? "# Functions : return 1 If " + x + " is active else return 0"
               : "# Functions : return 0 If " + x + " is active else return 1",
        "# Parameters :  none",
        "",
        "proc " + f + " {}\\",
        "    {",
        "    global SocketID",
        "    global tcl_argv",
        "    global DI_" + x,
        "    global DI_Nb_" + x,
        "    global DI_Sense_" + x,
        "",
        "    set DigitalValue 0",
        "    set Mask [expr 1 << [expr $DI_Nb_" + x + " -1]]",
        "    set ErrorCode [catch \"GPIODigitalGet $SocketID $DI_" + x + " DigitalValue\"]",
        "    if {$ErrorCode != 0} \\",
        "        {",
        "        DisplayErrorAndClose $SocketID $ErrorCode  \"GPIODigitalGet (" + x + ")\"",
        "        set tcl_argv(0) [expr $tcl_argv(0) + 215]",
        "        return $tcl_argv(0)",
        "        }",
        active ? "    if {($DigitalValue  & $Mask) != 0 }\\" : "    if {($DigitalValue  & $Mask) == 0 }\\",
        "        {",
        "        #Test \"" + x + "\" is false",
        "        return $DI_Sense_" + x,
        "        }\\",
        "    else \\",
        "        {",
        "        #Test \"" + x + "\" is true",
        "        return [expr 1 ^ $DI_Sense_" + x + "]",
        "        }",
        "    }",
    };
}

Lines OutputProcedureBlock(std::string_view procedure, std::string_view output, bool activate)
{
    const std::string f(procedure), x(output);
    Lines out{
        "",
        "# Name : " + f,
        "# Functions : activate" + x,
        "# Parameters :  none",
        "",
        "proc " + f + " {}\\",
        "    {",
        "    global SocketID",
        "    global tcl_argv",
        "    global DO_" + x,
        "    global DO_Nb_" + x,
        "    global Close_Delay_" + x,
        "    global DO_Sense_" + x,
        "",
        "    set Mask [expr 1 << [expr $DO_Nb_" + x + " -1]]",
    };
    if (activate) {
        out.push_back("    set Digital_Value [expr $DO_Sense_" + x + " << [expr $DO_Nb_" + x + " -1]]");
    } else {
        out.push_back("    set Digital_Value [expr 1 ^ $DO_Sense_" + x + "]");
        out.push_back("    set Digital_Value [expr $Digital_Value << [expr $DO_Nb_" + x + " -1]]");
    }
    for (std::string l : {
             "    set ErrorCode [catch \"GPIODigitalSet $SocketID $DO_" + x + "  $Mask $Digital_Value \"]",
             std::string("    if {$ErrorCode != 0} \\"),
             std::string("        {"),
             "        DisplayErrorAndClose $SocketID $ErrorCode  \"GPIODigitalSet (" + x + ")\"",
             std::string("        set tcl_argv(0) [expr $tcl_argv(0) + 216]"),
             std::string("        return $tcl_argv(0)"),
             std::string("        }"),
             "     after $Close_Delay_" + x,
             std::string("    }"),
         })
        out.push_back(std::move(l));
    return out;
}

std::vector<std::string> FunctionNames(std::string_view text)
{
    std::vector<std::string> out;
    for (const std::string& line : SplitTextLines(text)) {
        if (!isProcLine(line)) continue;
        std::string name = TrimLeft(line).substr(5);
        if (const auto brace = name.find('{'); brace != std::string::npos) name.erase(brace);
        out.push_back(name);
    }
    return out;
}

ProcedureIo ParseProcedureIo(std::string_view text)
{
    ProcedureIo io;
    const std::string all = Upper(text);
    for (const std::string& raw : SplitTextLines(text)) {
        const std::string line = TrimLeft(raw);
        const std::string up = Upper(line);
        const bool in = up.rfind("SET DI_", 0) == 0;
        const bool out = up.rfind("SET DO_", 0) == 0;
        if (!in && !out) continue;
        std::string name = line.substr(7);
        if (const auto blank = name.find_first_of(" \t"); blank != std::string::npos) name.erase(blank);
        const std::string upName = Upper(name);
        if (upName.find("NB_") != std::string::npos || upName.find("SENSE_") != std::string::npos) continue;
        if (!IsTclName(name)) continue;
        const std::string kind = in ? "SET DI_" : "SET DO_";
        if (all.find(kind + "NB_" + upName) == std::string::npos ||
            all.find(kind + "SENSE_" + upName) == std::string::npos)
            continue;
        // The output procedure waits $Close_Delay_<x>: without that variable it could only fail.
        if (out && all.find("SET CLOSE_DELAY_" + upName) == std::string::npos) continue;
        auto& list = in ? io.inputs : io.outputs;
        bool seen = false;
        for (const auto& n : list) seen = seen || n == name;
        if (!seen) list.push_back(name);
    }
    return io;
}

std::optional<BlockRange> FindProcedureBlock(const Lines& lines, std::string_view nameView)
{
    const std::string name = Upper(Trim(nameView));
    if (name.empty()) return std::nullopt;
    std::size_t h = 0;
    while (h < lines.size() && !(isHeader(lines[h]) && Upper(headerName(lines[h])) == name)) ++h;
    if (h == lines.size()) return std::nullopt;
    std::size_t next = h + 1;
    while (next < lines.size() && !isHeader(lines[next])) ++next;
    BlockRange r;
    r.first = (h > 0 && Trim(lines[h - 1]).empty()) ? h - 1 : h;
    std::optional<std::size_t> end;
    for (std::size_t i = h + 1; i < next && !end; ++i)
        if (isProcLine(lines[i])) end = bodyEnd(lines, i, next);
    if (end) {
        r.last = *end;
    } else {
        // No closed procedure body: up to the next block, whose leading empty line stays.
        r.last = next - 1;
        if (next < lines.size() && r.last > h && Trim(lines[r.last]).empty()) --r.last;
    }
    return r;
}

std::string AppendLines(std::string_view text, const Lines& block)
{
    const std::string eol = text.find("\r\n") != std::string_view::npos ? "\r\n" : "\n";
    std::string out(text);
    if (!out.empty() && out.back() != '\n') out += eol;
    for (const auto& l : block) out += l + eol;
    return out;
}

std::string RemoveLines(std::string_view text, BlockRange range)
{
    const auto raw = rawLines(text);
    std::string out;
    for (std::size_t i = 0; i < raw.size(); ++i)
        if (i < range.first || i > range.last) out += raw[i];
    return out;
}

// ----- TFsupprime ----------------------------------------------------------------------------

TFsupprime::TFsupprime(QWidget* parent) : QDialog(parent)
{
    setObjectName("Fsupprime");
    setWindowTitle(QString::fromUtf8("Supprimer une partie du fichier"));
    auto* layout = new QVBoxLayout(this);
    auto* label = new QLabel(QString::fromUtf8("Voulez-Vous supprimer cette partie du fichier ?"), this);
    label->setObjectName("Label1");
    layout->addWidget(label);
    mMemo = new QPlainTextEdit(this);
    mMemo->setObjectName("Memo1");
    mMemo->setReadOnly(true);
    mMemo->setFont(CodeFont());
    layout->addWidget(mMemo);
    auto* buttons = new QHBoxLayout;
    auto* yes = new QPushButton(QString::fromUtf8("Yes"), this);
    yes->setObjectName("BitBtn1");
    auto* no = new QPushButton(QString::fromUtf8("No"), this);
    no->setObjectName("BitBtn2");
    buttons->addWidget(yes);
    buttons->addWidget(no);
    layout->addLayout(buttons);
    connect(yes, &QPushButton::clicked, this, &QDialog::accept);
    connect(no, &QPushButton::clicked, this, &QDialog::reject);
    RememberWindowPosition(this, false);
    RegisterTranslatedWindow(texts::Family::Controller, this);
}

bool TFsupprime::Ask(const Lines& block)
{
    QStringList lines;
    for (const auto& l : block) lines << QString::fromStdString(l);
    mMemo->setPlainText(lines.join('\n'));
    return exec() == QDialog::Accepted;
}

// ----- TFProcedures --------------------------------------------------------------------------

TFProcedures::TFProcedures(QWidget* parent, link::Controller& controller) : QDialog(parent), mController(controller)
{
    registerProcedureTexts();
    setObjectName("FProcedures");
    setWindowTitle(QString::fromUtf8("\"procedures.inc\" automatic create"));
    auto* layout = new QVBoxLayout(this);
    auto* lists = new QHBoxLayout;
    auto column = [&](const char* caption, const char* name, QListWidget*& list) {
        auto* box = new QVBoxLayout;
        box->addWidget(new QLabel(QString::fromUtf8(caption), this));
        list = new QListWidget(this);
        list->setObjectName(name);
        box->addWidget(list);
        lists->addLayout(box);
    };
    column("Inputs", "ListBox1", mInputs);
    column("Outputs", "ListBox2", mOutputs);
    column("Functions", "ListBox3", mFunctions);
    layout->addLayout(lists);
    mLabel1 = new QLabel(QString::fromUtf8("File \"procedures.inc\" not found"), this);
    mLabel1->setObjectName("Label1");
    mLabel2 = new QLabel(QString::fromUtf8("File \"IO.inc\" not found"), this);
    mLabel2->setObjectName("Label2");
    layout->addWidget(mLabel1);
    layout->addWidget(mLabel2);
    auto* close = new QPushButton(QString::fromUtf8("Close"), this);
    close->setObjectName("BitBtn1");
    layout->addWidget(close);
    connect(close, &QPushButton::clicked, this, &QDialog::accept);
    connect(mInputs, &QListWidget::itemDoubleClicked, this, [this](QListWidgetItem* i) { ListBox1DblClick(mInputs->row(i)); });
    connect(mOutputs, &QListWidget::itemDoubleClicked, this, [this](QListWidgetItem* i) { ListBox2DblClick(mOutputs->row(i)); });
    connect(mFunctions, &QListWidget::itemDoubleClicked, this,
            [this](QListWidgetItem* i) { ListBox3DblClick(mFunctions->row(i)); });
    mSupprime = new TFsupprime(this);
    mConfirm = [this](const Lines& block) { return mSupprime->Ask(block); };
    RememberWindowPosition(this, false);
    RegisterTranslatedWindow(texts::Family::Controller, this);
}

bool TFProcedures::procedureFileMissing() const { return !mLabel1->isHidden(); }
bool TFProcedures::ioFileMissing() const { return !mLabel2->isHidden(); }

void TFProcedures::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    try {
        FormShow();
    } catch (const std::exception& e) {
        ShowMsg(e.what());
    }
}

void TFProcedures::FormShow()
{
    auto& c = common();
    const std::string dir = c.ProgramDir;
    mInputs->clear();
    mOutputs->clear();
    mFunctions->clear();
    mLabel1->show();
    mIncState = IncState::Unknown;

    // Procedure.INC: fetched, or known to be absent (then a new file starts empty).
    if (mController.changeDir(c.RemoteScriptsDir, dir)) {
        bool listed = false;
        for (const auto& n : mController.transfer().RemoteListing) listed = listed || n == kProcedureFile;
        if (listed && mController.getFile(kProcedureFile, kProcedureFile, true)) {
            mIncState = IncState::Fetched;
        } else if (!listed && mController.sessionCopiesFiles()) {
            mIncState = IncState::Absent;
            mController.disconnectTransfer();
        } else {
            mController.disconnectTransfer();
        }
    } else {
        mController.disconnectTransfer();
    }
    if (mIncState == IncState::Fetched) {
        mLabel1->hide();
        if (auto textIn = ReadLocalFile(dir + kProcedureFile))
            for (const auto& n : FunctionNames(*textIn)) mFunctions->addItem(QString::fromStdString(n));
    }

    // IO.INC, looked up without regard to case.
    mLabel2->hide();
    bool ioFetched = false;
    if (mController.changeDir(c.RemoteScriptsDir, dir)) {
        std::string remoteName;
        for (const auto& n : mController.transfer().RemoteListing)
            if (Upper(n) == kIoFile) remoteName = n;
        if (!remoteName.empty()) ioFetched = mController.getFile(remoteName, kIoFile, true);
    }
    if (!ioFetched) {
        mLabel2->show();
        mController.disconnectTransfer();
        return;
    }
    if (auto io = ReadLocalFile(dir + kIoFile)) {
        const ProcedureIo lists = ParseProcedureIo(*io);
        for (const auto& n : lists.inputs) mInputs->addItem(QString::fromStdString(n));
        for (const auto& n : lists.outputs) mOutputs->addItem(QString::fromStdString(n));
    }
}

void TFProcedures::ListBox1DblClick(int row)
{
    if (row < 0 || row >= mInputs->count()) return;
    newProcedure(mInputs->item(row)->text().toStdString(), true);
}

void TFProcedures::ListBox2DblClick(int row)
{
    if (row < 0 || row >= mOutputs->count()) return;
    newProcedure(mOutputs->item(row)->text().toStdString(), false);
}

bool TFProcedures::nameTaken(const std::string& name) const
{
    // Names read from the file keep a trailing blank: compare without it.
    for (int i = 0; i < mFunctions->count(); ++i)
        if (Upper(Trim(mFunctions->item(i)->text().toStdString())) == Upper(name)) return true;
    return false;
}

void TFProcedures::newProcedure(const std::string& x, bool input)
{
    bool first = false;
    std::string proposed;
    if (input) {
        const std::string ask = text("stringprocfunctiontrue") + " " + x;
        if (MsgDialog(ask + text("stringprocisactive"), 3, MbYes | MbNo) == MrYes) {
            first = true;
            proposed = x + "_is_active";
        } else if (MsgDialog(ask + text("stringprocisinactive"), 3, MbYes | MbNo) == MrYes) {
            proposed = x + "_is_not_active";
        } else {
            return;
        }
    } else {
        if (MsgDialog(text("stringprocactivate") + " " + x, 3, MbYes | MbNo) == MrYes) {
            first = true;
            proposed = "Activate_" + x;
        } else if (MsgDialog(text("stringprocdisactivate") + "  " + x, 3, MbYes | MbNo) == MrYes) {
            proposed = "Desactivate_" + x;
        } else {
            return;
        }
    }
    std::string f = proposed;
    if (!InputQueryDialog(text("stringproccreate"), text("stringprocfunctionname"), f)) return;
    f = Trim(f);
    if (!IsTclName(f)) {
        ShowMsg(text("stringprocbadname") + " " + f);
        return;
    }
    if (nameTaken(f)) {
        ShowMsg(f + text("stringprocexists"));
        return;
    }
    const std::string path = common().ProgramDir + kProcedureFile;
    std::string before;
    bool existed = false;
    if (mIncState == IncState::Fetched) {
        auto current = ReadLocalFile(path);
        if (!current) {
            ShowMsg(text("stringprocnotfetched"));
            return;
        }
        before = *current;
        existed = true;
    } else if (mIncState == IncState::Unknown) {
        ShowMsg(text("stringprocnotfetched"));
        return;
    } else if (auto stale = ReadLocalFile(path)) {
        // The controller has none: the old local copy is kept as the file's previous state.
        before = *stale;
        existed = true;
    }
    const Lines block = input ? InputProcedureBlock(f, x, first) : OutputProcedureBlock(f, x, first);
    const std::string base = mIncState == IncState::Fetched ? before : std::string();
    if (!commit(before, existed, AppendLines(base, block))) return;
    mIncState = IncState::Fetched;
    mLabel1->hide();
    mFunctions->addItem(QString::fromStdString(f));
}

void TFProcedures::ListBox3DblClick(int row)
{
    if (row < 0 || row >= mFunctions->count()) return;
    const std::string name = RemoveBlanks(mFunctions->item(row)->text().toStdString());
    const std::string dir = common().ProgramDir;
    auto current = ReadLocalFile(dir + kProcedureFile);
    if (!current) return;
    if (mIncState != IncState::Fetched) {
        ShowMsg(text("stringprocnotfetched"));
        return;
    }
    const Lines lines = SplitTextLines(*current);
    const auto range = FindProcedureBlock(lines, name);
    if (!range) {
        ShowMsg(text("stringprocnoblock") + " " + name);
        return;
    }
    const Lines shown(lines.begin() + static_cast<std::ptrdiff_t>(range->first),
                      lines.begin() + static_cast<std::ptrdiff_t>(range->last) + 1);
    if (!mConfirm || !mConfirm(shown)) return;
    // The file as it was goes to Procedure.OLD; Procedure.INC is never missing meanwhile.
    std::string error;
    if (!WriteFileAtomic(dir + kProcedureOldFile, *current, &error)) {
        ShowMsg(text("stringproclocalfailed") + " " + kProcedureOldFile + " : " + error);
        return;
    }
    if (!commit(*current, true, RemoveLines(*current, *range))) return;
    delete mFunctions->takeItem(row);
}

bool TFProcedures::commit(const std::string& before, bool existedBefore, const std::string& after)
{
    auto& c = common();
    const std::string path = c.ProgramDir + kProcedureFile;
    std::string error;
    if (!WriteFileAtomic(path, after, &error)) {
        ShowMsg(text("stringproclocalfailed") + " " + kProcedureFile + " : " + error);
        return false;
    }
    const bool sent = mController.changeDir(c.RemoteScriptsDir, c.ProgramDir) &&
                      mController.putFile(kProcedureFile, kProcedureFile, true);
    if (sent) return true;
    mController.disconnectTransfer();
    // The local copy goes back to what the controller still holds.
    if (existedBefore) {
        WriteFileAtomic(path, before);
    } else {
        std::error_code ignored;
        std::filesystem::remove(path, ignored);
    }
    ShowMsg(text("stringprocuploadfailed"));
    return false;
}

}  // namespace mvx::tclbench
