// The benchmarks' G-code generator: the same program for the same seed, the asked number of
// lines, every kind of block, and programs both conversion paths take without an error.
#include "gcodegen.h"
#include "translator/gcodetext.h"
#include "translator/sctconvert.h"
#include "translator/tclconvert.h"

#include <gtest/gtest.h>

#include <map>
#include <string>

namespace {

using mvx::bench::GenerateGCode;
using mvx::bench::GeneratorOptions;

GeneratorOptions options(long long lines, std::uint64_t seed)
{
    GeneratorOptions o;
    o.Lines = lines;
    o.Seed = seed;
    return o;
}

TEST(GCodeGenerator, SameSeedSameProgram)
{
    EXPECT_EQ(GenerateGCode(options(3000, 5)), GenerateGCode(options(3000, 5)));
    EXPECT_NE(GenerateGCode(options(3000, 5)), GenerateGCode(options(3000, 6)));
    // A longer program starts like a shorter one of the same seed, up to the footer.
    const auto shortProgram = GenerateGCode(options(500, 9));
    const auto longProgram = GenerateGCode(options(800, 9));
    EXPECT_TRUE(std::equal(shortProgram.begin(), shortProgram.end() - 6, longProgram.begin()));
}

TEST(GCodeGenerator, ExactLineCount)
{
    for (long long n : {0LL, 8LL, 9LL, 10LL, 11LL, 1000LL, 12345LL}) EXPECT_EQ(GenerateGCode(options(n, 1)).size(), std::max(n, 8LL)) << n;
}

TEST(GCodeGenerator, CamLikeBlocksThatBothPathsConvert)
{
    const auto lines = GenerateGCode(options(20000, 1));
    std::map<std::string, int> kinds;
    for (const std::string& l : lines) kinds[l.substr(0, l.find(' '))]++;
    for (const char* k : {"G0", "G1", "G2", "G3", "G4", "M8", "M9", "M2"}) EXPECT_GT(kinds[k], 0) << k;
    EXPECT_GT(kinds["G1"], 10000);
    EXPECT_GT(kinds["G2"] + kinds["G3"], 2000);

    const auto normalized = mvx::gtext::NormalizeLoadedLines(lines);
    mvx::MachineConfig config;
    config.GroupName = "MULTI";
    const auto sct = mvx::sct::ConvertSct(normalized, config);
    EXPECT_TRUE(sct.Error.Ok()) << sct.Error.Text << " line " << sct.Error.Line;
    EXPECT_GT(sct.PvtFiles.size(), 10u);
    // Smooth chains: far fewer runs than moves.
    EXPECT_LT(sct.PvtFiles.size(), lines.size() / 20);
    const auto tcl = mvx::tclpath::GCodeToTCL(normalized, config);
    EXPECT_TRUE(tcl.Error.Ok()) << tcl.Error.Text << " line " << tcl.Error.Line;
    EXPECT_GT(tcl.PvtFiles.size(), 10u);
}

}  // namespace
