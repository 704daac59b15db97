#include "tftcl.h"

#include "restore.h"
#include "tcleditorsettings.h"
#include "link/scriptexec.h"
#include "searchdialogs.h"
#include "tclautocorrect.h"
#include "tclbootscript.h"
#include "tclgathering.h"
#include "tclindent.h"
#include "tclsortftp.h"
#include "tcltelnetpane.h"

#include "app/appearance.h"
#include "core/common.h"
#include "app/dialogs.h"
#include "core/fileutil.h"
#include "core/inifile.h"
#include "app/opendialog.h"
#include "app/language.h"
#include "link/api.h"
#include "linkui/filebrowser.h"
#include "link/remotefiles.h"
#include "link/remotename.h"
#include "link/socketpool.h"
#include "link/telnet.h"
#include "link/transfer.h"
#include "translator/numtext.h"
#include "translator/texts.h"

#include <Qsci/qscilexertcl.h>
#include <Qsci/qscimacro.h>
#include <Qsci/qsciprinter.h>
#include <Qsci/qsciscintilla.h>

#include <QCheckBox>
#include <QCloseEvent>
#include <QContextMenuEvent>
#include <QDateTime>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFileDialog>
#include <QGridLayout>
#include <QGroupBox>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QMouseEvent>
#include <QPainter>
#include <QPageLayout>
#include <QPrintDialog>
#include <QPrinter>
#include <QProcess>
#include <QPushButton>
#include <QSplitter>
#include <QStyle>
#include <QStatusBar>
#include <QTimer>
#include <QTreeWidget>
#include <QVBoxLayout>
#include <QWheelEvent>

#include <algorithm>
#include <array>
#include <cmath>
#include <filesystem>
#include <memory>
#include <fstream>
#include <sstream>

