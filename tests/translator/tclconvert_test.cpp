// Whole conversions on the script path: G-code lines in, script body, line table and PVT
// files out; the direct mode through a recording controller side.

#include "tclrunner.h"
#include "translator/gcodeline.h"
#include "translator/tclconvert.h"
#include "translator/numtext.h"
#include "translator/tclmcodes.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <array>
#include <filesystem>
#include <clocale>
#include <cmath>
#include <fstream>
#include <iterator>
#include <map>
#include <random>
#include <sstream>
#include <string>
#include <vector>

namespace mvx::tclpath {
namespace {

using test::SplitLines;

constexpr const char* kProc = "if {$tcl_argv(0) != 0}  {close_socket ; return $tcl_argv(0)}";
constexpr const char* kClose = "if {$ErrorCode!= 0}  {set tcl_argv(0) $ErrorCode ; close_socket ; return $tcl_argv(0)}";
constexpr const char* kCloseSpaced =
    "if {$ErrorCode != 0}  {set tcl_argv(0) $ErrorCode ; close_socket ; return $tcl_argv(0)}";

std::string Abs(const std::string& coords)
{
    return "set ErrorCode [catch \" GroupMoveAbsolute $SocketID $name_group " + coords + "\"]";
}
std::string Rel(const std::string& coords)
{
    return "set ErrorCode [catch \" GroupMoveRelative $SocketID $name_group " + coords + "\"]";
}
std::string Run(int n) { return "set ErrorCode [catch \"MultipleAxesPVTExecution $SocketID XYZ TRJ" + std::to_string(n) + ".PVT 1\"]"; }
std::string Gpio(const std::string& rest) { return "set ErrorCode [catch \"GPIODigitalSet $SocketID GPIO" + rest + "\"]"; }

MachineConfig Config()
{
    MachineConfig c;
    c.GroupName = "XYZ";
    c.GCodeFileName = "job.nc";
    c.DateText = "10/12/2026";
    c.TimeText = "12:00:00";
    return c;
}

std::vector<std::string> Body(const TclConversionResult& r)
{
    const auto lines = SplitScriptLines(r.Script);
    return {lines.begin() + static_cast<long>(r.BodyStart), lines.begin() + static_cast<long>(r.BodyEnd)};
}

class Recorder : public ConversionObserver {
public:
    void SetStatusText(std::string_view t) override { Status = std::string(t); }
    void SelectLine(int i) override { Selected.push_back(i); }
    void ShowMsg(std::string_view t) override { Messages.emplace_back(t); }
    bool StopRequested() const override { return StopAfter >= 0 && static_cast<int>(Selected.size()) >= StopAfter; }

