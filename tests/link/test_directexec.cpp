// The direct mode against the simulator: a conversion executes each element on the controller,
// the group is made ready before the first move, and the request log follows the program.
#include "link/controller.h"
#include "tests/support/simlink.h"
#include "app/dialogs.h"
#include "core/inifile.h"
#include "link/api.h"
#include "link/directexec.h"
#include "link/linktexts.h"
#include "link/socketpool.h"
#include "link/transfer.h"
#include "link/workers.h"
#include "mainwindow/tfaxes.h"
#include "mainwindow/tfio.h"
#include "mainwindow/tfmain.h"
#include "mainwindow/view3d.h"
#include "translator/numtext.h"
#include "translator/tclconvert.h"

#include <QAction>
#include <QListView>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>

#include <fstream>
#include <algorithm>

using namespace mvx;
using namespace std::chrono_literals;

namespace {

class DirectSim : public test::SimLinkTest {
protected:
    void SetUp() override
    {
        SimLinkTest::SetUp();
        SetMessageBoxHandler([](const std::string&, std::uint16_t) { return std::uint16_t(1); });
        ASSERT_TRUE(link::CurrentController().connectTransfer(false));
        sim().apiCall("KillAll()\n");
        sim().clearRequestLog();
    }
    void TearDown() override
    {
        SetMessageBoxHandler({});
        link::CurrentController().joinWorkers(true);
        SimLinkTest::TearDown();
    }
    static MachineConfig config()
    {
        MachineConfig c;
        c.GroupName = "GROUP1";
        c.DirectMode = true;
        c.Simulation = false;
        c.PositioningSpeed = 50.0;
        c.WorkingSpeed = 20.0;
        c.ActivateTool = {1, 1, 1};
        return c;
    }
    // Runs the conversion on a worker, as the main window does, while this thread dispatches.
    static tclpath::TclConversionResult convert(const std::vector<std::string>& lines, link::DirectExec& ex,
                                                const MachineConfig& c)
    {
        tclpath::TclConversionResult r;
        std::atomic<bool> done{false};
        std::thread t([&] {
            r = tclpath::GCodeToTCL(lines, c, nullptr, &ex);
            done = true;
        });
        EXPECT_TRUE(QTest::qWaitFor([&] { return done.load(); }, 30000));
        t.join();
        return r;
    }
};

// Passes every element on to the real executor and notes the request it must produce.
class Noting : public DirectExecutor {
public:
    explicit Noting(DirectExecutor& inner) : mInner(inner) {}
    int ChangeAxisSpeed(int axis, double speed) override { return mInner.ChangeAxisSpeed(axis, speed); }
    bool ReadPositionerVelocities(std::array<double, 3>& v) override { return mInner.ReadPositionerVelocities(v); }
    int MoveAbsolute(const std::array<double, 3>& end, const std::array<bool, 3>& moves, bool working,
                     double speed) override
    {
        Expected.push_back("GroupMoveAbsolute(GROUP1," + num::fixed(end[0], 13) + "," + num::fixed(end[1], 13) + "," +
                           num::fixed(end[2], 13) + ")");
        return mInner.MoveAbsolute(end, moves, working, speed);
    }
    int RunPvt(const std::string& name, const std::string& text) override
    {
        Expected.push_back("MultipleAxesPVTExecution(GROUP1," + name + ",1)");
        return mInner.RunPvt(name, text);
    }
    int SetDigitalOutput(int gpio, unsigned mask, unsigned value) override
    {
        Expected.push_back("GPIODigitalSet(GPIO" + num::integer(gpio) + ".DO ," + num::integer(mask) + "," +
                           num::integer(value) + ")");
        return mInner.SetDigitalOutput(gpio, mask, value);
    }
    void Wait(int ms) override { mInner.Wait(ms); }
    void WaitNextBlock() override { mInner.WaitNextBlock(); }
    std::vector<std::string> Expected;

private:
    DirectExecutor& mInner;
};

TEST_F(DirectSim, EachElementRunsOnTheControllerAfterInitAndHome)
{
    link::DirectExec ex(mvx::link::CurrentController(), config());
    Noting noting(ex);
    MachineConfig c = config();
    c.M07M09 = {1, 4, 1};
    tclpath::TclConversionResult r;
    {
        std::atomic<bool> done{false};
        std::thread t([&] {
            r = tclpath::GCodeToTCL({"G0 X5 Y2", "G1 X10 Y2", "G1 X15 Y2", "G4 P0.1", "M7", "G1 X15 Y7",
                                     "G0 X1 Y1 Z0", "M9"},
                                    c, nullptr, &noting);
            done = true;
        });
        ASSERT_TRUE(QTest::qWaitFor([&] { return done.load(); }, 30000));
        t.join();
    }
    EXPECT_EQ(r.Error.Number, 0) << r.Error.Text;
    // Initialised and homed before anything moves, once.
    const auto names = requestNames({"GroupInitialize", "GroupHomeSearch", "GroupMoveAbsolute", "MultipleAxesPVTExecution"});
    ASSERT_GE(names.size(), 4u);
    EXPECT_EQ(names[0], "GroupInitialize");
    EXPECT_EQ(names[1], "GroupHomeSearch");
    EXPECT_EQ(std::count(names.begin(), names.end(), "GroupInitialize"), 1);

    // Every element the conversion executed is in the log, in its order, with its bytes; the
    // tool output switches around the moves come in between.
    std::vector<std::string> logged;
    for (const test::KvxRequest& q : sim().requestLog()) {
        const std::string line = q.text.substr(0, q.text.find_first_of("\r\n"));
        if (line.rfind("GroupMoveAbsolute", 0) == 0 || line.rfind("MultipleAxesPVTExecution", 0) == 0 ||
            (line.rfind("GPIODigitalSet(GPIO1.DO ,8,", 0) == 0))
            logged.push_back(line);
    }
    std::vector<std::string> expected;
    for (const std::string& e : noting.Expected)
        if (e.rfind("GPIODigitalSet", 0) != 0 || e.rfind("GPIODigitalSet(GPIO1.DO ,8,", 0) == 0) expected.push_back(e);
    EXPECT_EQ(logged, expected);
    ASSERT_NE(std::find_if(expected.begin(), expected.end(),
                           [](const std::string& e) { return e.rfind("MultipleAxesPVTExecution", 0) == 0; }),
              expected.end());
    ASSERT_FALSE(r.PvtFiles.empty());
    EXPECT_EQ(sim().readFile("Public/Trajectories/TRJ1.PVT"), r.PvtFiles.back().Text);
    const auto p = sim().positions("GROUP1");
    ASSERT_EQ(p.size(), 3u);
    EXPECT_NEAR(p[0], 1.0, 1e-6);
    EXPECT_NEAR(p[1], 1.0, 1e-6);
    // The tool output ends inactive (level 1 means active).
    EXPECT_EQ(sim().digital("GPIO1.DO") & 1u, 0u);
}

TEST_F(DirectSim, ReadyGroupIsNotInitialisedAgain)
{
    sim().apiCall("GroupInitialize(GROUP1)\n");
    sim().apiCall("GroupHomeSearch(GROUP1)\n");
    sim().clearRequestLog();
    link::DirectExec ex(mvx::link::CurrentController(), config());
    convert({"G0 X3"}, ex, config());
    EXPECT_TRUE(requestsOf("GroupInitialize").empty());
    EXPECT_TRUE(requestsOf("KillAll").empty());
    EXPECT_EQ(requestsOf("GroupMoveAbsolute").size(), 1u);
    EXPECT_NEAR(sim().positions("GROUP1")[0], 3.0, 1e-6);
}

TEST_F(DirectSim, AxesThatDoNotMoveKeepThePositionReadJustBefore)
{
    link::DirectExec ex(mvx::link::CurrentController(), config());
    ASSERT_EQ(ex.EnsureGroupReady(), 0);
    sim().setPositions("GROUP1", {1.0, 2.0, 4.5});
    sim().clearRequestLog();
    EXPECT_EQ(ex.MoveAbsolute({7.0, 9.0, 0.0}, {true, false, false}, false, 10.0), 0);
    const auto moves = requestsOf("GroupMoveAbsolute");
    ASSERT_EQ(moves.size(), 1u);
    EXPECT_EQ(moves[0].text.substr(0, moves[0].text.find_first_of("\r\n")),
              "GroupMoveAbsolute(GROUP1,7.0000000000000,2.0000000000000,4.5000000000000)");
}

TEST_F(DirectSim, RefusedMoveReturnsTheControllerCode)
{
    link::DirectExec ex(mvx::link::CurrentController(), config());
    ASSERT_EQ(ex.EnsureGroupReady(), 0);
    // Beyond the travel limits.
    const int code = ex.MoveAbsolute({1e6, 0, 0}, {true, false, false}, false, 10.0);
    EXPECT_NE(code, 0);
    EXPECT_FALSE(link::GroupStatusReady(7));
    EXPECT_TRUE(link::GroupStatusReady(11));
}

// What each failed step does to the job: said through the window's report, and whether the move
// still goes out.
TEST_F(DirectSim, FailedStepsAreSaidAndNeverMoveFromAnUnknownPoint)
{
    std::vector<std::pair<std::string, bool>> said;
    std::mutex m;
    std::atomic<int> abort{0};
    link::DirectControls controls;
    controls.AbortRequested = &abort;
    controls.Report = [&](const std::string& text, bool failure) {
        std::lock_guard lock(m);
        said.emplace_back(text, failure);
    };
    link::DirectExec ex(mvx::link::CurrentController(), config(), controls);
    ASSERT_EQ(ex.EnsureGroupReady(), 0);
    // The group was killed before the test: its initialisation is a note, not a failure.
    ASSERT_EQ(said.size(), 1u);
    EXPECT_EQ(said[0], (std::pair<std::string, bool>{"GROUP1 not initialised (status 7): initialisation and home search", false}));
    said.clear();

    // A speed the controller refuses: said, and the move goes on at the speed the axis has.
    test::KvxFault refuse;
    refuse.function = "PositionerSGammaParametersSet";
    refuse.kind = "error";
    refuse.code = -17;
    sim().setFault(refuse);
    EXPECT_EQ(ex.MoveAbsolute({2.0, 0.0, 0.0}, {true, false, false}, false, 10.0), 0);
    EXPECT_EQ(requestsOf("GroupMoveAbsolute").size(), 1u);
    ASSERT_EQ(said.size(), 1u);
    EXPECT_EQ(said[0], (std::pair<std::string, bool>{"Error -17", true}));
    EXPECT_EQ(abort.load(), 0);
    EXPECT_FALSE(ex.jobFailed());
    sim().clearFaults();

    // No file transfer for a PVT run: the job stops without a box, nothing runs.
    said.clear();
    sim().clearRequestLog();
    const int mode = common().TransferMode.load();
    common().TransferMode.store(TransferLocal);
    EXPECT_EQ(ex.RunPvt("TRJ1.PVT", "0.1 1.0 0.0 0.0 0.0 0.0 0.0\n"), 0);
    common().TransferMode.store(mode);
    EXPECT_TRUE(requestsOf("MultipleAxesPVTExecution").empty());
    ASSERT_EQ(said.size(), 1u);
    EXPECT_EQ(said[0].first, "Direct execution stopped: TRJ1.PVT: no file transfer to the controller");
    EXPECT_EQ(abort.load(), 1);
    // Every later step is refused, speeds and moves alike, until the next job's configuration.
    EXPECT_EQ(ex.MoveAbsolute({4.0, 0.0, 0.0}, {true, false, false}, false, 10.0), 0);
    EXPECT_EQ(ex.ChangeAxisSpeed(0, 5.0), 0);
    EXPECT_TRUE(sim().requestLog().empty());
    EXPECT_EQ(said.size(), 1u);
    ex.setConfig(config());
    abort = 0;
    EXPECT_EQ(ex.MoveAbsolute({4.0, 0.0, 0.0}, {true, false, false}, false, 10.0), 0);
    EXPECT_NEAR(sim().positions("GROUP1")[0], 4.0, 1e-6);
}

TEST_F(DirectSim, AMoveWithoutAConnectionIsNotTakenAsDone)
{
    std::vector<int> held;
    for (int s = link::TakeSocket(1.0); s >= 0; s = link::TakeSocket(1.0)) held.push_back(s);
    link::MoveAbsShared& m = link::CurrentController().moveAbs();
    {
        std::lock_guard lock(m.mutex);
        m.Targets = {1.0, 1.0, 0.0};
        m.TargetCount = 3;
    }
    m.MoveAbsError.store(0);
    m.MoveAbsRunning.store(1);
    link::CurrentController().startMoveAbsolute();
    EXPECT_TRUE(QTest::qWaitFor([&] { return m.MoveAbsRunning.load() == 0; }, 5000));
    EXPECT_EQ(m.MoveAbsError.load(), api::kErrorNoSocket);
    for (int s : held) link::ReleaseSocket(s);
    EXPECT_TRUE(requestsOf("GroupMoveAbsolute").empty());
}

TEST_F(DirectSim, BlockByBlockWaitsForNext)
{
    std::atomic<int> next{0}, abort{0};
    std::atomic<int> enabled{0};
    link::DirectControls controls;
    controls.BlockByBlock = [] { return true; };
    controls.EnableNext = [&](bool on) { enabled += on ? 1 : 0; };
    controls.NextBlockRequested = &next;
    controls.AbortRequested = &abort;
    link::DirectExec ex(mvx::link::CurrentController(), config(), controls);
    std::atomic<bool> done{false};
    std::thread t([&] {
        ex.WaitNextBlock();
        done = true;
    });
    QTest::qWait(100);
    EXPECT_FALSE(done.load());
    EXPECT_EQ(enabled.load(), 1);
    next = 1;
    EXPECT_TRUE(QTest::qWaitFor([&] { return done.load(); }, 2000));
    t.join();
    // Abort ends the wait as well, and so does a dwell.
    std::thread t2([&] {
        ex.WaitNextBlock();
        ex.Wait(60000);
        done = true;
    });
    done = false;
    abort = 1;
    EXPECT_TRUE(QTest::qWaitFor([&] { return done.load(); }, 2000));
    t2.join();
}

// "Execute a line" in the main window: the selected line runs on the controller at once.
TEST_F(DirectSim, ExecuteALineRunsTheSelectedLineOnTheController)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const std::string root = dir.path().toStdString() + "/";
    const std::string ip = common().ControllerIp;
    // The settings of this program folder for this test only.
    struct Restore {
        std::string dir = common().ProgramDir;
        ~Restore() { InitCommonGlobals(dir, "movantrix"); }
    } restore;
    InitCommonGlobals(root, "movantrix");
    common().ControllerIp = ip;
    SettingsIni()->writeString("TCP-IP", "ADR IP", ip);
    for (const char* key : {"AXIS X", "AXIS Y", "AXIS Z"})
        SettingsIni()->writeString("POSITIONER NAME", key, std::string("GROUP1.") + key[5]);
    ASSERT_TRUE(std::filesystem::create_directories(root + "GCODE"));
    std::ofstream(root + "GCODE/lines.nc") << "G0 X10 Y5\nG2 X12 Y5 I1 J0\nX3\n";

