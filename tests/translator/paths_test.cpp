// The SCT path and the script path on the same G-code: where the two share a rule (dwell time,
// axis speeds, the travel before the first run, the tool at the end, PVT rows), their outputs
// must agree.
#include "tclrunner.h"
#include "translator/sctconvert.h"
#include "translator/tclconvert.h"
#include "translator/tclscript.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

namespace {

using mvx::MachineConfig;

MachineConfig baseConfig()
{
    MachineConfig c;
    c.GroupName = "MULTI";
    c.GCodeFileName = "JOB.NC";
    c.DateText = "01/01/2026";
    c.TimeText = "12:00";
    return c;
}

struct Bodies {
    std::vector<std::string> Sct, Tcl;
    std::vector<std::string> SctPvt, TclPvt;
};

Bodies convertBoth(const std::vector<std::string>& gcode, const MachineConfig& config)
{
    Bodies b;
    const mvx::sct::SctConversion sct = mvx::sct::ConvertSct(gcode, config);
    EXPECT_TRUE(sct.Error.Ok()) << sct.Error.Text;
    const auto sctLines = mvx::SplitScriptLines(sct.Script);
    b.Sct.assign(sctLines.begin() + static_cast<long>(sct.BodyBegin), sctLines.begin() + static_cast<long>(sct.BodyEnd));
    for (const auto& f : sct.PvtFiles) b.SctPvt.push_back(f.Text);
    const mvx::tclpath::TclConversionResult tcl = mvx::tclpath::GCodeToTCL(gcode, config);
    EXPECT_TRUE(tcl.Error.Ok()) << tcl.Error.Text;
    const auto tclLines = mvx::SplitScriptLines(tcl.Script);
    b.Tcl.assign(tclLines.begin() + static_cast<long>(tcl.BodyStart), tclLines.begin() + static_cast<long>(tcl.BodyEnd));
    for (const auto& f : tcl.PvtFiles) b.TclPvt.push_back(f.Text);
    return b;
}

std::vector<std::string> linesStarting(const std::vector<std::string>& body, const std::string& prefix)
{
    std::vector<std::string> out;
    for (const std::string& l : body)
        if (l.rfind(prefix, 0) == 0) out.push_back(l);
    return out;
}

std::string joined(const std::vector<std::string>& lines)
{
    std::string s;
    for (const auto& l : lines) s += l + "\n";
    return s;
}

struct AgreeCase {
    const char* Name;
    std::vector<std::string> GCode;
    std::function<void(MachineConfig&)> Setup;
    std::vector<std::string> Dwells;       // "after" lines of both bodies
    std::vector<std::string> Speeds;       // change_speed lines of both bodies, in order
    std::vector<std::string> Travel;       // the travel before the first run, when any
    std::size_t PvtFiles;                  // the same rows on both paths
};

void PrintTo(const AgreeCase& c, std::ostream* os) { *os << c.Name; }

class PathsAgree : public ::testing::TestWithParam<AgreeCase> {};

TEST_P(PathsAgree, WhereTheyShareARule)
{
    const AgreeCase& c = GetParam();
    MachineConfig config = baseConfig();
    if (c.Setup) c.Setup(config);
    const Bodies b = convertBoth(c.GCode, config);
    const std::string both = "SCT:\n" + joined(b.Sct) + "TCL:\n" + joined(b.Tcl);

    EXPECT_EQ(linesStarting(b.Sct, "after "), c.Dwells) << both;
    EXPECT_EQ(linesStarting(b.Tcl, "after "), c.Dwells) << both;
    EXPECT_EQ(linesStarting(b.Sct, "change_speed "), c.Speeds) << both;
    EXPECT_EQ(linesStarting(b.Tcl, "change_speed "), c.Speeds) << both;

    const std::string travel = "set ErrorCode [catch \" GroupMoveAbsolute $SocketID $name_group ";
    std::vector<std::string> expectedTravel;
    for (const std::string& t : c.Travel) expectedTravel.push_back(travel + t + "\"]");
    // Script-path moves are absolute too: only the line right before the first run counts.
    auto travelOf = [&](const std::vector<std::string>& body) {
        std::vector<std::string> out;
        for (std::size_t i = 0; i + 1 < body.size(); ++i)
            if (body[i].rfind(travel, 0) == 0 &&
                body[i + 1] == "if {$ErrorCode != 0}  {set tcl_argv(0) $ErrorCode ; close_socket ; return $tcl_argv(0)}") {
                out.push_back(body[i]);
                // The travel is never a cut: the tool is off when the group moves there.
                bool on = false;
                for (std::size_t k = 0; k < i; ++k) {
                    if (body[k] == "activate") on = true;
                    if (body[k] == "inactivate") on = false;
                }
                EXPECT_FALSE(on) << body[i];
            }
        return out;
    };
    EXPECT_EQ(travelOf(b.Sct), expectedTravel) << both;
    EXPECT_EQ(travelOf(b.Tcl), expectedTravel) << both;

    // Neither script ends with the tool on.
    for (const auto* body : {&b.Sct, &b.Tcl}) {
        const auto tool = [&] {
            std::vector<std::string> t;
            for (const std::string& l : *body)
                if (l == "activate" || l == "inactivate") t.push_back(l);
            return t;
        }();
        if (!tool.empty()) {
            EXPECT_EQ(tool.back(), "inactivate") << both;
        }
    }

    ASSERT_EQ(b.SctPvt.size(), c.PvtFiles) << both;
    EXPECT_EQ(b.TclPvt, b.SctPvt);
}

INSTANTIATE_TEST_SUITE_P(Cases, PathsAgree, ::testing::Values(
    // G4 without a time word waits the completed X, in seconds; halves go to the even neighbour;
    // a negative time waits nothing.
    AgreeCase{"DwellTimes", {"G0 X4", "G4", "G4 P0.0025", "G4 P1.5", "G0 X-3", "G4"}, nullptr,
              {"after 4000", "after 2", "after 1500", "after 0"},
              {},
              {},
              0},
    // Speeds are set per axis, just before the axes that move, and only when they differ.
    AgreeCase{"SpeedsOfMovingAxesOnly",
              {"G1 X10", "G1 X10 Y10", "G0 X0 Y0", "G1 Z-1", "G1 X5 Z-1"},
              nullptr,
              {},
              {"change_speed 1.0000 X", "change_speed 1.0000 Y", "change_speed 10.0000 X", "change_speed 10.0000 Y",
               "change_speed 1.0000 Z", "change_speed 1.0000 X"},
              {},
              0},
    AgreeCase{"TwoAxisSpeeds",
              {"G1 X10 F2", "G1 X10 Y10", "G0 Y0"},
              [](MachineConfig& c) { c.XYGroupOnly = true; },
              {},
              {"change_speed 2.0000 X", "change_speed 2.0000 Y", "change_speed 10.0000 Y"},
              {},
              0},
    // The first run starts where the program starts: the literal travel to the origin.
    AgreeCase{"TravelToTheOrigin", {"G1 X10", "G1 X20"}, nullptr, {}, {}, {"0.0 0.0 0.0"}, 1},
    AgreeCase{"TravelToTheOriginTwoAxes", {"G1 X10", "G1 X20"}, [](MachineConfig& c) { c.XYGroupOnly = true; }, {},
              {}, {"0.0 0.0"}, 1},
    // A cut before the first run: the tool goes off for the travel to the run's start.
    AgreeCase{"TravelAfterACut", {"G1 X10", "G2 X20 Y0 I5 J0"}, nullptr, {}, {"change_speed 1.0000 X"},
              {"10.0000 0.0000 0.0000"}, 1},
    // Centre offsets without an end point: a full circle on both paths.
    AgreeCase{"CircleWithoutEndPoint", {"G2 I5 J0"}, nullptr, {}, {}, {"0.0 0.0 0.0"}, 1},
    // (Z words in a group without Z differ on purpose: the script path drops them, the SCT path
    // keeps them in the length of the move.)
    AgreeCase{"ArcsAndChains", {"G1 X10", "G1 X20", "G3 X30 Y10 I0 J10", "G2 X40 Y20 I10 J0"}, nullptr, {}, {},
              {"0.0 0.0 0.0"}, 1}));

// The case: the first move sets X only, the second Y only; no Z line for moves in XY.
TEST(PathsAgree, SpeedLinesBeforeEachMove)
{
    const Bodies b = convertBoth({"G1 X10", "G1 X10 Y10"}, baseConfig());
    const std::string check = "if {$tcl_argv(0) != 0}  {close_socket ; return $tcl_argv(0)}";
    EXPECT_EQ(b.Sct, (std::vector<std::string>{"activate", check, "change_speed 1.0000 X", check,
                                                "mov 10.0000 0.0000 0.0000", check, "", "change_speed 1.0000 Y", check,
                                                "mov 0.0000 10.0000 0.0000", check, "", "inactivate", check}));
}

}  // namespace