namespace mvx::tclbench {

namespace fs = std::filesystem;

namespace {

// The editor's and the telnet pane's heights at a first opening.
constexpr int kDefaultEditHeight = 440;
constexpr int kTelnetPaneHeight = 110;

const texts::Builtin kTexts[] = {
    {"stringbeforesave", "vous êtes sur le point de faire une sauvegarde"},
    {"stringwhatname", "Sous quel nom ?"},
    {"stringTCLcourt", "Votre script fait moins de 5 lignes... Vous devriez vérifier qu'il s'agit bien d'un script tcl... Continuer?"},
    {"stringdestryTCL", "Vous êtes sur le point de détruire votre script. Continuer?"},
    {"StringEffaceTexte", "Effacer le script en cours ?"},
    {"stringtclboot", "Le script %s sera lancé automatiquement au prochain boot du KVX"},
    {"stringORMIXconfig", "Configuration de l'éditeur de script TCL"},
    {"stringindentation", "indentation"},
    {"Stringnbspaces", "Profondeur d'indentation"},
    {"stringnom", "Nom"},
    {"HeaderNomTCL", "Nom"},
    {"HeadertailleTCL", "taille"},
    {"HeadertypeTCL", "Type"},
    {"HeaderFichiermodifie", "Modifié"},
    {"Headergroupe", "Groupe"},
    {"Headerutilisateur", "Utilisateur"},
    {"Headerattributs", "Attributs"},
    {"stringbackupdelay", "Temps entre deux backups (en secondes):"},
    {"stringkeyboarderror", "Vous avez du faire une erreur de frappe..."},
    {"stringdirectory", "Nom du répertoire:"},
    {"Stringscript", "script"},
    {"stringIntrouvable", "Introuvable"},
    {"StringTclError", "Error"},
    {"string_impossible_creer", "Impossible de créer"},
    {"StringTclCannotLoad", "Impossible de charger"},
    {"StringTclCannotSave", "Impossible de sauvegarder"},
    {"StringTclNotUploaded", "Le fichier n'a pas été transféré dans l'KVX (le fichier de l'KVX est inchangé):"},
    {"StringTclBootFailed", "Le script de boot n'a pas été modifié:"},
    {"Stringremove", "Supprimer"},
    {"Stringimpossibledesupprimer", "Impossible de supprimer"},
    {"StringTclDepthBad", "Profondeur d'indentation invalide (1 à 64):"},
    {"StringTclGatheringNotKept", "Gathering.dat n'a pas été copié:"},
};

std::string T(const char* key) { return texts::get(key); }

TclEditorSettings settings() { return TclEditorSettings(SettingsIni()); }

QString q(const std::string& s) { return QString::fromStdString(s); }

std::string readFileBytes(const std::string& path, bool& ok)
{
    std::ifstream in(path, std::ios::binary);
    ok = bool(in);
    std::ostringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

std::string baseName(const std::string& path)
{
    const auto cut = path.find_last_of("/\\");
    return cut == std::string::npos ? path : path.substr(cut + 1);
}

std::string tclPcDir() { return common().ProgramDir + "TCLPC/"; }

std::string parentRemote(const std::string& dir)
{
    std::string d = dir;
    while (d.size() > 1 && (d.back() == '/' || d.back() == '\\')) d.pop_back();
    const auto cut = d.find_last_of("/\\");
    if (cut == std::string::npos) return d;
    return cut == 0 ? d.substr(0, 1) : d.substr(0, cut);
}

std::string joinRemote(const std::string& dir, const std::string& name)
{
    if (dir.empty()) return name;
    if (dir.back() == '/' || dir.back() == '\\') return dir + name;
    return dir + common().RemotePathSeparator + name;
}

bool sftpModel()
{
    const int m = GetControllerModel();
    return m == ModelD || m == ModelRLD;
}

// The list's folder commands go through the SFTP session for the models that have one.
link::RemoteFiles* modelFiles(link::Controller& controller)
{
    return controller.files(sftpModel() ? TransferSftp : TransferFtp);
}

// Line (0-based) and index of the first `ch` in it, or -1.
int findIn(const QsciScintilla* e, int line, char ch)
{
    const QString text = e->text(line);
    return text.indexOf(QChar(ch));
}

constexpr const char* kFileFilter =
    "Tcl script (*.TCL *.tcl);;Inclu. (*.INC *.inc);;Measures (*.MES *.mes);;Trajectory (*.TRJ *.trj);;"
    "INI files (*.INI *.ini);;All (*)";

// The editor's printout: the script's name in a header, the page number in a footer, both in
// Arial, each 15 mm high inside the page margins.
class TclPrinter : public QsciPrinter {
public:
    TclPrinter(std::string title, std::vector<PrintedPage>& pages)
        : QsciPrinter(QPrinter::HighResolution), mTitle(std::move(title)), mPages(pages)
    {
    }
    void formatPage(QPainter& painter, bool drawing, QRect& area, int pageNumber) override
    {
        const int band = int(std::lround(15.0 * resolution() / 25.4));
        const QRect header(area.left(), area.top(), area.width(), band);
        const QRect footer(area.left(), area.bottom() - band + 1, area.width(), band);
        area.adjust(0, band, 0, -band);
        if (!drawing) return;
        const std::string footerText = "Page " + num::integer(pageNumber);
        painter.save();
        painter.setFont(QFont("Arial", 9));
        painter.drawText(header, Qt::AlignLeft | Qt::AlignVCenter, q(mTitle));
        painter.drawText(footer, Qt::AlignRight | Qt::AlignVCenter, q(footerText));
        painter.restore();
        mPages.push_back({pageNumber, mTitle, footerText});
    }

private:
    std::string mTitle;
    std::vector<PrintedPage>& mPages;
};

}  // namespace

void registerTclEditorTexts()
{
    static bool done = false;
    if (done) return;
    done = true;
    texts::add(texts::Family::Controller, kTexts);
}

TFtcl::TFtcl(QWidget* parent, link::Controller& controller) : QDialog(parent), mController(controller)
{
    registerTclEditorTexts();
    setObjectName("Ftcl");
    setWindowTitle("TCL");
    buildUi();
    buildMenus();
    readSettings();
    mDialogs.open = [this](const std::string& start, bool& readOnly) {
        return OpenFileAskReadOnly(this, start, kFileFilter, readOnly);
    };
    mDialogs.save = [this](const std::string& proposed) {
        QFileDialog dlg(this, QString(), q(proposed),
                        "Tcl script (*.TCL *.tcl);;Inclu. (*.INC *.inc);;All (*)");
        dlg.setAcceptMode(QFileDialog::AcceptSave);
        dlg.setDefaultSuffix("TCL");
        if (dlg.exec() != QDialog::Accepted || dlg.selectedFiles().isEmpty()) return std::string();
        return dlg.selectedFiles().first().toStdString();
    };
    mDialogs.print = [this](QPrinter& printer) {
        QPrintDialog dialog(&printer, this);
        return dialog.exec() == QDialog::Accepted;
    };
    // The PC-side TCL folder; a folder that cannot be made only costs the PC run.
    std::error_code ec;
    fs::create_directories(tclPcDir(), ec);
    if (!fs::is_directory(tclPcDir(), ec)) setPanel(2, T("string_impossible_creer") + "  " + tclPcDir());
    mListBox1->setEnabled(false);
    mMemo1->setEnabled(false);
    for (QWidget* w : std::initializer_list<QWidget*>{mBitBtn2, mBitBtn3, mBitBtn4, mBitBtn1, mEdit6, mEdit7,
                                                      mBitBtn5, mBitBtn10})
        w->setEnabled(false);
    actSearchUpdate();
    RegisterTranslatedWindow(texts::Family::Controller, this);
    resize(1100, 720);
    RememberWindowPosition(this, true);
}

TFtcl::~TFtcl() = default;

void TFtcl::setFileDialogs(TFtclFileDialogs dialogs)
{
    if (dialogs.open) mDialogs.open = std::move(dialogs.open);
    if (dialogs.save) mDialogs.save = std::move(dialogs.save);
    if (dialogs.print) mDialogs.print = std::move(dialogs.print);
}

void TFtcl::buildUi()
{
    auto* top = new QVBoxLayout(this);
    top->setContentsMargins(2, 2, 2, 2);
    auto* split = new QSplitter(Qt::Horizontal, this);
    top->addWidget(split, 1);

    mFilesBox = new QGroupBox("fichiers:", split);
    mFilesBox->setObjectName("GroupBox1");
    auto* fl = new QVBoxLayout(mFilesBox);
    mListBox1 = new QTreeWidget(mFilesBox);
    mListBox1->setObjectName("ListBox1");
    mListBox1->setRootIsDecorated(false);
    mListBox1->setColumnCount(kListColumns);
    // The column titles are messages of the language files; they follow each load.
    auto headers = [this](int) {
        QStringList titles;
        for (const char* key : {"HeaderNomTCL", "HeadertailleTCL", "HeadertypeTCL", "HeaderFichiermodifie",
                                "Headergroupe", "Headerutilisateur", "Headerattributs"})
            titles << q(T(key));
        mListBox1->setHeaderLabels(titles);
    };
    headers(0);
    AddLanguageHook(texts::Family::Controller, this, headers);
    const std::array<int, kListColumns> widths{150, 100, 100, 100, 100, 100, 50};
    for (int i = 0; i < kListColumns; ++i) mListBox1->setColumnWidth(i, widths[std::size_t(i)]);
    mListBox1->header()->setSectionsClickable(false);
    mListBox1->header()->viewport()->installEventFilter(this);
    mListBox1->installEventFilter(this);
    mListBox1->viewport()->installEventFilter(this);
    mListBox1->setStyleSheet("QTreeView::item:selected { background: rgb(10,95,137); color: white; }");
    mListBox1->setContextMenuPolicy(Qt::CustomContextMenu);
    fl->addWidget(mListBox1);
    connect(mListBox1, &QTreeWidget::itemClicked, this, [this](QTreeWidgetItem* item, int) {
        if (item) ListBox1Click(mListBox1->indexOfTopLevelItem(item));
    });
    connect(mListBox1, &QWidget::customContextMenuRequested, this, [this](const QPoint& at) {
        QTreeWidgetItem* item = mListBox1->itemAt(at);
        mListBox1->setCurrentItem(item);
        const std::string name = item ? item->text(0).toStdString() : std::string();
        QMenu menu(this);
        QAction* up = menu.addAction("Remonter");
        QAction* mk = menu.addAction("Créer un répertoire");
        QAction* rm = (!name.empty() && name[0] != '.') ? menu.addAction(q(T("Stringremove"))) : nullptr;
        QAction* chosen = menu.exec(mListBox1->viewport()->mapToGlobal(at));
        if (!chosen) return;
        auto& t = mController.transfer();
        if (chosen == up) {
            mController.changeDir(parentRemote(t.RemoteDir), common().ProgramDir);
            backupIfModified();
            mEditor->clear();
            fillList();
        } else if (chosen == mk) {
            std::string folder;
            if (!InputQueryDialog(T("stringdirectory"), T("stringnom"), folder) || folder.empty()) return;
            if (!link::RemoteNameUsable(folder, {})) {
                ShowMsg(link::RemoteNameRefusedText(folder));
                return;
            }
            const std::string path = joinRemote(t.RemoteDir, folder);
            bool ok = false;
            link::RemoteFiles* files = modelFiles(mController);
            link::RunOffGuiThread([&] { ok = files->makeDir(path); });
            if (!ok && sftpModel()) ShowMsg(files->lastError());
            RelistRemoteDir();
        } else if (chosen == rm) {
            if (MsgDialog(T("Stringremove") + " " + name, 0, MbYes | MbNo) != MrYes) return;
            if (!link::RemoteNameUsable(name, {})) {
                ShowMsg(link::RemoteNameRefusedText(name));
                return;
            }
            const int row = mListBox1->indexOfTopLevelItem(item);
            const bool dir = row >= 0 && std::size_t(row) < mRows.size() && mRows[std::size_t(row)].directory;
            const std::string path = joinRemote(t.RemoteDir, name);
            bool ok = false;
            link::RemoteFiles* files = modelFiles(mController);
            link::RunOffGuiThread([&] { ok = dir ? files->removeDir(path) : files->removeFile(path); });
            if (!ok) ShowMsg(T("Stringimpossibledesupprimer") + " " + name);
            RelistRemoteDir();
        }
    });

    auto* right = new QWidget(split);
    auto* rl = new QVBoxLayout(right);
    rl->setContentsMargins(0, 0, 0, 0);
    auto* vsplit = new QSplitter(Qt::Vertical, right);
    vsplit->setObjectName("EditorSplitter");
    rl->addWidget(vsplit, 1);

    mEditor = new QsciScintilla(vsplit);
    mEditor->setObjectName("SynEdit1");
    mEditor->setUtf8(false);
    mLexer = new QsciLexerTCL(mEditor);
    const QFont font = CodeFont();
    mLexer->setDefaultFont(font);
    mLexer->setFont(font);
    mLexer->setColor(Qt::blue, QsciLexerTCL::Comment);
    mLexer->setColor(Qt::blue, QsciLexerTCL::CommentLine);
    mLexer->setColor(Qt::blue, QsciLexerTCL::CommentBox);
    mLexer->setColor(Qt::blue, QsciLexerTCL::CommentBlock);
    mLexer->setColor(Qt::red, QsciLexerTCL::Number);
    mLexer->setColor(QColor(128, 0, 128), QsciLexerTCL::QuotedString);
    mEditor->setLexer(mLexer);
    mEditor->setAutoIndent(true);
    mEditor->setIndentationsUseTabs(false);
    mEditor->setBackspaceUnindents(true);
    mEditor->setMarginWidth(1, 20);
    new TclAutoCorrect(mEditor);
    // The editor's own pop-up menu ("PopupMenu1") carries the indentation commands.
    mEditor->viewport()->installEventFilter(this);
    mMacro = new QsciMacro(mEditor);
    auto* record = new QAction(mEditor);
    record->setShortcut(QKeySequence("Ctrl+Shift+R"));
    record->setShortcutContext(Qt::WidgetShortcut);
    connect(record, &QAction::triggered, this, [this] {
        if (mRecording) mMacro->endRecording();
        else mMacro->startRecording();
        mRecording = !mRecording;
    });
    auto* play = new QAction(mEditor);
    play->setShortcut(QKeySequence("Ctrl+Shift+P"));
    play->setShortcutContext(Qt::WidgetShortcut);
    connect(play, &QAction::triggered, this, [this] {
        if (!mRecording) mMacro->play();
    });
    mEditor->addAction(record);
    mEditor->addAction(play);
    connect(mEditor, &QsciScintilla::cursorPositionChanged, this, [this](int line, int col) {
        setPanel(0, " " + std::string(6 - std::min<std::size_t>(6, num::integer(line + 1).size()), ' ')
                        + num::integer(line + 1) + ":"
                        + std::string(3 - std::min<std::size_t>(3, num::integer(col + 1).size()), ' ')
                        + num::integer(col + 1) + " ");
    });
    connect(mEditor, &QsciScintilla::textChanged, this, [this] {
        if (!mLoading) setState(" (MODIFIED)");
    });

    auto* controls = new QWidget(vsplit);
    auto* g = new QGridLayout(controls);
    g->setContentsMargins(2, 2, 2, 2);
    auto field = [&](const char* name, const char* label, int row, int col) {
        auto* e = new QLineEdit(controls);
        e->setObjectName(name);
        g->addWidget(new QLabel(label, controls), row, col);
        g->addWidget(e, row + 1, col);
        return e;
    };
    mEdit8 = field("Edit8", "Script", 0, 0);
    mEdit6 = field("Edit6", "Task", 0, 1);
    mEdit6->setText("TASK");
    mEdit1 = field("Edit1", "Arguments", 0, 2);
    mEdit7 = field("Edit7", "Réponse", 0, 3);
    mEdit7->setReadOnly(true);
    mLabel3 = new QLabel(controls);
    mLabel3->setObjectName("Label3");
    g->addWidget(mLabel3, 1, 4);
    auto button = [&](const char* name, const char* text, int row, int col) {
        auto* b = new QPushButton(text, controls);
        b->setObjectName(name);
        g->addWidget(b, row, col);
        return b;
    };
    mBitBtn2 = button("BitBtn2", "&Exécuter", 2, 0);
    mBitBtn1 = button("BitBtn1", "E&xécuter, attendre et afficher une réponse", 2, 1);
    mBitBtn3 = button("BitBtn3", "&Arrêter", 2, 2);
    mBitBtn4 = button("BitBtn4", "&Sauvegarder dans l'KVX", 3, 0);
    mBitBtn5 = button("BitBtn5", "&Effacer", 3, 1);
    mBitBtn10 = button("BitBtn10", "&Bootable", 3, 2);
    mBitBtn7 = button("BitBtn7", "&Relire", 3, 3);
    mBitBtn8 = button("BitBtn8", "&Sauvegarde", 3, 4);
    mBitBtn3->installEventFilter(this);
    connect(mBitBtn2, &QPushButton::clicked, this, [this] { BitBtn2Click(); });
    connect(mBitBtn1, &QPushButton::clicked, this, [this] { BitBtn1Click(); });
    connect(mBitBtn4, &QPushButton::clicked, this, [this] { BitBtn4Click(); });
    connect(mBitBtn5, &QPushButton::clicked, this, [this] { BitBtn5Click(false); });
    connect(mBitBtn10, &QPushButton::clicked, this, [this] { BitBtn10Click(); });
    connect(mBitBtn7, &QPushButton::clicked, this, [this] { BitBtn7Click(); });
    connect(mBitBtn8, &QPushButton::clicked, this, [this] { BitBtn8Click(); });

    mCheckBox3 = new QCheckBox("Afficher le graphique ", controls);
    mCheckBox3->setObjectName("CheckBox3");
    mCheckBox4 = new QCheckBox("Enregistrer gathering.dat", controls);
    mCheckBox4->setObjectName("CheckBox4");
    g->addWidget(mCheckBox3, 2, 3);
    g->addWidget(mCheckBox4, 2, 4);
    connect(mCheckBox3, &QCheckBox::clicked, this, [](bool on) {
        settings().setDisplayGraph(on);
    });
    connect(mCheckBox4, &QCheckBox::clicked, this, [](bool on) {
        settings().setSaveGathering(on);
    });

    mWarning = new QLabel("Warning : KVX-QNX, Don't use \"PUTS STDOUT\" syntax", controls);
    mWarning->setStyleSheet("color: red;");
    mWarning->setVisible(false);
    g->addWidget(mWarning, 4, 0, 1, 2);
    mTty = new QLabel("tty", controls);
    mEdit2 = new QLineEdit(controls);
    mEdit2->setObjectName("Edit2");
    mEdit2->setStyleSheet("color: red;");
    mTty->setVisible(false);
    mEdit2->setVisible(false);
    g->addWidget(mTty, 5, 0);
    g->addWidget(mEdit2, 5, 1);

    mPcBox = new QGroupBox("PC <-> TCL", controls);
    mPcBox->setObjectName("GroupBoxPc");
    auto* pl = new QHBoxLayout(mPcBox);
    mButton1 = new QPushButton("&Exécuter", mPcBox);
    mButton1->setObjectName("Button1");
    mCloseConsole = new QCheckBox("Close console", mPcBox);
    mCloseConsole->setChecked(true);
    mShowConsole = new QCheckBox("Show console", mPcBox);
    pl->addWidget(mButton1);
    pl->addWidget(mCloseConsole);
    pl->addWidget(mShowConsole);
    g->addWidget(mPcBox, 4, 3, 1, 2);
    connect(mButton1, &QPushButton::clicked, this, [this] { Button1Click(); });

    mMemo1 = new TclTelnetPane(vsplit, mController);
    mMemo1->setFont(CodeFont());
    mMemo1->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(mMemo1, &QWidget::customContextMenuRequested, this, [this](const QPoint& at) {
        QMenu menu(this);
        QAction* clear = menu.addAction("Effacer");
        QAction* print = menu.addAction("Imprimer");
        QAction* save = menu.addAction("Sauvegarder");
        QAction* chosen = menu.exec(mMemo1->mapToGlobal(at));
        if (chosen == clear) {
            mMemo1->clear();
        } else if (chosen == print) {
            QPrinter printer;
            printer.setDocName("Dialogue Telnet");
            QPrintDialog dialog(&printer, this);
            if (dialog.exec() == QDialog::Accepted) mMemo1->print(&printer);
        } else if (chosen == save) {
            const QString path = QFileDialog::getSaveFileName(this, "Sauvegarde d'un dialogue Telnet", "telnet.log",
                                                              "Log (*.log);;Texte (*.txt);;Tous (*)");
            if (path.isEmpty()) return;
            std::string error;
            const QByteArray bytes = mMemo1->toPlainText().toLatin1();
            if (!WriteFileAtomic(path.toStdString(), std::string(bytes.constData(), std::size_t(bytes.size())), &error))
                ShowMsg(T("StringTclCannotSave") + " " + path.toStdString() + "§" + error);
        }
    });
    // A taller window is more room for the script; the controls and the telnet pane keep theirs.
    vsplit->setStretchFactor(0, 1);
    vsplit->setStretchFactor(1, 0);
    vsplit->setStretchFactor(2, 0);
    vsplit->setChildrenCollapsible(false);

    // The file list shows its "Nom" column whole at the least, and opens on "Nom" and "taille";
    // the script takes the rest of a wider window.
    const int listChrome = 2 * mListBox1->frameWidth() + style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, mListBox1);
    mListBox1->setMinimumWidth(widths[0] + listChrome);
    split->setObjectName("FilesSplitter");
    split->setChildrenCollapsible(false);
    split->setStretchFactor(0, 0);
    split->setStretchFactor(1, 1);