    TFmain win;
    auto* axes = new TFaxes(&win);
    axes->setPositionerSource([] { return std::vector<std::string>{"GROUP1.X", "GROUP1.Y", "GROUP1.Z"}; });
    axes->FormCreate();
    win.setHelperWindows(new TFIO(&win), axes, nullptr, nullptr, nullptr, nullptr, nullptr);
    link::DirectExec ex{mvx::link::CurrentController()};
    win.setDirectExecutor(&ex);
    win.setBeforeConversionHook([&ex](const MachineConfig& c) { ex.setConfig(c); });
    win.setOpenDialog([&](const std::string&, const std::string&) { return root + "GCODE/lines.nc"; });

    // Nothing to execute in simulation.
    win.setSimulation(true);
    ASSERT_TRUE(win.BitBtnReadGcodeClick(true));
    auto* button = win.findChild<QPushButton*>("BitBtnExecuteline");
    ASSERT_NE(button, nullptr);
    EXPECT_FALSE(button->isEnabled());

    win.setSimulation(false);
    ASSERT_TRUE(win.BitBtnReadGcodeClick(true));
    ASSERT_TRUE(button->isEnabled());
    auto* list = win.findChild<QListView*>("ListBox1");
    auto executeRow = [&](int row) {
        list->setCurrentIndex(list->model()->index(row, 0));
        sim().clearRequestLog();
        QTest::mouseClick(button, Qt::LeftButton);
        EXPECT_TRUE(button->isEnabled());
        EXPECT_FALSE(win.jobRunning());
    };
    auto firstLines = [&](const char* name) {
        std::vector<std::string> out;
        for (const test::KvxRequest& q : requestsOf(name)) out.push_back(q.text.substr(0, q.text.find_first_of("\r\n")));
        return out;
    };

