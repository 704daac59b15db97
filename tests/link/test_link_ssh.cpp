// SFTP session and SSH probe against the simulator's SSH service.
#include "link/ssh.h"
#include "tests/support/textfile.h"
#include "core/common.h"
#include "tests/support/kvxsim_fixture.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <thread>

using namespace mvx;
namespace fs = std::filesystem;

namespace {

// Each run remembers controller keys in a program folder of its own.
class ProgramFolder : public ::testing::Environment {
public:
    void SetUp() override
    {
        mDir = fs::temp_directory_path() / ("mvx_ssh_prog_" + std::to_string(::getpid()));
        fs::create_directories(mDir);
        InitCommonGlobals(mDir.string() + "/", "movantrix_test");
    }
    void TearDown() override
    {
        std::error_code ec;
        fs::remove_all(mDir, ec);
    }

private:
    fs::path mDir;
};
const auto* const kProgramFolder = ::testing::AddGlobalTestEnvironment(new ProgramFolder);

using mvx::test::ReadAll;

class SftpSim : public ::testing::Test {
protected:
    static void SetUpTestSuite() { sSim = new test::KvxSim(); }
    static void TearDownTestSuite()
    {
        delete sSim;
        sSim = nullptr;
    }
    void SetUp() override
    {
        mLocal = fs::temp_directory_path() / ("mvx_sftp_" + std::to_string(::getpid()) + "_" +
                                              ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::create_directories(mLocal);
        ASSERT_TRUE(mSession.open(sSim->address(), common().FtpUser, common().FtpPassword)) << mSession.lastError();
    }
    void TearDown() override
    {
        mSession.close();
        fs::remove_all(mLocal);
    }

    std::string writeLocal(const std::string& name, const std::string& content)
    {
        const fs::path p = mLocal / name;
        std::ofstream(p, std::ios::binary) << content;
        return p.string();
    }
    static std::string readLocal(const std::string& path)
    {
        std::ifstream in(path, std::ios::binary);
        std::stringstream ss;
        ss << in.rdbuf();
        return ss.str();
    }
    std::vector<std::string> names(const std::string& dir)
    {
        std::vector<std::string> out;
        auto l = mSession.list(dir);
        EXPECT_TRUE(l.has_value()) << mSession.lastError();
        if (l)
            for (const auto& e : *l) out.push_back(e.name);
        return out;
    }

    static inline test::KvxSim* sSim = nullptr;
    link::SftpSession mSession;
    fs::path mLocal;
};

TEST_F(SftpSim, UploadListDownloadAndFolders)
{
    const std::string content = std::string("puts hello\r\n") + std::string(70000, 'x') + '\0' + "end";
    ASSERT_TRUE(mSession.upload(writeLocal("a.tcl", content), "/Public/Scripts/a.tcl")) << mSession.lastError();
    EXPECT_EQ(sSim->readFile("Public/Scripts/a.tcl"), content);

    auto l = mSession.list("/Public/Scripts");
    ASSERT_TRUE(l.has_value());
    auto it = std::find_if(l->begin(), l->end(), [](const link::SftpEntry& e) { return e.name == "a.tcl"; });
    ASSERT_NE(it, l->end());
    EXPECT_EQ(it->size, content.size());
    EXPECT_EQ(it->type, "regular");
    EXPECT_FALSE(it->directory);
    EXPECT_NE(it->modifiedText.find("GMT"), std::string::npos);

    const std::string back = (mLocal / "back.tcl").string();
    ASSERT_TRUE(mSession.download("/Public/Scripts/a.tcl", back)) << mSession.lastError();
    EXPECT_EQ(readLocal(back), content);

    ASSERT_TRUE(mSession.makeDir("/Public/NewFolder")) << mSession.lastError();
    EXPECT_TRUE(sSim->fileExists("Public/NewFolder"));
    auto dirs = mSession.list("/Public");
    ASSERT_TRUE(dirs.has_value());
    EXPECT_TRUE(std::any_of(dirs->begin(), dirs->end(), [](const auto& e) { return e.name == "NewFolder" && e.directory; }));
    ASSERT_TRUE(mSession.rename("/Public/Scripts/a.tcl", "/Public/NewFolder/b.tcl")) << mSession.lastError();
    EXPECT_EQ(sSim->readFile("Public/NewFolder/b.tcl"), content);
    EXPECT_FALSE(mSession.removeDir("/Public/NewFolder"));  // not empty
    EXPECT_FALSE(mSession.lastError().empty());
    ASSERT_TRUE(mSession.removeFile("/Public/NewFolder/b.tcl")) << mSession.lastError();
    ASSERT_TRUE(mSession.removeDir("/Public/NewFolder")) << mSession.lastError();
    EXPECT_FALSE(sSim->fileExists("Public/NewFolder"));
}

TEST_F(SftpSim, UploadReplacesAnExistingFileAndLeavesNoTemporary)
{
    sSim->writeFile("Public/Scripts/c.tcl", "old text");
    ASSERT_TRUE(mSession.upload(writeLocal("c.tcl", "new text"), "/Public/Scripts/c.tcl")) << mSession.lastError();
    EXPECT_EQ(sSim->readFile("Public/Scripts/c.tcl"), "new text");
    for (const auto& n : names("/Public/Scripts")) EXPECT_EQ(n.find(".mvx"), std::string::npos) << n;
}

TEST_F(SftpSim, AFailedUploadLeavesTheControllersFileAsItWas)
{
    sSim->writeFile("Public/Scripts/d.tcl", "keep me");
    fs::create_directories(mLocal / "notafile");
    // The local "file" cannot be read: nothing may reach the controller's file.
    EXPECT_FALSE(mSession.upload((mLocal / "notafile").string(), "/Public/Scripts/d.tcl"));
    EXPECT_FALSE(mSession.lastError().empty());
    EXPECT_FALSE(mSession.upload((mLocal / "missing.tcl").string(), "/Public/Scripts/d.tcl"));
    EXPECT_EQ(sSim->readFile("Public/Scripts/d.tcl"), "keep me");
    // Into a folder that does not exist: refused, nothing left behind.
    EXPECT_FALSE(mSession.upload(writeLocal("e.tcl", "x"), "/Public/NoSuchFolder/e.tcl"));
    for (const auto& n : names("/Public/Scripts")) EXPECT_EQ(n.find(".mvx"), std::string::npos) << n;
}

TEST_F(SftpSim, AFailedDownloadKeepsTheLocalFile)
{
    const std::string local = writeLocal("keep.tcl", "local");
    EXPECT_FALSE(mSession.download("/Public/Scripts/none.tcl", local));
    EXPECT_EQ(readLocal(local), "local");
}

TEST_F(SftpSim, TheConfiguredLoginIsTheOneUsed)
{
    link::SftpSession other;
    EXPECT_FALSE(other.open(sSim->address(), common().FtpUser, "wrong password"));
    EXPECT_FALSE(other.lastError().empty());
    EXPECT_FALSE(other.isOpen());
    EXPECT_FALSE(other.upload("x", "/Public/x"));  // no session: a clear failure
}

TEST_F(SftpSim, SshProbeRunsTheListingInAShell)
{
    std::string error;
    sSim->writeFile("Public/Scripts/probe.tcl", "1");
    auto text = link::SshShellProbe(sSim->address(), common().FtpUser, common().FtpPassword, "ls -a -l Public", 22, 5000,
                                    2000, &error);
    ASSERT_TRUE(text.has_value()) << error;
    EXPECT_NE(text->find("Scripts"), std::string::npos) << *text;

    auto refused = link::SshShellProbe(sSim->address(), common().FtpUser, "bad", "ls", 22, 5000, 2000, &error);
    EXPECT_FALSE(refused.has_value());
    EXPECT_FALSE(error.empty());
}

// The simulator restarted with another host key: its address now shows a key that differs
// from the remembered one.
class HostKeys : public ::testing::Test {
protected:
    void SetUp() override
    {
        mKeyDir = fs::temp_directory_path() / ("mvx_hostkey_" + std::to_string(::getpid()));
        fs::create_directories(mKeyDir);
        // Another simulator of this run may have used the same address with the shared key.
        fs::remove(link::KnownHostsFile());
        test::KvxSimOptions o;
        o.hostKeyFile = (mKeyDir / "host.pem").string();
        mSim = std::make_unique<test::KvxSim>(o);
    }
    void TearDown() override
    {
        mSim.reset();
        std::error_code ec;
        fs::remove_all(mKeyDir, ec);
    }
    // A reboot reads the key file again; a missing one is made anew.
    void rebootWithKey(const std::string& keep, const std::string& use)
    {
        const fs::path key = mKeyDir / "host.pem";
        if (!keep.empty()) fs::rename(key, mKeyDir / keep);
        if (!use.empty()) fs::rename(mKeyDir / use, key);
        mSim->controlRaw("{\"cmd\": \"reboot\"}");
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
        ASSERT_TRUE(mSim->waitForApi(std::chrono::milliseconds(10000)));
    }
    bool open(link::SftpSession& s) { return s.open(mSim->address(), common().FtpUser, common().FtpPassword); }

