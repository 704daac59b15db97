#include "backupdialogs.h"

#include "linkui/filebrowser.h"
#include "link/remotename.h"
#include "link/transfer.h"

#include "core/common.h"
#include "app/dialogs.h"
#include "app/language.h"
#include "translator/numtext.h"
#include "translator/texts.h"

#include <QApplication>
#include <QFileSystemModel>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QPushButton>
#include <QTreeView>
#include <QVBoxLayout>

#include <filesystem>
#include <mutex>

namespace mvx::linkui {

using namespace mvx::link;

namespace {

namespace fs = std::filesystem;
using texts::Builtin;

constexpr Builtin kRows[] = {
    {"string_impossible_creer", "Impossible de créer"},
    {"StringBackupJobFolderCaption", "Répertoire des .job"},
    {"StringBackupJobFolderPrompt", "Créer un nouveau répertoire"},
    {"StringBackupReallyDelete", "Voulez vous réellement supprimer ce répertoire ?"},
    {"StringBackupFolderRefused", "Nom de répertoire refusé :"},
    {"StringBackupRemoveFailed", "Suppression impossible :"},
    {"StringBackupFailed", "Echec de la sauvegarde de"},
    {"StringBackupStopped", "Sauvegarde interrompue :"},
};

std::string text(const char* key)
{
    registerBackupTexts();
    return texts::get(key);
}

bool sameNoCase(const std::string& a, const char* b)
{
    const std::string bs(b);
    if (a.size() != bs.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (std::tolower(static_cast<unsigned char>(a[i])) != std::tolower(static_cast<unsigned char>(bs[i])))
            return false;
    return true;
}

QPushButton* button(QWidget* parent, const char* name, const char* caption)
{
    auto* b = new QPushButton(QString::fromUtf8(caption), parent);
    b->setObjectName(name);
    b->setAutoDefault(false);
    return b;
}

}  // namespace

std::optional<std::string> MirrorRelativeFolder(const std::string& remoteFolder)
{
    std::vector<std::string> parts;
    std::string part;
    for (char ch : remoteFolder + "/") {
        if (ch == '/' || ch == '\\') {
            if (!part.empty()) parts.push_back(part);
            part.clear();
        } else {
            part += ch;
        }
    }
    std::size_t first = 0;
    if (!parts.empty() && sameNoCase(parts[0], "Admin"))
        first = 1;
    else if (parts.size() >= 2 && parts[0] == "mnt" && parts[1] == "user")
        first = 2;
    std::string rel;
    for (std::size_t i = first; i < parts.size(); ++i) {
        if (parts[i] == "." || parts[i] == ".." || parts[i].find('\0') != std::string::npos) return std::nullopt;
        rel += (rel.empty() ? "" : "/") + parts[i];
    }
    return rel;
}

// ----- TFchoixRep ---------------------------------------------------------------------------------------

TFchoixRep::TFchoixRep(QWidget* parent) : QDialog(parent)
{
    setObjectName("FchoixRep");
    setWindowTitle(QString::fromUtf8("Choix du répertoire travail"));
    auto* top = new QVBoxLayout(this);
    mEdit1 = new QLineEdit(this);
    mEdit1->setObjectName("Edit1");
    mEdit1->setReadOnly(true);
    top->addWidget(mEdit1);
    mModel = new QFileSystemModel(this);
    mModel->setFilter(QDir::AllDirs | QDir::NoDotAndDotDot | QDir::Drives);
    mModel->setRootPath(QDir::rootPath());
    mTree = new QTreeView(this);
    mTree->setObjectName("DirectoryListBox1");
    mTree->setModel(mModel);
    for (int col = 1; col < mModel->columnCount(); ++col) mTree->hideColumn(col);
    mTree->header()->hide();
    mTree->setContextMenuPolicy(Qt::CustomContextMenu);
    top->addWidget(mTree, 1);
    connect(mTree->selectionModel(), &QItemSelectionModel::currentChanged, this,
            [this](const QModelIndex& index) { mEdit1->setText(mModel->filePath(index)); });

    auto* row = new QHBoxLayout;
    auto* ok = button(this, "BitBtnOK", "OK");
    auto* cancel = button(this, "BitBtnAnnuler", "Annuler");
    auto* create = button(this, "BitBtnCreer", "Créer");
    auto* remove = button(this, "BitBtnSupprimer", "Supprimer");
    for (auto* b : {ok, cancel, create, remove}) row->addWidget(b);
    top->addLayout(row);
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);
    // "Annuler" stops a copy in progress as well as the choice.
    connect(cancel, &QPushButton::clicked, this, [this] {
        common().StopRequested.store(1);
        reject();
    });
    connect(create, &QPushButton::clicked, this, [this] { CreerClick(); });
    connect(remove, &QPushButton::clicked, this, [this] { SupprimerClick(); });

