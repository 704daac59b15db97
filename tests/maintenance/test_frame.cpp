// The maintenance window without a controller: pages, model rule, log pane, settings, page plug-in.
#include "link/controller.h"
#include "link/linktexts.h"
#include "maintenance/maintenancewindow.h"

#include "core/common.h"
#include "app/dialogs.h"
#include "core/inifile.h"
#include "app/language.h"

#include <gtest/gtest.h>

#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QScreen>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <fstream>
#include <memory>
#include <string>
#include <vector>

using namespace mvx;
using namespace mvx::maint;

namespace {

std::vector<std::string> gMessages;

void recordMessages()
{
    gMessages.clear();
    SetMessageBoxHandler([](const std::string& text, std::uint16_t) -> std::uint16_t {
        gMessages.push_back(text);
        return MrOk;
    });
}

std::string readAll(const QString& path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) return {};
    return f.readAll().toStdString();
}

// A page that records what the window calls on it.
struct ProbePage : MaintenancePage {
    ProbePage(MaintenanceContext& c, QWidget* p) : MaintenancePage(c, p) { sLast = this; }
    ~ProbePage() override
    {
        if (sLast == this) sLast = nullptr;
    }
    void pageShown() override { calls.push_back("shown"); }
    void pageHidden() override { calls.push_back("hidden"); }
    void windowShown(int model) override { calls.push_back("window " + std::to_string(model)); }
    void loadSettings(IniFile& ini) override { loaded = ini.readString("CM", "JOG SINGLE", "1.00"); }
    void saveSettings(IniFile& ini) override
    {
        calls.push_back("save");
        ini.writeString("CM", "JOG SINGLE", loaded + "0");
    }
    void windowClosing() override { calls.push_back("closing"); }
    std::vector<std::string> calls;
    std::string loaded;
    static inline ProbePage* sLast = nullptr;
};

class FrameTest : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        registerMaintenancePage("TSSingle",
                                [](MaintenanceContext& c, QWidget* p) { return new ProbePage(c, p); });
    }
    void SetUp() override
    {
        recordMessages();
        common().ControllerUsable.store(0);
        SetControllerModel(ModelQ);
    }
    void TearDown() override { SetMessageBoxHandler(nullptr); }
};

}  // namespace

TEST(GroupStatusRule, EnablesEachControlOnItsStatuses)
{
    struct Row {
        std::optional<int> status;
        GroupControlStates want;
    };
    //                  init   home   motor  on     off    moves  jogbox jogon  jogoff
    const Row rows[] = {
        {0, {true, false, false, false, false, false, false, false, false}},
        {7, {true, false, false, false, false, false, false, false, false}},
        {9, {true, false, false, false, false, false, false, false, false}},
        {10, {false, false, true, false, true, true, true, true, false}},
        {17, {false, false, true, false, true, true, true, true, false}},
        {18, {false, false, true, false, false, false, false, false, false}},
        {20, {false, false, true, true, false, false, false, false, false}},
        {34, {false, false, true, true, false, false, false, false, false}},
        {42, {false, true, true, false, false, false, false, false, false}},
        {47, {false, false, true, false, false, false, true, false, true}},
        {-5, {false, false, false, false, false, false, false, false, false}},
        {std::nullopt, {false, false, false, false, false, false, false, false, false}},
    };
    for (const Row& r : rows) {
        const GroupControlStates g = GroupControlsFor(r.status);
        const std::string at = r.status ? std::to_string(*r.status) : "unknown";
        EXPECT_EQ(g.initialize, r.want.initialize) << at;
        EXPECT_EQ(g.home, r.want.home) << at;
        EXPECT_EQ(g.motorBox, r.want.motorBox) << at;
        EXPECT_EQ(g.motorOn, r.want.motorOn) << at;
        EXPECT_EQ(g.motorOff, r.want.motorOff) << at;
        EXPECT_EQ(g.moves, r.want.moves) << at;
        EXPECT_EQ(g.jogBox, r.want.jogBox) << at;
        EXPECT_EQ(g.jogEnable, r.want.jogEnable) << at;
        EXPECT_EQ(g.jogDisable, r.want.jogDisable) << at;
    }
}

