// The job road without a window: a plain core application (no widget can exist there) and a
// view that records what the road shows. The buttons' handlers, the remote-control server and
// the command-line batch drive the same road.
#include "mainwindow/gcodelistmodel.h"
#include "mainwindow/jobroad.h"
#include "app/livewait.h"
#include "mainwindow/remoteserver.h"

#include "app/batchrun.h"
#include "core/cmdline.h"
#include "core/common.h"
#include "app/dialogs.h"
#include "core/inifile.h"

#include <QCoreApplication>
#include <QDir>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <fstream>
#include <map>

namespace mvx {
namespace {

const char* const kPart =
    "G90\n"
    "G0 X5 Y5 Z0\n"
    "G1 X15 Y5 F300\n"
    "G1 X15 Y15\n"
    "G0 X2 Y3 Z0\n";

class RecordingView : public JobView {
public:
    std::map<JobItem, bool> items;
    std::map<int, std::string> panels;
    std::vector<std::string> statusLog;
    std::vector<std::string> messages;
    std::map<JobTextView, std::string> texts;
    std::vector<std::string> pvtFiles;
    std::string fileName;
    std::string chosenFile;
    JobPage page = JobPage::Gcode;
    int modeShown = 0;
    bool closed = false;
    bool reduced = false;

    void JobItemEnabled(JobItem item, bool on) override { items[item] = on; }
    void JobStatusText(int panel, const std::string& text) override
    {
        panels[panel] = text;
        if (panel == 4 && !text.empty()) statusLog.push_back(text);
    }
    void JobMessage(const std::string& text) override { messages.push_back(text); }
    bool JobConfirm(const std::string& text) override
    {
        messages.push_back(text);
        return false;
    }
    std::string JobChooseFile(bool, const std::string&, const std::string&) override { return chosenFile; }
    JobPage JobCurrentPage() const override { return page; }
    void JobShowPage(JobPage p) override { page = p; }
    bool JobPageOnScreen(JobPage p) const override { return p == page; }
    void JobSetText(JobTextView view, const std::string& text) override { texts[view] = text; }
    void JobClearText(JobTextView view) override { texts[view].clear(); }
    std::string JobViewText(JobTextView view) const override
    {
        const auto it = texts.find(view);
        return it == texts.end() ? std::string() : it->second;
    }
    void JobPvtFiles(gcode::LineList names) override { pvtFiles.assign(names.begin(), names.end()); }
    void JobFileName(const std::string& name) override { fileName = name; }
    int JobCurrentLine() const override { return -1; }
    void JobFollowLine(int) override {}
    void JobShowLine(int, const std::string&) override {}
    void JobGroupSelection(bool) override {}
    void JobModeShown(int mode) override { modeShown = mode; }
    void JobSctCommandOffered(bool) override {}
    void JobMachineSetup(MachineConfig& config) const override { config.GroupName = "GROUP1"; }
    std::optional<bool> JobPvtParameters(const std::string&) override { return std::nullopt; }
    std::string JobRunLive(const std::function<void()>& work, const std::function<void()>& tick, int tickMs) override
    {
        return RunInWorker(work, tick, tickMs);
    }
    void JobLetEventsRun() override {}
    bool JobWindow(JobWindowCommand) override { return false; }
    void JobReduceLayout() override { reduced = true; }
    void JobCloseProgram() override { closed = true; }
};

class JobRoadTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(mDir.isValid());
        mRoot = mDir.path().toStdString() + "/";
        InitCommonGlobals(mRoot, "movantrix");
        common().StopRequested = 0;
        QDir().mkpath(QString::fromStdString(mRoot + "GCODE"));
        std::ofstream(mRoot + "GCODE/part.nc", std::ios::binary) << kPart;
        SetMessageBoxHandler([this](const std::string& text, std::uint16_t) -> std::uint16_t {
            mBoxes.push_back(text);
            return MrOk;
        });
        mRoad = std::make_unique<JobRoad>(mView);
        mRoad->readSettings();
        mRoad->setSimulation(true);
    }
    void TearDown() override
    {
        mRoad.reset();
        SetMessageBoxHandler({});
    }

    QTemporaryDir mDir;
    std::string mRoot;
    RecordingView mView;
    std::unique_ptr<JobRoad> mRoad;
    std::vector<std::string> mBoxes;
};

