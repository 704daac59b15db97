// File services with real clients (curl for FTP and SFTP, paramiko for the SSH shell), telnet,
// the web page, the configuration read from system.ini, and the reboot.

#include "sim_test_util.h"
#include "support/kvxsim_fixture.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <thread>

using namespace std::chrono_literals;
using mvx::test::KvxSim;
using mvx::test::KvxSimOptions;
using mvx::test::RawConnection;
using mvx::test::runCommand;

namespace {

std::string curlBase(const KvxSim& sim, const std::string& scheme)
{
    return "curl -sS --max-time 15 -u Supervisorium:Supervisorium " + std::string(scheme == "sftp" ? "-k " : "")
        + scheme + "://" + sim.address();
}

std::string localFile(const std::string& content)
{
    char name[] = "/tmp/kvxsim-up-XXXXXX";
    int fd = ::mkstemp(name);
    ::close(fd);
    std::ofstream(name, std::ios::binary) << content;
    return name;
}

TEST(SimFtp, ListGetPutSizeDeleteWithCurl)
{
    KvxSim sim;
    sim.writeFile("Public/Scripts/a.tcl", "puts a\n");
    auto list = runCommand(curlBase(sim, "ftp") + "/Public/Scripts/");
    ASSERT_EQ(list.status, 0) << list.output;
    EXPECT_NE(list.output.find("-rw"), std::string::npos) << list.output;  // Unix-style listing
    EXPECT_NE(list.output.find(" a.tcl"), std::string::npos) << list.output;

    auto get = runCommand(curlBase(sim, "ftp") + "/Config/system.ini");
    ASSERT_EQ(get.status, 0) << get.output;
    EXPECT_NE(get.output.find("MultipleAxesInUse = GROUP1"), std::string::npos);

    std::string content = "0.1 1 2 3 4 5 6\r\n\x01\xff binary\n";
    std::string local = localFile(content);
    auto put = runCommand(curlBase(sim, "ftp") + "/Public/Trajectories/TRJ9.PVT -T " + local);
    std::remove(local.c_str());
    ASSERT_EQ(put.status, 0) << put.output;
    EXPECT_EQ(sim.readFile("Public/Trajectories/TRJ9.PVT"), content);

    auto size = runCommand(curlBase(sim, "ftp") + "/Public/Trajectories/TRJ9.PVT -I");
    EXPECT_NE(size.output.find("Content-Length: " + std::to_string(content.size())), std::string::npos) << size.output;

    auto ops = runCommand(curlBase(sim, "ftp") + "/ -o /dev/null -Q \"MKD /Public/New\" -Q \"RMD /Public/New\""
                          " -Q \"DELE /Public/Trajectories/TRJ9.PVT\"");
    EXPECT_EQ(ops.status, 0) << ops.output;
    EXPECT_FALSE(sim.fileExists("Public/Trajectories/TRJ9.PVT"));

    auto bad = runCommand("curl -sS --max-time 15 -u Supervisorium:nope ftp://" + sim.address() + "/");
    EXPECT_NE(bad.status, 0);
}

// The FTP log says when each command came, on the request log's clock; taking it empties it, so
// a long series can be followed without reaching the log's limit.
TEST(SimFtp, CommandLogIsTimedAndCanBeTaken)
{
    KvxSimOptions o;
    o.rootParent = "/dev/shm";
    KvxSim sim(o);
    EXPECT_EQ(sim.rootDir().rfind("/dev/shm/", 0), 0u) << sim.rootDir();
    sim.clearFtpLog();
    std::string local = localFile("0.1 1 2 3 4 5 6\r\n");
    auto put = runCommand(curlBase(sim, "ftp") + "/Public/Trajectories/TRJ1.PVT -T " + local);
    std::remove(local.c_str());
    ASSERT_EQ(put.status, 0) << put.output;
    const auto taken = sim.takeFtpLog();
    ASSERT_FALSE(taken.empty());
    double last = 0.0;
    bool stored = false;
    for (const auto& c : taken) {
        EXPECT_GE(c.time, last) << c.command;
        last = c.time;
        stored |= c.command == "STOR" && c.argument.find("TRJ1.PVT") != std::string::npos;
    }
    EXPECT_TRUE(stored);
    EXPECT_GT(last, 0.0);
    EXPECT_TRUE(sim.takeFtpLog().empty());
    EXPECT_TRUE(sim.ftpLog().empty());
    EXPECT_EQ(sim.readFile("Public/Trajectories/TRJ1.PVT"), "0.1 1 2 3 4 5 6\r\n");
}

TEST(SimFtp, AdminLoginFolder)
{
    KvxSim sim(KvxSimOptions{.loginFolder = "/Admin"});
    auto pwd = runCommand(curlBase(sim, "ftp") + "/ -v -o /dev/null");
    EXPECT_NE(pwd.output.find("257 \"/Admin\""), std::string::npos) << pwd.output;
    auto top = runCommand(curlBase(sim, "ftp") + "/%2F");
    EXPECT_NE(top.output.find(" Admin"), std::string::npos) << top.output;
    auto get = runCommand(curlBase(sim, "ftp") + "/%2FAdmin/Config/stages.ini");
    ASSERT_EQ(get.status, 0) << get.output;
    EXPECT_NE(get.output.find("[LINEAR_300]"), std::string::npos);
    std::string local = localFile("set a 1\n");
    auto put = runCommand(curlBase(sim, "ftp") + "/%2FAdmin/Public/Scripts/up.tcl -T " + local);
    std::remove(local.c_str());
    EXPECT_EQ(put.status, 0) << put.output;
    EXPECT_EQ(sim.readFile("Public/Scripts/up.tcl"), "set a 1\n");
}

TEST(SimSftp, CurlListGetPutOnEveryView)
{
    KvxSim sim;
    sim.writeFile("Public/Scripts/s.tcl", "set b 2\n");
    for (const char* folder : {"/Admin/Public/Scripts/", "/mnt/user/Public/Scripts/", "/Public/Scripts/"}) {
        auto list = runCommand(curlBase(sim, "sftp") + folder);
        ASSERT_EQ(list.status, 0) << folder << list.output;
        EXPECT_NE(list.output.find("s.tcl"), std::string::npos) << folder << list.output;
    }
    auto get = runCommand(curlBase(sim, "sftp") + "/Admin/Config/system.ini");
    ASSERT_EQ(get.status, 0) << get.output;
    EXPECT_NE(get.output.find("[GROUPS]"), std::string::npos);
    std::string local = localFile("0.5 1 0 0 0 0 0\n");
    auto put = runCommand(curlBase(sim, "sftp") + "/Admin/Public/Trajectories/TRJ1.PVT -T " + local);
    std::remove(local.c_str());
    ASSERT_EQ(put.status, 0) << put.output;
    EXPECT_EQ(sim.readFile("Public/Trajectories/TRJ1.PVT"), "0.5 1 0 0 0 0 0\n");
}

TEST(SimSftp, ShellAndFolderOperationsWithParamiko)
{
    KvxSim sim;
    auto shell = runCommand(std::string("/usr/bin/python3 ") + MVX_SIM_HELPER + " shell " + sim.address());
    ASSERT_EQ(shell.status, 0) << shell.output;
    EXPECT_NE(shell.output.find("Scripts"), std::string::npos) << shell.output;
    EXPECT_NE(shell.output.find("drwx"), std::string::npos) << shell.output;

    auto ops = runCommand(std::string("/usr/bin/python3 ") + MVX_SIM_HELPER + " sftp " + sim.address() + " /Admin/Public");
    ASSERT_EQ(ops.status, 0) << ops.output;
    EXPECT_NE(ops.output.find("list ['b.txt']"), std::string::npos) << ops.output;
    EXPECT_NE(ops.output.find("get b'line 1\\nline 2\\n'"), std::string::npos) << ops.output;
    EXPECT_NE(ops.output.find("size 14"), std::string::npos) << ops.output;
    EXPECT_NE(ops.output.find("after False"), std::string::npos) << ops.output;

    auto bad = runCommand(std::string("/usr/bin/python3 ") + MVX_SIM_HELPER + " badlogin " + sim.address());
    EXPECT_NE(bad.output.find("refused"), std::string::npos) << bad.output;
}

TEST(SimTelnetHttp, LoginTypedAheadAndTitledPage)
{
    KvxSim sim;
    RawConnection t(sim.address(), 23);
    ASSERT_TRUE(t.connected());
    t.send("Supervisorium\rSupervisorium\r");  // typed before any prompt, as the program does
    EXPECT_NE(t.readUntil("Welcome", 3s).find("login:"), std::string::npos);
    t.send("ls Public\r");
    EXPECT_NE(t.readUntil("Trajectories", 3s).find("Scripts"), std::string::npos);

    RawConnection h(sim.address(), 80);
    h.send("GET / HTTP/1.0\r\nHost: kvx\r\n\r\n");
    std::string page = h.readUntil("</html>", 3s);
    EXPECT_NE(page.find("200"), std::string::npos);
    EXPECT_NE(page.find("<title>KVX controller</title>"), std::string::npos);
}

TEST(SimConfig, GroupsComeFromTheRootsSystemIni)
{
    KvxSim sim(KvxSimOptions{.files = {{"Config/system.ini",
                                        "[GROUPS]\nSingleAxisInUse = A1, A2 ; two spindles\nMultipleAxesInUse = M\n"
                                        "[M]\nPositionerNumber = 2\nPositionerInUse = X , Y.\n"}}});
    EXPECT_EQ(sim.apiCall("ObjectsListGet(char *)\n\r").substr(0, 27), "0,A1;A1.S;A2;A2.S;M;M.X;M.Y");
    EXPECT_EQ(sim.apiCall("GroupStatusGet(GROUP1,int *)\n\r"), "-19,EndOfAPI");
    EXPECT_TRUE(sim.fileExists("Config/stages.ini"));  // the missing defaults are still laid

    // A new configuration is read when the controller restarts, or on a reload.
    sim.writeFile("Config/system.ini", "[GROUPS]\nXYInUse = T\n[T]\nPositionerInUse = U, V\n");
    EXPECT_EQ(sim.apiCall("GroupStatusGet(T,int *)\n\r"), "-19,EndOfAPI");
    sim.reloadConfiguration();
    EXPECT_EQ(sim.apiCall("GroupPositionCurrentGet(T,double *,double *)\n\r"), "0,0,0,EndOfAPI");
    EXPECT_EQ(sim.apiCall("GroupStatusGet(M,int *)\n\r"), "-19,EndOfAPI");
}

TEST(SimReboot, AnswersDropsRefusesLogsAndComesBack)
{
    KvxSim sim(KvxSimOptions{.rebootSeconds = 1.0});
    RawConnection idle(sim.address(), KvxSim::kApiPort);
    ASSERT_EQ(idle.call("GroupInitialize(GROUP1)"), "0,EndOfAPI");
    std::string logBefore = sim.readFile("Public/Log/Error.log");

    RawConnection c(sim.address(), KvxSim::kApiPort);
    auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(c.call("Reboot ()"), "0,EndOfAPI");
    EXPECT_EQ(c.readUntil("EndOfAPI", 2s), "");
    EXPECT_TRUE(c.closedByPeer());
    EXPECT_EQ(idle.readUntil("EndOfAPI", 2s), "");
    EXPECT_TRUE(idle.closedByPeer());

    std::this_thread::sleep_for(200ms);
    EXPECT_FALSE(sim.servicesUp());
    RawConnection refused(sim.address(), KvxSim::kApiPort);
    EXPECT_FALSE(refused.connected());
    RawConnection ftpRefused(sim.address(), 21);
    EXPECT_FALSE(ftpRefused.connected());

    ASSERT_TRUE(sim.waitForApi(10s));
    auto down = std::chrono::steady_clock::now() - start;
    EXPECT_GE(down, 900ms);
    EXPECT_LT(down, 5s);
    EXPECT_TRUE(sim.servicesUp());
    RawConnection ftp(sim.address(), 21);
    EXPECT_TRUE(ftp.connected());
    EXPECT_EQ(sim.apiCall("GroupStatusGet(GROUP1,int *)\n\r"), "0,7,EndOfAPI");

    std::string logAfter = sim.readFile("Public/Log/Error.log");
    ASSERT_GT(logAfter.size(), logBefore.size());
    EXPECT_EQ(logAfter.substr(0, logBefore.size()), logBefore);
    EXPECT_EQ(logAfter.back(), '\n');
    EXPECT_EQ(std::count(logAfter.begin() + static_cast<long>(logBefore.size()), logAfter.end(), '\n'), 1);
}

TEST(SimReboot, BootScriptRunsAfterTheReboot)
{
    KvxSim sim(KvxSimOptions{.rebootSeconds = 0.2});
    sim.writeFile("Public/Scripts/boot.tcl", R"TCL(
set ErrorCode [catch "OpenConnection 10 SocketID"]
set ErrorCode [catch "GPIODigitalSet $SocketID GPIO3.DO 63 $tcl_argv(1)"]
)TCL");
    std::string ini = sim.readFile("Config/system.ini");
    auto at = ini.find("BootScriptFileName =");
    ASSERT_NE(at, std::string::npos);
    ini.replace(at, std::string("BootScriptFileName =").size(), "BootScriptFileName = boot.tcl");
    at = ini.find("BootScriptArguments =");
    ini.replace(at, std::string("BootScriptArguments =").size(), "BootScriptArguments = 5");
    sim.writeFile("Config/system.ini", ini);
    EXPECT_EQ(sim.apiCall("Reboot ()\n\r"), "0,EndOfAPI");
    std::this_thread::sleep_for(100ms);
    ASSERT_TRUE(sim.waitForApi(10s));
    for (int i = 0; i < 100 && sim.digital("GPIO3.DO") != 5u; ++i)
        std::this_thread::sleep_for(20ms);
    EXPECT_EQ(sim.digital("GPIO3.DO"), 5u);
}

}  // namespace
