#include "page_stages.h"

#include "core/common.h"
#include "app/dialogs.h"
#include "core/inifile.h"
#include "consolesettings.h"
#include "link/transfer.h"
#include "pagecalls.h"
#include "translator/numtext.h"
#include "translator/texts.h"

#include <QComboBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLineEdit>
#include <QPushButton>
#include <QTableWidget>
#include <QTreeWidget>
#include <QVBoxLayout>

#include <array>
#include <fstream>
#include <sstream>

namespace mvx::maint {

namespace {

constexpr std::array<texts::Builtin, 8> kTexts{{
    {"Stringrelirestageini", "Relire le fichier \"stages.ini\" depuis le contrôleur ?"},
    {"stringsavestages", "Enregistrer le fichier \"stage.ini\" dans l'KVX?"},
    {"stringstagesfetchfailed", "\"stages.ini\" n'a pas pu être lu sur le contrôleur : copie locale utilisée"},
    {"stringstagesuploadfailed", "\"stages.ini\" n'a pas pu être envoyé au contrôleur"},
    {"stringstagesuploaded", "\"stages.ini\" envoyé au contrôleur"},
    {"stringstagedbfailed", "\"StageDataBase.txt\" n'a pas pu être lu sur le contrôleur"},
    {"stringstagepresent", "La platine %s est déjà dans \"stages.ini\""},
    {"stringstagewritefailed", "Impossible d'écrire \"stages.ini\" : %s"},
}};

// In simulation the controller is never contacted.
bool controllerUsable() { return common().ControllerUsable.load() != 0; }

bool readWhole(const std::string& path, std::string& out)
{
    std::ifstream in(path, std::ios::binary);
    if (!in) return false;
    std::ostringstream s;
    s << in.rdbuf();
    out = s.str();
    return true;
}

}  // namespace

void registerStagesTexts()
{
    static const bool done = [] {
        texts::add(texts::Family::Controller, kTexts);
        return true;
    }();
    (void)done;
}

StagesPage::StagesPage(MaintenanceContext& context, QWidget* parent) : MaintenancePage(context, parent)
{
    registerStagesTexts();
    auto* top = new QVBoxLayout(this);
    auto* body = new QHBoxLayout;
    mTreeView1 = new QTreeWidget(this);
    mTreeView1->setObjectName("TreeView1");
    mTreeView1->setHeaderHidden(true);
    body->addWidget(mTreeView1, 1);
    mStringGrid4 = new QTableWidget(1, 1, this);
    mStringGrid4->setObjectName("StringGrid4");
    mStringGrid4->verticalHeader()->hide();
    mStringGrid4->horizontalHeader()->hide();
    mStringGrid4->horizontalHeader()->setSectionResizeMode(QHeaderView::Interactive);
    body->addWidget(mStringGrid4, 3);
    top->addLayout(body, 1);
    auto* bottom = new QHBoxLayout;
    mEdit102 = new QLineEdit(this);
    mEdit102->setObjectName("Edit102");
    mEdit102->setReadOnly(true);
    bottom->addWidget(mEdit102, 1);
    auto* add = new QPushButton(QStringLiteral("Ajouter une platine"), this);
    add->setObjectName("Button11");
    auto* save = new QPushButton(QStringLiteral("Enregistrer"), this);
    save->setObjectName("Button12");
    mComboBox14 = new QComboBox(this);
    mComboBox14->setObjectName("ComboBox14");
    mComboBox14->setEditable(true);
    mComboBox14->hide();
    bottom->addWidget(add);
    bottom->addWidget(mComboBox14);
    bottom->addWidget(save);
    top->addLayout(bottom);

    connect(mTreeView1, &QTreeWidget::itemExpanded, this, [this] { TreeView1Expanded(); });
    connect(mTreeView1, &QTreeWidget::itemCollapsed, this, [this] { TreeView1Expanded(); });
    connect(mTreeView1, &QTreeWidget::currentItemChanged, this, [this] { TreeView1Expanded(); });
    connect(mStringGrid4, &QTableWidget::currentCellChanged, this,
            [this](int row, int column) { StringGrid4SelectCell(row, column); });
    connect(mStringGrid4, &QTableWidget::cellChanged, this,
            [this](int row, int column) { StringGrid4SetEditText(row, column); });
    connect(add, &QPushButton::clicked, this, [this] { Button11Click(); });
    connect(save, &QPushButton::clicked, this, [this] { Button12Click(); });
    connect(mComboBox14, &QComboBox::textActivated, this, [this] { ComboBox14Change(); });
}

StagesPage::~StagesPage() = default;

std::string StagesPage::localPath() const { return common().ProgramDir + "stages.ini"; }

void StagesPage::TabSheet3Show()
{
    mShownOnce = true;
    fetchAndBuild(true);
}

void StagesPage::fetchAndBuild(bool ask)
{
    mStringGrid4->setColumnWidth(0, 150);
    if (ask && MsgDialog(Text("Stringrelirestageini").toStdString(), 3, MbYes | MbNo) == MrYes) {
        const bool ok = controllerUsable() &&
                        context().controller().changeDir(common().RemoteConfigDir, common().ProgramDir) &&
                        context().controller().getFile("stages.ini", "stages.ini", true);
        if (!ok) context().log(Text("stringstagesfetchfailed"));
    }
    mIni = std::make_unique<IniFile>(localPath());
    buildTree();
}

void StagesPage::buildTree()
{
    mFilling = true;
    mTreeView1->clear();
    std::string text;
    readWhole(localPath(), text);
    for (const StageCategory& c : ParseStageCategories(text)) {
        auto* node = new QTreeWidgetItem(mTreeView1, {QString::fromStdString(c.name)});
        for (const std::string& k : c.keys) new QTreeWidgetItem(node, {QString::fromStdString(k)});
    }
    mStages = StagesFile(*mIni).stages();
    mStringGrid4->setRowCount(2);
    mStringGrid4->setColumnCount(static_cast<int>(mStages.size()) + 1);
    mStringGrid4->setItem(0, 0, new QTableWidgetItem(QStringLiteral("Parameters")));
    IniFile& settings = context().settings();
    for (std::size_t i = 0; i < mStages.size(); ++i) {
        const int col = static_cast<int>(i) + 1;
        auto* header = new QTableWidgetItem(QString::fromStdString(mStages[i]));
        header->setFlags(header->flags() & ~Qt::ItemIsEditable);
        mStringGrid4->setItem(0, col, header);
        mStringGrid4->setColumnWidth(col, ReadStageColumnWidth(settings, col, 100));
    }
    mFilling = false;
    rebuildRows();
}

void StagesPage::rebuildRows()
{
    mFilling = true;
    mRowKeys.clear();
    StagesFile file(*mIni);
    for (int t = 0; t < mTreeView1->topLevelItemCount(); ++t) {
        QTreeWidgetItem* cat = mTreeView1->topLevelItem(t);
        if (!cat->isExpanded()) continue;
        for (int c = 0; c < cat->childCount(); ++c) mRowKeys.push_back(cat->child(c)->text(0).toStdString());
    }
    // With nothing expanded the grid keeps its header row and one empty row.
    mStringGrid4->setRowCount(std::max<int>(2, static_cast<int>(mRowKeys.size()) + 1));
    for (int r = 1; r < mStringGrid4->rowCount(); ++r)
        for (int col = 0; col < mStringGrid4->columnCount(); ++col) mStringGrid4->setItem(r, col, new QTableWidgetItem);
    for (std::size_t r = 0; r < mRowKeys.size(); ++r) {
        const int row = static_cast<int>(r) + 1;
        auto* name = new QTableWidgetItem(QString::fromStdString(mRowKeys[r]));
        name->setFlags(name->flags() & ~Qt::ItemIsEditable);
        mStringGrid4->setItem(row, 0, name);
        for (std::size_t s = 0; s < mStages.size(); ++s) {
            const std::string shown = StageCellText(file.raw(mStages[s], mRowKeys[r]));
            mStringGrid4->setItem(row, static_cast<int>(s) + 1, new QTableWidgetItem(QString::fromStdString(shown)));
        }
    }
    if (mRowKeys.empty())
        for (int col = 0; col < mStringGrid4->columnCount(); ++col)
            if (auto* it = mStringGrid4->item(1, col)) it->setFlags(it->flags() & ~Qt::ItemIsEditable);
    mFilling = false;
}

void StagesPage::TreeView1Expanded()
{
    if (!mFilling && mIni) rebuildRows();
}

void StagesPage::StringGrid4SelectCell(int row, int column)
{
    if (!mIni || row < 1 || column < 1 || row > static_cast<int>(mRowKeys.size()) ||
        column > static_cast<int>(mStages.size()))
        return;
    const std::optional<std::string> raw = StagesFile(*mIni).raw(mStages[column - 1], mRowKeys[row - 1]);
    mEdit102->setText(raw ? QString::fromStdString(*raw) : QStringLiteral("***"));
}

void StagesPage::StringGrid4SetEditText(int row, int column)
{
    if (mFilling || !mIni || row < 1 || column < 1 || row > static_cast<int>(mRowKeys.size()) ||
        column > static_cast<int>(mStages.size()))
        return;
    const QString typed = mStringGrid4->item(row, column)->text();
    // A line break or a ";" typed into a value would change the file's structure.
    if (typed.contains(QLatin1Char('\n')) || typed.contains(QLatin1Char('\r'))) return;
    StagesFile file(*mIni);
    if (!file.setValue(mStages[column - 1], mRowKeys[row - 1], typed.toStdString()))
        context().log(Text("stringstagewritefailed", QString::fromStdString(mIni->lastError())));
    StringGrid4SelectCell(row, column);
}

bool StagesPage::Button12Click()
{
    if (MsgDialog(Text("stringsavestages").toStdString(), 3, MbYes | MbNo) != MrYes) return false;
    const bool ok = controllerUsable() && context().controller().changeDir(common().RemoteConfigDir, common().ProgramDir) &&
                    context().controller().putFile("stages.ini", "stages.ini", true);
    context().log(Text(ok ? "stringstagesuploaded" : "stringstagesuploadfailed"));
    return ok;
}

void StagesPage::Button11Click()
{
    const bool ok = controllerUsable() && context().controller().changeDir(common().RemoteConfigDir, common().ProgramDir) &&
                    context().controller().getFile("StageDataBase.txt", "StageDataBase.txt", true);
    if (!ok) {
        context().log(Text("stringstagedbfailed"));
        return;
    }
    std::string text;
    readWhole(common().ProgramDir + "StageDataBase.txt", text);
    mComboBox14->clear();
    for (const std::string& n : StageSectionNames(text)) mComboBox14->addItem(QString::fromStdString(n));
    mComboBox14->setCurrentIndex(-1);
    mComboBox14->setEditText(QStringLiteral("SELECT"));
    mComboBox14->show();
}

void StagesPage::ComboBox14Change()
{
    const QString name = mComboBox14->currentText();
    if (mComboBox14->findText(name) < 0) return;  // only a stage of the list
    std::string error;
    const AppendResult r = AppendStageFromDatabase(common().ProgramDir + "StageDataBase.txt", localPath(),
                                                   name.toStdString(), &error);
    if (r == AppendResult::AlreadyPresent) context().log(Text("stringstagepresent", name));
    if (r == AppendResult::WriteFailed || r == AppendResult::ReadFailed)
        context().log(Text("stringstagewritefailed", QString::fromStdString(error)));
    mComboBox14->hide();
    // Re-reading the controller's file here would drop the stage just appended: the local copy is shown.
    fetchAndBuild(false);
}

void StagesPage::TabSheet3Hide() { saveSettings(context().settings()); }

void StagesPage::saveSettings(IniFile& settings)
{
    if (!mShownOnce) return;
    for (int col = 0; col < mStringGrid4->columnCount(); ++col)
        WriteStageColumnWidth(settings, col, mStringGrid4->columnWidth(col));
}

}  // namespace mvx::maint
