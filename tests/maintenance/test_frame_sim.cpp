// The maintenance window against the controller simulator: general page connections, divers page
// reads and writes, the position display.
#include "link/controller.h"
#include "maintenance/maintenancewindow.h"
#include "maintenance/page_divers.h"
#include "maintenance/page_general.h"

#include "core/common.h"
#include "app/dialogs.h"
#include "link/apitable.h"
#include "link/detect.h"
#include "link/linktexts.h"
#include "link/socketpool.h"
#include "link/transfer.h"
#include "link/workers.h"
#include "tests/support/kvxsim_fixture.h"
#include "tests/support/loopbackpeer.h"

#include <gtest/gtest.h>

#include <QComboBox>
#include <QElapsedTimer>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTabWidget>
#include <QTest>
#include <QTimer>

#include <functional>
#include <string>
#include <vector>

using namespace mvx;
using namespace mvx::maint;
using mvx::test::KvxSim;

namespace {

// Records the positions shown while it is the current page.
struct PositionProbe : MaintenancePage {
    PositionProbe(MaintenanceContext& c, QWidget* p) : MaintenancePage(c, p) {}
    void pageShown() override { context().startPositionReading("GROUP2", 2); }
    void positionsChanged(std::span<const double> p) override { shown.assign(p.begin(), p.end()); }
    // Reads the status again from its notification, as a page refreshing itself may.
    void groupStatusChanged(const std::string& group, std::optional<int> status) override
    {
        statuses.push_back(status);
        if (statuses.size() < 10) context().readGroupStatus(group);
    }
    std::vector<double> shown;
    std::vector<std::optional<int>> statuses;
};

bool waitFor(const std::function<bool()>& done, int ms = 5000)
{
    QElapsedTimer t;
    t.start();
    while (!done()) {
        if (t.elapsed() > ms) return false;
        QTest::qWait(20);
    }
    return true;
}

class FrameSimTest : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        link::registerTexts();
        link::registerTransferTexts();
        api::InstallSocketApi();
        registerMaintenancePage("TSXY", [](MaintenanceContext& c, QWidget* p) { return new PositionProbe(c, p); });
        mvx::test::KvxSimOptions o;
        o.files["Public/Scripts/start.tcl"] = "set a 1\n";
        o.files["Public/Scripts/START.TCL"] = "set a 2\n";
        o.files["Public/Scripts/wait.tcl"] = "after 3000\n";
        sSim = new KvxSim(o);
    }
    static void TearDownTestSuite()
    {
        common().PositionReadingOn.store(0);
        link::CurrentController().joinWorkers(true);
        link::CurrentController().disconnectTransfer();
        link::CurrentController().closePool();
        common().ControllerUsable.store(0);
        delete sSim;
        sSim = nullptr;
    }
    void SetUp() override
    {
        messages.clear();
        SetMessageBoxHandler([this](const std::string& text, std::uint16_t) -> std::uint16_t {
            messages.push_back(text);
            return MrOk;
        });
        CommonGlobals& c = common();
        c.ControllerIp = sSim->address();
        c.DetectionMode.store(5);
        c.MinSocketTimeout.store(1.0);
        c.ExtraTimeoutMs.store(0);
        c.ControllerUsable.store(1);
        SetControllerModel(ModelQ);
        ASSERT_TRUE(link::CurrentController().openPool());
        sSim->clearRequestLog();
        window = std::make_unique<TFmain_KVX>(nullptr, mvx::link::CurrentController());
    }
    void TearDown() override
    {
        if (window->isVisible()) window->close();
        window.reset();
        SetMessageBoxHandler(nullptr);
    }
    std::vector<std::string> requests(const std::string& name)
    {
        std::vector<std::string> out;
        for (const auto& r : sSim->requestLog())
            if (r.text.rfind(name + "(", 0) == 0) out.push_back(r.text.substr(0, r.text.find_last_of(')') + 1));
        return out;
    }
    QStringList logLines() const { return window->logPane()->toPlainText().split('\n', Qt::SkipEmptyParts); }
    template <class T>
    T* child(const char* name) const
    {
        T* w = window->findChild<T*>(name);
        EXPECT_NE(w, nullptr) << name;
        return w;
    }

    static inline KvxSim* sSim = nullptr;
    std::unique_ptr<TFmain_KVX> window;
    std::vector<std::string> messages;
};

}  // namespace

