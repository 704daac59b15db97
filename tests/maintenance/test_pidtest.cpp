// The PID step test: its log file, the field checks, and a whole test with gathering against the
// simulator.
#include "link/controller.h"
#include "tests/support/textfile.h"
#include "datacontext.h"
#include "maintenance/page_pidtest.h"
#include "maintenance/pidtestlog.h"

#include "app/dialogs.h"
#include "link/transfer.h"
#include "link/workers.h"
#include "tests/support/simlink.h"

#include <QComboBox>
#include <QLineEdit>
#include <QLineSeries>
#include <QRadioButton>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

using namespace mvx;
using namespace mvx::maint;

namespace {

using mvx::test::ReadAll;

TEST(PidTestLog, ScientificNotation)
{
    const std::pair<double, const char*> rows[] = {
        {-0.0015, " -1.50000000000000E-003"},
        {0.0, "  0.00000000000000E+000"},
        {123456.0, "  1.23456000000000E+005"},
        {9.999999999999999, "  1.00000000000000E+001"},
    };
    for (const auto& [v, text] : rows) EXPECT_EQ(ScientificText(v), text) << v;
}

TEST(PidTestLog, PointsAndPeriods)
{
    EXPECT_EQ(PidTestPoints(1.2, 0.05), std::optional<long long>(25));
    EXPECT_EQ(PidTestPoints(250, 0.05), std::optional<long long>(5001));
    EXPECT_EQ(PidTestPoints(1.0, 0.0), std::nullopt);
    EXPECT_EQ(PidTestPoints(1.0, -0.1), std::nullopt);

    const auto samples = PidSamplesFromGathering("0.05 other text\r\nA B C\r\n1 2 3\r\n4 5 6\r\n", 0.1);
    ASSERT_EQ(samples.size(), 2u);
    EXPECT_DOUBLE_EQ(samples[1].x, 0.05);
    EXPECT_DOUBLE_EQ(samples[1].error, 6.0);
    double period = 0;
    EXPECT_EQ(PidSamplesFromGathering("0\r\nA\r\n1 2 3\r\n4 5 6\r\n", 0.1, &period)[1].x, 0.1);
    EXPECT_TRUE(PidSamplesFromGathering("0.05\r\nA B C\r\n", 0.1).empty());
}

TEST(PidTestLog, WriteThenReadBack)
{
    PidTestLog log{"GROUP3.T", "0.5", "0.05", "1", "1.2", "2", "10/12/2026 13:00:00", {}};
    for (int i = 1; i <= 24; ++i) log.samples.push_back({i * 0.05, i * 0.1, i * 0.1 - 0.001, -0.001 * i});
    const std::string text = FormatPidTestLog(log);
    EXPECT_EQ(text.substr(0, 24), "AXIS NAME : GROUP3.T\r\nST");
    EXPECT_NE(text.find("\r\nNB MEASURES : 24\r\n\r\n0.050000 0.100000 0.099000  -1.00000000000000E-003\r\n"),
              std::string::npos);
    const std::optional<PidLogRead> back = ParsePidTestLog(text);
    ASSERT_TRUE(back);
    EXPECT_TRUE(back->complete);
    EXPECT_EQ(back->log.axis, "GROUP3.T");
    EXPECT_EQ(back->log.length, "2");
    ASSERT_EQ(back->log.samples.size(), 24u);
    EXPECT_DOUBLE_EQ(back->log.samples[23].error, -0.024);

    // A broken sample ends the reading there.
    std::string broken = text;
    broken.replace(broken.find("0.150000"), 8, "garbage!");
    const auto partial = ParsePidTestLog(broken);
    ASSERT_TRUE(partial);
    EXPECT_FALSE(partial->complete);
    EXPECT_EQ(partial->log.samples.size(), 2u);
    EXPECT_FALSE(ParsePidTestLog("AXIS NAME : X\r\n"));
}

class PidTestPageTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        SetMessageBoxHandler([this](const std::string& text, std::uint16_t) {
            messages.push_back(text);
            return std::uint16_t(1);
        });
    }
    void TearDown() override { SetMessageBoxHandler({}); }
    QTemporaryDir dir;
    test::DataContext ctx{dir.filePath("s.ini").toStdString()};
    std::vector<std::string> messages;
};

