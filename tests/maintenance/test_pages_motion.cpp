// The Single, Multiples, XY and XYZ pages against the simulator: the group-status rule, the
// group handlers, moves, held jog and joysticks, and a PVT run.
#include "link/controller.h"
#include "pages_fixture.h"

#include "maintenance/joystickbox.h"
#include "maintenance/page_multiple.h"
#include "maintenance/page_single.h"
#include "link/transfer.h"

#include <QLabel>

#include <QGroupBox>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPushButton>
#include <QTableWidget>

#include <cmath>
#include <filesystem>

namespace mvx::test {
namespace {

template <class Page>
class MotionPageTest : public PagesTest {
protected:
    template <class... A>
    void open(A... args)
    {
        host = std::make_unique<QWidget>();
        page = new Page(ctx, host.get(), args...);
        ctx.pages = {page};
        host->resize(800, 900);
        host->show();
        ctx.show(page);
    }
    void TearDown() override
    {
        host.reset();
        PagesTest::TearDown();
    }
    template <class T = QWidget>
    T* w(const char* name)
    {
        T* x = page->template findChild<T*>(name);
        EXPECT_NE(x, nullptr) << name;
        return x;
    }
    void click(const char* name) { QTest::mouseClick(w<QPushButton>(name), Qt::LeftButton); }
    // The group made ready for moves (initialised and homed).
    void ready(const char* init, const char* home)
    {
        click(init);
        ASSERT_TRUE(w<QPushButton>(home)->isEnabled());
        click(home);
        ASSERT_TRUE(waitFor([&] { return sim().groupStatus(page->group()) == 11; }));
        page->refresh();
    }