TEST_F(FrameSimTest, GeneralPageConnectsThePoolAndReadsTheFirmware)
{
    link::CurrentController().closePool();
    PageGeneral* g = window->generalPage();
    auto* edit1 = child<QLineEdit>("Edit1");
    g->setApiOpen(false);
    // A blank typed after the second point is not part of the address.
    std::string typed = sSim->address();
    typed.insert(typed.find('.', typed.find('.') + 1) + 1, " ");
    edit1->setText(QString::fromStdString(typed));
    // As after a start-up that left the controller functions off.
    common().ControllerUsable.store(0);
    common().NoControllerApi.store(1);
    child<QPushButton>("Button1")->click();
    ASSERT_TRUE(link::CurrentController().poolOpen());
    // Connected by hand, the controller functions of every window are on again.
    EXPECT_EQ(common().ControllerUsable.load(), 1);
    EXPECT_EQ(common().NoControllerApi.load(), 0);
    EXPECT_TRUE(edit1->isReadOnly());
    EXPECT_EQ(common().ControllerIp, sSim->address());
    EXPECT_TRUE(messages.empty());

    child<QPushButton>("Button6")->click();
    const QStringList lines = logLines();
    ASSERT_GE(lines.size(), 2);
    EXPECT_EQ(lines[lines.size() - 2].toStdString(), "Version lue:KVX-Q Version #30039");
    EXPECT_EQ(lines.last().toStdString(), "Maintenance KVX Version 1.00");

    g->Button2Click();
    EXPECT_FALSE(link::CurrentController().poolOpen());
    EXPECT_FALSE(edit1->isReadOnly());
}

// The API "Connect.", "Deconnect." and "Reset KVX" follow the pool whoever opens or closes it;
// a failed opening leaves only "Deconnect.".
TEST_F(FrameSimTest, GeneralPageButtonsFollowThePoolState)
{
    auto* connect = child<QPushButton>("Button1");
    auto* disconnect = child<QPushButton>("Button2");
    auto* reset = child<QPushButton>("Button18");
    auto expect = [&](bool c, bool d, bool r, const char* when) {
        EXPECT_EQ(connect->isEnabled(), c) << when;
        EXPECT_EQ(disconnect->isEnabled(), d) << when;
        EXPECT_EQ(reset->isEnabled(), r) << when;
    };
    expect(false, true, true, "open at creation");
    link::CurrentController().closePool();  // as the reboot or another window does
    expect(true, false, false, "closed elsewhere");
    ASSERT_TRUE(link::CurrentController().openPool());
    expect(false, true, true, "opened elsewhere");
    disconnect->click();
    expect(true, false, false, "Deconnect.");
    EXPECT_FALSE(child<QLineEdit>("Edit1")->isReadOnly());

    // Nothing answers on the API port, and no presence check stops the attempt first.
    const mvx::test::LoopbackPeer absent(false);
    child<QLineEdit>("Edit1")->setText(QString::fromStdString(absent.address()));
    common().DetectionMode.store(0);
    connect->click();
    common().DetectionMode.store(5);
    EXPECT_FALSE(link::CurrentController().poolOpen());
    expect(false, true, false, "failed opening");
    ASSERT_FALSE(messages.empty());
    disconnect->click();
    expect(true, false, false, "Deconnect. after the failure");

    child<QLineEdit>("Edit1")->setText(QString::fromStdString(sSim->address()));
    connect->click();
    ASSERT_TRUE(link::CurrentController().poolOpen());
    expect(false, true, true, "Connect.");
    // Shown again, the window starts from the pool's state.
    window->show();
    expect(false, true, true, "shown");
}

// A start-up (or a reboot) whose pool could not open offers "Connect." again; the window shown
// afterwards keeps that offer instead of going back to the failed opening's buttons.
TEST_F(FrameSimTest, AfterAStartUpWhosePoolFailedTheShownWindowOffersConnect)
{
    link::CurrentController().closePool();
    common().ControllerUsable.store(0);
    window->show();
    const mvx::test::LoopbackPeer absent(false);
    child<QLineEdit>("Edit1")->setText(QString::fromStdString(absent.address()));
    common().DetectionMode.store(0);
    QTest::mouseClick(child<QPushButton>("Button1"), Qt::LeftButton);
    common().DetectionMode.store(5);
    ASSERT_FALSE(link::CurrentController().poolOpen());
    ASSERT_EQ(link::CurrentController().lastPoolState(), link::PoolState::Failed);
    // The start-up connection's own step after a pool that failed to open, then the window
    // shown again.
    link::CurrentController().linkConsole().apiButtons(false);
    window->hide();
    window->show();
    EXPECT_TRUE(child<QPushButton>("Button1")->isEnabled());
    EXPECT_FALSE(child<QPushButton>("Button2")->isEnabled());
    EXPECT_FALSE(child<QPushButton>("Button18")->isEnabled());
    // And the retry from the shown window connects.
    child<QLineEdit>("Edit1")->setText(QString::fromStdString(sSim->address()));
    QTest::mouseClick(child<QPushButton>("Button1"), Qt::LeftButton);
    EXPECT_TRUE(link::CurrentController().poolOpen());
    EXPECT_FALSE(child<QPushButton>("Button1")->isEnabled());
    window->hide();
    window->show();
    EXPECT_FALSE(child<QPushButton>("Button1")->isEnabled());
    EXPECT_TRUE(child<QPushButton>("Button18")->isEnabled());
}

