#include "controller.h"

#include "controllerconfig.h"
#include "detect.h"
#include "ftp.h"
#include "linktexts.h"
#include "poolstate.h"
#include "remotefiles.h"
#include "scriptexec.h"
#include "ssh.h"
#include "telnet.h"
#include "transfer.h"
#include "wireslots.h"
#include "workerstate.h"

#include "core/common.h"

#include <atomic>

namespace mvx::link {
namespace {

std::atomic<Controller*> gInstalled{nullptr};

}  // namespace

struct Controller::Parts {
    explicit Parts(Controller& owner) : scripts(owner) {}

    // In this order on purpose (see controller.h).
    WireSlots wire;
    ConnectionPool pool;
    FtpClient ftp;
    SftpSession sftp;
    std::unique_ptr<RemoteFiles> ftpFiles = MakeFtpFiles(ftp);
    std::unique_ptr<RemoteFiles> sftpFiles = MakeSftpFiles(sftp);
    std::unique_ptr<RemoteFiles> localFiles = MakeLocalDriveFiles();
    TransferState transfer;
    TelnetClient telnet;
    ConnectionState connection;
    std::mutex groupsMutex;
    ControllerGroups groups;
    Workers workers;
    ExeTCL scripts;

    // The hooks the wiring sets, under hookMutex.
    mutable std::mutex hookMutex;
    Reporter* reporter = nullptr;
    std::function<void(const std::string&)> log;
    std::function<void(PoolState)> poolState;
    std::function<void()> dialogShower;
    std::function<void()> stopIoPoll;
    std::function<void(const std::string&)> telnetPane;
    LinkConsole console;  // GUI thread
    std::atomic<PoolState> lastPoolState{PoolState::Closed};
    std::atomic<bool> apiInstalled{false};
};

Controller::Controller()
{
    // The shared globals outlive every controller (the workers clear a flag there as they end).
    (void)common();
    mParts = std::make_unique<Parts>(*this);
}

Controller::~Controller()
{
    // The workers and drains still reach the link through the current controller: they end
    // while this one is still installed. A script run waiting for its reply ends first: the
    // connections it would read go with this object.
    mParts->scripts.EndRuns(5000);
    mParts->workers.stop();
    mParts->pool.stopDrains();
    Controller* self = this;
    gInstalled.compare_exchange_strong(self, nullptr);
}

WireSlots& Controller::wire() { return mParts->wire; }
ConnectionPool& Controller::pool() { return mParts->pool; }
FtpClient& Controller::ftp() { return mParts->ftp; }
SftpSession& Controller::sftp() { return mParts->sftp; }
TransferState& Controller::transfer() { return mParts->transfer; }
TelnetClient& Controller::telnet() { return mParts->telnet; }
ConnectionState& Controller::connection() { return mParts->connection; }
Workers& Controller::workers() { return mParts->workers; }
ControllerGroups& Controller::groups() { return mParts->groups; }
std::mutex& Controller::groupsMutex() { return mParts->groupsMutex; }
ExeTCL& Controller::scripts() { return mParts->scripts; }

void Controller::setReporter(Reporter* reporter)
{
    std::lock_guard lock(mParts->hookMutex);
    mParts->reporter = reporter;
}

Reporter* Controller::reporter() const
{
    std::lock_guard lock(mParts->hookMutex);
    return mParts->reporter;
}

void Controller::setLogHandler(std::function<void(const std::string&)> handler)
{
    std::lock_guard lock(mParts->hookMutex);
    mParts->log = std::move(handler);
}

void Controller::log(const std::string& line) const
{
    std::function<void(const std::string&)> h;
    {
        std::lock_guard lock(mParts->hookMutex);
        h = mParts->log;
    }
    if (h) h(line);
}

void Controller::setPoolStateHandler(std::function<void(PoolState)> handler)
{
    std::lock_guard lock(mParts->hookMutex);
    mParts->poolState = std::move(handler);
}

void Controller::announcePoolState(PoolState state)
{
    mParts->lastPoolState.store(state);
    std::function<void(PoolState)> h;
    {
        std::lock_guard lock(mParts->hookMutex);
        h = mParts->poolState;
    }
    if (h) h(state);
}

PoolState Controller::lastPoolState() const { return mParts->lastPoolState.load(); }

void Controller::setLinkConsole(LinkConsole console) { mParts->console = std::move(console); }
const LinkConsole& Controller::linkConsole() const { return mParts->console; }

void Controller::setConnectionDialogShower(std::function<void()> shower)
{
    std::lock_guard lock(mParts->hookMutex);
    mParts->dialogShower = std::move(shower);
}

std::function<void()> Controller::connectionDialogShower() const
{
    std::lock_guard lock(mParts->hookMutex);
    return mParts->dialogShower;
}

void Controller::setRebootHooks(std::function<void()> stopIoPoll)
{
    std::lock_guard lock(mParts->hookMutex);
    mParts->stopIoPoll = std::move(stopIoPoll);
}

std::function<void()> Controller::stopIoPoll() const
{
    std::lock_guard lock(mParts->hookMutex);
    return mParts->stopIoPoll;
}

void Controller::setTelnetPane(std::function<void(const std::string&)> addLine)
{
    std::lock_guard lock(mParts->hookMutex);
    mParts->telnetPane = std::move(addLine);
}

std::function<void(const std::string&)> Controller::telnetPane() const
{
    std::lock_guard lock(mParts->hookMutex);
    return mParts->telnetPane;
}

std::atomic<int>& Controller::telnetDataReceived() { return mParts->telnet.dataReceived(); }
void Controller::markApiInstalled() { mParts->apiInstalled.store(true); }
bool Controller::apiInstalled() const { return mParts->apiInstalled.load(); }

RemoteFiles* Controller::files(int mode)
{
    switch (mode) {
    case TransferFtp:
        return mParts->ftpFiles.get();
    case TransferSftp:
        return mParts->sftpFiles.get();
    case TransferLocal:
        return mParts->localFiles.get();
    default:
        return nullptr;
    }
}

Controller& CurrentController()
{
    if (Controller* c = gInstalled.load(std::memory_order_acquire)) return *c;
    static Controller process;
    return process;
}

void InstallController(Controller* controller) { gInstalled.store(controller, std::memory_order_release); }

}  // namespace mvx::link
