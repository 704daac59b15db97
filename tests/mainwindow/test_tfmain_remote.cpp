// The remote-control commands on the real main window (simulation): what each step allows.
#include "mainwindow_fixture.h"

#include "app/batchrun.h"
#include "core/cmdline.h"
#include "core/common.h"
#include "core/inifile.h"
#include "mainwindow/remoteserver.h"
#include "support/serverport.h"

#include <QAction>
#include <QLabel>
#include <QSpinBox>
#include <QTabWidget>
#include <QTcpSocket>
#include <QTest>

namespace mvx::test {
namespace {

using RemoteJobTest = MainWindowTest;

quint16 FreePort() { return static_cast<quint16>(FreeServerPort()); }

// One command to the server over loopback, its reply (empty: no connection or no reply).
std::string Ask(quint16 port, const std::string& text)
{
    QTcpSocket client;
    client.connectToHost(QHostAddress::LocalHost, port);
    if (!client.waitForConnected(1000)) return {};
    client.write(text.data(), static_cast<qint64>(text.size()));
    client.flush();
    std::string reply;
    (void)QTest::qWaitFor(
        [&] {
            reply += client.readAll().toStdString();
            return reply.find("DONE") != std::string::npos || reply.find("FAILED") != std::string::npos;
        },
        3000);
    return reply;
}

TEST_F(RemoteJobTest, CommandsFollowTheWindowState)
{
    WriteFile(Gcode("part1.nc"), ReadFile(MVX_SAMPLE));
    RemoteServer server(mWin->job());
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

TEST_F(RemoteJobTest, ServerMenuItemsSwitchTheServerAndSetItsPort)
{
    const quint16 first = FreePort();
    const quint16 second = FreePort();
    ASSERT_NE(first, 0);
    ASSERT_NE(second, 0);
    SettingsIni()->writeInteger("TCP-IP server", "PORT", first);
    SettingsIni()->writeBool("TCP-IP server", "Active", false);
    MakeWindow();
    RemoteServer server(mWin->job());
    mWin->setRemoteServer(&server);
    QAction* toggle = mWin->action("ServeurTCPIP1");
    QAction* portItem = mWin->action("Serverport1");
    ASSERT_NE(toggle, nullptr);
    ASSERT_NE(portItem, nullptr);
    EXPECT_FALSE(toggle->isChecked());
    EXPECT_FALSE(server.isActive());

    // "Serveur TCP-IP": checked, listening on every interface, and written.
    toggle->trigger();
    EXPECT_TRUE(toggle->isChecked());
    ASSERT_TRUE(server.isActive());
    EXPECT_EQ(server.serverPort(), first);
    EXPECT_EQ(server.serverAddress(), QHostAddress(QHostAddress::Any));
    EXPECT_TRUE(SettingsIni()->readBool("TCP-IP server", "Active", false));
    EXPECT_EQ(Ask(first, "HELLO\n"), "HELLO NOT DONE");
    EXPECT_EQ(mWin->findChild<QLabel*>("StatusPanel4")->text().toStdString(), "Connected to 127.0.0.1");

    // "Server port": the query shows the port in use; only a port number is taken, and it is
    // used from the next activation.
    mAnswers = {"80000", "port", std::to_string(second)};
    for (int i = 0; i < 3; ++i) portItem->trigger();
    ASSERT_EQ(mPrompts.size(), 3u);
    EXPECT_EQ(mPrompts[0], "TCP-IP SERVER|Port used by server : ");
    EXPECT_EQ(SettingsIni()->readInteger("TCP-IP server", "PORT", 0), second);
    EXPECT_EQ(server.serverPort(), first);

    toggle->trigger();
    EXPECT_FALSE(toggle->isChecked());
    EXPECT_FALSE(server.isActive());
    EXPECT_FALSE(SettingsIni()->readBool("TCP-IP server", "Active", true));
    EXPECT_EQ(Ask(first, "HELLO\n"), "");

    toggle->trigger();
    ASSERT_TRUE(server.isActive());
    EXPECT_EQ(server.serverPort(), second);
    EXPECT_EQ(Ask(second, "3D\n"), "3D FAILED");  // the 3D page is hidden

    // A new window starts the server as the settings now say.
    server.deactivate();
    MakeWindow();
    RemoteServer again(mWin->job());
    mWin->setRemoteServer(&again);
    EXPECT_TRUE(mWin->action("ServeurTCPIP1")->isChecked());
    ASSERT_TRUE(again.isActive());
    EXPECT_EQ(again.serverPort(), second);
}

TEST_F(RemoteJobTest, AServerPortThatIsNoPortGivesTheDefault)
{
    for (const char* stored : {"0", "-5", "70000", "port"}) {
        SettingsIni()->writeString("TCP-IP server", "PORT", stored);
        MakeWindow();
        EXPECT_EQ(mWin->settings().ServerPort, 8000) << stored;
    }
}

TEST_F(RemoteJobTest, HiddenServerArgumentHidesTheWindowAndServesAtEveryTick)
{
    const quint16 port = FreePort();
    ASSERT_NE(port, 0);
    SettingsIni()->writeInteger("TCP-IP server", "PORT", port);
    SettingsIni()->writeBool("TCP-IP server", "Active", false);
    MakeWindow();
    CommandLine cl = ParseCommandLine({"part.nc", "hide"});
    ASSERT_TRUE(cl.HiddenServer);
    mWin->setBatchRunner(std::make_unique<BatchRunner>(cl));
    RemoteServer server(mWin->job());
    mWin->setRemoteServer(&server);
    EXPECT_FALSE(server.isActive());
    mWin->show();
    for (int tick = 0; tick < 3; ++tick) {
        mWin->PollHiddenServerStep();
        // Switched off between ticks: the next tick switches it on again.
        if (tick == 1) server.deactivate();
    }
    EXPECT_FALSE(mWin->isVisible());
    EXPECT_TRUE(mWin->action("ServeurTCPIP1")->isChecked());
    ASSERT_TRUE(server.isActive());
    EXPECT_EQ(server.serverPort(), port);
    EXPECT_EQ(Ask(port, "SHOW\n"), "SHOW DONE");
    EXPECT_TRUE(mWin->isVisible());
    // The poll reads the lamps of the output setup.
    mIo->outputEdit(3)->setValue(7);
    EXPECT_EQ(mWin->PollConfiguration().Lamps[3].Bit, 7);
    EXPECT_TRUE(mWin->PollSimulation());
}

}  // namespace
}  // namespace mvx::test
