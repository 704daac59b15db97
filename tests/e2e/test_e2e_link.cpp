// The real program under remote control against the simulator when the controller is slow or
// failing: what goes on the wire (compared request by request), what the client is answered and
// when, and what the log says. The position poll is slowed down to nothing, so every request in
// the log is the job's own.
#include "e2e_wiring.h"
#include "programrun.h"
#include "tests/support/kvxsim_fixture.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QTcpSocket>

#include <future>
#include <thread>

using namespace mvx::test;
using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

namespace {

using Lines = std::vector<std::string>;

std::string firstLine(const std::string& s) { return s.substr(0, s.find_first_of("\r\n")); }

Lines lines(const std::vector<KvxRequest>& log)
{
    Lines out;
    for (const KvxRequest& r : log) out.push_back(firstLine(r.text));
    return out;
}

int count(const std::string& text, const std::string& what)
{
    int n = 0;
    for (std::size_t p = text.find(what); p != std::string::npos; p = text.find(what, p + 1)) ++n;
    return n;
}

// One connection to the program's remote port, kept open.
class Client {
public:
    explicit Client(int port)
    {
        mSocket.connectToHost(QHostAddress::LocalHost, static_cast<quint16>(port));
        mSocket.waitForConnected(2000);
    }
    bool connected() const { return mSocket.state() == QAbstractSocket::ConnectedState; }
    void send(const std::string& text)
    {
        mSocket.write(text.data(), static_cast<qint64>(text.size()));
        mSocket.flush();
    }
    // Everything received until `replies` answers ("... DONE", "... FAILED") are in, or the
    // time-out.
    std::string await(int replies, std::chrono::milliseconds timeout)
    {
        const auto end = Clock::now() + timeout;
        while (answers() < replies && Clock::now() < end) {
            if (mSocket.waitForReadyRead(50)) mReceived += mSocket.readAll().toStdString();
            if (mSocket.state() != QAbstractSocket::ConnectedState) break;
        }
        mReceived += mSocket.readAll().toStdString();
        std::string out;
        out.swap(mReceived);
        return out;
    }
    std::string ask(const std::string& command, std::chrono::milliseconds timeout = 10s)
    {
        send(command + "\n");
        return await(1, timeout);
    }

private:
    int answers() const { return count(mReceived, " DONE") + count(mReceived, " FAILED"); }
    QTcpSocket mSocket;
    std::string mReceived;
};

// Speed changes of the three axes as the direct mode sends them (read, then written back).
Lines speeds(const char* velocity)
{
    Lines out;
    for (const char* axis : {"X", "Y", "Z"}) {
        out.push_back(std::string("PositionerSGammaParametersGet(GROUP1.") + axis + ",double *,double *,double *,double *)");
        out.push_back(std::string("PositionerSGammaParametersSet(GROUP1.") + axis + "," + velocity + ",400.000000," +
                      "0.005000,0.050000)");
    }
    out.back() = std::string("PositionerSGammaParametersSet(GROUP1.Z,") + velocity + ",200.000000,0.005000,0.050000)";
    return out;
}

Lines operator+(Lines a, const Lines& b)
{
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

// The direct run of "G90 / G0 X3 Y2 Z0" up to its move, with what happens to the group in between.
const char* const kOneMove = "G90\nG0 X3 Y2 Z0\n";
const Lines kDirectStart = Lines{"PositionerSGammaParametersGet(GROUP1.X,double *,double *,double *,double *)",
                                 "PositionerSGammaParametersGet(GROUP1.Y,double *,double *,double *,double *)",
                                 "PositionerSGammaParametersGet(GROUP1.Z,double *,double *,double *,double *)"} +
                           speeds("10.000000");
const Lines kMoveOne = Lines{"GPIODigitalSet(GPIO1.DO ,1,1)"} + speeds("10.000000") +
                       Lines{"GroupPositionCurrentGet(GROUP1,double *,double *,double *)",
                             "GroupMoveAbsolute(GROUP1,3.0000000000000,2.0000000000000,0.0000000000000)"};

class LinkE2E : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (!std::string(MVX_E2E_MISSING).empty()) GTEST_SKIP() << "not wired yet: " << MVX_E2E_MISSING;
        KvxSimOptions o;
        o.timeScale = 0.05;
        mSim = std::make_unique<KvxSim>(o);
    }
    // The program started without arguments, its remote port open, the start-up done; the
    // request log is empty when it returns.
    void start(const std::string& gcode = kOneMove)
    {
        std::map<std::string, std::map<std::string, std::string>> s;
        s["POSITIONER NAME"] = {{"AXIS X", "GROUP1.X"}, {"AXIS Y", "GROUP1.Y"}, {"AXIS Z", "GROUP1.Z"}};
        s["TCP-IP server"]["Active"] = "1";
        // One poll an hour: the log holds the job's requests only.
        s["ENCODER"]["PERIOD"] = "3600000";
        s["MAIN"]["HIDE FCONNECT"] = "1";
        s["KVX"]["TYPE"] = "Q";
        mRun = std::make_unique<ProgramRun>(mSim->address(), s);
        mRun->writeGCode("part.nc", gcode);
        mRun->start({});
        ASSERT_TRUE(mRun->waitForServer(60s)) << mRun->output();
        const auto end = Clock::now() + 60s;
        auto connected = [&] {
            const Lines l = lines(mSim->requestLog());
            return std::find(l.begin(), l.end(), "ObjectsListGet(char *)") != l.end();
        };
        while (Clock::now() < end && !connected()) std::this_thread::sleep_for(100ms);
        std::this_thread::sleep_for(500ms);
        mSim->clearRequestLog();
    }
    // Read (and, outside the direct mode, converted and uploaded) in `mode`.
    void prepare(int mode, bool convert)
    {
        Client c(mRun->serverPort());
        ASSERT_EQ(c.ask("MODE " + std::to_string(mode)), "MODE DONE");
        ASSERT_EQ(c.ask("READ part.nc"), "READ DONE");
        if (convert) {
            ASSERT_EQ(c.ask("CREATE", 60s), "CREATE DONE");
        }
    }
    // The uploaded script replaced by one that makes no controller call of its own.
    void script(const std::string& text) { mSim->writeFile("Public/Scripts/GCode_Converted.TCL", text); }
    KvxFault fault(const std::string& function, const std::string& kind, double delay = 0.0, int code = -100)
    {
        KvxFault f;
        f.function = function;
        f.kind = kind;
        f.delay = delay;
        f.code = code;
        return f;
    }
    std::string ask(const std::string& command, std::chrono::milliseconds timeout = 10s)
    {
        Client c(mRun->serverPort());
        return c.ask(command, timeout);
    }
    std::unique_ptr<KvxSim> mSim;
    std::unique_ptr<ProgramRun> mRun;
};