    executeRow(0);
    EXPECT_EQ(firstLines("GroupMoveAbsolute"),
              std::vector<std::string>{"GroupMoveAbsolute(GROUP1,10.0000000000000,5.0000000000000,0.0000000000000)"});
    EXPECT_NEAR(sim().positions("GROUP1")[0], 10.0, 1e-6);

    // The arc starts where the controller is (the position poll's last reading).
    win.currentPosition() = {10.0, 5.0, 0.0};
    executeRow(1);
    EXPECT_EQ(firstLines("MultipleAxesPVTExecution"),
              std::vector<std::string>{"MultipleAxesPVTExecution(GROUP1,TRJ0.PVT,1)"});
    EXPECT_TRUE(sim().fileExists("Public/Trajectories/TRJ0.PVT"));
    EXPECT_NEAR(sim().positions("GROUP1")[0], 12.0, 1e-3);

    // A bare coordinate moves like the last move: a cut, so the tool is switched on around it.
    win.currentPosition() = {12.0, 5.0, 0.0};
    executeRow(2);
    EXPECT_EQ(firstLines("GroupMoveAbsolute"),
              std::vector<std::string>{"GroupMoveAbsolute(GROUP1,3.0000000000000,5.0000000000000,0.0000000000000)"});
    EXPECT_FALSE(firstLines("GPIODigitalSet").empty());
    EXPECT_NEAR(sim().positions("GROUP1")[0], 3.0, 1e-6);
}