TEST(PositionText, SixDecimalsWithoutLocale)
{
    EXPECT_EQ(PositionText(1.5).toStdString(), "1.500000");
    EXPECT_EQ(PositionText(-0.0000004).toStdString(), "0.000000");
    EXPECT_EQ(PositionText(123.4567891).toStdString(), "123.456789");
}

TEST_F(FrameTest, FifteenPagesInTabOrderGeneralFirst)
{
    TFmain_KVX w(nullptr, mvx::link::CurrentController());
    EXPECT_EQ(w.objectName(), "Fmain_KVX");
    EXPECT_EQ(w.windowTitle(), "KVX Control");
    const char* names[] = {"TSgeneral", "TSSingle", "TSmultiple", "TSXY",  "TSXYZ",  "TabSheet3", "TSIO",     "TSIOD",
                           "TabSheet1", "TSVAJ",    "TSPID",      "TSAdjPID", "TabSheet2", "TSGA", "TabSheet4"};
    const char* captions[] = {"Général", "\"Single\"", "Multiples", "XY",       "XYZ",    "Stages.ini",
                              "E/S Digit.", "E/S Digit", "E/S Alog.", "Param. axes", "PID", "Test PID",
                              "Divers",  "GlobalArray", "Site"};
    QTabWidget* tabs = w.pageControl();
    ASSERT_EQ(tabs->count(), 15);
    for (int i = 0; i < 15; ++i) {
        EXPECT_EQ(tabs->widget(i)->objectName().toStdString(), names[i]);
        EXPECT_EQ(tabs->tabText(i), QString::fromUtf8(captions[i]));
    }
    EXPECT_EQ(tabs->currentIndex(), 0);
    EXPECT_NE(w.findChild<QPlainTextEdit*>("RichEdit1"), nullptr);
    EXPECT_FALSE(w.positionTimer()->isActive());
    EXPECT_EQ(w.positionTimer()->interval(), 200);
}

TEST_F(FrameTest, DigitalPageFollowsTheControllerModel)
{
    struct Row {
        int model;
        bool tsio, tsiod;
    };
    const Row rows[] = {{ModelC, true, false}, {ModelQ, true, false}, {ModelD, false, true},
                        {ModelRL, false, true}, {ModelRLD, true, false}, {ModelNone, true, false}};
    TFmain_KVX w(nullptr, mvx::link::CurrentController());
    for (const Row& r : rows) {
        SetControllerModel(r.model);
        w.show();
        EXPECT_EQ(w.pageVisible("TSIO"), r.tsio) << r.model;
        EXPECT_EQ(w.pageVisible("TSIOD"), r.tsiod) << r.model;
        ASSERT_NE(ProbePage::sLast, nullptr);
        EXPECT_EQ(ProbePage::sLast->calls.back(), "window " + std::to_string(r.model));
        w.close();
    }
}

TEST_F(FrameTest, LogPaneSavesClearsAndReportsAFailedSave)
{
    QTemporaryDir dir;
    TFmain_KVX w(nullptr, mvx::link::CurrentController());
    w.log("première ligne");
    w.affiche("x\t1.5");
    const QString path = dir.filePath("log.MES");
    w.setSaveFileChooser([&] { return path; });
    w.Button82Click();
    EXPECT_EQ(readAll(path), "première ligne\nx\t1.5\n");
    EXPECT_TRUE(gMessages.empty());

    // A folder that does not exist: the message says so, nothing is left behind.
    const QString bad = dir.filePath("missing/log.MES");
    w.setSaveFileChooser([&] { return bad; });
    w.Button82Click();
    ASSERT_EQ(gMessages.size(), 1u);
    EXPECT_NE(gMessages[0].find("missing/log.MES"), std::string::npos);
    EXPECT_FALSE(QFile::exists(bad));

    // Cancelled dialog: no file, no message.
    w.setSaveFileChooser([] { return QString(); });
    w.Button82Click();
    EXPECT_EQ(gMessages.size(), 1u);

    QTest::mouseClick(w.findChild<QWidget*>("Button16"), Qt::LeftButton);
    EXPECT_TRUE(w.logPane()->toPlainText().isEmpty());
}

