// File transfer, configuration lists, detection and the start-up connection, against the
// controller simulator over loopback.

#include "link/controller.h"
#include "link/controllerconfig.h"
#include "link/ftp.h"
#include "link/linktexts.h"
#include "link/ssh.h"
#include "link/transfer.h"
#include "support/kvxsim_fixture.h"
#include "transfer_support.h"

#include "core/common.h"
#include "app/dialogs.h"
#include "core/inifile.h"

#include <gtest/gtest.h>

#include <QApplication>

#include <algorithm>
#include <atomic>
#include <cctype>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <sstream>
#include <string>
#include <vector>

namespace fs = std::filesystem;
using namespace mvx;
using mvx::test::KvxSim;
using mvx::test::KvxSimOptions;

namespace mvx::testing_link {

void WriteAll(const std::string& path, const std::string& data)
{
    fs::create_directories(fs::path(path).parent_path());
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << data;
}

Recorder& recorder()
{
    static Recorder r;
    return r;
}

void ResetLink(const std::string& address)
{
    link::CurrentController().disconnectTransfer();
    auto& c = common();
    c.ControllerIp = address;
    c.TransferMode = TransferNone;
    c.TransferConnected = 0;
    c.SftpRoot = "/mnt/user/Public";
    c.ControllerModel = ModelNone;
    c.LocalDiskDrive = "Z:";
    auto& t = link::CurrentController().transfer();
    t = link::TransferState{};
    recorder().clear();
}

}  // namespace mvx::testing_link

using namespace mvx::testing_link;

namespace {

// ----- configuration lists ---------------------------------------------------------------------

struct ListRow {
    const char* value;
    link::ListKind kind;
    std::vector<std::string> items;
};

TEST(ConfigList, ValuesAsRead)
{
    const ListRow rows[] = {
        {"GROUP1, GROUP2 ; comment", link::ListKind::Groups, {"GROUP1", "GROUP2"}},
        {"No stage", link::ListKind::Groups, {}},
        {"No stage ; none here", link::ListKind::Groups, {}},
        {"", link::ListKind::Groups, {}},
        {" ,.;", link::ListKind::Groups, {}},
        {"G 1", link::ListKind::Groups, {"G1"}},
        {"GROUP3,,GROUP4.,", link::ListKind::Groups, {"GROUP3", "GROUP4"}},
        {"X , Y.", link::ListKind::Positioners, {"X", "Y"}},
        {"X, Y, Z", link::ListKind::Positioners, {"X", "Y", "Z"}},
        {"T ;rotary", link::ListKind::Positioners, {"T"}},
    };
    for (const auto& r : rows) EXPECT_EQ(link::ParseConfigList(r.value, r.kind), r.items) << r.value;
}

TEST(ConfigList, GroupPagesFromSystemIni)
{
    const std::string path = common().ProgramDir + "groups_test.ini";
    WriteAll(path,
             "[groups]\n"
             "SingleAxisInUse = GROUP1, GROUP2 ; two\n"
             "SpindleInUse = SPIN\n"
             "XYInUse = No stage\n"
             "XYGantryInUse = GANTRY\n"
             "XYZInUse = No stage\n"
             "[GROUP1]\nPositionerNumber = 1\nPositionerInUse = X.\n"
             "[GANTRY]\nPositionerInUse = X , Y.\n");
    const auto g = link::CurrentController().readGroups(path);
    EXPECT_EQ(g.single, (std::vector<std::string>{"GROUP1", "GROUP2", "SPIN"}));
    EXPECT_EQ(g.singleText, "SPIN");
    EXPECT_TRUE(g.singlePage);
    EXPECT_EQ(g.xy, std::vector<std::string>{"GANTRY"});
    EXPECT_EQ(g.xyText, "GANTRY");
    EXPECT_TRUE(g.xyPage);
    EXPECT_FALSE(g.xyzPage);
    EXPECT_FALSE(g.multiplePage);  // key missing: "No stage"
    EXPECT_EQ(link::PositionerList(path, "gantry"), (std::vector<std::string>{"X", "Y"}));
    EXPECT_EQ(link::PositionerNumber(path, "GANTRY"), 1);
    EXPECT_EQ(link::AllPositionerNames(path), (std::vector<std::string>{"GROUP1.X", "GANTRY.X", "GANTRY.Y"}));

    const auto none = link::CurrentController().readGroups(common().ProgramDir + "missing.ini");
    EXPECT_FALSE(none.singlePage || none.xyPage || none.xyzPage || none.multiplePage);
}

TEST(FtpListing, UnixLines)
{
    const auto e = link::ParseUnixListing(
        "total 3\r\n"
        "drwxr-xr-x   2 admin    admin        4096 Dec 10 12:13 .\r\n"
        "drwxr-xr-x   2 admin    admin        4096 Dec 10 12:13 Scripts\r\n"
        "-rw-r--r--   1 admin    admin        1234 Jan  2  2025 my file.tcl\r\n"
        "lrwxrwxrwx   1 admin  7 Mar  3 10:00 cur -> Scripts\r\n"
        "garbage line\r\n");
    ASSERT_EQ(e.size(), 3u);
    EXPECT_EQ(e[0].name, "Scripts");
    EXPECT_TRUE(e[0].directory);
    EXPECT_EQ(e[1].name, "my file.tcl");
    EXPECT_EQ(e[1].size, 1234u);
    EXPECT_EQ(e[1].dateText, "Jan  2  2025");
    EXPECT_EQ(e[2].name, "cur");
    EXPECT_TRUE(e[2].link);
    EXPECT_EQ(e[2].linkTarget, "Scripts");
}

// ----- FTP client ------------------------------------------------------------------------------

class FtpTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { sSim = new KvxSim(KvxSimOptions{}); }
    static void TearDownTestSuite()
    {
        delete sSim;
        sSim = nullptr;
    }
    static KvxSim* sSim;
};
KvxSim* FtpTest::sSim = nullptr;