    std::string Status;
    std::vector<int> Selected;
    std::vector<std::string> Messages;
    int StopAfter = -1;
};

// Every script the cases produce must be whole Tcl and run to its end with result 0.
void ExpectRunnableScript(const TclConversionResult& r)
{
    const auto complete = test::TclComplete({r.Script});
    EXPECT_EQ(complete.ExitCode, 0) << complete.Output;
    const auto run = test::TclRun(r.Script);
    EXPECT_NE(run.Output.find("RESULT 0"), std::string::npos) << run.Output;
}

// ---------------------------------------------------------------------------------------------

// A line-table record as the window shows it.
struct ExpectedRecord {
    int Group;
    std::string Text;
};

struct ConversionCase {
    const char* Name;
    std::vector<std::string> GCode;
    MachineConfig Config;
    std::vector<std::string> Body;
    std::vector<ExpectedRecord> Table;
    std::vector<PvtFile> Files;  // Text empty: only the name is checked
};

MachineConfig SpindleRows()
{
    MachineConfig c = Config();
    c.M03M05 = {1, 2, 1};
    c.M04M05 = {1, 3, 0};
    return c;
}

MachineConfig CoolantOnConnector3()
{
    MachineConfig c = Config();
    c.M08M09 = {3, 1, 1};
    return c;
}

MachineConfig Relative()
{
    MachineConfig c = Config();
    c.CurrentPosition = {1, 2, 3};
    return c;
}

// The header of Config() has 87 lines: the body starts on line 88.
const std::vector<ConversionCase>& Cases()
{
    static const std::vector<ConversionCase> cases = {
        {"RunThenPositioning",
         {"G1 X10", "G1 X20", "G0 X0"},
         Config(),
         {Abs("0.0 0.0 0.0"), kCloseSpaced, "# run trajectory number 1", "activate", kProc, Run(1), kClose,
          "inactivate", kProc, "", Abs("0.0000 0.0000 0.0000"), kClose, ""},
         {{1, "PVT trajectory 1§TCL lines number 90 to 97"},
          {1, "PVT trajectory 1§TCL lines number 90 to 97"},
          {2, "Positionning : Move absolute§TCL lines number 98 to 99"}},
         {{"TRJ1.PVT", "0.010000 0.005000 1.000000 0.000000 0.000000 0.000000 0.000000\n"
                       "9.995000 9.995000 1.000000 0.000000 0.000000 0.000000 0.000000\n"
                       "9.995000 9.995000 1.000000 0.000000 0.000000 0.000000 0.000000\n"
                       "0.010000 0.005000 0.000000 0.000000 0.000000 0.000000 0.000000\n"}}},
        {"CollinearPairIsOneRunAndNoSingleMove",
         {"G1 X10", "G1 X20"},
         Config(),
         {Abs("0.0 0.0 0.0"), kCloseSpaced, "# run trajectory number 1", "activate", kProc, Run(1), kClose,
          "inactivate", kProc, ""},
         {{1, "PVT trajectory 1§TCL lines number 90 to 97"}, {1, "PVT trajectory 1§TCL lines number 90 to 97"}},
         {{"TRJ1.PVT", ""}}},
        {"CornerGivesTwoSingleWorkingMoves",
         {"G1 X10", "G1 Y10"},
         Config(),
         {"change_speed 1.0000 X", kProc, "activate", kProc, Abs("10.0000 0.0000 0.0000"), kClose, "",
          "change_speed 1.0000 Y", kProc, Abs("10.0000 10.0000 0.0000"), kClose, "", "inactivate", kProc},
         {{1, "Work : Move absolute§TCL line numbers 90 to 93"}, {2, "Work : Move absolute§TCL line numbers 95 to 98"}},
         {}},
        {"RunOfTwoThenTheThirdMove",
         {"G1 X10", "G1 X20", "G1 Y20"},
         Config(),
         {Abs("0.0 0.0 0.0"), kCloseSpaced, "# run trajectory number 1", "activate", kProc, Run(1), kClose,
          "inactivate", kProc, "", "change_speed 1.0000 Y", kProc, "activate", kProc, Abs("20.0000 20.0000 0.0000"),
          kClose, "", "inactivate", kProc},
         {{1, "PVT trajectory 1§TCL lines number 90 to 97"},
          {1, "PVT trajectory 1§TCL lines number 90 to 97"},
          {2, "Work : Move absolute§TCL line numbers 100 to 103"}},
         {{"TRJ1.PVT", ""}}},
        {"PositioningAfterHeldMoveWritesTheWorkingMoveFirst",
         {"G1 X10", "G0 Y5"},
         Config(),
         {"change_speed 1.0000 X", kProc, "activate", kProc, Abs("10.0000 0.0000 0.0000"), kClose, "", "inactivate",
          kProc, Abs("10.0000 5.0000 0.0000"), kClose, ""},
         {{1, "Work : Move absolute§TCL line numbers 90 to 93"},
          {2, "Positionning : Move absolute§TCL lines number 97 to 98"}},
         {}},
        {"ArcAloneIsARunOfOne",
         {"G2 X10 Y0 I5 J0"},
         Config(),
         {Abs("0.0 0.0 0.0"), kCloseSpaced, "# run trajectory number 1", "activate", kProc, Run(1), kClose,
          "inactivate", kProc, ""},
         {{1, "PVT trajectory 1§TCL lines number 90 to 97"}},
         {{"TRJ1.PVT", ""}}},
        {"RelativeMovesStartAtTheLastReadPosition",
         {"G91", "G0 X1 Y1", "G1 X2", "G1 X2"},
         Relative(),
         {Rel("1.0000 1.0000 0.0000"), kClose, "", "# run trajectory number 1", "activate", kProc, Run(1), kClose,
          "inactivate", kProc, ""},
         {{1, "relative"},
          {2, "Positionning : Move absolute§TCL lines number 88 to 89"},
          {3, "PVT trajectory 1§TCL lines number 91 to 98"},
          {3, "PVT trajectory 1§TCL lines number 91 to 98"}},
         {{"TRJ1.PVT", ""}}},
        {"RelativeSingleWorkingMove",
         {"G91", "G1 X2 Y-1"},
         Relative(),
         {"change_speed 1.0000 X", kProc, "change_speed 1.0000 Y", kProc, "activate", kProc,
          Rel("2.0000 -1.0000 0.0000"), kClose, "", "inactivate", kProc},
         {{1, "relative"}, {2, "Work : Move absolute§TCL line numbers 92 to 95"}},
         {}},
        {"EveryMCodeWithDefaultOutputs",
         {"M3", "M4", "M5", "M7", "M8", "M9", "M6"},
         Config(),
         {"# CHANGE OUTPUT  FOR M3", Gpio("1.DO  2 0"), kClose, "",
          "# CHANGE OUTPUT  FOR M4", Gpio("1.DO  4 0"), kClose, "",
          "# CHANGE OUTPUT  FOR M5", Gpio("1.DO  2 2"), kClose, "",
          "# CHANGE OUTPUT  FOR M5", Gpio("1.DO  4 4"), kClose, "",
          "# CHANGE OUTPUT  FOR M7", Gpio("1.DO  8 0"), kClose, "",
          "# CHANGE OUTPUT  FOR M8", Gpio("1.DO  16 0"), kClose, "",
          "# CHANGE OUTPUT  FOR M9", Gpio("1.DO  8 8"), kClose, "",
          "# CHANGE OUTPUT  FOR M9", Gpio("1.DO  16 16"), kClose, ""},
         {{1, "M command§TCL lines number 88 to 90"},
          {3, "M command§TCL lines number 92 to 94"},
          {5, "M command§TCL lines number 100 to 102"},
          {8, "M command§TCL lines number 104 to 106"},
          {10, "M command§TCL lines number 108 to 110"},
          {12, "M command§TCL lines number 116 to 118"},
          {-1, "\"M\" command not recognized"}},
         {}},
        {"SpindleStopWithLevelsOneAndZero",
         {"M5"},
         SpindleRows(),
         {"# CHANGE OUTPUT  FOR M5", Gpio("1.DO  2 0"), kClose, "", "# CHANGE OUTPUT  FOR M5", Gpio("1.DO  4 4"),
          kClose, ""},
         {{1, "M command§TCL lines number 92 to 94"}},
         {}},
        {"SecondCoolantOutputOnTheNextConnector",
         {"M9"},
         CoolantOnConnector3(),
         {"# CHANGE OUTPUT  FOR M9", Gpio("1.DO  8 8"), kClose, "", "# CHANGE OUTPUT  FOR M9", Gpio("4.DO  1 0"),
          kClose, ""},
         {{1, "M command§TCL lines number 92 to 94"}},
         {}},
        {"MCodeEndsTheRun",
         {"G1 X10", "G1 X20", "M3", "G1 X30", "G1 X40"},
         Config(),
         {Abs("0.0 0.0 0.0"), kCloseSpaced, "# run trajectory number 1", "activate", kProc, Run(1), kClose,
          "inactivate", kProc, "", "# CHANGE OUTPUT  FOR M3", Gpio("1.DO  2 0"), kClose, "",
          "# run trajectory number 2", "activate", kProc, Run(2), kClose, "inactivate", kProc, ""},
         {{1, "PVT trajectory 1§TCL lines number 90 to 97"},
          {1, "PVT trajectory 1§TCL lines number 90 to 97"},
          {2, "M command§TCL lines number 98 to 100"},
          {4, "PVT trajectory 2§TCL lines number 102 to 109"},
          {4, "PVT trajectory 2§TCL lines number 102 to 109"}},
         {{"TRJ1.PVT", ""}, {"TRJ2.PVT", ""}}},
        {"DwellAfterAHeldMove",
         {"G1 X10", "G4 P1.5"},
         Config(),
         {"change_speed 1.0000 X", kProc, "activate", kProc, Abs("10.0000 0.0000 0.0000"), kClose, "",
          "# Delay 1500", "after 1500", "", "inactivate", kProc},
         {{1, "Work : Move absolute§TCL line numbers 90 to 93"}, {2, "Delay"}},
         {}},
        {"UnrecognisedCodes",
         {"G17", "T1", "", "(comment only)", "G92", "G90.5"},
         Config(),
         {},
         {{-1, "Not recognized"},
          {-1, "Not recognized"},
          {-1, "Not recognized"},
          {-1, "Not recognized"},
          {0, "Unknown"},
          {-1, "Not recognized"}},
         {}},
        {"SpeedWordsAndModes",
         {"F500", "G1 X0 F2", "F3", "F", "X10", "G90"},
         Config(),
         {"change_speed 3.0000 X", kProc, "activate", kProc, Abs("10.0000 0.0000 0.0000"), kClose, "", "inactivate", kProc},
         {{1, "Change positionning speed"},
          {0, "Unknown"},
          {1, "Change work speed"},
          {1, "Change work speed"},
          {2, "Work : Move absolute§TCL line numbers 90 to 93"},
          {1, "Absolute"}},
         {}},
        {"SpeedWordsIgnoredWhenFCodesAreOff",
         {"F5", "G1 X10 F3"},
         [] {
             MachineConfig c = Config();
             c.UseFCodes = false;
             return c;
         }(),
         {"change_speed 1.0000 X", kProc, "activate", kProc, Abs("10.0000 0.0000 0.0000"), kClose, "", "inactivate", kProc},
         {{1, "Change positionning speed"}, {1, "Work : Move absolute§TCL line numbers 90 to 93"}},
         {}},
        {"LoneWorkingMoveIsWritten",
         {"G1 X10"},
         Config(),
         {"change_speed 1.0000 X", kProc, "activate", kProc, Abs("10.0000 0.0000 0.0000"), kClose, "", "inactivate", kProc},
         {{1, "Work : Move absolute§TCL line numbers 90 to 93"}},
         {}},
        {"EmptyFile", {}, Config(), {}, {}, {}},
    };
    return cases;
}

void PrintTo(const ConversionCase& c, std::ostream* os) { *os << c.Name; }

class Conversion : public ::testing::TestWithParam<ConversionCase> {};

TEST_P(Conversion, GivesBodyLineTableAndFiles)
{
    const ConversionCase& c = GetParam();
    Recorder rec;
    const auto r = GCodeToTCL(c.GCode, c.Config, &rec);
    ASSERT_TRUE(r.Error.Ok()) << r.Error.Text;
    EXPECT_EQ(r.BodyStart, 87u);
    EXPECT_EQ(Body(r), c.Body);
    ASSERT_EQ(r.LineTable.size(), c.Table.size());
    for (std::size_t i = 0; i < c.Table.size(); ++i) {
        EXPECT_EQ(r.LineTable[i].Group, c.Table[i].Group) << "line " << i;
        EXPECT_EQ(r.LineTable[i].Text(), c.Table[i].Text) << "line " << i;
    }
    ASSERT_EQ(r.PvtFiles.size(), c.Files.size());
    for (std::size_t i = 0; i < c.Files.size(); ++i) {
        EXPECT_EQ(r.PvtFiles[i].Name, c.Files[i].Name);
        if (!c.Files[i].Text.empty()) {
            EXPECT_EQ(r.PvtFiles[i].Text, c.Files[i].Text);
        }
        EXPECT_FALSE(r.PvtFiles[i].Text.empty());
    }
    EXPECT_EQ(r.PvtFileCount, static_cast<int>(c.Files.size()));
    EXPECT_EQ(SplitScriptLines(r.Script).back(), "return $tcl_argv(0)");
    if (!c.GCode.empty()) {
        EXPECT_EQ(rec.Status, "Line " + std::to_string(c.GCode.size()) + "/" + std::to_string(c.GCode.size()));
    }
    ExpectRunnableScript(r);
}

INSTANTIATE_TEST_SUITE_P(Cases, Conversion, ::testing::ValuesIn(Cases()),
                         [](const auto& info) { return std::string(info.param.Name); });

// ---------------------------------------------------------------------------------------------

TEST(ConversionEdges, EmptyFileGivesHeaderAndFooterOnly)
{
    const auto empty = GCodeToTCL({}, Config());
    TclScript script;
    script.Start(Config());
    EXPECT_EQ(empty.Script, script.Text());
}

TEST(ConversionEdges, ZeroLengthMoveMakesNoMotionAndKeepsTheRun)
{
    const auto r = GCodeToTCL({"G1 X10", "G1 X10", "G1 X20"}, Config());
    ASSERT_EQ(r.PvtFiles.size(), 1u);
    // Nothing but the run: no single move, no row without duration.
    for (const auto& l : Body(r)) {
        EXPECT_EQ(l.find("GroupMoveAbsolute $SocketID $name_group 10"), std::string::npos) << l;
    }
    for (const auto& row : SplitLines(r.PvtFiles[0].Text)) {
        EXPECT_NE(row.substr(0, 9), "0.000000 ") << row;
    }
    EXPECT_EQ(GCodeToTCL({"G0 X0", "G1 Y0 Z0"}, Config()).BodyStart, GCodeToTCL({"G0 X0"}, Config()).BodyEnd);
}

TEST(ConversionEdges, ArcOpeningARunStartsFromRest)
{
    // The arc's tangent turns 90 degrees from the straight move, so it opens its own run while
    // the straight move goes out as a single move.
    const auto r = GCodeToTCL({"G1 X10", "G2 X20 Y0 I5 J0"}, Config());
    ASSERT_EQ(r.PvtFiles.size(), 1u);
    const auto rows = SplitLines(r.PvtFiles[0].Text);
    ASSERT_FALSE(rows.empty());
    EXPECT_EQ(rows.front().substr(0, 9), "0.010000 ");  // accelerating from 0 to 1 at 100
    const auto body = Body(r);
    EXPECT_NE(std::find(body.begin(), body.end(), Abs("10.0000 0.0000 0.0000")), body.end());
}

TEST(ConversionEdges, FrenchLocaleChangesNoByte)
{
    const std::vector<std::string> program{"G1 X10.5 Y0.25", "G1 X20.75 Y0.5", "G0 X20.5 Y0.25",
                                         "G2 X30.5 Y0.25 I5 J0", "G4 P0.5"};
    const auto before = GCodeToTCL(program, Config());
    ASSERT_TRUE(before.Error.Ok()) << before.Error.Text;
    const std::string old = std::setlocale(LC_ALL, nullptr);
    if (!std::setlocale(LC_ALL, "fr_FR.UTF-8") && !std::setlocale(LC_ALL, "fr_FR.utf8")) GTEST_SKIP() << "no French locale";
    const auto after = GCodeToTCL(program, Config());
    std::setlocale(LC_ALL, old.c_str());
    EXPECT_EQ(after.Script, before.Script);
    ASSERT_EQ(after.PvtFiles.size(), before.PvtFiles.size());
    for (std::size_t i = 0; i < after.PvtFiles.size(); ++i) EXPECT_EQ(after.PvtFiles[i].Text, before.PvtFiles[i].Text);
    EXPECT_NE(before.PvtFiles.at(0).Text.find('.'), std::string::npos);
}

TEST(ConversionEdges, DrawingFollowsThePath)
{
    const auto r = GCodeToTCL({"G0 X5", "G2 X15 Y0 I5 J0"}, Config());
    ASSERT_GT(r.Drawing.size(), 2u);
    EXPECT_FALSE(r.Drawing.front().Working);
    EXPECT_EQ(r.Drawing.front().End, (std::array<double, 3>{5, 0, 0}));
    // The half circle is drawn as chords through its top, not as one chord.
    double top = 0;
    for (const auto& seg : r.Drawing) {
        if (seg.Line == 1) top = std::max(top, seg.End[1]);
    }
    EXPECT_NEAR(top, 5.0, 0.1);
    EXPECT_TRUE(r.Drawing.back().Working);
    EXPECT_NEAR(r.Drawing.back().End[0], 15.0, 1e-9);
    EXPECT_NEAR(r.Drawing.back().End[1], 0.0, 1e-9);
}

TEST(ConversionEdges, InconsistentArcsStopWithTheLineNumber)
{
    const struct {
        const char* Line;
    } cases[] = {{"G2 X10 Y0 I3 J0"}, {"G3 X10 Y0 I3 J0"}, {"G3 X0 Y10 I4 J1"}};
    for (const auto& c : cases) {
        Recorder rec;
        const auto r = GCodeToTCL({"G0 X0 Y0", c.Line, "G0 X5"}, Config(), &rec);
        EXPECT_EQ(r.Error.Number, gcode::kErrorIncoherentLine) << c.Line;
        EXPECT_EQ(r.Error.Line, 2) << c.Line;
        ASSERT_EQ(rec.Messages.size(), 1u) << c.Line;
        EXPECT_EQ(rec.Messages[0], "Incohérence dans le fichier GCODE, ligne 2");
        EXPECT_EQ(rec.Selected.back(), 1);
    }
    // A consistent counter-clockwise arc passes.
    EXPECT_TRUE(GCodeToTCL({"G3 X0 Y10 I0 J5"}, Config()).Error.Ok());
}

TEST(ConversionEdges, ZMessageOncePerConversionForAnXYGroup)
{
    MachineConfig c = Config();
    c.XYGroupOnly = true;
    c.GroupAxisCount = 2;
    for (int run = 0; run < 2; ++run) {
        Recorder rec;
        const auto r = GCodeToTCL({"Z5", "G0 X1", "Z6"}, c, &rec);
        ASSERT_EQ(rec.Messages.size(), 1u);
        EXPECT_EQ(rec.Messages[0], "Mouvement en Z impossible avec un groupe XY");
        EXPECT_EQ(Body(r), (std::vector<std::string>{Abs("1.0000 0.0000"), kClose, ""}));
        ExpectRunnableScript(r);
    }
}

TEST(ConversionEdges, EveryConversionStartsInAbsoluteMode)
{
    const auto relative = GCodeToTCL({"G91", "G0 X1"}, Relative());
    EXPECT_EQ(Body(relative)[0], Rel("1.0000 0.0000 0.0000"));
    const auto next = GCodeToTCL({"G0 X1"}, Relative());
    EXPECT_EQ(Body(next)[0], Abs("1.0000 0.0000 0.0000"));
    const auto runs = GCodeToTCL({"G1 X1", "G1 X2"}, Relative());
    EXPECT_EQ(Body(runs)[0], Abs("0.0 0.0 0.0"));
}

TEST(ConversionEdges, StopEndsAtTheNextLineAndWritesWhatIsHeld)
{
    Recorder rec;
    rec.StopAfter = 1;  // after the first line
    const auto r = GCodeToTCL({"G1 X10", "G1 Y10", "G1 Y20"}, Config(), &rec);
    EXPECT_TRUE(r.Stopped);
    const auto body = Body(r);
    EXPECT_NE(std::find(body.begin(), body.end(), Abs("10.0000 0.0000 0.0000")), body.end());
    EXPECT_EQ(r.LineTable[1].Text(), "Unknown");
}

TEST(ConversionEdges, BadNumberStopsTheConversion)
{
    Recorder rec;
    const auto r = GCodeToTCL({"G1 X10", "G1 X1.2.3"}, Config(), &rec);
    EXPECT_EQ(r.Error.Number, gcode::kErrorParameter);
    EXPECT_EQ(r.Error.Line, 2);
    EXPECT_EQ(rec.Messages.size(), 1u);
}

// ---------------------------------------------------------------------------------------------

// A CAM-like program: straight moves, arcs, rapid repositioning, speed words, outputs, dwells.
std::vector<std::string> Program(unsigned seed, std::array<double, 3>& last)
{
    std::mt19937 gen(seed);
    std::uniform_real_distribution<double> step(-5, 5), unit(0, 1), radius(1, 6), turn(0.3, 2.5), angle(0, 6.28);
    auto f = [](double v) { return num::fixed(v, 4); };
    std::vector<std::string> out{"G90", "G0 X0 Y0 Z5", "G1 Z0 F300"};
    double x = 0, y = 0, z = 0;
    for (int i = 0; i < 150; ++i) {
        const double r = unit(gen);
        if (r < 0.55) {
            // Mostly gentle turns, so that runs form.
            x += 2 + unit(gen);
            y += step(gen) * 0.02;
            out.push_back("G1 X" + f(x) + " Y" + f(y));
        } else if (r < 0.75) {
            const double rad = radius(gen), a0 = angle(gen);
            const double ci = -rad * std::cos(a0), cj = -rad * std::sin(a0);
            const bool cw = unit(gen) < 0.5;
            const double a1 = a0 + (cw ? -1 : 1) * turn(gen);
            const double cx = x + ci, cy = y + cj;
            // The written end point is what the controller must reach.
            x = num::parseStrict(f(cx + rad * std::cos(a1))).value_or(0.0);
            y = num::parseStrict(f(cy + rad * std::sin(a1))).value_or(0.0);
            out.push_back(std::string(cw ? "G2" : "G3") + " X" + f(x) + " Y" + f(y) + " I" + f(ci) + " J" + f(cj));
        } else if (r < 0.85) {
            x += step(gen);
            y += step(gen);
            out.insert(out.end(), {"G0 Z2", "G0 X" + f(x) + " Y" + f(y), "G1 Z0 F" + std::to_string(200 + 100 * (i % 3))});
            z = 0;
        } else if (r < 0.9) {
            out.push_back(i % 2 ? "M3" : "M5");
        } else if (r < 0.95) {
            out.push_back("G4 P0.25");
        } else {
            x += step(gen);
            y += step(gen);
            out.push_back("G1 X" + f(x) + " Y" + f(y) + " F" + std::to_string(250 + 250 * (i % 3)));
        }
    }
    last = {x, y, z};
    return out;
}

// Following the script as the controller would (absolute moves set the position, each PVT run
// adds its rows) must end where the program ends: nothing is dropped or doubled.
TEST(ConversionPrograms, ScriptAndRunsReachTheProgrammedEnd)
{
    for (unsigned seed = 1; seed <= 6; ++seed) {
        std::array<double, 3> last{};
        const auto program = Program(seed, last);
        const auto r = GCodeToTCL(program, Config());
        ASSERT_TRUE(r.Error.Ok()) << r.Error.Text;
        ASSERT_GT(r.PvtFiles.size(), 0u);
        const auto run = test::TclRun(r.Script);
        ASSERT_NE(run.Output.find("RESULT 0"), std::string::npos) << run.Output;
        EXPECT_EQ(test::TclComplete({r.Script}).ExitCode, 0);

        std::array<double, 3> pos{0, 0, 0};
        int runs = 0;
        for (const auto& line : SplitLines(run.Output)) {
            std::istringstream words(line);
            std::string call, cmd, socket, group;
            words >> call >> cmd >> socket >> group;
            if (cmd == "GroupMoveAbsolute") {
                for (double& v : pos) {
                    std::string t;
                    words >> t;
                    v = num::parseStrict(t).value_or(1e9);
                }
            } else if (cmd == "MultipleAxesPVTExecution") {
                std::string name;
                words >> name;
                const auto file = std::find_if(r.PvtFiles.begin(), r.PvtFiles.end(),
                                               [&](const PvtFile& f) { return f.Name == name; });
                ASSERT_NE(file, r.PvtFiles.end()) << name;
                for (const auto& row : SplitLines(file->Text)) {
                    std::istringstream fields(row);
                    std::string dt, d[3], v[3];
                    fields >> dt >> d[0] >> v[0] >> d[1] >> v[1] >> d[2] >> v[2];
                    for (int a = 0; a < 3; ++a) pos[a] += num::parseStrict(d[a]).value_or(1e9);
                }
                ++runs;
            }
        }
        EXPECT_EQ(runs, static_cast<int>(r.PvtFiles.size()));
        for (int a = 0; a < 3; ++a) EXPECT_NEAR(pos[a], last[a], 2e-4) << "seed " << seed << " axis " << a;
    }
}

// A long job's outputs leave the conversion as they are made: the script in pieces that end
// with a line, the pieces of the path only to the observer. The bytes are those of a conversion
// that keeps everything; a conversion that fails hands over no script.
TEST(ConversionPrograms, ScriptAndPathHandedOverAsTheyAreMadeAreTheSame)
{
    class PathRecorder : public ConversionObserver {
    public:
        void DrawSegment(const PathSegment& s) override { Pieces.push_back(s); }
        std::vector<PathSegment> Pieces;
    };
    auto same = [](const PathSegment& a, const PathSegment& b) {
        return a.Start == b.Start && a.End == b.End && a.Working == b.Working && a.Line == b.Line;
    };
    for (std::size_t chunk : {std::size_t{1}, std::size_t{100}, std::size_t{5000}, std::size_t{1} << 20}) {
        std::array<double, 3> last{};
        const auto program = Program(7, last);
        const auto whole = GCodeToTCL(program, Config());
        ASSERT_TRUE(whole.Error.Ok());
        EXPECT_EQ(whole.ScriptBytes, whole.Script.size());

        TclConversionOptions options;
        std::string handed;
        bool piecesEndLines = true;
        options.ScriptSink = [&](std::string_view text) {
            piecesEndLines = piecesEndLines && !text.empty() && text.back() == '\n';
            handed.append(text);
        };
        options.ScriptChunk = chunk;
        options.KeepDrawing = false;
        PathRecorder path;
        const auto streamed = GCodeToTCL(program, Config(), &path, nullptr, std::move(options));
        ASSERT_TRUE(streamed.Error.Ok());
        EXPECT_TRUE(streamed.Script.empty());
        EXPECT_EQ(handed, whole.Script) << chunk;
        EXPECT_TRUE(piecesEndLines) << chunk;
        EXPECT_EQ(streamed.ScriptBytes, whole.Script.size());
        EXPECT_EQ(streamed.BodyStart, whole.BodyStart);
        EXPECT_EQ(streamed.BodyEnd, whole.BodyEnd);
        EXPECT_TRUE(streamed.Drawing.empty());
        ASSERT_EQ(path.Pieces.size(), whole.Drawing.size());
        EXPECT_TRUE(std::equal(path.Pieces.begin(), path.Pieces.end(), whole.Drawing.begin(), same));
        ASSERT_EQ(streamed.PvtFiles.size(), whole.PvtFiles.size());
        for (std::size_t i = 0; i < whole.PvtFiles.size(); ++i) EXPECT_EQ(streamed.PvtFiles[i].Text, whole.PvtFiles[i].Text);
    }
    TclConversionOptions options;
    std::string handed;
    options.ScriptSink = [&](std::string_view text) { handed.append(text); };
    options.ScriptChunk = 1;
    const auto failed = GCodeToTCL({"G0 X0 Y0", "G2 X10 Y0 I3 J0"}, Config(), nullptr, nullptr, std::move(options));
    EXPECT_EQ(failed.Error.Number, gcode::kErrorIncoherentLine);
    EXPECT_EQ(failed.ScriptBytes, 0u);
    EXPECT_EQ(handed.find("return $tcl_argv(0)\n"), std::string::npos) << "no footer handed over";
}

// ---------------------------------------------------------------------------------------------

// The controller side of the direct mode, recording what it is asked to do.
class RecordingExecutor : public DirectExecutor {
public:
    int ChangeAxisSpeed(int axis, double speed) override
    {
        Calls.push_back("speed " + std::to_string(axis) + " " + std::to_string(speed));
        return SpeedError;
    }
    bool ReadPositionerVelocities(std::array<double, 3>& v) override
    {
        v = {2.0, 2.0, 2.0};
        return true;
    }
    int MoveAbsolute(const std::array<double, 3>& end, const std::array<bool, 3>&, bool working, double) override
    {
        Calls.push_back(std::string(working ? "work " : "move ") + std::to_string(end[0]));
        return 0;
    }
    int RunPvt(const std::string& name, const std::string& text) override
    {
        Calls.push_back("pvt " + name + " " + std::to_string(SplitLines(text).size()));
        return 0;
    }
    int SetDigitalOutput(int gpio, unsigned mask, unsigned value) override
    {
        Calls.push_back("gpio " + std::to_string(gpio) + " " + std::to_string(mask) + " " + std::to_string(value));
        return 0;
    }
    void Wait(int ms) override { Calls.push_back("wait " + std::to_string(ms)); }
    void WaitNextBlock() override { Calls.push_back("next"); }