    auto* menu = new QMenu(this);
    connect(menu->addAction(QString::fromUtf8("Créer un répertoire")), &QAction::triggered, this,
            [this] { CreerClick(); });
    connect(menu->addAction(QString::fromUtf8("Supprimer un répertoire")), &QAction::triggered, this,
            [this] { SupprimerClick(); });
    connect(mTree, &QWidget::customContextMenuRequested, this,
            [this, menu](const QPoint& p) { menu->popup(mTree->viewport()->mapToGlobal(p)); });

    resize(420, 460);
    RememberWindowPosition(this, false);
    RegisterTranslatedWindow(texts::Family::Controller, this);
}

bool TFchoixRep::setFolder(const std::string& folder)
{
    std::error_code ec;
    if (!fs::is_directory(folder, ec)) return false;
    const QModelIndex index = mModel->index(QString::fromStdString(fs::absolute(folder, ec).string()));
    if (index.isValid()) {
        mTree->setCurrentIndex(index);
        mTree->scrollTo(index);
    }
    mEdit1->setText(QString::fromStdString(fs::absolute(folder, ec).lexically_normal().string()));
    return true;
}

std::string TFchoixRep::folder() const { return mEdit1->text().toStdString(); }

void TFchoixRep::CreerClick()
{
    std::string name;
    if (!InputQueryDialog(text("StringBackupJobFolderCaption"), text("StringBackupJobFolderPrompt"), name)) return;
    if (!RemoteNameUsable(name, {})) {
        ShowMsg(text("StringBackupFolderRefused") + " " + name);
        return;
    }
    const std::string path = (fs::path(folder()) / name).string();
    std::error_code ec;
    if (!fs::create_directory(path, ec) && !fs::is_directory(path)) {
        ShowMsg(text("string_impossible_creer") + "  " + path + " " + ec.message());
        return;
    }
    setFolder(path);
}

void TFchoixRep::SupprimerClick()
{
    const std::string path = folder();
    if (path.empty()) return;
    if (MsgDialog(text("StringBackupReallyDelete"), 0, MbYes | MbNo) != MrYes) return;
    // Only an empty folder is removed: files are never deleted from here.
    std::error_code ec;
    if (!fs::remove(path, ec)) {
        ShowMsg(text("StringBackupRemoveFailed") + " " + path + " " + ec.message());
        return;
    }
    setFolder(fs::path(path).lexically_normal().parent_path().string());
}

// ----- TFchoixsauve -------------------------------------------------------------------------------------

TFchoixsauve::TFchoixsauve(QWidget* parent, link::Controller& controller, TFchoixRep* folderDialog) : QDialog(parent), mFolderDialog(folderDialog), mController(controller)
{
    setObjectName("Fchoixsauve");
    setWindowTitle("Sauvegarde");
    auto* top = new QVBoxLayout(this);
    mList = new QListWidget(this);
    mList->setObjectName("CheckListBox1");
    mList->installEventFilter(this);
    top->addWidget(mList, 1);
    auto* row = new QHBoxLayout;
    auto* abandon = button(this, "BitBtnAbandon", "Abandon");
    auto* save = button(this, "BitBtnSauvegarder", "Sauvegarder les fichiers KVX");
    row->addWidget(abandon);
    row->addWidget(save);
    top->addLayout(row);
    // During a copy "Abandon" stops it at the next file; the dialog closes when it has.
    connect(abandon, &QPushButton::clicked, this, [this] {
        if (mCopying) common().StopRequested.store(1);
        else reject();
    });
    connect(save, &QPushButton::clicked, this, [this] { SauvegarderClick(); });
    connect(mList, &QListWidget::itemClicked, this, [this](QListWidgetItem* item) {
        CheckListBox1Click(mList->row(item), QApplication::keyboardModifiers() & Qt::ShiftModifier);
    });
    resize(520, 480);
    RememberWindowPosition(this, false);
    RegisterTranslatedWindow(texts::Family::Controller, this);
}

void TFchoixsauve::status(const std::string& line)
{
    if (mStatus) mStatus(line);
}

bool TFchoixsauve::FillList(const std::string& remoteFolder)
{
    mList->clear();
    mAnchor = -1;
    if (!mController.transferConnected()) mController.connectTransfer(false);
    TFNClientFTP* browser = FileBrowser();
    if (!browser) return false;
    std::vector<std::string> files;
    const bool ok = browser->ListTreeRecursive(remoteFolder, files, [this](const std::string& s) { status(s); });
    for (const auto& f : files) {
        auto* item = new QListWidgetItem(QString::fromStdString(f), mList);
        item->setFlags(item->flags() | Qt::ItemIsUserCheckable);
        item->setCheckState(Qt::Unchecked);
    }
    return ok;
}

void TFchoixsauve::ShowBackupList(std::function<void(const std::string&)> statusPanel, const std::string& remoteFolder)
{
    mStatus = std::move(statusPanel);
    FillList(remoteFolder);
    exec();
    mStatus = nullptr;
}

void TFchoixsauve::CheckListBox1Click(int row, bool shift)
{
    if (!shift) {
        mAnchor = -1;
        return;
    }
    if (mAnchor < 0) {
        mAnchor = row;
        return;
    }
    if (row > mAnchor)
        for (int i = mAnchor + 1; i < row; ++i) {
            auto* item = mList->item(i);
            item->setCheckState(item->checkState() == Qt::Checked ? Qt::Unchecked : Qt::Checked);
        }
    mAnchor = -1;
}

void TFchoixsauve::TickAll()
{
    for (int i = 0; i < mList->count(); ++i) mList->item(i)->setCheckState(Qt::Checked);
}

bool TFchoixsauve::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == mList && event->type() == QEvent::KeyPress) {
        auto* key = static_cast<QKeyEvent*>(event);
        if (key->key() == Qt::Key_A && (key->modifiers() & Qt::ControlModifier)) {
            TickAll();
            return true;
        }
    }
    return QDialog::eventFilter(watched, event);
}