TEST_F(LinkE2E, DirectModeStopsWhenAPositionReadGetsNoReply)
{
    start("G90\nG0 X5 Y5 Z0\nG1 X15 Y5 F300\nG1 X15 Y15\nG1 X5 Y15\nG0 X2 Y3 Z0\n");
    prepare(3, false);
    ASSERT_EQ(ask("INIT", 60s), "INIT DONE");
    mSim->setPositions("GROUP1", {1.0, 1.0, 0.0});
    mSim->setFault(fault("GroupPositionCurrentGet", "delay", 2.0));
    mSim->clearRequestLog();
    // The job ran and stopped: nothing for a client to run again.
    EXPECT_EQ(ask("EXECUTE", 30s), "EXECUTE DONE");
    std::this_thread::sleep_for(2500ms);  // the late reply is drained, nothing follows it
    const Lines expected = kDirectStart + Lines{"GroupStatusGet(GROUP1, int *)", "GPIODigitalSet(GPIO1.DO ,1,1)"} +
                           speeds("10.000000") + Lines{"GroupPositionCurrentGet(GROUP1,double *,double *,double *)"};
    EXPECT_EQ(lines(mSim->requestLog()), expected);
    const auto p = mSim->positions("GROUP1");
    EXPECT_EQ(p, (std::vector<double>{1.0, 1.0, 0.0}));
    EXPECT_TRUE(mRun->waitForOutput("Direct execution stopped: the position of GROUP1 could not be read (no reply "
                                    "from the controller); the move to X5.0000 Y5.0000 Z0.0000 was not sent",
                                    5s))
        << mRun->output();
    // The next run starts afresh once the controller answers again.
    mSim->clearFaults();
    mSim->clearRequestLog();
    EXPECT_EQ(ask("EXECUTE", 30s), "EXECUTE DONE");
    EXPECT_NEAR(mSim->positions("GROUP1")[0], 2.0, 1e-6);
}