TEST_F(JobRoadTest, TheButtonsHandlersReadAndConvertThroughTheView)
{
    mView.chosenFile = mRoot + "GCODE/part.nc";
    mRoad->applyMode(2, false);
    EXPECT_EQ(mView.modeShown, 2);
    ASSERT_TRUE(mRoad->BitBtnReadGcodeClick(true));
    EXPECT_EQ(mView.fileName, "part.nc");
    EXPECT_EQ(mRoad->lines().size(), 5u);
    EXPECT_EQ(mRoad->model()->rowCount(), 5);
    EXPECT_TRUE(mView.items[JobItem::Create]);
    EXPECT_FALSE(mView.items[JobItem::Execute]);  // simulation

    ASSERT_TRUE(mRoad->BitBtnCreateKVXFileClick(true));
    EXPECT_NE(mView.texts[JobTextView::Tcl].find("# Gcode : part.nc"), std::string::npos);
    EXPECT_EQ(mView.pvtFiles, std::vector<std::string>{"TRJ1.PVT"});
    EXPECT_EQ(mView.page, JobPage::Tcl);
    EXPECT_EQ(mView.panels[0], "5 lines");
    // In simulation nothing executes and nothing is checked.
    EXPECT_FALSE(mView.items[JobItem::Execute]);
    EXPECT_FALSE(mView.items[JobItem::Verify]);
    EXPECT_TRUE(mView.items[JobItem::SaveAll]);
    EXPECT_TRUE(mView.messages.empty());
}

// A conversion reads the line list itself; an edit made afterwards changes the list but not the
// lines a conversion was given.
TEST_F(JobRoadTest, TheLinesAConversionReadsStayAsTheyWereWhenTheListIsEdited)
{
    mView.chosenFile = mRoot + "GCODE/part.nc";
    ASSERT_TRUE(mRoad->BitBtnReadGcodeClick(true));
    GCodeListModel& model = *mRoad->model();
    const std::shared_ptr<const gcode::LineList> given = model.shared();
    EXPECT_EQ(given.get(), &model.lines());
    const gcode::LineList before = *given;
    mRoad->ModifyLine(1, "G0 X1 Y1 Z0");
    mRoad->InsertLine(0, "G91");
    mRoad->DeleteLine(3);
    mRoad->AddLine("M30");
    EXPECT_EQ(*given, before);
    EXPECT_EQ(model.lines(), (std::vector<std::string>{"G91", "G90", "G0 X1 Y1 Z0", "G1 X15 Y15", "G0 X2 Y3 Z0", "M30"}));
    EXPECT_EQ(model.rowCount(), 6);
    // With nobody else holding them the list is changed in place.
    const gcode::LineList* own = &model.lines();
    mRoad->ModifyLine(0, "G90");
    EXPECT_EQ(&model.lines(), own);
}

TEST_F(JobRoadTest, RemoteControlDrivesTheSameRoad)
{
    RemoteServer server(*mRoad);
    EXPECT_EQ(server.runCommand("CREATE"), "CREATE FAILED");  // nothing read yet
    EXPECT_EQ(server.runCommand("READ part.nc"), "READ DONE");
    EXPECT_EQ(server.runCommand("MODE 2"), "MODE DONE");
    EXPECT_EQ(server.runCommand("CREATE"), "CREATE DONE");
    EXPECT_EQ(server.runCommand("EXECUTE"), "EXECUTE FAILED");  // simulation
    EXPECT_EQ(server.runCommand("EXTEND"), "EXTEND FAILED");    // the view refused it
    EXPECT_EQ(mRoad->mode(), 2);
    EXPECT_FALSE(mView.texts[JobTextView::Tcl].empty());
    EXPECT_TRUE(mView.messages.empty());
    EXPECT_TRUE(mBoxes.empty());
}

TEST_F(JobRoadTest, TheBatchRunsTheRoadAndFailuresStayOutOfBoxes)
{
    mRoad->setBatchRunner(std::make_unique<BatchRunner>(ParseCommandLine({"part.nc", "/T", "/V"})));
    mRoad->activated();
    EXPECT_TRUE(mRoad->gcodeLoaded());
    EXPECT_FALSE(mView.texts[JobTextView::Tcl].empty());
    EXPECT_EQ(mRoad->exitStatus(), static_cast<int>(BatchExit::NoController));
    EXPECT_FALSE(mView.closed);  // "/V" keeps the program open

    // A file the road refuses: said on the status panel, never in a box of the road.
    std::ofstream(mRoot + "GCODE/empty.nc", std::ios::binary) << "";
    JobRoad other(mView);
    other.readSettings();
    other.setSimulation(true);
    other.setBatchRunner(std::make_unique<BatchRunner>(ParseCommandLine({"empty.nc", "/T"})));
    mView.messages.clear();
    other.activated();
    EXPECT_EQ(other.exitStatus(), static_cast<int>(BatchExit::ReadFailed));
    EXPECT_TRUE(mView.messages.empty());
    ASSERT_FALSE(mView.statusLog.empty());
    EXPECT_NE(mView.statusLog.back().find("empty.nc"), std::string::npos) << mView.statusLog.back();
    EXPECT_TRUE(mView.closed);
}

}  // namespace
}  // namespace mvx

int main(int argc, char** argv)
{
    // No GUI application: a widget made by the road would end the test at once.
    QCoreApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
