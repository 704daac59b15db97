// The script worker against the simulator: answers and their normalisation, failures and the
// kill that follows, refusals, runs that end after their starter stopped waiting.
#include "link/controller.h"
#include "tests/support/simlink.h"
#include "link/scriptexec.h"
#include "core/inifile.h"

#include <QCoreApplication>

using namespace mvx;
using namespace mvx::link;
using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

namespace {

class ScriptExec : public test::SimLinkTest {
protected:
    static std::shared_ptr<ScriptRun> runScript(const std::string& name, const std::string& body,
                                                ScriptRequest rq = {})
    {
        sim().writeFile("Public/Scripts/" + name, body);
        rq.ScriptFile = name;
        if (rq.TaskName.empty()) rq.TaskName = "TASKT";
        if (rq.Arguments.empty()) rq.Arguments = " ";
        auto run = mvx::link::CurrentController().scripts().Start(rq);
        EXPECT_TRUE(WaitScript(*run, neverStop(), 20));
        EXPECT_TRUE(mvx::link::CurrentController().scripts().WaitForWorkers(5000));
        return run;
    }
    static const std::atomic<int>& neverStop()
    {
        static std::atomic<int> zero{0};
        return zero;
    }
};

std::string repeatText(std::size_t n, char c = 'a') { return std::string(n, c); }

TEST_F(ScriptExec, AnswersAreNormalised)
{
    std::string comma254 = repeatText(254) + "," + repeatText(45);
    struct Row {
        const char* name;
        std::string returned;
        std::string expected;
    } rows[] = {
        {"list", "1,2,3", "1,2,3"},
        {"short", "42", "42"},
        {"comma at 255", comma254, repeatText(254)},
        {"cut at 255", repeatText(300, 'b'), repeatText(255, 'b')},
        {"exactly 255", repeatText(255, 'c'), repeatText(255, 'c')},
        {"2000 characters", repeatText(2000, 'd'), repeatText(255, 'd')},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        auto run = runScript("answer.tcl", "return \"" + row.returned + "\"\n");
        const ScriptResult r = run->Snapshot();
        EXPECT_TRUE(r.Finished);
        EXPECT_EQ(r.ErrorCode, 0);
        EXPECT_TRUE(r.ScriptDone);
        EXPECT_EQ(r.ScriptAnswer, row.expected);
        EXPECT_EQ(common().StopRequested.load(), 0);
    }
}

TEST_F(ScriptExec, ArgumentsReachTheScriptAndTheRequestIsExact)
{
    ScriptRequest rq;
    rq.TaskName = "GCODE";
    rq.Arguments = "7 8";
    auto run = runScript("args.tcl", "return \"$tcl_argv(1)+$tcl_argv(2)\"\n", rq);
    EXPECT_EQ(run->Snapshot().ScriptAnswer, "7+8");
    const auto sent = requestsOf("TCLScriptExecuteAndWait");
    ASSERT_EQ(sent.size(), 1u);
    EXPECT_EQ(sent[0].text.substr(0, sent[0].text.find_first_of("\r\n")),
              "TCLScriptExecuteAndWait(args.tcl,GCODE,7 8,char *)");
}

TEST_F(ScriptExec, ScriptErrorGivesCodeOneWithItsTextAndNoKill)
{
    auto run = runScript("fails.tcl", "error \"broken on purpose\"\n");
    const ScriptResult r = run->Snapshot();
    EXPECT_EQ(r.ErrorCode, 1);
    EXPECT_FALSE(r.ScriptDone);
    EXPECT_NE(r.ScriptAnswer.find("broken on purpose"), std::string::npos);
    EXPECT_EQ(common().StopRequested.load(), 1);
    EXPECT_TRUE(requestsOf("TCLScriptKill").empty());
}

TEST_F(ScriptExec, MissingScriptIsKilledOnASecondConnection)
{
    ScriptRequest rq;
    rq.ScriptFile = "nowhere.tcl";
    rq.TaskName = "TASKM";
    rq.Arguments = " ";
    auto run = mvx::link::CurrentController().scripts().Start(rq);
    ASSERT_TRUE(WaitScript(*run, neverStop(), 20));
    const ScriptResult r = run->Snapshot();
    EXPECT_NE(r.ErrorCode, 0);
    EXPECT_NE(r.ErrorCode, 1);
    EXPECT_EQ(r.ScriptAnswer, kBlankAnswer);
    EXPECT_EQ(common().StopRequested.load(), 1);
    ASSERT_TRUE(mvx::link::CurrentController().scripts().WaitForWorkers(5000));
    const auto exec = requestsOf("TCLScriptExecuteAndWait");
    const auto kill = requestsOf("TCLScriptKill");
    ASSERT_EQ(exec.size(), 1u);
    ASSERT_EQ(kill.size(), 1u);
    EXPECT_EQ(kill[0].text.substr(0, kill[0].text.find_first_of("\r\n")), "TCLScriptKill(TASKM)");
    EXPECT_FALSE(CurrentController().apiErrorText(r.ErrorCode).empty());
}

TEST_F(ScriptExec, NoReplyEndsAtTheTimeOutThenKills)
{
    test::KvxFault f;
    f.function = "TCLScriptExecuteAndWait";
    f.kind = "noreply";
    sim().setFault(f);
    sim().writeFile("Public/Scripts/quiet.tcl", "return 0\n");
    ScriptRequest rq;
    rq.ScriptFile = "quiet.tcl";
    rq.TaskName = "TASKN";
    rq.Arguments = " ";
    rq.ReplyTimeoutSeconds = 1.0;
    const auto t0 = Clock::now();
    auto run = mvx::link::CurrentController().scripts().Start(rq);
    ASSERT_TRUE(WaitScript(*run, common().StopRequested, 20));
    EXPECT_LT(Clock::now() - t0, 5s);
    EXPECT_EQ(run->Snapshot().ErrorCode, api::kErrorEmptyReply);
    ASSERT_TRUE(mvx::link::CurrentController().scripts().WaitForWorkers(5000));
    const auto exec = requestsOf("TCLScriptExecuteAndWait");
    const auto kill = requestsOf("TCLScriptKill");
    ASSERT_EQ(exec.size(), 1u);
    ASSERT_EQ(kill.size(), 1u);
    EXPECT_NE(exec[0].connection, kill[0].connection);
    EXPECT_EQ(common().StopRequested.load(), 1);
}

TEST_F(ScriptExec, OverlongRunAnswersSeventyFive)
{
    ScriptRequest rq;
    rq.MaxScriptDelayMs = 50;
    auto run = runScript("slow.tcl", "after 300\nreturn 12\n", rq);
    const ScriptResult r = run->Snapshot();
    EXPECT_EQ(r.ErrorCode, 0);
    EXPECT_TRUE(r.ScriptDone);
    EXPECT_EQ(r.ScriptAnswer, "75");
    EXPECT_GE(r.ElapsedMs, 250);
}

TEST_F(ScriptExec, TextsThatWouldChangeTheRequestAreRefused)
{
    struct Row {
        const char* what;
        std::string file, task, args;
    } rows[] = {
        {"LF in the file", "a.tcl\nKillAll()", "T", " "},
        {"CR in the task", "a.tcl", "T\r", " "},
        {"comma in the task", "a.tcl", "T,U", " "},
        {"comma in the arguments", "a.tcl", "T", "1,2"},
        {"parenthesis in the file", "a).tcl", "T", " "},
        {"empty task", "a.tcl", "", " "},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        ScriptRequest rq;
        rq.ScriptFile = row.file;
        rq.TaskName = row.task;
        rq.Arguments = row.args;
        auto run = mvx::link::CurrentController().scripts().Start(rq);
        const ScriptResult r = run->Snapshot();
        EXPECT_TRUE(r.Refused);
        EXPECT_TRUE(r.Finished);
        EXPECT_FALSE(r.ScriptDone);
    }
    EXPECT_TRUE(mvx::link::CurrentController().scripts().WaitForWorkers(0));
    EXPECT_TRUE(sim().requestLog().empty());
}

TEST_F(ScriptExec, StoppedRunEndingLateKeepsToItsOwnRecord)
{
    sim().writeFile("Public/Scripts/long.tcl", "after 1500\nreturn first\n");
    sim().writeFile("Public/Scripts/next.tcl", "return second\n");
    ScriptRequest first;
    first.ScriptFile = "long.tcl";
    first.TaskName = "GCODE";
    first.Arguments = " ";
    auto run1 = mvx::link::CurrentController().scripts().Start(first);
    std::this_thread::sleep_for(200ms);
    // A second start while the first worker lives is refused.
    ScriptRequest second = first;
    second.ScriptFile = "next.tcl";
    EXPECT_TRUE(mvx::link::CurrentController().scripts().Start(second)->Snapshot().Refused);

    std::atomic<int> stop{1};
    EXPECT_FALSE(WaitScript(*run1, stop, 20));
    EXPECT_TRUE(run1->Abandoned());
    ASSERT_TRUE(mvx::link::CurrentController().scripts().WaitForWorkers(5000));

    common().StopRequested.store(0);
    auto run2 = mvx::link::CurrentController().scripts().Start(second);
    ASSERT_TRUE(WaitScript(*run2, common().StopRequested, 20));
    EXPECT_EQ(run2->Snapshot().ScriptAnswer, "second");
    EXPECT_EQ(run1->Snapshot().ScriptAnswer, "first");
    EXPECT_NE(run1->number(), run2->number());
    EXPECT_EQ(common().StopRequested.load(), 0);
}

TEST_F(ScriptExec, KilledRunAbandonedByItsStarterLeavesTheStopFlagAlone)
{
    sim().writeFile("Public/Scripts/forever.tcl", "after 20000\nreturn 0\n");
    ScriptRequest rq;
    rq.ScriptFile = "forever.tcl";
    rq.TaskName = "GCODE";
    rq.Arguments = " ";
    auto run = mvx::link::CurrentController().scripts().Start(rq);
    std::this_thread::sleep_for(300ms);
    std::atomic<int> stop{1};
    EXPECT_FALSE(WaitScript(*run, stop, 20));
    EXPECT_EQ(sim().apiCall("TCLScriptKill(GCODE)\n").substr(0, 1), "0");
    ASSERT_TRUE(mvx::link::CurrentController().scripts().WaitForWorkers(5000));
    const ScriptResult r = run->Snapshot();
    EXPECT_TRUE(r.Finished);
    EXPECT_NE(r.ErrorCode, 0);
    EXPECT_FALSE(r.ScriptDone);
    EXPECT_EQ(common().StopRequested.load(), 0);
}

TEST_F(ScriptExec, ControllerVanishingMidRunIsAFailure)
{
    sim().writeFile("Public/Scripts/vanish.tcl", "after 3000\nreturn 0\n");
    ScriptRequest rq;
    rq.ScriptFile = "vanish.tcl";
    rq.TaskName = "GCODE";
    rq.Arguments = " ";
    rq.ReplyTimeoutSeconds = 5.0;
    const auto t0 = Clock::now();
    auto run = mvx::link::CurrentController().scripts().Start(rq);
    std::this_thread::sleep_for(300ms);
    sim().controlRaw("{\"cmd\": \"reboot\"}");
    ASSERT_TRUE(WaitScript(*run, common().StopRequested, 20));
    EXPECT_LT(Clock::now() - t0, 8s);
    EXPECT_NE(run->Snapshot().ErrorCode, 0);
    EXPECT_FALSE(run->Snapshot().ScriptDone);
    ASSERT_TRUE(mvx::link::CurrentController().scripts().WaitForWorkers(5000));
    ASSERT_TRUE(sim().waitForApi(10000ms));
    // The pool's connections died with the reboot: open them again for the next tests.
    link::CurrentController().closePool();
    ASSERT_TRUE(link::CurrentController().openPool());
}

TEST_F(ScriptExec, DebugRunsTheBodyOnTheGuiThread)
{
    common().Debug.store(true);
    sim().writeFile("Public/Scripts/dbg.tcl", "return dbg\n");
    ScriptRequest rq;
    rq.ScriptFile = "dbg.tcl";
    rq.TaskName = "TASKD";
    rq.Arguments = " ";
    auto run = mvx::link::CurrentController().scripts().Start(rq);
    // The body waits for the GUI thread: only the dispatching wait lets it run.
    ASSERT_TRUE(WaitScript(*run, common().StopRequested, 20));
    EXPECT_EQ(run->Snapshot().ScriptAnswer, "dbg");
    common().Debug.store(false);
    ASSERT_TRUE(mvx::link::CurrentController().scripts().WaitForWorkers(5000));
}

TEST_F(ScriptExec, MaxDelayComesFromTheSettingsFile)
{
    IniFile* ini = SettingsIni();
    ASSERT_NE(ini, nullptr);
    ini->deleteKey("TCL", "MAX DELAY");
    common().MaxDelayMs.store(1234);
    EXPECT_EQ(ReadMaxScriptDelay(), 1234);
    ASSERT_TRUE(ini->writeInteger("TCL", "MAX DELAY", 50));
    EXPECT_EQ(ReadMaxScriptDelay(), 50);
    EXPECT_EQ(common().MaxDelayMs.load(), 50);
    ini->deleteKey("TCL", "MAX DELAY");
    common().MaxDelayMs.store(kDefaultMaxScriptDelayMs);
}

TEST(ScriptApiPathRules, WholePrefixOnly)
{
    struct Row {
        const char* remote;
        const char* expected;
    } rows[] = {
        {"/Public/Scripts/Tests", "Tests/Move.tcl"},
        {"/Public/Scripts", "Move.tcl"},
        {"/Public/Scripts/", "Move.tcl"},
        {"./anything", "Move.tcl"},
        {"", "Move.tcl"},
        {"/Public/Scripts2/Tests", "/Public/Scripts2/Tests/Move.tcl"},
        {"/Other/Public/Scripts", "/Other/Public/Scripts/Move.tcl"},
        {"/Public/Scripts/A/B", "A/B/Move.tcl"},
    };
    for (const Row& row : rows)
        EXPECT_EQ(ScriptApiPath(row.remote, "/Public/Scripts", '/', "Move.tcl"), row.expected) << row.remote;
    EXPECT_EQ(ScriptApiPath("\\Public\\Scripts\\T", "\\Public\\Scripts", '\\', "a.tcl"), "T\\a.tcl");
}

TEST(ScriptAnswerRules, NormalisationTable)
{
    struct Row {
        std::string in;
        int code, elapsed, maxDelay;
        std::string out;
    } rows[] = {
        {"1,2,3", 0, 10, 100, "1,2,3"},
        {std::string(254, 'x') + "," + "yz", 0, 10, 100, std::string(254, 'x')},
        {std::string(300, 'x'), 1, 10, 100, std::string(300, 'x')},
        {"anything", 0, 101, 100, "75"},
        {"anything", -2, 101, 100, "75"},
        {std::string(5000, 'q'), 1, 0, 100, std::string(1023, 'q')},
        {std::string("ab\0cd", 5), 0, 0, 100, "ab"},
    };
    for (const Row& r : rows) EXPECT_EQ(NormaliseScriptAnswer(r.in, r.code, r.elapsed, r.maxDelay), r.out);
}

}  // namespace