    PagesContext ctx;  // outlives the page
    std::unique_ptr<QWidget> host;
    Page* page = nullptr;
};

using SinglePageTest = MotionPageTest<maint::SinglePage>;

struct RuleRow {
    int status;
    bool init, home, motorBox, motorOn, motorOff, moves, jogBox, jogEnable, jogDisable;
};

TEST_F(SinglePageTest, ControlsFollowTheGroupStatus)
{
    open();
    const RuleRow rows[] = {
        {7, true, false, false, false, false, false, false, false, false},
        {42, false, true, true, false, false, false, false, false, false},
        {12, false, false, true, false, true, true, true, true, false},
        {47, false, false, true, false, false, false, true, false, true},
        {20, false, false, true, true, false, false, false, false, false},
    };
    for (const RuleRow& r : rows) {
        sim().setGroupStatus("GROUP3", r.status);
        page->refresh();
        SCOPED_TRACE(r.status);
        EXPECT_EQ(w("ButtonInitSingle")->isEnabled(), r.init);
        EXPECT_EQ(w("ButtonOrigineSingle")->isEnabled(), r.home);
        EXPECT_EQ(w("GroupBoxOnoffSingle")->isEnabled(), r.motorBox);
        EXPECT_EQ(w("ButtonMoteuronSingle")->isEnabled(), r.motorOn);
        EXPECT_EQ(w("ButtonMoteurOffsingle")->isEnabled(), r.motorOff);
        EXPECT_EQ(w("GroupBoxRelatifSingle")->isEnabled(), r.moves);
        EXPECT_EQ(w("ButtonAbsoluSingle")->isEnabled(), r.moves);
        EXPECT_EQ(w("GroupBoxJogSingle")->isEnabled(), r.jogBox);
        EXPECT_EQ(w("ButtonActivateCMSingle")->isEnabled(), r.jogEnable);
        EXPECT_EQ(w("ButtonDesactiveCMSingle")->isEnabled(), r.jogDisable);
        EXPECT_EQ(w("ButtonCMPlusSingle")->isEnabled(), r.jogDisable);
        EXPECT_EQ(w("ButtonCMmoinsSingle")->isEnabled(), r.jogDisable);
    }
    // A status that cannot be read leaves no motion control enabled.
    KvxFault f;
    f.function = "GroupStatusGet";
    f.kind = "error";
    f.code = -19;
    sim().setFault(f);
    page->refresh();
    EXPECT_FALSE(w("ButtonInitSingle")->isEnabled());
    EXPECT_FALSE(w("GroupBoxRelatifSingle")->isEnabled());
    EXPECT_FALSE(w("GroupBoxJogSingle")->isEnabled());
    EXPECT_FALSE(ctx.lines.empty());
}

TEST_F(SinglePageTest, InitHomeMotorMovesStatusAndKill)
{
    open();
    EXPECT_EQ(w<QComboBox>("CBsingle")->currentText(), "GROUP3");
    ready("ButtonInitSingle", "ButtonOrigineSingle");
    click("ButtonMoteurOffsingle");
    EXPECT_EQ(sim().groupStatus("GROUP3"), 20);
    EXPECT_TRUE(w("ButtonMoteuronSingle")->isEnabled());
    click("ButtonMoteuronSingle");
    EXPECT_EQ(sim().groupStatus("GROUP3"), 13);

    w<QLineEdit>("Edit6")->setText("2.5");
    click("ButtonAbsoluSingle");
    EXPECT_TRUE(waitFor([&] {
        const auto p = sim().positions("GROUP3");
        return !p.empty() && std::fabs(p[0] - 2.5) < 1e-9 && sim().groupStatus("GROUP3") == 12;
    }));
    w<QLineEdit>("Edit5")->setText("1.00");
    click("ButtonRelatifMoinsSingle");
    EXPECT_TRUE(waitFor([&] { return std::fabs(sim().positions("GROUP3")[0] - 1.5) < 1e-9; }));
    const auto rel = callsOf("GroupMoveRelative");
    ASSERT_EQ(rel.size(), 1u);
    EXPECT_EQ(rel[0][0], "GROUP3");
    EXPECT_DOUBLE_EQ(number(rel[0][1]), -1.0);
    // The position display shows the reading.
    EXPECT_TRUE(waitFor([&] { return w<QLineEdit>("Edit4")->text() == "1.500000"; }));

    waitFor([&] { return sim().groupStatus("GROUP3") == 12; });
    click("Buttonstatus");
    ASSERT_FALSE(ctx.lines.empty());
    const std::string& line = ctx.lines.back();
    EXPECT_EQ(line.front(), '"');
    EXPECT_NE(line.find("\"  [12]"), std::string::npos) << line;

    // The reading switch.
    click("Button32");
    EXPECT_EQ(w<QPushButton>("Button32")->text(), "Lire positions");
    EXPECT_FALSE(ctx.positionReadingOn());
    click("Button32");
    EXPECT_EQ(w<QPushButton>("Button32")->text(), "Arrêt lectures");
    EXPECT_TRUE(ctx.positionReadingOn());

    click("ButtonKillSingle");
    EXPECT_EQ(sim().groupStatus("GROUP3"), 7);
    EXPECT_TRUE(w("ButtonInitSingle")->isEnabled());
}

TEST_F(SinglePageTest, FieldsThatAreNotNumbersSendNothingAndRefusedMovesAreLogged)
{
    open();
    ready("ButtonInitSingle", "ButtonOrigineSingle");
    sim().clearRequestLog();
    w<QLineEdit>("Edit6")->setText("2,5");
    click("ButtonAbsoluSingle");
    w<QLineEdit>("Edit5")->setText("");
    click("ButtonRelatifPlusSingle");
    EXPECT_TRUE(callsOf("GroupMoveAbsolute").empty());
    EXPECT_TRUE(callsOf("GroupMoveRelative").empty());
    EXPECT_TRUE(ctx.logged("Valeur incorrecte : 2,5"));

    // Beyond the travel limits: the controller refuses, and the log says so.
    w<QLineEdit>("Edit6")->setText("5000");
    click("ButtonAbsoluSingle");
    EXPECT_TRUE(waitFor([&] { return ctx.logged("Déplacement absolu : "); }));
}

TEST_F(SinglePageTest, JogArrowSendsSpeedThenStopAndLeavingThePageEndsJogMode)
{
    open();
    ready("ButtonInitSingle", "ButtonOrigineSingle");
    click("ButtonActivateCMSingle");
    EXPECT_EQ(sim().groupStatus("GROUP3"), 47);
    ASSERT_TRUE(w("ButtonCMPlusSingle")->isEnabled());
    EXPECT_FALSE(w("ButtonActivateCMSingle")->isEnabled());
    w<QLineEdit>("Edit3")->setText("2.5");
    sim().clearRequestLog();
    QTest::mousePress(w<QPushButton>("ButtonCMPlusSingle"), Qt::LeftButton);
    QTest::mouseRelease(w<QPushButton>("ButtonCMPlusSingle"), Qt::LeftButton);
    QTest::mousePress(w<QPushButton>("ButtonCMmoinsSingle"), Qt::LeftButton);
    QTest::mouseRelease(w<QPushButton>("ButtonCMmoinsSingle"), Qt::LeftButton);
    const auto jog = callsOf("GroupJogParametersSet");
    ASSERT_EQ(jog.size(), 4u);
    const double expected[4] = {2.5, 0.0, -2.5, 0.0};
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(jog[i][0], "GROUP3");
        EXPECT_DOUBLE_EQ(number(jog[i][jog[i].size() - 2]), expected[i]);
        EXPECT_DOUBLE_EQ(number(jog[i].back()), 5.0);
    }

