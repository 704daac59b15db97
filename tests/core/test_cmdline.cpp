// The command line: the file, the mode words in their order, the numeric options.
#include "core/cmdline.h"

#include <gtest/gtest.h>

using namespace mvx;

TEST(CommandLine, ModeWordsFirstHitWins)
{
    struct Row {
        std::vector<std::string> args;
        int mode;
    } rows[] = {
        {{"part.nc"}, 0},          {{"part.nc", "/x"}, 3},    {{"part.nc", "tcl/s"}, 2},
        {{"part.nc", "/S"}, 1},    {{"part.nc", "x/2"}, 2},   {{"part.nc", "kvx", "sct"}, 1},
        {{"part.nc", "/3"}, 3},    {{"part.nc", "/V", "/T"}, 2},
    };
    for (const Row& r : rows) EXPECT_EQ(ParseCommandLine(r.args).CommandMode, r.mode) << r.args.back();
}

TEST(CommandLine, FileTailAndFlags)
{
    const CommandLine cl = ParseCommandLine({"PART.NC", "/v", "/t", "v=12.5"});
    EXPECT_TRUE(cl.HasArguments);
    EXPECT_EQ(cl.CommandFile, "part.nc");
    EXPECT_EQ(cl.CommandTail, "/V /T V=12.5 ");
    EXPECT_FALSE(cl.CloseAfterBatch);
    EXPECT_FALSE(cl.QuietMode);

    const CommandLine quiet = ParseCommandLine({"a.nc", "/H", "/e/r"});
    EXPECT_TRUE(quiet.CloseAfterBatch);
    EXPECT_TRUE(quiet.QuietMode);
    EXPECT_TRUE(quiet.Extend);
    EXPECT_TRUE(quiet.Reduce);
    EXPECT_FALSE(quiet.HiddenServer);

    EXPECT_FALSE(ParseCommandLine({}).HasArguments);
}

TEST(CommandLine, HiddenServerOnlyFromAnOptionWord)
{
    EXPECT_FALSE(ParseCommandLine({"hole.nc"}).HiddenServer);
    EXPECT_TRUE(ParseCommandLine({"part.nc", "hide"}).HiddenServer);
}

TEST(CommandLine, NumericOptions)
{
    struct Row {
        const char* tail;
        int option;  // index in kNumericOptions
        OptionStatus status;
        double value;
    } rows[] = {
        {"V=12.5 /H ", 0, OptionStatus::Valid, 12.5},
        {"V=20MM ", 0, OptionStatus::Valid, 20},
        {"V=ABC ", 0, OptionStatus::Invalid, 0},
        {"V=0 ", 0, OptionStatus::Invalid, 0},      // a speed of 0 would divide by zero later
        {"V=-5 ", 0, OptionStatus::Invalid, 0},
        {"V= 5 ", 0, OptionStatus::Invalid, 0},
        {"/T ", 0, OptionStatus::Absent, 0},
        {"A=250 U=3.5 ", 1, OptionStatus::Valid, 250},
        {"A=250 U=3.5 ", 2, OptionStatus::Valid, 3.5},
        {"S=0.01 ", 3, OptionStatus::Valid, 0.01},
        {"D=0 ", 4, OptionStatus::Valid, 0},
        {"D=-1 ", 4, OptionStatus::Invalid, 0},
        {"D=1E400 ", 4, OptionStatus::Invalid, 0},
    };
    for (const Row& r : rows) {
        const OptionValue v = ReadOptionValue(r.tail, kNumericOptions[r.option]);
        EXPECT_EQ(v.status, r.status) << r.tail;
        if (r.status == OptionStatus::Valid) {
            EXPECT_EQ(v.value, r.value) << r.tail;
        }
    }
}
