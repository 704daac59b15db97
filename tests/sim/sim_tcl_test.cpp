// TCL tasks: scripts in the calling style of the generated scripts, run, wait, answer and kill.

#include "sim_test_util.h"
#include "support/kvxsim_fixture.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <thread>

using namespace std::chrono_literals;
using mvx::test::KvxSim;
using mvx::test::KvxSimOptions;
using mvx::test::RawConnection;

namespace {

// The header, a move, an output change, a speed change and the footer, as the translator writes them.
const char* kJobScript = R"TCL(# script GCode_converted.tcl
set name_group "GROUP1"
set group_io_work "GPIO1.DO "
set output_io_work 4
set state_io_work 0
set state_io_move 4

proc activate {} \
    {
    global SocketID
    global group_io_work
    global output_io_work
    global state_io_move
    global tcl_argv
    set ErrorCode [catch "GPIODigitalSet $SocketID $group_io_work  $output_io_work $state_io_move"]
    if {$ErrorCode != 0}  { set tcl_argv(0) $ErrorCode ; return $ErrorCode}
    }

proc change_speed {speed axis}\
    {
    global SocketID
    global name_group
    global tcl_argv
    set Velocity 1
    set Acceleration 1
    set MinimumJerkTime 0.01
    set MaximumJerkTime 0.1
    set ErrorCode [catch " PositionerSGammaParametersGet $SocketID $name_group.$axis Velocity Acceleration MinimumJerkTime MaximumJerkTime"]
    if {$ErrorCode != 0}  { set tcl_argv(0) $ErrorCode ; return $ErrorCode}
    set ErrorCode [catch " PositionerSGammaParametersSet $SocketID $name_group.$axis $speed $Acceleration $MinimumJerkTime $MaximumJerkTime"]
    if {$ErrorCode != 0}  { set tcl_argv(0) $ErrorCode ; return $ErrorCode}
    }

proc close_socket {}\
    {
    global SocketID
    set ErrorCode [catch "TCP_CloseSocket $SocketID"]
    }

set tcl_argv(0) 0 
# Open com.
set TimeOut 3600
set ErrorCode [catch "OpenConnection $TimeOut SocketID"]
if {$ErrorCode != 0}  {set tcl_argv(0) $ErrorCode ; return $ErrorCode}

change_speed 25.0000 X
if {$tcl_argv(0) != 0}  {close_socket ; return $tcl_argv(0)}
activate
if {$tcl_argv(0) != 0}  {close_socket ; return $tcl_argv(0)}
set ErrorCode [catch " GroupMoveAbsolute $SocketID $name_group 12.5000 -3.0000 1.0000"]
if {$ErrorCode!= 0}  {set tcl_argv(0) $ErrorCode ; close_socket ; return $tcl_argv(0)}

set ErrorCode [catch "TCP_CloseSocket $SocketID"]
return $tcl_argv(0)
)TCL";

TEST(SimTcl, GeneratedStyleScriptMovesAndSetsAnOutput)
{
    KvxSim sim;
    sim.writeFile("Public/Scripts/GCode_Converted.TCL", kJobScript);
    RawConnection c(sim.address(), KvxSim::kApiPort);
    // Not ready: the move is refused and its code becomes the answer.
    EXPECT_EQ(c.call("TCLScriptExecuteAndWait(GCode_Converted.TCL,GCODE, ,char *)"), "0,-22,EndOfAPI");
    EXPECT_EQ(sim.digital("GPIO1.DO"), 4u);  // the output was set before the move
    EXPECT_EQ(c.call("GPIODigitalSet(GPIO1.DO,255,0)"), "0,EndOfAPI");
    ASSERT_EQ(c.call("GroupInitialize(GROUP1)"), "0,EndOfAPI");
    ASSERT_EQ(c.call("GroupHomeSearch(GROUP1)"), "0,EndOfAPI");
    EXPECT_EQ(c.call("TCLScriptExecuteAndWait(GCode_Converted.TCL,GCODE, ,char *)"), "0,0,EndOfAPI");
    auto pos = sim.positions("GROUP1");
    EXPECT_DOUBLE_EQ(pos[0], 12.5);
    EXPECT_DOUBLE_EQ(pos[1], -3.0);
    EXPECT_DOUBLE_EQ(pos[2], 1.0);
    EXPECT_EQ(sim.digital("GPIO1.DO"), 4u);
    EXPECT_EQ(c.call("PositionerSGammaParametersGet(GROUP1.X,double *,double *,double *,double *)"),
              "0,25,400,0.005,0.05,EndOfAPI");
    EXPECT_TRUE(sim.runningTasks().empty());
}