void TFchoixsauve::SauvegarderClick()
{
    auto& c = common();
    const std::string mirror = c.ProgramDir + c.AdminFolderName;
    std::error_code ec;
    fs::create_directories(mirror, ec);
    c.StopRequested.store(0);
    if (mFolderDialog) {
        mFolderDialog->setFolder(mirror);
        // A cancelled choice copies nothing.
        if (!mFolderDialog->isVisible() && mFolderDialog->exec() != QDialog::Accepted) return;
    }
    const std::string target = mFolderDialog ? mFolderDialog->folder() : mirror;
    CopyTicked(target);
    status("  ");
    accept();
}

int TFchoixsauve::CopyTicked(const std::string& localRoot, bool* okOut)
{
    bool ok = true;
    int copied = 0;
    std::vector<std::string> ticked;
    for (int i = 0; i < mList->count(); ++i)
        if (mList->item(i)->checkState() == Qt::Checked) ticked.push_back(mList->item(i)->text().toStdString());
    mCopying = true;
    for (std::size_t i = 0; i < ticked.size(); ++i) {
        const std::string& item = ticked[i];
        if (common().StopRequested.load() != 0) {
            ok = false;
            status(text("StringBackupStopped") + " " + num::integer(static_cast<long long>(copied)) + "/" +
                   num::integer(static_cast<long long>(ticked.size())));
            break;
        }
        status("     " + item);
        const auto sep = item.find_last_of("/\\");
        const std::string remoteFolder = sep == std::string::npos ? std::string() : item.substr(0, sep);
        const std::string name = sep == std::string::npos ? item : item.substr(sep + 1);
        const auto rel = MirrorRelativeFolder(remoteFolder);
        if (!rel || !RemoteNameUsable(name, (fs::path(localRoot) / *rel).string() + "/")) {
            ShowMsg(text("StringBackupFailed") + " " + item);
            ok = false;
            continue;
        }
        const fs::path target = fs::path(localRoot) / *rel;
        std::error_code ec;
        fs::create_directories(target, ec);
        if (!fs::is_directory(target, ec)) {
            ShowMsg(text("string_impossible_creer") + "  " + target.string());
            ok = false;
            break;
        }
        const bool last = i + 1 == ticked.size();
        if (mController.changeDir(remoteFolder, target.string() + "/") && mController.getFile(name, name, last)) {
            ++copied;
        } else {
            ShowMsg(text("StringBackupFailed") + " " + item);
            ok = false;
        }
    }
    mCopying = false;
    // The last file's session was kept open for the next one: a stop leaves it to close here.
    if (!ok && mController.transferConnected()) mController.disconnectTransfer();
    if (okOut) *okOut = ok;
    return copied;
}

void registerBackupTexts()
{
    static std::once_flag once;
    std::call_once(once, [] { texts::add(texts::Family::Controller, kRows); });
}

}  // namespace mvx::linkui
