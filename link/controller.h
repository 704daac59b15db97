#pragma once
// The controller link's state in one object: the wire's connection table, the pool of API
// connections, the file-transfer session (FTP client, SFTP session, the remote files and the
// folders), the telnet client, the detection's connection state, the configuration's group
// lists, the motion workers with their records and the script runs, and where the link's words
// go (the reporter, the console's log and buttons, the connection dialog, the reboot's and the
// telnet pane's hooks). The program's wiring builds one, installs it and hands it to every
// window that uses the link; the windows act on it through its members. The link's free
// functions act on the installed one (the API functions, which take a connection of its pool,
// and the link's own inner steps). Only what is truly process-wide stays outside: curl's
// global set-up, the parsed API table, the language texts, the shared globals, the GUI
// thread's live waiter (one GUI thread per process) and the host keys accepted for this run.
//
// The members are built in the order above and end in the reverse one: the workers are joined
// before the pool stops its drains, and the pool ends before the connections it lends.

#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

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
class ExeTCL;
struct PositionsShared;
struct HomingShared;
struct MoveAbsShared;
struct MoveRelShared;
struct RebootProgress;
struct StartupOptions;
enum class RebootResult;
class Reporter;
struct LinkConsole;
enum class PoolState;

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
    // The script worker of this controller (one run at a time).
    ExeTCL& scripts();

    // The pool of 32 API connections to common().ControllerIp. Open is true when all are open
    // (or already were); a failed open closes the ones it opened and leaves the pool closed.
    // Close stops pending drains first; false when a close failed. GUI thread (or the one
    // thread that owns the pool). Connections are taken with PooledSocket(controller, ...).
    bool openPool(int port = 5001);
    bool closePool();
    bool poolOpen();
    // The controller's text for an error code (ErrorStringGet on its own pooled connection,
    // 0.3 s); apiErrorText waits 1.0 s and keeps the text up to its first zero.
    std::string errorText(int code);
    std::string apiErrorText(int code);

    // The file-transfer session (transfer.h). connectTransfer opens it, sets the folders,
    // fetches "system.ini", "system.use" and "stages.ini" and reads the group lists; true when
    // it opened (also when `disconnectAfter` closed it again). getFile copies RemoteDir/remote
    // to LocalDir + local (the local file replaced only by a whole one), putFile the other way;
    // both are refused in the local-drive mode and without a session. changeDir connects when
    // needed, makes `remoteDir` current and lists it; enterDir does not list again a folder
    // that is current on the open session already. Each says whether it did it.
    bool connectTransfer(bool disconnectAfter);
    bool disconnectTransfer();
    bool transferConnected() const;
    bool getFile(const std::string& remote, const std::string& local, bool disconnectAfter);
    bool putFile(const std::string& local, const std::string& remote, bool disconnectAfter);
    bool changeDir(const std::string& remoteDir, const std::string& localDir);
    bool enterDir(const std::string& remoteDir, const std::string& localDir);
    // Uploads LocalDir + name(i) as RemoteDir/name(i) for i from 0 to count - 1, one after the
    // other from one helper thread, so a long series costs no hand-over between threads per
    // file. `name` and `before(i)` run on that thread, `before(i)` before file i goes; false
    // stops the series there. A failure stops it too, said in the log as putFile says it.
    struct PutSeries {
        std::size_t Sent = 0;  // files that arrived, from the first
        bool Failed = false;   // file `Sent` did not arrive (or the session cannot copy files)
    };
    PutSeries putFiles(std::size_t count, const std::function<std::string(std::size_t)>& name,
                       const std::function<bool(std::size_t)>& before);
    void setRootDir();
    void setFolders();
    // The files of the current transfer mode's session (nullptr when none), and whether it copies.
    RemoteFiles* sessionFiles();
    bool sessionCopiesFiles();

    // The telnet session on port 23, logged in with FtpUser / FtpPassword.
    bool connectTelnet();
    bool disconnectTelnet();
    bool telnetConnected();

    // The motion workers (workers.h): the group they address (refused above 48 characters),
    // their hand-over records, and their start; joinWorkers joins the ended ones (`all`: every one).
    bool setThreadGroupName(const std::string& name);
    std::string threadGroupName();
    PositionsShared& positions();
    HomingShared& homing();
    MoveAbsShared& moveAbs();
    MoveRelShared& moveRel();
    void startPositions();
    void startHoming();
    void startMoveAbsolute();
    void startMoveRelative();
    void joinWorkers(bool all = false);
    int workersRunning();

    // Reads the group lists of a "system.ini" and keeps them; the lists last read.
    ControllerGroups readGroups(const std::string& systemIniPath);
    ControllerGroups currentGroups();

    // Detection (detect.h): the dialog's settings, a controller type chosen as its radio group
    // does, the dialog itself, the model found on the API port, and the presence check by
    // common().DetectionMode.
    void loadConnectionSettings();
    void selectControllerType(int item);
    void showConnectionDialog();
    bool detectControllerType();
    bool present(const std::string& address, int timeoutMs);

    // The start-up connection (startupconnect.h): true when the controller is usable;
    // connection().QuitRequested says that the user chose to end the program.
    bool startupConnection(const StartupOptions& options);

    // Reboots the controller and restores the connections that were open (reboot.h).
    RebootResult reboot(const RebootProgress& progress);

    // Where the link's words for the user go; the reporter stays the caller's. Null: messages
    // and notices go to the log, questions are answered No.
    void setReporter(Reporter* reporter);
    Reporter* reporter() const;
    // Lines for the maintenance console's log pane.
    void setLogHandler(std::function<void(const std::string&)> handler);
    void log(const std::string& line) const;
    // The pool's state for the console's buttons, and the one last announced (Closed before any).
    void setPoolStateHandler(std::function<void(PoolState)> handler);
    void announcePoolState(PoolState state);
    PoolState lastPoolState() const;
    // What the transfer and the start-up connection show in the console (GUI thread).
    void setLinkConsole(LinkConsole console);
    const LinkConsole& linkConsole() const;
    // Shows the connection dialog modally; without it nothing is shown.
    void setConnectionDialogShower(std::function<void()> shower);
    std::function<void()> connectionDialogShower() const;
    // The console's I/O poll, stopped during a reboot.
    void setRebootHooks(std::function<void()> stopIoPoll);
    std::function<void()> stopIoPoll() const;
    // Where telnet connection warnings go (the TCL editor's pane); none: the log.
    void setTelnetPane(std::function<void(const std::string&)> addLine);
    std::function<void(const std::string&)> telnetPane() const;
    // Set whenever telnet data arrives; the reboot clears it.
    std::atomic<int>& telnetDataReceived();
    // The API table was installed by the start-up connection.
    void markApiInstalled();
    bool apiInstalled() const;

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
