// The main window's job road against the controller simulator: the upload and STOP, the lines
// kept as they are while a step runs, the PVT check, and the activation's transfer session.
#include "link/controller.h"
#include "tests/support/textfile.h"
#include "tests/support/programfolder.h"

#include "app/dialogs.h"
#include "core/common.h"
#include "core/fileutil.h"
#include "core/inifile.h"
#include "link/transfer.h"
#include "mainwindow/joblink_impl.h"
#include "mainwindow/tfaxes.h"
#include "mainwindow/tfio.h"
#include "mainwindow/tfmain.h"
#include "mainwindow/poll.h"
#include "core/cmdline.h"
#include "translator/texts.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTabWidget>
#include <Qsci/qsciscintilla.h>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <algorithm>
#include <map>
#include <set>

#include <filesystem>
#include <fstream>

using namespace mvx;
using namespace std::chrono_literals;

namespace {

// `runs` PVT runs of two collinear cuts each, parted by dwells: one PVT file per run.
std::string ManyRuns(int runs)
{
    std::string text = "G90\nG0 X0 Y0\n";
    for (int i = 0; i < runs; ++i) {
        const int x = 2 * i;
        text += "G1 X" + std::to_string(x + 1) + " F100\nG1 X" + std::to_string(x + 2) + "\nG4 P0.001\n";
    }
    return text;
}

using mvx::test::ReadAll;

class MainSim : public test::ProgramFolderSimTest {
protected:
    void SetUp() override
    {
        ProgramFolderSimTest::SetUp();
        if (HasFatalFailure()) return;
        for (const char* folder : {"Public/Scripts", "Public/Trajectories"})
            for (const auto& e : std::filesystem::directory_iterator(sim().rootDir() + "/" + folder))
                std::filesystem::remove_all(e.path());
        sim().clearRequestLog();

        mWin = std::make_unique<TFmain>();
        auto* axes = new TFaxes(mWin.get());
        axes->setPositionerSource([] { return std::vector<std::string>{"GROUP1.X", "GROUP1.Y", "GROUP1.Z"}; });
        axes->FormCreate();
        mWin->setHelperWindows(new TFIO(mWin.get()), axes, nullptr, nullptr, nullptr, nullptr, nullptr);
        mWin->setLink(&mLink);
        mWin->setSimulation(false);
        mWin->setGroupShape(false, 3);
        mWin->setOpenDialog([this](const std::string&, const std::string&) { return mChoice; });
    }
    void TearDown() override
    {
        mWin.reset();
        sim().setFtpStoreDelay(0);
        ProgramFolderSimTest::TearDown();
    }
    bool Read(const std::string& name, const std::string& text)
    {
        std::ofstream(mRoot + "GCODE/" + name, std::ios::binary) << text;
        mChoice = mRoot + "GCODE/" + name;
        return mWin->BitBtnReadGcodeClick(true);
    }
    QPushButton* Button(const char* name) { return mWin->findChild<QPushButton*>(name); }
    std::string Status(int panel)
    {
        return mWin->findChild<QLabel*>(QString("StatusPanel%1").arg(panel))->text().toStdString();
    }
    int FilesOnController(const std::string& folder)
    {
        int n = 0;
        std::error_code ec;
        for (const auto& e : std::filesystem::directory_iterator(sim().rootDir() + "/" + folder, ec)) {
            (void)e;
            ++n;
        }
        return n;
    }