TEST_F(PidTestPageTest, FieldChecksSendNothing)
{
    PidTestPage page(ctx, nullptr);
    ctx.positioners = {"GROUP3.T"};
    page.TSAdjPIDShow();
    struct Row {
        const char* duration;
        const char* period;
        const char* speed;
        const char* message;
    };
    const Row rows[] = {{"abc", "0.05", "1", "valeur de durée incorrecte"},
                        {"1.2", "0", "1", "période incorrecte"},
                        {"1.2", "0.00001", "1", "période incorrecte"},
                        {"250", "0.05", "1", "Trop de mesures(>4000 )"},
                        {"1.2", "0.05", "x", "Vitesse incorrecte"}};
    for (const Row& r : rows) {
        ctx.lines.clear();
        page.durationEdit()->setText(QString::fromUtf8(r.duration));
        page.periodEdit()->setText(QString::fromUtf8(r.period));
        page.speedEdit()->setText(QString::fromUtf8(r.speed));
        EXPECT_FALSE(page.BitBtn2Click());
        ASSERT_EQ(ctx.lines.size(), 1) << r.message;
        EXPECT_EQ(ctx.lines[0], QString::fromUtf8(r.message));
    }
}

TEST_F(PidTestPageTest, DependentFieldsAndSettingsOnLeaving)
{
    PidTestPage page(ctx, nullptr);
    page.lengthEdit()->setText("2");
    page.speedEdit()->setText("0.5");
    page.periodEdit()->setText("0.05");
    page.Edit_lenghtChange();
    EXPECT_EQ(page.durationEdit()->text(), "4");
    EXPECT_EQ(page.pointsEdit()->text(), "80");
    page.speedEdit()->setText("0");
    page.Edit_lenghtChange();  // no division by zero: the fields stay
    EXPECT_EQ(page.durationEdit()->text(), "4");

    page.startEdit()->setText("1.5");
    page.periodEdit()->setText("bad");
    page.TSAdjPIDExit();
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_NE(messages[0].find("bad est incorrect pour la période"), std::string::npos);
    EXPECT_DOUBLE_EQ(ctx.settings().readFloat("TESTPID", "START_POSITION", 0), 1.5);
    EXPECT_FALSE(ctx.settings().valueExists("TESTPID", "PERIOD"));
    EXPECT_DOUBLE_EQ(ctx.settings().readFloat("TESTPID", "DURATION", 0), 4.0);  // saved after the bad field
}

TEST_F(PidTestPageTest, LoadedLogSavesTheSameSamples)
{
    PidTestLog log{"GROUP3.T", "0", "0.05", "1", "1.2", "1", "stamp", {}};
    for (int i = 0; i < 7; ++i) log.samples.push_back({i * 0.05, i * 1.0, i * 1.0, 0.0});
    const std::string in = dir.filePath("in.MES").toStdString();
    std::ofstream(in, std::ios::binary) << FormatPidTestLog(log);
    PidTestPage page(ctx, nullptr);
    ASSERT_TRUE(page.loadLog(in));
    EXPECT_EQ(page.series(2)->count(), 7);
    EXPECT_EQ(page.series(10)->count(), 6);
    EXPECT_DOUBLE_EQ(page.series(10)->at(0).y(), 20.0);  // (1 - 0) / 0.05
    EXPECT_EQ(ctx.lines.size(), 10);
    const std::string out = dir.filePath("out.MES").toStdString();
    ASSERT_TRUE(page.saveLog(out));
    const auto again = ParsePidTestLog(ReadAll(out));
    ASSERT_TRUE(again);
    EXPECT_EQ(again->log.samples.size(), 7u);
}