TEST_F(FtpTest, RoundTrips)
{
    link::FtpClient ftp;
    ASSERT_TRUE(ftp.open(sSim->address(), "Supervisorium", "Supervisorium")) << ftp.lastError();
    EXPECT_EQ(ftp.entryPath(), "/");
    const std::string local = common().ProgramDir + "ftp_up.txt";
    const std::string body = "line 1\r\nline 2\n\x01\xff binary";
    WriteAll(local, body);

    ASSERT_TRUE(ftp.makeDir("/Public/Scripts/sub dir")) << ftp.lastError();
    ASSERT_TRUE(ftp.put(local, "/Public/Scripts/sub dir/a b.tcl")) << ftp.lastError();
    EXPECT_EQ(sSim->readFile("Public/Scripts/sub dir/a b.tcl"), body);
    // Replacing keeps one file, no temporary left behind.
    WriteAll(local, "second");
    ASSERT_TRUE(ftp.put(local, "/Public/Scripts/sub dir/a b.tcl")) << ftp.lastError();
    auto l = ftp.list("/Public/Scripts/sub dir");
    ASSERT_TRUE(l);
    ASSERT_EQ(l->size(), 1u);
    EXPECT_EQ((*l)[0].name, "a b.tcl");
    EXPECT_EQ((*l)[0].size, 6u);
    EXPECT_EQ(ftp.size("/Public/Scripts/sub dir/a b.tcl").value_or(0), 6u);

    const std::string back = common().ProgramDir + "ftp_down.txt";
    ASSERT_TRUE(ftp.get("/Public/Scripts/sub dir/a b.tcl", back)) << ftp.lastError();
    EXPECT_EQ(ReadAll(back), "second");

    EXPECT_FALSE(ftp.removeDir("/Public/Scripts/sub dir"));  // not empty
    EXPECT_TRUE(ftp.removeFile("/Public/Scripts/sub dir/a b.tcl")) << ftp.lastError();
    EXPECT_TRUE(ftp.removeDir("/Public/Scripts/sub dir")) << ftp.lastError();
    EXPECT_FALSE(sSim->fileExists("Public/Scripts/sub dir"));

    // Failures are reported as failures and leave local files alone.
    EXPECT_FALSE(ftp.put(local, "/NoSuchFolder/x.tcl"));
    EXPECT_FALSE(ftp.lastError().empty());
    EXPECT_FALSE(ftp.get("/Public/Scripts/absent.tcl", back));
    EXPECT_EQ(ReadAll(back), "second");
    EXPECT_FALSE(fs::exists(back + ".part~"));
    EXPECT_FALSE(ftp.list("/NoSuchFolder"));
    ftp.close();
    EXPECT_FALSE(ftp.isOpen());
    EXPECT_FALSE(ftp.get("/Public/Scripts/absent.tcl", back));
}

