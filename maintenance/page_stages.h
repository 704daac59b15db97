#pragma once
// "Stages.ini" page (TabSheet3): the controller's stage configuration as a tree of categories
// and a grid with one column per stage; edits keep each value's comment, stages are added from
// the controller's stage database, and the file is uploaded back.

#include "maintenancecontext.h"
#include "stagesini.h"

#include <memory>

class QComboBox;
class QLineEdit;
class QPushButton;
class QTableWidget;
class QTreeWidget;

namespace mvx::maint {

class StagesPage : public MaintenancePage {
    Q_OBJECT
public:
    StagesPage(MaintenanceContext& context, QWidget* parent);
    ~StagesPage() override;

    void pageShown() override { TabSheet3Show(); }
    void pageHidden() override { TabSheet3Hide(); }
    // The window closed on this page: its column widths are kept as when the page is left.
    void saveSettings(IniFile& ini) override;

    void TabSheet3Show();
    void TabSheet3Hide();
    void TreeView1Expanded();
    void StringGrid4SelectCell(int row, int column);
    void StringGrid4SetEditText(int row, int column);
    // "Enregistrer": true when the file arrived on the controller.
    bool Button12Click();
    void Button11Click();
    void ComboBox14Change();

    std::string localPath() const;
    QTreeWidget* tree() const { return mTreeView1; }
    QTableWidget* grid() const { return mStringGrid4; }
    QLineEdit* rawField() const { return mEdit102; }
    QComboBox* stageChoice() const { return mComboBox14; }

private:
    void fetchAndBuild(bool ask);
    void buildTree();
    void rebuildRows();

    QTreeWidget* mTreeView1 = nullptr;
    QTableWidget* mStringGrid4 = nullptr;
    QLineEdit* mEdit102 = nullptr;
    QComboBox* mComboBox14 = nullptr;
    std::unique_ptr<IniFile> mIni;
    std::vector<std::string> mStages;
    std::vector<std::string> mRowKeys;
    bool mFilling = false;
    bool mShownOnce = false;  // the grid holds the columns of a file
};

void registerStagesTexts();

}  // namespace mvx::maint