// The executed path of the 3D view in the direct mode: cut to its last two points after each
// move, emptied after each PVT run.
// The main window in the direct mode on a program folder of its own, with the executor the
// program gives it; run() reads a G-code file of that folder and executes it with the window's
// own handlers.
struct DirectWindow {
    using Files = std::vector<std::pair<std::string, std::string>>;
    explicit DirectWindow(const Files& gcode)
    {
        EXPECT_TRUE(dir.isValid());
        root = dir.path().toStdString() + "/";
        const std::string ip = common().ControllerIp;
        InitCommonGlobals(root, "movantrix");
        common().ControllerIp = ip;
        SettingsIni()->writeString("TCP-IP", "ADR IP", ip);
        SettingsIni()->writeString("MAIN", "MODE", "KVX DIRECT");
        for (const char* key : {"AXIS X", "AXIS Y", "AXIS Z"})
            SettingsIni()->writeString("POSITIONER NAME", key, std::string("GROUP1.") + key[5]);
        EXPECT_TRUE(std::filesystem::create_directories(root + "GCODE"));
        for (const auto& [name, text] : gcode) std::ofstream(root + "GCODE/" + name) << text;
        win = std::make_unique<TFmain>();
        auto* axes = new TFaxes(win.get());
        axes->setPositionerSource([] { return std::vector<std::string>{"GROUP1.X", "GROUP1.Y", "GROUP1.Z"}; });
        axes->FormCreate();
        win->setHelperWindows(new TFIO(win.get()), axes, nullptr, nullptr, nullptr, nullptr, nullptr);
        view = new View3D(nullptr, false);
        win->setView3D(view);
        ex = std::make_unique<link::DirectExec>(mvx::link::CurrentController(), MachineConfig{}, win->job().directControls());
        win->setDirectExecutor(ex.get());
        win->setBeforeConversionHook([this](const MachineConfig& c) { ex->setConfig(c); });
        win->setSimulation(false);
    }
    ~DirectWindow()
    {
        win.reset();
        ex.reset();
        InitCommonGlobals(savedDir, "movantrix");
    }
    bool read(const std::string& name)
    {
        win->setOpenDialog([this, name](const std::string&, const std::string&) { return root + "GCODE/" + name; });
        return win->BitBtnReadGcodeClick(true);
    }
    void execute()
    {
        win->BitBtnExecuteKVXClick(true);
        QTest::qWait(50);
    }

