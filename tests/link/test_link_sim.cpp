// The link against the controller simulator over loopback: request bytes on the wire, replies
// in pieces, late and missing replies, closed connections, the pool under parallel use, and the
// motion workers.
#include "golden_requests.h"
#include "recording_reporter.h"
#include "link/api.h"
#include "link/apiwire.h"
#include "link/controller.h"
#include "link/controllerconfig.h"
#include "link/linktexts.h"
#include "link/scriptexec.h"
#include "link/socketpool.h"
#include "link/transfer.h"
#include "link/workers.h"
#include "core/common.h"
#include "tests/support/kvxsim_fixture.h"
#include "tests/support/simlink.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QEventLoop>
#include <QMetaObject>
#include <QTimer>

#include <atomic>
#include <stdexcept>
#include <chrono>
#include <fstream>
#include <thread>

using namespace mvx;
using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

namespace {

// The windows' way of waiting: the work on a helper thread, events dispatched meanwhile.
void installLiveWaiter()
{
    mvx::link::SetLiveWaiter([](const std::function<void()>& work) {
        QEventLoop loop;
        std::thread helper([&] {
            work();
            QMetaObject::invokeMethod(&loop, [&loop] { loop.quit(); }, Qt::QueuedConnection);
        });
        loop.exec();
        helper.join();
    });
}

class LinkSim : public test::SimLinkTest {
protected:
    void SetUp() override
    {
        SimLinkTest::SetUp();
        // A connection whose reply is late is freed at once: the tests here watch the pool itself.
        link::SetDrainLimitForTests(0);
    }

    // Every entry free again (drains finished).
    static void waitAllFree() { settle(); }

