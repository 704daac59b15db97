// The transfer session as the program uses it: folders by mode, GetFile/PutFile, folder changes.

#include "link/controller.h"
#include "link/apiwire.h"
#include "link/ftp.h"
#include "link/remotefiles.h"
#include "link/ssh.h"
#include "link/transfer.h"
#include "support/kvxsim_fixture.h"
#include "transfer_support.h"

#include "core/common.h"
#include "app/dialogs.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <optional>
#include <stdexcept>
#include <thread>

namespace fs = std::filesystem;
using namespace mvx;
using namespace mvx::testing_link;
using mvx::test::KvxSim;
using mvx::test::KvxSimOptions;

namespace {

struct LayoutRow {
    const char* loginFolder;
    int model;
    bool gatheringFlag;
    const char* root;
    const char* scripts;
    const char* gathering;
};

// FTP layout by the login folder, the model and the Q firmware rule.
TEST(TransferLayout, FtpFoldersFollowLoginFolder)
{
    const LayoutRow rows[] = {
        {"/", ModelC, false, "/", "/Public/Scripts", "/Public"},
        {"/Admin", ModelD, false, "/Admin/", "/Admin/Public/Scripts", "/Admin/Public"},
        {"/", ModelQ, true, "/", "/Public/Scripts", "/Public/Gathering"},
        {"/", ModelQ, false, "/", "/Public/Scripts", "/Public"},
        {"/Admin", ModelRLD, false, "/Admin/", "/Admin/Public/Scripts", "/Admin/Public/Gathering"},
        {"/", ModelRL, false, "/", "/Public/Scripts", "/Public/Gathering"},
    };
    for (const auto& r : rows) {
        KvxSimOptions o;
        o.loginFolder = r.loginFolder;
        KvxSim sim(o);
        ResetLink(sim.address());
        common().ControllerModel = r.model;
        link::CurrentController().transfer().GatheringFolderFlag = r.gatheringFlag;
        ASSERT_TRUE(link::CurrentController().ftp().open(sim.address(), "Supervisorium", "Supervisorium"));
        common().TransferMode = TransferFtp;
        common().TransferConnected = 1;
        link::CurrentController().setRootDir();
        link::CurrentController().setFolders();
        const auto& c = common();
        EXPECT_EQ(link::CurrentController().transfer().RemoteRoot, r.root) << r.loginFolder;
        EXPECT_EQ(c.RemoteScriptsDir, r.scripts);
        EXPECT_EQ(c.RemoteGatheringDir, r.gathering);
        const std::string root = r.root;
        EXPECT_EQ(c.RemotePublicDir, root + "Public");
        EXPECT_EQ(c.RemoteConfigDir, root + "Config");
        EXPECT_EQ(c.RemoteLogDir, root + "Public/Log");
        EXPECT_EQ(c.RemoteTrajectoriesDir, root + "Public/Trajectories");
        // The folders exist on the controller as named.
        EXPECT_TRUE(link::CurrentController().changeDir(c.RemoteScriptsDir, c.ProgramDir));
        EXPECT_TRUE(link::CurrentController().changeDir(c.RemoteConfigDir, c.ProgramDir));
        link::CurrentController().disconnectTransfer();
    }
}

TEST(TransferLayout, OtherModes)
{
    ResetLink("127.0.0.1");
    auto& c = common();
    c.TransferMode = TransferNone;
    link::CurrentController().setRootDir();
    EXPECT_EQ(link::CurrentController().transfer().RemoteRoot, "/Admin");
    const std::string before = c.RemoteScriptsDir;
    link::CurrentController().setFolders();  // no session yet: nothing changes
    EXPECT_EQ(c.RemoteScriptsDir, before);

    c.TransferMode = TransferSftp;
    c.ControllerModel = ModelD;
    link::CurrentController().setRootDir();
    EXPECT_EQ(link::CurrentController().transfer().RemoteRoot, "/Admin");
    c.ControllerModel = ModelQ;
    link::CurrentController().setRootDir();
    EXPECT_EQ(link::CurrentController().transfer().RemoteRoot, "/");
    for (const char* root : {"/mnt/user/Public", "/Admin/Public"}) {
        c.SftpRoot = root;
        link::CurrentController().setFolders();
        EXPECT_EQ(c.RemoteScriptsDir, std::string(root) + "/Scripts");
        EXPECT_EQ(c.RemoteGatheringDir, std::string(root) + "/Gathering");
        EXPECT_EQ(c.RemotePublicDir, root);
        EXPECT_EQ(c.RemoteConfigDir, "/Admin/Config");
    }

    c.TransferMode = TransferLocal;
    c.LocalDiskDrive = "/mnt/kvx";
    link::CurrentController().setFolders();
    EXPECT_EQ(c.RemoteScriptsDir, "/mnt/kvx/Scripts");
    EXPECT_EQ(c.RemoteTrajectoriesDir, "/mnt/kvx/Trajectories");
    EXPECT_EQ(c.RemotePublicDir, "/mnt/kvx");
    ResetLink("127.0.0.1");
}

TEST(TransferLocalDrive, UsedWhenNoNetworkSessionOpens)
{
    // Neither FTP nor SSH where the program looks for them: the mounted disk is the last way.
    KvxSimOptions o;
    o.extraArgs = {"--ftp-port", "2121", "--ssh-port", "2222"};
    KvxSim sim(o);
    const std::string drive = common().ProgramDir + "kvxdisk";
    fs::remove_all(drive);
    fs::create_directories(drive + "/Scripts");
    ResetLink(sim.address());
    common().LocalDiskDrive = drive;
    EXPECT_TRUE(link::CurrentController().connectTransfer(false));
    EXPECT_EQ(common().TransferMode, TransferLocal);
    EXPECT_EQ(common().RemoteScriptsDir, drive + "/Scripts");
    EXPECT_TRUE(recorder().logged("Connection FTP ..Echec"));
    // Every copy is refused, said once per run.
    EXPECT_TRUE(link::CurrentController().changeDir(common().RemoteScriptsDir, common().ProgramDir));
    // The disk's folders are listed; nothing on it is changed, and nothing copied.
    WriteAll(drive + "/Scripts/a.tcl", "puts a\n");
    link::RemoteFiles* files = link::CurrentController().sessionFiles();
    ASSERT_NE(files, nullptr);
    EXPECT_FALSE(files->network());
    const auto listed = files->list(drive + "/Scripts");
    ASSERT_TRUE(listed.has_value());
    ASSERT_EQ(listed->size(), 1u);
    EXPECT_EQ(listed->front().name, "a.tcl");
    EXPECT_EQ(listed->front().size, 7u);
    EXPECT_FALSE(files->list(drive + "/NoSuchFolder").has_value());
    EXPECT_FALSE(files->makeDir(drive + "/Scripts/new"));
    EXPECT_FALSE(files->removeFile(drive + "/Scripts/a.tcl"));
    EXPECT_FALSE(files->get(drive + "/Scripts/a.tcl", common().ProgramDir + "a.tcl"));
    EXPECT_TRUE(fs::exists(drive + "/Scripts/a.tcl"));
    EXPECT_FALSE(fs::exists(drive + "/Scripts/new"));
    EXPECT_FALSE(link::CurrentController().sessionCopiesFiles());
    EXPECT_FALSE(link::CurrentController().getFile("a.tcl", "a.tcl", false));
    EXPECT_FALSE(link::CurrentController().putFile("a.tcl", "a.tcl", false));
    const auto shown = recorder().shown();
    EXPECT_NE(std::find(shown.begin(), shown.end(), "KVX vu comme" + drive), shown.end());
    EXPECT_EQ(std::count(shown.begin(), shown.end(),
                         "Le parametrage du logiciel ne permet pas la copie des fichiers avec ce KVX"),
              1);
    EXPECT_TRUE(link::CurrentController().disconnectTransfer());
    EXPECT_FALSE(link::CurrentController().transferConnected());
    ResetLink(sim.address());
}

// GetFile / PutFile / folder changes in both network modes.
// The controller's SFTP server restarted with another host key (a replaced controller, or
// someone else answering at its address).
TEST(TransferHostKey, AChangedKeyIsRefusedUnlessTheUserAcceptsItForTheRun)
{
    const fs::path keys = fs::temp_directory_path() / ("mvx_transfer_keys_" + std::to_string(::getpid()));
    fs::create_directories(keys);
    KvxSimOptions o;
    o.extraArgs = {"--ftp-port", "2121"};  // no FTP: SFTP is used
    o.hostKeyFile = (keys / "host.pem").string();
    KvxSim sim(o);
    // The remembered keys of this address are this test's alone.
    struct Cleanup {
        fs::path keys;
        ~Cleanup()
        {
            std::error_code ec;
            fs::remove(link::KnownHostsFile(), ec);
            fs::remove_all(keys, ec);
            SetMessageBoxHandler([](const std::string& text, std::uint16_t) -> std::uint16_t {
                std::lock_guard l(recorder().mutex);
                recorder().messages.push_back(text);
                return MrOk;
            });
        }
    } cleanup{keys};
    fs::remove(link::KnownHostsFile());
    auto& c = common();

    ResetLink(sim.address());
    ASSERT_TRUE(link::CurrentController().connectTransfer(false));
    ASSERT_EQ(c.TransferMode, TransferSftp);
    link::CurrentController().disconnectTransfer();
    const std::string known = ReadAll(link::KnownHostsFile());
    ASSERT_NE(known.find(sim.address()), std::string::npos);

    fs::rename(keys / "host.pem", keys / "first.pem");
    sim.controlRaw("{\"cmd\": \"reboot\"}");
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    ASSERT_TRUE(sim.waitForApi(std::chrono::milliseconds(10000)));

    // Unattended (every box answered with OK): refused, nothing fetched, no probe.
    ResetLink(sim.address());
    fs::remove(c.ProgramDir + "system.ini");
    EXPECT_FALSE(link::CurrentController().connectTransfer(false));
    EXPECT_EQ(c.TransferConnected, 0);
    EXPECT_NE(c.TransferMode, TransferSftp);
    EXPECT_EQ(c.SftpRoot, "/mnt/user/Public");
    EXPECT_FALSE(fs::exists(c.ProgramDir + "system.ini"));
    const auto shown = recorder().shown();
    ASSERT_EQ(std::count_if(shown.begin(), shown.end(),
                            [](const std::string& m) { return m.find("la clé SSH du contrôleur a changé") != std::string::npos; }),
              1);
    EXPECT_TRUE(recorder().logged("Connexion SFTP refusée : clé SSH du contrôleur inconnue à l'adresse " + sim.address()));
    EXPECT_EQ(ReadAll(link::KnownHostsFile()), known);

    // The user accepts it: the session opens for this run, the file keeps the first key.
    SetMessageBoxHandler([](const std::string& text, std::uint16_t mask) -> std::uint16_t {
        return text.find("clé SSH") != std::string::npos && (mask & MbYes) ? MrYes : MrOk;
    });
    ResetLink(sim.address());
    ASSERT_TRUE(link::CurrentController().connectTransfer(false));
    EXPECT_EQ(c.TransferMode, TransferSftp);
    EXPECT_EQ(c.SftpRoot, "/Admin/Public");
    EXPECT_EQ(ReadAll(c.ProgramDir + "system.ini"), sim.readFile("Config/system.ini"));
    link::CurrentController().disconnectTransfer();
    EXPECT_EQ(ReadAll(link::KnownHostsFile()), known);
}

class TransferSession : public ::testing::TestWithParam<int> {};

TEST_P(TransferSession, GetPutAndFolders)
{
    const int mode = GetParam();
    KvxSimOptions o;
    if (mode == TransferSftp) o.extraArgs = {"--ftp-port", "2121"};  // no FTP on 21: SFTP is used
    KvxSim sim(o);
    ResetLink(sim.address());
    auto& c = common();
    c.ControllerModel = ModelQ;
    ASSERT_TRUE(link::CurrentController().connectTransfer(false));
    EXPECT_EQ(c.TransferMode, mode);
    if (mode == TransferSftp) {
        EXPECT_EQ(c.SftpRoot, "/Admin/Public");  // the SSH probe found the shell
        EXPECT_EQ(c.RemoteScriptsDir, "/Admin/Public/Scripts");
        EXPECT_TRUE(recorder().logged("Connection FTP ..Echec"));
    } else {
        EXPECT_EQ(c.RemoteScriptsDir, "/Public/Scripts");
        EXPECT_TRUE(recorder().logged("Connection FTP ..OK"));
    }
    // The configuration arrived whole.
    EXPECT_EQ(ReadAll(c.ProgramDir + "system.ini"), sim.readFile("Config/system.ini"));
    EXPECT_EQ(ReadAll(c.ProgramDir + "system.use"), sim.readFile("Config/system.ini"));
    EXPECT_EQ(ReadAll(c.ProgramDir + "stages.ini"), sim.readFile("Config/stages.ini"));
    const auto groups = link::CurrentController().currentGroups();
    EXPECT_EQ(groups.multiple, std::vector<std::string>{"GROUP1"});
    EXPECT_EQ(groups.xy, std::vector<std::string>{"GROUP2"});
    EXPECT_EQ(groups.single, std::vector<std::string>{"GROUP3"});

    const std::string localDir = c.ProgramDir + "up/";
    WriteAll(localDir + "job.tcl", "puts hello\n");
    ASSERT_TRUE(link::CurrentController().changeDir(c.RemoteScriptsDir, localDir));
    ASSERT_TRUE(link::CurrentController().putFile("job.tcl", "job.tcl", false));
    EXPECT_EQ(sim.readFile("Public/Scripts/job.tcl"), "puts hello\n");
    ASSERT_TRUE(link::CurrentController().changeDir(c.RemoteScriptsDir, localDir));
    EXPECT_NE(std::find(link::CurrentController().transfer().RemoteListing.begin(), link::CurrentController().transfer().RemoteListing.end(),
                        "job.tcl"),
              link::CurrentController().transfer().RemoteListing.end());
    // A series of files into the current folder: it is not listed again, only the local folder
    // changes; another folder is listed when the series goes there.
    auto listed = [](const std::string& name) {
        const auto& l = link::CurrentController().transfer().RemoteListing;
        return std::find(l.begin(), l.end(), name) != l.end();
    };
    sim.writeFile("Public/Scripts/other.tcl", "x");
    const std::string otherLocal = c.ProgramDir + "up2/";
    WriteAll(otherLocal + "job2.tcl", "puts two\n");
    ASSERT_TRUE(link::CurrentController().enterDir(c.RemoteScriptsDir, otherLocal));
    EXPECT_EQ(link::CurrentController().transfer().LocalDir, otherLocal);
    EXPECT_TRUE(listed("job.tcl"));
    EXPECT_FALSE(listed("other.tcl"));
    ASSERT_TRUE(link::CurrentController().putFile("job2.tcl", "job2.tcl", false));
    EXPECT_EQ(sim.readFile("Public/Scripts/job2.tcl"), "puts two\n");
    ASSERT_TRUE(link::CurrentController().enterDir(c.RemoteConfigDir, otherLocal));
    EXPECT_TRUE(listed("system.ini"));
    ASSERT_TRUE(link::CurrentController().enterDir(c.RemoteScriptsDir, localDir));
    EXPECT_TRUE(listed("other.tcl"));
    // Last file with disconnect-after: the session closes; the next folder change reopens it.
    ASSERT_TRUE(link::CurrentController().getFile("job.tcl", "back.tcl", true));
    EXPECT_EQ(ReadAll(localDir + "back.tcl"), "puts hello\n");
    EXPECT_FALSE(link::CurrentController().transferConnected());
    EXPECT_FALSE(link::CurrentController().getFile("job.tcl", "back.tcl", false));  // no session, no folder
    ASSERT_TRUE(link::CurrentController().changeDir(c.RemoteScriptsDir, localDir));
    EXPECT_TRUE(link::CurrentController().transferConnected());

    // Failures say so.
    EXPECT_FALSE(link::CurrentController().putFile("missing-local.tcl", "x.tcl", false));
    EXPECT_FALSE(link::CurrentController().getFile("absent.tcl", "back.tcl", false));
    EXPECT_EQ(ReadAll(localDir + "back.tcl"), "puts hello\n");
    EXPECT_FALSE(link::CurrentController().changeDir("/NoSuchFolder", localDir));
    EXPECT_EQ(link::CurrentController().transfer().RemoteDir, "");
    EXPECT_FALSE(link::CurrentController().putFile("job.tcl", "job.tcl", false));
    // The controller's folder vanishes under a current folder: the upload fails and says so.
    sim.writeFile("Public/gone/keep.txt", "x");
    ASSERT_TRUE(link::CurrentController().changeDir(c.RemotePublicDir + "/gone", localDir));
    fs::remove_all(sim.rootDir() + "/Public/gone");
    recorder().clear();
    EXPECT_FALSE(link::CurrentController().putFile("job.tcl", "job.tcl", false));
    const auto log = recorder().logLines();
    ASSERT_FALSE(log.empty());
    EXPECT_EQ(log.back().rfind("Echec de l'envoi de " + c.RemotePublicDir + "/gone/job.tcl", 0), 0u) << log.back();

    // Folder and file operations through the session's files, whichever protocol they use.
    link::RemoteFiles* files = link::CurrentController().sessionFiles();
    ASSERT_NE(files, nullptr);
    EXPECT_TRUE(files->network());
    EXPECT_EQ(files->reportsProgress(), mode == TransferFtp);
    const std::string dir = c.RemotePublicDir + "/made";
    EXPECT_TRUE(files->makeDir(dir));
    EXPECT_TRUE(sim.fileExists("Public/made"));
    auto entry = [&](const std::string& folder, const std::string& name) -> std::optional<link::RemoteEntry> {
        if (auto l = files->list(folder))
            for (const auto& e : *l)
                if (e.name == name) return e;
        return std::nullopt;
    };
    const auto made = entry(c.RemotePublicDir, "made");
    ASSERT_TRUE(made.has_value());
    EXPECT_TRUE(made->directory);
    EXPECT_FALSE(made->link);
    // What each protocol lists of a date; the other stays empty.
    EXPECT_EQ(made->listedDate.empty(), mode == TransferSftp);
    EXPECT_EQ(made->modifiedSeconds.has_value(), mode == TransferSftp);
    EXPECT_EQ(made->attributes.find('D') != std::string::npos, mode == TransferSftp);
    int calls = 0;
    std::uint64_t progressed = 0;
    ASSERT_TRUE(files->put(localDir + "job.tcl", dir + "/put.tcl", [&](std::uint64_t done, std::uint64_t) {
        ++calls;
        progressed = done;
        return true;
    }));
    EXPECT_EQ(sim.readFile("Public/made/put.tcl"), "puts hello\n");
    EXPECT_EQ(calls > 0, mode == TransferFtp);
    EXPECT_LE(progressed, 11u);
    const auto put = entry(dir, "put.tcl");
    ASSERT_TRUE(put.has_value());
    EXPECT_EQ(put->size, 11u);
    EXPECT_FALSE(put->directory);
    EXPECT_EQ(files->size(dir + "/put.tcl"), mode == TransferFtp ? std::optional<std::uint64_t>(11) : std::nullopt);
    ASSERT_TRUE(files->rename(dir + "/put.tcl", dir + "/moved.tcl"));
    ASSERT_TRUE(files->get(dir + "/moved.tcl", localDir + "moved.tcl"));
    EXPECT_EQ(ReadAll(localDir + "moved.tcl"), "puts hello\n");
    EXPECT_FALSE(files->get(dir + "/put.tcl", localDir + "put.tcl"));
    EXPECT_FALSE(files->lastError().empty());
    EXPECT_TRUE(files->removeFile(dir + "/moved.tcl"));
    EXPECT_TRUE(files->removeDir(dir));
    EXPECT_TRUE(files->removeFile(c.RemoteScriptsDir + "/job.tcl"));
    EXPECT_FALSE(sim.fileExists("Public/Scripts/job.tcl"));
    EXPECT_FALSE(sim.fileExists("Public/made"));
    EXPECT_TRUE(link::CurrentController().disconnectTransfer());
    EXPECT_TRUE(recorder().logged("Déconnection FTP ..OK"));
}

INSTANTIATE_TEST_SUITE_P(Modes, TransferSession, ::testing::Values(int(TransferFtp), int(TransferSftp)),
                         [](const auto& info) { return info.param == TransferFtp ? "Ftp" : "Sftp"; });

TEST(TransferSessionFailures, FolderChangeWithoutFtpReturnsFalse)
{
    KvxSimOptions o;
    o.extraArgs = {"--ftp-port", "2121"};
    KvxSim sim(o);
    ResetLink(sim.address());
    common().TransferMode = TransferFtp;  // found by an earlier connection
    common().TransferConnected = 0;
    bool changed = true;
    EXPECT_NO_THROW(changed = link::CurrentController().changeDir("/Public/Scripts", common().ProgramDir));
    EXPECT_FALSE(changed);
    EXPECT_EQ(link::CurrentController().transfer().RemoteDir, "");
    EXPECT_FALSE(link::CurrentController().transferConnected());
    EXPECT_TRUE(recorder().logged("Connection FTP ..Echec"));
    EXPECT_FALSE(link::CurrentController().getFile("system.ini", "x.ini", false));
    ResetLink(sim.address());
}

// Calls made off the GUI thread one after the other reuse the helper threads: a series of files
// starts no thread per file. A failing call still says so.
TEST(TransferHelpers, HelperThreadsAreReused)
{
    static thread_local bool seen = false;
    int fresh = 0;
    bool offGui = true;
    for (int i = 0; i < 50; ++i)
        EXPECT_TRUE(link::RunOffGuiThread([&] {
            offGui = offGui && !link::OnGuiThread();
            if (!seen) ++fresh;
            seen = true;
        }));
    EXPECT_TRUE(offGui);
    EXPECT_LE(fresh, 4);
    EXPECT_FALSE(link::RunOffGuiThread([] { throw std::runtime_error("no"); }));
}

// A configuration download that fails keeps the earlier whole copy and says so.
TEST(TransferConfig, FailedDownloadKeepsEarlierCopy)
{
    KvxSim sim;
    ResetLink(sim.address());
    auto& c = common();
    WriteAll(c.ProgramDir + "stages.ini", "[EARLIER]\n");
    fs::remove(sim.rootDir() + "/Config/stages.ini");
    EXPECT_TRUE(link::CurrentController().connectTransfer(true));
    EXPECT_EQ(ReadAll(c.ProgramDir + "stages.ini"), "[EARLIER]\n");
    EXPECT_FALSE(fs::exists(c.ProgramDir + "stages.ini.part~"));
    EXPECT_TRUE(recorder().logged("Echec du téléchargement de stages.ini"));
    EXPECT_FALSE(link::CurrentController().transferConnected());  // disconnect-after still honoured
}

}  // namespace
