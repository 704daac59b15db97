// Global arrays read and written against the simulator; the "Site" page fetched from its web server.
#include "datacontext.h"
#include "maintenance/page_globalarray.h"
#include "tests/support/simlink.h"

#include <QEventLoop>
#include <QLineEdit>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <functional>

#include <unistd.h>

using namespace mvx;
using namespace mvx::maint;

namespace {

class GlobalArraySim : public test::SimLinkTest {
protected:
    QTemporaryDir mDir;
    test::DataContext mCtx{mDir.filePath("s.ini").toStdString()};
};

std::string controlGlobal(test::KvxSim& sim, int index)
{
    return sim.controlRaw("{\"cmd\": \"global\", \"index\": " + std::to_string(index) + "}");
}

TEST_F(GlobalArraySim, TextArrayWritesEveryEntryAndReadsThemBack)
{
    GlobalArrayPage page(mCtx, nullptr);
    EXPECT_EQ(page.textGrid()->item(99, 0)->text(), "99");
    page.textGrid()->item(5, 1)->setText("hello world");
    page.Button5Click();
    EXPECT_EQ(requestsOf("GlobalArraySet(").size(), 100u);
    EXPECT_NE(controlGlobal(sim(), 5).find("hello world"), std::string::npos);

    page.textGrid()->item(5, 1)->setText("changed locally");
    page.Button4Click();
    EXPECT_EQ(page.textGrid()->item(5, 1)->text(), "hello world");
    EXPECT_EQ(requestsOf("GlobalArrayGet(").size(), 100u);
    EXPECT_TRUE(mCtx.lines.isEmpty()) << mCtx.lines.join("\n").toStdString();
}

TEST_F(GlobalArraySim, TooLongTextSendsNothing)
{
    GlobalArrayPage page(mCtx, nullptr);
    page.textGrid()->item(3, 1)->setText(QString(256, QLatin1Char('a')));
    page.Button5Click();
    EXPECT_TRUE(requestsOf("GlobalArraySet(").empty());
    ASSERT_EQ(mCtx.lines.size(), 1);
    EXPECT_TRUE(mCtx.lines[0].contains("3"));
}

TEST_F(GlobalArraySim, NumberArrayRoundTripAndRefusal)
{
    GlobalArrayPage page(mCtx, nullptr);
    page.numberGrid()->item(7, 1)->setText("2.5");
    page.numberGrid()->item(999, 1)->setText("-1e-3");
    page.Button10Click();
    EXPECT_EQ(requestsOf("DoubleGlobalArraySet(").size(), 1000u);
    page.numberGrid()->item(7, 1)->setText("");
    page.Button8Click();
    EXPECT_EQ(page.numberGrid()->item(7, 1)->text(), "2.5");
    EXPECT_EQ(page.numberGrid()->item(999, 1)->text(), "-0.001");
    EXPECT_EQ(page.numberGrid()->item(8, 1)->text(), "0");

    // A row that is not a number: nothing is written.
    sim().clearRequestLog();
    page.numberGrid()->item(12, 1)->setText("1,5");
    page.Button10Click();
    EXPECT_TRUE(requestsOf("DoubleGlobalArraySet(").empty());
    EXPECT_FALSE(mCtx.lines.isEmpty());
}

TEST_F(GlobalArraySim, ReadStopsWhenTheControllerStopsAnswering)
{
    GlobalArrayPage page(mCtx, nullptr);
    page.textGrid()->item(0, 1)->setText("kept");
    test::KvxFault fault;
    fault.function = "GlobalArrayGet";
    fault.kind = "noreply";
    sim().setFault(fault);
    common().MinSocketTimeout.store(0.2);
    page.Button4Click();
    EXPECT_EQ(page.textGrid()->item(0, 1)->text(), "kept");
    EXPECT_EQ(requestsOf("GlobalArrayGet(").size(), 1u);
    EXPECT_TRUE(mCtx.lines.join("\n").contains("0"));
}

// Waits in a running event loop: the browser engine's work runs as soon as it is posted
// (QTest::qWaitFor sleeps between its turns, which slows a page load by seconds).
bool RunUntil(const std::function<bool()>& done, int ms)
{
    if (done()) return true;
    QEventLoop loop;
    QTimer poll, limit;
    QObject::connect(&poll, &QTimer::timeout, &loop, [&] {
        if (done()) loop.quit();
    });
    QObject::connect(&limit, &QTimer::timeout, &loop, &QEventLoop::quit);
    poll.start(5);
    limit.setSingleShot(true);
    limit.start(ms);
    loop.exec();
    return done();
}

TEST_F(GlobalArraySim, SitePageLoadsOnceAndNavigates)
{
    SitePage::resetLoadedForTests();
    SitePage page(mCtx, nullptr);
    // Nothing shown yet: no browser engine, and nothing to go back or forward to.
    EXPECT_EQ(page.browser(), nullptr);
    page.ButtonsuivantClick();
    EXPECT_EQ(page.statusText(), QString::fromUtf8("Pas d'élément suivant"));
    page.Button74Click();
    EXPECT_EQ(page.statusText(), QString::fromUtf8("vous ne pouvez pas rafraichir cette page"));

    const QString home = QString::fromStdString("http://" + sim().address() + "/");
    const QString status = home + "status.html";
    auto settle = [&] { return RunUntil([&] { return !page.loading(); }, 20000); };
    page.TabSheet4Show();
    ASSERT_TRUE(settle());
    ASSERT_NE(page.browser(), nullptr);
    EXPECT_TRUE(SitePage::pageLoadedOnce());
    // Without its sandbox (root, or asked so) the engine runs with the program's rights: said.
    const bool sandboxOff = ::geteuid() == 0 || qEnvironmentVariableIsSet("QTWEBENGINE_DISABLE_SANDBOX");
    EXPECT_EQ(mCtx.lines.filter("sans son bac à sable").size(), sandboxOff ? 1 : 0) << mCtx.lines.join('|').toStdString();
    EXPECT_EQ(page.statusText(), "KVX controller");
    EXPECT_EQ(page.addressField()->text(), home);

    // Shown again: no reload.
    page.TabSheet4Show();
    EXPECT_FALSE(page.loading());

    page.addressField()->setText(status);
    page.Edit143KeyPress();
    ASSERT_TRUE(settle());
    EXPECT_EQ(page.statusText(), "KVX status");
    EXPECT_EQ(page.addressField()->text(), status);

    page.ButtonprecedentClick();
    ASSERT_TRUE(RunUntil([&] { return page.addressField()->text() == home && !page.loading(); }, 20000));
    EXPECT_EQ(page.statusText(), "KVX controller");
    page.ButtonprecedentClick();
    EXPECT_EQ(page.statusText(), QString::fromUtf8("Pas d'élément précédent"));
    page.ButtonsuivantClick();
    ASSERT_TRUE(RunUntil([&] { return page.addressField()->text() == status && !page.loading(); }, 20000));
    EXPECT_EQ(page.statusText(), "KVX status");
    page.ButtonsuivantClick();
    EXPECT_EQ(page.statusText(), QString::fromUtf8("Pas d'élément suivant"));

    page.Button74Click();
    ASSERT_TRUE(settle());
    EXPECT_EQ(page.statusText(), "KVX status");

    // Only web addresses are opened.
    page.addressField()->setText("file:///etc/passwd");
    page.Edit143KeyPress();
    EXPECT_FALSE(page.loading());
    EXPECT_EQ(page.statusText(), "Cannot open file:///etc/passwd");

    // Nothing listens there: the failure is said and the address field keeps what was typed.
    const QString dead = QString::fromStdString("http://" + sim().address() + ":1/");
    page.addressField()->setText(dead);
    page.Edit143KeyPress();
    ASSERT_TRUE(settle());
    EXPECT_EQ(page.statusText(), "Cannot open " + dead);
    EXPECT_EQ(page.addressField()->text(), dead);
}

}  // namespace

namespace {

TEST(SitePageOffline, InSimulationTheAddressIsOnlyShown)
{
    QTemporaryDir dir;
    test::DataContext ctx(dir.filePath("s.ini").toStdString());
    SitePage::resetLoadedForTests();
    const int usable = common().ControllerUsable.exchange(0);
    SitePage page(ctx, nullptr);
    page.TabSheet4Show();
    EXPECT_FALSE(page.loading());
    EXPECT_EQ(page.addressField()->text().toStdString(), common().ControllerIp);
    common().ControllerUsable.store(usable);
}

}  // namespace