TEST(SimTcl, AnswerArgumentsOutputVariablesAndNestedScripts)
{
    KvxSim sim;
    sim.writeFile("Public/Scripts/Sub/inner.tcl",
                  "set tcl_argv(0) \"inner $tcl_argc $tcl_argv(1)\"\n");
    sim.writeFile("Public/Scripts/outer.tcl", R"TCL(
set ErrorCode [catch "OpenConnection 10 SocketID"]
set ErrorCode [catch " TCLScriptExecuteAndWait $SocketID Sub/inner.tcl Subscript 7 result"]
set e2 [catch "GroupPositionCurrentGet $SocketID GROUP2 x y"]
set e3 [catch "GroupStatusGet $SocketID NOPE status"]
set tcl_argv(0) "$ErrorCode,$result,$e2,$x,$y,$e3,$tcl_argc,$tcl_argv(1),$tcl_argv(2)"
)TCL");
    EXPECT_EQ(sim.apiCall("TCLScriptExecuteAndWait(outer.tcl,T1,a b,char *)\n\r"),
              "0,0,inner 1 7,0,0,0,-19,2,a,b,EndOfAPI");
}

TEST(SimTcl, ScriptErrorsAndRefusals)
{
    KvxSim sim;
    sim.writeFile("Public/Scripts/broken.tcl", "set x 1\nno_such_command 1 2\n");
    struct Row {
        std::string request;
        std::string reply;
    };
    const std::vector<Row> rows = {
        {"TCLScriptExecuteAndWait(broken.tcl,T,,char *)", "1,invalid command name \"no_such_command\",EndOfAPI"},
        {"TCLScriptExecuteAndWait(absent.tcl,T,,char *)", "-60,EndOfAPI"},
        {"TCLScriptExecute(absent.tcl,T,)", "-60,EndOfAPI"},
        {"TCLScriptExecute(../Config/system.ini,T,)", "-17,EndOfAPI"},
        {"TCLScriptKill(NOBODY)", "-64,EndOfAPI"},
    };
    for (const Row& r : rows)
        EXPECT_EQ(sim.apiCall(r.request + "\n\r"), r.reply) << r.request;
}

TEST(SimTcl, KillFromAnotherConnectionEndsTheWait)
{
    KvxSim sim(KvxSimOptions{.timeScale = 1.0});
    sim.writeFile("Public/Scripts/slow.tcl", R"TCL(
set ErrorCode [catch "OpenConnection 10 SocketID"]
set ErrorCode [catch "GPIODigitalSet $SocketID GPIO4.DO 1 1"]
after 20000
set ErrorCode [catch "GPIODigitalSet $SocketID GPIO4.DO 2 2"]
set tcl_argv(0) finished
)TCL");
    RawConnection waiter(sim.address(), KvxSim::kApiPort);
    auto start = std::chrono::steady_clock::now();
    waiter.send("TCLScriptExecuteAndWait(slow.tcl,SLOW,,char *)\n\r");
    // The task runs: its first output is set and it is listed, while the wait still blocks.
    for (int i = 0; i < 100 && sim.digital("GPIO4.DO") != 1u; ++i)
        std::this_thread::sleep_for(20ms);
    EXPECT_EQ(sim.digital("GPIO4.DO"), 1u);
    EXPECT_EQ(sim.apiCall("TCLScriptRunningListGet (char *)\n\r"), "0,SLOW,EndOfAPI");
    EXPECT_EQ(sim.apiCall("TCLScriptExecute(slow.tcl,SLOW,)\n\r"), "-63,EndOfAPI");  // name in use
    EXPECT_EQ(waiter.readUntil("EndOfAPI", 100ms), "");
    EXPECT_EQ(sim.apiCall("TCLScriptKill(SLOW)\n\r"), "0,EndOfAPI");
    EXPECT_EQ(waiter.readUntil("EndOfAPI", 5s), "-26,EndOfAPI");
    EXPECT_LT(std::chrono::steady_clock::now() - start, 10s);
    EXPECT_TRUE(sim.runningTasks().empty());
    EXPECT_EQ(sim.digital("GPIO4.DO"), 1u);  // the rest of the script never ran
}

TEST(SimTcl, ExecuteReturnsAtOnceAndTheTaskGoesOn)
{
    KvxSim sim(KvxSimOptions{.timeScale = 0.2});
    sim.writeFile("Public/Scripts/bg.tcl", R"TCL(
set ErrorCode [catch "OpenConnection 10 SocketID"]
set ErrorCode [catch "GroupInitialize $SocketID GROUP3"]
set ErrorCode [catch "GroupHomeSearch $SocketID GROUP3"]
set ErrorCode [catch "GroupMoveRelative $SocketID GROUP3 90"]
)TCL");
    EXPECT_EQ(sim.apiCall("TCLScriptExecute(bg.tcl,BG,0)\n\r"), "0,EndOfAPI");
    for (int i = 0; i < 200 && sim.groupStatus("GROUP3") != 12; ++i)
        std::this_thread::sleep_for(20ms);
    EXPECT_EQ(sim.groupStatus("GROUP3"), 12);
    EXPECT_DOUBLE_EQ(sim.positions("GROUP3")[0], 90.0);
}

}  // namespace
