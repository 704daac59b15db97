// The remote-control commands on the real main window (simulation): what each step allows.
#include "mainwindow_fixture.h"

#include "app/batchrun.h"
#include "app/cmdline.h"
#include "mainwindow/remoteserver.h"

#include <QAction>
#include <QSpinBox>

#include <QTabWidget>

namespace mvx::test {
namespace {

using RemoteJobTest = MainWindowTest;

TEST_F(RemoteJobTest, CommandsFollowTheWindowState)
{
    WriteFile(Gcode("part1.nc"), ReadFile(MVX_SAMPLE));
    RemoteServer server(*mWin);
    struct Row {
        const char* command;
        const char* reply;
    };
    const Row rows[] = {
        {"EXECUTE", "EXECUTE FAILED"},  // nothing read yet
        {"CREATE", "CREATE FAILED"},
        {"READ part 1.nc", "READ DONE"},  // PART1.NC, found as part1.nc
        {"MODE 3", "MODE FAILED"},         // simulation: SCT instead
        {"MODE 2", "MODE DONE"},
        {"CREATE", "CREATE DONE"},
        {"EXECUTE", "EXECUTE FAILED"},  // simulation
        {"VERIFY", "VERIFY FAILED"},
        {"INIT", "INIT FAILED"},
        {"DRAW part1.nc", "DRAW FAILED"},  // read and converted, but nothing executes
        {"3D", "3D FAILED"},               // the 3D page is hidden
        {"STOP", "STOP DONE"},
        {"HELLO", "HELLO NOT DONE"},
    };
    for (const Row& r : rows) EXPECT_EQ(server.runCommand(r.command), r.reply) << r.command;
    EXPECT_EQ(mWin->mode(), 2);
    EXPECT_FALSE(mWin->tclText().empty());
    EXPECT_TRUE(mMessages.empty()) << mMessages.front();
}

TEST_F(RemoteJobTest, HiddenServerArgumentHidesTheWindowAndServesAtEveryTick)
{
    CommandLine cl = ParseCommandLine({"part.nc", "hide"});
    ASSERT_TRUE(cl.HiddenServer);
    mWin->setBatchRunner(std::make_unique<BatchRunner>(cl));
    std::vector<std::pair<bool, int>> calls;
    mWin->setServerHook([&](bool on, int port) { calls.emplace_back(on, port); });
    mWin->action("ServeurTCPIP1")->setChecked(false);
    mWin->show();
    calls.clear();
    for (int tick = 0; tick < 3; ++tick) mWin->PollHiddenServerStep();
    EXPECT_FALSE(mWin->isVisible());
    EXPECT_TRUE(mWin->action("ServeurTCPIP1")->isChecked());
    ASSERT_EQ(calls.size(), 1u);  // activated once, not at every tick
    EXPECT_EQ(calls[0], (std::pair<bool, int>{true, 8000}));
    // The poll reads the lamps of the output setup.
    mIo->outputEdit(3)->setValue(7);
    EXPECT_EQ(mWin->PollConfiguration().Lamps[3].Bit, 7);
    EXPECT_TRUE(mWin->PollSimulation());
}

}  // namespace
}  // namespace mvx::test
