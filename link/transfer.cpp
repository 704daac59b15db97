#include "transfer.h"

#include "apiwire.h"
#include "controller.h"
#include "ftp.h"
#include "linktexts.h"
#include "remotefiles.h"
#include "remotename.h"
#include "ssh.h"
#include "workers.h"

#include "core/common.h"
#include "translator/texts.h"

#include <QCoreApplication>
#include <QMetaObject>

#include <filesystem>
#include <thread>

namespace mvx::link {

namespace {

std::string text(const char* key)
{
    registerTransferTexts();
    return texts::get(key);
}

std::string joinRemote(const std::string& dir, const std::string& name)
{
    if (dir.empty()) return name;
    if (dir.back() == '/' || dir.back() == '\\') return dir + name;
    return dir + common().RemotePathSeparator + name;
}

std::string upper(std::string s)
{
    for (char& c : s)
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 32);
    return s;
}

void transferButtons(Controller& link)
{
    if (link.linkConsole().transferButtons) link.linkConsole().transferButtons(common().TransferConnected != 0);
}

bool ftpOpen(Controller& link)
{
    auto& c = common();
    bool ok = false;
    const std::string ip = c.ControllerIp, user = c.FtpUser, pass = c.FtpPassword;
    FtpClient& client = link.ftp();
    RunOffGuiThread([&] { ok = client.open(ip, user, pass, 21); });
    return ok;
}

// A changed host key is never let in silently: the user sees both fingerprints and may accept
// the new key for this run only (an unattended run answers no).
bool acceptChangedKey(Controller& link, const HostKeyMismatch& m)
{
    const std::string question = text("StringHostKeyChanged") + " " + m.host + "§" + text("StringHostKeyKnown") + " " +
                                 m.known + "§" + text("StringHostKeyOffered") + " " + m.offered + "§" +
                                 text("StringHostKeyFile") + " " + KnownHostsFile() + "§§" + text("StringHostKeyAccept");
    if (!askUser(question)) {
        const std::string refused = text("StringHostKeyRefused") + " " + m.host;
        link.log(refused);
        return false;
    }
    AcceptHostKeyForRun(m);
    return true;
}

// Opens the SFTP session. `keyRefused` tells the caller that the host key was refused, so
// nothing else is tried on that server.
bool sftpOpen(Controller& link, bool* keyRefused = nullptr)
{
    auto& c = common();
    bool ok = false;
    const std::string ip = c.ControllerIp, user = c.FtpUser, pass = c.FtpPassword;
    SftpSession& session = link.sftp();
    RunOffGuiThread([&] { ok = session.open(ip, user, pass, 22); });
    if (!ok) {
        if (auto m = session.hostKeyMismatch()) {
            if (acceptChangedKey(link, *m)) return sftpOpen(link, keyRefused);
            if (keyRefused) *keyRefused = true;
            return false;
        }
        showMessage(session.lastError());
    }
    return ok;
}

// Copies are refused in the local-drive mode and before any session: said once per run.
void refuseCopy(Controller& link)
{
    auto& t = link.transfer();
    if (t.CopyRefusedShown) return;
    t.CopyRefusedShown = true;
    showMessage(text("StringCopyRefused"));
}

void afterCopy(Controller& link, bool disconnectAfter)
{
    if (disconnectAfter && link.sessionCopiesFiles()) {
        link.disconnectTransfer();
        WaitWithEvents(100);
    }
}

}  // namespace