    mStatus = new QStatusBar(this);
    mStatus->setObjectName("Statusbar");
    const int panelWidths[3] = {150, 250, 50};
    for (int i = 0; i < 3; ++i) {
        mPanels[i] = new QLabel(mStatus);
        mPanels[i]->setMinimumWidth(panelWidths[i]);
        mStatus->addWidget(mPanels[i], i == 2 ? 1 : 0);
    }
    top->addWidget(mStatus);

    mTimer1 = new QTimer(this);
    mTimer1->setObjectName("Timer1");
    connect(mTimer1, &QTimer::timeout, this, [this] { Timer1Timer(); });
}

void TFtcl::buildMenus()
{
    auto* bar = new QMenuBar(this);
    layout()->setMenuBar(bar);
    auto hook = [](const std::function<void()>& f) {
        return [&f] {
            if (f) f();
        };
    };
    QMenu* file = bar->addMenu("&Fichier");
    file->addAction("&Open...", QKeySequence("Ctrl+O"), this, [this] { actFileOpenExecute(); });
    file->addAction("New", this, [this] { NewClick(); });
    mNewTclPc = file->addAction("New TCL PC", this, [this] { NewTCLPC1Click(); });
    file->addAction("Effacer &tout", this, [this] { EffacerToutClick(); });
    file->addAction("Im&primer", this, [this] { ImprimerClick(); });
    bar->addAction("E&diteur", this, [this] {
        bool readOnly = false;
        const std::string path = mDialogs.open(common().ProgramDir, readOnly);
        if (!path.empty() && mHooks.openTextEditor) mHooks.openTextEditor(path);
    });
    QMenu* search = bar->addMenu("&Recherche");
    search->addAction("&Find...", QKeySequence("Ctrl+F"), this, [this] { actSearchExecute(); });
    mFindNextAction = search->addAction("Find &next", QKeySequence("F3"), this, [this] { actSearchNextExecute(); });
    mFindPrevAction =
        search->addAction("Find &previous", QKeySequence("Shift+F3"), this, [this] { actSearchPrevExecute(); });
    mReplaceAction = search->addAction("&Replace...", QKeySequence("Ctrl+H"), this, [this] { actSearchReplaceExecute(); });
    connect(search, &QMenu::aboutToShow, this, [this] { actSearchUpdate(); });
    QMenu* macros = bar->addMenu("&Macros");
    for (const GeneratorItem& item : kGeneratorItems)
        macros->addAction(QString::fromUtf8(item.caption), this, [this, kind = item.kind] {
            if (mHooks.openGenerator) mHooks.openGenerator(kind);
        });
    QMenu* tools = bar->addMenu("&Outils");
    tools->addAction("API &KVX", QKeySequence("Ctrl+Alt+X"), this, [this] {
        if (fs::exists(common().ProgramDir + "ORMIX.API") && mHooks.openApiBrowser) mHooks.openApiBrowser();
    });
    tools->addAction("&Variable", QKeySequence("Ctrl+Alt+V"), this, hook(mHooks.openVariables));
    tools->addAction("Ajouter un fichier ou trouver des variables", this, hook(mHooks.addIncludeFile));
    tools->addAction("Retirer un fichier de la liste", this, hook(mHooks.removeIncludeFile));
    mProcedureAction = tools->addAction("Procedure.inc", this, [this] {
        if (!noApi() && mHooks.openProcedureBuilder) mHooks.openProcedureBuilder();
    });
    mSaveBackupAction = tools->addAction("Sauvegarde", this, hook(mHooks.openBackup));
    // The mirror's scripts folder as the backup wrote it (its case included).
    mRestoreAction = tools->addAction("Restaure", this, [this] {
        if (mHooks.openRestore) mHooks.openRestore(tcl::RestoreStartFolder());
    });
    QMenu* conf = bar->addMenu("&Configuration");
    mLinesAction = conf->addAction("Numéros de &ligne");
    mLinesAction->setCheckable(true);
    connect(mLinesAction, &QAction::triggered, this, [this](bool on) {
        applyLineNumbers();
        settings().setLineNumbers(on);
    });
    mBoldAction = conf->addAction("&Bold syntax");
    mBoldAction->setCheckable(true);
    connect(mBoldAction, &QAction::triggered, this, [this](bool on) {
        applyBold();
        settings().setBoldSyntax(on);
    });
    conf->addAction("Fichier sauvegarde gathering", this, [this] { FichierSauvegardeGatheringClick(); });
    conf->addSeparator();
    conf->addAction("Repertoire de backup automatique", this, [this] { Repertoiredebackupautomatique1Click(); });
    conf->addAction("Timer de backup", this, [this] { Timerdebackup1Click(); });
    mAllowBackups = conf->addAction("Autoriser les backups");
    mAllowBackups->setCheckable(true);
    mAllowBackups->setChecked(true);
    connect(mAllowBackups, &QAction::toggled, this, [this](bool on) {
        if (on) startBackupTimer();
        else mTimer1->stop();
    });
    conf->addSeparator();
    conf->addAction("Profondeur d'indentation", this, [this] { Profondeurdindentation1Click(); });
    mIndentAction = conf->addAction("&Indentation", QKeySequence("Ctrl+Alt+I"), this, [this] { Miseenpage1Click(); });
    mIndentAction->setObjectName("Miseenpage1");
    conf->addAction("Indentation &+", this, [this] { Indentation1Click(); })->setObjectName("Indentation1");
    conf->addAction("Indentation &-", this, [this] { Indentation2Click(); })->setObjectName("Indentation2");
    connect(conf, &QMenu::aboutToShow, this,
            [this] { mIndentAction->setText(q("Indentation (" + num::integer(mIndentDepth) + ")")); });
}

void TFtcl::readSettings()
{
    const TclEditorSettings s = settings();
    mBackupDir = common().ProgramDir;
    if (s.available()) {
        mBackupDir = s.backupDir(mBackupDir);
        mBackupSeconds = s.backupSeconds(double(kDefaultBackupSeconds));
        if (!(mBackupSeconds > 0.0) || mBackupSeconds > 86400.0) mBackupSeconds = kDefaultBackupSeconds;
        const long long nb = s.indentDepth(kDefaultIndentDepth);
        mIndentDepth = (nb >= 0 && nb <= 64) ? int(nb) : kDefaultIndentDepth;
        mLinesAction->setChecked(s.lineNumbers());
        mCheckBox3->setChecked(s.displayGraph());
        mCheckBox4->setChecked(s.saveGathering());
        mBoldAction->setChecked(s.boldSyntax());
    } else {
        mLinesAction->setChecked(true);
        mBoldAction->setChecked(true);
    }
    mTimer1->setInterval(backupPeriodMs());
    const long long editHeight = s.editHeight();
    if (auto* split = findChild<QSplitter*>("EditorSplitter"))
        split->setSizes({editHeight > 0 && editHeight < 10000 ? int(editHeight) : kDefaultEditHeight,
                         split->widget(1)->sizeHint().height(), kTelnetPaneHeight});
    applyLineNumbers();
    applyBold();
}

int TFtcl::backupPeriodMs() const { return int(mBackupSeconds * 1000.0); }
bool TFtcl::backupTimerActive() const { return mTimer1->isActive(); }

void TFtcl::applyLineNumbers()
{
    mEditor->setMarginLineNumbers(0, mLinesAction->isChecked());
    mEditor->setMarginWidth(0, mLinesAction->isChecked() ? QString("00000") : QString());
}

void TFtcl::applyBold()
{
    QFont f = mLexer->font(QsciLexerTCL::Operator);
    f.setBold(mBoldAction->isChecked());
    mLexer->setFont(f, QsciLexerTCL::Operator);
}

bool TFtcl::noApi() const { return common().NoControllerApi.load() != 0; }

std::string TFtcl::editorText() const
{
    const QByteArray bytes = mEditor->text().toLatin1();
    return std::string(bytes.constData(), std::size_t(bytes.size()));
}

void TFtcl::setEditorText(const std::string& text)
{
    backupIfModified();
    mLoading = true;
    mEditor->setText(QString::fromLatin1(text.data(), qsizetype(text.size())));
    mEditor->setModified(false);
    mLoading = false;
}

std::string TFtcl::statusText(int panel) const
{
    return (panel >= 0 && panel < 3) ? mPanels[panel]->text().toStdString() : std::string();
}

std::string TFtcl::answerText() const { return mEdit7->text().toStdString(); }

void TFtcl::setPanel(int panel, const std::string& text) { mPanels[panel]->setText(q(text)); }

void TFtcl::setState(const std::string& suffix) { setPanel(2, common().CurrentScriptName + suffix); }

void TFtcl::setCurrentName(const std::string& name)
{
    common().CurrentScriptName = name;
    mEdit8->setText(q(name));
}

// Text the user changed and that is about to be replaced goes to the next backup file first.
void TFtcl::backupIfModified()
{
    if (!mEditor->isModified() || mEditor->text().isEmpty()) return;
    std::string error;
    if (mBackups.WriteNext(mBackupDir, editorText(), &error) == 0) setPanel(1, error);
    mEditor->setModified(false);
}

bool TFtcl::loadLocalFile(const std::string& path)
{
    bool ok = false;
    const std::string text = readFileBytes(path, ok);
    if (!ok) return false;
    setEditorText(text);
    return true;
}

bool TFtcl::saveLocal(const std::string& path, std::string& error)
{
    if (!WriteFileAtomic(path, editorText(), &error)) return false;
    mEditor->setModified(false);
    return true;
}

void TFtcl::startBackupTimer()
{
    mTimer1->setInterval(backupPeriodMs());
    mTimer1->start();
}

void TFtcl::enableTransferControls(bool busy)
{
    mBusy = busy;
    mListBox1->setEnabled(!busy && !noApi());
    mBitBtn4->setEnabled(!busy && !noApi());
    mBitBtn5->setEnabled(!busy && !noApi());
    mBitBtn10->setEnabled(!busy && !noApi());
}

void TFtcl::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    if (!mFilesWidthSet) {
        // First shown: the file list opens on "Nom" and "taille" when the window has the room.
        mFilesWidthSet = true;
        if (auto* split = findChild<QSplitter*>("FilesSplitter")) {
            const int wanted = mFilesBox->minimumSizeHint().width() + mListBox1->columnWidth(1);
            const int total = split->width() - split->handleWidth();
            const int right = split->widget(1)->minimumSizeHint().width();
            split->setSizes({std::max(std::min(wanted, total - right), 0), std::max(total - wanted, right)});
        }
    }
    FormShow();
}