    std::vector<std::string> Calls;
    int SpeedError = 0;
};

MachineConfig Direct()
{
    MachineConfig c = Config();
    c.DirectMode = true;
    c.Simulation = false;
    return c;
}

TEST(DirectMode, ExecutesElementsInsteadOfWritingThem)
{
    RecordingExecutor ex;
    const auto r = GCodeToTCL({"G1 X10", "G1 X20", "G4 P1.5", "G1 X30", "G1 X40", "M5", "G0 X0"}, Direct(), nullptr, &ex);
    EXPECT_TRUE(r.Script.empty());
    EXPECT_EQ(ex.Calls, (std::vector<std::string>{"pvt TRJ1.PVT 4", "next", "wait 1500", "next", "pvt TRJ1.PVT 4",
                                                  "next", "gpio 1 2 2", "gpio 1 4 4", "next", "speed 0 10.000000",
                                                  "move 0.000000", "next"}));
    ASSERT_EQ(r.PvtFiles.size(), 1u);  // one name, rewritten for every run
}

TEST(DirectMode, RefusedSpeedIsReportedAndNotRemembered)
{
    RecordingExecutor ex;
    ex.SpeedError = -17;
    Recorder rec;
    GCodeToTCL({"G0 X1", "G0 X2"}, Direct(), &rec, &ex);
    EXPECT_EQ(rec.Messages, (std::vector<std::string>{"Error -17", "Error -17"}));
    EXPECT_EQ(std::count(ex.Calls.begin(), ex.Calls.end(), "speed 0 10.000000"), 2);
}

// "Execute a line": one line on the controller at once, from the position last read.
class LineExecutor : public RecordingExecutor {
public:
    int MoveAbsolute(const std::array<double, 3>& end, const std::array<bool, 3>& moves, bool working, double) override
    {
        std::string axes;
        for (std::size_t a = 0; a < 3; ++a)
            if (moves[a]) axes += "XYZ"[a];
        Calls.push_back(std::string(working ? "work " : "move ") + axes + " " + num::fixed(end[0], 3) + " " +
                        num::fixed(end[1], 3) + " " + num::fixed(end[2], 3));
        return 0;
    }
    int RunPvt(const std::string& name, const std::string&) override
    {
        Calls.push_back("pvt " + name);
        return 0;
    }
};

struct LineCase {
    const char* Line;
    bool LastWorking;  // the kind of the move executed before
    std::vector<std::string> Calls;
    bool LastWorkingAfter;
    friend void PrintTo(const LineCase& c, std::ostream* os) { *os << '"' << c.Line << '"'; }
};

class ExecuteLine : public ::testing::TestWithParam<LineCase> {};

TEST_P(ExecuteLine, RunsItsElementAtOnce)
{
    const LineCase& c = GetParam();
    MachineConfig config = Config();  // not in the direct mode: the line is executed anyway
    config.Simulation = false;
    config.CurrentPosition = {1.0, 2.0, 3.0};
    config.PositioningSpeed = 2.0;  // the speeds the executor reports: no speed change
    config.WorkingSpeed = 2.0;
    LineExecutor ex;
    Recorder rec;
    bool lastWorking = c.LastWorking;
    const gcode::Status st = ExecuteGCodeLine(c.Line, config, ex, lastWorking, &rec);
    EXPECT_FALSE(st) << st.Text;
    EXPECT_TRUE(rec.Messages.empty());
    EXPECT_EQ(ex.Calls, c.Calls);
    EXPECT_EQ(lastWorking, c.LastWorkingAfter);
}

INSTANTIATE_TEST_SUITE_P(
    Lines, ExecuteLine,
    ::testing::Values(
        LineCase{"G0 X10 Y5", true, {"move XY 10.000 5.000 3.000", "next"}, false},
        LineCase{"(to the corner) G1 X10", false, {"work X 10.000 2.000 3.000", "next"}, true},
        LineCase{"G42 Y-4", true, {"move Y 1.000 -4.000 3.000", "next"}, false},
        LineCase{"X7", true, {"work X 7.000 2.000 3.000", "next"}, true},
        LineCase{"X7", false, {"move X 7.000 2.000 3.000", "next"}, false},
        LineCase{"G28", true, {"move XYZ 0.000 0.000 0.000", "next"}, false},
        // The line starts in absolute coordinates; G91 alone moves nothing.
        LineCase{"G91", false, {}, false},
        LineCase{"G1 X1 Y2", false, {}, true},  // already there
        LineCase{"G2 X3 Y2 I1 J0", false, {"pvt TRJ0.PVT", "next"}, true},
        LineCase{"G4 P0.25", true, {"wait 250", "next"}, true},
        LineCase{"M3", false, {"gpio 1 2 0", "next"}, false},
        LineCase{"G17", true, {}, true}));

TEST(ExecuteLineErrors, BadLinesExecuteNothing)
{
    for (const char* line : {"G2 X3 Y2 I5 J0", "G1 X[1+", "G1 X#7Y"}) {
        MachineConfig config = Config();
        config.Simulation = false;
        LineExecutor ex;
        Recorder rec;
        bool lastWorking = false;
        const gcode::Status st = ExecuteGCodeLine(line, config, ex, lastWorking, &rec);
        EXPECT_TRUE(st) << line;
        EXPECT_EQ(rec.Messages.size(), 1u) << line;
        EXPECT_EQ(ex.Calls, std::vector<std::string>{}) << line;
        EXPECT_FALSE(lastWorking);
    }
}

// ---------------------------------------------------------------------------------------------

TEST(ConversionFiles, WritesScriptAndRunsReplacingOldFiles)
{
    const auto dir = std::filesystem::temp_directory_path() / ("mvx_conv_" + std::to_string(::getpid()));
    std::filesystem::create_directories(dir);
    {
        std::ofstream(dir / "TRJ1.PVT") << "old contents that are longer than the new ones\n";
    }
    const auto r = GCodeToTCL({"G1 X10", "G1 X20"}, Config());
    const auto out = WriteConversionFiles(r, dir.string());
    ASSERT_TRUE(out.Ok) << out.Error;
    auto read = [](const std::filesystem::path& p) {
        std::ifstream in(p, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), {});
    };
    EXPECT_EQ(read(dir / "GCode_Converted.TCL"), r.Script);
    EXPECT_EQ(read(dir / "TRJ1.PVT"), r.PvtFiles[0].Text);
    // No temporary is left behind.
    int files = 0;
    for ([[maybe_unused]] const auto& e : std::filesystem::directory_iterator(dir)) ++files;
    EXPECT_EQ(files, 2);