bool SshProbe(const std::string& address)
{
    auto& c = common();
    std::optional<std::string> out;
    std::string error;
    RunOffGuiThread([&] { out = SshShellProbe(address, c.FtpUser, c.FtpPassword, "ls -a -l Public\r\n", 22,
                                              5000, 2000, &error); });
    if (!out) {
        showMessage(error);
        return false;
    }
    c.SftpRoot = "/Admin/Public";
    return true;
}
bool Controller::connectTransfer(bool disconnectAfter)
{
    registerTransferTexts();
    auto& c = common();
    auto& t = transfer();
    const LinkConsole& console = linkConsole();
    // The motion workers keep addressing the group chosen before the lists are refilled.
    if (console.singleGroupText) {
        std::string g = console.singleGroupText();
        if (g.size() > 47) g.resize(47);
        setThreadGroupName(g);
    }
    if (console.showAddress) console.showAddress(c.ControllerIp, 5001);
    t.RemoteFileName = "system.ini";

    if (ftpOpen(*this)) {
        c.TransferMode = TransferFtp;
        c.TransferConnected = 1;
        log(text("stringconnectFTPOK"));
    } else {
        c.TransferConnected = 0;
        log(text("stringconnectFTPFAil"));
        if (c.Debug) showMessage(text("stringnoKVX"));
    }
    if (!c.TransferConnected) {
        bool keyRefused = false;
        if (sftpOpen(*this, &keyRefused)) {
            c.TransferConnected = 1;
            c.TransferMode = TransferSftp;
        }
        // The probe would meet the same refused key.
        if (!keyRefused) SshProbe(c.ControllerIp);
    }
    if (!c.TransferConnected) {
        std::error_code ec;
        if (std::filesystem::is_directory(c.LocalDiskDrive + "/Scripts", ec)) {
            c.TransferMode = TransferLocal;
            showMessage(text("StringKvxSeenAs") + c.LocalDiskDrive);
            c.TransferConnected = 1;
        }
    }
    transferButtons(*this);
    // Whether the session opened; a disconnect-after at the end does not turn it into a failure.
    const bool opened = c.TransferConnected != 0;
    setRootDir();
    setFolders();

    // A configuration that could not be fetched leaves the earlier whole copy in place (the
    // downloads never truncate it); the failure is logged, and later files are not tried.
    const bool dirOk = changeDir(c.RemoteConfigDir, c.ProgramDir);
    if (sessionCopiesFiles()) {
        bool ok = dirOk;
        if (!ok) log(text("StringFolderFailed") + " " + c.RemoteConfigDir);
        const char* files[][2] = {{"system.ini", "system.ini"}, {"system.ini", "system.use"}, {"stages.ini", "stages.ini"}};
        for (int i = 0; i < 3 && ok; ++i) {
            ok = getFile(files[i][0], files[i][1], i == 2 && disconnectAfter);
            if (!ok) log(text("StringGetFileFailed") + " " + files[i][1]);
        }
        if (!ok && disconnectAfter && c.TransferConnected) disconnectTransfer();
    } else {
        getFile("system.ini", "system.ini", false);  // refused, said once
    }

    const ControllerGroups groups = readGroups(LocalSystemIniPath());
    if (console.fillGroups) console.fillGroups(groups);
    return opened;
}

bool Controller::disconnectTransfer()
{
    auto& c = common();
    bool ok = true;
    if (RemoteFiles* files = sessionFiles()) {
        if (files->network()) RunOffGuiThread([files] { files->close(); });
        c.TransferConnected = 0;
    }
    transfer().RemoteDir.clear();
    log(text(c.TransferConnected ? "stringdisconnectFTPFAil" : "stringdisconnectFTPOK"));
    transferButtons(*this);
    return ok;
}

bool Controller::transferConnected() const { return common().TransferConnected != 0; }

bool Controller::getFile(const std::string& remote, const std::string& local, bool disconnectAfter)
{
    auto& c = common();
    auto& t = transfer();
    RemoteFiles* files = sessionFiles();
    if (!files || !files->network()) {
        refuseCopy(*this);
        return false;
    }
    bool ok = false;
    if (!RemoteNameUsable(local, t.LocalDir)) {
        log(RemoteNameRefusedText(local));
    } else if (t.RemoteDir.empty() || !c.TransferConnected) {
        log(text("StringGetFileFailed") + " " + remote);
    } else {
        const std::string from = joinRemote(t.RemoteDir, remote);
        const std::string to = t.LocalDir + local;
        std::string error;
        RunOffGuiThread([&] {
            ok = files->get(from, to);
            if (!ok) error = files->lastError();
        });
        if (!ok) log(text("StringGetFileFailed") + " " + from + " : " + error);
    }
    afterCopy(*this, disconnectAfter);
    return ok;
}

bool Controller::putFile(const std::string& local, const std::string& remote, bool disconnectAfter)
{
    auto& c = common();
    auto& t = transfer();
    RemoteFiles* files = sessionFiles();
    if (!files || !files->network()) {
        refuseCopy(*this);
        return false;
    }
    bool ok = false;
    if (t.RemoteDir.empty() || !c.TransferConnected) {
        log(text("StringPutFileFailed") + " " + local);
    } else {
        const std::string from = t.LocalDir + local;
        const std::string to = joinRemote(t.RemoteDir, remote);
        std::string error;
        RunOffGuiThread([&] {
            ok = files->put(from, to);
            if (!ok) error = files->lastError();
        });
        if (!ok) log(text("StringPutFileFailed") + " " + to + " : " + error);
    }
    afterCopy(*this, disconnectAfter);
    return ok;
}

Controller::PutSeries Controller::putFiles(std::size_t count, const std::function<std::string(std::size_t)>& name,
                                           const std::function<bool(std::size_t)>& before)
{
    auto& c = common();
    auto& t = transfer();
    PutSeries series;
    if (count == 0) return series;
    RemoteFiles* files = sessionFiles();
    if (!files || !files->network()) {
        refuseCopy(*this);
        series.Failed = true;
        return series;
    }
    if (t.RemoteDir.empty() || !c.TransferConnected) {
        log(text("StringPutFileFailed") + " " + name(0));
        series.Failed = true;
        return series;
    }
    // The folders belong to the GUI thread: the helper works on copies.
    const std::string localDir = t.LocalDir;
    const std::string remoteDir = t.RemoteDir;
    std::string error;
    const bool ran = RunOffGuiThread([&] {
        for (; series.Sent < count; ++series.Sent) {
            if (before && !before(series.Sent)) return;
            const std::string file = name(series.Sent);
            if (!files->put(localDir + file, joinRemote(remoteDir, file))) {
                series.Failed = true;
                error = files->lastError();
                return;
            }
        }
    });
    if (!ran && series.Sent < count) series.Failed = true;
    if (series.Failed && series.Sent < count)
        log(text("StringPutFileFailed") + " " + joinRemote(remoteDir, name(series.Sent)) + " : " + error);
    return series;
}