void TFtcl::closeEvent(QCloseEvent* event)
{
    FormClose();
    QDialog::closeEvent(event);
}

void TFtcl::changeEvent(QEvent* event)
{
    QDialog::changeEvent(event);
    if (event->type() == QEvent::ActivationChange && isActiveWindow()) {
        FormActivate();
        // Another editor may have searched meanwhile (the options are shared).
        actSearchUpdate();
    }
}

void TFtcl::FormShow()
{
    auto& c = common();
    const bool api = !noApi();
    mSaveBackupAction->setEnabled(api);
    mRestoreAction->setEnabled(api);
    mProcedureAction->setEnabled(api);
    if (api) {
        if (!mController.poolOpen()) mController.openPool();
        mTelnetWasOpen = mController.telnetConnected();
        if (!mTelnetWasOpen) mController.connectTelnet();
        if (!mController.transferConnected()) mController.connectTransfer(false);
        enableTransferControls(false);
        const bool sockets = mController.poolOpen();
        for (QWidget* w : std::initializer_list<QWidget*>{mBitBtn1, mBitBtn2, mBitBtn3, mEdit6, mEdit7})
            w->setEnabled(sockets);
        mMemo1->setEnabled(true);
        mController.changeDir(c.RemoteScriptsDir, c.ProgramDir);
        fillList();
        setEditorText({});
    }
    if (!c.CurrentScriptName.empty() && fs::is_regular_file(c.ProgramDir + c.CurrentScriptName)) {
        if (loadLocalFile(c.ProgramDir + c.CurrentScriptName)) setState(" ( FROM PC)");
    }
    const bool qnx = GetControllerModel() != ModelC;
    mWarning->setVisible(qnx);
    mTty->setVisible(qnx);
    mEdit2->setVisible(qnx);
    mFilesBox->setTitle(q(mController.transfer().RemoteDir));
    startBackupTimer();
    FormActivate();
}

