// The remote-control protocol over a real loopback socket, against a job double that records
// what the server asked of the main window.
#include "mainwindow/jobcontrol.h"
#include "mainwindow/remoteserver.h"

#include "app/dialogs.h"
#include "core/fileutil.h"
#include "core/inifile.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace mvx;

namespace {

// The main window as the server sees it, in simulation unless told otherwise.
class RecordingJob : public JobControl {
public:
    explicit RecordingJob(std::string folder) : mFolder(std::move(folder)) {}

    bool simulation = true;
    bool visible = true;
    bool loaded = false;
    int mode = 1;
    int drawWaitMs = 10000;
    bool stopRequested = false;
    std::vector<std::string> calls;
    std::vector<std::string> statusTexts;

    bool JobInit() override { return record("init", !simulation); }
    bool JobExtend() override { return record("extend", true); }
    bool JobReduce() override { return record("reduce", true); }
    bool JobShow() override
    {
        const bool ok = !visible;
        visible = true;
        return record("show", ok);
    }
    bool JobHide() override
    {
        const bool ok = visible;
        visible = false;
        return record("hide", ok);
    }
    bool JobRead(const std::string& fileName) override
    {
        const bool ok = !FindFileNoCase(mFolder, fileName).empty();
        loaded = loaded || ok;
        return record("read " + fileName, ok);
    }
    bool JobDraw(const std::string& fileName) override
    {
        record("draw " + fileName, true);
        if (FindFileNoCase(mFolder, fileName).empty()) return false;
        // A long job: it waits, with events dispatched, until it ends or STOP arrives.
        stopRequested = false;
        QElapsedTimer t;
        t.start();
        while (!stopRequested && t.elapsed() < drawWaitMs) WaitWithMessages(10);
        return !stopRequested && !simulation;
    }
    bool JobCreate() override { return record("create", loaded); }
    bool JobExecute() override { return record("execute", loaded && !simulation); }
    bool JobVerify() override { return record("verify", loaded && !simulation); }
    bool JobMode(int m) override
    {
        record("mode " + std::to_string(m), true);
        if (m == 3 && simulation) {
            mode = 1;
            return false;
        }
        mode = m;
        return true;
    }
    bool JobShow3D() override { return record("3d", true); }
    bool JobStop() override
    {
        stopRequested = true;
        return record("stop", true);
    }
    void JobStatusText(const std::string& text) override { statusTexts.push_back(text); }

private:
    bool record(std::string call, bool ok)
    {
        calls.push_back(std::move(call));
        return ok;
    }
    std::string mFolder;
};

class RemoteProtocol : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(dir.isValid());
        folder = dir.path().toStdString() + "/";
        for (const char* name : {"PART1.NC", "PINIT.NC"}) {
            QFile f(dir.filePath(name));
            ASSERT_TRUE(f.open(QIODevice::WriteOnly));
            f.write("G01 X1 Y2\n");
        }
        job = std::make_unique<RecordingJob>(folder);
        server = std::make_unique<RemoteServer>(*job);
        ASSERT_TRUE(server->activate(0));  // a free port on 127.0.0.1
        client.connectToHost(QHostAddress::LocalHost, server->serverPort());
        ASSERT_TRUE(client.waitForConnected(2000));
        ASSERT_TRUE(QTest::qWaitFor([&] { return !job->statusTexts.empty(); }, 2000));
    }

    // Sends one text and returns everything received until the replies stop coming.
    std::string exchange(const std::string& text, int expectedReplies = 1, int timeoutMs = 3000)
    {
        received.clear();
        client.write(text.data(), static_cast<qint64>(text.size()));
        client.flush();
        return collect(expectedReplies, timeoutMs);
    }
    std::string collect(int expectedReplies, int timeoutMs = 3000)
    {
        const auto count = [&] {
            int n = 0;
            for (const char* end : {" DONE", " FAILED"})
                for (std::size_t p = received.find(end); p != std::string::npos; p = received.find(end, p + 1)) ++n;
            return n;
        };
        (void)QTest::qWaitFor(
            [&] {
                received += client.readAll().toStdString();
                return count() >= expectedReplies;
            },
            timeoutMs);
        QTest::qWait(30);  // nothing more must follow
        received += client.readAll().toStdString();
        return received;
    }

    QTemporaryDir dir;
    std::string folder;
    std::unique_ptr<RecordingJob> job;
    std::unique_ptr<RemoteServer> server;
    QTcpSocket client;
    std::string received;
};