TEST_F(FrameTest, RegisteredPageIsPluggedInAndHearsTheWindow)
{
    IniFile& ini = *SettingsIni();
    ini.writeString("CM", "JOG SINGLE", "2.5");
    TFmain_KVX w(nullptr, mvx::link::CurrentController());
    auto* probe = qobject_cast<QWidget*>(w.page("TSSingle"));
    ASSERT_NE(ProbePage::sLast, nullptr);
    EXPECT_EQ(probe, ProbePage::sLast);
    EXPECT_EQ(ProbePage::sLast->loaded, "2.5");
    w.show();
    w.pageControl()->setCurrentIndex(1);
    w.pageControl()->setCurrentIndex(2);
    w.close();
    const std::vector<std::string> want = {"window 1", "shown", "hidden", "closing", "save"};
    EXPECT_EQ(ProbePage::sLast->calls, want);
    EXPECT_EQ(ini.readString("CM", "JOG SINGLE", ""), "2.50");
}

TEST_F(FrameTest, SettingsReadAtCreationAndWrittenAtClose)
{
    IniFile& ini = *SettingsIni();
    ini.writeString("FTP LOGIN", "USER", "alice");
    ini.writeString("FTP LOGIN", "PASS", "secret");
    ini.writeFloat("REBOOT", "DELAY", 33.5);
    ini.writeInteger("MAIN", "MODE DETECTION", 3);
    ini.writeFloat("TCPIP", "MIN TIME OUT", 2.0);
    ini.writeString("LANGUAGE", "THIRD", "Deutsch");
    ini.writeInteger("FMain_KVX", "top", 40);
    ini.writeInteger("FMain_KVX", "left", 50);
    ini.writeInteger("FMain_KVX", "height", 900);
    ini.writeInteger("FMain_KVX", "width", 1000);
    {
        TFmain_KVX w(nullptr, mvx::link::CurrentController());
        EXPECT_EQ(common().FtpUser, "alice");
        EXPECT_EQ(common().FtpPassword, "secret");
        EXPECT_DOUBLE_EQ(common().RebootDelay.load(), 33.5);
        EXPECT_EQ(common().DetectionMode.load(), 3);
        EXPECT_DOUBLE_EQ(common().MinSocketTimeout.load(), 2.0);
        auto* user = w.findChild<QLineEdit*>("UserTxt");
        auto* pass = w.findChild<QLineEdit*>("PassTxt");
        ASSERT_TRUE(user && pass);
        EXPECT_EQ(user->text(), "alice");
        EXPECT_EQ(w.findChild<QWidget*>("SpeedButton3")->property("text").toString(), "Deutsch");
        w.show();
        EXPECT_EQ(w.width(), 1000);
        EXPECT_EQ(w.height(), 900);
        user->setText("bob");
        pass->setText("pw2");
        w.resize(1100, 950);
        w.close();
    }
    EXPECT_EQ(ini.readString("FTP LOGIN", "USER", ""), "bob");
    EXPECT_EQ(ini.readString("FTP LOGIN", "PASS", ""), "pw2");
    EXPECT_EQ(ini.readInteger("FMain_KVX", "width", 0), 1100);
    EXPECT_EQ(ini.readInteger("FMain_KVX", "height", 0), 950);
    // A size stored on a bigger screen is fitted to this one: the bottom buttons stay in sight.
    ini.writeInteger("FMain_KVX", "height", 3000);
    ini.writeInteger("FMain_KVX", "width", 4000);
    {
        TFmain_KVX w(nullptr, mvx::link::CurrentController());
        w.show();
        const QRect free = w.screen()->availableGeometry();
        EXPECT_LE(w.width(), free.width());
        EXPECT_LE(w.height(), free.height());
        EXPECT_GE(w.height(), 700);
        w.close();
    }
    ini.writeInteger("MAIN", "MODE DETECTION", 5);
    ini.writeFloat("TCPIP", "MIN TIME OUT", 1.0);
    common().MinSocketTimeout.store(1.0);
    common().DetectionMode.store(5);
    common().FtpUser = common().FtpPassword = "Supervisorium";
    ini.writeString("FTP LOGIN", "USER", "Supervisorium");
    ini.writeString("FTP LOGIN", "PASS", "Supervisorium");
}