    // The last request the simulator logged after `since`.
    static std::string lastRequest(std::size_t since)
    {
        const auto log = sim().requestLog(since);
        return log.empty() ? std::string() : log.back().text;
    }
};

TEST_F(LinkSim, EveryCalledFunctionSendsItsExactBytes)
{
    const test::GoldenRequest* reboot = nullptr;
    for (const auto& g : test::goldenRequests()) {
        if (g.function == "Reboot") {
            reboot = &g;
            continue;
        }
        sim().clearRequestLog();
        const int k = link::GetSocket(5);
        ASSERT_GE(k, 0);
        const int rc = g.typed(k);
        link::ReleaseSocket(k);
        EXPECT_NE(rc, -2) << g.function << " got no reply";
        EXPECT_EQ(lastRequest(0), g.expected + "\n\r") << g.function;
    }
    ASSERT_NE(reboot, nullptr);
    sim().clearRequestLog();
    const int k = link::GetSocket(5);
    reboot->typed(k);
    link::ReleaseSocket(k);
    EXPECT_EQ(lastRequest(0), "Reboot ()\n\r");
    // The controller drops every connection while it restarts; each one comes back at its next call.
    std::this_thread::sleep_for(std::chrono::milliseconds(static_cast<int>(sim().options().rebootSeconds * 1000) + 200));
    ASSERT_TRUE(sim().waitForApi(10s));
    waitAllFree();
    for (int i = 0; i < 32; ++i) {
        const int s = link::GetSocket(5);
        int status = 0;
        EXPECT_EQ(api::GroupStatusGet(s, "GROUP1", status), 0) << "connection " << s;
        // Keep it taken so the next take moves on to another connection.
    }
    link::MarkAllSocketsFree();
}

TEST_F(LinkSim, TypedGettersReadTheControllersValues)
{
    const int k = link::GetSocket(5);
    ASSERT_GE(k, 0);
    sim().setPositions("GROUP1", {1.5, -2.25, 3});
    std::array<double, 3> p{9, 9, 9};
    ASSERT_EQ(api::GroupPositionCurrentGet(k, "GROUP1", p), 0);
    EXPECT_DOUBLE_EQ(p[0], 1.5);
    EXPECT_DOUBLE_EQ(p[1], -2.25);
    EXPECT_DOUBLE_EQ(p[2], 3);

    ASSERT_EQ(api::DoubleGlobalArraySet(k, 7, 0.1 + 0.2), 0);
    double d = 0;
    ASSERT_EQ(api::DoubleGlobalArrayGet(k, 7, d), 0);
    EXPECT_NEAR(d, 0.3, 1e-12);

    std::string text;
    EXPECT_EQ(api::ErrorStringGet(k, 0, text), 0);
    EXPECT_FALSE(text.empty());
    std::string version;
    EXPECT_EQ(api::FirmwareVersionGet(k, version), 0);
    EXPECT_NE(version.find("Q"), std::string::npos) << version;

    int status = -1;
    sim().setGroupStatus("GROUP2", 12);
    EXPECT_EQ(api::GroupStatusGet(k, "GROUP2", status), 0);
    EXPECT_EQ(status, 12);
    link::ReleaseSocket(k);
}

TEST_F(LinkSim, AReplyInSeveralPiecesIsJoined)
{
    const std::string whole = sim().apiCall("FirmwareVersionGet (char *)\n\r");
    const std::size_t api = whole.find("API");
    ASSERT_NE(api, std::string::npos);
    test::KvxFault f;
    f.function = "FirmwareVersionGet";
    f.kind = "split";
    f.splitAt = {3, static_cast<int>(api) + 1};  // "API" itself is cut in two
    f.gap = 0.1;
    sim().setFault(f);
    const int k = link::GetSocket(5);
    std::string version;
    EXPECT_EQ(api::FirmwareVersionGet(k, version), 0);
    EXPECT_EQ(version, link::ReplyField(whole, 2));
    EXPECT_FALSE(link::RequestPending(k));
    link::ReleaseSocket(k);
    EXPECT_TRUE(link::EntryFree(k));
}

TEST_F(LinkSim, ALateReplyIsDrainedAndTheNextCallerGetsItsOwnAnswer)
{
    common().MinSocketTimeout.store(0.1);
    const int k = link::GetSocket(0.2);
    ASSERT_GE(k, 0);
    ASSERT_EQ(api::DoubleGlobalArraySet(k, 1, 111), 0);
    ASSERT_EQ(api::DoubleGlobalArraySet(k, 2, 222), 0);

    test::KvxFault f;
    f.function = "DoubleGlobalArrayGet";
    f.kind = "late";
    f.delay = 0.6;
    f.count = 1;
    sim().setFault(f);
    double v = -1;
    EXPECT_EQ(api::DoubleGlobalArrayGet(k, 1, v), -2);  // gave up at 0.2 s
    EXPECT_EQ(v, -1);
    EXPECT_TRUE(link::RequestPending(k));
    link::ReleaseSocket(k);
    EXPECT_TRUE(link::EntryDraining(k));
    EXPECT_FALSE(link::EntryFree(k));

    // While it drains, nobody is handed that connection.
    std::vector<int> taken;
    for (int i = 0; i < 31; ++i) taken.push_back(link::TakeSocket(0.2));
    for (int t : taken) EXPECT_NE(t, k);
    EXPECT_EQ(link::TakeSocket(0.2), -1);
    for (int t : taken) link::ReleaseSocket(t);

    const auto end = Clock::now() + 5s;
    while (!link::EntryFree(k) && Clock::now() < end) std::this_thread::sleep_for(10ms);
    ASSERT_TRUE(link::EntryFree(k));

    // Same connection again (the only one left free once the others are taken).
    for (int i = 0; i < 31; ++i) taken[i] = link::TakeSocket(2);
    const int again = link::TakeSocket(2);
    EXPECT_EQ(again, k);
    double w = 0;
    EXPECT_EQ(api::DoubleGlobalArrayGet(again, 2, w), 0);
    EXPECT_EQ(w, 222);  // its own answer, not the late one for index 1
    link::ReleaseSocket(again);
    for (int t : taken) link::ReleaseSocket(t);
}

TEST_F(LinkSim, ANoReplyDrainGivesUpReconnectsAndTheConnectionWorksAgain)
{
    common().MinSocketTimeout.store(0.1);
    link::SetDrainLimitForTests(300);
    test::KvxFault f;
    f.function = "GroupStatusGet";
    f.kind = "noreply";
    f.count = 1;
    sim().setFault(f);
    const int k = link::GetSocket(0.2);
    int status = -5;
    const auto t0 = Clock::now();
    EXPECT_EQ(api::GroupStatusGet(k, "GROUP1", status), -2);
    EXPECT_LT(Clock::now() - t0, 1s);
    link::ReleaseSocket(k);
    const auto end = Clock::now() + 5s;
    while (!link::EntryFree(k) && Clock::now() < end) std::this_thread::sleep_for(10ms);
    ASSERT_TRUE(link::EntryFree(k));
    sim().setGroupStatus("GROUP1", 11);
    EXPECT_EQ(api::GroupStatusGet(k, "GROUP1", status), 0);
    EXPECT_EQ(status, 11);
}

TEST_F(LinkSim, AClosedConnectionFailsFastAndIsReopened)
{
    test::KvxFault f;
    f.function = "GroupStatusGet";
    f.kind = "close";
    f.count = 1;
    sim().setFault(f);
    const int k = link::GetSocket(5);
    int status = -5;
    const auto t0 = Clock::now();
    EXPECT_EQ(api::GroupStatusGet(k, "GROUP1", status), -2);
    EXPECT_LT(Clock::now() - t0, 2s);  // the peer closing ends the wait, not the 5 s time-out
    link::ReleaseSocket(k);
    EXPECT_TRUE(link::EntryFree(k));  // nothing to drain on a dead connection
    const int again = link::GetSocket(5);
    sim().setGroupStatus("GROUP1", 12);
    EXPECT_EQ(api::GroupStatusGet(again, "GROUP1", status), 0);
    EXPECT_EQ(status, 12);
    link::ReleaseSocket(again);
}

TEST_F(LinkSim, BytesLeftOnAConnectionAreDiscardedBeforeTheNextRequest)
{
    // Straight on the wire, without the pool's drain: the late answer is already waiting
    // when the next request goes out, and must not be taken for its reply.
    const int k = link::SocketOpen(sim().address(), test::KvxSim::kApiPort, 0.1);
    ASSERT_GE(k, 0);
    test::KvxFault f;
    f.function = "DoubleGlobalArrayGet";
    f.kind = "late";
    f.delay = 0.3;
    f.count = 1;
    link::SocketSetTimeout(k, 2);
    ASSERT_EQ(api::DoubleGlobalArraySet(k, 3, 33), 0);
    ASSERT_EQ(api::DoubleGlobalArraySet(k, 4, 44), 0);
    sim().setFault(f);
    link::SocketSetTimeout(k, 0.1);
    EXPECT_EQ(link::SendCommand(k, "DoubleGlobalArrayGet(3, double *)"), "");
    std::this_thread::sleep_for(500ms);
    link::SocketSetTimeout(k, 2);
    double v = 0;
    EXPECT_EQ(api::DoubleGlobalArrayGet(k, 4, v), 0);
    EXPECT_EQ(v, 44);
    EXPECT_EQ(link::SocketClose(k), 0);
    EXPECT_EQ(link::SocketClose(k), -1);
}

TEST_F(LinkSim, PoolTakesOldestFreedFirstAndHasThirtyTwoEntries)
{
    EXPECT_EQ(link::TakeSocket(1), 0);  // all stamped together: the lower entry
    EXPECT_EQ(link::TakeSocket(1), 1);
    link::ReleaseSocket(1);
    link::ReleaseSocket(0);
    std::vector<int> rest;
    for (int i = 2; i < 32; ++i) rest.push_back(link::TakeSocket(1));
    for (int i = 0; i < 30; ++i) EXPECT_EQ(rest[i], i + 2);
    EXPECT_EQ(link::TakeSocket(1), 1);  // freed before 0
    EXPECT_EQ(link::TakeSocket(1), 0);
    EXPECT_EQ(link::TakeSocket(1), -1);  // the 33rd
    for (int i = 0; i < 32; ++i) link::ReleaseSocket(i);
}

TEST_F(LinkSim, ReplyTimeOutIsRaisedToTheMinimumPlusTheExtra)
{
    common().ExtraTimeoutMs.store(500);
    const int k = link::TakeSocket(0.2);
    EXPECT_DOUBLE_EQ(link::SocketTimeout(k), 1.5);
    link::ReleaseSocket(k);
    common().ExtraTimeoutMs.store(250);
    const int k2 = link::TakeSocket(3);
    EXPECT_DOUBLE_EQ(link::SocketTimeout(k2), 3.25);
    link::ReleaseSocket(k2);
    common().ExtraTimeoutMs.store(0);
}

TEST_F(LinkSim, NoIndexWhileTheControllerIsUnusableOrThePoolClosed)
{
    common().ControllerUsable.store(0);
    EXPECT_EQ(link::TakeSocket(1), -1);
    EXPECT_EQ(link::GetSocket(1), -1);
    common().ControllerUsable.store(1);

    ASSERT_TRUE(link::CurrentController().openPool());  // already open: nothing more is opened
    EXPECT_EQ(link::OpenSocketCount(), 32);
    ASSERT_TRUE(link::CurrentController().closePool());
    EXPECT_EQ(link::TakeSocket(1), -1);
    EXPECT_EQ(link::OpenSocketCount(), 0);
    // Opened again after closing: the same slots, 0..31, are reused.
    ASSERT_TRUE(link::CurrentController().openPool());
    EXPECT_EQ(link::OpenSocketCount(), 32);
    EXPECT_EQ(link::TakeSocket(1), 0);
    link::ReleaseSocket(0);
}

TEST_F(LinkSim, ClosingWithAnUnfinishedReplyWarnsAndStillCloses)
{
    std::vector<std::string> shown, logged;
    test::RecordingReporter reporter([&](const std::string& m) { shown.push_back(m); });
    mvx::link::CurrentController().setLogHandler([&](const std::string& m) { logged.push_back(m); });
    common().MinSocketTimeout.store(0.1);
    test::KvxFault f;
    f.function = "GroupStatusGet";
    f.kind = "noreply";
    f.count = 1;
    sim().setFault(f);
    const int k = link::GetSocket(0.1);
    int status = 0;
    EXPECT_EQ(api::GroupStatusGet(k, "GROUP1", status), -2);
    EXPECT_TRUE(link::CurrentController().closePool());
    EXPECT_EQ(link::OpenSocketCount(), 0);
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_EQ(shown[0], "Socket " + std::to_string(k) + " In use -1");
    ASSERT_FALSE(logged.empty());
    EXPECT_EQ(logged.back(), "Déconnection des sockets ..OK");

    // A pool that cannot open leaves nothing open behind it.
    const std::string address = common().ControllerIp;
    EXPECT_FALSE(link::CurrentController().openPool(1));  // nothing listens there
    EXPECT_EQ(link::OpenSocketCount(), 0);
    EXPECT_FALSE(link::CurrentController().poolOpen());
    EXPECT_EQ(logged.back(), "Connection des sockets...échoué");
    link::MarkAllSocketsFree();
    EXPECT_EQ(link::TakeSocket(1), -1);

    ASSERT_TRUE(link::CurrentController().openPool());
    EXPECT_EQ(logged.back(), "Connection des sockets OK");
    mvx::link::CurrentController().setLogHandler(nullptr);
}

TEST_F(LinkSim, AReleaseWithoutARequestFreesAtOnce)
{
    const int k = link::GetSocket(1);
    ASSERT_GE(k, 0);
    link::ReleaseSocket(k);  // no call was made: no drain
    EXPECT_TRUE(link::EntryFree(k));
    EXPECT_EQ(link::DrainsRunning(), 0);

    std::vector<std::string> shown;
    {
        test::RecordingReporter reporter([&](const std::string& m) { shown.push_back(m); });
        link::ReleaseSocket(k);  // released twice
    }
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_EQ(shown[0], "already free, " + std::to_string(k) + " Try to free socket");
    EXPECT_TRUE(link::EntryFree(k));
    link::ReleaseSocket(99);  // not a pooled index: ignored
}

TEST_F(LinkSim, APooledSocketGivesItsConnectionBackOnceOnEveryWayOut)
{
    std::vector<std::string> shown;
    test::RecordingReporter reporter([&](const std::string& m) { shown.push_back(m); });
    int held = -1;
    {
        const link::PooledSocket s(link::CurrentController(), 1);
        ASSERT_TRUE(s.ok());
        held = s.index();
        EXPECT_FALSE(link::EntryFree(held));
        int status = 0;
        EXPECT_EQ(api::GroupStatusGet(s.index(), "GROUP1", status), 0);
    }
    EXPECT_TRUE(link::EntryFree(held));

    try {
        const link::PooledSocket s(link::CurrentController(), 1);
        held = s.index();
        throw std::runtime_error("handler failed");
    } catch (const std::runtime_error&) {
    }
    EXPECT_TRUE(link::EntryFree(held));

    // Moved: the new owner gives it back, the old one nothing; renew swaps connections.
    link::PooledSocket first(link::CurrentController(), 1, link::PooledSocket::Reply::Take);
    held = first.index();
    link::PooledSocket second(std::move(first));
    EXPECT_FALSE(first.ok());
    EXPECT_EQ(second.index(), held);
    first = std::move(second);
    EXPECT_EQ(first.index(), held);
    ASSERT_TRUE(first.renew(1));
    EXPECT_TRUE(link::EntryFree(held));
    const int renewed = first.index();
    EXPECT_FALSE(link::EntryFree(renewed));
    first.release();
    first.release();
    EXPECT_TRUE(link::EntryFree(renewed));
    EXPECT_TRUE(shown.empty()) << shown.front();  // never released twice

    link::MarkAllSocketsFree();
    std::vector<link::PooledSocket> all;
    for (int i = 0; i < 32; ++i) all.emplace_back(1);
    EXPECT_FALSE(link::PooledSocket(link::CurrentController(), 1).ok());  // the 33rd
    all.clear();
    EXPECT_TRUE(link::PooledSocket(link::CurrentController(), 1).ok());
}

TEST_F(LinkSim, ParallelCallersNeverShareAnIndexNorGetAnotherCallsAnswer)
{
    common().MinSocketTimeout.store(0.1);
    // Some replies come too late for their caller.
    test::KvxFault f;
    f.function = "DoubleGlobalArrayGet";
    f.kind = "late";
    f.delay = 0.3;
    f.count = 6;
    sim().setFault(f);

    std::array<std::atomic<int>, 33> holders{};
    std::atomic<int> shared{0}, wrong{0}, good{0}, failed{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < 8; ++t) {
        threads.emplace_back([&, t] {
            for (int i = 0; i < 25; ++i) {
                const int k = link::GetSocket(0.2);
                if (k < 0) {
                    std::this_thread::sleep_for(5ms);
                    continue;
                }
                if (holders[k].fetch_add(1) != 0) ++shared;
                const double mine = t * 1000 + i;
                if (api::DoubleGlobalArraySet(k, 100 + t, mine) == 0) {
                    double got = -1;
                    const int rc = api::DoubleGlobalArrayGet(k, 100 + t, got);
                    if (rc == 0)
                        (got == mine ? good : wrong)++;
                    else
                        ++failed;
                }
                holders[k].fetch_sub(1);
                link::ReleaseSocket(k);
            }
        });
    }
    for (auto& th : threads) th.join();
    EXPECT_EQ(shared.load(), 0);
    EXPECT_EQ(wrong.load(), 0);
    EXPECT_GT(good.load(), 100);
    EXPECT_LE(failed.load(), 6);
}

TEST_F(LinkSim, ErrorCodeToTextAsksTheController)
{
    const std::string t = link::CurrentController().errorText(-17);
    EXPECT_FALSE(t.empty());
    EXPECT_EQ(t.find("Erreur non"), std::string::npos);
    EXPECT_FALSE(link::CurrentController().errorText(api::kErrorBadInput).empty());
    test::KvxFault f;
    f.function = "ErrorStringGet";
    f.kind = "error";
    f.code = -7;
    f.count = 1;
    sim().setFault(f);
    EXPECT_EQ(link::CurrentController().errorText(-17), "Erreur non identifiée code -17");
}

TEST_F(LinkSim, ScriptAnswerComesBackWhole)
{
    sim().writeFile("Public/Scripts/answer.tcl", "set tcl_argv(0) {a,b 42}\n");
    const int k = link::GetSocket(10);
    std::string answer = "unchanged";
    EXPECT_EQ(api::TCLScriptExecuteAndWait(k, "answer.tcl", "T1", "0", answer), 0);
    EXPECT_EQ(answer, "a,b 42");
    link::ReleaseSocket(k);
}

TEST_F(LinkSim, DebugRunsTheBodyOnTheGuiThreadAndShowsItsMessage)
{
    std::vector<std::string> shown;
    bool onGui = false;
    auto reporter = std::make_unique<test::RecordingReporter>([&](const std::string& m) {
        shown.push_back(m);
        onGui = link::OnGuiThread();
    });
    std::vector<int> taken;
    for (int i = 0; i < 32; ++i) taken.push_back(link::TakeSocket(1));
    common().Debug.store(true);
    auto& rec = link::CurrentController().homing();
    rec.HomingRunning.store(1);
    link::CurrentController().startHoming();
    const auto end = Clock::now() + 5s;
    while (rec.HomingRunning.load() && Clock::now() < end) link::WaitWithEvents(10);
    link::WaitWithEvents(50);
    common().Debug.store(false);
    link::CurrentController().joinWorkers(true);
    reporter.reset();
    for (int t : taken) link::ReleaseSocket(t);
    EXPECT_EQ(rec.HomingRunning.load(), 0);
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_EQ(shown[0], "No socket usable for homing");
    EXPECT_TRUE(onGui);
}

// The link dispatches no event: a call on the GUI thread goes off it, and only the waiter that
// the window layer installs lets events run while it waits.
TEST_F(LinkSim, ACallOnTheGuiThreadGoesOffItAndOnlyTheWaiterLetsEventsRun)
{
    auto slowStatus = [&] {
        test::KvxFault f;
        f.function = "GroupStatusGet";
        f.kind = "delay";
        f.delay = 0.4;
        f.count = 1;
        sim().setFault(f);
    };
    int ticks = 0;
    int nestedRc = 99;
    QTimer timer;
    QObject::connect(&timer, &QTimer::timeout, [&] {
        // A window event that calls the controller on another connection while the first call waits.
        if (++ticks == 3) {
            const int other = link::GetSocket(5);
            double v = 0;
            nestedRc = api::DoubleGlobalArrayGet(other, 9, v);
            link::ReleaseSocket(other);
        }
    });
    timer.start(20);
    const int k = link::GetSocket(5);
    int status = 0;
    slowStatus();
    EXPECT_EQ(api::GroupStatusGet(k, "GROUP1", status), 0);
    EXPECT_GE(ticks, 5);  // the timer ran while the call waited
    EXPECT_EQ(nestedRc, 0);

    // Without the window layer's waiter the GUI thread just waits: nothing runs inside the call.
    link::SetLiveWaiter({});
    ticks = 0;
    slowStatus();
    EXPECT_EQ(api::GroupStatusGet(k, "GROUP1", status), 0);
    EXPECT_EQ(ticks, 0);
    link::ReleaseSocket(k);
    installLiveWaiter();
}

TEST_F(LinkSim, PositionsWorkerReadsUntilItsFlagIsCleared)
{
    ASSERT_TRUE(link::CurrentController().setThreadGroupName("GROUP1"));
    EXPECT_FALSE(link::CurrentController().setThreadGroupName(std::string(49, 'G')));
    sim().setPositions("GROUP1", {4, 5, 6});
    auto& rec = link::CurrentController().positions();
    rec.PositionReadCount.store(3);
    common().PositionReadingOn.store(1);
    link::CurrentController().startPositions();
    const auto end = Clock::now() + 3s;
    while (rec.CurrentPositions[2].load() != 6 && Clock::now() < end) std::this_thread::sleep_for(10ms);
    EXPECT_DOUBLE_EQ(rec.CurrentPositions[0].load(), 4);
    EXPECT_DOUBLE_EQ(rec.CurrentPositions[2].load(), 6);
    common().PositionReadingOn.store(0);
    link::CurrentController().joinWorkers(true);
    EXPECT_EQ(link::CurrentController().workersRunning(), 0);
    for (int i = 0; i < 32; ++i) EXPECT_TRUE(link::EntryFree(i)) << i;
}

TEST_F(LinkSim, HomingAPositionerHomesItsGroup)
{
    EXPECT_EQ(link::HomingGroupOf(" GROUP2 .X"), "GROUP2");
    EXPECT_EQ(link::HomingGroupOf(" GROUP2 "), " GROUP2 ");  // trimmed only with a "."
    sim().clearRequestLog();
    auto& rec = link::CurrentController().homing();
    {
        std::lock_guard lock(rec.mutex);
        rec.HomingGroupName = "GROUP2.X";
    }
    rec.HomingRunning.store(1);
    link::CurrentController().startHoming();
    const auto end = Clock::now() + 10s;
    while (rec.HomingRunning.load() && Clock::now() < end) std::this_thread::sleep_for(10ms);
    EXPECT_EQ(rec.HomingRunning.load(), 0);
    EXPECT_EQ(lastRequest(0), "GroupHomeSearch(GROUP2)\n\r");
    link::CurrentController().joinWorkers(true);
}

TEST_F(LinkSim, AbsoluteMoveWithoutAFreeConnectionMakesNoCall)
{
    std::vector<int> taken;
    for (int i = 0; i < 32; ++i) taken.push_back(link::TakeSocket(1));
    sim().clearRequestLog();
    auto& rec = link::CurrentController().moveAbs();
    ASSERT_TRUE(link::CurrentController().setThreadGroupName("GROUP2"));
    {
        std::lock_guard lock(rec.mutex);
        rec.Targets = {1, 2};
        rec.TargetCount = 2;
    }
    rec.MoveAbsRunning.store(1);
    link::CurrentController().startMoveAbsolute();
    link::CurrentController().joinWorkers(true);
    EXPECT_EQ(rec.MoveAbsRunning.load(), 0);
    EXPECT_TRUE(sim().requestLog(0).empty());
    for (int t : taken) link::ReleaseSocket(t);
}

TEST_F(LinkSim, AbsoluteAndRelativeMovesReachTheirTargets)
{
    const int k = link::GetSocket(5);
    api::GroupInitialize(k, "GROUP2");
    api::GroupHomeSearch(k, "GROUP2");
    link::ReleaseSocket(k);
    ASSERT_TRUE(link::CurrentController().setThreadGroupName("GROUP2"));
    auto& rec = link::CurrentController().moveAbs();
    {
        std::lock_guard lock(rec.mutex);
        rec.Targets = {10, -5};
        rec.TargetCount = 2;
    }
    rec.MoveAbsRunning.store(1);
    link::CurrentController().startMoveAbsolute();
    const auto end = Clock::now() + 10s;
    while (rec.MoveAbsRunning.load() && Clock::now() < end) std::this_thread::sleep_for(10ms);
    EXPECT_EQ(rec.MoveAbsError.load(), 0);
    std::array<double, 2> p{};
    auto read = [&] {
        const int s = link::GetSocket(5);
        EXPECT_EQ(api::GroupPositionCurrentGet(s, "GROUP2", p), 0);
        link::ReleaseSocket(s);
    };
    read();
    EXPECT_NEAR(p[0], 10, 1e-9);
    EXPECT_NEAR(p[1], -5, 1e-9);

    auto& rel = link::CurrentController().moveRel();
    {
        std::lock_guard lock(rel.mutex);
        rel.Deltas = {1, 1};
        rel.DeltaCount = 2;
    }
    link::CurrentController().startMoveRelative();
    link::CurrentController().joinWorkers(true);
    read();
    EXPECT_NEAR(p[0], 11, 1e-9);
    EXPECT_NEAR(p[1], -4, 1e-9);
}

// A test builds a controller of its own: its connections, session state and workers are its
// own, and it ends in order while a worker and a drain still run on it.
TEST(LinkController, OneOfItsOwnKeepsItsStateAndEndsInOrder)
{
    link::registerTexts();
    test::KvxSim sim;
    ASSERT_FALSE(link::CurrentController().poolOpen());
    common().ControllerIp = sim.address();
    common().ControllerUsable.store(1);
    common().ExtraTimeoutMs.store(0);
    common().MinSocketTimeout.store(0.1);
    link::Controller& processOne = link::CurrentController();
    const int processOpen = link::OpenSocketCount();
    {
        link::Controller mine;
        link::InstallController(&mine);
        EXPECT_EQ(&link::CurrentController(), &mine);
        EXPECT_EQ(link::OpenSocketCount(), 0);
        ASSERT_TRUE(link::CurrentController().openPool());
        EXPECT_EQ(link::OpenSocketCount(), 32);
        link::CurrentController().transfer().RemoteDir = "/Mine";
        ASSERT_TRUE(link::CurrentController().setThreadGroupName("GROUP1"));

        const std::string ini = ::testing::TempDir() + "controller_system.ini";
        {
            std::ofstream out(ini, std::ios::binary);
            out << sim.readFile("Config/system.ini");
        }
        const std::vector<std::string> multiple = link::CurrentController().readGroups(ini).multiple;
        ASSERT_FALSE(multiple.empty());

        link::InstallController(nullptr);
        EXPECT_EQ(link::OpenSocketCount(), processOpen);
        EXPECT_NE(link::CurrentController().transfer().RemoteDir, "/Mine");
        EXPECT_NE(link::CurrentController().currentGroups().multiple, multiple);
        // Not installed, it is still the one its holders act on.
        EXPECT_TRUE(mine.poolOpen());
        EXPECT_FALSE(link::CurrentController().poolOpen());
        {
            const link::PooledSocket fromMine(mine, 0.1);
            EXPECT_TRUE(fromMine.ok());
            EXPECT_FALSE(link::PooledSocket(link::CurrentController(), 0.1).ok());
        }
        EXPECT_EQ(mine.transfer().RemoteDir, "/Mine");
        EXPECT_EQ(mine.currentGroups().multiple, multiple);
        EXPECT_EQ(mine.threadGroupName(), "GROUP1");
        std::vector<std::string> mineLog;
        mine.setLogHandler([&mineLog](const std::string& line) { mineLog.push_back(line); });
        link::CurrentController().log("to the installed one");
        mine.log("to mine");
        mine.setLogHandler({});
        EXPECT_EQ(mineLog, std::vector<std::string>{"to mine"});
        link::InstallController(&mine);
        EXPECT_EQ(link::CurrentController().transfer().RemoteDir, "/Mine");
        EXPECT_EQ(link::CurrentController().currentGroups().multiple, multiple);

        // A reply that never comes: its connection goes to a drain that is still reading.
        test::KvxFault f;
        f.function = "GroupStatusGet";
        f.kind = "noreply";
        f.count = 1;
        sim.setFault(f);
        {
            const link::PooledSocket s(link::CurrentController(), 0.1);
            ASSERT_TRUE(s.ok());
            int status = 0;
            EXPECT_EQ(api::GroupStatusGet(s.index(), "GROUP1", status), -2);
        }
        EXPECT_EQ(link::DrainsRunning(), 1);
        link::CurrentController().positions().PositionReadCount.store(2);
        common().PositionReadingOn.store(1);
        link::CurrentController().startPositions();
        EXPECT_EQ(link::CurrentController().workersRunning(), 1);
    }
    // The worker and the drain ended on it, then it left the link to the process's own.
    EXPECT_EQ(&link::CurrentController(), &processOne);
    EXPECT_EQ(common().PositionReadingOn.load(), 0);
    EXPECT_EQ(link::OpenSocketCount(), processOpen);
    EXPECT_EQ(link::CurrentController().workersRunning(), 0);
    // The process's own pool was never opened, whatever the ended one's was.
    EXPECT_FALSE(link::CurrentController().poolOpen());
    common().ControllerUsable.store(0);
}

// A controller that ends while a script run still waits for its reply: the run ends with it,
// with no answer, instead of going on to read a connection that is gone.
TEST(LinkController, EndingCutsShortAScriptRunWaitingForItsReply)
{
    link::registerTexts();
    test::KvxSim sim;
    common().ControllerIp = sim.address();
    common().ControllerUsable.store(1);
    common().ExtraTimeoutMs.store(0);
    common().MinSocketTimeout.store(0.1);
    sim.writeFile("Public/Scripts/wait.tcl", "return 1\n");
    test::KvxFault f;
    f.function = "TCLScriptExecuteAndWait";
    f.kind = "noreply";
    f.count = 1;
    sim.setFault(f);
    std::shared_ptr<link::ScriptRun> run;
    Clock::time_point ending;
    {
        link::Controller mine;
        link::InstallController(&mine);
        ASSERT_TRUE(mine.openPool());
        link::ScriptRequest rq;
        rq.ScriptFile = "wait.tcl";
        rq.TaskName = "TASKW";
        rq.Arguments = " ";
        run = mine.scripts().Start(rq);
        ASSERT_FALSE(run->Snapshot().Refused);
        for (int i = 0; i < 200 && !run->Snapshot().Sent; ++i) std::this_thread::sleep_for(10ms);
        ASSERT_TRUE(run->Snapshot().Sent);
        std::this_thread::sleep_for(100ms);
        EXPECT_FALSE(run->Finished());  // its reply never comes
        ending = Clock::now();
    }
    EXPECT_LT(Clock::now() - ending, 3s);
    const link::ScriptResult r = run->Snapshot();
    EXPECT_TRUE(r.Finished);
    EXPECT_FALSE(r.ScriptDone);
    EXPECT_NE(r.ErrorCode, 0);
    common().StopRequested.store(0);
    common().ControllerUsable.store(0);
}

}  // namespace

int main(int argc, char** argv)
{
    // The main thread is the application's: calls made on it go off it, and the test's waiter
    // dispatches events meanwhile, as the windows' does.
    QCoreApplication app(argc, argv);
    installLiveWaiter();
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