    page->pageHidden();
    EXPECT_EQ(callsOf("GroupJogModeDisable").size(), 1u);
    EXPECT_EQ(sim().groupStatus("GROUP3"), 14);
}

TEST_F(SinglePageTest, StopIsTheLastWordWhenTheReleaseComesWhileThePressWaits)
{
    open();
    ready("ButtonInitSingle", "ButtonOrigineSingle");
    click("ButtonActivateCMSingle");
    KvxFault f;
    f.function = "GroupJogParametersSet";
    f.kind = "late";
    f.delay = 0.4;
    f.count = 1;
    sim().setFault(f);
    sim().clearRequestLog();
    auto* plus = w<QPushButton>("ButtonCMPlusSingle");
    QTimer::singleShot(100, plus, [plus] { QTest::mouseRelease(plus, Qt::LeftButton); });
    QTest::mousePress(plus, Qt::LeftButton);
    const auto jog = callsOf("GroupJogParametersSet");
    ASSERT_GE(jog.size(), 3u);
    EXPECT_DOUBLE_EQ(number(jog.front()[1]), 1.0);
    EXPECT_DOUBLE_EQ(number(jog.back()[1]), 0.0);
}

using MultiplePageTest = MotionPageTest<maint::MultiplePage>;

TEST_F(MultiplePageTest, GridDrivesMovesAndJog)
{
    open();
    auto* grid = w<QTableWidget>("StringGrid1");
    ASSERT_EQ(grid->rowCount(), 3);
    EXPECT_EQ(grid->item(0, 0)->text(), "X");
    EXPECT_EQ(grid->item(2, 0)->text(), "Z");
    for (int r = 0; r < 3; ++r) grid->item(r, 1)->setText(QString::number(r + 1));
    ready("ButtonInitMultiples", "ButtonOrigineMultiples");
    sim().clearRequestLog();
    click("ButtonRelatifMoinsMultiples");
    ASSERT_TRUE(waitFor([&] { return !callsOf("GroupMoveRelative").empty(); }));
    const auto rel = callsOf("GroupMoveRelative").front();
    ASSERT_EQ(rel.size(), 4u);
    EXPECT_EQ(rel[0], "GROUP1");
    for (int i = 0; i < 3; ++i) EXPECT_DOUBLE_EQ(number(rel[1 + i]), -(i + 1.0));
    // The position column follows the reading.
    EXPECT_TRUE(waitFor([&] { return grid->item(2, 4)->text() == "-3.000000"; }));

    // The rows are kept per positioner.
    page->saveSettings(ctx.settings());
    EXPECT_EQ(ctx.settings().readString("GROUP1.Y", "DEPL CM RELATIVE", ""), "2");

    click("ButtonEtatMultiples");
    EXPECT_NE(ctx.lines.back().find("0 "), std::string::npos);
    EXPECT_NE(ctx.lines.back().find("[12]"), std::string::npos) << ctx.lines.back();
}

TEST_F(MultiplePageTest, AGroupOfMoreThanEightPositionersFillsEightRowsAndSaysSo)
{
    std::string ini = kSystemIni;
    ini.replace(ini.find("MultipleAxesInUse = GROUP1"), 26, "MultipleAxesInUse = GROUP1, GROUP9");
    ini += "[GROUP9]\nPositionerNumber = 9\nPositionerInUse = A, B, C, D, E, F, G, H, I\n";
    std::ofstream(link::LocalSystemIniPath()) << ini;
    open();
    w<QComboBox>("CBmultiple")->setCurrentText("GROUP9");
    auto* grid = w<QTableWidget>("StringGrid1");
    EXPECT_EQ(grid->rowCount(), 8);
    EXPECT_EQ(grid->item(7, 0)->text(), "H");
    EXPECT_TRUE(ctx.logged("plus de 8 positionneurs"));
    // GROUP1's edits were kept when the grid changed group.
    w<QComboBox>("CBmultiple")->setCurrentText("GROUP1");
    grid->item(0, 3)->setText("7.5");
    w<QComboBox>("CBmultiple")->setCurrentText("GROUP9");
    EXPECT_EQ(ctx.settings().readString("GROUP1.X", "SPEED CM JOG", ""), "7.5");
    std::ofstream(link::LocalSystemIniPath()) << kSystemIni;
}

TEST_F(MultiplePageTest, PvtFileIsUploadedAndRunAndItsResultReported)
{
    ASSERT_TRUE(link::CurrentController().connectTransfer(false));
    open();
    ready("ButtonInitMultiples", "ButtonOrigineMultiples");
    const std::string local = common().ProgramDir + "run.pvt";
    std::ofstream(local) << "0.5 1.0 0.0 0.5 0.0 0.2 0.0\n0.5 1.0 0.0 0.5 0.0 0.2 0.0\n";
    page->setFileChooser([&] { return QString::fromStdString(local); });
    sim().clearRequestLog();
    click("ButtonExecutePVTmultiples");
    EXPECT_TRUE(sim().fileExists("Public/Trajectories/run.pvt"));
    const auto run = callsOf("MultipleAxesPVTExecution");
    ASSERT_EQ(run.size(), 1u);
    EXPECT_EQ(run[0][0], "GROUP1");
    EXPECT_EQ(run[0][1], "run.pvt");
    EXPECT_TRUE(ctx.logged("Trajectoire PVT exécutée : run.pvt"));
    const auto p = sim().positions("GROUP1");
    ASSERT_EQ(p.size(), 3u);
    EXPECT_NEAR(p[0], 2.0, 1e-6);

    // A file that cannot be uploaded is not run (an older one of that name would be).
    page->setFileChooser([&] { return QString::fromStdString(common().ProgramDir + "missing.pvt"); });
    sim().clearRequestLog();
    click("ButtonExecutePVTmultiples");
    EXPECT_TRUE(callsOf("MultipleAxesPVTExecution").empty());
    EXPECT_TRUE(ctx.logged("missing.pvt"));
    // Cancelling the file dialog does nothing.
    page->setFileChooser([] { return QString(); });
    click("ButtonChargePVTmultiples");
    EXPECT_TRUE(callsOf("MultipleAxesPVTExecution").empty());
    link::CurrentController().disconnectTransfer();
}

struct StickRow {
    int w, h, x, y;
    bool zOnly;
    double vmax;
    std::array<double, 3> expected;
};

TEST(JoystickVelocities, CentreOffsetScaledAndClampedToFullScale)
{
    const StickRow rows[] = {
        {200, 100, 150, 25, false, 10, {5, 5, 0}},
        {200, 100, 100, 50, false, 10, {0, 0, 0}},
        {200, 100, 0, 100, false, 10, {-10, -10, 0}},
        {200, 100, 900, -400, false, 10, {10, 10, 0}},  // beyond the box: full scale, no more
        {30, 100, 15, 0, true, 4, {0, 0, 4}},
        {30, 100, 3, 75, true, 4, {0, 0, -2}},
    };
    for (const StickRow& r : rows) {
        const auto v = maint::JoystickBox::Velocities(r.w, r.h, r.x, r.y, r.zOnly, r.vmax);
        for (int i = 0; i < 3; ++i) EXPECT_DOUBLE_EQ(v[i], r.expected[i]) << r.x << "," << r.y << " axis " << i;
    }
}

class PlanePageTest : public MotionPageTest<maint::PlanePage> {
protected:
    void press(QWidget* box, QPoint p) { QTest::mousePress(box, Qt::LeftButton, {}, p); }
    void drag(QWidget* box, QPoint p)
    {
        QMouseEvent e(QEvent::MouseMove, QPointF(p), box->mapToGlobal(QPointF(p)), Qt::NoButton, Qt::LeftButton, {});
        QApplication::sendEvent(box, &e);
    }
    void release(QWidget* box, QPoint p) { QTest::mouseRelease(box, Qt::LeftButton, {}, p); }
    static std::vector<double> velocities(const std::vector<std::string>& call, int n)
    {
        std::vector<double> v;
        for (int i = 0; i < n; ++i) v.push_back(number(call[1 + 2 * i]));  // velocity, acceleration pairs
        return v;
    }
    static std::vector<double> values(const std::vector<std::string>& call, int n)
    {
        std::vector<double> v;
        for (int i = 0; i < n; ++i) v.push_back(number(call[1 + i]));
        return v;
    }
};

TEST_F(PlanePageTest, XYJoystickJogsWhileHeldAndStopsOnRelease)
{
    open(2);
    auto* box = w<maint::JoystickBox>("PaintBox1");
    box->setFixedSize(200, 100);
    EXPECT_FALSE(w("PanelJogXY")->isEnabled());
    ready("ButtonInitXY", "ButtonOrigineXY");
    click("ButtonActivateJOGXY");
    EXPECT_EQ(sim().groupStatus("GROUP2"), 47);
    ASSERT_TRUE(w("PanelJogXY")->isEnabled());
    w<QLineEdit>("Edit10")->setText("10");
    w<QLineEdit>("Edit11")->setText("2");
    sim().clearRequestLog();
    box->update();
    QApplication::processEvents();  // painting sends nothing
    EXPECT_TRUE(callsOf("GroupJogParametersSet").empty());

    press(box, {150, 25});
    EXPECT_TRUE(maint::JoystickBox::JoystickActive());
    drag(box, {900, -300});
    release(box, {900, -300});
    EXPECT_FALSE(maint::JoystickBox::JoystickActive());
    const auto jog = callsOf("GroupJogParametersSet");
    ASSERT_EQ(jog.size(), 3u);
    EXPECT_EQ(jog[0][0], "GROUP2");
    EXPECT_EQ(velocities(jog[0], 2), (std::vector<double>{5, 5}));
    EXPECT_DOUBLE_EQ(number(jog[0][2]), 2.0);
    EXPECT_EQ(velocities(jog[1], 2), (std::vector<double>{10, 10}));
    EXPECT_EQ(velocities(jog[2], 2), (std::vector<double>{0, 0}));
    EXPECT_DOUBLE_EQ(number(jog[2][4]), 2.0);

    // A hold that the page loses (hidden) still ends with a stop.
    press(box, {150, 25});
    host->hide();
    const auto after = callsOf("GroupJogParametersSet");
    auto listed = [&] {
        std::string t;
        for (const KvxRequest& r : sim().requestLog()) t += r.text + "\n";
        return t;
    };
    ASSERT_EQ(after.size(), 5u) << listed();
    EXPECT_EQ(velocities(after.back(), 2), (std::vector<double>{0, 0}));
    // The focus left the jog controls too: jog mode may go off, but only after the stop.
    QApplication::processEvents();
    std::size_t lastJog = 0, disable = 0, i = 0;
    for (const KvxRequest& r : sim().requestLog()) {
        ++i;
        if (r.text.rfind("GroupJogParametersSet(", 0) == 0) lastJog = i;
        if (r.text.rfind("GroupJogModeDisable(", 0) == 0) disable = i;
    }
    if (disable) {
        EXPECT_GT(disable, lastJog) << listed();
    }
    EXPECT_TRUE(callsOf("ErrorStringGet").empty()) << listed();
    host->show();

    sim().setGroupStatus("GROUP2", 12);
    page->refresh();
    EXPECT_FALSE(w("PanelJogXY")->isEnabled());
    EXPECT_TRUE(w("ButtonActivateJOGXY")->isEnabled());
}

// Jog mode goes off when the focus leaves the jog controls for another control or window; the
// joystick itself and the disable button keep it on.
struct JogExitRow {
    int axes;
    const char* group;
    const char* init;
    const char* home;
    const char* activate;
    const char* deactivate;
    const char* stick;
    const char* elsewhere;
};

void PrintTo(const JogExitRow& r, std::ostream* os) { *os << (r.axes == 2 ? "XY" : "XYZ"); }

class PlanePageJogExit : public PlanePageTest, public ::testing::WithParamInterface<JogExitRow> {};

TEST_P(PlanePageJogExit, FocusLeavingTheJogControlsEndsJogMode)
{
    const JogExitRow r = GetParam();
    open(r.axes);
    host->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(host.get()));
    ready(r.init, r.home);
    auto jogOn = [&] {
        click(r.activate);
        ASSERT_EQ(sim().groupStatus(r.group), 47);
        ASSERT_TRUE(w(r.deactivate)->isEnabled());
    };
    auto settle = [] {
        for (int i = 0; i < 5; ++i) QApplication::processEvents();
    };