TEST_F(FrameTest, PositionerListFollowsTheConfigurationLists)
{
    const std::string path = common().ProgramDir + "system.ini";
    {
        std::ofstream f(path);
        f << "[GROUPS]\nSingleAxisInUse = S1, S2 ; two spindles-like groups\nSpindleInUse =\n"
             "XYInUse = No stage\nXYGantryInUse =\nXYZInUse = G3\nMultipleAxesInUse = No stage\n"
             "[S1]\nPositionerInUse = A\n[S2]\nPositionerInUse = No stage\n[G3]\nPositionerInUse = X, Y , Z\n";
    }
    TFmain_KVX w(nullptr, mvx::link::CurrentController());
    QComboBox box;
    box.addItem("old");
    w.FillPositionerList(&box);
    QStringList items;
    for (int i = 0; i < box.count(); ++i) items << box.itemText(i);
    EXPECT_EQ(items, (QStringList{"S1.A", "G3.X", "G3.Y", "G3.Z"}));
    EXPECT_EQ(box.currentText(), "S1.A");

    std::remove(path.c_str());
    w.FillPositionerList(&box);
    EXPECT_EQ(box.count(), 0);
    EXPECT_TRUE(box.currentText().isEmpty());
}

TEST_F(FrameTest, WithoutControllerErrorsStillGiveALine)
{
    TFmain_KVX w(nullptr, mvx::link::CurrentController());
    EXPECT_FALSE(w.decripte_erreur(-17).isEmpty());
    EXPECT_NE(w.decripte_erreur(-17).toStdString().find("-17"), std::string::npos);
    EXPECT_EQ(w.GroupStatusText(11).toStdString(), "Probleme de connection");
    EXPECT_FALSE(w.readGroupStatus("GROUP1").has_value());
    // The reboot buttons follow the installed reboot; "Reset KVX" also waits for the pool.
    EXPECT_FALSE(w.findChild<QWidget*>("Button18")->isEnabled());
    EXPECT_TRUE(w.findChild<QWidget*>("Button61")->isEnabled());
    w.setRebootHandler(nullptr);
    EXPECT_FALSE(w.findChild<QWidget*>("Button18")->isEnabled());
    EXPECT_FALSE(w.findChild<QWidget*>("Button61")->isEnabled());
    int reboots = 0;
    w.setRebootHandler([&](QProgressBar* bar) {
        ++reboots;
        EXPECT_NE(bar, nullptr);
    });
    EXPECT_FALSE(w.findChild<QWidget*>("Button18")->isEnabled());
    QTest::mouseClick(w.findChild<QWidget*>("Button61"), Qt::LeftButton);
    EXPECT_EQ(reboots, 1);
}

TEST_F(FrameTest, LanguageButtonsLoadTheControllerLanguage)
{
    TFmain_KVX w(nullptr, mvx::link::CurrentController());
    w.show();
    QTest::mouseClick(w.findChild<QWidget*>("SpeedButton2"), Qt::LeftButton);
    EXPECT_EQ(common().LanguageIndex.load(), 2);
    EXPECT_TRUE(QFile::exists(QString::fromStdString(LanguageFilePath(texts::Family::Controller, 2))));
    QTest::mouseClick(w.findChild<QWidget*>("SpeedButton1"), Qt::LeftButton);
    EXPECT_EQ(common().LanguageIndex.load(), 1);
}

TEST_F(FrameTest, PagesMayUseTheContextWhileTheWindowIsDestroyed)
{
    struct LastWords : MaintenancePage {
        LastWords(MaintenanceContext& c, QWidget* p) : MaintenancePage(c, p) {}
        ~LastWords() override
        {
            context().stopPositionReading();
            context().log("bye");
        }
    };
    registerMaintenancePage("TSGA", [](MaintenanceContext& c, QWidget* p) { return new LastWords(c, p); });
    {
        TFmain_KVX w(nullptr, mvx::link::CurrentController());
        w.show();
        w.pageControl()->setCurrentWidget(w.page("TSGA"));
    }
    registerMaintenancePage("TSGA", nullptr);
    // The link's lines reach no window that is gone.
    link::CurrentController().log("after the window");
}
