// The PVT file checker: the cubic of a segment, the table of a file, and the window over the
// output folder.
#include "mainwindow/pvtchecker.h"

#include "app/dialogs.h"

#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <cmath>

using namespace mvx;

namespace {

enum Col { DT, DX, VX, DY, VY, DZ, VZ, T, X, Y, Z, AX, BX, CX, AY, BY, CY, AZ, BZ, CZ, ACCX, ACCY, ACCZ, VCURV };

struct CubicRow {
    double dt, ve, disp, vs;
};

TEST(PvtCubic, MeetsItsFourConditions)
{
    const CubicRow rows[] = {{0.05, 5, 0.125, 0}, {1.95, 5, 9.75, 5}, {0.05, 0, 0.125, 5},
                             {0.3, -2, 0.1, 1.5}, {2.0, 0, 0, 0},    {0.0004, 0, 0.00001, 0}};
    for (const CubicRow& r : rows) {
        const CubicSegment c = SolveCubicSegment(r.dt, r.ve, r.disp, r.vs, 7.0);
        const double p = c.A * r.dt * r.dt * r.dt + c.B * r.dt * r.dt + c.C * r.dt;
        const double v = 3 * c.A * r.dt * r.dt + 2 * c.B * r.dt + c.C;
        EXPECT_NEAR(p, r.disp, 1e-9) << r.dt;
        EXPECT_NEAR(v, r.ve, 1e-9) << r.dt;
        EXPECT_DOUBLE_EQ(c.C, r.vs);
        EXPECT_DOUBLE_EQ(c.D, 7.0);
    }
}

TEST(PvtCheck, TrapezoidRunGivesItsAccelerations)
{
    // 10 mm at 5 mm/s with acceleration 100, rest to rest.
    const PvtCheckTable t = CheckPvtText("0.050000 0.125000 5.000000 0.000000 0.000000 0.000000 0.000000\n"
                                         "1.950000 9.750000 5.000000 0.000000 0.000000 0.000000 0.000000\n"
                                         "0.050000 0.125000 0.000000 0.000000 0.000000 0.000000 0.000000\n");
    ASSERT_TRUE(t.Error.empty()) << t.Error;
    ASSERT_EQ(t.Rows.size(), 3u);
    EXPECT_NEAR(t.Rows[0][ACCX], 100.0, 1e-9);
    EXPECT_NEAR(t.Rows[1][ACCX], 0.0, 1e-9);
    EXPECT_NEAR(t.Rows[2][ACCX], 100.0, 1e-9);
    EXPECT_NEAR(t.Rows[1][CX], 5.0, 1e-12);  // start speed of the cruise = end speed of the first row
    EXPECT_NEAR(t.Rows[2][T], 2.05, 1e-12);
    EXPECT_NEAR(t.Rows[2][X], 10.0, 1e-12);
    EXPECT_NEAR(t.Rows[0][VCURV], 5.0, 1e-12);
    EXPECT_NEAR(t.Rows[2][VCURV], 0.0, 1e-12);
    EXPECT_EQ(t.Rows[0][ACCY], 0.0);
}

TEST(PvtCheck, FirstRowStartsAtRestAndSpeedsChain)
{
    const PvtCheckTable t = CheckPvtText("0.1 0.2 3 0.1 4 0 0\n0.1 0.3 3 0.4 4 0 0\n");
    ASSERT_EQ(t.Rows.size(), 2u);
    EXPECT_EQ(t.Rows[0][CX], 0.0);
    EXPECT_EQ(t.Rows[0][CY], 0.0);
    EXPECT_EQ(t.Rows[1][CX], 3.0);
    EXPECT_EQ(t.Rows[1][CY], 4.0);
    EXPECT_NEAR(t.Rows[0][VCURV], 5.0, 1e-12);
}

TEST(PvtCheck, ZeroDurationGivesUndefinedCoefficientsAndReadingGoesOn)
{
    const PvtCheckTable t = CheckPvtText("0 0.1 1 0 0 0 0\n0.5 0.25 0 0 0 0 0\n");
    ASSERT_TRUE(t.Error.empty());
    ASSERT_EQ(t.Rows.size(), 2u);
    EXPECT_FALSE(std::isfinite(t.Rows[0][AX]));
    EXPECT_TRUE(std::isfinite(t.Rows[1][AX]));
}

TEST(PvtCheck, GroupWithoutZReadsFiveNumbersARow)
{
    const PvtCheckTable t = CheckPvtText("0.05 0.125 5 0.25 10\n0.05 0.125 0 0.25 0\n");
    ASSERT_TRUE(t.Error.empty()) << t.Error;
    ASSERT_EQ(t.Rows.size(), 2u);
    EXPECT_EQ(t.Rows[1][DT], 0.05);
    EXPECT_EQ(t.Rows[1][DY], 0.25);
    EXPECT_EQ(t.Rows[1][DZ], 0.0);
    EXPECT_NEAR(t.Rows[1][Y], 0.5, 1e-12);
    EXPECT_NEAR(t.Rows[0][ACCY], 200.0, 1e-9);
}

struct BadRow {
    const char* text;
    std::size_t rowsKept;
    int line;
};

TEST(PvtCheck, ATextThatIsNotARowStopsTheReadingKeepingEarlierRows)
{
    const BadRow rows[] = {
        {"0.1 1 0 1 0 0 0\nabc 1 0 1 0 0 0\n0.1 1 0 1 0 0 0\n", 1, 2},
        {"0.1 1 0 1 0 0 0\n0.1 1,5 0 1 0 0 0\n", 1, 2},
        {";PVT X=1\n0.1 1 0 1 0 0 0\n", 0, 1},
        {"0.1 1 0 1 0 0\n", 0, 1},
    };
    for (const BadRow& r : rows) {
        const PvtCheckTable t = CheckPvtText(r.text);
        EXPECT_FALSE(t.Error.empty()) << r.text;
        EXPECT_EQ(t.Rows.size(), r.rowsKept) << r.text;
        EXPECT_EQ(t.ErrorLine, r.line) << r.text;
    }
}

TEST(PvtCheck, BlankLinesAndLineEndsMakeNoRows)
{
    EXPECT_TRUE(CheckPvtText("").Rows.empty());
    const PvtCheckTable t = CheckPvtText("\r\n0.1 1 0 1 0 0 0\r\n\r\n  \n");
    EXPECT_TRUE(t.Error.empty()) << t.Error;
    EXPECT_EQ(t.Rows.size(), 1u);
}

class PvtWindow : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(dir.isValid());
        SetMessageBoxHandler([this](const std::string& text, std::uint16_t) {
            messages.push_back(text);
            return std::uint16_t(MrOk);
        });
    }
    void TearDown() override { SetMessageBoxHandler({}); }
    void write(const char* name, const char* text)
    {
        QFile f(dir.filePath(name));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(text);
    }
    QTemporaryDir dir;
    int digits = 4;
    std::vector<std::string> messages;
    TFcontrolPVT win{[this] { return dir.path().toStdString() + "/"; }, [this] { return digits; }};
};