void TFtcl::FormClose()
{
    mTimer1->stop();
    if (!mTelnetWasOpen && mController.telnetConnected()) mController.disconnectTelnet();
    settings().setEditHeight(mEditor->height());
}

void TFtcl::fillList()
{
    mListBox1->clear();
    mRows.clear();
    auto& t = mController.transfer();
    const std::string dir = t.RemoteDir;
    link::RemoteFiles* files = mController.sessionFiles();
    if (!dir.empty() && files && files->network()) {
        const int year = QDate::currentDate().year();
        // Filled on the helper thread into a vector of its own: events run meanwhile and may read mRows.
        std::vector<RemoteRow> rows;
        link::RunOffGuiThread([&] {
            if (auto list = files->list(dir)) {
                for (const link::RemoteEntry& e : *list) {
                    if (!e.modifiedSeconds) {
                        rows.push_back(RowFromFtpEntry(e, year));
                        continue;
                    }
                    RemoteRow r;
                    r.name = e.name;
                    r.size = e.size;
                    r.directory = e.directory;
                    r.modified = e.modifiedText;
                    r.sortStamp =
                        QDateTime::fromSecsSinceEpoch(*e.modifiedSeconds).toString("yyyy/MM/dd hh:mm").toStdString();
                    r.attributes = e.attributes;
                    rows.push_back(std::move(r));
                }
            }
        });
        mRows = std::move(rows);
    }
    showRows();
    mFilesBox->setTitle(q(dir));
}

void TFtcl::showRows()
{
    mListBox1->clear();
    for (const RemoteRow& r : mRows) {
        auto* item = new QTreeWidgetItem(mListBox1);
        item->setText(0, q(r.name));
        item->setText(1, q(num::integer(static_cast<long long>(r.size))));
        item->setText(2, r.directory ? "Directory" : "File");
        item->setText(3, q(r.modified));
        item->setText(4, q(r.group));
        item->setText(5, q(r.owner));
        item->setText(6, q(r.attributes));
    }
}

void TFtcl::ShowListing(const std::vector<linkui::BrowserEntry>& entries)
{
    mRows.clear();
    for (const linkui::BrowserEntry& e : entries) {
        RemoteRow r;
        r.name = e.name;
        r.size = e.size;
        r.directory = e.directory;
        r.modified = e.modified;
        r.sortStamp = e.modified;
        // "mm/dd/yyyy hh:mm" sorts as "yyyy/mm/dd hh:mm".
        if (e.modified.size() >= 10 && e.modified[2] == '/' && e.modified[5] == '/')
            r.sortStamp = e.modified.substr(6, 4) + "/" + e.modified.substr(0, 5) + e.modified.substr(10);
        r.group = e.group;
        r.owner = e.user;
        r.attributes = e.attributes;
        mRows.push_back(std::move(r));
    }
    showRows();
    mFilesBox->setTitle(q(mController.transfer().RemoteDir));
}

void TFtcl::RelistRemoteDir()
{
    mController.changeDir(mController.transfer().RemoteDir, common().ProgramDir);
    fillList();
}

void TFtcl::ListBox1Click(int row)
{
    if (noApi() || mBusy) return;
    auto& c = common();
    auto& t = mController.transfer();
    enableTransferControls(true);
    const int mode = c.TransferMode.load();
    if (mode == TransferFtp && !mController.transferConnected()) {
        enableTransferControls(false);
        return;
    }
    if (mRows.empty() || row < 0) {
        enableTransferControls(false);
        return;
    }
    if (std::size_t(row) >= mRows.size()) row = int(mRows.size()) - 1;
    const RemoteRow entry = mRows[std::size_t(row)];
    // A listed name becomes the local copy's name: nothing may lead it out of the program
    // folder or onto one of the program's own files.
    if (!link::RemoteNameUsable(entry.name, entry.directory ? std::string() : c.ProgramDir)) {
        setPanel(2, link::RemoteNameRefusedText(entry.name));
        ShowMsg(link::RemoteNameRefusedText(entry.name));
        enableTransferControls(false);
        return;
    }
    if (!entry.directory) {
        t.LocalDir = c.ProgramDir;
        backupIfModified();
        if (mController.getFile(entry.name, entry.name, false)) {
            setCurrentName(entry.name);
            setEditorText({});
            if (loadLocalFile(c.ProgramDir + entry.name) && mode == TransferFtp) setState(" ( FROM KVX)");
        } else {
            // The editor keeps its text; the local copy is untouched by a failed download.
            setPanel(2, T("StringTclCannotLoad") + " " + entry.name);
            ShowMsg(T("StringTclCannotLoad") + " " + entry.name);
        }
    } else {
        mController.changeDir(joinRemote(t.RemoteDir, entry.name), c.ProgramDir);
        fillList();
        setEditorText({});
    }
    enableTransferControls(false);
    mFilesBox->setTitle(q(t.RemoteDir));
}

