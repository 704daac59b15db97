// Settings of the main window: the mode menu, the Setup menu's numeric items, layouts, and the
// round trip through the settings file (written at closing, read at creation).
#include "mainwindow_fixture.h"

#include "core/common.h"
#include "core/inifile.h"
#include "mainwindow/mainsettings.h"

#include <QAction>
#include <QLabel>
#include <QLineEdit>
#include <Qsci/qsciscintilla.h>
#include <QDir>
#include <QLabel>
#include <QMenuBar>
#include <QPushButton>
#include <QTabWidget>
#include <QTest>

#include <algorithm>
#include <cmath>
#include <numbers>
#include <unistd.h>

namespace mvx::test {
namespace {

using SettingsTest = MainWindowTest;

bool TabVisible(TFmain& w, const char* page)
{
    QTabWidget* pages = w.pages();
    return pages->isTabVisible(pages->indexOf(w.findChild<QWidget*>(page)));
}

TEST_F(SettingsTest, ModeMenuItemsStoreTheModeAndShowItsPages)
{
    struct Row {
        const char* item;
        const char* stored;
        const char* label;
        bool sct, tcl, create;
    };
    // In simulation the direct mode falls back to SCT.
    const Row rows[] = {
        {"TCL1", "TCL", "TCL/PVT", false, true, true},
        {"SCT1", "SCT", "SCT", true, true, true},
        {"KVXdirect1", "SCT", "SCT", true, true, true},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.item);
        mWin->action(r.item)->trigger();
        EXPECT_EQ(SettingsIni()->readString("MAIN", "MODE", ""), r.stored);
        EXPECT_EQ(mWin->findChild<QLabel*>("LabelMode")->text().toStdString(), r.label);
        EXPECT_EQ(TabVisible(*mWin, "TabSheetSCT"), r.sct);
        EXPECT_EQ(TabVisible(*mWin, "TabSheetTCL"), r.tcl);
        EXPECT_EQ(!mWin->findChild<QPushButton*>("BitBtnCreateKVXFile")->isHidden(), r.create);
        EXPECT_TRUE(mWin->findChild<QPushButton*>("BitBtnAbort")->isHidden());
    }
    EXPECT_TRUE(mWin->action("SCT1")->isChecked());
    // Outside simulation the direct mode holds and hides create and verify.
    mWin->setSimulation(false);
    mWin->action("KVXdirect1")->trigger();
    EXPECT_EQ(SettingsIni()->readString("MAIN", "MODE", ""), "KVX DIRECT");
    EXPECT_FALSE(TabVisible(*mWin, "TabSheetTCL"));
    EXPECT_TRUE(mWin->findChild<QPushButton*>("BitBtnCreateKVXFile")->isHidden());
    EXPECT_FALSE(mWin->findChild<QPushButton*>("BitBtnAbort")->isHidden());
    // Chosen, the direct mode reads "KVX Direct"; the window shown, "Direct".
    auto* label = mWin->findChild<QLabel*>("LabelMode");
    EXPECT_EQ(label->text().toStdString(), "KVX Direct");
    mWin->show();
    EXPECT_EQ(label->text().toStdString(), "Direct");
    QTest::qWait(300);  // the activation that follows the showing
    EXPECT_EQ(label->text().toStdString(), "Direct");
    mWin->action("KVXdirect1")->trigger();
    EXPECT_EQ(label->text().toStdString(), "KVX Direct");
    // The remote MODE command: 3 refused in simulation, SCT selected.
    mWin->setSimulation(true);
    EXPECT_FALSE(mWin->job().JobMode(3));
    EXPECT_EQ(mWin->mode(), 1);
    EXPECT_TRUE(mWin->job().JobMode(2));
    EXPECT_FALSE(mWin->job().JobMode(7));
    EXPECT_EQ(mWin->mode(), 2);
}

TEST_F(SettingsTest, NumericSetupItemsAreRangeChecked)
{
    struct Row {
        const char* item;
        const char* answer;
        const char* section;
        const char* key;
        const char* stored;  // nullptr: refused, nothing stored
    };
    const Row rows[] = {
        {"Positionningspeed1", "abc", "SPEED", "POSITIONNING", nullptr},
        {"Positionningspeed1", "0", "SPEED", "POSITIONNING", nullptr},
        {"Positionningspeed1", "-3", "SPEED", "POSITIONNING", nullptr},
        {"Positionningspeed1", "12.5", "SPEED", "POSITIONNING", "12.5"},
        {"Workingspeed1", "1e400", "SPEED", "WORKING", nullptr},
        {"Workingspeed1", "2", "SPEED", "WORKING", "2"},
        {"Trajectoryacceleration1", "250", "TRAJECTORY", "ACCELERATION", "250"},
        {"Maxangulardiscontuinity1", "0", "TRAJECTORY", "DISCONTINUITY ANGLE MAX", nullptr},
        {"Nbdigits1", "16", "PRECISION", "NB DIGIT", nullptr},
        {"Nbdigits1", "-1", "PRECISION", "NB DIGIT", nullptr},
        {"Nbdigits1", "2.5", "PRECISION", "NB DIGIT", nullptr},
        {"Nbdigits1", "0", "PRECISION", "NB DIGIT", "0"},
        {"NbdigitsforPVT1", "2", "PRECISION", "NB DIGIT PVT", nullptr},
        {"NbdigitsforPVT1", "3", "PRECISION", "NB DIGIT PVT", "3"},
        {"NbdigitsforPVT1", "15", "PRECISION", "NB DIGIT PVT", "15"},
        {"Sampleperiod1", "0", "ENCODER", "PERIOD", nullptr},
        {"Sampleperiod1", "250", "ENCODER", "PERIOD", "250"},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(std::string(r.item) + " " + r.answer);
        SettingsIni()->deleteKey(r.section, r.key);
        const MainSettings before = mWin->settings();
        mAnswers.push_back(r.answer);
        mWin->action(r.item)->trigger();
        const std::optional<std::string> v = SettingsIni()->read(r.section, r.key);
        if (r.stored) {
            ASSERT_TRUE(v.has_value());
            EXPECT_EQ(*v, r.stored);
        } else {
            EXPECT_FALSE(v.has_value());
            const NumericSetting* s = FindNumericSetting(r.item);
            EXPECT_EQ(NumericSettingValue(mWin->settings(), *s), NumericSettingValue(before, *s));
        }
    }
    EXPECT_EQ(mWin->settings().PositioningSpeed, 12.5);
    EXPECT_EQ(mWin->findChild<QLineEdit*>("EditPositionSpeed")->text().toStdString(), "13");  // NB DIGIT is 0 now
}

TEST_F(SettingsTest, AngularStepIsAskedInDegreesAndStoredInRadians)
{
    mAnswers.push_back("10");
    mWin->action("Angularystep1")->trigger();
    ASSERT_EQ(mPrompts.size(), 1u);
    EXPECT_EQ(mPrompts[0], "Trajectory|Angulary step : ");
    EXPECT_NEAR(SettingsIni()->readFloat("TRAJECTORY", "ANGULARY STEP", 0), 10 * std::numbers::pi / 180, 1e-12);
    // Cancelling changes nothing.
    mWin->action("Angularystep1")->trigger();
    EXPECT_NEAR(mWin->settings().AngularStep, 10 * std::numbers::pi / 180, 1e-12);
}

TEST_F(SettingsTest, AddressIsStoredWithoutLeadingBlanks)
{
    mAnswers.push_back("   127.0.0.7");
    mWin->action("KVXAddress1")->trigger();
    EXPECT_EQ(SettingsIni()->readString("TCP-IP", "ADR IP", ""), "127.0.0.7");
    EXPECT_EQ(common().ControllerIp, "127.0.0.7");
}

TEST_F(SettingsTest, SettingsRoundTripThroughTheFile)
{
    mAnswers = {"7.25", "0.5"};
    mWin->action("Positionningspeed1")->trigger();
    mWin->action("Workingspeed1")->trigger();
    mWin->action("useFCodes1")->trigger();
    mWin->action("TCL1")->trigger();
    mWin->ExtendClick();
    char before[4096];
    ASSERT_NE(getcwd(before, sizeof before), nullptr);
    WriteFile(Tmp("TRJ1.PVT"), "rows");
    CloseWindow();
    // Closing in simulation empties the output folder without moving the current folder.
    char after[4096];
    ASSERT_NE(getcwd(after, sizeof after), nullptr);
    EXPECT_STREQ(before, after);
    EXPECT_FALSE(FileExists(Tmp("TRJ1.PVT")));
    EXPECT_TRUE(SettingsIni()->readBool("SIZE", "EXTENDED", false));

    MakeWindow();
    EXPECT_EQ(mWin->settings().PositioningSpeed, 7.25);
    EXPECT_EQ(mWin->settings().WorkingSpeed, 0.5);
    EXPECT_TRUE(mWin->settings().UseFCodes);
    EXPECT_TRUE(mWin->findChild<QLineEdit*>("EditPositionSpeed")->isHidden());
    EXPECT_FALSE(mWin->findChild<QLabel*>("LabelFCodes2")->isHidden());
    EXPECT_EQ(mWin->mode(), 2);
    EXPECT_TRUE(mWin->action("TCL1")->isChecked());
    EXPECT_TRUE(mWin->extendedLayout());
    EXPECT_EQ(mWin->machineConfig().PositioningSpeed, 7.25);

    // Closing in the reduced layout makes the next start reduced.
    mWin->ReduceClick();
    CloseWindow();
    EXPECT_FALSE(SettingsIni()->readBool("SIZE", "EXTENDED", true));
    MakeWindow();
    EXPECT_FALSE(mWin->extendedLayout());
    EXPECT_EQ(mWin->maximumWidth(), 188);
}

// A hand-edited settings file: values that are not usable numbers keep the defaults, each is
// named, and no INF or NAN ever reaches a script or a PVT file.
TEST_F(SettingsTest, UnusableNumbersInTheSettingsFileAreRefused)
{
    CloseWindow();
    const std::string million(1000000, '9');
    SettingsIni()->writeString("SPEED", "WORKING", million);
    SettingsIni()->writeString("SPEED", "POSITIONNING", "0");
    SettingsIni()->writeString("TRAJECTORY", "ACCELERATION", "1e999");
    SettingsIni()->writeString("TRAJECTORY", "ANGULARY STEP", "-0.1");
    SettingsIni()->writeString("TRAJECTORY", "DISCONTINUITY ANGLE MAX", "abc");
    SettingsIni()->writeString("PRECISION", "NB DIGIT", "99");
    SettingsIni()->writeString("NODE", "SIZE", "1" + million);
    SettingsIni()->writeString("TCP-IP server", "PORT", "99999999999");
    MakeWindow();
    const MainSettings defaults;
    EXPECT_EQ(mWin->settings().WorkingSpeed, defaults.WorkingSpeed);
    EXPECT_EQ(mWin->settings().PositioningSpeed, defaults.PositioningSpeed);
    EXPECT_EQ(mWin->settings().PvtAcceleration, defaults.PvtAcceleration);
    EXPECT_EQ(mWin->settings().AngularStep, defaults.AngularStep);
    EXPECT_EQ(mWin->settings().DiscontinuityAngleMax, defaults.DiscontinuityAngleMax);
    EXPECT_EQ(mWin->settings().NbDigit, defaults.NbDigit);
    EXPECT_EQ(mWin->settings().NodeSize, defaults.NodeSize);
    EXPECT_EQ(mWin->settings().ServerPort, defaults.ServerPort);
    const std::vector<std::string>& refused = mWin->refusedSettings();
    ASSERT_EQ(refused.size(), 8u);
    for (const char* key : {"SPEED/WORKING", "SPEED/POSITIONNING", "TRAJECTORY/ACCELERATION", "TRAJECTORY/ANGULARY STEP",
                            "TRAJECTORY/DISCONTINUITY ANGLE MAX", "PRECISION/NB DIGIT", "NODE/SIZE", "TCP-IP server/PORT"}) {
        EXPECT_TRUE(std::any_of(refused.begin(), refused.end(),
                                [&](const std::string& t) { return t.find(std::string(key) + " :") != std::string::npos; }))
            << key;
    }
    for (const std::string& t : refused) EXPECT_LT(t.size(), 200u) << "the value is not quoted";

    WriteFile(Gcode("part.nc"), "G0 X1\nG1 X5 Y1\nG1 X10 Y2\nG2 X20 Y2 I5 J0\nG0 X0 Y0\n");
    for (int mode : {1, 2}) {
        SCOPED_TRACE(mode);
        mWin->job().selectMode(mode);
        ASSERT_TRUE(ReadThroughDialog(Gcode("part.nc")));
        ASSERT_TRUE(mWin->BitBtnCreateKVXFileClick(true));
        for (const std::string& text : {mWin->tclText(), ReadFile(Tmp("TRJ1.PVT"))}) {
            EXPECT_EQ(text.find("INF"), std::string::npos);
            EXPECT_EQ(text.find("NAN"), std::string::npos);
        }
        EXPECT_NE(mWin->tclText().find("change_speed 1.0000 X"), std::string::npos);
    }
}

TEST_F(SettingsTest, LayoutsShowAndHideMenusAndPanels)
{
    mWin->ExtendClick();
    EXPECT_EQ(mWin->minimumWidth(), 800);
    EXPECT_TRUE(mWin->action("Reduce1")->isVisible());
    EXPECT_FALSE(mWin->action("Extend1")->isVisible());
    EXPECT_FALSE(mWin->pages()->isHidden());
    EXPECT_FALSE(mWin->job().JobExtend());
    EXPECT_TRUE(mWin->job().JobReduce());
    EXPECT_EQ(mWin->minimumWidth(), 188);
    EXPECT_EQ(mWin->maximumHeight(), 638);
    EXPECT_TRUE(mWin->pages()->isHidden());
    EXPECT_TRUE(mWin->findChild<QWidget*>("RightPanel")->isHidden());
    for (const char* m : {"Fichiers1", "Maintenance1", "Setup1"}) {
        QAction* a = mWin->findChild<QAction*>(m);
        ASSERT_NE(a, nullptr) << m;
        EXPECT_FALSE(a->isVisible());
        EXPECT_FALSE(a->isEnabled());
    }
    EXPECT_TRUE(mWin->job().JobExtend());
}

TEST_F(SettingsTest, DirectModeStoredStartsDirectAndActivationFallsBackInSimulation)
{
    SettingsIni()->writeString("MAIN", "MODE", "whatever");
    MakeWindow();
    EXPECT_EQ(mWin->mode(), 3);
    EXPECT_TRUE(mWin->action("KVXdirect1")->isChecked());
    mWin->show();
    QTest::qWait(300);
    EXPECT_EQ(mWin->mode(), 1);
    EXPECT_EQ(SettingsIni()->readString("MAIN", "MODE", ""), "SCT");
}

}  // namespace
}  // namespace mvx::test

