// The generated controller script: header, body blocks, footer, and what the Tcl interpreter
// makes of them.

#include "tclrunner.h"
#include "translator/machineconfig.h"
#include "translator/tclscript.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

namespace mvx {
namespace {

using test::SplitLines;

MachineConfig ThreeAxis()
{
    MachineConfig c;
    c.GroupName = "GANTRY";
    c.AxisNames = {"X1", "Y1", "Z1"};
    c.GCodeFileName = "part.nc";
    c.DateText = "10/12/2026";
    c.TimeText = "12:00:00";
    c.ActivateTool = {3, 2, 1};
    return c;
}

MachineConfig TwoAxis()
{
    MachineConfig c;
    c.GroupName = "XY";
    c.AxisNames = {"LEFT", "RIGHT", ""};
    c.XYGroupOnly = true;
    c.GroupAxisCount = 2;
    // A name with line breaks and a trailing backslash must not break the script's lines.
    c.GCodeFileName = "C:\\GCODE\\part\r\n.nc\\";
    c.DateText = "01/02/2027";
    c.TimeText = "08:30:00";
    c.PositioningSpeed = 12.5;
    return c;
}

const char* const kHeader3 = R"(# script GCode_converted.tcl
# Gcode : part.nc
# date : 10/12/2026 Time : 12:00:00

set name_group "GANTRY"
set group_io_work "GPIO3.DO "
set output_io_work 2
set state_io_work 0
set state_io_move 2

# CHANGE OUTPUT FOR TOOL INACTIVE
proc inactivate {} \
    {
    global SocketID
    global group_io_work
    global output_io_work
    global state_io_work
    global tcl_argv
    set ErrorCode [catch "GPIODigitalSet $SocketID $group_io_work  $output_io_work $state_io_work"]
    if {$ErrorCode != 0}  { set tcl_argv(0) $ErrorCode ; return $ErrorCode}
    }

# CHANGE OUTPUT FOR TOOL ACTIVE
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

# Relative displacement
proc mov {X Y Z }\
    {
    global SocketID
    global name_group
    global tcl_argv
    set ErrorCode [catch " GroupMoveRelative $SocketID $name_group $X $Y $Z"]
    if {$ErrorCode != 0}  { set tcl_argv(0) $ErrorCode ; return $ErrorCode}
    }

# Change speed
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

# Close Socket
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

inactivate
if {$tcl_argv(0) != 0}  {close_socket ; return $tcl_argv(0)}

change_speed 10.0000 X1
change_speed 10.0000 Y1
change_speed 10.0000 Z1
if {$tcl_argv(0) != 0}  {close_socket ; return $tcl_argv(0)}



####################################################################
#          Program start
####################################################################

)";

const char* const kHeader2 = R"(# script GCode_converted.tcl
# Gcode : C:\GCODE\part.nc
# date : 01/02/2027 Time : 08:30:00

set name_group "XY"
set group_io_work "GPIO1.DO "
set output_io_work 1
set state_io_work 1
set state_io_move 0

# CHANGE OUTPUT FOR TOOL INACTIVE
proc inactivate {} \
    {
    global SocketID
    global group_io_work
    global output_io_work
    global state_io_work
    global tcl_argv
    set ErrorCode [catch "GPIODigitalSet $SocketID $group_io_work  $output_io_work $state_io_work"]
    if {$ErrorCode != 0}  { set tcl_argv(0) $ErrorCode ; return $ErrorCode}
    }

# CHANGE OUTPUT FOR TOOL ACTIVE
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

# Relative displacement
proc mov {X Y }\
    {
    global SocketID
    global name_group
    global tcl_argv
    set ErrorCode [catch " GroupMoveRelative $SocketID $name_group $X $Y"]
    if {$ErrorCode != 0}  { set tcl_argv(0) $ErrorCode ; return $ErrorCode}
    }

# Change speed
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

# Close Socket
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

inactivate
if {$tcl_argv(0) != 0}  {close_socket ; return $tcl_argv(0)}

change_speed 12.5000 LEFT
change_speed 12.5000 RIGHT
if {$tcl_argv(0) != 0}  {close_socket ; return $tcl_argv(0)}



####################################################################
#          Program start
####################################################################

)";

const char* const kFooter = "\nset ErrorCode [catch \"TCP_CloseSocket $SocketID\"]\nreturn $tcl_argv(0)\n";

struct HeaderCase {
    const char* Name;
    MachineConfig Config;
    const char* Header;
};

void PrintTo(const HeaderCase& c, std::ostream* os) { *os << c.Name; }

class ScriptHeader : public ::testing::TestWithParam<HeaderCase> {};