void TFtcl::BitBtn4Click()
{
    if (noApi() || mBusy) return;
    auto& c = common();
    auto& t = mController.transfer();
    std::string name = c.CurrentScriptName;
    if (!InputQueryDialog(T("stringbeforesave"), T("stringwhatname"), name)) {
        RelistRemoteDir();
        return;
    }
    name = baseName(name);
    if (!link::RemoteNameUsable(name, c.ProgramDir)) {
        ShowMsg(link::RemoteNameRefusedText(name));
        return;
    }
    if (mEditor->lines() < 5 && MsgDialog(T("stringTCLcourt"), 0, MbYes | MbNo) != MrYes) return;
    setCurrentName(name);
    std::string error;
    if (!saveLocal(c.ProgramDir + name, error)) {
        ShowMsg(T("StringTclCannotSave") + " " + c.ProgramDir + name + "§" + error);
        setState(" (NOT SAVED IN KVX)");
        return;
    }
    enableTransferControls(true);
    const std::string remoteDir = t.RemoteDir.empty() ? c.RemoteScriptsDir : t.RemoteDir;
    const bool ok = mController.changeDir(remoteDir, c.ProgramDir) && mController.putFile(name, name, true);
    enableTransferControls(false);
    if (ok) {
        setState(" (IN KVX)");
    } else {
        setState(" (NOT SAVED IN KVX)");
        ShowMsg(T("StringTclNotUploaded") + "§" + joinRemote(remoteDir, name));
    }
    mController.changeDir(remoteDir, c.ProgramDir);
    fillList();
}

std::string TFtcl::apiPath() const
{
    const auto& c = common();
    return link::ScriptApiPath(mController.transfer().RemoteDir, c.RemoteScriptsDir, c.RemotePathSeparator,
                         c.CurrentScriptName);
}

void TFtcl::BitBtn2Click()
{
    if (noApi()) return;
    const std::string path = apiPath();
    const std::string task = mEdit6->text().toStdString();
    const std::string args = mEdit1->text().toStdString();
    mLabel3->setText(" ");
    mEdit7->setText(" ");
    for (const auto& [what, text, comma] :
         {std::tuple{"script", path, false}, {"task", task, false}, {"arguments", args, true}}) {
        const std::string problem = link::RequestTextProblem(what, text, comma);
        if (!problem.empty()) {
            setPanel(2, problem);
            return;
        }
    }
    int code = 0;
    {
        const link::PooledSocket connection(mController, 2.0, link::PooledSocket::Reply::Take);
        if (!connection) {
            setPanel(2, mController.errorText(-2));
            return;
        }
        code = api::TCLScriptExecute(connection.index(), path, task, args.empty() ? " " : args);
    }
    if (code != 0) setPanel(2, mController.apiErrorText(code));
    else setPanel(2, task + "  (" + common().CurrentScriptName + ") executed");
}

void TFtcl::BitBtn1Click()
{
    common().StopRequested.store(0);
    mLabel3->clear();
    mEdit7->clear();
    mEdit7->repaint();
    if (noApi()) return;
    const std::string path = apiPath();
    const std::string task = mEdit6->text().toStdString();
    std::string args = mEdit1->text().toStdString();
    if (args.empty()) args = " ";
    setPanel(2, task + "  (" + common().CurrentScriptName + ") running");
    QElapsedTimer clock;
    clock.start();
    mBitBtn1->setEnabled(false);
    auto run = mController.scripts().StartAndWait(path, task, args);
    mBitBtn1->setEnabled(true);
    const link::ScriptResult r = run ? run->Snapshot() : link::ScriptResult{};
    if (r.Refused) {
        setPanel(2, r.RefusedWhy);
        return;
    }
    if (r.Finished && r.ErrorCode == 1) {
        const std::string dashes(40, '-');
        mMemo1->appendReceived(dashes + "\r**** " + T("StringTclError") + " 1 ****\r" + r.ScriptAnswer + "\r" + dashes
                               + "\r");
        mEdit7->setText(q(T("StringTclError") + " 1"));
    } else {
        mEdit7->setText(QString::fromLatin1(r.ScriptAnswer.data(), qsizetype(r.ScriptAnswer.size())));
    }
    mEdit7->setToolTip(mEdit7->text());
    setPanel(2, task + "  (" + common().CurrentScriptName + ") executed");
    mLabel3->setText(q(num::integer(clock.elapsed()) + " ms"));
    AfterRunGathering();
}

void TFtcl::AfterRunGathering()
{
    auto& c = common();
    const std::string local = c.ProgramDir + "Gathering.dat";
    if (mCheckBox3->isChecked()) {
        if (mHooks.showGathering) mHooks.showGathering(local);
    }
    if (mCheckBox4->isChecked()) {
        bool fetched = true;
        if (!mCheckBox3->isChecked()) {
            fetched = mController.changeDir(c.RemoteGatheringDir, c.ProgramDir)
                      && mController.getFile("Gathering.dat", "Gathering.dat", true);
            PumpMessage();
        }
        std::string error;
        if (!fetched) {
            setPanel(1, T("StringTclGatheringNotKept") + " " + c.RemoteGatheringDir);
        } else if (fs::is_regular_file(local)) {
            const std::string model = settings().gatheringModel(local);
            if (KeepGatheringFile(local, model, error).empty() && !error.empty())
                setPanel(1, T("StringTclGatheringNotKept") + " " + error);
        }
    }
    if (mCheckBox3->isChecked() || mCheckBox4->isChecked()) {
        mController.changeDir(c.RemoteScriptsDir, c.ProgramDir);
        fillList();
    }
}

void TFtcl::FichierSauvegardeGatheringClick()
{
    const std::string local = common().ProgramDir + "Gathering.dat";
    const std::string current = settings().gatheringModel(local);
    const QString path = QFileDialog::getSaveFileName(this, "Emplacement de sauvegarde", q(current), "*.DAT");
    if (path.isEmpty()) return;
    std::string chosen = path.toStdString();
    if (fs::path(chosen).extension().empty()) chosen += ".DAT";
    settings().setGatheringModel(chosen);
}

void TFtcl::BitBtn3MouseDown(bool alt)
{
    if (noApi()) return;
    common().StopRequested.store(1);
    const std::string task = alt ? std::string("BootScript") : mEdit6->text().toStdString();
    int code = 0;
    {
        const link::PooledSocket connection(mController, 1.0, link::PooledSocket::Reply::Take);
        if (!connection) {
            setPanel(2, mController.errorText(-2));
            return;
        }
        code = api::TCLScriptKill(connection.index(), task);
    }
    if (code != 0) setPanel(2, mController.apiErrorText(code));
    else if (alt) setPanel(2, "BootScript killed");
    else setPanel(2, task + "  (" + common().CurrentScriptName + ") killed");
}

void TFtcl::BitBtn5Click(bool withName)
{
    if (mBusy) return;
    auto& c = common();
    std::string question = T("stringdestryTCL");
    if (withName) question += " " + c.CurrentScriptName;
    if (MsgDialog(question, 0, MbYes | MbNo) != MrYes) return;
    setEditorText({});
    setPanel(2, {});
    if (c.TransferMode.load() == TransferFtp && mController.transferConnected() && !c.CurrentScriptName.empty()) {
        const std::string path = joinRemote(mController.transfer().RemoteDir, c.CurrentScriptName);
        link::RemoteFiles* files = mController.sessionFiles();
        link::RunOffGuiThread([&] { files->removeFile(path); });
        RelistRemoteDir();
    }
}

