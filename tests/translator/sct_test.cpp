// SCT path: element text lines, whole conversions (TEST.SCT, script body, PVT files) and the
// generation rules that keep the machine safe.
#include "tclrunner.h"
#include "translator/numtext.h"
#include "translator/sctconvert.h"
#include "translator/tclscript.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include <unistd.h>

namespace {

using namespace mvx::sct;
using mvx::MachineConfig;

const std::string kCheck = "if {$tcl_argv(0) != 0}  {close_socket ; return $tcl_argv(0)}";
const std::string kErrCheck = "if {$ErrorCode!= 0}  {set tcl_argv(0) $ErrorCode ; close_socket ; return $tcl_argv(0)}";
const std::string kErrCheckSpaced =
    "if {$ErrorCode != 0}  {set tcl_argv(0) $ErrorCode ; close_socket ; return $tcl_argv(0)}";

MachineConfig baseConfig()
{
    MachineConfig c;
    c.GroupName = "MULTI";
    c.GCodeFileName = "JOB.NC";
    c.DateText = "01/01/2026";
    c.TimeText = "12:00";
    return c;
}

std::vector<std::string> scriptLines(const SctConversion& c) { return mvx::SplitScriptLines(c.Script); }

std::vector<std::string> body(const SctConversion& c)
{
    const auto lines = scriptLines(c);
    return {lines.begin() + static_cast<long>(c.BodyBegin), lines.begin() + static_cast<long>(c.BodyEnd)};
}

std::string joined(const std::vector<std::string>& lines)
{
    std::string s;
    for (const auto& l : lines) s += l + "\n";
    return s;
}

struct Row {
    double Dt;
    std::vector<double> Fields;  // dX vX dY vY [dZ vZ]
};

std::vector<Row> rows(const std::string& text)
{
    std::vector<Row> out;
    for (const std::string& line : mvx::test::SplitLines(text)) {
        if (line.empty()) continue;
        Row r;
        std::size_t pos = 0;
        bool first = true;
        while (pos < line.size()) {
            std::size_t used = 0;
            const double v = mvx::num::parseLenient(std::string_view(line).substr(pos), &used);
            if (used == 0) break;
            if (first) r.Dt = v; else r.Fields.push_back(v);
            first = false;
            pos += used;
        }
        out.push_back(r);
    }
    return out;
}

// ---------------------------------------------------------------------------------------------
// One element, one SCT line.

struct LineCase {
    std::vector<const char*> GCode;
    const char* Sct;
};

std::ostream& operator<<(std::ostream& os, const LineCase& c) { return os << '"' << c.Sct << '"'; }

class SctLine : public ::testing::TestWithParam<LineCase> {};

TEST_P(SctLine, Text)
{
    const auto& c = GetParam();
    const SctConversion conv = ConvertSct({c.GCode.begin(), c.GCode.end()}, baseConfig());
    ASSERT_TRUE(conv.Error.Ok()) << conv.Error.Text;
    EXPECT_EQ(conv.SctText, c.Sct);
}

INSTANTIATE_TEST_SUITE_P(Elements, SctLine, ::testing::Values(
    LineCase{{"G0 X10"}, "DR  10.000  0.000  0.000\r\n"},
    LineCase{{"G1 X5 Y5", "G2 X15 Y5 I5 J0"}, "VA  1.000 1\r\nDR  5.000  5.000  0.000\r\nAH  5.000  0.000  -180.000\r\n"},
    LineCase{{"G2 X0 Y0 I5 J0"}, "VA  1.000 1\r\nAH  5.000  0.000  -360.000\r\n"},
    LineCase{{"G3 X0 Y0 I5 J0"}, "VA  1.000 1\r\nAH  5.000  0.000  360.000\r\n"},
    LineCase{{"G1 X1", "G0 X0"}, "VA  1.000 1\r\nDR  1.000  0.000  0.000\r\nVA  10.000 0\r\nDR  -1.000  0.000  0.000\r\n"},
    LineCase{{"M3"}, "OM 3\r\n"},
    LineCase{{"G4 P0.5"}, "TP 500\r\n"},
    // No time word: the completed X is the time in seconds, as on the script path.
    LineCase{{"G1 X4", "G4"}, "VA  1.000 1\r\nDR  4.000  0.000  0.000\r\nTP 4000\r\n"},
    LineCase{{"G4"}, "TP 0\r\n"},
    LineCase{{"G0 X-2", "G4"}, "DR  -2.000  0.000  0.000\r\nTP 0\r\n"},  // a negative time waits nothing
    LineCase{{"G4 P0.0025"}, "TP 2\r\n"},                                     // halves to the even neighbour
    // Numbers longer than 11 characters are cut in moves and arcs, not in speeds.
    LineCase{{"G0 X123456789.123 Y-98765432.5"}, "DR  123456789.1  -98765432.5  0.000\r\n"},
    LineCase{{"F123456789.5", "G1 X1"}, "VA  123456789.500 0\r\nVA  1.000 1\r\nDR  1.000  0.000  0.000\r\n"},
    LineCase{{}, ""}));

// Coordinates the line does not give, modes and codes.
INSTANTIATE_TEST_SUITE_P(Words, SctLine, ::testing::Values(
    LineCase{{"G1 X1 Y7 Z2", "G28", "G1 X5"},
             "VA  1.000 1\r\nDR  1.000  7.000  2.000\r\nVA  10.000 0\r\nDR  -1.000  -7.000  -2.000\r\n"
             "VA  1.000 1\r\nDR  5.000  0.000  0.000\r\n"},
    LineCase{{"G91", "G1 X1 Y1 Z1", "G1 X2"}, "VA  1.000 1\r\nDR  1.000  1.000  1.000\r\nDR  2.000  0.000  0.000\r\n"},
    LineCase{{"G91", "G90.1", "G0 X5", "G0 X5"}, "DR  5.000  0.000  0.000\r\nDR  5.000  0.000  0.000\r\n"},
    LineCase{{"G3 X5 Y5 I0 J5", "G2 X15 I5"},  // J omitted: 0, not the last arc's 5
             "VA  1.000 1\r\nAH  0.000  5.000  90.000\r\nAH  5.000  0.000  -180.000\r\n"},
    LineCase{{"G2 I5 J0"}, "VA  1.000 1\r\nAH  5.000  0.000  -360.000\r\n"},  // circle: no end point given
    LineCase{{"G0 X4", "G91", "G2 X10 Y0 I5 J0", "G0 X1"},
             "DR  4.000  0.000  0.000\r\nVA  1.000 1\r\nAH  5.000  0.000  -180.000\r\nVA  10.000 0\r\nDR  1.000  0.000  0.000\r\n"},
    LineCase{{"G0 X3", "G92", "G0 X3"}, "DR  3.000  0.000  0.000\r\nDR  3.000  0.000  0.000\r\n"},
    // After G92 an arc is checked from where the program is, not from the list's own chain.
    LineCase{{"G0 X10", "G92", "G2 X10 Y0 I5 J0"},
             "DR  10.000  0.000  0.000\r\nVA  1.000 1\r\nAH  5.000  0.000  -180.000\r\n"},
    LineCase{{"#D=2", "G0 X[D*3] (comment)", "M6", "G17"}, "DR  6.000  0.000  0.000\r\nOM 6\r\n"},
    LineCase{{"G1 X2 F200", "X4"}, "VA  200.000 1\r\nDR  2.000  0.000  0.000\r\nDR  2.000  0.000  0.000\r\n"}));

TEST(SctConvert, ErrorsStopWithTheirLine)
{
    const struct {
        std::vector<std::string> GCode;
        int Number, Line;
        const char* Text;
    } cases[] = {
        {{"G0 X1", "G1 X1.2.3"}, mvx::gcode::kErrorParameter, 2, "Parameter error :1.2.3"},
        {{"G1 X]5["}, 6, 1, "Nombre différent de parenthèses ouvrantes et fermantes"},
        {{"G0 X0", "G0 X0", "G2 X10 Y5 I5 J0"}, mvx::gcode::kErrorIncoherentLine, 3,
         "Incohérence dans le fichier GCODE, ligne 3"},
        {{"G3 X10 Y5 I5 J0"}, mvx::gcode::kErrorIncoherentLine, 1, nullptr},  // G3 is checked too
        {{"#A=1/0"}, 100, 1, "Division par zéro"},
    };
    for (const auto& c : cases) {
        const SctConversion conv = ConvertSct(c.GCode, baseConfig());
        EXPECT_EQ(conv.Error.Number, c.Number) << c.GCode.back();
        EXPECT_EQ(conv.Error.Line, c.Line) << c.GCode.back();
        if (c.Text) {
            EXPECT_EQ(conv.Error.Text, c.Text);
        }
        EXPECT_TRUE(conv.Script.empty()) << "nothing is generated after an error";
        EXPECT_TRUE(conv.PvtFiles.empty());
    }
}

// ---------------------------------------------------------------------------------------------
// Whole conversions.

struct ConversionCase {
    const char* Name;
    std::vector<const char*> GCode;
    std::function<void(MachineConfig&)> Setup;
    const char* Sct;
    std::vector<std::string> Body;
    std::vector<std::string> Pvt;  // file texts in order; "*" = not compared
};

std::ostream& operator<<(std::ostream& os, const ConversionCase& c) { return os << c.Name; }

class WholeConversion : public ::testing::TestWithParam<ConversionCase> {};

TEST_P(WholeConversion, Outputs)
{
    const auto& c = GetParam();
    MachineConfig cfg = baseConfig();
    if (c.Setup) c.Setup(cfg);
    const SctConversion conv = ConvertSct({c.GCode.begin(), c.GCode.end()}, cfg);
    ASSERT_TRUE(conv.Error.Ok()) << conv.Error.Text;
    EXPECT_EQ(conv.SctText, c.Sct);
    EXPECT_EQ(joined(body(conv)), joined(c.Body));
    ASSERT_EQ(conv.PvtFiles.size(), c.Pvt.size());
    for (std::size_t i = 0; i < c.Pvt.size(); ++i) {
        EXPECT_EQ(conv.PvtFiles[i].Name, "TRJ" + std::to_string(i + 1) + ".PVT");
        if (c.Pvt[i] != "*") {
            EXPECT_EQ(conv.PvtFiles[i].Text, c.Pvt[i]) << conv.PvtFiles[i].Name;
        }
    }
}

const std::string kFiveRows =
    "0.010000 0.005000 1.000000 0.000000 0.000000 0.000000 0.000000\n"
    "9.995000 9.995000 1.000000 0.000000 0.000000 0.000000 0.000000\n"
    "10.000000 10.000000 1.000000 0.000000 0.000000 0.000000 0.000000\n"
    "9.995000 9.995000 1.000000 0.000000 0.000000 0.000000 0.000000\n"
    "0.010000 0.005000 0.000000 0.000000 0.000000 0.000000 0.000000\n";

const std::string kChainOfTwo =
    "0.010000 0.005000 1.000000 0.000000 0.000000 0.000000 0.000000\n"
    "9.995000 9.995000 1.000000 0.000000 0.000000 0.000000 0.000000\n"
    "9.995000 9.995000 1.000000 0.000000 0.000000 0.000000 0.000000\n"
    "0.010000 0.005000 0.000000 0.000000 0.000000 0.000000 0.000000\n";

std::vector<std::string> firstRun(const char* args, int n = 1)
{
    return {"set ErrorCode [catch \" GroupMoveAbsolute $SocketID $name_group " + std::string(args) + "\"]",
            kErrCheckSpaced,
            "activate",
            kCheck,
            "# run trajectory number " + std::to_string(n),
            "set ErrorCode [catch \"MultipleAxesPVTExecution $SocketID MULTI TRJ" + std::to_string(n) + ".PVT 1\"]",
            kErrCheck};
}

std::vector<std::string> concat(std::initializer_list<std::vector<std::string>> parts)
{
    std::vector<std::string> out;
    for (const auto& p : parts) out.insert(out.end(), p.begin(), p.end());
    return out;
}

std::vector<std::string> laterRun(int n)
{
    return {"# run trajectory number " + std::to_string(n),
            "set ErrorCode [catch \"MultipleAxesPVTExecution $SocketID MULTI TRJ" + std::to_string(n) + ".PVT 1\"]",
            kErrCheck};
}

const std::vector<std::string> kToolOff = {"inactivate", kCheck};

INSTANTIATE_TEST_SUITE_P(Cases, WholeConversion, ::testing::Values(
    ConversionCase{"ThreeCollinear", {"G1 X10", "G1 X20", "G1 X30"}, nullptr,
                   "VA  1.000 1\r\nDR  10.000  0.000  0.000\r\nDR  10.000  0.000  0.000\r\nDR  10.000  0.000  0.000\r\n",
                   concat({firstRun("0.0 0.0 0.0"), kToolOff}), {kFiveRows}},
    ConversionCase{"PositioningOnly", {"G0 X5 Y5", "G0 Z-1"}, nullptr,
                   "DR  5.000  5.000  0.000\r\nDR  0.000  0.000  -1.000\r\n",
                   {"mov  5.0000 5.0000 0.0000", kCheck, "", "mov  0.0000 0.0000 -1.0000", kCheck, ""}, {}},
    ConversionCase{"Corner90", {"G1 X10", "G1 Y10"}, nullptr,
                   "VA  1.000 1\r\nDR  10.000  0.000  0.000\r\nDR  0.000  10.000  0.000\r\n",
                   {"activate", kCheck, "change_speed 1.0000 X", kCheck, "mov 10.0000 0.0000 0.0000", kCheck, "",
                    "change_speed 1.0000 Y", kCheck, "mov 0.0000 10.0000 0.0000", kCheck, "", "inactivate", kCheck},
                   {}},
    ConversionCase{"MCodeBetweenChains", {"G1 X10", "G1 X20", "M3", "G1 X30", "G1 X40"}, nullptr,
                   "VA  1.000 1\r\nDR  10.000  0.000  0.000\r\nDR  10.000  0.000  0.000\r\nOM 3\r\n"
                   "DR  10.000  0.000  0.000\r\nDR  10.000  0.000  0.000\r\n",
                   concat({firstRun("0.0 0.0 0.0"),
                           {"# CHANGE OUTPUT  FOR M3", "set ErrorCode [catch \"GPIODigitalSet $SocketID GPIO1.DO 2 0\"]",
                            kErrCheck, ""},
                           laterRun(2), kToolOff}),
                   {kChainOfTwo, kChainOfTwo}},
    ConversionCase{"M5Default", {"M5"}, nullptr, "OM 5\r\n",
                   {"# CHANGE OUTPUT  FOR M5", "set ErrorCode [catch \"GPIODigitalSet $SocketID GPIO1.DO 2 2\"]", kErrCheck, "",
                    "# CHANGE OUTPUT  FOR M5", "set ErrorCode [catch \"GPIODigitalSet $SocketID GPIO1.DO 4 4\"]", kErrCheck, ""},
                   {}},
    ConversionCase{"M5ActiveOne",
                   {"M3", "M5"},
                   [](MachineConfig& c) {
                       c.M03M05 = {1, 2, 1};
                       c.M04M05 = {3, 3, 1};
                   },
                   "OM 3\r\nOM 5\r\n",
                   {"# CHANGE OUTPUT  FOR M3", "set ErrorCode [catch \"GPIODigitalSet $SocketID GPIO1.DO 2 2\"]", kErrCheck, "",
                    "# CHANGE OUTPUT  FOR M5", "set ErrorCode [catch \"GPIODigitalSet $SocketID GPIO1.DO 2 0\"]", kErrCheck, "",
                    "# CHANGE OUTPUT  FOR M5", "set ErrorCode [catch \"GPIODigitalSet $SocketID GPIO4.DO 4 0\"]", kErrCheck, ""},
                   {}},
    ConversionCase{"Dwell", {"G4 P1.5"}, nullptr, "TP 1500\r\n", {"# Delay 1500", "after 1500", ""}, {}},
    ConversionCase{"DwellClosesRun", {"G1 X10", "G1 X20", "G4 P0.25"}, nullptr,
                   "VA  1.000 1\r\nDR  10.000  0.000  0.000\r\nDR  10.000  0.000  0.000\r\nTP 250\r\n",
                   concat({firstRun("0.0 0.0 0.0"), {"# Delay 250", "after 250", ""}, kToolOff}), {kChainOfTwo}},
    ConversionCase{"TwoAxisGroup", {"G1 X10", "G1 X20", "G1 X30", "G0 X0"},
                   [](MachineConfig& c) { c.XYGroupOnly = true; },
                   "VA  1.000 1\r\nDR  10.000  0.000  0.000\r\nDR  10.000  0.000  0.000\r\nDR  10.000  0.000  0.000\r\n"
                   "VA  10.000 0\r\nDR  -30.000  0.000  0.000\r\n",
                   concat({firstRun("0.0 0.0"), kToolOff, {"mov  -30.0000 0.0000", kCheck, ""}}),
                   {"0.010000 0.005000 1.000000 0.000000 0.000000\n"
                    "9.995000 9.995000 1.000000 0.000000 0.000000\n"
                    "10.000000 10.000000 1.000000 0.000000 0.000000\n"
                    "9.995000 9.995000 1.000000 0.000000 0.000000\n"
                    "0.010000 0.005000 0.000000 0.000000 0.000000\n"}},
    // The run starts where the travel left the tool: the first run's move goes there.
    ConversionCase{"TravelThenChain", {"G0 X5 Y5", "G1 X15", "G1 X25"}, nullptr,
                   "DR  5.000  5.000  0.000\r\nVA  1.000 1\r\nDR  10.000  0.000  0.000\r\nDR  10.000  0.000  0.000\r\n",
                   concat({{"mov  5.0000 5.0000 0.0000", kCheck, ""}, firstRun("5.0000 5.0000 0.0000"), kToolOff}),
                   {kChainOfTwo}},
    // A cut before the first run: the tool goes off for the move to the run's start.
    ConversionCase{"CutThenChain", {"G1 Y5", "G1 X10 Y5", "G1 X20 Y5"}, nullptr,
                   "VA  1.000 1\r\nDR  0.000  5.000  0.000\r\nDR  10.000  0.000  0.000\r\nDR  10.000  0.000  0.000\r\n",
                   concat({{"activate", kCheck, "change_speed 1.0000 Y", kCheck, "mov 0.0000 5.0000 0.0000", kCheck, ""},
                           kToolOff, firstRun("0.0000 5.0000 0.0000"), kToolOff}),
                   {kChainOfTwo}},
    // G91 in force: no absolute move before the first run.
    ConversionCase{"RelativeChain", {"G91", "G1 X10", "G1 X10"}, nullptr,
                   "VA  1.000 1\r\nDR  10.000  0.000  0.000\r\nDR  10.000  0.000  0.000\r\n",
                   concat({{"activate", kCheck}, laterRun(1), kToolOff}), {kChainOfTwo}},
    // A move of no length between two collinear moves neither stops the chain nor makes rows.
    ConversionCase{"ZeroLengthInChain", {"G1 X10", "G1 X10", "G1 X20"}, nullptr,
                   "VA  1.000 1\r\nDR  10.000  0.000  0.000\r\nDR  0.000  0.000  0.000\r\nDR  10.000  0.000  0.000\r\n",
                   concat({firstRun("0.0 0.0 0.0"), kToolOff}), {kChainOfTwo}},
    ConversionCase{"Empty", {}, nullptr, "", {}, {}}));

// ---------------------------------------------------------------------------------------------

TEST(SctGeneration, ArcRowsAddUpToTheChord)
{
    MachineConfig cfg = baseConfig();
    for (const char* arc : {"G2 X10 Y0 I5 J0", "G3 X10 Y0 I5 J0", "G3 X2.5 Y4.330127 I5 J0", "G2 X0 Y0 I3 J4"}) {
        const SctConversion conv = ConvertSct({arc}, cfg);
        ASSERT_TRUE(conv.Error.Ok()) << arc << conv.Error.Text;
        ASSERT_EQ(conv.PvtFiles.size(), 1u) << arc;
        const auto rs = rows(conv.PvtFiles[0].Text);
        double x = 0, y = 0, z = 0;
        for (const Row& r : rs) {
            ASSERT_EQ(r.Fields.size(), 6u);
            EXPECT_GE(r.Dt, 1e-4);
            x += r.Fields[0];
            y += r.Fields[2];
            z += r.Fields[4];
        }
        const Vec3 end = DrawAll(conv.List, {0.0, 0.0, 0.0}).Markers.back().At;
        // Rows are printed with 6 decimals; their sum stays within half a unit of the last one.
        EXPECT_NEAR(x, end[0], 5.1e-7) << arc;
        EXPECT_NEAR(y, end[1], 5.1e-7) << arc;
        EXPECT_EQ(z, 0.0);
        EXPECT_EQ(rs.back().Fields[1], 0.0) << "ends at rest";
        EXPECT_EQ(rs.back().Fields[3], 0.0);
    }
    // Default angular step (5 degrees): a half circle cruises in 36 sub-rows of at most 5 degrees.
    const SctConversion half = ConvertSct({"G2 X10 Y0 I5 J0"}, cfg);
    EXPECT_EQ(rows(half.PvtFiles[0].Text).size(), 38u);
}

TEST(SctGeneration, StraightRowsAddUpToTheMove)
{
    const SctConversion conv = ConvertSct({"G1 X3.3333333 Y-7.1 Z0.77", "G1 X6.6666666 Y-14.2 Z1.54"}, baseConfig());
    ASSERT_EQ(conv.PvtFiles.size(), 1u);
    double s[3] = {0, 0, 0};
    for (const Row& r : rows(conv.PvtFiles[0].Text))
        for (int ax = 0; ax < 3; ++ax) s[ax] += r.Fields[static_cast<std::size_t>(2 * ax)];
    EXPECT_NEAR(s[0], 6.6666666, 5.1e-7);
    EXPECT_NEAR(s[1], -14.2, 1e-9);
    EXPECT_NEAR(s[2], 1.54, 1e-9);
}

// A run of moves too short to write ends with the carry row; the next run starts clean.
TEST(SctGeneration, CarryIsClearedOnceWritten)
{
    const SctConversion conv =
        ConvertSct({"G1 X0.000001", "G1 X0.000002", "M3", "G1 X10", "G1 X20"}, baseConfig());
    ASSERT_EQ(conv.PvtFiles.size(), 2u);
    const auto first = rows(conv.PvtFiles[0].Text);
    ASSERT_FALSE(first.empty());
    EXPECT_EQ(first.back().Dt, 0.0004);
    double x = 0;
    for (const Row& r : first) x += r.Fields[0];
    EXPECT_NEAR(x, 0.000002, 1e-12);
    double second = 0;
    for (const Row& r : rows(conv.PvtFiles[1].Text)) second += r.Fields[0];
    EXPECT_NEAR(second, 20.0 - 0.000002, 1e-9);
    EXPECT_NE(rows(conv.PvtFiles[1].Text).back().Dt, 0.0004);
}

// After "G1 X10 / G1 Y10" the Y move must run at the working speed: every axis whose last
// written speed differs gets its change_speed line, and a group without Z gets no Z line.
TEST(SctGeneration, SpeedTrackedPerAxis)
{
    MachineConfig cfg = baseConfig();
    SctConversion conv = ConvertSct({"G1 X10 F2", "G1 Y10", "G0 X0", "G1 Z1"}, cfg);
    const auto b = body(conv);
    auto index = [&](const std::string& line, std::size_t from = 0) {
        for (std::size_t i = from; i < b.size(); ++i)
            if (b[i] == line) return static_cast<long>(i);
        return -1L;
    };
    const long yMove = index("mov 0.0000 10.0000 0.0000");
    ASSERT_GE(yMove, 0);
    EXPECT_GE(index("change_speed 2.0000 Y"), 0);
    EXPECT_LT(index("change_speed 2.0000 Y"), yMove);
    const long zMove = index("mov 0.0000 0.0000 1.0000");
    ASSERT_GE(zMove, 0);
    EXPECT_LT(index("change_speed 2.0000 Z", static_cast<std::size_t>(yMove)), zMove) << joined(b);

    cfg.XYGroupOnly = true;
    conv = ConvertSct({"G1 X10 F2", "G0 X0"}, cfg);
    for (const std::string& line : body(conv)) EXPECT_EQ(line.find(" Z"), std::string::npos) << line;
}

TEST(SctGeneration, SecondGenerationGivesTheSameFiles)
{
    for (bool xy : {false, true}) {
        MachineConfig cfg = baseConfig();
        cfg.XYGroupOnly = xy;
        const std::vector<std::string> gcode = {"G0 X1 Y1", "G1 X10 Z-1", "G1 X20 Z-2", "G2 X30 Y1 I5 J0",
                                                "M3", "G1 X40", "G1 Y20", "G4 P1", "G0 X0 Y0 Z0"};
        SctConversion first = ConvertSct(gcode, cfg);
        ASSERT_TRUE(first.Error.Ok());
        SctConversion second;
        ASSERT_TRUE(GenerateSct(first.List, cfg, first.RelativeAtEnd, second));
        EXPECT_EQ(second.Script, first.Script);
        ASSERT_EQ(second.PvtFiles.size(), first.PvtFiles.size());
        for (std::size_t i = 0; i < first.PvtFiles.size(); ++i) EXPECT_EQ(second.PvtFiles[i].Text, first.PvtFiles[i].Text);
        EXPECT_EQ(first.List.SctText(), first.SctText) << "generation leaves the list as built";
    }
}

// The script ends with the tool off, and a refused PVT execution or output change ends it.
TEST(SctGeneration, ScriptStopsOnAFailedCall)
{
    const SctConversion conv = ConvertSct({"G1 X10", "G1 X20", "M3", "G1 X30", "G1 X40"}, baseConfig());
    const std::string script = conv.Script;
    const auto ok = mvx::test::TclRun(script);
    ASSERT_EQ(ok.ExitCode, 0) << ok.Output;
    EXPECT_NE(ok.Output.find("CALL MultipleAxesPVTExecution 7 MULTI TRJ2.PVT 1"), std::string::npos) << ok.Output;
    EXPECT_NE(ok.Output.find("RESULT 0"), std::string::npos) << ok.Output;

    for (const char* failing : {"MultipleAxesPVTExecution*TRJ1*", "GPIODigitalSet*.DO 2 0*"}) {
        const auto r = mvx::test::TclRun(script, failing);
        ASSERT_EQ(r.ExitCode, 0) << r.Output;
        EXPECT_EQ(r.Output.find("TRJ2.PVT"), std::string::npos) << failing << "\n" << r.Output;
        EXPECT_EQ(r.Output.find("RESULT 0"), std::string::npos) << failing << "\n" << r.Output;
    }
}

TEST(SctGeneration, ToolIsOffBeforeTheFooter)
{
    const SctConversion conv = ConvertSct({"G1 X10", "G1 Y10"}, baseConfig());
    const auto b = body(conv);
    ASSERT_GE(b.size(), 2u);
    EXPECT_EQ(b[b.size() - 2], "inactivate");
    const auto r = mvx::test::TclRun(conv.Script);
    const std::size_t lastOff = r.Output.rfind("GPIODigitalSet");
    const std::size_t close = r.Output.rfind("TCP_CloseSocket");
    ASSERT_NE(lastOff, std::string::npos);
    EXPECT_LT(lastOff, close);
}

// ---------------------------------------------------------------------------------------------

class Recorder : public mvx::ConversionObserver {
public:
    void SetStatusText(std::string_view text) override { mStatus.emplace_back(text); }
    bool StopRequested() const override { return static_cast<int>(mStatus.size()) >= mStopAfter; }
    std::vector<std::string> mStatus;
    int mStopAfter = 1 << 30;
};

TEST(SctConvert, ProgressAndStop)
{
    Recorder rec;
    SctConversion conv = ConvertSct({"G0 X1", "G0 X2", "G0 X3"}, baseConfig(), &rec);
    EXPECT_FALSE(conv.Stopped);
    EXPECT_EQ(rec.mStatus, (std::vector<std::string>{"Line 1/3", "Line 2/3", "Line 3/3"}));

    Recorder stopper;
    stopper.mStopAfter = 2;
    conv = ConvertSct({"G0 X1", "G0 X2", "G0 X3"}, baseConfig(), &stopper);
    EXPECT_TRUE(conv.Stopped);
    EXPECT_TRUE(conv.Error.Ok());
    EXPECT_EQ(conv.List.Count(), 2);
    EXPECT_TRUE(conv.Script.empty());
}

TEST(SctConvert, ExtentsAndDrawing)
{
    const SctConversion conv = ConvertSct({"G0 X-2 Y3", "G1 Z-1", "G2 X8 Y3 I5 J0", "M3"}, baseConfig());
    ASSERT_TRUE(conv.Error.Ok());
    EXPECT_EQ(conv.Extents.MinX, -2.0);
    EXPECT_EQ(conv.Extents.MaxX, 8.0);
    EXPECT_EQ(conv.Extents.MaxY, 3.0);
    EXPECT_EQ(conv.Extents.MinZ, -1.0);

    const SctDrawing d = DrawAll(conv.List, {100.0, 0.0, 0.0});
    ASSERT_EQ(d.Paths.size(), 3u);
    EXPECT_EQ(d.Paths[0].Points.size(), 2u);
    EXPECT_EQ(d.Paths[2].Points.size(), 90u);  // 180 degrees / 2
    EXPECT_NEAR(d.Paths[2].Points.front()[0], 98.0, 1e-9);
    EXPECT_NEAR(d.Paths[2].Points.back()[0], 108.0, 1e-9);
    EXPECT_NEAR(d.Paths[2].Points.back()[2], -1.0, 1e-9);
    // 3 motion elements x 2 markers + 1 speed + 1 output
    EXPECT_EQ(d.Markers.size(), 8u);
    EXPECT_TRUE(d.Markers.back().Current);
}

TEST(SctFiles, WrittenThroughTemporaryFiles)
{
    namespace fs = std::filesystem;
    const fs::path dir = fs::temp_directory_path() / ("mvx_sct_" + std::to_string(::getpid()));
    fs::create_directories(dir);
    auto read = [](const fs::path& p) {
        std::ifstream f(p, std::ios::binary);
        std::stringstream ss;
        ss << f.rdbuf();
        return ss.str();
    };
    {
        std::ofstream(dir / "TEST.SCT") << "old text\r\n";
    }
    SctConversion empty = ConvertSct({}, baseConfig());
    ASSERT_TRUE(WriteSctFiles(empty, dir.string(), dir.string(), false).Ok());
    EXPECT_EQ(read(dir / "TEST.SCT"), "") << "an empty list leaves no stale text";

    const SctConversion conv = ConvertSct({"G1 X10", "G1 X20", "M3", "G1 X30", "G1 X40"}, baseConfig());
    ASSERT_TRUE(WriteSctFiles(conv, dir.string(), dir.string() + "/", true).Ok());
    EXPECT_EQ(read(dir / "TEST.SCT"), conv.SctText);
    EXPECT_EQ(read(dir / "TRJ1.PVT"), kChainOfTwo);
    EXPECT_EQ(read(dir / "TRJ2.PVT"), kChainOfTwo);
    EXPECT_EQ(read(dir / "GCode_Converted.TCL"), conv.Script);
    for (const auto& entry : fs::directory_iterator(dir)) EXPECT_NE(entry.path().extension(), ".tmp");

    const auto bad = WriteSctFiles(conv, (dir / "missing" / "deeper").string(), dir.string(), false);
    EXPECT_EQ(bad.Number, kErrorWrite);
    fs::remove_all(dir);
}

// Writing each PVT file as its run closes gives the files of ConvertSct + WriteSctFiles, byte
// for byte, and keeps only the names in memory.
TEST(SctFiles, StreamedWriteGivesTheSameFiles)
{
    namespace fs = std::filesystem;
    const fs::path root = fs::temp_directory_path() / ("mvx_sct_stream_" + std::to_string(::getpid()));
    const fs::path held = root / "held", streamed = root / "streamed";
    fs::create_directories(held);
    fs::create_directories(streamed);
    auto contents = [](const fs::path& dir) {
        std::map<std::string, std::string> files;
        for (const auto& e : fs::directory_iterator(dir)) {
            std::ifstream f(e.path(), std::ios::binary);
            files[e.path().filename().string()] = std::string(std::istreambuf_iterator<char>(f), {});
        }
        return files;
    };
    const std::vector<std::string> program = {"G1 X10", "G1 X20", "G3 X30 Y10 I0 J10", "M3", "G1 X40",
                                              "G1 X50 Y1", "G4 P1", "G1 X60", "G1 X70", "M5",
                                              "G1 X80", "G1 X90", "G0 X0 Y0"};
    const SctConversion conv = ConvertSct(program, baseConfig());
    ASSERT_TRUE(WriteSctFiles(conv, held.string(), held.string(), true).Ok());

    SctConversion out;
    ASSERT_TRUE(ConvertAndWriteSct(program, baseConfig(), streamed.string(), streamed.string(), true, out).Ok());
    EXPECT_FALSE(out.Stopped);
    EXPECT_GE(conv.PvtFiles.size(), 3u);
    EXPECT_EQ(contents(streamed), contents(held));
    ASSERT_EQ(out.PvtFiles.size(), conv.PvtFiles.size());
    for (std::size_t i = 0; i < out.PvtFiles.size(); ++i) {
        EXPECT_EQ(out.PvtFiles[i].Name, conv.PvtFiles[i].Name);
        EXPECT_TRUE(out.PvtFiles[i].Text.empty());
    }
    EXPECT_EQ(out.Script, conv.Script);
    EXPECT_EQ(out.SctText, conv.SctText);

    // A folder that cannot take the PVT files: the error, the conversion ended, no script.
    const fs::path lost = root / "lost";
    fs::create_directories(lost);
    SctConversion failed;
    const auto bad =
        ConvertAndWriteSct(program, baseConfig(), lost.string(), (root / "missing").string(), true, failed);
    EXPECT_EQ(bad.Number, kErrorWrite);
    EXPECT_NE(bad.Text.find("TRJ1.PVT"), std::string::npos);
    EXPECT_TRUE(failed.Stopped);
    EXPECT_TRUE(fs::exists(lost / "TEST.SCT"));
    EXPECT_FALSE(fs::exists(root / "missing"));

    // A program that does not build writes nothing.
    const fs::path none = root / "none";
    fs::create_directories(none);
    SctConversion broken;
    EXPECT_TRUE(
        ConvertAndWriteSct({"G1 X10", "G2 X20 Y0 I1 J1"}, baseConfig(), none.string(), none.string(), true, broken)
            .Ok());
    EXPECT_EQ(broken.Error.Number, mvx::gcode::kErrorIncoherentLine);
    EXPECT_TRUE(fs::is_empty(none));
    fs::remove_all(root);
}

}  // namespace
