// The output selection, the axes setup and the about window's hidden switch.
#include "mainwindow_fixture.h"

#include "core/common.h"
#include "core/inifile.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QSpinBox>
#include <QTest>

namespace mvx::test {
namespace {

using SetupTest = MainWindowTest;

TEST_F(SetupTest, OutputsOnFirstRunAreGpio1Outputs1To5Level0)
{
    const auto rows = mIo->rows();
    for (int r = 0; r < TFIO::kRows; ++r) {
        SCOPED_TRACE(r);
        EXPECT_EQ(rows[static_cast<std::size_t>(r)].Gpio, 1);
        EXPECT_EQ(rows[static_cast<std::size_t>(r)].Output, r + 1);
        EXPECT_EQ(rows[static_cast<std::size_t>(r)].ActiveLevel, 0);
    }
    EXPECT_FALSE(mIo->extendedIo());
    // The conversion gets the same rows.
    EXPECT_EQ(mWin->machineConfig().M08M09.Output, 5);
}

TEST_F(SetupTest, ExtendedIoOnRlMovesEveryGpioToItsRangeMinimum)
{
    SetControllerModel(ModelRL);
    mIo->FormActivate();
    EXPECT_EQ(mIo->gpioEdit(0)->maximum(), 2);
    mIo->extendedBox()->setChecked(true);
    mIo->CheckBox1Click();
    for (int r = 0; r < TFIO::kRows; ++r) EXPECT_EQ(mIo->gpioEdit(r)->value(), 3) << r;
    // GPIO 4 has no outputs on an RL controller.
    mIo->gpioEdit(1)->setValue(4);
    EXPECT_TRUE(mIo->outputEdit(1)->isHidden());
    mIo->extendedBox()->setChecked(false);
    mIo->CheckBox1Click();
    for (int r = 0; r < TFIO::kRows; ++r) EXPECT_EQ(mIo->gpioEdit(r)->value(), 1) << r;
    EXPECT_EQ(mIo->outputEdit(0)->maximum(), 8);
}

TEST_F(SetupTest, ActivationFitsTheGpioRangesToTheModel)
{
    struct Row {
        int model;
        bool extended;  // "Extended I/O" ticked before the activation
        int lo, hi;
        bool boxShown, boxEnabled, boxTicked;
        const char* type;
    };
    const Row rows[] = {
        {ModelC, false, 1, 4, false, true, false, "KVX Type: C or Q"},
        {ModelQ, false, 1, 4, false, true, false, "KVX Type: C or Q"},
        {ModelD, false, 3, 6, true, false, true, "KVX Type: D"},
        {ModelRL, false, 1, 2, true, true, false, "KVX Type: RL"},
        {ModelRLD, true, 3, 6, true, true, true, "KVX Type: RL-D"},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.type);
        SetControllerModel(r.model);
        TFIO io;
        io.extendedBox()->setChecked(r.extended);
        io.FormActivate();
        for (int g = 0; g < TFIO::kRows; ++g) {
            EXPECT_EQ(io.gpioEdit(g)->minimum(), r.lo);
            EXPECT_EQ(io.gpioEdit(g)->maximum(), r.hi);
            EXPECT_EQ(io.gpioEdit(g)->value(), r.lo);  // stored GPIO 1, brought into the range
        }
        EXPECT_EQ(!io.extendedBox()->isHidden(), r.boxShown);
        EXPECT_EQ(io.extendedBox()->isEnabled(), r.boxEnabled);
        EXPECT_EQ(io.extendedBox()->isChecked(), r.boxTicked);
        EXPECT_EQ(io.findChild<QLabel*>("Panel1")->text().toStdString(), r.type);
    }
}

TEST_F(SetupTest, OutputsOkWritesTheRowsAndANewWindowReadsThem)
{
    mIo->gpioEdit(2)->setValue(2);
    mIo->outputEdit(2)->setValue(6);
    mIo->extendedBox()->setChecked(true);
    mIo->BitBtn1Click();
    EXPECT_EQ(SettingsIni()->readInteger("M04M05", "GROUP", -1), 1);
    EXPECT_EQ(SettingsIni()->readInteger("M04M05", "OUTPUT", -1), 6);
    EXPECT_EQ(SettingsIni()->readInteger("M04M05", "SENSE", -1), 0);
    EXPECT_TRUE(SettingsIni()->readBool("MAIN", "EXTENDED_IO", false));
    TFIO again;
    EXPECT_EQ(again.rows()[2].Gpio, 2);
    EXPECT_EQ(again.rows()[2].Output, 6);
    EXPECT_TRUE(again.extendedIo());
}

TEST(PositionerNames, GroupAndAxisParts)
{
    struct Row {
        const char* full;
        const char* group;
        const char* axis;
    };
    const Row rows[] = {
        {"MULTI.Pos X", "MULTI", "PosX"},
        {"G.A.B", "G", "A.B"},
        {"NoDot Name", "", "NoDotName"},
        {"ABCDEFGHIJKLMNOPQRSTUVWXYZ0123.Y", "ABCDEFGHIJKLMNOPQRSTUVWXY", "Y"},
    };
    for (const Row& r : rows) {
        const PositionerName n = SplitPositionerName(r.full);
        EXPECT_EQ(n.Group, r.group) << r.full;
        EXPECT_EQ(n.Axis, r.axis) << r.full;
    }
}

TEST_F(SetupTest, AxesSetupTakesGroupAndAxisNamesFromTheLists)
{
    mAxes->setPositionerSource([] { return std::vector<std::string>{"XYZ.Pos X", "XYZ.Pos Y", "XYZ.Z"}; });
    mAxes->FormCreate();
    mAxes->axisList(0)->setCurrentIndex(0);
    mAxes->axisList(1)->setCurrentIndex(1);
    mAxes->axisList(2)->setCurrentIndex(2);
    mAxes->BitBtn1Click();
    EXPECT_EQ(mAxes->groupName(), "XYZ");
    EXPECT_EQ(mAxes->axisNames(), (std::array<std::string, 3>{"PosX", "PosY", "Z"}));
    EXPECT_EQ(SettingsIni()->readString("POSITIONER NAME", "AXIS X", ""), "XYZ.Pos X");
    const MachineConfig c = mWin->machineConfig();
    EXPECT_EQ(c.GroupName, "XYZ");
    EXPECT_EQ(c.AxisNames[0], "PosX");
    // A new window selects the stored names even before a configuration lists them.
    TFaxes again;
    EXPECT_EQ(again.groupName(), "XYZ");
    EXPECT_EQ(again.axisNames()[1], "PosY");
}

TEST_F(SetupTest, AboutPictureRevealsDiagnosticViewsByMode)
{
    mWin->job().selectMode(2);
    mWin->ExtendClick();
    mAbout->show();
    QTest::mouseDClick(mAbout->image(2), Qt::LeftButton);
    const int tab = mWin->pages()->indexOf(mWin->tab3D());
    EXPECT_TRUE(mWin->pages()->isTabVisible(tab));
    EXPECT_TRUE(mWin->action("PVT1")->isVisible());
    EXPECT_FALSE(mWin->action("DessinerSCT1")->isVisible());
    EXPECT_TRUE(mWin->serviceMenusVisible());
    EXPECT_TRUE(mWin->action("KVX1")->isVisible());
    EXPECT_TRUE(mWin->job().JobShow3D());

    mWin->job().selectMode(1);
    QTest::mouseDClick(mAbout->image(4), Qt::LeftButton);
    EXPECT_TRUE(mWin->action("DessinerSCT1")->isVisible());

    QTest::mouseClick(mAbout->notice(), Qt::LeftButton);
    EXPECT_FALSE(mWin->pages()->isTabVisible(tab));
    EXPECT_FALSE(mWin->action("PVT1")->isVisible());
    EXPECT_FALSE(mWin->action("DessinerSCT1")->isVisible());
    EXPECT_FALSE(mWin->serviceMenusVisible());
    EXPECT_FALSE(mWin->job().JobShow3D());
    mAbout->hide();
    // The about window shows the longer model list only.
    EXPECT_TRUE(mAbout->findChild<QLabel*>("Image1")->isHidden());
}

}  // namespace
}  // namespace mvx::test