void TFtcl::BitBtn7Click()
{
    mTimer1->stop();
    bool readOnly = false;
    const std::string path = mDialogs.open(common().ProgramDir, readOnly);
    if (!path.empty()) {
        if (loadLocalFile(path)) {
            setCurrentName(baseName(path));
            setState(" (NOT SAVED IN KVX)");
        } else {
            ShowMsg(T("StringTclCannotLoad") + " " + path);
        }
    }
    startBackupTimer();
}

void TFtcl::actFileOpenExecute()
{
    bool readOnly = false;
    const std::string path = mDialogs.open({}, readOnly);
    if (path.empty()) return;
    if (!loadLocalFile(path)) {
        ShowMsg(T("StringTclCannotLoad") + " " + path);
        return;
    }
    mEditor->setReadOnly(readOnly);
    actSearchUpdate();
    setCurrentName(baseName(path));
    setState(" ( NOT SAVED IN KVX)");
}

void TFtcl::BitBtn8Click()
{
    mTimer1->stop();
    const std::string path = mDialogs.save(common().CurrentScriptName);
    if (!path.empty()) {
        std::string error;
        if (!saveLocal(path, error)) ShowMsg(T("StringTclCannotSave") + " " + path + "§" + error);
    }
    startBackupTimer();
}

void TFtcl::BitBtn10Click()
{
    if (noApi() || mBusy) return;
    auto& c = common();
    const std::string back = mController.transfer().RemoteDir;
    enableTransferControls(true);
    if (!mController.transferConnected() && c.TransferMode.load() == TransferFtp) {
        enableTransferControls(false);
        return;
    }
    if (!sftpModel()) {
        std::string error;
        const std::string name = mEdit8->text().toStdString();
        if (!SetBootScript(mController, c.ProgramDir, name, mEdit1->text().toStdString(), error)) {
            ShowMsg(T("StringTclBootFailed") + "§" + error);
        } else if (c.Debug.load()) {
            std::string msg = T("stringtclboot");
            const auto at = msg.find("%s");
            if (at != std::string::npos) msg.replace(at, 2, c.CurrentScriptName);
            ShowMsg(msg);
        }
    }
    enableTransferControls(false);
    mController.changeDir(back.empty() ? c.RemoteScriptsDir : back, c.ProgramDir);
    fillList();
}

void TFtcl::Timer1Timer()
{
    std::string error;
    if (mBackups.WriteNext(mBackupDir, editorText(), &error) == 0) setPanel(1, error);
}

void TFtcl::Miseenpage1Click()
{
    if (mIndentDepth <= 0) return;
    int line = 0, col = 0;
    mEditor->getCursorPosition(&line, &col);
    const int first = mEditor->firstVisibleLine();
    mEditor->setEnabled(false);
    const std::string before = editorText();
    const std::string after = ReindentText(before, mIndentDepth);
    if (after != before) {
        // One undo step, and the text stays "modified" for the backups.
        mEditor->beginUndoAction();
        mEditor->selectAll();
        mEditor->replaceSelectedText(QString::fromLatin1(after.data(), qsizetype(after.size())));
        mEditor->endUndoAction();
    }
    mEditor->setCursorPosition(std::min(line, mEditor->lines() - 1), col);
    mEditor->setFirstVisibleLine(first);
    mEditor->setEnabled(true);
}

void TFtcl::Indentation1Click()
{
    if (mIndentDepth >= 64) return;
    ++mIndentDepth;
    settings().setIndentDepth(mIndentDepth);
    Miseenpage1Click();
}

void TFtcl::Indentation2Click()
{
    if (mIndentDepth <= 1) return;
    --mIndentDepth;
    settings().setIndentDepth(mIndentDepth);
    Miseenpage1Click();
}

void TFtcl::Profondeurdindentation1Click()
{
    std::string value = num::integer(mIndentDepth);
    if (!InputQueryDialog(T("stringindentation"), T("Stringnbspaces"), value)) return;
    int depth = 0;
    if (!ParseIndentDepth(value, depth)) {
        ShowMsg(T("StringTclDepthBad") + " " + value);
        return;
    }
    mIndentDepth = depth;
    settings().setIndentDepth(mIndentDepth);
    Miseenpage1Click();
}

void TFtcl::Timerdebackup1Click()
{
    std::string value = num::general(mBackupSeconds);
    if (!InputQueryDialog(T("stringORMIXconfig"), T("stringbackupdelay"), value)) return;
    double seconds = 0;
    if (!ParseBackupSeconds(value, seconds)) {
        if (common().Debug.load()) ShowMsg(T("stringkeyboarderror"));
        return;
    }
    mBackupSeconds = seconds;
    settings().setBackupSeconds(seconds);
    mTimer1->setInterval(backupPeriodMs());
}

void TFtcl::Repertoiredebackupautomatique1Click()
{
    std::string value = mBackupDir;
    if (!InputQueryDialog(T("stringORMIXconfig"), T("stringdirectory"), value)) return;
    // The folder is a prefix of the file names: it must end with a separator.
    if (!value.empty() && value.back() != '/' && value.back() != '\\') value += '/';
    mBackupDir = value;
    settings().setBackupDir(value);
}

void TFtcl::PopupMenu1Popup(const QPoint& at)
{
    std::unique_ptr<QMenu> menu(mEditor->createStandardContextMenu());
    if (!menu) menu = std::make_unique<QMenu>();
    menu->setObjectName("PopupMenu1");
    menu->addSeparator();
    menu->addAction(q("Indentation (" + num::integer(mIndentDepth) + ")"), this, [this] { Miseenpage1Click(); });
    menu->addAction("Indentation &+", this, [this] { Indentation1Click(); });
    menu->addAction("Indentation &-", this, [this] { Indentation2Click(); });
    menu->exec(at);
}

void TFtcl::SortByColumn(int column)
{
    if (GetControllerModel() == ModelD || column < 0 || column >= kListColumns) return;
    SortRows(mRows, column, mSortDirection);
    mSortDirection = -mSortDirection;
    showRows();
    mListBox1->clearSelection();
}

void TFtcl::HeaderPress(int x, std::int64_t nowMs)
{
    if (!mHeaderClicks.Press(nowMs)) return;
    std::vector<int> widths;
    for (int i = 0; i < kListColumns; ++i) widths.push_back(mListBox1->header()->sectionSize(i));
    SortByColumn(SectionAt(widths, x));
}

bool TFtcl::eventFilter(QObject* watched, QEvent* event)
{
    try {
        if (watched == mBitBtn3 && event->type() == QEvent::MouseButtonPress) {
            auto* me = static_cast<QMouseEvent*>(event);
            BitBtn3MouseDown(me->modifiers() & Qt::AltModifier);
            return true;
        }
        if (mEditor && watched == mEditor->viewport() && event->type() == QEvent::ContextMenu) {
            PopupMenu1Popup(static_cast<QContextMenuEvent*>(event)->globalPos());
            return true;
        }
        if (watched == mListBox1->header()->viewport() && event->type() == QEvent::MouseButtonPress) {
            auto* me = static_cast<QMouseEvent*>(event);
            HeaderPress(int(me->position().x()), QDateTime::currentMSecsSinceEpoch());
            return true;
        }
        if (watched == mListBox1->viewport() && event->type() == QEvent::Wheel) {
            // Moves the selection only; loading stays a click.
            const int step = static_cast<QWheelEvent*>(event)->angleDelta().y() > 0 ? -1 : 1;
            const int row = std::clamp(mListBox1->indexOfTopLevelItem(mListBox1->currentItem()) + step, 0,
                                       mListBox1->topLevelItemCount() - 1);
            if (QTreeWidgetItem* item = mListBox1->topLevelItem(row)) mListBox1->setCurrentItem(item);
            return true;
        }
        if (watched == mListBox1 && event->type() == QEvent::KeyPress
            && static_cast<QKeyEvent*>(event)->key() == Qt::Key_Delete) {
            BitBtn5Click(true);
            return true;
        }
    } catch (const std::exception& e) {
        ShowMsg(e.what());
        return true;
    }
    return QDialog::eventFilter(watched, event);
}