TEST_F(LinkE2E, DirectBatchStopsWhenAPositionReadGetsNoReply)
{
    std::map<std::string, std::map<std::string, std::string>> s;
    s["POSITIONER NAME"] = {{"AXIS X", "GROUP1.X"}, {"AXIS Y", "GROUP1.Y"}, {"AXIS Z", "GROUP1.Z"}};
    s["ENCODER"]["PERIOD"] = "3600000";
    s["MAIN"]["HIDE FCONNECT"] = "1";
    s["KVX"]["TYPE"] = "Q";
    ProgramRun run(mSim->address(), s);
    // Relative PVT rows after the first move: run from the wrong point they would cut elsewhere.
    run.writeGCode("part.nc", "G90\nG0 X5 Y5 Z0\nG1 X15 Y5 F300\nG1 X25 Y5\nG1 X35 Y5\n");
    mSim->setFault(fault("GroupPositionCurrentGet", "delay", 2.0));
    run.start({"part.nc", "/X", "/H"});
    ASSERT_TRUE(run.waitForExit(90s)) << run.output();
    EXPECT_NE(run.output().find("Direct execution stopped: the position of GROUP1 could not be read"), std::string::npos)
        << run.output();
    const Lines l = lines(mSim->requestLog());
    for (const char* motion : {"GroupMoveAbsolute", "MultipleAxesPVTExecution"})
        EXPECT_EQ(std::find_if(l.begin(), l.end(), [&](const std::string& r) { return r.rfind(motion, 0) == 0; }), l.end())
            << motion;
}

TEST_F(LinkE2E, RemoteInitThatFailsIsAnsweredAtOnceWithoutABox)
{
    start();
    mSim->setFault(fault("GroupHomeSearch", "error", 0.0, -22));
    const auto t0 = Clock::now();
    EXPECT_EQ(ask("INIT", 30s), "INIT FAILED");
    EXPECT_LT(Clock::now() - t0, 5s);
    EXPECT_EQ(ask("HELLO"), "HELLO NOT DONE");
    EXPECT_EQ(lines(mSim->requestLog()),
              (Lines{"KillAll()", "GroupInitialize(GROUP1)", "GroupHomeSearch(GROUP1)", "ErrorStringGet(-22,char *)"}));
    EXPECT_TRUE(mRun->waitForOutput("Init GROUP1 : GroupHomeSearch -22 Action not allowed in the current group state", 5s))
        << mRun->output();
}

TEST_F(LinkE2E, SlowKillAllStillInitialisesOnOneConnectionAndTheScriptRuns)
{
    start();
    prepare(2, true);
    script("return 0\n");
    mSim->setFault(fault("KillAll", "delay", 2.0));
    mSim->clearRequestLog();
    EXPECT_EQ(ask("INIT", 90s), "INIT DONE");
    EXPECT_EQ(ask("EXECUTE", 30s), "EXECUTE DONE");
    const auto log = mSim->requestLog();
    ASSERT_EQ(lines(log), (Lines{"KillAll()", "GroupInitialize(GROUP1)", "GroupHomeSearch(GROUP1)",
                                 "TCLScriptExecuteAndWait(GCode_Converted.TCL,GCODE, ,char *)"}));
    EXPECT_EQ(log[1].connection, log[0].connection);
    EXPECT_EQ(log[2].connection, log[0].connection);
    EXPECT_EQ(mSim->groupStatus("GROUP1"), 11);
}

