// Line parsing: words, completions, parameters across lines, errors with their line numbers,
// the read-step normalisation and the angle helpers.
#include "translator/gcodeline.h"
#include "translator/gcodetext.h"
#include "translator/geomutil.h"
#include "translator/numtext.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>
#include <vector>

namespace {

using namespace mvx::gcode;

// "G1 X1.5 Y2 Z0 I0 J0": every entry of the word table, values printed shortest.
std::string wordsText(const Block& b)
{
    std::string s;
    for (int i = 0; i < b.WordCount; ++i) {
        if (i) s += ' ';
        s += b.Words[static_cast<std::size_t>(i)].Letter;
        s += mvx::num::general(b.Words[static_cast<std::size_t>(i)].Value);
    }
    return s;
}

struct LineCase {
    std::vector<const char*> Lines;  // parsed in order with one state; the last one is checked
    const char* Words;               // expected word table of the last line
    int Error = 0;                   // expected error number of the last line
    const char* ErrorText = "";      // expected text when not empty
};

std::ostream& operator<<(std::ostream& os, const LineCase& c) { return os << '"' << c.Lines.back() << '"'; }

class ParseLine : public ::testing::TestWithParam<LineCase> {};

TEST_P(ParseLine, WordsOrError)
{
    const LineCase& c = GetParam();
    // The drivers' one-pass reader and the two steps it stands for give the same words.
    for (bool onePass : {false, true}) {
        SCOPED_TRACE(onePass ? "ReadGCodeLine" : "PrepareLine + ParseGCodeLine");
        LineState state;
        Block block;
        for (std::size_t i = 0; i < c.Lines.size(); ++i) {
            const int lineNumber = static_cast<int>(i) + 1;
            Status st = onePass ? ReadGCodeLine(c.Lines[i], state, block, lineNumber)
                                : ParseGCodeLine(PrepareLine(c.Lines[i]), state, block, lineNumber);
            if (i + 1 < c.Lines.size()) {
                ASSERT_TRUE(st.Ok()) << c.Lines[i] << ": " << st.Text;
                continue;
            }
            if (c.Error == 0) {
                ASSERT_TRUE(st.Ok()) << st.Number << " " << st.Text;
                EXPECT_EQ(wordsText(block), c.Words);
            } else {
                EXPECT_EQ(st.Number, c.Error) << st.Text;
                EXPECT_EQ(st.Line, lineNumber);
                if (*c.ErrorText) {
                    EXPECT_EQ(st.Text, c.ErrorText);
                }
            }
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Words, ParseLine, ::testing::Values(
    LineCase{{"N0010 G01 X1,5 Y2"}, "G1 X1.5 Y2 Z0 I0 J0"},
    LineCase{{"G1 X1 Y7 Z2", "G1 X5"}, "G1 X5 Y7 Z2 I0 J0"},
    LineCase{{"G2 X1 Y1 I1 J0", "G1 X2"}, "G1 X2 Y1 Z0 I1 J0"},
    LineCase{{"G4 P0.5"}, "G4 P0.5 X0 Y0 Z0 I0 J0"},
    LineCase{{"F300"}, "F300 X0 Y0 Z0 I0 J0"},
    LineCase{{"g0 x-3. y.5"}, "G0 X-3 Y0.5 Z0 I0 J0"},
    LineCase{{"G1\tX5"}, "G1 X5 Y0 Z0 I0 J0"},
    LineCase{{"M3"}, "M3 X0 Y0 Z0 I0 J0"},
    LineCase{{"(only a comment)"}, ""},
    LineCase{{""}, ""},
    LineCase{{"T1 X5"}, ""},            // not a word the dialect starts with
    LineCase{{"N20"}, ""},
    LineCase{{"G1 X"}, "G1 X0 X0 Y0 Z0 I0 J0"}));  // a bare letter gives no value

INSTANTIATE_TEST_SUITE_P(Parameters, ParseLine, ::testing::Values(
    LineCase{{"#DEPTH=2*3", "G1 Z[-DEPTH]"}, "G1 Z-6 X0 Y0 I0 J0"},
    LineCase{{"#DEPTH=2*3"}, ""},
    LineCase{{"N10 #A=5", "G1 X[A]"}, "G1 X5 Y0 Z0 I0 J0"},
    LineCase{{"#A=1", "#A=A+1", "#A=[A+1]*2", "G1 X[A*10]"}, "G1 X60 Y0 Z0 I0 J0"},
    LineCase{{"#12=5", "G1 X[#12] Y[12]"}, "G1 X5 Y12 Z0 I0 J0"},
    LineCase{{"G1 X[1+2]Y[4/2]"}, "G1 X3 Y2 Z0 I0 J0"},
    LineCase{{"G1 X[2*3]"}, "G1 X6 Y0 Z0 I0 J0"},
    LineCase{{"G1 X[[1+1]*[2+1]]"}, "G1 X6 Y0 Z0 I0 J0"},
    LineCase{{"G1 X[1/3]"}, "G1 X0.33333333 Y0 Z0 I0 J0"}));

INSTANTIATE_TEST_SUITE_P(Errors, ParseLine, ::testing::Values(
    LineCase{{"G1 X1", "G1 X1.2.3"}, "", kErrorParameter, "Parameter error :1.2.3"},
    LineCase{{"G1 X-"}, "", kErrorParameter, "Parameter error :-"},
    LineCase{{"G1 X1*2"}, "", kErrorParameter, "Parameter error :1 2"},
    LineCase{{"G1 X#A"}, "", kErrorParameter},
    LineCase{{"G1 X5 #A=3"}, "", kErrorParameter},
    LineCase{{"#=3"}, "", kErrorParameter},
    LineCase{{"G1", "G1", "G1 X]5["}, "", 6, "Nombre différent de parenthèses ouvrantes et fermantes"},
    LineCase{{"G1 X[5"}, "", 6},
    LineCase{{"G1 X5]"}, "", 6},
    LineCase{{"G1 X[]"}, "", 8},
    LineCase{{"#A="}, "", 8},
    LineCase{{"#A=1+"}, "", 8},
    LineCase{{"G0", "#A=x+1"}, "", 4, "Fonction ou constante inconnue"},
    LineCase{{"G1 X[1/0]"}, "", 100, "Division par zéro"},
    LineCase{{"G1 X[10^5000]"}, "", 104},
    LineCase{{"G1 X[SIN]"}, "", 9},
    LineCase{{"G1 X1 Y1 Z1 A1 B1 C1 D1 E1 F1 H1 I1 J1 K1 L1 M1 O1 P1 Q1 R1 S1 T1"}, "", kErrorParameter}));

TEST(ParseLine, SubstitutedText)
{
    mvx::TExpression ev;
    std::string line = "G1X[1+2]Y[4/2]";
    ASSERT_TRUE(SubstituteParameters(line, ev, 1).Ok());
    EXPECT_EQ(line, "G1X3.00000000Y2.00000000");
}

TEST(ParseLine, GivenFlagsAndCompletionCount)
{
    LineState state;
    Block b;
    ASSERT_TRUE(ParseGCodeLine(PrepareLine("N0010 G01 X1,5 Y2"), state, b, 1).Ok());
    EXPECT_EQ(b.WordCount, 6);
    EXPECT_EQ(b.LineWordCount, 3);
    EXPECT_TRUE(b.Gives('X'));
    EXPECT_TRUE(b.Gives('Y'));
    EXPECT_FALSE(b.Gives('Z'));
    EXPECT_FALSE(b.Gives('N'));
}

TEST(ParseLine, ExactCodes)
{
    EXPECT_EQ(ExactCode(90.0), 90);
    EXPECT_EQ(ExactCode(0.0), 0);
    EXPECT_FALSE(ExactCode(90.1).has_value());
    EXPECT_FALSE(ExactCode(91.1).has_value());
    EXPECT_FALSE(ExactCode(1.0000001).has_value());
    EXPECT_FALSE(ExactCode(std::nan("")).has_value());
    EXPECT_FALSE(ExactCode(1e300).has_value());
}

// Only what the line gives moves: completions never become targets, and an omitted
// centre offset is 0, not the previous arc's.
TEST(ParseLine, TargetsAndCentresUseOnlyGivenWords)
{
    LineState state;
    Block b;
    PathExtents ext;
    double speed = 1.0;
    ASSERT_TRUE(ParseGCodeLine(PrepareLine("G2 X1 Y-4 Z2 I3 J5 F200"), state, b, 1).Ok());
    Target t;
    GetXYZF(b, 2, speed, true, t, ext);
    EXPECT_TRUE(t.HasX && t.HasY && t.HasZ && t.Any);
    EXPECT_EQ(speed, 200.0);
    EXPECT_EQ(ext.MinY, -4.0);
    EXPECT_EQ(ext.MaxZ, 2.0);

    ASSERT_TRUE(ParseGCodeLine(PrepareLine("G3 X2 I1"), state, b, 2).Ok());
    GetXYZF(b, 2, speed, false, t, ext);
    EXPECT_TRUE(t.HasX);
    EXPECT_FALSE(t.HasY);
    EXPECT_FALSE(t.HasZ);
    Centre c;
    GetIJK(b, c);
    EXPECT_EQ(c.I, 1.0);
    EXPECT_TRUE(c.HasI);
    EXPECT_FALSE(c.HasJ);
    EXPECT_EQ(c.J, 0.0);

    ASSERT_TRUE(ParseGCodeLine(PrepareLine("X7 H1 Y3"), state, b, 3).Ok());
    GetXYZF(b, 1, speed, true, t, ext);  // H ends the scan
    EXPECT_TRUE(t.HasX);
    EXPECT_FALSE(t.HasY);
    EXPECT_EQ(ext.MaxX, 7.0);

    ASSERT_TRUE(ParseGCodeLine(PrepareLine("G1 F999"), state, b, 4).Ok());
    GetXYZF(b, 2, speed, false, t, ext);  // F words off: speed kept
    EXPECT_EQ(speed, 200.0);
    EXPECT_FALSE(t.Any);
}

// ---------------------------------------------------------------------------------------------

struct NormCase {
    const char* In;
    std::vector<std::string> Out;
};

std::ostream& operator<<(std::ostream& os, const NormCase& c) { return os << '"' << c.In << '"'; }

class ReadNormalisation : public ::testing::TestWithParam<NormCase> {};

TEST_P(ReadNormalisation, Lines)
{
    EXPECT_EQ(mvx::gtext::NormalizeLoadedLines({GetParam().In}), GetParam().Out);
}

INSTANTIATE_TEST_SUITE_P(Cases, ReadNormalisation, ::testing::Values(
    NormCase{"N10G01X1Y2", {"N10 G01 X1 Y2"}},
    NormCase{"G01X10.5Y-3", {"G01 X10.5 Y-3"}},
    NormCase{"GX", {"GX"}},
    NormCase{"G1 X1", {"G1 X1"}},
    NormCase{"", {""}},
    NormCase{"G00 X0 G01 X5", {"G00 X0", "G01 X5"}},
    NormCase{"G0X0G1X5G2X1", {"G0 X0", "G1 X5", "G2 X1"}},
    NormCase{"GG1", {"GG1"}},
    NormCase{"G1 X1 (GO TO G54)", {"G1 X1 ( GO TO G54)"}},  // the blank rule applies in comments too
    NormCase{"(G0 THEN) G1 X1 G0 X0", {"( G0 THEN) G1 X1", "G0 X0"}},
    NormCase{"x1g1", {"x1g1"}}));

TEST(ReadNormalisation, LongLineSplitKeepsEveryCharacterOnce)
{
    std::string first = "G1";
    for (int i = 0; i < 120; ++i) first += " X" + std::to_string(i);
    std::string second = "G0 X1 Y2";
    const auto lines = mvx::gtext::NormalizeLoadedLines({first + " " + second});
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0], first);
    EXPECT_EQ(lines[1], second);
}

// A file's bytes become its lines: every line end form, and nothing lost at the edges.
TEST(LineList, FromTextCutsAtEveryLineEndForm)
{
    struct Row {
        std::string In;
        std::vector<std::string> Out;
    };
    const Row rows[] = {
        {"", {}},
        {"G1", {"G1"}},
        {"G1\n", {"G1"}},
        {"G1\r\nG2\r\n", {"G1", "G2"}},
        {"G1\rG2\nG3", {"G1", "G2", "G3"}},
        {"G1\n\r\nG2", {"G1", "", "G2"}},
        {"\n\n", {"", ""}},
        {"G1\r\r\nG2\r", {"G1", "", "G2"}},
        {std::string("A\0B\n", 4), {std::string("A\0B", 3)}},
    };
    for (const Row& r : rows) {
        const mvx::gcode::LineList lines = mvx::gcode::LineList::FromText(r.In);
        EXPECT_EQ(std::vector<std::string>(lines.begin(), lines.end()), r.Out) << '"' << r.In << '"';
    }
}

// The line list's edits keep every other line as it was.
TEST(LineList, EditsMoveOnlyTheEditedLine)
{
    mvx::gcode::LineList l{"G0 X0", "G1 X1", "G1 X2"};
    l.insert(0, "G90");
    l.replace(2, "G1 X10 Y10");
    l.erase(3);
    l.insert(99, "M30");  // past the end: appended
    l.replace(7, "lost");  // no such line: nothing
    l.erase(7);
    l.insert(1, "");
    EXPECT_EQ(std::vector<std::string>(l.begin(), l.end()),
              (std::vector<std::string>{"G90", "", "G0 X0", "G1 X10 Y10", "M30"}));
    EXPECT_EQ(l.joined("\r\n"), "G90\r\n\r\nG0 X0\r\nG1 X10 Y10\r\nM30\r\n");
    EXPECT_EQ(l.textBytes(), 3u + 5u + 10u + 3u);
}

TEST(TextHelpers, InPlaceEdits)
{
    struct Row {
        void (*Fn)(std::string&);
        const char* In;
        const char* Out;
    };
    const Row rows[] = {
        {mvx::gtext::RemoveParenthesized, "G01 (comment) X1", "G01  X1"},
        {mvx::gtext::RemoveParenthesized, "G1 (open", "G1 "},
        {mvx::gtext::RemoveParenthesized, "G1 ) X", "G1  X"},
        {mvx::gtext::RemoveParenthesized, "(a)(b)G1", "G1"},
        {mvx::gtext::RemoveSpaces, " G 1 X ", "G1X"},
        {mvx::gtext::RemoveLineBreaks, "a\r\nb\n", "ab"},
        {mvx::gtext::TrimSpaces, "  a b \t ", "a b \t"},
        {mvx::gtext::TrimLeftSpaces, "  a ", "a "},
        {mvx::gtext::TrimRightSpaces, "  a ", "  a"},
        {mvx::gtext::NormalizeNumberText, "1,5*2\t3", "1.5 2 3"},
        {[](std::string& s) { mvx::gtext::UpperCaseText(s); }, "g1 x-é", "G1 X-é"},
    };
    for (const Row& r : rows) {
        std::string s = r.In;
        r.Fn(s);
        EXPECT_EQ(s, r.Out) << r.In;
    }
}

// ---------------------------------------------------------------------------------------------

TEST(Angles, WrapAngle)
{
    using mvx::geom::kPi;
    using mvx::geom::WrapAngle;
    const struct {
        double In, Out;
    } rows[] = {
        {3 * kPi / 2, -kPi / 2}, {kPi, kPi}, {-kPi, -kPi}, {3 * kPi, kPi}, {-3 * kPi, -kPi},
        {0.5, 0.5}, {-kPi / 2 - 2 * kPi, -kPi / 2}, {7 * kPi / 2, -kPi / 2},
    };
    for (const auto& r : rows) EXPECT_NEAR(WrapAngle(r.In), r.Out, 1e-12) << r.In;

    EXPECT_TRUE(std::isnan(WrapAngle(std::nan(""))));
    EXPECT_TRUE(std::isnan(WrapAngle(std::numeric_limits<double>::infinity())));
    EXPECT_TRUE(std::isnan(WrapAngle(-std::numeric_limits<double>::infinity())));
    for (double huge : {1e300, -1e300, 1e17, std::numeric_limits<double>::max()}) {
        const double w = WrapAngle(huge);
        EXPECT_LE(std::fabs(w), kPi) << huge;
    }
    EXPECT_EQ(mvx::geom::WrapAngleBounded(2e7), 2e7);
    EXPECT_NEAR(mvx::geom::WrapAngleBounded(3 * kPi / 2), -kPi / 2, 1e-12);
}

TEST(Angles, VectorsAndArcSin)
{
    using mvx::geom::kPi;
    const struct {
        double X, Y, Angle;
    } rows[] = {
        {1, 0, 0}, {-1, 0, kPi}, {0, 1, kPi / 2}, {0, -1, -kPi / 2}, {0, 0, 0},
        {-1, -1, -3 * kPi / 4}, {-1, 1, 3 * kPi / 4}, {1, 1, kPi / 4},
    };
    for (const auto& r : rows) {
        EXPECT_NEAR(mvx::geom::AngleOfVector(r.X, r.Y), r.Angle, 1e-12) << r.X << "," << r.Y;
        EXPECT_NEAR(mvx::geom::AngleOfVector2(r.Y, r.X), r.Angle, 1e-12) << r.X << "," << r.Y;
    }
    EXPECT_EQ(mvx::geom::SafeArcSin(1.0), kPi / 2);
    EXPECT_EQ(mvx::geom::SafeArcSin(-1.0), -kPi / 2);
    EXPECT_NEAR(mvx::geom::SafeArcSin(0.5), std::asin(0.5), 1e-15);
    EXPECT_TRUE(std::isnan(mvx::geom::SafeArcSin(std::nan(""))));
}

}  // namespace