    // The focus goes from the disable button to the joystick and back: jog stays on.
    jogOn();
    w(r.deactivate)->setFocus(Qt::TabFocusReason);
    settle();
    w(r.stick)->setFocus(Qt::MouseFocusReason);
    settle();
    w(r.deactivate)->setFocus(Qt::TabFocusReason);
    settle();
    EXPECT_EQ(sim().groupStatus(r.group), 47);
    EXPECT_TRUE(callsOf("GroupJogModeDisable").empty());

    // To another field of the page: jog mode off, the page follows.
    sim().clearRequestLog();
    w(r.elsewhere)->setFocus(Qt::TabFocusReason);
    ASSERT_TRUE(waitFor([&] { return sim().groupStatus(r.group) != 47; }));
    EXPECT_EQ(callsOf("GroupJogModeDisable").size(), 1u);
    ASSERT_TRUE(waitFor([&] { return !w(r.deactivate)->isEnabled(); }));
    EXPECT_TRUE(w(r.activate)->isEnabled());

    // From the joystick to another window.
    jogOn();
    w(r.stick)->setFocus(Qt::MouseFocusReason);
    settle();
    sim().clearRequestLog();
    QWidget other;
    other.show();
    other.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&other));
    ASSERT_TRUE(waitFor([&] { return sim().groupStatus(r.group) != 47; }));
    EXPECT_EQ(callsOf("GroupJogModeDisable").size(), 1u);

    // Jog mode already off: leaving sends nothing.
    host->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(host.get()));
    sim().clearRequestLog();
    w(r.stick)->setFocus(Qt::MouseFocusReason);
    settle();
    w(r.elsewhere)->setFocus(Qt::TabFocusReason);
    settle();
    EXPECT_TRUE(callsOf("GroupJogModeDisable").empty());
}