TEST_F(LinkE2E, DirectModeMakesTheGroupReadyOnlyWhenItsStatusSaysSo)
{
    start(kOneMove);
    prepare(3, false);
    struct Case {
        int status;
        Lines between;        // after the status read, before the move
        bool moves;
        const char* said;     // in the log
    } cases[] = {
        {11, {}, true, nullptr},
        {7, {"GroupInitialize(GROUP1)", "GroupHomeSearch(GROUP1)"}, true,
         "GROUP1 not initialised (status 7): initialisation and home search"},
        {42, {"GroupHomeSearch(GROUP1)"}, true, "GROUP1 not homed (status 42): home search"},
        // Disabled after a home search: left as it is, and nothing moves.
        {20, {}, false, "Direct execution stopped: GROUP1 is not ready (status 20)"},
    };
    bool first = true;
    for (const Case& c : cases) {
        SCOPED_TRACE("status " + std::to_string(c.status));
        mSim->setPositions("GROUP1", {1.0, 1.0, 0.0});
        mSim->setGroupStatus("GROUP1", c.status);
        mSim->clearRequestLog();
        EXPECT_EQ(ask("EXECUTE", 30s), "EXECUTE DONE");
        // The first run also brings the axes to the positioning speed; later runs find them there.
        Lines expected = first ? kDirectStart : Lines(kDirectStart.begin(), kDirectStart.begin() + 3);
        first = false;
        const std::size_t status = expected.size();
        expected = expected + Lines{"GroupStatusGet(GROUP1, int *)"} + c.between;
        if (c.moves) expected = expected + kMoveOne;
        const auto log = mSim->requestLog();
        EXPECT_EQ(lines(log), expected);
        // Initialisation and home search on one connection.
        if (c.between.size() == 2 && log.size() > status + 2) {
            EXPECT_EQ(log[status + 2].connection, log[status + 1].connection);
        }
        if (c.said) {
            EXPECT_TRUE(mRun->waitForOutput(c.said, 5s)) << mRun->output();
        }
        EXPECT_NEAR(mSim->positions("GROUP1")[0], c.moves ? 3.0 : 1.0, 1e-6);
    }
}

TEST_F(LinkE2E, StepsThatRanAndFailedAreDoneNotFailed)
{
    start("G90\nG0 X1 Y1 Z0\nG1 X2 Y1 F300\nG1 X3 Y1\nG1 X4 Y1\n");
    prepare(2, true);
    ASSERT_EQ(ask("INIT", 60s), "INIT DONE");

    // A script that fails: run once, answered DONE, its failure in the log.
    script("error \"broken on purpose\"\n");
    mSim->clearRequestLog();
    EXPECT_EQ(ask("EXECUTE", 30s), "EXECUTE DONE");
    EXPECT_EQ(lines(mSim->requestLog()), (Lines{"TCLScriptExecuteAndWait(GCode_Converted.TCL,GCODE, ,char *)"}));
    EXPECT_TRUE(mRun->waitForOutput("broken on purpose", 5s)) << mRun->output();

    // A script the controller does not find: its code is explained with the controller's text,
    // which the log shows.
    mSim->controlRaw("{\"cmd\": \"remove_file\", \"path\": \"Public/Scripts/GCode_Converted.TCL\"}");
    mSim->clearRequestLog();
    EXPECT_EQ(ask("EXECUTE", 30s), "EXECUTE DONE");
    EXPECT_EQ(lines(mSim->requestLog()), (Lines{"TCLScriptExecuteAndWait(GCode_Converted.TCL,GCODE, ,char *)",
                                                "TCLScriptKill(GCODE)", "ErrorStringGet(-60,char *)"}));
    EXPECT_TRUE(mRun->waitForOutput("result : -60  -> TCL script file not found", 5s)) << mRun->output();

    // A verification that fails: every file verified once, DONE.
    mSim->setFault(fault("MultipleAxesPVTVerification", "error", 0.0, -66));
    mSim->clearRequestLog();
    EXPECT_EQ(ask("VERIFY", 30s), "VERIFY DONE");
    const Lines verified = lines(mSim->requestLog());
    ASSERT_FALSE(verified.empty());
    EXPECT_EQ(verified[0], "MultipleAxesPVTVerification(GROUP1,TRJ1.PVT)");
    EXPECT_TRUE(mRun->waitForOutput("TRJ1.PVT : -66 Trajectory above the positioner maximum velocity", 5s))
        << mRun->output();
    mSim->clearFaults();

    // DRAW: read, converted, uploaded and executed once although the script fails.
    mSim->setFault(fault("TCLScriptExecuteAndWait", "error", 0.0, -60));
    mSim->clearRequestLog();
    EXPECT_EQ(ask("DRAW part.nc", 60s), "DRAW DONE");
    const Lines drawn = lines(mSim->requestLog());
    EXPECT_EQ(std::count(drawn.begin(), drawn.end(), "TCLScriptExecuteAndWait(GCode_Converted.TCL,GCODE, ,char *)"), 1);

    // Nothing happened: FAILED, and nothing was sent.
    mSim->clearFaults();
    ASSERT_EQ(ask("MODE 1"), "MODE DONE");  // a new mode wants a new conversion
    ASSERT_EQ(ask("READ part.nc"), "READ DONE");
    mSim->clearRequestLog();
    EXPECT_EQ(ask("EXECUTE"), "EXECUTE FAILED");
    EXPECT_EQ(ask("VERIFY"), "VERIFY FAILED");
    EXPECT_TRUE(mSim->requestLog().empty());
}