class PidTestSim : public test::SimLinkTest {
protected:
    void SetUp() override
    {
        SimLinkTest::SetUp();
        SetMessageBoxHandler([](const std::string&, std::uint16_t) { return std::uint16_t(1); });
    }
    void TearDown() override
    {
        SetMessageBoxHandler({});
        link::CurrentController().joinWorkers(true);
        SimLinkTest::TearDown();
    }
    QTemporaryDir dir;
    test::DataContext ctx{dir.filePath("s.ini").toStdString()};
};

TEST_F(PidTestSim, SimpleStepWithGathering)
{
    // The simulated Q firmware keeps its gathering files in Public/Gathering.
    link::CurrentController().transfer().GatheringFolderFlag = true;
    ASSERT_TRUE(link::CurrentController().connectTransfer(true));
    sim().setGroupStatus("GROUP3", 12);
    ctx.positioners = {"GROUP3.T"};
    PidTestPage page(ctx, nullptr);
    page.TSAdjPIDShow();
    EXPECT_EQ(ctx.readingGroup, "GROUP3.T");
    page.startEdit()->setText("0");
    page.durationEdit()->setText("1.2");
    page.periodEdit()->setText("0.05");
    page.speedEdit()->setText("2");
    page.lengthEdit()->setText("1");
    ASSERT_TRUE(page.BitBtn2Click()) << ctx.lines.join("\n").toStdString();

    const auto events = requestsOf("EventAdd(");
    ASSERT_EQ(events.size(), 1u);
    EXPECT_NE(events[0].text.find("GatheringRun"), std::string::npos);
    EXPECT_NE(events[0].text.find("25"), std::string::npos);
    EXPECT_NE(events[0].text.find("400"), std::string::npos);
    EXPECT_EQ(requestsOf("GatheringConfigurationSet(").size(), 1u);
    EXPECT_EQ(requestsOf("GatheringStopAndSave(").size(), 1u);
    EXPECT_GT(page.series(2)->count(), 1);
    EXPECT_EQ(page.series(10)->count(), page.series(2)->count() - 1);
    EXPECT_GT(ctx.lines.size(), 2);  // the downloaded file in the log pane

    const std::string out = dir.filePath("t.MES").toStdString();
    ASSERT_TRUE(page.saveLog(out));
    const auto saved = ParsePidTestLog(ReadAll(out));
    ASSERT_TRUE(saved);
    EXPECT_EQ(saved->log.samples.size(), static_cast<std::size_t>(page.series(2)->count() - 1));
}

TEST_F(PidTestSim, ControllerErrorStopsTheTest)
{
    ASSERT_TRUE(link::CurrentController().connectTransfer(true));
    ctx.positioners = {"NOGROUP.T"};
    PidTestPage page(ctx, nullptr);
    page.TSAdjPIDShow();
    EXPECT_FALSE(page.BitBtn2Click());
    EXPECT_FALSE(ctx.lines.isEmpty());
    EXPECT_TRUE(requestsOf("EventAdd(").empty());
}

}  // namespace

namespace {

TEST_F(PidTestSim, ComplexModeRunsTheTrajectoryAndStillSavesTheGathering)
{
    link::CurrentController().transfer().GatheringFolderFlag = true;
    ASSERT_TRUE(link::CurrentController().connectTransfer(true));
    sim().setGroupStatus("GROUP3", 12);
    ctx.positioners = {"GROUP3.T"};
    PidTestPage page(ctx, nullptr);
    page.TSAdjPIDShow();
    page.complexButton()->setChecked(true);
    page.pvtEdit()->setText("MISSING.KVX");
    page.durationEdit()->setText("0.5");
    page.periodEdit()->setText("0.05");
    page.speedEdit()->setText("2");
    ASSERT_TRUE(page.BitBtn2Click()) << ctx.lines.join("\n").toStdString();
    const auto pvt = requestsOf("MultipleAxesPVTExecution(");
    ASSERT_EQ(pvt.size(), 1u);
    EXPECT_NE(pvt[0].text.find("GROUP3,MISSING.KVX"), std::string::npos) << pvt[0].text;
    EXPECT_TRUE(requestsOf("GroupMoveRelative(").empty());
    EXPECT_EQ(requestsOf("GatheringStopAndSave(").size(), 1u);
}

}  // namespace
