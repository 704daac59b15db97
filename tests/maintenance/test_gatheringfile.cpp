// Reading gathering files: period, column names, values, scaling, the reference layout, XY pairs
// and the per-column settings.
#include "maintenance/gatheringfile.h"

#include "core/inifile.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <cmath>
#include <fstream>
#include <iterator>

using namespace mvx;
using namespace mvx::maint;

namespace {

struct NamesCase {
    const char* line;
    bool tabsOnly;
    std::vector<std::string> names;
};

TEST(GatheringFile, ColumnNames)
{
    const NamesCase rows[] = {
        {"A B C", false, {"A", "B", "C"}},
        {"G1.X.SetpointPosition\tG1.X.CurrentPosition\t", false, {"G1.X.SetpointPosition", "G1.X.CurrentPosition"}},
        {"Name one\tName two", false, {"Name one", "Name two"}},
        {"A B", true, {"A B"}},
        {"", false, {}},
    };
    for (const NamesCase& r : rows) EXPECT_EQ(SplitColumnNames(r.line, r.tabsOnly), r.names) << r.line;
}

TEST(GatheringFile, SampleValuesStayInTheirColumns)
{
    struct Row {
        const char* line;
        std::vector<double> values;  // NaN: missing
    };
    const double nan = std::nan("");
    const Row rows[] = {
        {"1.5\t-2\t3e-3\t", {1.5, -2, 0.003}},
        {"1 2 3", {1, 2, 3}},
        {"1\tabc\t3", {1, nan, 3}},
        {"1.5x\t2\t3", {1.5, 2, 3}},
        {"7", {7, nan, nan}},
        {"", {nan, nan, nan}},
    };
    for (const Row& r : rows) {
        const std::vector<double> got = ReadSampleValues(r.line, 3);
        ASSERT_EQ(got.size(), 3u);
        for (std::size_t j = 0; j < 3; ++j) {
            if (std::isnan(r.values[j]))
                EXPECT_TRUE(std::isnan(got[j])) << r.line << " column " << j;
            else
                EXPECT_DOUBLE_EQ(got[j], r.values[j]) << r.line << " column " << j;
        }
    }
}

TEST(GatheringFile, WholeFileDropsEmptyLinesAndKeepsEighteenColumns)
{
    std::string names, row;
    for (int j = 1; j <= 20; ++j) {
        names += "C" + std::to_string(j) + "\t";
        row += std::to_string(j) + "\t";
    }
    const std::string text = "0.001 extra words\r\n\r\n" + names + "\r\n" + row + "\r\n\r\n" + row + "\n";
    const GatheringData d = ParseGathering(text);
    EXPECT_DOUBLE_EQ(d.period, 0.001);
    EXPECT_TRUE(d.periodValid);
    EXPECT_FALSE(d.periodWhole);
    ASSERT_EQ(d.names.size(), 18u);
    EXPECT_EQ(d.names.back(), "C18");
    ASSERT_EQ(d.samples.size(), 2u);
    EXPECT_DOUBLE_EQ(d.samples[1][17], 18.0);
}

TEST(GatheringFile, ShortAndBrokenFilesReadWithoutData)
{
    struct Row {
        const char* text;
        bool periodValid;
        std::size_t columns, samples;
    };
    const Row rows[] = {
        {"", false, 0, 0},
        {"0.01", true, 0, 0},
        {"0.01\r\nA\tB", true, 2, 0},
        {"abc\r\nA\tB\r\n1\t2", false, 2, 1},
        {"0\r\nA\r\n1", false, 1, 1},
        {"0.00001\r\nA\r\n1", false, 1, 1},
    };
    for (const Row& r : rows) {
        const GatheringData d = ParseGathering(r.text);
        EXPECT_EQ(d.periodValid, r.periodValid) << r.text;
        EXPECT_EQ(d.names.size(), r.columns) << r.text;
        EXPECT_EQ(d.samples.size(), r.samples) << r.text;
    }
}

TEST(GatheringFile, SeriesNamesAndTitles)
{
    EXPECT_EQ(SeriesNameOf("G1.X Setpoint.Position"), "G1_X_Setpoint_Position");
    ColumnRecord r;
    r.name = "G1.X";
    EXPECT_EQ(r.title(), "G1.X");
    r.multiplier = 2.0;
    r.offset = 1.0;
    EXPECT_EQ(r.title(), "G1.X(x2)");
    EXPECT_DOUBLE_EQ(r.scaled(3.0), 7.0);
    r.multiplier = 1.0 / 3.0;
    EXPECT_EQ(r.title(), "G1.X(x0.3333)");
}

TEST(GatheringFile, ColumnRecordsRoundTripThroughTheSettings)
{
    QTemporaryDir dir;
    IniFile ini(dir.filePath("s.ini").toStdString());
    ColumnRecord defaults = ReadColumnRecord(ini, "G1.X", true);
    EXPECT_DOUBLE_EQ(defaults.multiplier, 1.0);
    EXPECT_TRUE(defaults.visible && defaults.spectrum && defaults.autoScale);
    EXPECT_DOUBLE_EQ(defaults.minimum, -100.0);

    ColumnRecord r{"G1.X", 2.5, -1.0, false, false, false, -3.0, 4.5};
    ASSERT_TRUE(WriteColumnRecord(ini, r));
    const ColumnRecord back = ReadColumnRecord(ini, "g1.x", true);
    EXPECT_DOUBLE_EQ(back.multiplier, 2.5);
    EXPECT_DOUBLE_EQ(back.offset, -1.0);
    EXPECT_FALSE(back.visible || back.spectrum || back.autoScale);
    EXPECT_DOUBLE_EQ(back.maximum, 4.5);

    // Without the axis keys the base's axis stays.
    ColumnRecord base;
    base.minimum = -7.0;
    EXPECT_DOUBLE_EQ(ReadColumnRecord(ini, "G1.X", false, base).minimum, -7.0);
}

TEST(GatheringFile, AColumnRecordIsItsSevenKeysInTheColumnsSectionInOrder)
{
    QTemporaryDir dir;
    const std::string path = dir.filePath("s.ini").toStdString();
    IniFile ini(path);
    ASSERT_TRUE(WriteColumnRecord(ini, ColumnRecord{"G1.X", 2.5, -1.0, false, true, false, -3.0, 4.5}));
    std::ifstream in(path, std::ios::binary);
    const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    EXPECT_EQ(text, "[G1.X]\r\nMULTI=2.5\r\nOFFSET=-1\r\nVISIBLE=0\r\nFFT=1\r\nAUTO=0\r\nMIN=-3\r\nMAX=4.5\r\n");
}

TEST(GatheringFile, XYPairsColumnOneAcrossColumnTwoScaled)
{
    const GatheringData d = ParseGathering("0.01\nX\tY\n1\t10\n2\tbad\n3\t30\n");
    ColumnRecord x{"X", 2.0, 1.0}, y{"Y", 1.0, 0.0};
    const std::vector<XYPoint> pts = XYPairs(d, x, y);
    ASSERT_EQ(pts.size(), 2u);
    EXPECT_DOUBLE_EQ(pts[0].x, 3.0);
    EXPECT_DOUBLE_EQ(pts[0].y, 10.0);
    EXPECT_DOUBLE_EQ(pts[1].x, 7.0);
    EXPECT_DOUBLE_EQ(pts[1].y, 30.0);
    EXPECT_TRUE(XYPairs(ParseGathering("0.01\nX\n1\n"), x, y).empty());
}

}  // namespace