std::string TFtcl::PcConsoleName() { return "TCL_Console.exe"; }

std::string TFtcl::PcConsoleArguments(bool showConsole, bool closeConsole, const std::string& name)
{
    if (!showConsole) return "0 " + name;
    return std::string(closeConsole ? "0" : "1") + " " + name;
}

void TFtcl::FormActivate()
{
    const bool console = fs::is_regular_file(tclPcDir() + PcConsoleName());
    mButton1->setVisible(console);
    mCloseConsole->setVisible(console);
    mShowConsole->setVisible(console);
    mPcBox->setVisible(console);
    mNewTclPc->setVisible(console && fs::is_regular_file(tclPcDir() + "TCLPC.New"));
}

void TFtcl::Button1Click()
{
    const std::string name = baseName(common().CurrentScriptName);
    const std::string dir = tclPcDir();
    if (name.empty() || !fs::is_regular_file(dir + name)) {
        ShowMsg(T("Stringscript") + " " + name + T("stringIntrouvable"));
        return;
    }
    // The run waits with events dispatched; the button stays off so it cannot start twice.
    mButton1->setEnabled(false);
    QElapsedTimer clock;
    clock.start();
    QProcess process;
    process.setWorkingDirectory(q(dir));
    const std::string args = PcConsoleArguments(mShowConsole->isChecked(), mCloseConsole->isChecked(), name);
    QStringList list = q(args).split(' ', Qt::SkipEmptyParts);
    QEventLoop loop;
    connect(&process, &QProcess::finished, &loop, &QEventLoop::quit);
    connect(&process, &QProcess::errorOccurred, &loop, &QEventLoop::quit);
    process.start(q(dir + PcConsoleName()), list);
    if (process.waitForStarted(5000) && process.state() != QProcess::NotRunning) loop.exec();
    const int code = (process.state() == QProcess::NotRunning && process.exitStatus() == QProcess::NormalExit
                      && process.error() == QProcess::UnknownError)
                         ? process.exitCode()
                         : -1;
    mEdit7->setText(q(num::integer(code)));
    mLabel3->setText(q(num::integer(clock.elapsed()) + " ms"));
    mButton1->setEnabled(true);
}

void TFtcl::EffacerToutClick()
{
    if (MsgDialog(T("StringEffaceTexte"), 0, MbYes | MbNo) != MrYes) return;
    setEditorText({});
    setPanel(2, {});
    setCurrentName("NEW");
}

void TFtcl::NewClick()
{
    setEditorText({});
    const std::string tpl = common().ProgramDir + "TCL.NEW";
    if (fs::is_regular_file(tpl) && loadLocalFile(tpl)) {
        mEditor->setSelection(15, 0, 14, 0);
    }
    mEditor->setFocus();
}

void TFtcl::NewTCLPC1Click()
{
    setEditorText({});
    const std::string tpl = tclPcDir() + "TCLPC.New";
    if (fs::is_regular_file(tpl) && loadLocalFile(tpl)) {
        const QString line = q("TCP_ConnectToServer " + common().ControllerIp + " 5001 $TimeOut socketG\n");
        mEditor->insertAt(line, std::min(6, mEditor->lines()), 0);
        mEditor->setSelection(15, 0, 14, 0);
    }
    mEditor->setFocus();
}

void TFtcl::ImprimerClick()
{
    const std::string title = common().CurrentScriptName;
    std::vector<PrintedPage> pages;
    TclPrinter printer(title, pages);
    printer.setDocName(q(title));
    printer.setPageMargins(QMarginsF(25, 25, 15, 25), QPageLayout::Millimeter);
    if (!mDialogs.print || !mDialogs.print(printer)) return;
    const int tabs = mEditor->tabWidth();
    mEditor->setTabWidth(8);
    printer.printRange(mEditor);
    mEditor->setTabWidth(tabs);
    mLastPrint = std::move(pages);
}

void TFtcl::actSearchUpdate()
{
    mFindNextAction->setEnabled(SearchAgainEnabled());
    mFindPrevAction->setEnabled(SearchAgainEnabled());
    mReplaceAction->setEnabled(ReplaceEnabled(mEditor));
}

void TFtcl::actSearchExecute()
{
    RunSearchDialog(mEditor, false, mSearchFromCaret, [this](const QString& t) { setPanel(1, t.toStdString()); }, false,
                    AskConfirmReplace, this);
    actSearchUpdate();
}

void TFtcl::actSearchReplaceExecute()
{
    if (!ReplaceEnabled(mEditor)) return;
    RunSearchDialog(mEditor, true, mSearchFromCaret, [this](const QString& t) { setPanel(1, t.toStdString()); }, false,
                    AskConfirmReplace, this);
    actSearchUpdate();
}

void TFtcl::actSearchNextExecute()
{
    if (!SearchAgainEnabled()) return;
    SearchAgain(mEditor, false, mSearchFromCaret, [this](const QString& t) { setPanel(1, t.toStdString()); });
}

void TFtcl::actSearchPrevExecute()
{
    if (!SearchAgainEnabled()) return;
    SearchAgain(mEditor, true, mSearchFromCaret, [this](const QString& t) { setPanel(1, t.toStdString()); });
}

void TFtcl::InsertBelowCaretLine(const std::string& lines)
{
    if (lines.empty()) return;
    int y = 0, col = 0;
    mEditor->getCursorPosition(&y, &col);
    const QString block = QString::fromLatin1(lines.data(), qsizetype(lines.size()));
    if (y + 1 >= mEditor->lines()) {
        const QString all = mEditor->text();
        if (!all.isEmpty() && !all.endsWith('\n')) mEditor->append("\n");
        mEditor->append(block);
    } else {
        mEditor->insertAt(block, y + 1, 0);
    }
    mEditor->setCursorPosition(y + 1, 0);
    mEditor->setFocus();
}

void TFtcl::InsertFragment(const std::vector<std::string>& lines, FragmentKind kind)
{
    if (lines.empty()) return;
    int y = 0, col = 0;
    mEditor->getCursorPosition(&y, &col);  // 0-based: the fragment's first line becomes line y + 1
    std::string block;
    for (const std::string& l : lines) block += l + "\n";
    if (y + 1 >= mEditor->lines()) {
        const QString all = mEditor->text();
        if (!all.isEmpty() && !all.endsWith('\n')) mEditor->append("\n");
        mEditor->append(QString::fromLatin1(block.data(), qsizetype(block.size())));
    } else {
        mEditor->insertAt(QString::fromLatin1(block.data(), qsizetype(block.size())), y + 1, 0);
    }
    Miseenpage1Click();
    // Fragment line k (1-based) is editor line y + k (0-based).
    auto at = [&](int k) { return y + k; };
    struct Place {
        int caretLine;  // fragment line, 0: the last
        int findLine;
        char ch;
        int plus;
    };
    Place p{};
    switch (kind) {
    case FragmentKind::Repeat: p = {4, 3, '{', 1}; break;
    case FragmentKind::Delay: p = {2, 1, '#', 1}; break;
    case FragmentKind::TestInput: p = {13, 12, '#', 0}; break;
    case FragmentKind::ChangeOutput: p = {0, 1, '#', 0}; break;
    case FragmentKind::CallProcedure: p = {2, 1, '#', 0}; break;
    case FragmentKind::CallScript: p = {14, 13, '}', 0}; break;
    }
    const int caretLine = at(p.caretLine == 0 ? int(lines.size()) : p.caretLine);
    const int found = findIn(mEditor, at(p.findLine), p.ch);
    // 1-based position + plus, as a 0-based column.
    const int column = std::max(0, found + 1 + p.plus - 1);
    const int lastLine = std::max(0, mEditor->lines() - 1);
    const int cl = std::min(caretLine, lastLine);
    // Anchor at the selection's end, so the caret stays where the table puts it.
    const int el = std::min(cl + 1, lastLine);
    auto clampColumn = [&](int l) { return std::min(column, int(mEditor->text(l).remove('\n').remove('\r').size())); };
    mEditor->setSelection(el, clampColumn(el), cl, clampColumn(cl));
    mEditor->setFocus();
}

}  // namespace mvx::tclbench