    fs::path mKeyDir;
    std::unique_ptr<test::KvxSim> mSim;
};

TEST_F(HostKeys, FirstKeyIsRememberedAndAChangedOneRefusedUnlessAcceptedForTheRun)
{
    link::SftpSession s;
    ASSERT_TRUE(open(s)) << s.lastError();
    s.close();
    const std::string known = ReadAll(link::KnownHostsFile());
    EXPECT_NE(known.find(mSim->address()), std::string::npos) << known;
    ASSERT_TRUE(open(s)) << s.lastError();  // the same key again
    EXPECT_FALSE(s.hostKeyMismatch().has_value());
    s.close();

    rebootWithKey("first.pem", "");
    EXPECT_FALSE(open(s));
    EXPECT_FALSE(s.isOpen());
    auto m = s.hostKeyMismatch();
    ASSERT_TRUE(m.has_value()) << s.lastError();
    EXPECT_EQ(m->host, mSim->address());
    EXPECT_NE(m->offered.rfind("SHA256:", 0), std::string::npos);
    EXPECT_NE(m->known.rfind("SHA256:", 0), std::string::npos);
    EXPECT_NE(m->offered, m->known);
    EXPECT_NE(s.lastError().find("changed"), std::string::npos) << s.lastError();
    // The probe meets the same key before it sends the password.
    std::string error;
    std::optional<link::HostKeyMismatch> probeMismatch;
    EXPECT_FALSE(link::SshShellProbe(mSim->address(), common().FtpUser, common().FtpPassword, "ls", 22, 5000, 2000,
                                     &error, &probeMismatch));
    ASSERT_TRUE(probeMismatch.has_value()) << error;
    EXPECT_EQ(probeMismatch->offered, m->offered);

    // Accepted for this run: it opens, and the file still holds the first key.
    link::AcceptHostKeyForRun(*m);
    ASSERT_TRUE(open(s)) << s.lastError();
    s.close();
    EXPECT_EQ(ReadAll(link::KnownHostsFile()), known);

    // The first key back: known again.
    rebootWithKey("second.pem", "first.pem");
    ASSERT_TRUE(open(s)) << s.lastError();
}

}  // namespace
