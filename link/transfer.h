#pragma once
// The file-transfer session with the controller and the controller folders. The session is
// opened in the first way that works: FTP (port 21), else SFTP (port 22, with an SSH probe that
// finds where the public folder lives), else the controller's disk mounted as a local folder.
// The way found (common().TransferMode) fixes the remote folder layout.
//
// GUI thread only. Network calls run off it (RunOffGuiThread), so the windows stay live.
// Every failure is returned: GetFile, PutFile and ChangeControllerDir say whether they did it.

#include "apiwire.h"
#include "controllerconfig.h"

#include <cstddef>
#include <functional>
#include <string>
#include <vector>

namespace mvx::link {

class FtpClient;
class SftpSession;

// What the transfer and the start-up connection show in the maintenance console. Every member
// may be empty (the console is not there yet, or a test does not care).
struct LinkConsole {
    std::function<void(const std::string& address, int port)> showAddress;
    std::function<std::string()> address;                 // the console's address edit
    std::function<void(bool connected)> transferButtons;  // "Connect." enabled when not connected
    std::function<void(bool open)> apiButtons;            // API "Connect." enabled when not open
    std::function<std::string()> singleGroupText;         // CBsingle's current text
    std::function<void(const ControllerGroups&)> fillGroups;
    std::function<void()> fillPositionerList;             // SGamma page's positioner box
};
void SetLinkConsole(LinkConsole console);
const LinkConsole& GetLinkConsole();

// State of the transfer unit.
struct TransferState {
    std::string RemoteRoot;
    std::string RemoteDir;  // current remote folder, "" when none
    std::string LocalDir;   // current local folder (with its trailing "/")
    bool CopyRefusedShown = false;
    std::string RemoteFileName;
    bool GatheringFolderFlag = false;  // Q firmware above 30038: gathering files in Public/Gathering
    std::vector<std::string> RemoteListing;  // names in RemoteDir after the last folder change
};
TransferState& transferState();

// The session objects (the file browser lists and moves files through them too).
FtpClient& TransferFtpClient();
SftpSession& TransferSftpSession();

// Opens the session, sets the folders, fetches "system.ini", "system.use" and "stages.ini" into
// the program folder and reads the group lists. Returns whether the session opened (also when
// `disconnectAfter` closed it again at the end).
bool ConnectController(bool disconnectAfter);
// Closes the session; false when the FTP disconnect failed.
bool DisconnectFileTransfer();
bool FileTransferConnected();

// Downloads RemoteDir/remote into LocalDir + local (replaced only by a whole file). False when
// nothing was copied; in the local-drive mode and without session every copy is refused.
bool GetFile(const std::string& remote, const std::string& local, bool disconnectAfter);
// Uploads LocalDir + local as RemoteDir/remote. False when the file did not arrive.
bool PutFile(const std::string& local, const std::string& remote, bool disconnectAfter);
// Uploads LocalDir + each name as RemoteDir/name, one after the other from one helper thread, so
// a long series costs no hand-over between threads per file. `before(i)` runs on that thread
// before file i goes; false stops the series there. A failure stops it too, said in the log as
// PutFile says it.
struct PutSeries {
    std::size_t Sent = 0;  // files that arrived, from the first
    bool Failed = false;   // file `Sent` did not arrive (or the session cannot copy files)
};
PutSeries PutFiles(const std::vector<std::string>& names, const std::function<bool(std::size_t)>& before);
// Connects when needed, makes `remoteDir` current (and lists it), sets LocalDir. False when the
// session could not be opened or the folder could not be listed (RemoteDir is then "").
bool ChangeControllerDir(const std::string& remoteDir, const std::string& localDir);
// The same for a series of files into one folder: a folder that is current on the open session
// already is not listed again, only LocalDir is set.
bool EnterControllerDir(const std::string& remoteDir, const std::string& localDir);

void SetControllerRootDir();
void SetControllerFolders();


// Registers the built-in texts of the transfer, the detection and the start-up (once).
void registerTransferTexts();

// The SSH probe: true (and SftpRoot := "/Admin/Public") when the shell's output could be read.
bool SshProbe(const std::string& address);

}  // namespace mvx::link
