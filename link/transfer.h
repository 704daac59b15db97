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

// What the transfer and the start-up connection show in the maintenance console
// (Controller::setLinkConsole). Every member may be empty (the console is not there yet, or a
// test does not care).
struct LinkConsole {
    std::function<void(const std::string& address, int port)> showAddress;
    std::function<std::string()> address;                 // the console's address edit
    std::function<void(bool connected)> transferButtons;  // "Connect." enabled when not connected
    std::function<void(bool open)> apiButtons;            // API "Connect." enabled when not open
    std::function<std::string()> singleGroupText;         // CBsingle's current text
    std::function<void(const ControllerGroups&)> fillGroups;
    std::function<void()> fillPositionerList;             // SGamma page's positioner box
};

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
// The session's operations are the controller's (Controller::connectTransfer, getFile,
// putFile, changeDir, enterDir, ...): they act on its FTP client, SFTP session and state.

// Registers the built-in texts of the transfer, the detection and the start-up (once).
void registerTransferTexts();

// The SSH probe: true (and SftpRoot := "/Admin/Public") when the shell's output could be read.
bool SshProbe(const std::string& address);

}  // namespace mvx::link