    std::string savedDir = common().ProgramDir;
    QTemporaryDir dir;
    std::string root;
    std::unique_ptr<TFmain> win;
    View3D* view = nullptr;
    std::unique_ptr<link::DirectExec> ex;
};

TEST_F(DirectSim, ExecutedPathIsCutAfterEachMoveAndClearedAfterEachPvtRun)
{
    DirectWindow d(DirectWindow::Files{{"move.nc", "G0 X10 Y5\n"}, {"run.nc", "G90\nG1 X1 Y0 F600\nG1 X2 Y0\nG1 X3 Y0\n"}});
    ASSERT_EQ(d.win->mode(), 3);
    auto executedPoints = [&] {
        return d.view->scene().executedActive().Points.size() + d.view->scene().executedInactive().Points.size();
    };
    auto run = [&](const std::string& name) {
        ASSERT_TRUE(d.read(name));
        for (int i = 0; i < 6; ++i) d.win->PollExecutedPoint({1.0 * i, 0.0, 0.0}, i < 3);
        ASSERT_EQ(executedPoints(), 6u);
        d.execute();
    };

    run("move.nc");
    EXPECT_NEAR(sim().positions("GROUP1")[0], 10.0, 1e-6);
    ASSERT_EQ(executedPoints(), 2u);
    EXPECT_EQ(d.view->scene().executedInactive().Points.back(), (view3d::Point3f{5.f, 0.f, 0.f}));

    run("run.nc");
    EXPECT_FALSE(requestsOf("MultipleAxesPVTExecution").empty());
    EXPECT_EQ(executedPoints(), 0u);
}

