// The program's windows as its wiring makes them, against the controller simulator.
#include "link/controller.h"
#include "tests/support/programfolder.h"

#include "app/dialogs.h"
#include "core/cmdline.h"
#include "core/common.h"
#include "core/inifile.h"
#include "link/linktexts.h"
#include "link/transfer.h"
#include "mainwindow/poll.h"
#include "mainwindow/remoteserver.h"
#include "mainwindow/tfmain.h"
#include "tests/program/wiring.h"
#include "tests/support/serverport.h"
#include "translator/texts.h"

#include <QAction>
#include <QApplication>
#include <QTimer>
#include <QTemporaryDir>
#include <QTest>

#include <algorithm>
#include <filesystem>
#include <functional>
#include <fstream>
#include <memory>

using namespace mvx;

namespace {

class ProgramSim : public test::ProgramFolderSimTest {
protected:
    void SetUp() override
    {
        ProgramFolderSimTest::SetUp();
        if (HasFatalFailure()) return;
        sim().clearRequestLog();
    }
};

// The program's windows as the start-up makes them: an activation opens the file-transfer
// session again when it was closed, and a controller without a usable group is named with the
// text of its language key and leaves the program in simulation.
TEST_F(ProgramSim, ActivationOpensAClosedTransferSessionAndChecksTheGroup)
{
    SettingsIni()->writeBool("MAIN", "HIDE FCONNECT", true);
    SettingsIni()->writeString("KVX", "TYPE", "Q");
    const std::string system = sim().readFile("Config/system.ini");
    struct Restore {
        std::function<void()> f;
        ~Restore() { f(); }
    } restore{[&] {
        sim().writeFile("Config/system.ini", system);
        texts::restoreBuiltins(texts::Family::Translator);
    }};
    const StartupHooks hooks = mvx::test::programWiring().startupHooks();
    std::unique_ptr<QWidget> main(hooks.createWindows(CommandLine{}));
    ASSERT_TRUE(hooks.connect());
    auto* win = qobject_cast<TFmain*>(main.get());
    ASSERT_NE(win, nullptr);
    EXPECT_FALSE(win->simulation());

    link::CurrentController().disconnectTransfer();
    ASSERT_FALSE(link::CurrentController().transferConnected());
    sim().clearRequestLog();
    main->show();
    EXPECT_TRUE(QTest::qWaitFor([] { return link::CurrentController().transferConnected(); }, 5000));
    // The group is read: the poll follows it.
    EXPECT_TRUE(QTest::qWaitFor([] { return !requestsOf("GroupPositionCurrentGet(GROUP1,").empty(); }, 5000));
    EXPECT_TRUE(mMessages.empty()) << mMessages.front();

    // A controller whose machining group has one axis only.
    sim().writeFile("Config/system.ini",
                    "[GROUPS]\r\nMultipleAxesInUse = GROUP1\r\n\r\n[GROUP1]\r\nPositionerNumber = 1\r\n"
                    "PositionerInUse = X\r\n\r\n[GROUP1.X]\r\nPlugNumber = 1\r\nStageName = LINEAR_300\r\n");
    texts::set("stringkvxnotconfigured", "Pas de groupe \"multi\" utilisable");
    link::CurrentController().disconnectTransfer();
    main->hide();
    main->show();
    EXPECT_TRUE(QTest::qWaitFor([&] { return !mMessages.empty(); }, 5000));
    ASSERT_EQ(mMessages.size(), 1u);
    EXPECT_EQ(mMessages[0], "Pas de groupe \"multi\" utilisable (1 axes)");
    EXPECT_TRUE(link::CurrentController().transferConnected());
    EXPECT_TRUE(win->simulation());
    EXPECT_FALSE(win->action("Init1")->isEnabled());
    main->hide();
}

// Boxes that open while a program drives the window are closed at once and named here.
class ModalWatch {
public:
    ModalWatch()
    {
        QObject::connect(&mTimer, &QTimer::timeout, [this] {
            if (QWidget* w = QApplication::activeModalWidget()) {
                shown.push_back(w->objectName().toStdString());
                w->close();
            }
        });
        mTimer.start(20);
    }
    std::vector<std::string> shown;

private:
    QTimer mTimer;
};

// A remote DRAW whose upload cannot open the SFTP session: the library's error goes to the log
// and the command fails; no box waits for a button nobody will press.
TEST_F(ProgramSim, RemoteDrawWithAFailingSftpSessionOpensNoBox)
{
    SettingsIni()->writeBool("MAIN", "HIDE FCONNECT", true);
    SettingsIni()->writeBool("TCP-IP server", "Active", false);
    const StartupHooks hooks = mvx::test::programWiring().startupHooks();
    std::unique_ptr<QWidget> main(hooks.createWindows(CommandLine{}));
    ASSERT_TRUE(hooks.connect());
    auto* win = qobject_cast<TFmain*>(main.get());
    ASSERT_NE(win, nullptr);
    ASSERT_FALSE(win->simulation());
    win->setGroupShape(false, 3);
    std::ofstream(mRoot + "GCODE/PART.NC") << "G90\nG01 X1 Y1 Z0 F100\nG01 X2 Y1 Z0\nM30\n";
    std::vector<std::string> logged;
    mvx::link::CurrentController().setLogHandler([&logged](const std::string& line) { logged.push_back(line); });

    const std::string password = common().FtpPassword;
    link::CurrentController().disconnectTransfer();
    common().TransferMode = TransferSftp;
    common().FtpPassword = "not the password";
    struct Restore {
        std::function<void()> f;
        ~Restore() { f(); }
    } restore{[&] {
        mvx::link::CurrentController().setLogHandler(nullptr);
        common().FtpPassword = password;
        link::CurrentController().disconnectTransfer();
        common().TransferMode = TransferFtp;
    }};
    mMessages.clear();
    auto* server = main->findChild<RemoteServer*>();
    ASSERT_NE(server, nullptr);
    ModalWatch modals;
    EXPECT_EQ(server->runCommand("DRAW part.nc"), "DRAW FAILED");
    QTest::qWait(100);
    EXPECT_TRUE(mMessages.empty()) << mMessages.front();
    EXPECT_TRUE(modals.shown.empty()) << modals.shown.front();
    EXPECT_FALSE(logged.empty());
}

// In the hidden server mode a position read that fails says so in the log, and neither the
// message nor the axes setup opens as a box on the hidden window.
TEST_F(ProgramSim, HiddenServerPositionFaultOpensNoBox)
{
    const int port = test::FreeServerPort();
    ASSERT_NE(port, 0);
    SettingsIni()->writeBool("MAIN", "HIDE FCONNECT", true);
    SettingsIni()->writeInteger("TCP-IP server", "PORT", port);
    SettingsIni()->writeBool("TCP-IP server", "Active", false);
    SettingsIni()->writeInteger("ENCODER", "PERIOD", 20);
    CommandLine cl = ParseCommandLine({"hidden.nc", "hide"});
    ASSERT_TRUE(cl.HiddenServer);
    const StartupHooks hooks = mvx::test::programWiring().startupHooks();
    std::unique_ptr<QWidget> main(hooks.createWindows(cl));
    ASSERT_TRUE(hooks.connect());
    auto* win = qobject_cast<TFmain*>(main.get());
    ASSERT_NE(win, nullptr);
    std::vector<std::string> logged;
    mvx::link::CurrentController().setLogHandler([&logged](const std::string& line) { logged.push_back(line); });
    struct Restore {
        std::function<void()> f;
        ~Restore() { f(); }
    } restore{[&] {
        mvx::link::CurrentController().setLogHandler(nullptr);
        sim().clearFaults();
    }};
    test::KvxFault fault;
    fault.function = "GroupPositionCurrentGet";
    fault.kind = "error";
    fault.code = -17;
    sim().setFault(fault);
    mMessages.clear();
    ModalWatch modals;
    win->setGroupShape(false, 3);
    const std::string text = texts::get("Stringerreurnomaxe");
    EXPECT_TRUE(QTest::qWaitFor([&] { return std::find(logged.begin(), logged.end(), text) != logged.end(); }, 5000));
    QTest::qWait(100);
    if (PositionPoll* p = win->poll()) p->stop();
    EXPECT_TRUE(mMessages.empty()) << mMessages.front();
    EXPECT_TRUE(modals.shown.empty()) << modals.shown.front();
    EXPECT_FALSE(win->isVisible());
}

}  // namespace
