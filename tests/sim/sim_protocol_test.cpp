// Request grammar, reply shape, connections, the request log and injected faults of the
// simulator's API port.

#include "sim_test_util.h"
#include "support/kvxsim_fixture.h"

#include <gtest/gtest.h>

#include <ostream>

#include <atomic>
#include <thread>
#include <vector>

using namespace std::chrono_literals;
using mvx::test::KvxFault;
using mvx::test::KvxSim;
using mvx::test::RawConnection;

namespace {

struct GrammarRow {
    const char* name;
    std::string request;   // bytes as sent
    std::string reply;     // whole expected reply
};

void PrintTo(const GrammarRow& row, std::ostream* os)
{
    *os << row.name;
}

class SimGrammar : public ::testing::TestWithParam<GrammarRow> {
protected:
    static void SetUpTestSuite() { sim = new KvxSim(); }
    static void TearDownTestSuite()
    {
        delete sim;
        sim = nullptr;
    }
    static KvxSim* sim;
};
KvxSim* SimGrammar::sim = nullptr;

TEST_P(SimGrammar, AnswersEachForm)
{
    const GrammarRow& row = GetParam();
    EXPECT_EQ(sim->apiCall(row.request), row.reply) << row.request;
}

INSTANTIATE_TEST_SUITE_P(
    Requests, SimGrammar,
    ::testing::Values(
        GrammarRow{"DetectionWithoutLineEnd", "FirmwareVersionGet(char*)", "0,KVX-Q Version #30039,EndOfAPI"},
        GrammarRow{"BlankBeforeParenthesis", "FirmwareVersionGet (char *)\n\r", "0,KVX-Q Version #30039,EndOfAPI"},
        GrammarRow{"TrailingBlanksInName", "GroupStatusGet   (GROUP1,int *)\n\r", "0,7,EndOfAPI"},
        GrammarRow{"DoubleBlankPlaceholder", "GroupStatusGet(GROUP1,int  *)\n\r", "0,7,EndOfAPI"},
        GrammarRow{"BlanksEverywhere", "  GroupStatusGet ( GROUP1 , int * ) \n\r", "0,7,EndOfAPI"},
        GrammarRow{"CarriageReturnOnly", "GroupStatusGet(GROUP1,int *)\r", "0,7,EndOfAPI"},
        GrammarRow{"LineFeedOnly", "GroupStatusGet(GROUP1,int *)\n", "0,7,EndOfAPI"},
        GrammarRow{"CrLf", "GroupStatusGet(GROUP1,int *)\r\n", "0,7,EndOfAPI"},
        GrammarRow{"UnknownFunction", "NoSuchFunction(1,int *)\n\r", "-3,EndOfAPI"},
        GrammarRow{"NotACall", "hello\n\r", "-7,EndOfAPI"},
        GrammarRow{"UnknownGroup", "GroupStatusGet(NOPE,int *)\n\r", "-19,EndOfAPI"},
        GrammarRow{"UnknownPositioner", "PositionerSGammaParametersGet(GROUP1.Q,double *,double *,double *,double *)\n\r", "-18,EndOfAPI"},
        GrammarRow{"MissingPlaceholder", "GroupStatusGet(GROUP1)\n\r", "-9,EndOfAPI"},
        GrammarRow{"IntegerExpected", "ErrorStringGet(abc,char *)\n\r", "-10,EndOfAPI"},
        GrammarRow{"ErrorText", "ErrorStringGet(-22,char *)\n\r", "0,Action not allowed in the current group state,EndOfAPI"},
        GrammarRow{"AnyCodeHasAText", "ErrorStringGet(-12345,char *)\n\r", "0,Unknown error code -12345,EndOfAPI"},
        GrammarRow{"StatusText", "GroupStatusStringGet(42,char *)\n\r", "0,Not referenced state,EndOfAPI"},
        GrammarRow{"StatelessDefaults", "PositionerEncoderAmplitudeValuesGet(GROUP1.X,1,double *,double *,double *,double *)\n\r", "0,0,0,0,0,EndOfAPI"},
        GrammarRow{"ZeroPositions", "GroupPositionCurrentGet(GROUP1)\n\r", "-9,EndOfAPI"},
        GrammarRow{"PositionerPosition", "GroupPositionCurrentGet(GROUP1.Y,double *)\n\r", "0,0,EndOfAPI"},
        GrammarRow{"KillAll", "KillAll()\n\r", "0,EndOfAPI"}),
    [](const ::testing::TestParamInfo<GrammarRow>& info) { return std::string(info.param.name); });

TEST(SimProtocol, ListsUseSemicolonsAndHoldNoComma)
{
    KvxSim sim;
    for (const char* request : {"ObjectsListGet(char *)\n\r", "HardwareInternalListGet (char *)\n\r",
                                "APIListGet ( char *)\n\r", "ErrorListGet ( char *)\n\r"}) {
        std::string reply = sim.apiCall(request);
        ASSERT_EQ(reply.rfind("0,", 0), 0u) << reply;
        ASSERT_EQ(reply.substr(reply.size() - 9), ",EndOfAPI");
        std::string text = reply.substr(2, reply.size() - 11);
        EXPECT_EQ(text.find(','), std::string::npos) << request;
        EXPECT_EQ(text.find("API"), std::string::npos) << request;
        EXPECT_NE(text.find(';'), std::string::npos) << request;
    }
    std::string objects = sim.apiCall("ObjectsListGet(char *)\n\r");
    EXPECT_NE(objects.find(";GPIO2.ADC1"), std::string::npos);
    EXPECT_NE(objects.find("GROUP1.Z"), std::string::npos);
}

TEST(SimProtocol, PipelinedRequestsAnswerInOrderWithNothingAfterTheReply)
{
    KvxSim sim;
    RawConnection c(sim.address(), KvxSim::kApiPort);
    ASSERT_TRUE(c.connected());
    c.send("GroupStatusGet(GROUP1,int *)\n\rGroupInitialize(GROUP1)\n\rGroupStatusGet(GROUP1,int *)\n\r");
    EXPECT_EQ(c.readUntil("EndOfAPI", 5s), "0,7,EndOfAPI");
    EXPECT_EQ(c.readUntil("EndOfAPI", 5s), "0,EndOfAPI");
    EXPECT_EQ(c.readUntil("EndOfAPI", 5s), "0,42,EndOfAPI");
    EXPECT_EQ(c.readUntil("EndOfAPI", 200ms), "");
    EXPECT_FALSE(c.closedByPeer());
}

TEST(SimProtocol, RequestSplitAcrossPacketsIsJoined)
{
    KvxSim sim;
    RawConnection c(sim.address(), KvxSim::kApiPort);
    c.send("GroupStatus");
    std::this_thread::sleep_for(100ms);
    c.send("Get(GROUP1,int *");
    std::this_thread::sleep_for(100ms);
    c.send(")\n");
    std::this_thread::sleep_for(100ms);
    c.send("\r");
    EXPECT_EQ(c.readUntil("EndOfAPI", 5s), "0,7,EndOfAPI");
    EXPECT_EQ(c.readUntil("EndOfAPI", 200ms), "");
}

TEST(SimProtocol, FortyConnectionsAtOnceAreIndependent)
{
    KvxSim sim;
    std::vector<std::unique_ptr<RawConnection>> conns;
    for (int i = 0; i < 40; ++i) {
        conns.push_back(std::make_unique<RawConnection>(sim.address(), KvxSim::kApiPort));
        ASSERT_TRUE(conns.back()->connected()) << i;
    }
    // One connection blocks in a long delayed call; every other one still answers at once.
    sim.setFault({.function = "ElapsedTimeGet", .kind = "delay", .delay = 1.0});
    conns[0]->send("ElapsedTimeGet(double *)\n\r");
    auto start = std::chrono::steady_clock::now();
    for (int i = 1; i < 40; ++i)
        EXPECT_EQ(conns[i]->call("GroupStatusGet(GROUP2,int *)"), "0,7,EndOfAPI") << i;
    EXPECT_LT(std::chrono::steady_clock::now() - start, 900ms);
    EXPECT_EQ(conns[0]->readUntil("EndOfAPI", 5s).rfind("0,", 0), 0u);
    EXPECT_GE(sim.apiConnectionCount(), 40);
}

// A call that lasts holds up its own connection only: the requests sent behind it on that
// connection are answered after it, in order, and other connections are answered meanwhile,
// also while a motion runs.
TEST(SimProtocol, ALastingCallHoldsUpOnlyItsOwnConnection)
{
    KvxSim sim;
    RawConnection a(sim.address(), KvxSim::kApiPort);
    RawConnection b(sim.address(), KvxSim::kApiPort);
    ASSERT_TRUE(a.connected() && b.connected());
    sim.setFault({.function = "ElapsedTimeGet", .kind = "delay", .delay = 0.5, .count = 1});
    a.send("ElapsedTimeGet(double *)\n\rGroupStatusGet(GROUP2,int *)\n\r");
    EXPECT_EQ(b.call("GroupStatusGet(GROUP3,int *)"), "0,7,EndOfAPI");
    EXPECT_EQ(a.readUntil("EndOfAPI", 200ms), "");
    EXPECT_EQ(a.readUntil("EndOfAPI", 5s).rfind("0,", 0), 0u);
    EXPECT_EQ(a.readUntil("EndOfAPI", 5s), "0,7,EndOfAPI");

    sim.setTimeScale(1.0);
    EXPECT_EQ(a.call("GroupInitialize(GROUP1)"), "0,EndOfAPI");
    sim.setGroupStatus("GROUP1", 11);
    a.send("GroupMoveAbsolute(GROUP1,50,0,0)\n\r");
    for (int i = 0; i < 500 && sim.groupStatus("GROUP1") != 44; ++i) std::this_thread::sleep_for(10ms);
    ASSERT_EQ(sim.groupStatus("GROUP1"), 44);
    EXPECT_EQ(b.call("GroupStatusGet(GROUP1,int *)"), "0,44,EndOfAPI");
    EXPECT_EQ(a.readUntil("EndOfAPI", 100ms), "");
    EXPECT_EQ(b.call("GroupMoveAbort(GROUP1)"), "0,EndOfAPI");
    EXPECT_EQ(a.readUntil("EndOfAPI", 5s), "-27,EndOfAPI");
}

TEST(SimProtocol, RequestLogKeepsRawTextAndConnection)
{
    KvxSim sim;
    sim.clearRequestLog();
    sim.apiCall("FirmwareVersionGet(char*)");
    sim.apiCall("GroupStatusGet (GROUP1,int *)\n\r");
    auto log = sim.requestLog();
    ASSERT_EQ(log.size(), 2u);
    EXPECT_EQ(log[0].text, "FirmwareVersionGet(char*)");
    EXPECT_EQ(log[1].text, "GroupStatusGet (GROUP1,int *)\n\r");
    EXPECT_NE(log[0].connection, log[1].connection);
    EXPECT_LE(log[0].time, log[1].time);
    EXPECT_EQ(sim.requestLog(1).size(), 1u);
}

TEST(SimProtocol, GenericSetterIsReadBackByItsGetter)
{
    KvxSim sim;
    EXPECT_EQ(sim.apiCall("PositionerCorrectorPIDFFVelocitySet(GROUP1.X,1,120,12,1.5,1000,0.1,0.2,0.3,0.4,0.5,0.6,0.7)\n\r"), "0,EndOfAPI");
    EXPECT_EQ(sim.apiCall("PositionerCorrectorPIDFFVelocityGet(GROUP1.X,bool *,double *,double *,double *,double *,double *,double *,double *,double *,double *,double *,double *)\n\r"),
              "0,1,120,12,1.5,1000,0.1,0.2,0.3,0.4,0.5,0.6,0.7,EndOfAPI");
    EXPECT_EQ(sim.apiCall("PositionerBacklashSet(GROUP1.Y,0.25)\n\r"), "0,EndOfAPI");
    EXPECT_EQ(sim.apiCall("PositionerBacklashGet(GROUP1.Y,double *,char *)\n\r"), "0,0.25,,EndOfAPI");
    // The other positioner keeps its own values.
    EXPECT_EQ(sim.apiCall("PositionerBacklashGet(GROUP1.X,double *,char *)\n\r"), "0,0,,EndOfAPI");
}

TEST(SimProtocol, RefusesToBindOutsideLoopback)
{
    for (const char* address : {"192.168.254.254", "0.0.0.0", "10.1.2.3"}) {
        auto r = mvx::test::runCommand("/usr/bin/python3 " + mvx::test::kvxsimPath() + " --address " + address);
        EXPECT_EQ(r.status, 2) << address;
        EXPECT_NE(r.output.find("only 127.0.0.0/8"), std::string::npos) << r.output;
    }
}

// ----- faults ---------------------------------------------------------------------------------

TEST(SimFaults, DelayLateNoReplyAndForcedError)
{
    KvxSim sim;
    sim.setFault({.function = "GroupInitialize", .kind = "late", .delay = 0.6, .count = 1});
    RawConnection c(sim.address(), KvxSim::kApiPort);
    auto start = std::chrono::steady_clock::now();
    c.send("GroupInitialize(GROUP1)\n\r");
    EXPECT_EQ(c.readUntil("EndOfAPI", 200ms), "");  // a caller with a short time-out sees nothing
    EXPECT_EQ(sim.groupStatus("GROUP1"), 42);       // but the action already happened
    EXPECT_EQ(c.readUntil("EndOfAPI", 5s), "0,EndOfAPI");  // the late answer arrives on the same connection
    EXPECT_GE(std::chrono::steady_clock::now() - start, 550ms);

    sim.setFault({.function = "GroupHomeSearch", .kind = "delay", .delay = 0.5, .count = 1});
    c.send("GroupHomeSearch(GROUP1)\n\r");
    std::this_thread::sleep_for(200ms);
    EXPECT_EQ(sim.groupStatus("GROUP1"), 42);  // delayed: not started yet
    EXPECT_EQ(c.readUntil("EndOfAPI", 5s), "0,EndOfAPI");
    EXPECT_EQ(sim.groupStatus("GROUP1"), 11);

    sim.setFault({.function = "GroupKill", .kind = "noreply", .count = 1});
    c.send("GroupKill(GROUP1)\n\r");
    EXPECT_EQ(c.readUntil("EndOfAPI", 400ms), "");
    EXPECT_EQ(sim.groupStatus("GROUP1"), 11);  // swallowed, not executed
    EXPECT_EQ(c.call("GroupStatusGet(GROUP1,int *)"), "0,11,EndOfAPI");  // count 1: the next one works

    sim.setFault({.function = "*", .kind = "error", .code = -42});
    EXPECT_EQ(c.call("GroupStatusGet(GROUP1,int *)"), "-42,EndOfAPI");
    sim.clearFaults();
    EXPECT_EQ(c.call("GroupStatusGet(GROUP1,int *)"), "0,11,EndOfAPI");
}

TEST(SimFaults, SplitReplyCloseAndRawReply)
{
    KvxSim sim;
    // "API" split across two pieces.
    sim.setFault({.function = "GroupStatusGet", .kind = "split", .splitAt = {4, 10}, .gap = 0.2, .count = 1});
    RawConnection c(sim.address(), KvxSim::kApiPort);
    c.send("GroupStatusGet(GROUP1,int *)\n\r");
    EXPECT_EQ(c.readUntil("EndOfAPI", 100ms), "0,7,");
    EXPECT_EQ(c.readUntil("EndOfAPI", 5s), "EndOfAPI");

    sim.setFault({.function = "ErrorStringGet", .kind = "reply", .count = 1, .reply = "0"});
    EXPECT_EQ(c.call("ErrorStringGet(0,char *)", 400ms), "0");

    sim.setFault({.function = "KillAll", .kind = "close", .count = 1});
    c.send("KillAll()\n\r");
    EXPECT_EQ(c.readUntil("EndOfAPI", 2s), "");
    EXPECT_TRUE(c.closedByPeer());
}

}  // namespace