bool Controller::changeDir(const std::string& remoteDir, const std::string& localDir)
{
    auto& c = common();
    auto& t = transfer();
    t.LocalDir = localDir;
    const int mode = c.TransferMode;
    if (mode == TransferSftp && !c.TransferConnected) c.TransferConnected = sftpOpen(*this) ? 1 : 0;
    if (mode == TransferFtp && !c.TransferConnected) {
        const bool ok = ftpOpen(*this);
        c.TransferConnected = ok ? 1 : 0;
        if (!ok) log(text("stringconnectFTPFAil"));
        transferButtons(*this);
    }
    t.RemoteListing.clear();
    RemoteFiles* files = this->files(mode);
    if (!files || !files->network()) {
        t.RemoteDir = remoteDir;
        return true;
    }
    if (!c.TransferConnected) {
        t.RemoteDir.clear();
        return false;
    }
    bool ok = false;
    std::vector<std::string> names;
    RunOffGuiThread([&] {
        if (auto l = files->list(remoteDir)) {
            ok = true;
            for (const auto& e : *l)
                if (e.name != "." && e.name != "..") names.push_back(e.name);
        }
    });
    if (!ok) {
        t.RemoteDir.clear();
        return false;
    }
    t.RemoteDir = remoteDir;
    t.RemoteListing = std::move(names);
    return true;
}

bool Controller::enterDir(const std::string& remoteDir, const std::string& localDir)
{
    auto& c = common();
    auto& t = transfer();
    if (sessionCopiesFiles() && c.TransferConnected && !remoteDir.empty() && t.RemoteDir == remoteDir) {
        t.LocalDir = localDir;
        return true;
    }
    return changeDir(remoteDir, localDir);
}

void Controller::setRootDir()
{
    auto& c = common();
    auto& t = transfer();
    const std::string sep(1, c.RemotePathSeparator);
    const int model = c.ControllerModel;
    switch (c.TransferMode.load()) {
    case TransferSftp:
    case TransferLocal:
        t.RemoteRoot = (model == ModelD || model == ModelRLD) ? sep + "Admin" : sep;
        break;
    case TransferNone:
        t.RemoteRoot = sep + "Admin";
        break;
    case TransferFtp:
        t.RemoteRoot = upper(ftp().entryPath()).find("ADMIN") != std::string::npos ? sep + "Admin" + sep : sep;
        break;
    default:
        break;
    }
}

void Controller::setFolders()
{
    auto& c = common();
    const std::string root = transfer().RemoteRoot;
    const int model = c.ControllerModel;
    switch (c.TransferMode.load()) {
    case TransferFtp: {
        const bool gathering = model == ModelRL || model == ModelRLD || transfer().GatheringFolderFlag;
        c.RemotePublicDir = root + "Public";
        c.RemoteConfigDir = root + "Config";
        c.RemoteGatheringDir = root + (gathering ? "Public/Gathering" : "Public");
        c.RemoteScriptsDir = root + "Public/Scripts";
        c.RemoteLogDir = root + "Public/Log";
        c.RemoteTrajectoriesDir = root + "Public/Trajectories";
        c.RemotePathSeparator = '/';
        break;
    }
    case TransferSftp:
        c.RemotePublicDir = c.SftpRoot;
        c.RemoteConfigDir = "/Admin/Config";
        c.RemoteGatheringDir = c.SftpRoot + "/Gathering";
        c.RemoteScriptsDir = c.SftpRoot + "/Scripts";
        c.RemoteLogDir = c.SftpRoot + "/Log";
        c.RemoteTrajectoriesDir = c.SftpRoot + "/Trajectories";
        c.RemotePathSeparator = '/';
        break;
    case TransferLocal: {
        // The controller's disk is a mounted folder here, so its paths take this system's "/".
        const std::string drive = c.LocalDiskDrive;
        c.RemotePublicDir = drive;
        c.RemoteConfigDir = "/Admin/Config";
        c.RemoteGatheringDir = drive + "/Gathering";
        c.RemoteScriptsDir = drive + "/Scripts";
        c.RemoteLogDir = drive + "/Log";
        c.RemoteTrajectoriesDir = drive + "/Trajectories";
        c.RemotePathSeparator = '/';
        break;
    }
    default:
        break;
    }
}

}  // namespace mvx::link
