#include "restore.h"

#include "link/remotefiles.h"
#include "link/transfer.h"

#include "core/common.h"
#include "app/dialogs.h"
#include "core/fileutil.h"
#include "app/language.h"
#include "translator/texts.h"

#include <QComboBox>
#include <QFileSystemModel>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QListWidget>
#include <QPushButton>
#include <QTreeView>
#include <QVBoxLayout>

#include <algorithm>
#include <filesystem>
#include <mutex>

namespace mvx::tcl {

namespace {

namespace fs = std::filesystem;
using texts::Builtin;

constexpr Builtin kRows[] = {
    {"FilterComboboX1", "Tous les fichiers (*.*)|*.*|Textes (*.TXT)|*.TXT|Scripts (*.TCL)|*.TCL|Include (*.INC)|*.INC"},
    {"StringRestoreNoFolder", "Dossier du KVX inaccessible :"},
    {"StringRestoreFailed", "Echec de l'envoi de"},
};

std::string text(const char* key)
{
    registerRestoreTexts();
    return texts::get(key);
}

// The filter text of the language files: caption|pattern pairs, "*.*" standing for every file.
void fillFilters(QComboBox* box, const std::string& filter)
{
    const int current = box->currentIndex();
    box->clear();
    const QStringList parts = QString::fromStdString(filter).split('|');
    for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
        const QString pattern = parts[i + 1].trimmed();
        box->addItem(parts[i], pattern == "*.*" ? QStringLiteral("*") : pattern);
    }
    if (box->count() == 0) box->addItem("*", QStringLiteral("*"));
    box->setCurrentIndex(std::clamp(current, 0, static_cast<int>(box->count()) - 1));
}

std::string withoutTrailingSeparator(std::string s)
{
    while (s.size() > 1 && (s.back() == '/' || s.back() == '\\')) s.pop_back();
    return s;
}

std::string normal(const std::string& path)
{
    std::error_code ec;
    return withoutTrailingSeparator(fs::weakly_canonical(fs::absolute(path, ec), ec).lexically_normal().string());
}

// `path` inside `root` (or equal): the part below it with '/' separators, else nullopt.
std::optional<std::string> below(const std::string& root, const std::string& path)
{
    const fs::path rel = fs::path(normal(path)).lexically_relative(normal(root));
    if (rel.empty()) return std::nullopt;
    const std::string s = rel.generic_string();
    if (s == ".") return std::string();
    if (s == ".." || s.rfind("../", 0) == 0) return std::nullopt;
    return s;
}

bool makeRemoteDir(link::Controller& controller, const std::string& path)
{
    bool ok = false;
    link::RemoteFiles* files = controller.sessionFiles();
    if (!files || !files->network()) return false;
    link::RunOffGuiThread([&] { ok = files->makeDir(path); });
    return ok;
}

std::string upper(std::string s)
{
    for (char& ch : s)
        if (ch >= 'a' && ch <= 'z') ch = static_cast<char>(ch - 32);
    return s;
}

// A pattern is "*", or "*.EXT" items separated by ";" (a translated filter may hold several).
bool matches(const std::string& name, const std::string& pattern)
{
    const std::string n = upper(name);
    std::size_t from = 0;
    while (from <= pattern.size()) {
        const std::size_t cut = std::min(pattern.find(';', from), pattern.size());
        const std::string p = upper(pattern.substr(from, cut - from));
        if (p == "*" || p == "*.*" || pattern.empty()) return true;
        if (p.empty()) {
            from = cut + 1;
            continue;
        }
        const std::string ext = p[0] == '*' ? p.substr(1) : p;  // ".TXT"
        if (n.size() >= ext.size() && n.compare(n.size() - ext.size(), ext.size(), ext) == 0) return true;
        from = cut + 1;
    }
    return false;
}

}  // namespace

std::string MirrorRoot() { return withoutTrailingSeparator(common().ProgramDir + common().AdminFolderName); }

std::string RestoreStartFolder()
{
    std::string folder = MirrorRoot();
    for (const char* part : {"Public", "Scripts"}) {
        const std::string found = FindFileNoCase(folder, part);
        folder = found.empty() ? folder + "/" + part : found;
    }
    return folder;
}

std::string RemoteMirrorBase()
{
    const std::string pub = withoutTrailingSeparator(common().RemotePublicDir);
    const auto pos = pub.find_last_of("/\\");
    return pos == std::string::npos ? std::string(1, common().RemotePathSeparator) : pub.substr(0, pos + 1);
}

