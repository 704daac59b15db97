// The real program against the controller simulator: the batch command line in the TCL, SCT
// and direct modes, and the remote-control server for execution, STOP and fault runs.
#include "e2e_wiring.h"
#include "programrun.h"
#include "tests/support/kvxsim_fixture.h"
#include "tests/support/loopbackpeer.h"

#include <gtest/gtest.h>

#include <QCoreApplication>

#include <algorithm>
#include <filesystem>
#include <functional>
#include <future>
#include <set>
#include <thread>
#include <regex>

using namespace mvx::test;
using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

namespace {

const char* const kPart =
    "G90\n"
    "G0 X5 Y5 Z0\n"
    "G1 X15 Y5 F300\n"
    "G1 X15 Y15\n"
    "G1 X5 Y15\n"
    "G0 X2 Y3 Z0\n";
const std::array<double, 3> kPartEnd{2.0, 3.0, 0.0};

// What the build lacks for a test; nothing when another tree's program was named.
std::string missing(const char* what)
{
    const char* other = std::getenv("MVX_E2E_PROGRAM");
    return other && *other ? std::string() : std::string(what);
}

std::string firstLine(const std::string& s) { return s.substr(0, s.find_first_of("\r\n")); }

// Every request's first line, in order.
std::vector<std::string> lines(const std::vector<KvxRequest>& log)
{
    std::vector<std::string> out;
    for (const KvxRequest& r : log) out.push_back(firstLine(r.text));
    return out;
}

std::ptrdiff_t indexOf(const std::vector<std::string>& v, const std::string& prefix, std::ptrdiff_t from = 0)
{
    for (std::ptrdiff_t i = from; i < static_cast<std::ptrdiff_t>(v.size()); ++i)
        if (v[static_cast<std::size_t>(i)].rfind(prefix, 0) == 0) return i;
    return -1;
}

class E2E : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (!missing(MVX_E2E_MISSING).empty()) GTEST_SKIP() << "not wired yet: " << MVX_E2E_MISSING;
        KvxSimOptions o;
        o.timeScale = 0.05;
        mSim = std::make_unique<KvxSim>(o);
    }
    std::map<std::string, std::map<std::string, std::string>> settings(bool server) const
    {
        std::map<std::string, std::map<std::string, std::string>> s;
        s["POSITIONER NAME"] = {{"AXIS X", "GROUP1.X"}, {"AXIS Y", "GROUP1.Y"}, {"AXIS Z", "GROUP1.Z"}};
        s["TCP-IP server"]["Active"] = server ? "1" : "0";
        s["ENCODER"]["PERIOD"] = "50";
        // The controller is the configured model: start-up needs no connection dialog.
        s["MAIN"]["HIDE FCONNECT"] = "1";
        s["KVX"]["TYPE"] = "Q";
        return s;
    }
    // A batch run to its end.
    std::unique_ptr<ProgramRun> batch(const std::vector<std::string>& args, std::chrono::milliseconds limit = 90s)
    {
        auto run = std::make_unique<ProgramRun>(mSim->address(), settings(false));
        run->writeGCode("part.nc", kPart);
        run->start(args);
        EXPECT_TRUE(run->waitForExit(limit)) << "the program did not end by itself:\n" << run->output();
        return run;
    }
    // A program under remote control with part.nc read and converted in the TCL mode.
    std::unique_ptr<ProgramRun> remoteReady(const std::string& gcode = kPart)
    {
        auto run = std::make_unique<ProgramRun>(mSim->address(), settings(true));
        run->writeGCode("part.nc", gcode);
        run->start({});
        EXPECT_TRUE(run->waitForServer(60s)) << run->output();
        // Wait for the start-up connection's presence check too.
        const auto end = Clock::now() + 60s;
        while (Clock::now() < end && indexOf(lines(mSim->requestLog()), "ObjectsListGet") < 0)
            std::this_thread::sleep_for(100ms);
        std::this_thread::sleep_for(500ms);
        EXPECT_EQ(run->remote("MODE 2", 10s), "MODE DONE");
        EXPECT_EQ(run->remote("READ part.nc", 10s), "READ DONE");
        EXPECT_EQ(run->remote("CREATE", 60s), "CREATE DONE");
        EXPECT_EQ(run->remote("INIT", 60s), "INIT DONE");
        return run;
    }
    void expectAtEnd()
    {
        const auto p = mSim->positions("GROUP1");
        ASSERT_EQ(p.size(), 3u);
        for (std::size_t a = 0; a < 3; ++a) EXPECT_NEAR(p[a], kPartEnd[a], 1e-4) << "axis " << a;
    }
    void expectUploadsEqual(const ProgramRun& run, int pvtFiles)
    {
        const std::string script = run.readFile("TMP/GCode_Converted.TCL");
        ASSERT_FALSE(script.empty());
        EXPECT_EQ(mSim->readFile("Public/Scripts/GCode_Converted.TCL"), script);
        for (int i = 1; i <= pvtFiles; ++i) {
            const std::string name = "TRJ" + std::to_string(i) + ".PVT";
            EXPECT_EQ(mSim->readFile("Public/Trajectories/" + name), run.readFile("TMP/" + name)) << name;
        }
    }
    int pvtFilesIn(const std::string& script) const
    {
        int n = 0;
        while (script.find("TRJ" + std::to_string(n + 1) + ".PVT") != std::string::npos) ++n;
        return n;
    }
    std::unique_ptr<KvxSim> mSim;
};