struct Row {
    const char* text;
    const char* reply;
    const char* call;  // the job operation run, "" for none
};

TEST_F(RemoteProtocol, EveryCommandInSimulation)
{
    const Row rows[] = {
        {"hello", "HELLO NOT DONE", ""},
        {"THREAD", "THREAD NOT DONE", ""},
        {"init", "INIT FAILED", "init"},
        {"EXTEND", "EXTEND DONE", "extend"},
        {"REDUCE", "REDUCE DONE", "reduce"},
        {"SHOW", "SHOW FAILED", "show"},
        {"HIDE", "HIDE DONE", "hide"},
        {"HIDE", "HIDE FAILED", "hide"},
        {"show", "SHOW DONE", "show"},
        {"EXECUTE", "EXECUTE FAILED", "execute"},
        {"CREATE", "CREATE FAILED", "create"},
        {"READ PINIT.NC", "READ DONE", "read PINIT.NC"},
        {"READ part 1.nc", "READ DONE", "read PART1.NC"},
        {"CREATE", "CREATE DONE", "create"},
        {"EXECUTE", "EXECUTE FAILED", "execute"},
        {"VERIFY", "VERIFY FAILED", "verify"},
        {"3D", "3D DONE", "3d"},
        {"STOP", "STOP DONE", "stop"},
        {"MODE 2", "MODE DONE", "mode 2"},
        {"MODE 1", "MODE DONE", "mode 1"},
        {"MODE", "MODE FAILED", ""},
        {"MODE 7", "MODE FAILED", ""},
        {"MODE1", "MODE1 NOT DONE", ""},
    };
    for (const Row& row : rows) {
        job->calls.clear();
        EXPECT_EQ(exchange(row.text), row.reply) << row.text;
        const std::vector<std::string> expected = *row.call ? std::vector<std::string>{row.call} : std::vector<std::string>{};
        EXPECT_EQ(job->calls, expected) << row.text;
    }
}

TEST_F(RemoteProtocol, ModeThreeInSimulationFailsAndSelectsSct)
{
    EXPECT_EQ(exchange("MODE 2"), "MODE DONE");
    EXPECT_EQ(job->mode, 2);
    EXPECT_EQ(exchange("MODE 3"), "MODE FAILED");
    EXPECT_EQ(job->mode, 1);
    job->simulation = false;
    EXPECT_EQ(exchange("MODE 3"), "MODE DONE");
    EXPECT_EQ(job->mode, 3);
    EXPECT_EQ(exchange("INIT"), "INIT DONE");
}

TEST_F(RemoteProtocol, FileNamesThatLeaveTheGcodeFolderOrDoNotExistAreRefused)
{
    const Row rows[] = {
        {"READ missing.nc", "READ FAILED", "read MISSING.NC"},
        {"READ ../PART1.NC", "READ FAILED", ""},
        {"READ ..", "READ FAILED", ""},
        {"READ /etc/passwd", "READ FAILED", ""},
        {"READ sub\\PART1.NC", "READ FAILED", ""},
        {"READ C:PART1.NC", "READ FAILED", ""},
        {"READ", "READ FAILED", ""},
        {"DRAW ../PART1.NC", "DRAW FAILED", ""},
    };
    for (const Row& row : rows) {
        job->calls.clear();
        EXPECT_EQ(exchange(row.text), row.reply) << row.text;
        const std::vector<std::string> expected = *row.call ? std::vector<std::string>{row.call} : std::vector<std::string>{};
        EXPECT_EQ(job->calls, expected) << row.text;
    }
}

TEST_F(RemoteProtocol, OverLongInputIsRefusedWithoutRunning)
{
    EXPECT_EQ(exchange(std::string(5000, 'A')), "NOT DONE");
    QTest::qWait(100);  // without a line end, the refused text ends with a pause
    EXPECT_EQ(exchange("READ " + std::string(300, 'B')), "READ FAILED");
    EXPECT_EQ(exchange("READ " + std::string(2000, 'C') + "\n"), "READ FAILED");
    EXPECT_TRUE(job->calls.empty());
    // The connection still serves the next command.
    EXPECT_EQ(exchange("3D"), "3D DONE");
}