INSTANTIATE_TEST_SUITE_P(Pages, PlanePageJogExit,
                         ::testing::Values(JogExitRow{2, "GROUP2", "ButtonInitXY", "ButtonOrigineXY", "ButtonActivateJOGXY",
                                                      "ButtonDesactiveJogXY", "PaintBox1", "Edit10"},
                                           JogExitRow{3, "GROUP4", "ButtonInitXYZ", "ButtonOrigineXYZ",
                                                      "ButtonActivateJogXYZ", "ButtonDesactiveJogXYZ", "PaintBox2",
                                                      "Edit21"}),
                         [](const auto& info) { return std::string(info.param.axes == 2 ? "XY" : "XYZ"); });

TEST_F(PlanePageTest, XYZVerticalJoystickUsesItsOwnSpeed)
{
    open(3);
    EXPECT_EQ(w<QComboBox>("CBXYZ")->currentText(), "GROUP4");
    EXPECT_EQ(w<QLabel>("Label5")->text(), "Z");
    auto* box = w<maint::JoystickBox>("PaintBox3");
    box->setFixedSize(30, 100);
    ready("ButtonInitXYZ", "ButtonOrigineXYZ");
    click("ButtonActivateJogXYZ");
    ASSERT_TRUE(w("PanelJogZ")->isEnabled());
    w<QLineEdit>("Edit21")->setText("4");
    w<QLineEdit>("Edit22")->setText("3");
    sim().clearRequestLog();
    press(box, {15, 0});
    release(box, {15, 0});
    const auto jog = callsOf("GroupJogParametersSet");
    ASSERT_EQ(jog.size(), 2u);
    EXPECT_EQ(velocities(jog[0], 3), (std::vector<double>{0, 0, 4}));
    EXPECT_EQ(velocities(jog[1], 3), (std::vector<double>{0, 0, 0}));
    EXPECT_DOUBLE_EQ(number(jog[0][6]), 3.0);

    w<QLineEdit>("Edit15")->setText("1");
    w<QLineEdit>("Edit16")->setText("2");
    w<QLineEdit>("Edit24")->setText("3");
    click("ButtonDesactiveJogXYZ");
    EXPECT_EQ(sim().groupStatus("GROUP4"), 14);
    sim().clearRequestLog();
    click("ButtonRelatifPlusXYZ");
    ASSERT_TRUE(waitFor([&] { return !callsOf("GroupMoveRelative").empty(); }));
    EXPECT_EQ(values(callsOf("GroupMoveRelative").front(), 3), (std::vector<double>{1, 2, 3}));
}

}  // namespace
}  // namespace mvx::test