void expectJobRoad(const std::vector<std::string>& log)
{
    const auto kill = indexOf(log, "KillAll()");
    const auto init = indexOf(log, "GroupInitialize(GROUP1)", kill);
    const auto home = indexOf(log, "GroupHomeSearch(GROUP1)", init);
    const auto exec = indexOf(log, "TCLScriptExecuteAndWait(", home);
    ASSERT_GE(kill, 0);
    ASSERT_GT(init, kill);
    ASSERT_GT(home, init);
    ASSERT_GT(exec, home);
    EXPECT_EQ(log[static_cast<std::size_t>(exec)], "TCLScriptExecuteAndWait(GCode_Converted.TCL,GCODE, ,char *)");
}

// The script itself switched the tool output both ways.
void expectToolToggled(const std::vector<std::string>& log)
{
    std::set<std::string> values;
    const std::regex set(R"(GPIODigitalSet\(GPIO1\.DO ?,1,(\d+)\))");
    for (const std::string& l : log) {
        std::smatch m;
        if (std::regex_search(l, m, set)) values.insert(m[1]);
    }
    EXPECT_EQ(values.size(), 2u) << "tool output values seen: " << values.size();
}

TEST_F(E2E, BatchTclModeRunsTheJobAndEnds)
{
    auto run = batch({"part.nc", "/T", "/H"});
    EXPECT_EQ(run->exitCode(), 0);
    EXPECT_EQ(run->output().find("Impossible"), std::string::npos) << run->output();
    const auto log = lines(mSim->requestLog());
    expectJobRoad(log);
    expectUploadsEqual(*run, pvtFilesIn(run->readFile("TMP/GCode_Converted.TCL")));
    expectToolToggled(log);
    expectAtEnd();
    EXPECT_TRUE(mSim->runningTasks().empty());
}

TEST_F(E2E, BatchSctModeRunsTheJobAndEnds)
{
    auto run = batch({"part.nc", "/S", "/H"});
    EXPECT_EQ(run->exitCode(), 0);
    EXPECT_EQ(run->output().find("Impossible"), std::string::npos) << run->output();
    const auto log = lines(mSim->requestLog());
    expectJobRoad(log);
    const std::string script = run->readFile("TMP/GCode_Converted.TCL");
    expectUploadsEqual(*run, pvtFilesIn(script));
    expectAtEnd();
}

TEST_F(E2E, BatchFailedInitIsReportedAndNothingRuns)
{
    KvxFault f;
    f.function = "GroupHomeSearch";
    f.kind = "error";
    f.code = -22;
    mSim->setFault(f);
    auto run = batch({"part.nc", "/T", "/H"});
    EXPECT_NE(run->output().find("Impossible d'exécuter"), std::string::npos) << run->output();
    EXPECT_EQ(run->output().find("Gravé"), std::string::npos);
    EXPECT_LT(indexOf(lines(mSim->requestLog()), "TCLScriptExecuteAndWait"), 0);
}

TEST_F(E2E, BatchScriptThatFailsIsReported)
{
    // The controller refuses the script's first move: the script ends with that code.
    KvxFault f;
    f.function = "GroupMoveAbsolute";
    f.kind = "error";
    f.code = -17;
    mSim->setFault(f);
    auto run = batch({"part.nc", "/T", "/H"});
    EXPECT_NE(run->output().find("Impossible d'exécuter"), std::string::npos) << run->output();
    const auto l = lines(mSim->requestLog());
    EXPECT_GE(indexOf(l, "TCLScriptExecuteAndWait(GCode_Converted.TCL,GCODE, ,char *)"), 0);
    EXPECT_TRUE(mSim->runningTasks().empty());
}

