#include "controller.h"

#include "controllerconfig.h"
#include "detect.h"
#include "ftp.h"
#include "poolstate.h"
#include "remotefiles.h"
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
};

Controller::Controller()
{
    // The shared globals outlive every controller (the workers clear a flag there as they end).
    (void)common();
    mParts = std::make_unique<Parts>();
}

Controller::~Controller()
{
    // The workers and drains still reach the link through the current controller: they end
    // while this one is still installed.
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