TEST_F(RemoteProtocol, StopDuringALongDrawIsAnsweredAtOnceAndEndsTheDraw)
{
    // The draw waits inside the event loop; the client's STOP is sent from there.
    bool drawRunning = false;
    QTimer::singleShot(150, [&] {
        drawRunning = !job->calls.empty() && job->calls.back() == "draw PART1.NC";
        client.write("STOP");
        client.flush();
    });
    QElapsedTimer t;
    t.start();
    EXPECT_EQ(exchange("DRAW PART1.NC", 2), "STOP DONEDRAW FAILED");
    EXPECT_TRUE(drawRunning);
    EXPECT_LT(t.elapsed(), 3000);  // the draw would wait 10 s without the STOP
    EXPECT_EQ(job->calls, (std::vector<std::string>{"draw PART1.NC", "stop"}));
}

TEST_F(RemoteProtocol, CommandsAfterALongOneWaitTheirTurn)
{
    job->drawWaitMs = 300;
    const std::string text = "DRAW PART1.NC\r\n3D\r\nMODE 2\r\n";
    EXPECT_EQ(exchange(text, 3), "DRAW FAILED3D DONEMODE DONE");
    EXPECT_EQ(job->calls, (std::vector<std::string>{"draw PART1.NC", "3d", "mode 2"}));
}

TEST_F(RemoteProtocol, ABoundedNumberOfCommandsWaitsBehindALongOne)
{
    job->drawWaitMs = 400;
    std::string text = "DRAW PART1.NC\n";
    for (int i = 0; i < 300; ++i) text += "3D\n";
    const std::string all = exchange(text, 301, 5000);
    const auto count = [&](const std::string& what) {
        int n = 0;
        for (std::size_t p = all.find(what); p != std::string::npos; p = all.find(what, p + 1)) ++n;
        return n;
    };
    // The draw itself takes one of the places: it arrived in the same chunk.
    EXPECT_EQ(count("3D DONE"), 255);
    EXPECT_EQ(count("3D FAILED"), 300 - 255);
    EXPECT_EQ(count("DRAW FAILED"), 1);
}

TEST_F(RemoteProtocol, StatusPanelFollowsTheClient)
{
    EXPECT_EQ(job->statusTexts.front(), "Connected to 127.0.0.1");
    EXPECT_EQ(server->lastPeer(), "127.0.0.1");
    client.disconnectFromHost();
    EXPECT_TRUE(QTest::qWaitFor([&] { return job->statusTexts.back() == "Disconnected"; }, 2000));
}

TEST(RemoteCommandWords, FirstWordDecides)
{
    struct WordRow {
        const char* text;
        RemoteServer::Word word;
        const char* argument;
    };
    const WordRow rows[] = {
        {"READ PINIT.NC", RemoteServer::Word::Read, "PINIT.NC"},
        {"  draw  a b.nc \r\n", RemoteServer::Word::Draw, "a b.nc"},
        {"CREATE EXECUTE", RemoteServer::Word::Create, "EXECUTE"},
        {"EXECUTE", RemoteServer::Word::Execute, ""},
        {"THREAD", RemoteServer::Word::None, ""},
        {"hello init", RemoteServer::Word::None, ""},
        {"3d", RemoteServer::Word::Show3D, ""},
    };
    for (const WordRow& row : rows) {
        const RemoteServer::Parsed p = RemoteServer::Parse(row.text);
        EXPECT_EQ(p.word, row.word) << row.text;
        if (p.word != RemoteServer::Word::None) {
            EXPECT_EQ(p.argument, row.argument) << row.text;
        }
    }
    EXPECT_EQ(RemoteServer::CheckedFileName(" part 1.nc\r\n"), "PART1.NC");
    EXPECT_EQ(RemoteServer::CheckedFileName(std::string(255, 'a')), std::string(255, 'A'));
    EXPECT_EQ(RemoteServer::CheckedFileName(std::string(256, 'a')), "");
    EXPECT_EQ(RemoteServer::CheckedFileName("a..b"), "");
}

}  // namespace