TEST_F(E2E, BatchDirectModeExecutesEachElement)
{
    if (!missing(MVX_E2E_MISSING_DIRECT).empty()) GTEST_SKIP() << "not wired yet: " << MVX_E2E_MISSING_DIRECT;
    auto run = batch({"part.nc", "/X", "/H"});
    EXPECT_EQ(run->exitCode(), 0);
    EXPECT_EQ(run->output().find("Impossible"), std::string::npos) << run->output();
    const auto log = lines(mSim->requestLog());
    const auto init = indexOf(log, "GroupInitialize(GROUP1)");
    const auto home = indexOf(log, "GroupHomeSearch(GROUP1)", init);
    const auto firstMove = std::min(indexOf(log, "GroupMoveAbsolute"), indexOf(log, "MultipleAxesPVTExecution"));
    ASSERT_GE(init, 0);
    ASSERT_GT(home, init);
    EXPECT_GT(indexOf(log, "GroupMoveAbsolute(GROUP1,5.0000000000000,5.0000000000000,0.0000000000000)"), home);
    EXPECT_TRUE(firstMove < 0 || firstMove > home);
    const auto last = indexOf(log, "GroupMoveAbsolute(GROUP1,2.0000000000000,3.0000000000000,0.0000000000000)");
    EXPECT_GT(last, home);
    EXPECT_LT(indexOf(log, "GroupMoveAbsolute", last + 1), 0);
    // Every block of the part, in order: three cuts between the two positioning moves.
    std::ptrdiff_t at = home;
    for (const char* target : {"5.0000000000000,5.0000000000000,0.0000000000000", "15.0000000000000,5.0000000000000,0.0000000000000",
                               "15.0000000000000,15.0000000000000,0.0000000000000", "5.0000000000000,15.0000000000000,0.0000000000000",
                               "2.0000000000000,3.0000000000000,0.0000000000000"}) {
        const auto next = indexOf(log, std::string("GroupMoveAbsolute(GROUP1,") + target + ")", at);
        EXPECT_GT(next, at) << target;
        at = std::max(at, next);
    }
    EXPECT_LT(indexOf(log, "TCLScriptExecuteAndWait"), 0);
    // The batch's own "Init" comes after the conversion in this mode and homes the group again.
}

TEST_F(E2E, RemoteExecuteIsFollowedByThePollAndReportsDone)
{
    if (!missing(MVX_E2E_MISSING_POLL).empty()) GTEST_SKIP() << "not wired yet: " << MVX_E2E_MISSING_POLL;
    auto run = remoteReady();
    mSim->clearRequestLog();
    EXPECT_EQ(run->remote("EXECUTE", 90s), "EXECUTE DONE") << run->output();
    const auto log = mSim->requestLog();
    const auto l = lines(log);
    const auto exec = indexOf(l, "TCLScriptExecuteAndWait(GCode_Converted.TCL,GCODE, ,char *)");
    ASSERT_GE(exec, 0);
    // The program's poll read positions while the script ran (the script's own connection
    // makes no such call).
    const int scriptConn = log[static_cast<std::size_t>(exec)].connection;
    int polls = 0;
    for (std::size_t i = static_cast<std::size_t>(exec) + 1; i < log.size(); ++i)
        if (l[i].rfind("GroupPositionCurrentGet(GROUP1", 0) == 0 && log[i].connection != scriptConn) ++polls;
    EXPECT_GE(polls, 2);
    expectAtEnd();
}

TEST_F(E2E, RemoteStopEndsARunningScript)
{
    auto run = remoteReady("G90\nG0 X1 Y1 Z0\nG4 P30\nG0 X2 Y2 Z0\n");
    mSim->clearRequestLog();
    auto execute = std::async(std::launch::async, [&] { return run->remote("EXECUTE", 60s); });
    std::this_thread::sleep_for(1500ms);
    const auto t0 = Clock::now();
    EXPECT_EQ(run->remote("STOP", 10s), "STOP DONE");
    // The script was started: DONE, so a client never runs it twice; the stop is in the log.
    EXPECT_EQ(execute.get(), "EXECUTE DONE");
    EXPECT_TRUE(run->waitForOutput("Script executed ", 5s)) << run->output();
    EXPECT_LT(Clock::now() - t0, 10s);
    const auto l = lines(mSim->requestLog());
    EXPECT_GT(indexOf(l, "KillAll()"), indexOf(l, "TCLScriptExecuteAndWait"));
    EXPECT_TRUE(mSim->runningTasks().empty());
    // The second point was never reached.
    EXPECT_NEAR(mSim->positions("GROUP1")[0], 1.0, 1e-4);
}