// A PVT run the controller refuses shows no box: with "Debug" checked its error text goes to the
// console's log, without it nothing is said; the job goes on either way.
TEST_F(DirectSim, ARefusedPvtRunIsLoggedOnlyInDebug)
{
    DirectWindow d(DirectWindow::Files{{"run.nc", "G90\nG1 X1 Y0 F600\nG1 X2 Y0\nG1 X3 Y0\nG0 X4 Y4\n"}});
    std::vector<std::string> boxes, logged;
    SetMessageBoxHandler([&](const std::string& text, std::uint16_t) {
        boxes.push_back(text);
        return std::uint16_t(1);
    });
    mvx::link::CurrentController().setLogHandler([&](const std::string& line) { logged.push_back(line); });
    struct Restore {
        ~Restore()
        {
            mvx::link::CurrentController().setLogHandler(nullptr);
            common().Debug = false;
        }
    } restore;
    test::KvxFault refused;
    refused.function = "MultipleAxesPVTExecution";
    refused.kind = "error";
    refused.code = -22;
    sim().setFault(refused);
    std::string text;
    {
        const int s = link::GetSocket(1.0);
        ASSERT_GE(s, 0);
        api::ErrorStringGet(s, -22, text);
        link::ReleaseSocket(s);
    }
    ASSERT_FALSE(text.empty());
    QAction* debug = d.win->action("Debug1");
    ASSERT_NE(debug, nullptr);
    for (const bool on : {false, true}) {
        SCOPED_TRACE(on ? "Debug" : "no Debug");
        debug->setChecked(on);
        boxes.clear();
        logged.clear();
        sim().clearRequestLog();
        ASSERT_TRUE(d.read("run.nc"));
        d.execute();
        EXPECT_EQ(requestsOf("MultipleAxesPVTExecution").size(), 1u);
        // The move after the run still went.
        EXPECT_NEAR(sim().positions("GROUP1")[0], 4.0, 1e-6);
        EXPECT_TRUE(boxes.empty()) << boxes.front();
        EXPECT_EQ(std::count(logged.begin(), logged.end(), text), on ? 1 : 0);
        sim().setPositions("GROUP1", {0.0, 0.0, 0.0});
    }
}

}  // namespace
