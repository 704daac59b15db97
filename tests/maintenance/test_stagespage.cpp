// The stage editor page against the simulator: fetch, grid, edit, add a stage, upload.
#include "link/controller.h"
#include "datacontext.h"
#include "maintenance/page_stages.h"

#include "app/dialogs.h"
#include "link/transfer.h"
#include "tests/support/simlink.h"

#include <QComboBox>
#include <QLineEdit>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTreeWidget>

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

using namespace mvx;
using namespace mvx::maint;

namespace {

const char* const kStages =
    "[STAGE_A]\r\n"
    ";----- Motor -----\r\n"
    "MaximumVelocity = 20 ; mm/s\r\n"
    "MaximumAcceleration = 80 ; mm/s2\r\n"
    "\r\n"
    "[STAGE_B]\r\n"
    ";----- Motor -----\r\n"
    "MaximumVelocity = 30 ; mm/s\r\n";

class StagesPageSim : public test::SimLinkTest {
protected:
    void SetUp() override
    {
        SimLinkTest::SetUp();
        SetMessageBoxHandler([this](const std::string& text, std::uint16_t) {
            asked.push_back(text);
            return answer;
        });
    }
    void TearDown() override
    {
        SetMessageBoxHandler({});
        SimLinkTest::TearDown();
    }
    QTemporaryDir dir;
    test::DataContext ctx{dir.filePath("s.ini").toStdString()};
    std::vector<std::string> asked;
    std::uint16_t answer = MrYes;
};

TEST_F(StagesPageSim, EditAddAndUploadKeepOtherBytes)
{
    const std::string original = sim().readFile("Config/stages.ini");
    sim().writeFile("Config/stages.ini", kStages);
    sim().writeFile("Config/StageDataBase.txt", "[LS10]\r\nMaximumVelocity = 5 ; mm/s\r\n[RV80]\r\nX = 1\r\n");
    ASSERT_TRUE(link::CurrentController().connectTransfer(true));

    StagesPage page(ctx, nullptr);
    page.TabSheet3Show();
    ASSERT_EQ(asked.size(), 1u);
    ASSERT_EQ(page.tree()->topLevelItemCount(), 1);
    page.tree()->topLevelItem(0)->setExpanded(true);
    QTableWidget* grid = page.grid();
    ASSERT_EQ(grid->rowCount(), 3);
    ASSERT_EQ(grid->columnCount(), 3);
    EXPECT_EQ(grid->item(0, 2)->text(), "STAGE_B");
    EXPECT_EQ(grid->item(1, 1)->text(), "20 ");
    EXPECT_EQ(grid->item(2, 2)->text(), "***");

    grid->item(1, 1)->setText("25");
    page.StringGrid4SelectCell(1, 1);
    EXPECT_EQ(page.rawField()->text(), "25 ; mm/s");

    page.Button11Click();
    ASSERT_EQ(page.stageChoice()->count(), 2);
    page.stageChoice()->setCurrentIndex(0);
    page.ComboBox14Change();
    EXPECT_EQ(asked.size(), 1u);  // the local file with the new stage is shown without asking
    EXPECT_EQ(page.grid()->columnCount(), 4);

    ASSERT_TRUE(page.Button12Click());
    const std::string expected = std::string(kStages).replace(std::string(kStages).find("MaximumVelocity = 20"), 27,
                                                              "MaximumVelocity =25 ; mm/s") +
                                 "[LS10]\r\nMaximumVelocity = 5 ; mm/s\r\n";
    EXPECT_EQ(sim().readFile("Config/stages.ini"), expected);
    sim().writeFile("Config/stages.ini", original);
}

// The widths the user gave the columns are kept when the page is left and when the window
// closes on it; a page never shown writes none.
TEST_F(StagesPageSim, ColumnWidthsAreKeptWhenLeftOrClosed)
{
    const std::string original = sim().readFile("Config/stages.ini");
    sim().writeFile("Config/stages.ini", kStages);
    ASSERT_TRUE(link::CurrentController().connectTransfer(true));
    {
        StagesPage unseen(ctx, nullptr);
        unseen.saveSettings(ctx.settings());
        EXPECT_FALSE(ctx.settings().sectionExists("GRID PARAM COL WIDTH"));
    }
    StagesPage page(ctx, nullptr);
    page.TabSheet3Show();
    page.grid()->setColumnWidth(1, 140);
    page.saveSettings(ctx.settings());  // what the window does as it closes
    EXPECT_EQ(ctx.settings().readInteger("GRID PARAM COL WIDTH", "0", 0), 150);
    EXPECT_EQ(ctx.settings().readInteger("GRID PARAM COL WIDTH", "1", 0), 140);
    page.grid()->setColumnWidth(2, 90);
    page.TabSheet3Hide();
    EXPECT_EQ(ctx.settings().readInteger("GRID PARAM COL WIDTH", "2", 0), 90);
    page.TabSheet3Show();
    EXPECT_EQ(page.grid()->columnWidth(1), 140);
    sim().writeFile("Config/stages.ini", original);
}

TEST_F(StagesPageSim, RefusedUploadIsReported)
{
    answer = MrNo;
    std::ofstream(common().ProgramDir + "stages.ini", std::ios::binary) << kStages;
    StagesPage page(ctx, nullptr);
    page.TabSheet3Show();
    EXPECT_FALSE(page.Button12Click());
    const int saved = common().TransferMode.load();
    answer = MrYes;
    common().TransferMode.store(TransferLocal);
    EXPECT_FALSE(page.Button12Click());
    common().TransferMode.store(saved);
    ASSERT_FALSE(ctx.lines.isEmpty());
    EXPECT_TRUE(ctx.lines.last().contains("n'a pas pu"));
}

}  // namespace

#include "maintenance/datapages.h"
#include "maintenance/maintenanceregistry.h"

namespace {

TEST(DataPages, RegisteredUnderTheirPageNames)
{
    registerDataPages();
    for (const char* name : {"TSAdjPID", "TabSheet3", "TSGA", "TabSheet4"})
        EXPECT_TRUE(static_cast<bool>(findMaintenancePage(name))) << name;
}

}  // namespace