TEST_P(ScriptHeader, EmptyBodyIsHeaderThenFooterByteForByte)
{
    const HeaderCase& c = GetParam();
    TclScript script;
    script.Start(c.Config);
    EXPECT_EQ(script.Text(), std::string(c.Header) + kFooter);
    // The body goes right after the header.
    EXPECT_EQ(script.InsertLine(), SplitLines(c.Header).size());
    EXPECT_EQ(test::TclComplete({script.Text()}).ExitCode, 0);
    const auto run = test::TclRun(script.Text());
    EXPECT_NE(run.Output.find("RESULT 0"), std::string::npos) << run.Output;
}

INSTANTIATE_TEST_SUITE_P(Groups, ScriptHeader,
                         ::testing::Values(HeaderCase{"ThreeAxes", ThreeAxis(), kHeader3},
                                           HeaderCase{"TwoAxes", TwoAxis(), kHeader2}),
                         [](const auto& info) { return std::string(info.param.Name); });

// ---------------------------------------------------------------------------------------------

struct BlockCase {
    const char* Name;
    std::function<ScriptSpan(TclBodyWriter&)> Write;
    std::vector<std::string> Lines;
    ScriptSpan Span;  // First = 0: not checked
    bool ToolAfter;
};

constexpr const char* kProc = "if {$tcl_argv(0) != 0}  {close_socket ; return $tcl_argv(0)}";
constexpr const char* kClose = "if {$ErrorCode!= 0}  {set tcl_argv(0) $ErrorCode ; close_socket ; return $tcl_argv(0)}";
constexpr const char* kCloseSpaced =
    "if {$ErrorCode != 0}  {set tcl_argv(0) $ErrorCode ; close_socket ; return $tcl_argv(0)}";

// The header of ThreeAxis() has 87 lines; body line numbers start at 88.
const std::vector<BlockCase>& BlockCases()
{
    static const std::vector<BlockCase> cases = {
        {"ToolOff",
         [](TclBodyWriter& w) {
             w.ToolOn();
             w.ToolOff();
             return ScriptSpan{};
         },
         {"activate", kProc, "inactivate", kProc},
         {},
         false},
        {"PositioningMoveAbsoluteWithToolOn",
         [](TclBodyWriter& w) {
             w.ToolOn();
             return w.Move({0, 0, 0}, {10, -2.5, 0.125}, false, false);
         },
         {"activate", kProc, "inactivate", kProc,
          "set ErrorCode [catch \" GroupMoveAbsolute $SocketID $name_group 10.0000 -2.5000 0.1250\"]", kClose, ""},
         {92, 93},
         false},
        {"WorkingMoveAbsoluteSwitchesToolOn",
         [](TclBodyWriter& w) { return w.Move({0, 0, 0}, {1, 2, 3}, true, false); },
         {"activate", kProc, "set ErrorCode [catch \" GroupMoveAbsolute $SocketID $name_group 1.0000 2.0000 3.0000\"]",
          kClose, ""},
         {88, 91},
         true},
        {"WorkingMoveRelativeWritesDisplacement",
         [](TclBodyWriter& w) {
             w.ToolOn();
             return w.Move({1, 1, 1}, {4, 0.5, 1}, true, true);
         },
         {"activate", kProc, "set ErrorCode [catch \" GroupMoveRelative $SocketID $name_group 3.0000 -0.5000 0.0000\"]",
          kClose, ""},
         {88, 91},
         true},
        {"NegativeZeroPrintsWithoutMinus",
         [](TclBodyWriter& w) { return w.Move({0, 0, 0}, {-0.00001, -0.0, 0.00004}, false, false); },
         {"set ErrorCode [catch \" GroupMoveAbsolute $SocketID $name_group 0.0000 0.0000 0.0000\"]", kClose, ""},
         {88, 89},
         false},
        {"SpeedChangeUsesAxisName",
         [](TclBodyWriter& w) {
             w.SpeedChange(2, 2.5);
             return ScriptSpan{};
         },
         {"change_speed 2.5000 Z1", kProc},
         {},
         false},
        {"FirstPvtRunAtOriginMovesThereBeforeToolOn",
         [](TclBodyWriter& w) { return w.PvtRun(1, {0, 0, 0}, false); },
         {"set ErrorCode [catch \" GroupMoveAbsolute $SocketID $name_group 0.0 0.0 0.0\"]", kCloseSpaced,
          "# run trajectory number 1", "activate", kProc,
          "set ErrorCode [catch \"MultipleAxesPVTExecution $SocketID GANTRY TRJ1.PVT 1\"]", kClose, "inactivate",
          kProc, ""},
         {90, 97},
         false},
        {"FirstPvtRunElsewhereMovesToItsStart",
         [](TclBodyWriter& w) { return w.PvtRun(1, {1, 2, -0.5}, false); },
         {"set ErrorCode [catch \" GroupMoveAbsolute $SocketID $name_group 1.0000 2.0000 -0.5000\"]", kCloseSpaced,
          "# run trajectory number 1", "activate", kProc,
          "set ErrorCode [catch \"MultipleAxesPVTExecution $SocketID GANTRY TRJ1.PVT 1\"]", kClose, "inactivate",
          kProc, ""},
         {90, 97},
         false},
        {"LaterRunAndToolOnHaveNoMove",
         [](TclBodyWriter& w) {
             w.PvtRun(1, {0, 0, 0}, false);
             w.ToolOn();
             return w.PvtRun(2, {5, 5, 5}, false);
         },
         {"set ErrorCode [catch \" GroupMoveAbsolute $SocketID $name_group 0.0 0.0 0.0\"]", kCloseSpaced,
          "# run trajectory number 1", "activate", kProc,
          "set ErrorCode [catch \"MultipleAxesPVTExecution $SocketID GANTRY TRJ1.PVT 1\"]", kClose, "inactivate",
          kProc, "", "activate", kProc, "# run trajectory number 2",
          "set ErrorCode [catch \"MultipleAxesPVTExecution $SocketID GANTRY TRJ2.PVT 1\"]", kClose, "inactivate",
          kProc, ""},
         {100, 105},
         false},
        {"FirstRunInRelativeModeHasNoMove",
         [](TclBodyWriter& w) { return w.PvtRun(1, {3, 3, 3}, true); },
         {"# run trajectory number 1", "activate", kProc,
          "set ErrorCode [catch \"MultipleAxesPVTExecution $SocketID GANTRY TRJ1.PVT 1\"]", kClose, "inactivate",
          kProc, ""},
         {88, 95},
         false},
        {"OutputChangeIsCheckedByItsOwnCode",
         [](TclBodyWriter& w) { return w.OutputChange(3, 1, 2, 0); },
         {"# CHANGE OUTPUT  FOR M3", "set ErrorCode [catch \"GPIODigitalSet $SocketID GPIO1.DO  2 0\"]", kClose, ""},
         {88, 90},
         false},
        {"Dwell",
         [](TclBodyWriter& w) { return w.Dwell(1500); },
         {"# Delay 1500", "after 1500", ""},
         {88, 89},
         false},
    };
    return cases;
}