// Upload and rename go in one request; a rename the server refuses (a folder holds the name)
// fails the upload, leaves the folder as it was and no temporary behind.
TEST_F(FtpTest, ARefusedRenameFailsAndLeavesNoTemporary)
{
    link::FtpClient ftp;
    ASSERT_TRUE(ftp.open(sSim->address(), "Supervisorium", "Supervisorium")) << ftp.lastError();
    const std::string local = common().ProgramDir + "ftp_rename.txt";
    WriteAll(local, "body");
    ASSERT_TRUE(ftp.makeDir("/Public/Scripts/taken"));
    sSim->writeFile("Public/Scripts/taken/inner.txt", "kept");
    sSim->clearFtpLog();
    EXPECT_FALSE(ftp.put(local, "/Public/Scripts/taken"));
    EXPECT_FALSE(ftp.lastError().empty());
    EXPECT_EQ(sSim->readFile("Public/Scripts/taken/inner.txt"), "kept");
    EXPECT_FALSE(sSim->fileExists("Public/Scripts/taken.upl"));
    // A file that goes through: one upload, its rename, nothing else but the data connection.
    sSim->clearFtpLog();
    ASSERT_TRUE(ftp.put(local, "/Public/Scripts/renamed.txt")) << ftp.lastError();
    ASSERT_TRUE(ftp.put(local, "/Public/Scripts/renamed.txt")) << ftp.lastError();
    std::vector<std::string> commands;
    for (const auto& c : sSim->ftpLog()) commands.push_back(c.command);
    const std::vector<std::string> perFile = {"EPSV", "STOR", "RNFR", "RNTO"};
    ASSERT_GE(commands.size(), perFile.size());
    EXPECT_EQ(std::vector<std::string>(commands.end() - 4, commands.end()), perFile);
    EXPECT_EQ(sSim->readFile("Public/Scripts/renamed.txt"), "body");
    EXPECT_FALSE(sSim->fileExists("Public/Scripts/renamed.txt.upl"));
    EXPECT_TRUE(ftp.removeFile("/Public/Scripts/renamed.txt"));
    EXPECT_TRUE(ftp.removeFile("/Public/Scripts/taken/inner.txt"));
    EXPECT_TRUE(ftp.removeDir("/Public/Scripts/taken"));
}

// The status display gets the server's reply lines, and none of the header-like lines that
// libcurl makes up of its own (a size as "Content-Length").
TEST_F(FtpTest, StatusShowsTheServersRepliesOnly)
{
    link::FtpClient ftp;
    std::mutex m;
    std::vector<std::string> lines;
    ftp.setStatusHandler({[&](const std::string& line) {
                              std::lock_guard l(m);
                              lines.push_back(line);
                          },
                          {}});
    ASSERT_TRUE(ftp.open(sSim->address(), "Supervisorium", "Supervisorium")) << ftp.lastError();
    sSim->writeFile("Public/Scripts/sized.txt", "123456");
    EXPECT_EQ(ftp.size("/Public/Scripts/sized.txt").value_or(0), 6u);
    ftp.close();
    std::lock_guard l(m);
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(lines.front().rfind("220", 0), 0u) << lines.front();
    EXPECT_NE(std::find_if(lines.begin(), lines.end(), [](const std::string& x) { return x.rfind("213 6", 0) == 0; }),
              lines.end());
    for (const std::string& x : lines) EXPECT_TRUE(x.size() >= 3 && std::isdigit(static_cast<unsigned char>(x[0]))) << x;
}

TEST_F(FtpTest, BadLoginFails)
{
    link::FtpClient ftp;
    EXPECT_FALSE(ftp.open(sSim->address(), "Supervisorium", "wrong"));
    EXPECT_FALSE(ftp.isOpen());
}

TEST_F(FtpTest, DroppedIdleSessionIsReopened)
{
    link::FtpClient ftp;
    ASSERT_TRUE(ftp.open(sSim->address(), "Supervisorium", "Supervisorium"));
    ASSERT_TRUE(ftp.list("/Public"));
    sSim->setRebootSeconds(0.3);
    sSim->controlRaw(R"({"cmd":"reboot"})");
    ASSERT_TRUE(sSim->waitForApi(std::chrono::milliseconds(10000)));
    const std::string back = common().ProgramDir + "ftp_after_reboot.ini";
    EXPECT_TRUE(ftp.get("/Config/system.ini", back)) << ftp.lastError();
    EXPECT_NE(ReadAll(back).find("[GROUPS]"), std::string::npos);
}

TEST(FtpCut, DownloadCutMidwayKeepsOldFile)
{
    KvxSimOptions o;
    o.rebootSeconds = 3.0;
    KvxSim sim(o);
    // Far more than loopback socket buffers hold, so the cut always falls inside the file.
    const std::string big(96 * 1024 * 1024, 'k');
    WriteAll(sim.rootDir() + "/Config/big.ini", big);
    const std::string local = common().ProgramDir + "big_local.ini";
    WriteAll(local, "[OLD]\nkept=1\n");

    link::FtpClient ftp;
    ASSERT_TRUE(ftp.open(sim.address(), "Supervisorium", "Supervisorium"));
    std::atomic<bool> cut{false};
    const bool ok = ftp.get("/Config/big.ini", local, [&](std::uint64_t done, std::uint64_t) {
        if (!cut && done > 0) {
            cut = true;
            // The controller goes away in the middle of the file.
            sim.controlRaw(R"({"cmd":"reboot"})");
            for (int i = 0; i < 1000 && sim.servicesUp(); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        return true;
    });
    EXPECT_TRUE(cut);
    EXPECT_FALSE(ok);
    EXPECT_TRUE(ReadAll(local) == "[OLD]\nkept=1\n") << "the local copy changed";
    EXPECT_FALSE(fs::exists(local + ".part~"));
    sim.waitForApi(std::chrono::milliseconds(10000));
}

}  // namespace