TEST_F(FrameSimTest, GeneralPageConnectToASilentAddressChangesNothing)
{
    link::CurrentController().closePool();
    PageGeneral* g = window->generalPage();
    g->setApiOpen(false);
    const mvx::test::LoopbackPeer absent(false);
    ASSERT_FALSE(absent.address().empty());
    child<QLineEdit>("Edit1")->setText(QString::fromStdString(absent.address()));
    g->Button1Click();
    EXPECT_FALSE(link::CurrentController().poolOpen());
    EXPECT_FALSE(child<QLineEdit>("Edit1")->isReadOnly());
    EXPECT_TRUE(messages.empty());
    EXPECT_EQ(common().ControllerIp, sSim->address());
}

TEST_F(FrameSimTest, GeneralPageOpensAndClosesTheFileTransfer)
{
    PageGeneral* g = window->generalPage();
    child<QLineEdit>("Edit1")->setText(QString::fromStdString(sSim->address()));
    g->Button62Click();
    ASSERT_TRUE(link::CurrentController().transferConnected());
    EXPECT_TRUE(child<QLineEdit>("UserTxt")->isReadOnly());
    EXPECT_TRUE(child<QLineEdit>("PassTxt")->isReadOnly());
    // The configuration just read fills the positioner list of the divers page.
    auto* positioners = child<QComboBox>("ComboBox8");
    EXPECT_GT(positioners->count(), 0);
    EXPECT_EQ(positioners->findText("GROUP3.T") >= 0, true);

    g->Button63Click();
    EXPECT_FALSE(link::CurrentController().transferConnected());
    EXPECT_FALSE(child<QLineEdit>("UserTxt")->isReadOnly());
}

TEST_F(FrameSimTest, DiversPageShowsVersionsListsAndScripts)
{
    ASSERT_TRUE(link::CurrentController().connectTransfer(false));
    window->log("old line");
    window->show();
    window->pageControl()->setCurrentWidget(window->page("TabSheet2"));
    EXPECT_EQ(child<QLabel>("Label107")->text().toStdString(), "KVX-Q Version #30039");
    EXPECT_FALSE(child<QPlainTextEdit>("RichEdit3")->toPlainText().isEmpty());
    EXPECT_FALSE(window->logPane()->toPlainText().contains("old line"));
    auto* scripts = child<QComboBox>("ComboBox9");
    QStringList names;
    for (int i = 0; i < scripts->count(); ++i) names << scripts->itemText(i);
    names.sort();
    EXPECT_EQ(names, (QStringList{"start.tcl", "wait.tcl"}));
    EXPECT_GT(child<QComboBox>("ComboBox8")->count(), 0);
}

TEST(DiversScriptNames, TakeTheNameBeforeLowerCaseTcl)
{
    const std::vector<std::string> listing = {"-rw-r--r-- 1 u g 12 Jan 1 10:00 start.tcl\r", "START.TCL",
                                              "plain.tcl", "notes.txt", "d 0 my.tclx"};
    EXPECT_EQ(PageDivers::ScriptNamesOf(listing), (QStringList{"start.tcl", "plain.tcl", "my.tclx"}));
    EXPECT_TRUE(PageDivers::ScriptNamesOf({"A.TCL", "b.txt"}).isEmpty());
}