void PrintTo(const BlockCase& c, std::ostream* os) { *os << c.Name; }

class ScriptBlock : public ::testing::TestWithParam<BlockCase> {};

TEST_P(ScriptBlock, InsertsItsLinesAtTheInsertionPoint)
{
    const BlockCase& c = GetParam();
    const MachineConfig config = ThreeAxis();
    TclScript script;
    script.Start(config);
    const std::size_t before = script.InsertLine();
    ASSERT_EQ(before, 87u);
    TclBodyWriter writer(script, config);
    const ScriptSpan span = c.Write(writer);

    const auto lines = script.Lines();
    const std::vector<std::string> body(lines.begin() + static_cast<long>(before),
                                        lines.begin() + static_cast<long>(script.InsertLine()));
    EXPECT_EQ(body, c.Lines);
    if (c.Span.First != 0) {
        EXPECT_EQ(span.First, c.Span.First);
        EXPECT_EQ(span.Last, c.Span.Last);
    }
    EXPECT_EQ(writer.ToolActive(), c.ToolAfter);
    // The footer stays last.
    EXPECT_EQ(lines.back(), "return $tcl_argv(0)");

    std::string block;
    for (const auto& l : body) block += l + "\n";
    const auto complete = test::TclComplete({block, script.Text()});
    EXPECT_EQ(complete.ExitCode, 0) << complete.Output;
}

INSTANTIATE_TEST_SUITE_P(Kinds, ScriptBlock, ::testing::ValuesIn(BlockCases()),
                         [](const auto& info) { return std::string(info.param.Name); });

// ---------------------------------------------------------------------------------------------

struct HalfCase {
    int Digits;
    double Value;
    const char* Text;
};

TEST(ScriptNumbers, ExactHalvesRoundAwayFromZero)
{
    const HalfCase cases[] = {{2, 0.125, "0.13"}, {2, -0.125, "-0.13"}, {1, 0.25, "0.3"}, {0, 2.5, "3"}, {0, -0.4, "0"}};
    for (const HalfCase& h : cases) {
        MachineConfig c = ThreeAxis();
        c.NbDigit = h.Digits;
        TclScript script;
        script.Start(c);
        TclBodyWriter w(script, c);
        w.Move({0, 0, 0}, {h.Value, 0, 0}, false, false);
        const std::string zero = h.Digits == 0 ? "0" : "0." + std::string(static_cast<std::size_t>(h.Digits), '0');
        EXPECT_EQ(script.Lines()[87], "set ErrorCode [catch \" GroupMoveAbsolute $SocketID $name_group " +
                                       std::string(h.Text) + " " + zero + " " + zero + "\"]")
            << h.Value;
    }
}

