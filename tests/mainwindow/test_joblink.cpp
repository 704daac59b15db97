// The job road's link against the simulator: uploads, initialisation, the script run from the
// job's worker thread, STOP during a run, and the refusals without a transfer session.
#include "link/controller.h"
#include "tests/support/simlink.h"
#include "app/dialogs.h"
#include "link/transfer.h"
#include "mainwindow/joblink_impl.h"
#include "app/livewait.h"
#include "link/scriptexec.h"

#include <QTimer>

#include <filesystem>
#include <fstream>
#include <set>
#include <thread>

using namespace mvx;
using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

namespace {

class JobLinkSim : public test::SimLinkTest {
protected:
    void SetUp() override
    {
        SimLinkTest::SetUp();
        SetMessageBoxHandler([this](const std::string& text, std::uint16_t) {
            mMessages.push_back(text);
            return std::uint16_t(1);
        });
    }
    void TearDown() override
    {
        SetMessageBoxHandler({});
        mvx::link::CurrentController().scripts().WaitForWorkers(5000);
        SimLinkTest::TearDown();
    }
    static std::string localDir()
    {
        const std::string dir = common().ProgramDir + "TMP/";
        std::filesystem::create_directories(dir);
        return dir;
    }
    static void writeLocal(const std::string& name, const std::string& content)
    {
        std::ofstream(localDir() + name, std::ios::binary) << content;
    }
    std::string execute(JobLinkImpl& link, const std::string& file, std::function<void()> during = {})
    {
        std::string answer;
        if (during) QTimer::singleShot(300, during);
        RunInWorker([&] { answer = link.ExecuteScript(file, "GCODE", " ", common().StopRequested).Answer; }, {}, 200);
        return answer;
    }
    std::vector<std::string> mMessages;
};

TEST_F(JobLinkSim, UploadsLandByteForByte)
{
    ASSERT_TRUE(link::CurrentController().connectTransfer(false));
    const std::string script = "set a 1\r\nreturn 0\n\xe9\n";
    const std::string pvt = "0.1000 1.000000 10.000000 2.000000 20.000000\n";
    writeLocal("GCode_Converted.TCL", script);
    writeLocal("TRJ1.PVT", pvt);
    JobLinkImpl link{mvx::link::CurrentController()};
    std::string err;
    EXPECT_TRUE(link.PutScript(localDir(), "GCode_Converted.TCL", err)) << err;
    EXPECT_EQ(link.PutTrajectories(localDir(), 1, [](std::size_t) { return std::string("TRJ1.PVT"); }, {}, err), 1u) << err;
    EXPECT_EQ(sim().readFile("Public/Scripts/GCode_Converted.TCL"), script);
    EXPECT_EQ(sim().readFile("Public/Trajectories/TRJ1.PVT"), pvt);
}

// A job's PVT files go as one series: each is asked for before it goes, in order, from one
// thread that is not the window's; a refusal stops the series without an error, a file that
// cannot be sent stops it with one, and the files before it are on the controller.
TEST_F(JobLinkSim, TrajectoriesGoAsOneSeriesThatStopsWhenAsked)
{
    ASSERT_TRUE(link::CurrentController().connectTransfer(false));
    std::vector<std::string> names;
    for (int i = 1; i <= 6; ++i) {
        names.push_back("TRJ" + std::to_string(i) + ".PVT");
        writeLocal(names.back(), "0.1000 " + std::to_string(i) + ".000000 0.000000 0.000000 0.000000\n");
    }
    JobLinkImpl link{mvx::link::CurrentController()};
    std::string err;
    std::vector<std::size_t> asked;
    std::set<std::thread::id> threads;
    const auto name = [&](std::size_t i) { return names[i]; };
    EXPECT_EQ(link.PutTrajectories(localDir(), names.size(), name, [&](std::size_t i) {
        asked.push_back(i);
        threads.insert(std::this_thread::get_id());
        return i < 4;
    }, err), 4u);
    EXPECT_TRUE(err.empty()) << err;
    EXPECT_EQ(asked, (std::vector<std::size_t>{0, 1, 2, 3, 4}));
    ASSERT_EQ(threads.size(), 1u);
    EXPECT_NE(*threads.begin(), std::this_thread::get_id());
    for (int i = 1; i <= 6; ++i)
        EXPECT_EQ(sim().fileExists("Public/Trajectories/TRJ" + std::to_string(i) + ".PVT"), i <= 4) << i;
    EXPECT_EQ(sim().readFile("Public/Trajectories/TRJ3.PVT"), "0.1000 3.000000 0.000000 0.000000 0.000000\n");

    // The third file is missing here: two arrive, and the error names the third.
    std::filesystem::remove(localDir() + names[2]);
    EXPECT_EQ(link.PutTrajectories(localDir(), names.size(), name, {}, err), 2u);
    EXPECT_NE(err.find("TRJ3.PVT"), std::string::npos) << err;
    EXPECT_TRUE(mMessages.empty());
}

TEST_F(JobLinkSim, UploadWithoutTransferIsAFailureWithoutDialog)
{
    const int saved = common().TransferMode.load();
    common().TransferMode.store(TransferLocal);
    JobLinkImpl link{mvx::link::CurrentController()};
    std::string err;
    writeLocal("x.TCL", "return 0\n");
    EXPECT_FALSE(link.PutScript(localDir(), "x.TCL", err));
    EXPECT_FALSE(err.empty());
    EXPECT_TRUE(mMessages.empty());
    common().TransferMode.store(saved);
}

TEST_F(JobLinkSim, InitKillsInitialisesAndHomesOverOneConnection)
{
    JobLinkImpl link{mvx::link::CurrentController()};
    std::string step;
    // A slow kill is within the init's time-out.
    test::KvxFault slow;
    slow.function = "KillAll";
    slow.kind = "delay";
    slow.delay = 2.0;
    sim().setFault(slow);
    EXPECT_EQ(link.InitialiseGroup("GROUP1", step), 0);
    EXPECT_EQ(sim().groupStatus("GROUP1"), 11);
    const auto log = sim().requestLog();
    ASSERT_EQ(log.size(), 3u);
    EXPECT_EQ(log[0].text, "KillAll()\n\r");
    EXPECT_EQ(log[1].text, "GroupInitialize(GROUP1)\n\r");
    EXPECT_EQ(log[2].text, "GroupHomeSearch(GROUP1)\n\r");
    EXPECT_EQ(log[1].connection, log[0].connection);
    EXPECT_EQ(log[2].connection, log[0].connection);
    sim().clearFaults();

    // A group the controller does not know: its code, the call that failed, and the controller's
    // text for it; nothing is sent after the failed call.
    sim().clearRequestLog();
    const int code = link.InitialiseGroup("NOGROUP", step);
    EXPECT_NE(code, 0);
    EXPECT_EQ(step, "GroupInitialize");
    EXPECT_EQ(requestNames({"KillAll", "GroupInitialize", "GroupHomeSearch"}),
              (std::vector<std::string>{"KillAll", "GroupInitialize"}));
    EXPECT_FALSE(link.ErrorString(code).empty());
}

TEST_F(JobLinkSim, PvtVerificationGivesTheControllersVerdict)
{
    sim().writeFile("Public/Trajectories/TRJ1.PVT", "1.0 1.000000 0.000000 1.000000 0.000000 0.000000 0.000000\n");
    sim().writeFile("Public/Trajectories/TRJ2.PVT", "1.0 -5000.000000 0.000000 0.000000 0.000000 0.000000 0.000000\n");
    JobLinkImpl link{mvx::link::CurrentController()};
    EXPECT_EQ(link.MultipleAxesPVTVerification("GROUP1", "TRJ1.PVT"), 0);
    EXPECT_NE(link.MultipleAxesPVTVerification("GROUP1", "TRJ2.PVT"), 0);
    EXPECT_NE(link.MultipleAxesPVTVerification("GROUP1", "TRJ9.PVT"), 0);
}

TEST_F(JobLinkSim, ScriptRunsFromTheJobWorker)
{
    sim().writeFile("Public/Scripts/ok.tcl", "return 0\n");
    sim().writeFile("Public/Scripts/bad.tcl", "error \"no way\"\n");
    JobLinkImpl link{mvx::link::CurrentController()};
    EXPECT_EQ(execute(link, "ok.tcl"), "0");
    EXPECT_EQ(common().StopRequested.load(), 0);
    common().StopRequested.store(0);
    EXPECT_NE(execute(link, "bad.tcl").find("no way"), std::string::npos);
    EXPECT_EQ(common().StopRequested.load(), 1);
    common().StopRequested.store(0);
    // No such script: the code comes back as the answer, so it is reported with its text.
    const std::string missing = execute(link, "missing.tcl");
    EXPECT_EQ(missing, std::to_string(link.lastRun()->Snapshot().ErrorCode));
    EXPECT_NE(missing, "0");
}

TEST_F(JobLinkSim, StopDuringARunKillsAndEndsTheWait)
{
    sim().writeFile("Public/Scripts/long.tcl", "after 20000\nreturn 0\n");
    JobLinkImpl link{mvx::link::CurrentController()};
    const auto t0 = Clock::now();
    const std::string answer = execute(link, "long.tcl", [&] {
        common().StopRequested.store(1);
        link.KillAll();
    });
    EXPECT_LT(Clock::now() - t0, 3s);
    EXPECT_NE(answer, "0");
    ASSERT_TRUE(mvx::link::CurrentController().scripts().WaitForWorkers(5000));
    EXPECT_FALSE(link.lastRun()->Snapshot().ScriptDone);
    EXPECT_EQ(requestsOf("KillAll").size(), 1u);
    EXPECT_GE(requestsOf("TCLScriptKill(GCODE)").size(), 1u);
    EXPECT_TRUE(sim().runningTasks().empty());
}

}  // namespace