// A run that fails is answered DONE (it ran) and said in the log.
TEST_F(E2E, RemoteFaultRunsAreFailures)
{
    auto run = remoteReady();
    struct Case {
        const char* what;
        std::function<void()> arrange;
        std::function<void()> during;
    } cases[] = {
        {"script error (code 1 with its text)",
         [&] { mSim->writeFile("Public/Scripts/GCode_Converted.TCL", "error \"broken on purpose\"\n"); }, {}},
        {"no reply (connection closed)",
         [&] {
             KvxFault f;
             f.function = "TCLScriptExecuteAndWait";
             f.kind = "close";
             f.count = 1;
             mSim->setFault(f);
         },
         {}},
        {"controller vanishing mid-run",
         [&] { mSim->writeFile("Public/Scripts/GCode_Converted.TCL", "after 5000\nreturn 0\n"); },
         [&] { mSim->controlRaw("{\"cmd\": \"reboot\"}"); }},
    };
    int reported = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        mSim->clearFaults();
        mSim->clearRequestLog();
        c.arrange();
        const auto t0 = Clock::now();
        auto execute = std::async(std::launch::async, [&] { return run->remote("EXECUTE", 60s); });
        if (c.during) {
            std::this_thread::sleep_for(1000ms);
            c.during();
        }
        EXPECT_EQ(execute.get(), "EXECUTE DONE") << run->output();
        EXPECT_LT(Clock::now() - t0, 30s);
        EXPECT_TRUE(run->waitForOutput("Script executed result : ", 10s, ++reported)) << run->output();
        if (std::string(c.what).rfind("no reply", 0) == 0) {
            const auto log = mSim->requestLog();
            const auto l = lines(log);
            const auto exec = indexOf(l, "TCLScriptExecuteAndWait");
            const auto kill = indexOf(l, "TCLScriptKill(GCODE)", exec);
            ASSERT_GE(exec, 0);
            ASSERT_GT(kill, exec);
            EXPECT_NE(log[static_cast<std::size_t>(kill)].connection, log[static_cast<std::size_t>(exec)].connection);
        }
        if (c.during) {
            ASSERT_TRUE(mSim->waitForApi(20000ms));
        }
    }
}

// Each failed step of a batch ends the program with its own status, its message kept.
TEST_F(E2E, BatchExitStatusNamesTheFailedStep)
{
    struct Row {
        const char* what;
        std::vector<std::string> args;
        int status;
        const char* message;
        std::function<void(ProgramRun&)> arrange;
    } rows[] = {
        {"read: a folder given as the file", {"sub", "/T", "/H"}, 3, "Impossible de charger",
         [](ProgramRun& r) { std::filesystem::create_directories(r.folder() + "GCODE/sub"); }},
        {"read: a UTF-16 file without byte-order mark", {"wide.nc", "/T", "/H"}, 3, "NUL bytes",
         [](ProgramRun& r) { r.writeGCode("wide.nc", std::string("G\0" "0\0 \0X\0" "1\0\n\0", 12)); }},
        {"conversion: an arc that misses its end", {"arc.nc", "/T", "/H"}, 4, "Impossible de convertir",
         [](ProgramRun& r) { r.writeGCode("arc.nc", "G90\nG0 X0 Y0\nG1 X1 Y0 F100\nG2 X5 Y5 I0 J1\n"); }},
        {"upload: a folder where the script must go", {"part.nc", "/T", "/H"}, 5, "Impossible de convertir",
         [this](ProgramRun&) { mSim->writeFile("Public/Scripts/GCode_Converted.TCL/blocker", "x"); }},
        {"initialisation: the home search refused", {"part.nc", "/T", "/H"}, 6, "Impossible d'exécuter",
         [this](ProgramRun&) {
             KvxFault f;
             f.function = "GroupHomeSearch";
             f.kind = "error";
             f.code = -22;
             mSim->setFault(f);
         }},
        {"execution: the script's first move refused", {"part.nc", "/T", "/H"}, 7, "Impossible d'exécuter",
         [this](ProgramRun&) {
             KvxFault f;
             f.function = "GroupMoveAbsolute";
             f.kind = "error";
             f.code = -17;
             mSim->setFault(f);
         }},
        {"no mode word and not the last file", {"part.nc", "/H"}, 8, "Le dernier GCode converti", {}},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.what);
        mSim->clearFaults();
        ProgramRun run(mSim->address(), settings(false));
        run.writeGCode("part.nc", kPart);
        if (r.arrange) r.arrange(run);
        run.start(r.args);
        ASSERT_TRUE(run.waitForExit(90s)) << run.output();
        EXPECT_EQ(run.exitCode(), r.status) << run.output();
        EXPECT_NE(run.output().find(r.message), std::string::npos) << run.output();
        std::error_code ec;
        std::filesystem::remove_all(mSim->rootDir() + "/Public/Scripts/GCode_Converted.TCL", ec);
    }
    // No controller at the address: converted in simulation, nothing executed.
    LoopbackPeer absent(false);
    ProgramRun run(absent.address(), settings(false));
    run.writeGCode("part.nc", kPart);
    run.start({"part.nc", "/T", "/H"});
    ASSERT_TRUE(run.waitForExit(90s)) << run.output();
    EXPECT_EQ(run.exitCode(), 2) << run.output();
    EXPECT_EQ(run.output().find("Impossible"), std::string::npos) << run.output();
}

