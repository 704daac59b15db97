// Hostile G-code and settings through both conversion paths: the fuzz target's crash and
// slow-input reproducers, numbers out of range and positions read as garbage. Every case must
// end with its expected error (or none) and outputs that pass the fuzz target's checks.
#include "outputcheck.h"

#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <string>
#include <vector>

namespace {

using mvx::MachineConfig;

std::string repeat(const std::string& s, int n)
{
    std::string out;
    out.reserve(s.size() * static_cast<std::size_t>(n));
    for (int i = 0; i < n; ++i) out += s;
    return out;
}

struct HostileCase {
    const char* Name;
    std::function<std::vector<std::string>()> GCode;
    unsigned char Bits;  // configuration, as the fuzz target's first byte
    int Error;           // expected error number on both paths, 0 for none
    const char* Sct;     // expected TEST.SCT when not null
};

void PrintTo(const HostileCase& c, std::ostream* os) { *os << c.Name; }

class Hostile : public ::testing::TestWithParam<HostileCase> {};

TEST_P(Hostile, EndsSoundly)
{
    const HostileCase& c = GetParam();
    const MachineConfig config = mvx::test::FuzzConfig(c.Bits);
    const std::vector<std::string> lines = c.GCode();

    const auto sct = mvx::sct::ConvertSct(lines, config);
    EXPECT_EQ(sct.Error.Number, c.Error) << sct.Error.Text.substr(0, 300);
    EXPECT_EQ(mvx::test::CheckSctOutputs(sct, config), "");
    if (c.Sct) {
        EXPECT_EQ(sct.SctText, c.Sct);
    }

    const auto tcl = mvx::tclpath::GCodeToTCL(lines, config);
    EXPECT_EQ(tcl.Error.Number, c.Error) << tcl.Error.Text.substr(0, 300);
    EXPECT_EQ(mvx::test::CheckTclOutputs(tcl, config), "");
    for (const mvx::PathSegment& seg : tcl.Drawing)
        for (std::size_t a = 0; a < 3; ++a) ASSERT_TRUE(std::isfinite(seg.Start[a]) && std::isfinite(seg.End[a]));
}

constexpr int kParameter = mvx::gcode::kErrorParameter;
constexpr unsigned char kGarbagePosition = 16;

// Inputs the fuzz target found, and the shapes that took time quadratic in a line's length.
INSTANTIATE_TEST_SUITE_P(Reproducers, Hostile, ::testing::Values(
    // A position read as garbage, then G91: the arc's drawing once cast a NaN to an integer.
    HostileCase{"GarbagePositionThenRelativeArc", [] { return std::vector<std::string>{"G91", "G2 X10 Y0 I5 J0", "G1 X1 Y1"}; },
                kGarbagePosition, 0, nullptr},
    HostileCase{"GarbagePositionThenRelativeMoves",
                [] { return std::vector<std::string>{"G0 X3", "G91", "G1 X1", "G1 Y1", "G90", "G1 X0 Y0"}; },
                kGarbagePosition | 1, 0, nullptr},
    // A word that is no number, thousands of bytes long: the message quotes its start only.
    HostileCase{"LongBadNumber", [] { return std::vector<std::string>{"G1 X" + std::string(5000, '7') + ".."}; }, 0, kParameter,
                nullptr},
    HostileCase{"LongBadNumberOfNonAsciiBytes",
                [] { return std::vector<std::string>{"G1 X8756" + repeat("\xff\xa5\xc3\xa9", 800)}; }, 0, kParameter, nullptr},
    HostileCase{"TooManyWords", [] { return std::vector<std::string>{"G1" + repeat(" X1", 3000)}; }, 0, kParameter, nullptr},
    HostileCase{"LongParameterNameOfNonAsciiBytes", [] { return std::vector<std::string>{"#A(" + repeat("\xc3\xa9", 320) + "=1"}; },
                0, 0, ""},
    // Quadratic before: nested functions (their brackets looked up again for each one).
    HostileCase{"NestedFunctions",
                [] {
                    return std::vector<std::string>{"#A=" + repeat("max[1;", 12000) + "1" + repeat("]", 12000), "G0 X[A]"};
                },
                0, 0, "DR  1.000  0.000  0.000\r\n"},
    HostileCase{"NestedSignsInFunctions",
                [] { return std::vector<std::string>{"#A=" + repeat("abs[-", 15000) + "2" + repeat("]", 15000), "G0 X[A]"}; }, 0,
                0, "DR  2.000  0.000  0.000\r\n"},
    // Quadratic before: implicit products inserted one by one into the token list.
    HostileCase{"ImplicitProducts", [] { return std::vector<std::string>{"#A=" + repeat("[1]", 30000), "G0 X[A]"}; }, 0, 0,
                "DR  1.000  0.000  0.000\r\n"},
    // Quadratic before: every "e" read the rest of the line as one name first.
    HostileCase{"ExponentMarks", [] { return std::vector<std::string>{"#A=1" + repeat("e0", 40000), "G0 X[A]"}; }, 0, 0,
                "DR  1.000  0.000  0.000\r\n"},
    HostileCase{"LongSum", [] { return std::vector<std::string>{"#A=somme[" + repeat("0;", 40000) + "3]", "G0 X[A]"}; }, 0, 0,
                "DR  3.000  0.000  0.000\r\n"},
    // Quadratic before: every name looked up among all the parameters so far.
    HostileCase{"ManyParameters",
                [] {
                    std::vector<std::string> l;
                    for (int i = 0; i < 30000; ++i) l.push_back("#P" + std::to_string(i) + "=" + std::to_string(i % 7));
                    l.push_back("G0 X[P29999]");
                    return l;
                },
                0, 0, "DR  4.000  0.000  0.000\r\n"},
    HostileCase{"ExpressionTooLong", [] { return std::vector<std::string>{"#A=" + repeat("1+", 60000) + "1"}; }, 0, kParameter,
                nullptr}));

// Numbers no conversion can write: refused with the line, never INF or NAN in a file.
INSTANTIATE_TEST_SUITE_P(OutOfRange, Hostile, ::testing::Values(
    // E is a letter in G-code: exponents only come from expressions.
    HostileCase{"CoordinateOverflow", [] { return std::vector<std::string>{"G1 X1" + std::string(300, '0'), "G1 X-1"}; }, 0,
                kParameter, nullptr},
    HostileCase{"CoordinateAtTheLimit", [] { return std::vector<std::string>{"G0 X1000000000", "G0 X-1000000000"}; }, 0, 0,
                "DR  1000000000.  0.000  0.000\r\nDR  -2000000000  0.000  0.000\r\n"},
    HostileCase{"CoordinateBeyondTheLimit", [] { return std::vector<std::string>{"G0 X1000000001"}; }, 0, kParameter, nullptr},
    HostileCase{"CentreOverflow", [] { return std::vector<std::string>{"G2 X0 Y0 I[1e300] J5"}; }, 0, kParameter, nullptr},
    HostileCase{"ExpressionBeyondADouble", [] { return std::vector<std::string>{"G1 X[1e200*1e200]"}; }, 0, kParameter, nullptr},
    HostileCase{"ExpressionOverflow", [] { return std::vector<std::string>{"#A=1e4000*1e4000"}; }, 0, mvx::EvalInvalidOp,
                nullptr},
    HostileCase{"TinyFeed", [] { return std::vector<std::string>{"G1 X900000000 F0.000000001", "G1 X1"}; }, 0, kParameter,
                nullptr},
    HostileCase{"TinyFeedFromAnExpression", [] { return std::vector<std::string>{"G1 X10 F[1e-300]"}; }, 0, kParameter,
                nullptr},
    HostileCase{"ZeroFeed", [] { return std::vector<std::string>{"G1 X10 F0"}; }, 0, kParameter, nullptr},
    HostileCase{"NegativeFeed", [] { return std::vector<std::string>{"F-5", "G1 X10"}; }, 0, kParameter, nullptr},
    HostileCase{"LongestDwell", [] { return std::vector<std::string>{"G4 P2147483.647"}; }, 0, 0, "TP 2147483647\r\n"},
    HostileCase{"DwellTooLong", [] { return std::vector<std::string>{"G4 P2147484"}; }, 0, kParameter, nullptr}));

// A configuration a caller did not check: an error before anything is written.
TEST(HostileSettings, UnusableNumbersStopTheConversion)
{
    const struct {
        std::function<void(MachineConfig&)> Set;
        const char* Key;
    } cases[] = {
        {[](MachineConfig& c) { c.WorkingSpeed = HUGE_VAL; }, "SPEED/WORKING"},
        {[](MachineConfig& c) { c.PositioningSpeed = 0.0; }, "SPEED/POSITIONNING"},
        {[](MachineConfig& c) { c.PvtAcceleration = std::nan(""); }, "TRAJECTORY/ACCELERATION"},
        {[](MachineConfig& c) { c.DiscontinuityAngleMax = -1.0; }, "TRAJECTORY/DISCONTINUITY ANGLE MAX"},
        {[](MachineConfig& c) { c.AngularStep = 0.0; }, "TRAJECTORY/ANGULARY STEP"},
        {[](MachineConfig& c) { c.NbDigit = 40; }, "PRECISION/NB DIGIT"},
    };
    const std::vector<std::string> program = {"G0 X1", "G1 X2", "G1 X3"};
    for (const auto& c : cases) {
        MachineConfig config = mvx::test::FuzzConfig(0);
        c.Set(config);
        const auto sct = mvx::sct::ConvertSct(program, config);
        EXPECT_EQ(sct.Error.Number, mvx::gcode::kErrorSetting) << c.Key;
        EXPECT_EQ(sct.Error.Text, std::string("Setting error :") + c.Key);
        EXPECT_TRUE(sct.Script.empty());
        const auto tcl = mvx::tclpath::GCodeToTCL(program, config);
        EXPECT_EQ(tcl.Error.Number, mvx::gcode::kErrorSetting) << c.Key;
        EXPECT_TRUE(tcl.Script.empty());
        EXPECT_TRUE(tcl.PvtFiles.empty());
    }
}

}  // namespace
