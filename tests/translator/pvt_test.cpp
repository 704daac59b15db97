// PVT runs: speed profiles, rows, arcs, the carry of short rows and the file text.

#include "tclrunner.h"
#include "translator/machineconfig.h"
#include "translator/numtext.h"
#include "translator/pvtrun.h"

#include <gtest/gtest.h>

#include <cmath>
#include <map>
#include <mutex>
#include <stdexcept>
#include <numbers>
#include <random>
#include <string>
#include <vector>

namespace mvx {
namespace {

using test::SplitLines;

std::vector<double> Fields(const std::string& row)
{
    std::vector<double> out;
    std::size_t start = 0;
    while (start <= row.size()) {
        std::size_t end = row.find(' ', start);
        if (end == std::string::npos) end = row.size();
        const auto v = num::parseStrict(row.substr(start, end - start));
        EXPECT_TRUE(v.has_value()) << row;
        out.push_back(v.value_or(0.0));
        start = end + 1;
    }
    return out;
}

// Sum of each displacement column of a file (X, Y and Z when present).
std::vector<double> Sums(const std::string& file)
{
    std::vector<double> sums;
    for (const auto& row : SplitLines(file)) {
        const auto f = Fields(row);
        sums.resize((f.size() - 1) / 2, 0.0);
        for (std::size_t ax = 0; ax < sums.size(); ++ax) sums[ax] += f[1 + 2 * ax];
    }
    return sums;
}

// ---------------------------------------------------------------------------------------------

struct ProfileCase {
    const char* Name;
    double L, u, o, w, a;
    std::size_t Segments;
};

void PrintTo(const ProfileCase& c, std::ostream* os) { *os << c.Name; }

class PvtProfile : public ::testing::TestWithParam<ProfileCase> {};

TEST_P(PvtProfile, SegmentsCoverTheLengthWithRealDurations)
{
    const ProfileCase& c = GetParam();
    const auto segs = PvtSpeedProfile(c.L, c.u, c.o, c.w, c.a);
    ASSERT_EQ(segs.size(), c.Segments);
    double total = 0.0;
    double start = c.u;
    for (const auto& s : segs) {
        total += s.Length;
        EXPECT_GT(s.Duration, 0.0);
        // Each piece is an even change of speed: its length is its mean speed times its time.
        EXPECT_NEAR(s.Length, (start + s.EndSpeed) / 2 * s.Duration, 1e-9 * std::max(1.0, c.L));
        start = s.EndSpeed;
    }
    if (!segs.empty()) {
        EXPECT_DOUBLE_EQ(total, c.L);
        EXPECT_DOUBLE_EQ(segs.back().EndSpeed, c.w);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Shapes, PvtProfile,
    ::testing::Values(ProfileCase{"TrapezoidFromRestToRest", 10, 0, 5, 0, 100, 3},
                      ProfileCase{"TriangleFromRestToRest", 0.2, 0, 5, 0, 100, 2},
                      ProfileCase{"TriangleAtTheTrapezoidLimit", 0.25, 0, 5, 0, 100, 2},
                      ProfileCase{"CruiseOnly", 3, 5, 5, 5, 100, 1},
                      ProfileCase{"CruiseThenStop", 3, 5, 5, 0, 100, 2},
                      ProfileCase{"SpeedUpIntoNext", 3, 0, 2, 4, 100, 3},
                      ProfileCase{"TooShortToStop", 0.01, 5, 5, 0, 100, 1},
                      ProfileCase{"ZeroCruiseStillMoves", 1, 0, 0, 0, 100, 2},
                      ProfileCase{"ZeroLength", 0, 0, 5, 0, 100, 0},
                      ProfileCase{"NegativeLength", -1, 0, 5, 0, 100, 0}),
    [](const auto& info) { return std::string(info.param.Name); });

// ---------------------------------------------------------------------------------------------

MachineConfig Config(bool xy = false)
{
    MachineConfig c;
    c.XYGroupOnly = xy;
    c.GroupAxisCount = xy ? 2 : 3;
    return c;
}

struct StraightCase {
    const char* Name;
    bool XY;
    std::array<double, 3> Delta;
    double Cruise;
    std::vector<std::string> Rows;
};

void PrintTo(const StraightCase& c, std::ostream* os) { *os << c.Name; }

class PvtStraight : public ::testing::TestWithParam<StraightCase> {};

TEST_P(PvtStraight, RowsOfOneMoveFromRestToRest)
{
    const StraightCase& c = GetParam();
    const MachineConfig config = Config(c.XY);
    PvtRunBuilder run(config);
    run.AddStraight(c.Delta, 5.0 /* a run starts from rest anyway */, c.Cruise, 0.0);
    const std::string file = run.Close();
    EXPECT_EQ(SplitLines(file), c.Rows);
    EXPECT_TRUE(run.Empty());
}

INSTANTIATE_TEST_SUITE_P(
    Moves, PvtStraight,
    ::testing::Values(
        StraightCase{"Trapezoid",
                     false,
                     {10, 0, 0},
                     5,
                     {"0.050000 0.125000 5.000000 0.000000 0.000000 0.000000 0.000000",
                      "1.950000 9.750000 5.000000 0.000000 0.000000 0.000000 0.000000",
                      "0.050000 0.125000 0.000000 0.000000 0.000000 0.000000 0.000000"}},
        StraightCase{"Triangle",
                     false,
                     {0.2, 0, 0},
                     5,
                     {"0.044721 0.100000 4.472136 0.000000 0.000000 0.000000 0.000000",
                      "0.044721 0.100000 0.000000 0.000000 0.000000 0.000000 0.000000"}},
        StraightCase{"DiagonalWithZ",
                     false,
                     {3, -4, 0},
                     5,
                     {"0.050000 0.075000 3.000000 -0.100000 -4.000000 0.000000 0.000000",
                      "0.950000 2.850000 3.000000 -3.800000 -4.000000 0.000000 0.000000",
                      "0.050000 0.075000 0.000000 -0.100000 0.000000 0.000000 0.000000"}},
        StraightCase{"TwoAxesGroupHasFiveFields",
                     true,
                     {0, 10, 0},
                     5,
                     {"0.050000 0.000000 0.000000 0.125000 5.000000",
                      "1.950000 0.000000 0.000000 9.750000 5.000000",
                      "0.050000 0.000000 0.000000 0.125000 0.000000"}}),
    [](const auto& info) { return std::string(info.param.Name); });

TEST(PvtStraightEdge, ZeroLengthMoveMakesNoRow)
{
    const MachineConfig config = Config();
    PvtRunBuilder run(config);
    run.AddStraight({0, 0, 0}, 0, 5, 0);
    EXPECT_TRUE(run.Empty());
    EXPECT_EQ(run.Close(), "");
}

TEST(PvtStraightEdge, ContinuedMovesKeepTheirSpeedAcrossTheJoin)
{
    const MachineConfig config = Config();
    PvtRunBuilder run(config);
    run.AddStraight({10, 0, 0}, 0, 5, 5);
    run.AddStraight({10, 0, 0}, 5, 5, 0);
    const auto rows = SplitLines(run.Close());
    EXPECT_EQ(rows, (std::vector<std::string>{"0.050000 0.125000 5.000000 0.000000 0.000000 0.000000 0.000000",
                                              "1.975000 9.875000 5.000000 0.000000 0.000000 0.000000 0.000000",
                                              "1.975000 9.875000 5.000000 0.000000 0.000000 0.000000 0.000000",
                                              "0.050000 0.125000 0.000000 0.000000 0.000000 0.000000 0.000000"}));
}

// ---------------------------------------------------------------------------------------------

TEST(PvtRows, ShortRowsAreCarriedIntoTheNextAndTheLastIntoAClosingRow)
{
    for (bool xy : {false, true}) {
        const MachineConfig config = Config(xy);
        PvtRunBuilder run(config);
        run.AddRow(0.5, {1, 0, 0}, {2, 0, 0});
        run.AddRow(0.00001, {0.5, 0.25, 0}, {9, 9, 9});  // too short: carried
        run.AddRow(0.25, {1, 0, 0}, {0, 0, 0});
        run.AddRow(0.00005, {0.001, 0.002, -0.003}, {0, 0, 0});
        const auto rows = SplitLines(run.Close());
        if (xy) {
            EXPECT_EQ(rows, (std::vector<std::string>{"0.500000 1.000000 2.000000 0.000000 0.000000",
                                                      "0.250000 1.500000 0.000000 0.250000 0.000000",
                                                      "0.0004 0.001000 0.00 0.002000 0.00"}));
        } else {
            EXPECT_EQ(rows, (std::vector<std::string>{"0.500000 1.000000 2.000000 0.000000 0.000000 0.000000 0.000000",
                                                      "0.250000 1.500000 0.000000 0.250000 0.000000 0.000000 0.000000",
                                                      "0.0004 0.001000 0.00 0.002000 0.00 -0.003000 0.00"}));
        }
        // Once written, the carry is gone: the next run starts clean.
        run.AddRow(1, {1, 0, 0}, {0, 0, 0});
        EXPECT_EQ(SplitLines(run.Close()).front().substr(0, 17), "1.000000 1.000000");
    }
}

TEST(PvtRows, NumbersRoundHalvesAwayFromZeroAndDropTheMinusOfZero)
{
    MachineConfig config = Config();
    config.NbDigitPvt = 2;
    PvtRunBuilder run(config);
    run.AddRow(1, {0.125, -0.125, -0.001}, {0.375, -0.0001, -0.0});
    EXPECT_EQ(SplitLines(run.Close()).front(), "1.000000 0.13 0.38 -0.13 0.00 0.00 0.00");
}

// ---------------------------------------------------------------------------------------------

TEST(PvtArc, PortionIsCutIntoSubRowsByTheAngularStep)
{
    MachineConfig config = Config();
    config.PvtAcceleration = 1e9;  // the arc is one cruise portion, give or take nanometres
    PvtRunBuilder run(config);
    const double sweep = 82.0 * std::numbers::pi / 180.0;
    run.AddArc(-10, 0, sweep, 0, 5, 0);
    const auto rows = SplitLines(run.Close());
    ASSERT_EQ(rows.size(), 17u);
    for (const auto& r : rows) EXPECT_EQ(r.substr(0, 9), rows.front().substr(0, 9));
    std::string text;
    for (const auto& r : rows) text += r + "\n";
    const auto sums = Sums(text);
    // Counter-clockwise from angle 0 about a centre 10 to the left.
    EXPECT_EQ(num::fixed(sums[0], 6), num::fixed(-10 + 10 * std::cos(sweep), 6));
    EXPECT_EQ(num::fixed(sums[1], 6), num::fixed(10 * std::sin(sweep), 6));
    EXPECT_EQ(num::fixed(sums[2], 6), "0.000000");
    // The last cruise row moves along the tangent at its end.
    const auto last = Fields(rows.back());
    EXPECT_NEAR(last[2], -5 * std::sin(sweep), 1e-6);
    EXPECT_NEAR(last[4], 5 * std::cos(sweep), 1e-6);
}

TEST(PvtArc, ClockwiseArcMovesAlongItsTangentAndStopsAtItsEnd)
{
    const MachineConfig config = Config();
    PvtRunBuilder run(config);
    // Centre 10 below the start, a quarter turn clockwise: ends at (10, -10).
    run.AddArc(0, -10, -std::numbers::pi / 2, 3 /* ignored: from rest */, 5, 0);
    const auto rows = SplitLines(run.Close());
    ASSERT_GT(rows.size(), 18u);
    const auto first = Fields(rows.front());
    EXPECT_GT(first[2], 0.0);
    EXPECT_LT(std::fabs(first[4]), 0.05 * first[2]);  // heading +X, just turning down
    const auto last = Fields(rows.back());
    EXPECT_EQ(num::fixed(last[2], 6), "0.000000");
    EXPECT_EQ(num::fixed(last[4], 6), "0.000000");
    std::string text;
    for (const auto& r : rows) text += r + "\n";
    const auto sums = Sums(text);
    EXPECT_EQ(num::fixed(sums[0], 6), "10.000000");
    EXPECT_EQ(num::fixed(sums[1], 6), "-10.000000");
}

TEST(PvtArc, ArcWithoutRadiusMakesNoRow)
{
    const MachineConfig config = Config();
    PvtRunBuilder run(config);
    run.AddArc(0, 0, std::numbers::pi, 0, 5, 0);
    EXPECT_TRUE(run.Empty());
}

// ---------------------------------------------------------------------------------------------

// Whatever the path, the rows of its file add up to where the path goes.
TEST(PvtRun, FileDisplacementsSumToThePathDisplacement)
{
    for (bool xy : {false, true}) {
        for (unsigned seed = 1; seed <= 20; ++seed) {
            std::mt19937 gen(seed);
            std::uniform_real_distribution<double> coord(-20, 20), speed(0.5, 30), angle(-6, 6);
            std::uniform_int_distribution<int> kind(0, 3);
            MachineConfig config = Config(xy);
            PvtRunBuilder run(config);
            std::array<double, 3> total{0, 0, 0};
            const int elements = 12;
            std::vector<double> speeds;
            for (int e = 0; e < elements; ++e) speeds.push_back(speed(gen));
            for (int e = 0; e < elements; ++e) {
                const double entry = e == 0 ? 0 : speeds[static_cast<std::size_t>(e)];
                const double exit = e + 1 == elements ? 0 : speeds[static_cast<std::size_t>(e + 1)];
                const int k = kind(gen);
                if (k == 0) {
                    // Tiny move: its rows are too short and travel in the carry.
                    const std::array<double, 3> d{1e-6, -2e-6, xy ? 0 : 3e-6};
                    run.AddStraight(d, entry, speeds[static_cast<std::size_t>(e)], exit);
                    for (std::size_t a = 0; a < 3; ++a) total[a] += d[a];
                } else if (k == 1) {
                    const double i = coord(gen), j = coord(gen), sweep = angle(gen);
                    run.AddArc(i, j, sweep, entry, speeds[static_cast<std::size_t>(e)], exit);
                    // The start seen from the centre, turned by the sweep.
                    const double sx = -i, sy = -j;
                    total[0] += i + sx * std::cos(sweep) - sy * std::sin(sweep);
                    total[1] += j + sx * std::sin(sweep) + sy * std::cos(sweep);
                } else {
                    const std::array<double, 3> d{coord(gen), coord(gen), xy ? 0 : coord(gen)};
                    run.AddStraight(d, entry, speeds[static_cast<std::size_t>(e)], exit);
                    for (std::size_t a = 0; a < 3; ++a) total[a] += d[a];
                }
            }
            const std::string file = run.Close();
            const auto sums = Sums(file);
            ASSERT_EQ(sums.size(), xy ? 2u : 3u);
            for (std::size_t a = 0; a < sums.size(); ++a)
                EXPECT_EQ(num::fixed(sums[a], 6), num::fixed(total[a], 6)) << "seed " << seed << " axis " << a;
            // Every row but a closing carry row lasts long enough to be executed.
            for (const auto& row : SplitLines(file)) {
                if (row.rfind("0.0004 ", 0) != 0) {
                    EXPECT_GE(Fields(row)[0], 1e-4) << row;
                }
            }
        }
    }
}

// ---------------------------------------------------------------------------------------------
// Files made on workers: the same names, rows and order as one after the other.

std::vector<PvtRunPlan> RandomPlans(int count, unsigned seed)
{
    std::mt19937 gen(seed);
    std::uniform_real_distribution<double> coord(-20.0, 20.0), angle(-6.0, 6.0), speed(0.5, 50.0);
    std::uniform_int_distribution<int> pieces(1, 12), kind(0, 2);
    std::vector<PvtRunPlan> plans(static_cast<std::size_t>(count));
    for (PvtRunPlan& plan : plans) {
        const int n = pieces(gen);
        double entry = 0.0;
        for (int p = 0; p < n; ++p) {
            const double v = speed(gen), exit = p + 1 == n ? 0.0 : v;
            if (kind(gen) == 0) plan.push_back({true, coord(gen), coord(gen), angle(gen), entry, v, exit});
            else plan.push_back({false, coord(gen), coord(gen), coord(gen), entry, v, exit});
            entry = exit;
        }
    }
    return plans;
}

TEST(PvtFiles, MadeOnWorkersAsOneAfterTheOther)
{
    const MachineConfig config = Config();
    const std::vector<PvtRunPlan> plans = RandomPlans(3000, 7);
    PvtFileMaker maker(config, {});
    for (std::size_t i = 0; i < plans.size(); ++i) maker.Submit("TRJ" + std::to_string(i + 1) + ".PVT", plans[i]);
    const std::vector<PvtFile> files = maker.Finish();
    ASSERT_EQ(files.size(), plans.size());
    for (std::size_t i = 0; i < plans.size(); ++i) {
        EXPECT_EQ(files[i].Name, "TRJ" + std::to_string(i + 1) + ".PVT");
        EXPECT_EQ(files[i].Text, PvtRunText(plans[i], config)) << files[i].Name;
    }
}

// A sink is called once per file from the workers; the first refusal ends the handing over.
TEST(PvtFiles, ASinkThatRefusesEndsTheHandingOver)
{
    const MachineConfig config = Config();
    const std::vector<PvtRunPlan> plans = RandomPlans(4000, 9);
    std::mutex mutex;
    std::map<std::string, std::string> taken;
    PvtFileMaker maker(config, [&](const PvtFile& f) {
        std::lock_guard lock(mutex);
        EXPECT_TRUE(taken.emplace(f.Name, f.Text).second) << f.Name << " handed over twice";
        return f.Name != "TRJ1000.PVT";
    });
    std::size_t submitted = 0;
    for (; submitted < plans.size() && !maker.Failed(); ++submitted)
        maker.Submit("TRJ" + std::to_string(submitted + 1) + ".PVT", plans[submitted]);
    const std::vector<PvtFile> files = maker.Finish();
    EXPECT_TRUE(maker.Failed());
    EXPECT_EQ(files.size(), submitted);
    ASSERT_TRUE(taken.count("TRJ1000.PVT"));
    for (const PvtFile& f : files) {
        EXPECT_TRUE(f.Text.empty()) << "the sink took " << f.Name;
        const auto it = taken.find(f.Name);
        if (it == taken.end()) continue;  // dropped after the refusal
        const std::size_t n = std::stoul(f.Name.substr(3));
        EXPECT_EQ(it->second, PvtRunText(plans[n - 1], config)) << f.Name;
    }
}

TEST(PvtFiles, ASinkThatThrowsIsReportedByFinish)
{
    const std::vector<PvtRunPlan> plans = RandomPlans(2000, 11);
    PvtFileMaker maker(Config(), [](const PvtFile& f) -> bool {
        if (f.Name == "TRJ1500.PVT") throw std::runtime_error("disk gone");
        return true;
    });
    for (std::size_t i = 0; i < plans.size(); ++i) maker.Submit("TRJ" + std::to_string(i + 1) + ".PVT", plans[i]);
    EXPECT_THROW(maker.Finish(), std::runtime_error);
}

}  // namespace
}  // namespace mvx