// The batch without a mode word runs the last file converted, already on the controller: only
// the initialisation acts and nothing is shown. A remote READ remembers the file as the command
// line names it.
TEST_F(E2E, BatchOfTheLastFileOnlyInitialises)
{
    ProgramRun run(mSim->address(), settings(true));
    run.writeGCode("part.nc", kPart);
    run.start({});
    ASSERT_TRUE(run.waitForServer(60s)) << run.output();
    EXPECT_EQ(run.remote("READ PART.NC", 10s), "READ DONE");
    run.stop();
    mSim->clearRequestLog();
    run.start({"part.nc", "/H"});
    ASSERT_TRUE(run.waitForExit(60s)) << run.output();
    EXPECT_EQ(run.exitCode(), 0) << run.output();
    EXPECT_EQ(run.output().find("Impossible"), std::string::npos) << run.output();
    EXPECT_EQ(run.output().find("Le dernier"), std::string::npos) << run.output();
    const auto log = lines(mSim->requestLog());
    const auto kill = indexOf(log, "KillAll()");
    ASSERT_GE(kill, 0);
    EXPECT_GT(indexOf(log, "GroupHomeSearch(GROUP1)", indexOf(log, "GroupInitialize(GROUP1)", kill)), kill);
    EXPECT_LT(indexOf(log, "TCLScriptExecuteAndWait"), 0);
}

// A two-axis machining group: the program must read that before it asks the controller for
// positions, in every run (the first reading used to ask for three values in some runs).
TEST_F(E2E, TwoAxisGroupIsNeverAskedForThreePositions)
{
    KvxSimOptions o;
    o.timeScale = 0.05;
    o.files["Config/system.ini"] =
        "[GROUPS]\r\nMultipleAxesInUse = GROUP1\r\nXYInUse = No stage\r\nSingleAxisInUse = No stage\r\n\r\n"
        "[GROUP1]\r\nPositionerNumber = 2\r\nPositionerInUse = X, Y\r\n\r\n"
        "[GROUP1.X]\r\nPlugNumber = 1\r\nStageName = LINEAR_300\r\n\r\n"
        "[GROUP1.Y]\r\nPlugNumber = 2\r\nStageName = LINEAR_300\r\n";
    mSim.reset();
    mSim = std::make_unique<KvxSim>(o);
    for (int i = 0; i < 8; ++i) {
        SCOPED_TRACE("run " + std::to_string(i));
        auto s = settings(false);
        s.erase("POSITIONER NAME");  // as on a first start: taken from the controller's group
        s["ENCODER"]["PERIOD"] = "10";
        ProgramRun run(mSim->address(), s);
        run.writeGCode("xy.nc", "G90\nG0 X1 Y1\nG1 X4 Y1 F300\nG1 X4 Y3\nG0 X2 Y2\n");
        run.start({"xy.nc", "/T", "/H"});
        ASSERT_TRUE(run.waitForExit(60s)) << run.output();
        EXPECT_EQ(run.output().find("Axis Name Fault"), std::string::npos) << run.output();
        EXPECT_EQ(run.output().find("Impossible"), std::string::npos) << run.output();
    }
    int twoValues = 0;
    for (const std::string& l : lines(mSim->requestLog())) {
        if (l.rfind("GroupPositionCurrentGet(", 0) != 0) continue;
        EXPECT_EQ(l, "GroupPositionCurrentGet(GROUP1,double *,double *)");
        ++twoValues;
    }
    EXPECT_GT(twoValues, 0);
    const auto p = mSim->positions("GROUP1");
    ASSERT_EQ(p.size(), 2u);
    EXPECT_NEAR(p[0], 2.0, 1e-4);
    EXPECT_NEAR(p[1], 2.0, 1e-4);
}

}  // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