TEST_F(FrameSimTest, DiversPagePositionerStatusAndMotionDone)
{
    auto* divers = qobject_cast<PageDivers*>(window->page("TabSheet2"));
    ASSERT_NE(divers, nullptr);
    auto* box = child<QComboBox>("ComboBox8");
    box->clear();
    box->addItem("GROUP3.T");
    divers->Button9Click();
    const QString results = child<QPlainTextEdit>("RichEdit2")->toPlainText();
    EXPECT_TRUE(results.contains("GROUP3.T status: ")) << results.toStdString();
    EXPECT_TRUE(results.contains("---->")) << results.toStdString();

    const char* fields[] = {"Edit67", "Edit68", "Edit69", "Edit70", "Edit87"};
    const char* values[] = {"0.01", "0.5", "0.1", "0.001", "3"};
    for (int i = 0; i < 5; ++i) child<QLineEdit>(fields[i])->setText(values[i]);
    divers->Button29Click();
    EXPECT_TRUE(messages.empty());
    ASSERT_EQ(requests("PositionerMotionDoneSet").size(), 1u);
    EXPECT_EQ(requests("PositionerMotionDoneSet")[0], "PositionerMotionDoneSet(GROUP3.T,0.01,0.5,0.1,0.001,3)");

    for (const char* f : fields) child<QLineEdit>(f)->clear();
    divers->PositionerMotionDoneGetButtonClick();
    for (int i = 0; i < 5; ++i) EXPECT_EQ(child<QLineEdit>(fields[i])->text().toStdString(), values[i]);
    const QString shown = child<QPlainTextEdit>("RichEdit2")->toPlainText();
    EXPECT_TRUE(shown.contains("GROUP3.T:\nPosition Window: 0.01\nVelocity Window: 0.5\nChecking Time: 0.1\n"
                               "Mean Period: 0.001\nTime Out: 3"))
        << shown.toStdString();

    // A bad checking time: named in the message, nothing sent.
    sSim->clearRequestLog();
    child<QLineEdit>("Edit69")->setText("abc");
    divers->Button29Click();
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0], "abc is not a valid value for Checking Time");
    EXPECT_TRUE(requests("PositionerMotionDoneSet").empty());

    // An unknown positioner: the controller's text in the log pane.
    box->clear();
    box->addItem("NOGROUP.Q");
    window->clearLog();
    divers->PositionerMotionDoneGetButtonClick();
    EXPECT_FALSE(window->logPane()->toPlainText().isEmpty());
}

TEST_F(FrameSimTest, DiversPageRunsAndKillsATaskByItsBlankFreeName)
{
    auto* divers = qobject_cast<PageDivers*>(window->page("TabSheet2"));
    ASSERT_NE(divers, nullptr);
    auto* script = child<QComboBox>("ComboBox9");
    auto* task = child<QLineEdit>("Edit88");

    script->setEditText("");
    task->setText("t");
    divers->Button59Click();
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0], "Nom de script invalide");
    script->setEditText("wait.tcl");
    task->setText("  ");
    divers->Button59Click();
    ASSERT_EQ(messages.size(), 2u);
    EXPECT_EQ(messages[1], "Nom de tâche invalide");
    EXPECT_TRUE(requests("TCLScriptExecute").empty());

    task->setText("my task");
    child<QLineEdit>("Edit89")->setText("1 2");
    divers->Button59Click();
    ASSERT_EQ(requests("TCLScriptExecute").size(), 1u);
    EXPECT_EQ(requests("TCLScriptExecute")[0], "TCLScriptExecute(wait.tcl,mytask,1 2)");
    auto* running = child<QLabel>("LabelRunning");
    EXPECT_FALSE(running->isHidden());
    EXPECT_EQ(running->text().toStdString(), "mytask running");

    divers->Button60Click();
    ASSERT_EQ(requests("TCLScriptKill").size(), 1u);
    EXPECT_EQ(requests("TCLScriptKill")[0], "TCLScriptKill(mytask)");
    EXPECT_TRUE(running->isHidden());
    EXPECT_TRUE(waitFor([] {
        for (const auto& t : sSim->runningTasks())
            if (t == "mytask") return false;
        return true;
    }));
}

TEST_F(FrameSimTest, PositionDisplayRunsWhileAMotionPageIsShown)
{
    sSim->setPositions("GROUP2", {1.25, -3.5});
    window->show();
    auto* probe = dynamic_cast<PositionProbe*>(window->page("TSXY"));
    ASSERT_NE(probe, nullptr);
    window->pageControl()->setCurrentWidget(probe);
    EXPECT_TRUE(window->positionTimer()->isActive());
    EXPECT_EQ(link::CurrentController().threadGroupName(), "GROUP2");
    EXPECT_TRUE(waitFor([&] { return probe->shown == std::vector<double>{1.25, -3.5}; }));

    // The general page stops the display.
    window->pageControl()->setCurrentIndex(0);
    EXPECT_FALSE(window->positionReadingOn());
    EXPECT_FALSE(window->positionTimer()->isActive());
    window->close();
    link::CurrentController().joinWorkers(true);
}