TEST(ScriptText, OutsideTextsLoseLineBreaksAndTrailingBackslash)
{
    const struct {
        const char* In;
        const char* Out;
    } cases[] = {{"plain", "plain"}, {"a\r\nb", "ab"}, {"dir\\", "dir"}, {"dir\\\\\r\n", "dir"}, {"a\\b", "a\\b"}};
    for (const auto& c : cases) EXPECT_EQ(ScriptSafeText(c.In), c.Out) << c.In;

    // A group whose positioners are not X/Y/Z, and a group name with a line break.
    MachineConfig c = ThreeAxis();
    c.GroupName = "G1\n";
    c.AxisNames = {"Pos A\\", "B", ""};
    TclScript script;
    script.Start(c);
    const std::string text = script.Text();
    EXPECT_NE(text.find("set name_group \"G1\"\n"), std::string::npos);
    EXPECT_NE(text.find("change_speed 10.0000 PosA\n"), std::string::npos);
    EXPECT_NE(text.find("change_speed 10.0000 B\n"), std::string::npos);
    EXPECT_NE(text.find("change_speed 10.0000 Z\n"), std::string::npos);
    EXPECT_EQ(test::TclComplete({text}).ExitCode, 0);
}

// The script as the controller runs it: every command's failure ends the script with its code.
TEST(ScriptRun, RefusedCommandsEndTheScriptWithTheirCode)
{
    const MachineConfig c = ThreeAxis();
    TclScript script;
    script.Start(c);
    TclBodyWriter w(script, c);
    w.Move({0, 0, 0}, {1, 0, 0}, false, false);
    w.OutputChange(3, 1, 2, 0);
    w.SpeedChange(0, 3.0);
    w.PvtRun(1, {1, 0, 0}, false);
    w.Dwell(250);
    w.Move({1, 0, 0}, {2, 0, 0}, true, false);

    const struct {
        const char* Failing;
        const char* Result;
        const char* Absent;  // a call that must not happen after the failure
    } cases[] = {
        {"", "RESULT 0", ""},
        {"GPIODigitalSet * GPIO1.DO 2 0", "RESULT 1", "MultipleAxesPVTExecution"},
        {"MultipleAxesPVTExecution*", "RESULT 1", "CALL after 250"},
        {"GroupMoveAbsolute * 1.0000 0.0000 0.0000", "RESULT 1", "GPIO1.DO 2"},
        {"PositionerSGammaParametersSet * 3.0000 *", "RESULT 1", "MultipleAxesPVTExecution"},
    };
    for (const auto& k : cases) {
        const auto run = test::TclRun(script.Text(), k.Failing);
        EXPECT_EQ(run.ExitCode, 0) << run.Output;
        EXPECT_NE(run.Output.find(k.Result), std::string::npos) << k.Failing << "\n" << run.Output;
        if (*k.Absent) {
            EXPECT_EQ(run.Output.find(k.Absent), std::string::npos) << k.Failing << "\n" << run.Output;
        }
        // The connection is always closed.
        EXPECT_NE(run.Output.find("CALL TCP_CloseSocket 7"), std::string::npos) << run.Output;
    }
}

TEST(ScriptBuffer, BodyStaysInOrderBetweenHeaderAndFooter)
{
    TclScript script;
    script.Start(ThreeAxis());
    const std::size_t at = script.InsertLine();
    for (int i = 0; i < 1000; ++i) script.Insert("after " + std::to_string(i));
    std::string& line = script.Open();
    line += "# piece";
    line += " by piece";
    script.EndLine();
    const auto lines = script.Lines();
    EXPECT_EQ(lines[at], "after 0");
    EXPECT_EQ(lines[at + 999], "after 999");
    EXPECT_EQ(lines[at + 1000], "# piece by piece");
    EXPECT_EQ(script.LineCount(), at + 1001 + 3);
    EXPECT_EQ(lines.size(), script.LineCount());
    EXPECT_EQ(lines.back(), "return $tcl_argv(0)");
    EXPECT_EQ(SplitScriptLines(script.Text()), lines);
    const std::string text = script.Text();
    EXPECT_EQ(script.TakeText(), text);
    EXPECT_EQ(script.LineCount(), 0u);
}

}  // namespace
}  // namespace mvx
