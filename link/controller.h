#pragma once
// The controller link's state in one object: the wire's connection table, the pool of API
// connections, the file-transfer session (FTP client, SFTP session, the remote files and the
// folders), the telnet client, the detection's connection state, the configuration's group lists
// and the motion workers with their records. The program's wiring builds one and installs it; the link's functions act on
// the installed one. Only what is truly process-wide stays outside (curl's global set-up, the
// language texts, the shared globals).
//
// The members are built in the order above and end in the reverse one: the workers are joined
// before the pool stops its drains, and the pool ends before the connections it lends.

#include <memory>
#include <mutex>

namespace mvx::link {

struct WireSlots;
class ConnectionPool;
class FtpClient;
class SftpSession;
class RemoteFiles;
struct TransferState;
class TelnetClient;
struct ConnectionState;
struct ControllerGroups;
class Workers;

class Controller {
public:
    Controller();
    // Joins the workers and stops the drains (while still installed), then is removed if
    // installed, ends the sessions and closes its connections.
    ~Controller();
    Controller(const Controller&) = delete;
    Controller& operator=(const Controller&) = delete;

    WireSlots& wire();
    ConnectionPool& pool();
    FtpClient& ftp();
    SftpSession& sftp();
    // The session's files for a transfer mode; nullptr for TransferNone.
    RemoteFiles* files(int mode);
    TransferState& transfer();
    TelnetClient& telnet();
    ConnectionState& connection();
    // The group lists of the last configuration read, under groupsMutex().
    ControllerGroups& groups();
    std::mutex& groupsMutex();
    Workers& workers();

private:
    struct Parts;
    std::unique_ptr<Parts> mParts;
};

// The controller the link acts on: the installed one, else the process's own, built at first use.
Controller& CurrentController();
// Makes `controller` the current one (nullptr: back to the process's own). Install it before the
// first link call and remove it after the link has stopped; other threads must not be in the
// link meanwhile.
void InstallController(Controller* controller);

}  // namespace mvx::link