#include "maintenance/maintenancewindow.h"
#include "maintenance/motioniopages.h"
#include "maintenance/page_io.h"
#include "maintenance/page_sgammapid.h"

namespace mvx::test {
namespace {

TEST(MaintenanceWindowPages, EveryRegisteredPageTakesItsTab)
{
    maint::registerMotionTuningIoPages();
    maint::TFmain_KVX window(nullptr, mvx::link::CurrentController());
    EXPECT_NE(dynamic_cast<maint::SinglePage*>(window.page("TSSingle")), nullptr);
    EXPECT_NE(dynamic_cast<maint::MultiplePage*>(window.page("TSmultiple")), nullptr);
    EXPECT_NE(dynamic_cast<maint::PlanePage*>(window.page("TSXY")), nullptr);
    EXPECT_NE(dynamic_cast<maint::PlanePage*>(window.page("TSXYZ")), nullptr);
    EXPECT_NE(dynamic_cast<maint::SGammaPage*>(window.page("TSVAJ")), nullptr);
    EXPECT_NE(dynamic_cast<maint::PidPage*>(window.page("TSPID")), nullptr);
    EXPECT_NE(dynamic_cast<maint::DigitalIoPage*>(window.page("TSIO")), nullptr);
    EXPECT_NE(dynamic_cast<maint::DigitalIoPage*>(window.page("TSIOD")), nullptr);
    EXPECT_NE(dynamic_cast<maint::AnalogIoPage*>(window.page("TabSheet1")), nullptr);
    EXPECT_NE(window.findChild<QComboBox*>("CBsingle"), nullptr);
}

}  // namespace
}  // namespace mvx::test