TEST_F(PvtWindow, EmptyOutputFolderGivesEmptyListAndNoRows)
{
    win.FormShow();
    EXPECT_EQ(win.comboBox()->count(), 0);
    EXPECT_EQ(win.model()->rowCount(), 0);
    EXPECT_EQ(win.model()->columnCount(), 24);
    EXPECT_EQ(win.model()->headerData(23, Qt::Horizontal, Qt::DisplayRole).toString(), "V curv");
    EXPECT_EQ(win.windowTitle(), "PVT Files Controls");
}

TEST_F(PvtWindow, ListsPvtFilesAndTabulatesTheChosenOne)
{
    write("TRJ1.PVT", "0.050000 0.125000 5.000000 0.000000 0.000000 0.000000 0.000000\n");
    write("TRJ2.PVT", "0.1 1 0 1 0 0 0\n0.1 1 0 1 0 0 0\n");
    write("GCode_Converted.TCL", "x");
    win.FormShow();
    ASSERT_EQ(win.comboBox()->count(), 2);
    EXPECT_EQ(win.comboBox()->itemText(0), "TRJ1.PVT");
    win.ComboBox1Change(0);
    ASSERT_EQ(win.model()->rowCount(), 1);
    EXPECT_EQ(win.model()->cellText(0, 20), "100.0000");
    EXPECT_EQ(win.model()->cellText(0, 0), "0.0500");
    digits = 2;
    win.ComboBox1Change(1);
    EXPECT_EQ(win.model()->rowCount(), 2);
    EXPECT_EQ(win.model()->cellText(1, 8), "2.00");
    EXPECT_TRUE(messages.empty());

    // A file gone since the list was made: nothing happens.
    ASSERT_TRUE(QFile::remove(dir.filePath("TRJ1.PVT")));
    win.ComboBox1Change(0);
    EXPECT_EQ(win.model()->rowCount(), 2);
}

TEST_F(PvtWindow, BadNumberIsReportedAndEarlierRowsStay)
{
    write("TRJ1.PVT", "0.1 1 0 1 0 0 0\n0.1 x 0 1 0 0 0\n");
    win.FormShow();
    win.ComboBox1Change(0);
    EXPECT_EQ(win.model()->rowCount(), 1);
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_NE(messages[0].find("line 2"), std::string::npos) << messages[0];
}

}  // namespace