    std::string mChoice;
    JobLinkImpl mLink{mvx::link::CurrentController()};
    std::unique_ptr<TFmain> mWin;
};

// STOP during the upload: no further file is sent, nothing can be executed, and the status has
// said which file of how many was on its way. The lines cannot be edited meanwhile.
TEST_F(MainSim, StopEndsTheUploadAtTheNextFile)
{
    const int runs = 60;
    mWin->job().selectMode(2);
    ASSERT_TRUE(Read("runs.nc", ManyRuns(runs)));
    // A controller slow enough to store a file that the user sees every file's turn.
    sim().setFtpStoreDelay(0.02);
    const gcode::LineList lines = mWin->lines();
    std::vector<std::string> statuses;
    bool stopped = false;
    bool lineButtonsOff = true;
    QTimer watch;
    QObject::connect(&watch, &QTimer::timeout, [&] {
        const std::string s = Status(4);
        if (statuses.empty() || statuses.back() != s) statuses.push_back(s);
        if (s.find("(file ") == std::string::npos) return;
        // The user goes to the lines' page and tries to add one.
        mWin->pages()->setCurrentIndex(0);
        for (const char* b : {"BitBtn8", "BitBtn9", "BitBtn10", "BitBtn11"}) lineButtonsOff &= !Button(b)->isEnabled();
        mWin->findChild<QLineEdit*>("Edit2")->setText("G1 X99");
        mWin->BitBtn8Click();
        if (!stopped && s.find("(file 3 of ") != std::string::npos) {
            stopped = true;
            QTest::mouseClick(Button("BitBtn7"), Qt::LeftButton);
        }
    });
    watch.start(1);
    QTest::mouseClick(Button("BitBtnCreateKVXFile"), Qt::LeftButton);
    watch.stop();

    ASSERT_TRUE(stopped) << (statuses.empty() ? "" : statuses.back());
    const int total = runs + 1;
    ASSERT_EQ(mWin->pvtFileCount(), runs);
    EXPECT_NE(std::find(statuses.begin(), statuses.end(),
                        "Loading File \"TRJ1.PVT\" in KVX (file 2 of " + std::to_string(total) + ")"),
              statuses.end());
    // The script and at most the file on its way when STOP came.
    EXPECT_LE(FilesOnController("Public/Trajectories"), 3);
    ASSERT_FALSE(mMessages.empty());
    EXPECT_NE(mMessages.back().find("STOP"), std::string::npos) << mMessages.back();
    EXPECT_FALSE(Button("BitBtnExecuteKVX")->isEnabled());
    EXPECT_FALSE(mWin->job().JobExecute());
    EXPECT_TRUE(Button("BitBtnCreateKVXFile")->isEnabled());
    EXPECT_TRUE(lineButtonsOff);
    EXPECT_EQ(mWin->lines(), lines);
    for (const test::KvxRequest& r : sim().requestLog())
        EXPECT_EQ(r.text.rfind("TCLScriptExecuteAndWait", 0), std::string::npos) << r.text;
    // Afterwards the lines are the user's again.
    mWin->pages()->setCurrentIndex(0);
    EXPECT_TRUE(Button("BitBtn8")->isEnabled());

    // A whole upload, for the count of files it sends.
    sim().setFtpStoreDelay(0);
    mMessages.clear();
    ASSERT_TRUE(mWin->BitBtnCreateKVXFileClick(false)) << (mMessages.empty() ? "" : mMessages.front());
    EXPECT_EQ(FilesOnController("Public/Trajectories"), runs);
    EXPECT_TRUE(Button("BitBtnExecuteKVX")->isEnabled());
}

// A job's upload is one FTP session: each folder is listed once, when the first file goes
// there, and every file costs its upload and rename, nothing more (no folder change, no
// listing, no new session per file). So is a second upload of the same job.
TEST_F(MainSim, UploadIsOneSessionWithEachFolderListedOnce)
{
    const int runs = 40;
    mWin->job().selectMode(2);
    ASSERT_TRUE(Read("runs.nc", ManyRuns(runs)));
    ASSERT_EQ(mWin->pvtFileCount(), 0);
    for (int job = 0; job < 2; ++job) {
        sim().clearFtpLog();
        mMessages.clear();
        if (job == 0)
            ASSERT_TRUE(mWin->BitBtnCreateKVXFileClick(false)) << (mMessages.empty() ? "" : mMessages.front());
        else
            mWin->EnregistertoutClick();
        ASSERT_EQ(mWin->pvtFileCount(), runs);
        EXPECT_TRUE(mMessages.empty()) << mMessages.front();
        EXPECT_EQ(FilesOnController("Public/Trajectories"), runs);
        std::map<std::string, int> count;
        std::set<int> sessions;
        for (const test::KvxFtpCommand& c : sim().ftpLog()) {
            ++count[c.command];
            sessions.insert(c.session);
        }
        EXPECT_EQ(sessions.size(), 1u) << "job " << job;
        EXPECT_EQ(count["USER"], 0) << "job " << job;
        EXPECT_EQ(count["STOR"], runs + 1) << "job " << job;
        EXPECT_EQ(count["RNTO"], runs + 1) << "job " << job;
        // The script's folder and the trajectories' folder.
        EXPECT_LE(count["LIST"], 2) << "job " << job;
        EXPECT_LE(count["CWD"], 4) << "job " << job;
    }
}

// The script the worker wrote is what the TCL view shows, read back from the disk: coloured
// as TCL, with an undo history for its user's edits, and "Save all" writes the edited view.
// The SCT view holds TEST.SCT. A second conversion replaces both documents. Both modes (the
// script path writes its script as it makes it).
TEST_F(MainSim, TheViewsShowTheWrittenFilesAndTheTclViewStaysAnEditor)
{
    auto* tcl = mWin->findChild<QsciScintilla*>("SynEditTCL");
    ASSERT_NE(tcl, nullptr);
    for (int job = 0; job < 4; ++job) {
        const int mode = job < 2 ? 2 : 1;
        if (job % 2 == 0) {
            mWin->job().selectMode(mode);
            ASSERT_TRUE(Read("runs.nc", ManyRuns(6)));
        }
        mMessages.clear();
        ASSERT_TRUE(mWin->BitBtnCreateKVXFileClick(false)) << (mMessages.empty() ? "" : mMessages.front());
        const std::string script = ReadAll(mRoot + "TMP/GCode_Converted.TCL");
        ASSERT_GT(script.size(), 100u) << "job " << job;
        EXPECT_EQ(mWin->tclText(), script) << "job " << job;
        EXPECT_EQ(sim().readFile("Public/Scripts/GCode_Converted.TCL"), script) << "job " << job;
        if (mode == 1) {
            EXPECT_EQ(mWin->sctText(), ReadAll(mRoot + "GCODE/TEST.SCT")) << "job " << job;
        }
        EXPECT_FALSE(std::filesystem::exists(mRoot + "TMP/GCode_Converted.TCL.part~")) << "job " << job;
        EXPECT_EQ(tcl->SendScintilla(QsciScintillaBase::SCI_GETLEXER), QsciScintillaBase::SCLEX_TCL) << "job " << job;
        tcl->SendScintilla(QsciScintillaBase::SCI_COLOURISE, 0UL, -1L);
        // The header's first line is a comment: coloured, not the default style.
        EXPECT_NE(tcl->SendScintilla(QsciScintillaBase::SCI_GETSTYLEAT, 0UL), 0) << "job " << job;
        EXPECT_FALSE(tcl->isUndoAvailable()) << "job " << job;
    }
    tcl->setCursorPosition(0, 0);
    tcl->insert("# edited\n");
    EXPECT_TRUE(tcl->isUndoAvailable());
    const std::string edited = mWin->tclText();
    EXPECT_EQ(edited.rfind("# edited\n", 0), 0u);
    mWin->EnregistertoutClick();
    EXPECT_EQ(ReadAll(mRoot + "TMP/GCode_Converted.TCL"), edited);
    EXPECT_EQ(sim().readFile("Public/Scripts/GCode_Converted.TCL"), edited);
    tcl->undo();
    EXPECT_EQ(mWin->tclText().rfind("# edited", 0), std::string::npos);
}

// The script path writes its script while it converts: the script of the last whole job is
// replaced only by a whole one, a stopped conversion leaves it and no temporary file but shows
// what it made, and a script that cannot be put in its place is still shown whole and named.
TEST_F(MainSim, AScriptWrittenWhileConvertingReplacesTheOldOneOnlyWhenWhole)
{
    // Enough positioning moves for a script of several megabytes.
    std::string program = "G90\n";
    for (int i = 1; i <= 200000; ++i) program += "G0 X" + std::to_string(i % 97) + " Y" + std::to_string(i % 89) + "\n";
    const std::string script = mRoot + "TMP/GCode_Converted.TCL";
    auto withoutDate = [](std::string text) {
        const std::size_t at = text.find("# date : ");
        return at == std::string::npos ? text : text.erase(at, text.find('\n', at) - at);
    };
    mWin->job().selectMode(2);
    ASSERT_TRUE(Read("moves.nc", program));
    ASSERT_TRUE(mWin->BitBtnCreateKVXFileClick(false)) << (mMessages.empty() ? "" : mMessages.front());
    const std::string whole = ReadAll(script);
    ASSERT_GT(whole.size(), std::size_t{8} << 20);
    EXPECT_EQ(mWin->tclText(), whole);

    QTimer::singleShot(30, mWin.get(), [this] { mWin->BitBtn7Click(); });
    EXPECT_FALSE(mWin->BitBtnCreateKVXFileClick(false));
    EXPECT_EQ(ReadAll(script), whole);
    EXPECT_FALSE(std::filesystem::exists(script + ".part~"));
    const std::string partial = mWin->tclText();
    EXPECT_LT(partial.size(), whole.size());
    EXPECT_EQ(partial.rfind("# script GCode_converted.tcl\n", 0), 0u);
    EXPECT_EQ(partial.substr(partial.size() - 20), "return $tcl_argv(0)\n");

    std::filesystem::remove(script);
    ASSERT_TRUE(std::filesystem::create_directory(script));
    mMessages.clear();
    EXPECT_FALSE(mWin->BitBtnCreateKVXFileClick(true));
    ASSERT_FALSE(mMessages.empty());
    EXPECT_NE(mMessages.front().find("GCode_Converted.TCL"), std::string::npos) << mMessages.front();
    EXPECT_EQ(withoutDate(mWin->tclText()), withoutDate(whole));
    EXPECT_FALSE(std::filesystem::exists(script + ".part~"));
    EXPECT_FALSE(Button("BitBtnExecuteKVX")->isEnabled());
    std::filesystem::remove(script);
}

// "&Verify" checks every PVT file over one connection and reads no position meanwhile; the
// poll goes on afterwards.
TEST_F(MainSim, VerifyHoldsOneConnectionAndStopsThePoll)
{
    const int runs = 6;
    mWin->job().selectMode(2);
    ASSERT_TRUE(Read("runs.nc", ManyRuns(runs)));
    ASSERT_TRUE(mWin->BitBtnCreateKVXFileClick(false)) << (mMessages.empty() ? "" : mMessages.front());
    auto* poll = new PositionPoll(*mWin, mvx::link::CurrentController(), mWin.get());
    mWin->setPoll(poll);
    poll->start(5);
    auto positionReads = [] { return requestsOf("GroupPositionCurrentGet").size(); };
    ASSERT_TRUE(QTest::qWaitFor([&] { return positionReads() > 2; }, 5000));
    test::KvxFault slow;
    slow.function = "MultipleAxesPVTVerification";
    slow.kind = "delay";
    slow.delay = 0.05;
    sim().setFault(slow);
    sim().clearRequestLog();
    mMessages.clear();

    EXPECT_TRUE(mWin->BitBtnVerifyPVTClick(false)) << (mMessages.empty() ? "" : mMessages.front());
    const std::vector<test::KvxRequest> log = sim().requestLog();
    std::vector<std::size_t> checks;
    for (std::size_t i = 0; i < log.size(); ++i)
        if (log[i].text.rfind("MultipleAxesPVTVerification(GROUP1,TRJ", 0) == 0) checks.push_back(i);
    ASSERT_EQ(checks.size(), static_cast<std::size_t>(runs));
    for (std::size_t k : checks) EXPECT_EQ(log[k].connection, log[checks[0]].connection) << log[k].text;
    // A reading already on its way may come before the second file; none after it.
    for (std::size_t i = checks[1]; i < checks.back(); ++i)
        EXPECT_NE(log[i].text.rfind("GroupPositionCurrentGet", 0), 0u) << i;
    EXPECT_TRUE(mMessages.empty()) << mMessages.front();
    EXPECT_TRUE(poll->active());
    sim().clearRequestLog();
    EXPECT_TRUE(QTest::qWaitFor([&] { return positionReads() > 0; }, 5000));
    poll->stop();
    ASSERT_TRUE(QTest::qWaitFor([&] { return !poll->tickRunning(); }, 5000));
}

}  // namespace