    // A folder that does not exist fails with the file's name and keeps nothing half-written.
    const auto bad = WriteConversionFiles(r, (dir / "missing").string());
    EXPECT_FALSE(bad.Ok);
    EXPECT_NE(bad.Error.find("GCode_Converted.TCL"), std::string::npos);
    std::filesystem::remove_all(dir);
}

// Writing each PVT file as its run closes gives the files of GCodeToTCL + WriteConversionFiles,
// byte for byte, and keeps only the names in memory.
TEST(ConversionFiles, StreamedWriteGivesTheSameFiles)
{
    namespace fs = std::filesystem;
    const fs::path root = fs::temp_directory_path() / ("mvx_conv_stream_" + std::to_string(::getpid()));
    const fs::path held = root / "held", streamed = root / "streamed";
    fs::create_directories(held);
    fs::create_directories(streamed);
    auto contents = [](const fs::path& dir) {
        std::map<std::string, std::string> files;
        for (const auto& e : fs::directory_iterator(dir)) {
            std::ifstream in(e.path(), std::ios::binary);
            files[e.path().filename().string()] = std::string(std::istreambuf_iterator<char>(in), {});
        }
        return files;
    };
    const std::vector<std::string> program = {"G1 X10", "G1 X20", "G3 X30 Y10 I0 J10", "M3", "G1 X40",
                                              "G1 X50 Y1", "G4 P1", "G1 X60", "G1 X70", "M5",
                                              "G1 X80", "G1 X90", "G0 X0 Y0"};
    const auto r = GCodeToTCL(program, Config());
    ASSERT_TRUE(WriteConversionFiles(r, held.string()).Ok);

    WriteOutcome written;
    const auto s = GCodeToTCLWriting(program, Config(), streamed.string(), written);
    ASSERT_TRUE(written.Ok) << written.Error;
    EXPECT_FALSE(s.Stopped);
    EXPECT_GE(r.PvtFiles.size(), 3u);
    EXPECT_EQ(contents(streamed), contents(held));
    ASSERT_EQ(s.PvtFiles.size(), r.PvtFiles.size());
    for (std::size_t i = 0; i < s.PvtFiles.size(); ++i) {
        EXPECT_EQ(s.PvtFiles[i].Name, r.PvtFiles[i].Name);
        EXPECT_TRUE(s.PvtFiles[i].Text.empty());
    }
    EXPECT_TRUE(s.Script.empty());
    EXPECT_EQ(s.ScriptBytes, r.Script.size());
    EXPECT_TRUE(s.Drawing.empty());

    // A folder that cannot take them: the first file's error ends the conversion.
    WriteOutcome bad;
    const auto f = GCodeToTCLWriting(program, Config(), (root / "missing").string(), bad);
    EXPECT_FALSE(bad.Ok);
    EXPECT_NE(bad.Error.find("TRJ1.PVT"), std::string::npos);
    EXPECT_TRUE(f.Stopped);
    EXPECT_LT(f.PvtFiles.size(), r.PvtFiles.size());
    fs::remove_all(root);
}

}  // namespace
}  // namespace mvx::tclpath