TFrestore::TFrestore(QWidget* parent, link::Controller& controller) : QDialog(parent), mController(controller)
{
    setObjectName("Frestore");
    setWindowTitle("Restauration");
    auto* top = new QVBoxLayout(this);
    auto* lists = new QHBoxLayout;
    mModel = new QFileSystemModel(this);
    mModel->setFilter(QDir::AllDirs | QDir::NoDotAndDotDot);
    mModel->setRootPath(QDir::rootPath());
    mTree = new QTreeView(this);
    mTree->setObjectName("DirectoryListBox1");
    mTree->setModel(mModel);
    for (int col = 1; col < mModel->columnCount(); ++col) mTree->hideColumn(col);
    mTree->header()->hide();
    lists->addWidget(mTree, 1);
    mFiles = new QListWidget(this);
    mFiles->setObjectName("FileListBox1");
    mFiles->setSelectionMode(QAbstractItemView::ExtendedSelection);
    lists->addWidget(mFiles, 1);
    top->addLayout(lists, 1);
    mFilter = new QComboBox(this);
    mFilter->setObjectName("FilterComboBox1");
    fillFilters(mFilter, text("FilterComboboX1"));
    AddLanguageHook(texts::Family::Controller, this, [this](int) { fillFilters(mFilter, text("FilterComboboX1")); });
    top->addWidget(mFilter);
    auto* row = new QHBoxLayout;
    auto* transfer = new QPushButton(QString::fromUtf8("Transférer"), this);
    transfer->setObjectName("Button2");
    auto* closeButton = new QPushButton("Fermer", this);
    closeButton->setObjectName("Button1");
    row->addWidget(transfer);
    row->addWidget(closeButton);
    top->addLayout(row);

    connect(mTree->selectionModel(), &QItemSelectionModel::currentChanged, this,
            [this](const QModelIndex& index) { DirectoryListBox1Change(mModel->filePath(index).toStdString()); });
    connect(mFilter, &QComboBox::currentIndexChanged, this, [this](int) { refreshFiles(); });
    connect(transfer, &QPushButton::clicked, this, [this] { Button2Click(); });
    connect(closeButton, &QPushButton::clicked, this, [this] { Button1Click(); });
    resize(620, 440);
    RememberWindowPosition(this, false);
    RegisterTranslatedWindow(texts::Family::Controller, this);
}

void TFrestore::Open(std::function<void(const std::string&)> statusPanel, const std::string& startFolder)
{
    mStatus = std::move(statusPanel);
    const fs::path start(startFolder);
    setFolder(start.is_absolute() ? startFolder : common().ProgramDir + startFolder);
    exec();
}

void TFrestore::setFolder(const std::string& folder)
{
    // The tree stays inside the mirror: a folder outside it (or a missing one) brings it back.
    std::error_code ec;
    std::string f = folder;
    if (!below(MirrorRoot(), f) || !fs::is_directory(f, ec)) {
        f = MirrorRoot();
        fs::create_directories(f, ec);
    }
    mFolder = normal(f);
    const QModelIndex index = mModel->index(QString::fromStdString(mFolder));
    if (index.isValid() && mTree->currentIndex() != index) {
        const QSignalBlocker block(mTree->selectionModel());
        mTree->setCurrentIndex(index);
        mTree->scrollTo(index);
    }
    refreshFiles();
}

void TFrestore::DirectoryListBox1Change(const std::string& folder) { setFolder(folder); }

void TFrestore::refreshFiles()
{
    mFiles->clear();
    const std::string pattern = mFilter->currentData().toString().toStdString();
    std::vector<std::string> names;
    std::error_code ec;
    for (fs::directory_iterator it(mFolder, ec), end; !ec && it != end; it.increment(ec))
        if (it->is_regular_file(ec) && matches(it->path().filename().string(), pattern))
            names.push_back(it->path().filename().string());
    std::sort(names.begin(), names.end());
    for (const auto& n : names) mFiles->addItem(QString::fromStdString(n));
}

void TFrestore::Button1Click() { close(); }

int TFrestore::Button2Click()
{
    auto& c = common();
    const std::string base = RemoteMirrorBase();
    mController.changeDir(base, c.ProgramDir);
    const auto rel = below(MirrorRoot(), mFolder);
    const std::string local = mFolder + "/";
    std::string target = base;
    if (rel && !rel->empty()) target = withoutTrailingSeparator(base) + "/" + *rel;
    bool reached = mController.changeDir(target, local);
    if (!reached) {
        // Make the missing folders one level at a time, then go in.
        std::string path = withoutTrailingSeparator(base);
        std::string part;
        for (char ch : (rel ? *rel : std::string()) + "/") {
            if (ch == '/') {
                if (!part.empty()) {
                    path += "/" + part;
                    makeRemoteDir(mController, path);
                }
                part.clear();
            } else {
                part += ch;
            }
        }
        reached = mController.changeDir(target, local);
    }
    int uploaded = 0;
    if (!reached) {
        // Never upload into some other folder that happens to be current.
        ShowMsg(text("StringRestoreNoFolder") + " " + target);
    } else {
        std::vector<std::string> selected;
        for (int i = 0; i < mFiles->count(); ++i)
            if (mFiles->item(i)->isSelected()) selected.push_back(mFiles->item(i)->text().toStdString());
        for (const auto& name : selected) {
            if (mStatus) mStatus(name);
            if (mController.changeDir(target, local) && mController.putFile(name, name, false))
                ++uploaded;
            else
                ShowMsg(text("StringRestoreFailed") + " " + name);
        }
    }
    mController.disconnectTransfer();
    return uploaded;
}

void TFrestore::hideEvent(QHideEvent* event)
{
    QDialog::hideEvent(event);
    if (mStatus) mStatus("");
    mStatus = nullptr;
}

void registerRestoreTexts()
{
    static std::once_flag once;
    std::call_once(once, [] { texts::add(texts::Family::Controller, kRows); });
}

}  // namespace mvx::tcl