TEST_F(LinkE2E, CommandsAreAnsweredWhileAnExecuteWaits)
{
    start();
    prepare(2, true);
    script("after 4000\nreturn 0\n");
    mSim->clearRequestLog();
    Client runner(mRun->serverPort());
    runner.send("EXECUTE\n");
    std::this_thread::sleep_for(1000ms);
    struct Row {
        const char* command;
        const char* reply;
    } rows[] = {
        {"HELLO", "HELLO NOT DONE"},
        {"3D", "3D FAILED"},  // the 3D page is hidden
        {"CREATE", "CREATE FAILED"},
        {"EXECUTE", "EXECUTE FAILED"},
        {"VERIFY", "VERIFY FAILED"},
        {"INIT", "INIT FAILED"},
        {"READ part.nc", "READ FAILED"},
        {"DRAW part.nc", "DRAW FAILED"},
        {"MODE 1", "MODE FAILED"},
    };
    Client other(mRun->serverPort());
    for (const Row& r : rows) {
        const auto t0 = Clock::now();
        EXPECT_EQ(other.ask(r.command), r.reply) << r.command;
        EXPECT_LT(Clock::now() - t0, 1s) << r.command;
    }
    // The client that waits for its EXECUTE is answered too.
    const auto t0 = Clock::now();
    EXPECT_EQ(runner.ask("HELLO"), "HELLO NOT DONE");
    EXPECT_LT(Clock::now() - t0, 1s);
    EXPECT_EQ(runner.await(1, 30s), "EXECUTE DONE");
    // The refused steps sent nothing.
    EXPECT_EQ(lines(mSim->requestLog()), (Lines{"TCLScriptExecuteAndWait(GCode_Converted.TCL,GCODE, ,char *)"}));
}

TEST_F(LinkE2E, AStopBurstOnOneConnectionIsAnsweredWithoutNesting)
{
    start();
    constexpr int kStops = 5000;
    Client c(mRun->serverPort());
    ASSERT_TRUE(c.connected());
    for (int i = 0; i < kStops; ++i) c.send("STOP\n");
    const std::string replies = c.await(kStops, 120s);
    EXPECT_EQ(count(replies, "STOP DONE"), kStops);
    EXPECT_EQ(count(replies, "FAILED"), 0);
    // Still serving, on this connection and on a new one.
    EXPECT_EQ(c.ask("HELLO"), "HELLO NOT DONE");
    EXPECT_EQ(ask("MODE 2"), "MODE DONE");
    // One kill in flight at a time: far fewer kills than STOPs, none of them nested.
    const Lines log = lines(mSim->requestLog());
    const auto kills = std::count(log.begin(), log.end(), "KillAll()");
    EXPECT_GE(kills, 1);
    EXPECT_LT(kills, kStops / 10);
    EXPECT_EQ(static_cast<std::size_t>(kills), log.size());
}

}  // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