namespace mvx::test {
namespace {

TEST_F(SettingsTest, LanguageItemsStoreTheNumberAndTickTheirItem)
{
    mWin->action("English1")->trigger();
    EXPECT_EQ(SettingsIni()->readInteger("MAIN", "LANGUE", 0), 2);
    EXPECT_TRUE(mWin->action("English1")->isChecked());
    // The window's texts were written back into the translator's file of language 2.
    IniFile lang(mRoot + "movantrix_LANGUAGE_2.INI");
    EXPECT_EQ(lang.readString("Caption", "Fmain-BitBtnReadGcode", ""), "&Read Gcode File");
    EXPECT_EQ(lang.readString("Menu", "Fmain-SCT1", ""), "SCT/ TCL");
    EXPECT_EQ(lang.readString("Strings", "stringcreatingTCL", ""), "Creating TCL file, please wait");
    // A translated caption is applied; the mode label keeps showing the mode.
    lang.writeString("Caption", "Fmain-BitBtnReadGcode", "&Lire");
    mWin->action("Other1")->trigger();
    mWin->action("English1")->trigger();
    EXPECT_EQ(mWin->findChild<QPushButton*>("BitBtnReadGcode")->text().toStdString(), "&Lire");
    EXPECT_EQ(mWin->findChild<QLabel*>("LabelMode")->text().toStdString(), "SCT");
    mWin->action("French1")->trigger();
    EXPECT_EQ(SettingsIni()->readInteger("MAIN", "LANGUE", 0), 1);
}

}  // namespace
}  // namespace mvx::test
