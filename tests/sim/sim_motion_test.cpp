// Group status machine, moves in simulated time, jog and PVT trajectories.

#include "sim_test_util.h"
#include "support/kvxsim_fixture.h"

#include "translator/numtext.h"

#include <gtest/gtest.h>

#include <ostream>

#include <future>
#include <thread>

using namespace std::chrono_literals;
using mvx::test::KvxSim;
using mvx::test::KvxSimOptions;
using mvx::test::RawConnection;

namespace {

struct Step {
    std::string request;
    std::string reply;
    int statusAfter;
};

// One walk through the status machine; every refusal leaves the status as it was.
TEST(SimStatusMachine, FollowsAndRefuses)
{
    KvxSim sim;
    const std::vector<Step> steps = {
        {"GroupHomeSearch(GROUP2)", "-22,EndOfAPI", 7},
        {"GroupMoveAbsolute(GROUP2,1.0000000000000,1.0000000000000)", "-22,EndOfAPI", 7},
        {"GroupInitialize(GROUP2)", "0,EndOfAPI", 42},
        {"GroupInitialize(GROUP2)", "-22,EndOfAPI", 42},
        {"GroupMotionDisable(GROUP2)", "-22,EndOfAPI", 42},
        {"GroupHomeSearch(GROUP2)", "0,EndOfAPI", 11},
        {"GroupMotionDisable(GROUP2)", "0,EndOfAPI", 20},
        {"GroupMoveRelative(GROUP2,1.0000000000000,1.0000000000000)", "-22,EndOfAPI", 20},
        {"GroupMotionEnable(GROUP2)", "0,EndOfAPI", 13},
        {"GroupJogModeDisable(GROUP2)", "-22,EndOfAPI", 13},
        {"GroupJogModeEnable(GROUP2)", "0,EndOfAPI", 47},
        {"GroupMoveAbsolute(GROUP2,1.0000000000000,1.0000000000000)", "-22,EndOfAPI", 47},
        {"GroupJogModeDisable(GROUP2)", "0,EndOfAPI", 14},
        {"GroupMoveAbsolute(GROUP2,1.0000000000000,-2.5000000000000)", "0,EndOfAPI", 12},
        {"GroupMoveAbsolute(GROUP2,1.0000000000000)", "-9,EndOfAPI", 12},
        {"GroupMoveAbsolute(GROUP2,5000.0000000000000,0)", "-35,EndOfAPI", 12},
        {"GroupKill(GROUP2)", "0,EndOfAPI", 7},
        {"GroupInitialize(GROUP2)", "0,EndOfAPI", 42},
        {"KillAll()", "0,EndOfAPI", 7},
    };
    RawConnection c(sim.address(), KvxSim::kApiPort);
    for (const Step& s : steps) {
        EXPECT_EQ(c.call(s.request), s.reply) << s.request;
        EXPECT_EQ(c.call("GroupStatusGet(GROUP2,int *)"), "0," + std::to_string(s.statusAfter) + ",EndOfAPI") << s.request;
    }
    auto pos = sim.positions("GROUP2");
    ASSERT_EQ(pos.size(), 2u);
    EXPECT_DOUBLE_EQ(pos[0], 1.0);
    EXPECT_DOUBLE_EQ(pos[1], -2.5);
    // Other groups were killed too, and did not move.
    EXPECT_EQ(sim.groupStatus("GROUP1"), 7);
}

void makeReady(RawConnection& c, const std::string& group)
{
    ASSERT_EQ(c.call("GroupInitialize(" + group + ")"), "0,EndOfAPI");
    ASSERT_EQ(c.call("GroupHomeSearch(" + group + ")"), "0,EndOfAPI");
}

double field(const std::string& reply, int index)
{
    std::size_t at = 0;
    for (int i = 0; i < index; ++i)
        at = reply.find(',', at) + 1;
    return mvx::num::parseLenient(std::string_view(reply).substr(at));
}

TEST(SimMoves, MoveIsSeenMidwayAndAnswersWhenDone)
{
    // SGamma velocity of GROUP1.X is 50 units/s: 100 units take about 2.1 simulated seconds.
    KvxSim sim(KvxSimOptions{.timeScale = 0.3});
    RawConnection mover(sim.address(), KvxSim::kApiPort);
    RawConnection watcher(sim.address(), KvxSim::kApiPort);
    makeReady(mover, "GROUP1");

    auto start = std::chrono::steady_clock::now();
    mover.send("GroupMoveAbsolute(GROUP1,100.0000000000000,0.0000000000000,0.0000000000000)\n\r");
    std::this_thread::sleep_for(300ms);
    EXPECT_EQ(mover.readUntil("EndOfAPI", 10ms), "");  // still moving: no answer yet
    EXPECT_EQ(watcher.call("GroupStatusGet(GROUP1,int *)"), "0,44,EndOfAPI");
    std::string mid = watcher.call("GroupPositionCurrentGet(GROUP1,double *,double *,double *)");
    double x = field(mid, 1);
    EXPECT_GT(x, 1.0) << mid;
    EXPECT_LT(x, 99.0) << mid;
    std::string target = watcher.call("GroupPositionTargetGet(GROUP1,double *,double *,double *)");
    EXPECT_EQ(target, "0,100,0,0,EndOfAPI");

    EXPECT_EQ(mover.readUntil("EndOfAPI", 5s), "0,EndOfAPI");
    auto took = std::chrono::steady_clock::now() - start;
    EXPECT_GT(took, 500ms);
    EXPECT_LT(took, 2s);
    EXPECT_EQ(watcher.call("GroupPositionCurrentGet(GROUP1,double *,double *,double *)"), "0,100,0,0,EndOfAPI");
    EXPECT_EQ(sim.groupStatus("GROUP1"), 12);
}

TEST(SimMoves, KillFromAnotherConnectionInterruptsTheMove)
{
    KvxSim sim(KvxSimOptions{.timeScale = 0.3});
    RawConnection mover(sim.address(), KvxSim::kApiPort);
    makeReady(mover, "GROUP1");
    mover.send("GroupMoveRelative(GROUP1,0.0000000000000,100.0000000000000,0.0000000000000)\n\r");
    std::this_thread::sleep_for(300ms);
    EXPECT_EQ(sim.apiCall("KillAll()\n\r"), "0,EndOfAPI");
    EXPECT_EQ(mover.readUntil("EndOfAPI", 2s), "-27,EndOfAPI");
    EXPECT_EQ(sim.groupStatus("GROUP1"), 7);
    double y = sim.positions("GROUP1")[1];
    EXPECT_GT(y, 0.5);
    EXPECT_LT(y, 99.0);
    // Frozen where it stopped.
    std::this_thread::sleep_for(100ms);
    EXPECT_DOUBLE_EQ(sim.positions("GROUP1")[1], y);
}

TEST(SimMoves, SGammaVelocityChangesTheDuration)
{
    KvxSim sim(KvxSimOptions{.timeScale = 0.1});
    RawConnection c(sim.address(), KvxSim::kApiPort);
    makeReady(c, "GROUP3");
    EXPECT_EQ(c.call("PositionerSGammaParametersSet(GROUP3.T,10.000000,720.000000,0.005000,0.050000)"), "0,EndOfAPI");
    EXPECT_EQ(c.call("PositionerSGammaParametersGet(GROUP3.T,double *,double *,double *,double *)"), "0,10,720,0.005,0.05,EndOfAPI");
    EXPECT_EQ(c.call("PositionerSGammaParametersSet(GROUP3.T,-1.000000,720.000000,0.005000,0.050000)"), "-17,EndOfAPI");
    auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(c.call("GroupMoveRelative(GROUP3,50.0000000000000)"), "0,EndOfAPI");  // about 5 s simulated
    auto took = std::chrono::steady_clock::now() - start;
    EXPECT_GT(took, 400ms);
    EXPECT_LT(took, 1500ms);
}

TEST(SimMoves, JogMovesAtTheGivenVelocity)
{
    KvxSim sim(KvxSimOptions{.timeScale = 0.1});
    RawConnection c(sim.address(), KvxSim::kApiPort);
    makeReady(c, "GROUP2");
    EXPECT_EQ(c.call("GroupJogParametersSet(GROUP2,1.0000000000000,10.0000000000000,0.0000000000000,10.0000000000000)"), "-22,EndOfAPI");
    EXPECT_EQ(c.call("GroupJogModeEnable(GROUP2)"), "0,EndOfAPI");
    EXPECT_EQ(c.call("GroupJogParametersSet(GROUP2,10.0000000000000,100.0000000000000,0.0000000000000,100.0000000000000)"), "0,EndOfAPI");
    std::this_thread::sleep_for(200ms);  // 2 simulated seconds
    double x = sim.positions("GROUP2")[0];
    EXPECT_GT(x, 15.0);
    EXPECT_LT(x, 30.0);
    EXPECT_EQ(c.call("GroupJogCurrentGet(GROUP2,double *,double *,double *,double *)"), "0,10,100,0,100,EndOfAPI");
    EXPECT_EQ(c.call("GroupJogModeDisable(GROUP2)"), "0,EndOfAPI");
    double stopped = sim.positions("GROUP2")[0];
    std::this_thread::sleep_for(100ms);
    EXPECT_DOUBLE_EQ(sim.positions("GROUP2")[0], stopped);
}

// ----- PVT ----------------------------------------------------------------------------------------

// A straight move of 10 on X at cruise speed 5, acceleration 100, rest to rest (three rows).
const char* kPvtRows =
    "0.050000 0.125000 5.000000 0.000000 0.000000 0.000000 0.000000\n"
    "1.950000 9.750000 5.000000 0.000000 0.000000 0.000000 0.000000\n"
    "0.050000 0.125000 0.000000 0.000000 0.000000 0.000000 0.000000\n";

TEST(SimPvt, VerifyKeepsExtremaAndExecutePlaysTheFile)
{
    KvxSim sim(KvxSimOptions{.timeScale = 0.25});
    sim.writeFile("Public/Trajectories/TRJ1.PVT", kPvtRows);
    RawConnection c(sim.address(), KvxSim::kApiPort);
    EXPECT_EQ(c.call("MultipleAxesPVTVerificationResultGet(GROUP1.X,char * ,double *,double *,double *,double *)"), "-69,EndOfAPI");
    EXPECT_EQ(c.call("MultipleAxesPVTVerification(GROUP1,TRJ1.PVT)"), "0,EndOfAPI");
    std::string result = c.call("MultipleAxesPVTVerificationResultGet(GROUP1.X,char * ,double *,double *,double *,double *)");
    EXPECT_EQ(result.substr(0, 11), "0,TRJ1.PVT,") << result;
    EXPECT_NEAR(field(result, 2), 0.0, 1e-9);
    EXPECT_NEAR(field(result, 3), 10.0, 1e-6);
    EXPECT_NEAR(field(result, 4), 5.0, 1e-6);
    EXPECT_NEAR(field(result, 5), 100.0, 1e-6);  // the acceleration of the first and last rows
    EXPECT_EQ(c.call("MultipleAxesPVTVerificationResultGet(GROUP1.Y,char * ,double *,double *,double *,double *)"),
              "0,TRJ1.PVT,0,0,0,0,EndOfAPI");

    // Execution needs a ready group.
    EXPECT_EQ(c.call("MultipleAxesPVTExecution(GROUP1,TRJ1.PVT,1)"), "-22,EndOfAPI");
    makeReady(c, "GROUP1");
    RawConnection watcher(sim.address(), KvxSim::kApiPort);
    c.send("MultipleAxesPVTExecution(GROUP1,TRJ1.PVT,1)\n\r");
    std::this_thread::sleep_for(200ms);  // 0.8 s of 2.05 simulated
    EXPECT_EQ(watcher.call("GroupStatusGet(GROUP1,int *)"), "0,45,EndOfAPI");
    double x = field(watcher.call("GroupPositionCurrentGet(GROUP1,double *,double *,double *)"), 1);
    EXPECT_GT(x, 2.0);
    EXPECT_LT(x, 6.0);
    EXPECT_EQ(c.readUntil("EndOfAPI", 5s), "0,EndOfAPI");
    auto pos = sim.positions("GROUP1");
    EXPECT_NEAR(pos[0], 10.0, 1e-9);
    EXPECT_EQ(sim.groupStatus("GROUP1"), 12);
}

struct PvtRow {
    const char* name;
    std::string content;   // empty: no file at all
    std::string group;
    std::string reply;
};

void PrintTo(const PvtRow& row, std::ostream* os)
{
    *os << row.name;
}

class SimPvtRefusals : public ::testing::TestWithParam<PvtRow> {};

TEST_P(SimPvtRefusals, Verification)
{
    const PvtRow& row = GetParam();
    KvxSim sim;
    if (!row.content.empty())
        sim.writeFile("Public/Trajectories/T.PVT", row.content);
    EXPECT_EQ(sim.apiCall("MultipleAxesPVTVerification(" + row.group + ",T.PVT)\n\r"), row.reply);
}

INSTANTIATE_TEST_SUITE_P(
    Files, SimPvtRefusals,
    ::testing::Values(
        PvtRow{"Missing", "", "GROUP1", "-61,EndOfAPI"},
        PvtRow{"FiveNumbersForThreeAxes", "0.1 1 0 1 0\n", "GROUP1", "-62,EndOfAPI"},
        PvtRow{"ZeroDuration", "0 0 0 0 0 0 0\n", "GROUP1", "-62,EndOfAPI"},
        PvtRow{"NotANumber", "0.1 a 0 0 0 0 0\n", "GROUP1", "-62,EndOfAPI"},
        PvtRow{"OnlyBlankLines", "\n\n", "GROUP1", "-62,EndOfAPI"},
        PvtRow{"NotAMultipleAxesGroup", "0.1 1 0 1 0\n", "GROUP2", "-8,EndOfAPI"},
        PvtRow{"BeyondTravel", "0.5 2000 0 0 0 0 0\n", "GROUP1", "-68,EndOfAPI"},
        PvtRow{"TooFast", "0.001 0.2 400 0 0 0 0\n0.001 0.2 0 0 0 0 0\n", "GROUP1", "-66,EndOfAPI"}),
    [](const ::testing::TestParamInfo<PvtRow>& info) { return std::string(info.param.name); });

TEST(SimPvt, FileNameCannotClimbOutOfTheTrajectoryFolder)
{
    KvxSim sim;
    sim.writeFile("Config/x.PVT", kPvtRows);
    EXPECT_EQ(sim.apiCall("MultipleAxesPVTVerification(GROUP1,../../Config/x.PVT)\n\r"), "-17,EndOfAPI");
}

}  // namespace