// Closed on a motion page and opened again: the page reads and shows its positions again.
TEST_F(FrameSimTest, ReopenedOnAMotionPageThePositionDisplayRunsAgain)
{
    auto* probe = dynamic_cast<PositionProbe*>(window->page("TSXY"));
    ASSERT_NE(probe, nullptr);
    window->show();
    window->pageControl()->setCurrentWidget(probe);
    ASSERT_TRUE(window->positionReadingOn());
    QTest::mouseClick(child<QWidget>("Button3"), Qt::LeftButton);
    ASSERT_FALSE(window->positionReadingOn());
    link::CurrentController().joinWorkers(true);

    sSim->setPositions("GROUP2", {2.5, 4.0});
    probe->shown.clear();
    window->show();
    EXPECT_EQ(window->pageControl()->currentWidget(), probe);
    EXPECT_TRUE(window->positionReadingOn());
    EXPECT_TRUE(window->positionTimer()->isActive());
    EXPECT_TRUE(waitFor([&] { return probe->shown == std::vector<double>{2.5, 4.0}; }));
    window->close();
    link::CurrentController().joinWorkers(true);
}

TEST_F(FrameSimTest, GroupStatusReachesEveryPage)
{
    auto* probe = dynamic_cast<PositionProbe*>(window->page("TSXY"));
    ASSERT_NE(probe, nullptr);
    sSim->setGroupStatus("GROUP3", 12);
    EXPECT_EQ(window->readGroupStatus("GROUP3"), std::optional<int>(12));
    ASSERT_EQ(probe->statuses.size(), 1u);
    EXPECT_EQ(probe->statuses[0], std::optional<int>(12));
    EXPECT_FALSE(window->readGroupStatus("NOGROUP").has_value());
    ASSERT_EQ(probe->statuses.size(), 2u);
    EXPECT_FALSE(probe->statuses[1].has_value());
    EXPECT_FALSE(window->logPane()->toPlainText().isEmpty());
    EXPECT_FALSE(window->GroupStatusText(12).isEmpty());
    EXPECT_NE(window->GroupStatusText(12).toStdString(), "Probleme de connection");
}

TEST_F(FrameSimTest, DiversRebootStopsTheIoPollAndComesBackConnected)
{
    link::connectionState().RebootWaitMs = 0;
    ASSERT_TRUE(link::CurrentController().connectTransfer(false));
    // An I/O poll of a page: stopped by the reboot.
    auto* poll = new QTimer(window->page("TSIO"));
    poll->setObjectName("Timer1");
    poll->start(100);
    window->show();
    auto* divers = dynamic_cast<PageDivers*>(window->page("TabSheet2"));
    ASSERT_NE(divers, nullptr);
    divers->Button61Click();
    EXPECT_FALSE(poll->isActive());
    EXPECT_TRUE(link::CurrentController().poolOpen());
    EXPECT_TRUE(window->logPane()->toPlainText().contains("Reboot KVX")) << window->logPane()->toPlainText().toStdString();
    bool ok = false;
    for (const auto& m : messages) ok = ok || m == "REBOOT OK";
    EXPECT_TRUE(ok);
    EXPECT_TRUE(child<QProgressBar>("ProgressBar1")->isHidden());
}

TEST_F(FrameSimTest, ClosingEndsTheReadingAndTheFileTransfer)
{
    ASSERT_TRUE(link::CurrentController().connectTransfer(false));
    window->show();
    window->pageControl()->setCurrentWidget(window->page("TSXY"));
    ASSERT_TRUE(window->positionReadingOn());
    auto* poll = new QTimer(window->page("TSIO"));
    poll->setObjectName("Timer1");
    poll->start(100);
    QTest::mouseClick(child<QWidget>("Button3"), Qt::LeftButton);
    EXPECT_FALSE(window->isVisible());
    EXPECT_FALSE(window->positionReadingOn());
    EXPECT_FALSE(window->positionTimer()->isActive());
    EXPECT_FALSE(poll->isActive());
    EXPECT_FALSE(link::CurrentController().transferConnected());
    link::CurrentController().joinWorkers(true);
    EXPECT_EQ(link::CurrentController().workersRunning(), 0);
}
