#include "filebrowser.h"

#include "link/ftp.h"
#include "link/linktexts.h"
#include "link/reboot.h"
#include "linkui/linkreporter.h"
#include "link/remotefiles.h"
#include "link/remotename.h"
#include "link/transfer.h"

#include "app/appearance.h"
#include "core/common.h"
#include "app/dialogs.h"
#include "core/fileutil.h"
#include "core/inifile.h"
#include "app/opendialog.h"
#include "app/language.h"
#include "translator/numtext.h"
#include "translator/texts.h"

#include <QApplication>
#include <QCheckBox>
#include <QDate>
#include <QElapsedTimer>
#include <QFileDialog>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QMenu>
#include <QPlainTextEdit>
#include <QPointer>
#include <QProgressBar>
#include <QPushButton>
#include <QSplitter>
#include <QTextCursor>
#include <QTimer>
#include <QToolBar>
#include <QTreeWidget>
#include <QVBoxLayout>

#include <Qsci/qsciscintilla.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <optional>
#include <utility>
#include <sstream>

namespace mvx::linkui {

using namespace mvx::link;

namespace {

namespace fs = std::filesystem;
using texts::Builtin;

constexpr Builtin kRows[] = {
    {"StringBrowserNotAvailable", "Fonction non disponible avec ce type d'KVX"},
    {"String_ftp_kvx_input_upload", "Load File in KVX"},
    {"String_ftp_kvx_input_filename", "Name of file?"},
    {"StringDelete", "Delete"},
    {"stringdirectory", "Nom du répertoire:"},
    {"stringnom", "Nom"},
    {"StringBrowserListFailed", "Dossier du KVX inaccessible :"},
    {"StringBrowserDeleteFailed", "Suppression impossible :"},
    {"StringBrowserMkdirFailed", "Création impossible :"},
    {"StringBrowserSaveFailed", "Enregistrement impossible :"},
    {"StringBrowserReadFailed", "Lecture impossible :"},
    {"StringBrowserBuildingList", "Création de la liste des fichiers de l'KVX"},
};

std::string text(const char* key)
{
    registerBrowserTexts();
    return texts::get(key);
}

TFNClientFTP* gBrowser = nullptr;

constexpr int kWashLines = 10;
// How long the session's replies gather before the memo shows them.
constexpr int kStatusBatchMs = 20;
constexpr int kMaxSubfolders = 255;
constexpr int kMaxDepth = 32;

std::string joinRemote(const std::string& dir, const std::string& name)
{
    if (dir.empty()) return name;
    if (dir.back() == '/' || dir.back() == '\\') return dir + name;
    return dir + common().RemotePathSeparator + name;
}

std::string upper(std::string s)
{
    for (char& ch : s)
        if (ch >= 'a' && ch <= 'z') ch = static_cast<char>(ch - 32);
    return s;
}

std::string pad2(long long v)
{
    std::string s = num::integer(v);
    return s.size() < 2 ? std::string(2 - s.size(), ' ') + s : s;
}

std::string zero2(int v)
{
    std::string s = num::integer(v);
    return s.size() < 2 ? "0" + s : s;
}

bool readFile(const std::string& path, std::string& out)
{
    std::ifstream in(path, std::ios::binary);
    if (!in) return false;
    std::ostringstream s;
    s << in.rdbuf();
    out = s.str();
    return true;
}

// A listed entry as the list shows it: an FTP listing's date with the year filled in.
BrowserEntry browserEntry(const RemoteEntry& e, int year)
{
    return {e.name, e.directory, e.link, e.size,
            e.listedDate.empty() ? e.modifiedText : FtpDateText(e.listedDate, year), {}, {}, e.attributes};
}

}  // namespace

std::string ParentFolder(const std::string& remoteDir)
{
    const auto pos = remoteDir.find_last_of("/\\");
    if (pos == std::string::npos) return remoteDir;
    return remoteDir.substr(0, pos + 1);
}

std::string StripTrailingSeparators(const std::string& folder)
{
    std::string f = folder;
    while (f.size() > 1 && (f.back() == '/' || f.back() == '\\')) f.pop_back();
    return f;
}

std::string FtpDateText(const std::string& listed, int currentYear)
{
    static const char* const kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                          "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    std::istringstream in(listed);
    std::string mon, day, third;
    if (!(in >> mon >> day >> third)) return listed;
    int month = 0;
    for (int i = 0; i < 12; ++i)
        if (mon == kMonths[i]) month = i + 1;
    const auto d = num::parseStrict(day);
    if (month == 0 || !d) return listed;
    std::string year = num::integer(currentYear), time = "00:00";
    if (third.find(':') != std::string::npos)
        time = third.size() == 4 ? "0" + third : third;
    else
        year = third;
    return zero2(month) + "/" + zero2(static_cast<int>(*d)) + "/" + year + " " + time;
}

int TransferBarMaximum(std::uint64_t announced)
{
    // The bar counts in an int: sizes past its range are clipped.
    if (announced == 0) return 2147483646;
    return static_cast<int>(std::min<std::uint64_t>(announced, 2147483646));
}

std::string TransferProgressText(bool reading, std::uint64_t done, std::uint64_t maximum, double elapsedSeconds)
{
    double speed = 0.0;
    if (elapsedSeconds > 0) speed = static_cast<double>(done) / 1024.0 / elapsedSeconds;
    std::string remaining;
    if (speed > 0) {
        const double left = maximum > done ? static_cast<double>(maximum - done) : 0.0;
        const long long secs = std::llround(left / 1024.0 / speed);
        remaining = "Time remaining " + pad2(secs / 3600) + ":" + pad2(secs / 60 % 60) + ":" + pad2(secs % 60);
    }
    return std::string(reading ? "Download speed " : "Uploade speed ") + num::fixed(speed, 2) + " KB/s" + "; " +
           remaining;
}

std::string CompactText(const std::string& textIn)
{
    std::string out;
    bool pendingEmpty = false;
    std::istringstream in(textIn);
    std::string line;
    while (std::getline(in, line)) {
        std::replace(line.begin(), line.end(), '\t', ' ');
        const auto b = line.find_first_not_of(" \r");
        if (b == std::string::npos) {
            pendingEmpty = true;
            continue;
        }
        line = line.substr(b, line.find_last_not_of(" \r") - b + 1);
        if (line[0] == '[' && pendingEmpty && !out.empty()) out += "\n";
        pendingEmpty = false;
        out += line + "\n";
    }
    return out;
}

TFNClientFTP* FileBrowser() { return gBrowser; }

struct TFNClientFTP::StatusFeed {
    std::mutex mutex;
    std::vector<std::optional<std::string>> items;  // a reply, or nullopt for the session's end
    bool queued = false;
    // True when the window is to be told (the first item since it last took them).
    bool add(std::optional<std::string> item)
    {
        std::lock_guard lock(mutex);
        items.push_back(std::move(item));
        return !std::exchange(queued, true);
    }
    std::vector<std::optional<std::string>> take()
    {
        std::lock_guard lock(mutex);
        queued = false;
        return std::exchange(items, {});
    }
};

TFNClientFTP::TFNClientFTP(QWidget* parent, link::Controller& controller) : QDialog(parent), mController(controller)
{
    registerBrowserTexts();
    setObjectName("FNClientFTP");
    setWindowTitle("FTP Client");
    gBrowser = this;

    auto* top = new QVBoxLayout(this);
    auto* tools = new QToolBar(this);
    QAction* open = tools->addAction("Open");
    open->setObjectName("tbtnFileOpen");
    QAction* search = tools->addAction("Search");
    search->setObjectName("tbtnSearch");
    QAction* next = tools->addAction("Search next");
    next->setObjectName("tbtnSearchReplace");
    QAction* prev = tools->addAction("Search previous");
    prev->setObjectName("ToolButton1");
    QAction* replace = tools->addAction("Replace");
    replace->setObjectName("ToolButton4");
    top->addWidget(tools);

    mLabel3 = new QLabel(this);
    mLabel3->setObjectName("Label3");
    top->addWidget(mLabel3);

    auto* split = new QSplitter(Qt::Vertical, this);
    mFilesBox = new QGroupBox("Files", split);
    mFilesBox->setObjectName("GroupBox1");
    auto* boxLayout = new QVBoxLayout(mFilesBox);
    mList = new QTreeWidget(mFilesBox);
    mList->setObjectName("ListBox1");
    mList->setHeaderLabels({"Name", "Size", "Type", "Modify", "Group", "user", "Attributes"});
    mList->setRootIsDecorated(false);
    mList->setContextMenuPolicy(Qt::CustomContextMenu);
    boxLayout->addWidget(mList);
    mEditor = new QsciScintilla(split);
    mEditor->setObjectName("SynEdit1");
    mEditor->setUtf8(true);
    mEditor->setFont(CodeFont());
    mEditor->installEventFilter(this);
    top->addWidget(split, 1);

    auto* statusRow = new QHBoxLayout;
    mStatus = new QPlainTextEdit(this);
    mStatus->setObjectName("RichEdit3");
    mStatus->setReadOnly(true);
    mStatus->setMaximumHeight(90);
    mStatus->setPlaceholderText("Etat du serveur");
    statusRow->addWidget(mStatus, 1);
    mWashing = new QCheckBox("Automatic washing", this);
    mWashing->setObjectName("CheckBox1");
    mWashing->setChecked(true);
    statusRow->addWidget(mWashing);
    top->addLayout(statusRow);

    mTransferBar = new QProgressBar(this);
    mTransferBar->setObjectName("ProgressBar1");
    mTransferBar->setValue(0);
    top->addWidget(mTransferBar);
    mRebootBar = new QProgressBar(this);
    mRebootBar->setObjectName("ProgressBar2");
    mRebootBar->setRange(0, 100);
    mRebootBar->setVisible(false);
    top->addWidget(mRebootBar);

    auto* buttons = new QHBoxLayout;
    auto addButton = [&](const char* name, const char* caption, auto handler) {
        auto* b = new QPushButton(caption, this);
        b->setObjectName(name);
        b->setAutoDefault(false);
        connect(b, &QPushButton::clicked, this, handler);
        buttons->addWidget(b);
    };
    addButton("BitBtnConfig", "Config files", [this] { ConfigFilesClick(); });
    addButton("BitBtnTrajectories", "Trajectories", [this] { TrajectoriesClick(); });
    addButton("BitBtnMesures", "Mesures && Log", [this] { MesuresClick(); });
    addButton("BitBtnReadPC", "Read from PC", [this] { ReadFromPcClick(); });
    addButton("BitBtnSavePC", "Save to PC", [this] { SaveToPcClick(); });
    addButton("BitBtnSaveKVX", "Save in KVX", [this] { SaveInKvxClick(); });
    addButton("BitBtnReset", "Reset KVX", [this] { ResetKvxClick(); });
    addButton("BitBtnClose", "Close", [this] { close(); });
    top->addLayout(buttons);

    auto guard = [](auto f) {
        return [f] {
            try {
                f();
            } catch (const std::exception& e) {
                ShowMsg(e.what());
            }
        };
    };
    connect(mList, &QTreeWidget::itemClicked, this, [this, guard](QTreeWidgetItem* item, int) {
        const int row = mList->indexOfTopLevelItem(item);
        guard([this, row] { ListBox1Click(row); })();
    });
    connect(open, &QAction::triggered, this, [this] { FileOpenClick(); });
    connect(search, &QAction::triggered, this, [this] { SearchClick(); });
    connect(next, &QAction::triggered, this, [this] { SearchAgain(false); });
    connect(prev, &QAction::triggered, this, [this] { SearchAgain(true); });
    connect(replace, &QAction::triggered, this, [this] { ReplaceClick(); });

    // The program's one FTP session reports here: the server's replies and its end, in order.
    QPointer<TFNClientFTP> self(this);
    mFeed = std::make_shared<StatusFeed>();
    auto feed = [self, items = mFeed](std::optional<std::string> item) {
        if (!items->add(std::move(item))) return;
        QMetaObject::invokeMethod(qApp, [self] {
            if (self) QTimer::singleShot(kStatusBatchMs, self, [self] {
                if (self) self->showStatusFeed();
            });
        }, Qt::QueuedConnection);
    };
    mController.ftp().setStatusHandler({[feed](const std::string& line) { feed(line); },
                                          [feed] { feed(std::nullopt); }});

    auto* menu = new QMenu(this);
    menu->setObjectName("PopupMenu1");
    connect(menu->addAction("Remonter"), &QAction::triggered, this, guard([this] { Remonter1Click(); }));
    connect(menu->addAction("Save in curent directory"), &QAction::triggered, this,
            guard([this] { SaveInCurrentDirectory1Click(); }));
    connect(menu->addAction("Delete"), &QAction::triggered, this, guard([this] { Delete1Click(); }));
    connect(menu->addAction("Create a new subdirectory"), &QAction::triggered, this,
            guard([this] { CreateSubdirectory1Click(); }));
    connect(mList, &QWidget::customContextMenuRequested, this,
            [this, menu](const QPoint& p) { menu->popup(mList->viewport()->mapToGlobal(p)); });

    resize(760, 620);
    RememberWindowPosition(this, true);
    RegisterTranslatedWindow(texts::Family::Controller, this);
}

TFNClientFTP::~TFNClientFTP()
{
    if (gBrowser == this) {
        gBrowser = nullptr;
        mController.ftp().setStatusHandler({});
    }
}

void TFNClientFTP::SetTclListHandler(std::function<void(const std::vector<BrowserEntry>&)> handler)
{
    mTclList = std::move(handler);
}

void TFNClientFTP::SetCloseHandler(std::function<void()> handler) { mOnClose = std::move(handler); }

void TFNClientFTP::washStatus()
{
    if (mWashing->isChecked() && mStatus->blockCount() >= kWashLines) mStatus->clear();
}

void TFNClientFTP::showStatusFeed()
{
    if (!mFeed) return;
    const std::vector<std::optional<std::string>> items = mFeed->take();
    if (items.empty()) return;
    // The memo ends as it would after each item in turn (washed before an addition and at the
    // session's end once it holds kWashLines lines); only the lines that stay are laid out.
    const bool washing = mWashing->isChecked();
    int lines = mStatus->document()->isEmpty() ? 0 : mStatus->blockCount();
    bool cleared = false;
    std::vector<const std::string*> kept;
    for (const std::optional<std::string>& item : items) {
        if (washing && lines >= kWashLines) {
            cleared = true;
            kept.clear();
            lines = 0;
        }
        if (item) {
            kept.push_back(&*item);
            ++lines;
        }
    }
    if (cleared) mStatus->clear();
    if (kept.empty()) return;
    QString text;
    for (std::size_t i = 0; i < kept.size(); ++i) {
        if (i > 0) text += '\n';
        text += QString::fromStdString(*kept[i]);
    }
    mStatus->appendPlainText(text);
}

void TFNClientFTP::addStatus(const std::string& line)
{
    // The session's replies so far come first.
    showStatusFeed();
    washStatus();
    mStatus->appendPlainText(QString::fromStdString(line));
}

void TFNClientFTP::setEditorText(const std::string& content)
{
    mEditor->setText(QString::fromUtf8(content.data(), static_cast<int>(content.size())));
}

bool TFNClientFTP::ChangeDirectory(const std::string& folderIn)
{
    if (folderIn.empty() || folderIn == mFolder) return true;
    const std::string folder = folderIn == ".." ? ParentFolder(mFolder) : StripTrailingSeparators(folderIn);
    return listFolder(folder);
}

bool TFNClientFTP::listFolder(const std::string& folder)
{
    auto& c = common();
    auto& t = mController.transfer();
    mFolder = folder;
    mLabel3->setText(QString::fromStdString(folder));
    mEntries.clear();
    fillList();
    if (mTclList) mTclList({});
    const int mode = c.TransferMode;
    RemoteFiles* files = mController.files(mode);
    if (!files) return true;
    if (!mController.changeDir(folder, c.ProgramDir)) {
        addStatus(text("StringBrowserListFailed") + " " + folder);
        return false;
    }
    std::optional<std::vector<RemoteEntry>> l;
    RunOffGuiThread([&] { l = files->list(folder); });
    const bool ok = l.has_value();
    // The SFTP library's failures are shown as its own text.
    if (!ok && mode == TransferSftp) ShowMsg(files->lastError());
    const int year = QDate::currentDate().year();
    if (l)
        for (const RemoteEntry& e : *l)
            if (e.name != "." && e.name != "..") mEntries.push_back(browserEntry(e, year));
    if (!ok) addStatus(text("StringBrowserListFailed") + " " + folder);
    // One sort for the rows and what they stand for, so a row always opens its own entry.
    std::sort(mEntries.begin(), mEntries.end(),
              [](const BrowserEntry& a, const BrowserEntry& b) { return a.name < b.name; });
    std::vector<std::string> names;
    for (const auto& e : mEntries) names.push_back(e.name);
    t.RemoteListing = names;
    fillList();
    if (mTclList) mTclList(mEntries);
    return ok;
}

void TFNClientFTP::fillList()
{
    mList->clear();
    for (const auto& e : mEntries) {
        auto* item = new QTreeWidgetItem(mList);
        item->setText(0, QString::fromStdString(e.name));
        item->setText(1, QString::fromStdString(num::integer(static_cast<long long>(e.size))));
        item->setText(2, e.directory ? "Directory" : "File");
        item->setText(3, QString::fromStdString(e.modified));
        item->setText(4, QString::fromStdString(e.group));
        item->setText(5, QString::fromStdString(e.user));
        item->setText(6, QString::fromStdString(e.attributes));
    }
}

bool TFNClientFTP::enterShownFolder()
{
    auto& c = common();
    if (mController.transfer().RemoteDir == mFolder && c.TransferConnected && mController.transfer().LocalDir == c.ProgramDir)
        return true;
    return mController.changeDir(mFolder, c.ProgramDir);
}

void TFNClientFTP::goToFolder(const std::string& folder)
{
    ChangeDirectory(folder);
    mEditor->clear();
    mList->setEnabled(true);
    mFilesBox->setTitle(QString::fromStdString(mFolder));
}

bool TFNClientFTP::download(const BrowserEntry& e)
{
    auto& c = common();
    if (!RemoteNameUsable(e.name, c.ProgramDir)) {
        ShowMsg(RemoteNameRefusedText(e.name));
        return false;
    }
    if (!enterShownFolder()) return false;
    RemoteFiles* files = mController.sessionFiles();
    if (!files || !files->reportsProgress()) return mController.getFile(e.name, e.name, false);

    // The bar follows the bytes, the memo the speed.
    const std::string from = joinRemote(mFolder, e.name);
    std::optional<std::uint64_t> size;
    RunOffGuiThread([&] { size = files->size(from); });
    std::string error;
    const bool ok = transferWithProgress(*files, true, from, c.ProgramDir + e.name, size ? *size : 0, error);
    if (!ok) ShowMsg(text("StringBrowserReadFailed") + " " + from + " " + error);
    return ok;
}

bool TFNClientFTP::transferWithProgress(RemoteFiles& files, bool reading, const std::string& remote, const std::string& local,
                               std::uint64_t announced, std::string& error)
{
    mTransferBar->setMaximum(TransferBarMaximum(announced));
    QElapsedTimer clock;
    clock.start();
    auto progress = [this, &clock, announced, reading](std::uint64_t done, std::uint64_t total) {
        const std::uint64_t max = total ? total : announced;
        const double elapsed = static_cast<double>(clock.nsecsElapsed()) / 1e9;
        const std::string line = TransferProgressText(reading, done, max, elapsed);
        const int value = static_cast<int>(std::min<std::uint64_t>(done, 2147483646));
        QMetaObject::invokeMethod(
            this, [this, line, value] {
                mTransferBar->setValue(std::min(value, mTransferBar->maximum()));
                addStatus(line);
            },
            Qt::QueuedConnection);
        return true;
    };
    bool ok = false;
    RunOffGuiThread([&] {
        ok = reading ? files.get(remote, local, progress) : files.put(local, remote, progress);
        if (!ok) error = files.lastError();
    });
    QCoreApplication::processEvents();
    mTransferBar->setValue(0);
    return ok;
}

void TFNClientFTP::ListBox1Click(int row)
{
    if (row < 0 || row >= static_cast<int>(mEntries.size())) return;
    const BrowserEntry e = mEntries[static_cast<std::size_t>(row)];
    mController.transfer().RemoteFileName = e.name;
    if (e.directory) {
        if (!RemoteNameUsable(e.name, {})) {
            ShowMsg(RemoteNameRefusedText(e.name));
            return;
        }
        goToFolder(joinRemote(mFolder, e.name));
        return;
    }
    mEditor->clear();
    if (download(e)) {
        std::string content;
        if (readFile(common().ProgramDir + e.name, content)) setEditorText(content);
    }
    mList->setEnabled(true);
    mFilesBox->setTitle(QString::fromStdString(mFolder));
}

void TFNClientFTP::ConfigFilesClick()
{
    const int mode = common().TransferMode;
    if (mode == TransferLocal || mode == TransferNone) {
        ShowMsg(text("StringBrowserNotAvailable"));
        return;
    }
    listFolder(common().RemoteConfigDir);
    mEditor->clear();
}

void TFNClientFTP::TrajectoriesClick()
{
    listFolder(common().RemoteTrajectoriesDir);
    mEditor->clear();
}

void TFNClientFTP::MesuresClick()
{
    listFolder(common().RemoteLogDir);
    mEditor->clear();
}

void TFNClientFTP::ReadFromPcClick(const std::string& pathIn)
{
    std::string path = pathIn;
    if (path.empty()) {
        path = QFileDialog::getOpenFileName(this, {}, QString::fromStdString(common().ProgramDir),
                                            "All (*.*);;INI files (*.INI);;Measures (*.MES);;Trajectory (*.TRJ)")
                   .toStdString();
        if (path.empty()) return;
    }
    std::string content;
    if (!readFile(path, content)) {
        ShowMsg(text("StringBrowserReadFailed") + " " + path);
        return;
    }
    // The user's file is only read: its layout is tidied in the editor, not on disk.
    setEditorText(CompactText(content));
}

void TFNClientFTP::SaveToPcClick(const std::string& pathIn)
{
    std::string path = pathIn;
    if (path.empty()) {
        path = QFileDialog::getSaveFileName(this, {},
                                            QString::fromStdString(common().ProgramDir + mController.transfer().RemoteFileName))
                   .toStdString();
        if (path.empty()) return;
    }
    std::string error;
    if (!WriteFileAtomic(path, mEditor->text().toStdString(), &error))
        ShowMsg(text("StringBrowserSaveFailed") + " " + path + " " + error);
}

void TFNClientFTP::SaveInKvxClick()
{
    auto& c = common();
    std::string name = mController.transfer().RemoteFileName;
    const std::string ext = upper(fs::path(name).extension().string());
    if (ext == ".BIN" || ext == ".OUT") name.clear();
    enterShownFolder();
    if (!InputQueryDialog(text("String_ftp_kvx_input_upload"), text("String_ftp_kvx_input_filename"), name)) return;
    // Only the file part names the local copy and the remote file: a typed folder never leads
    // the copy outside the program folder or the current remote folder.
    const std::string part = fs::path(name).filename().string();
    if (!RemoteNameUsable(part, c.ProgramDir)) {
        ShowMsg(RemoteNameRefusedText(name));
        return;
    }
    std::string error;
    if (!WriteFileAtomic(c.ProgramDir + part, mEditor->text().toStdString(), &error)) {
        ShowMsg(text("StringBrowserSaveFailed") + " " + part + " " + error);
        return;
    }
    bool sent = false;
    if (enterShownFolder()) {
        RemoteFiles* files = mController.sessionFiles();
        if (files && files->reportsProgress()) {
            std::string ftpError;
            std::error_code ec;
            const auto bytes = fs::file_size(c.ProgramDir + part, ec);
            sent = transferWithProgress(*files, false, joinRemote(mFolder, part), c.ProgramDir + part, ec ? 0 : bytes, ftpError);
            mController.disconnectTransfer();
        } else {
            sent = mController.putFile(part, part, true);
        }
    }
    if (!sent) {
        // The text stays in the editor (and in the local copy) when the upload failed.
        ShowMsg(text("StringBrowserSaveFailed") + " " + joinRemote(mFolder, part));
        return;
    }
    mEditor->clear();
}

void TFNClientFTP::ResetKvxClick() { mController.reboot(BarProgress(mRebootBar)); }

void TFNClientFTP::Remonter1Click() { goToFolder(".."); }

int TFNClientFTP::selectedRow() const
{
    auto* item = mList->currentItem();
    return item ? mList->indexOfTopLevelItem(item) : -1;
}

void TFNClientFTP::SaveInCurrentDirectory1Click()
{
    auto& c = common();
    const int row = selectedRow();
    if (row < 0 || row >= static_cast<int>(mEntries.size())) return;
    const std::string name = mEntries[static_cast<std::size_t>(row)].name;
    if (!RemoteNameUsable(name, c.ProgramDir)) {
        ShowMsg(RemoteNameRefusedText(name));
        return;
    }
    if (!mController.changeDir(joinRemote(mFolder, name), c.ProgramDir) || !mController.putFile(name, name, true))
        ShowMsg(text("StringBrowserSaveFailed") + " " + joinRemote(joinRemote(mFolder, name), name));
}

void TFNClientFTP::Delete1Click()
{
    const int row = selectedRow();
    if (row < 0 || row >= static_cast<int>(mEntries.size())) return;
    const BrowserEntry e = mEntries[static_cast<std::size_t>(row)];
    if (MsgDialog(e.name + " " + text("StringDelete"), 0, MbYes | MbNo) != MrYes) return;
    if (!RemoteNameUsable(e.name, {})) {
        ShowMsg(RemoteNameRefusedText(e.name));
        return;
    }
    if (!enterShownFolder()) return;
    const std::string path = joinRemote(mFolder, e.name);
    bool ok = false;
    std::string error;
    if (RemoteFiles* files = mController.sessionFiles()) {
        RunOffGuiThread([&] {
            ok = e.directory ? files->removeDir(path) : files->removeFile(path);
            if (!ok) error = files->lastError();
        });
    }
    if (!ok) ShowMsg(text("StringBrowserDeleteFailed") + " " + path + " " + error);
    listFolder(mFolder);
}

void TFNClientFTP::CreateSubdirectory1Click()
{
    std::string name;
    if (!InputQueryDialog(text("stringdirectory"), text("stringnom"), name)) return;
    if (!RemoteNameUsable(name, {})) {
        ShowMsg(RemoteNameRefusedText(name));
        return;
    }
    if (!enterShownFolder()) return;
    const std::string path = joinRemote(mFolder, name);
    bool ok = false;
    std::string error;
    if (RemoteFiles* files = mController.sessionFiles()) {
        RunOffGuiThread([&] {
            ok = files->makeDir(path);
            if (!ok) error = files->lastError();
        });
    }
    if (!ok) ShowMsg(text("StringBrowserMkdirFailed") + " " + path + " " + error);
    listFolder(mFolder);
}

void TFNClientFTP::SearchClick()
{
    if (mSearch.open) mSearch.open(false);
}

void TFNClientFTP::ReplaceClick()
{
    if (mSearch.open) mSearch.open(true);
}

void TFNClientFTP::SearchAgain(bool backward)
{
    if (mSearch.again) mSearch.again(backward);
}

void TFNClientFTP::FileOpenClick(const std::string& pathIn, bool readOnlyIn)
{
    std::string path = pathIn;
    bool readOnly = readOnlyIn;
    if (path.empty()) {
        path = OpenFileAskReadOnly(this, common().ProgramDir, "All (*)", readOnly);
        if (path.empty()) return;
    }
    std::string content;
    if (!readFile(path, content)) {
        ShowMsg(text("StringBrowserReadFailed") + " " + path);
        return;
    }
    setEditorText(content);
    mEditor->setReadOnly(readOnly);
}

bool TFNClientFTP::ListTreeRecursive(const std::string& folder, std::vector<std::string>& files,
                                     const std::function<void(const std::string&)>& status)
{
    RemoteFiles* session = mController.sessionFiles();
    if (!session || !session->network()) return false;
    bool ok = true;
    std::function<void(const std::string&, int)> walk = [&](const std::string& dir, int depth) {
        if (status) status(dir + "  " + text("StringBrowserBuildingList"));
        std::vector<std::pair<std::string, bool>> entries;  // name, folder
        bool listed = false;
        RunOffGuiThread([&] {
            if (auto l = session->list(dir)) {
                listed = true;
                for (const auto& e : *l)
                    if (!e.link) entries.emplace_back(e.name, e.directory);
            }
        });
        if (!listed) {
            ok = false;
            addStatus(text("StringBrowserListFailed") + " " + dir);
            return;
        }
        std::vector<std::string> subfolders;
        for (const auto& [name, isDir] : entries) {
            if (name == "." || name == "..") continue;
            if (isDir) {
                if (static_cast<int>(subfolders.size()) < kMaxSubfolders) subfolders.push_back(joinRemote(dir, name));
            } else {
                files.push_back(joinRemote(dir, name));
            }
        }
        // Links are not followed and the depth is bounded, so a looping tree cannot hang the list.
        if (depth < kMaxDepth)
            for (const auto& sub : subfolders) walk(sub, depth + 1);
        if (status) status("");
    };
    walk(StripTrailingSeparators(folder), 0);
    return ok;
}

void TFNClientFTP::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    mFolder.clear();
    listFolder(common().RemoteConfigDir);
    mEditor->clear();
}

void TFNClientFTP::hideEvent(QHideEvent* event)
{
    QDialog::hideEvent(event);
    if (mOnClose) mOnClose();
}

bool TFNClientFTP::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == mEditor && event->type() == QEvent::KeyPress) {
        auto* key = static_cast<QKeyEvent*>(event);
        if (key->key() == Qt::Key_Tab && key->modifiers() == Qt::NoModifier) {
            if (!mEditor->isReadOnly()) mEditor->replaceSelectedText("      ");
            return true;
        }
    }
    return QDialog::eventFilter(watched, event);
}

void registerBrowserTexts()
{
    static std::once_flag once;
    std::call_once(once, [] { texts::add(texts::Family::Controller, kRows); });
}

}  // namespace mvx::linkui
