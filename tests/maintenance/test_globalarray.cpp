// Global arrays read and written against the simulator; the "Site" page fetched from its web server.
#include "datacontext.h"
#include "maintenance/page_globalarray.h"
#include "tests/tclbench/simlink.h"

#include <QLineEdit>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QTextBrowser>

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

TEST_F(GlobalArraySim, SitePageLoadsOnceAndNavigates)
{
    SitePage::resetLoadedForTests();
    SitePage page(mCtx, nullptr);
    page.TabSheet4Show();
    ASSERT_TRUE(QTest::qWaitFor([&] { return !page.loading(); }, 5000));
    EXPECT_TRUE(SitePage::pageLoadedOnce());
    EXPECT_FALSE(page.browser()->toPlainText().isEmpty());
    EXPECT_TRUE(page.addressField()->text().contains(QString::fromStdString(sim().address())));

    // Shown again: no reload.
    page.TabSheet4Show();
    EXPECT_FALSE(page.loading());

    page.ButtonsuivantClick();
    EXPECT_EQ(page.statusText(), QString::fromUtf8("Pas d'élément suivant"));
    page.ButtonprecedentClick();
    EXPECT_EQ(page.statusText(), QString::fromUtf8("Pas d'élément précédent"));

    page.addressField()->setText("file:///etc/passwd");
    page.Edit143KeyPress();
    EXPECT_EQ(page.statusText(), "Cannot open file:///etc/passwd");

    page.addressField()->setText(QString::fromStdString("http://" + sim().address() + ":1/"));
    page.Edit143KeyPress();
    ASSERT_TRUE(QTest::qWaitFor([&] { return !page.loading(); }, 5000));
    EXPECT_TRUE(page.statusText().startsWith("Cannot open"));
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
