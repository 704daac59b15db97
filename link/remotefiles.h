#pragma once
// The controller's files as the transfer session reaches them: one interface with the FTP client,
// the SFTP session and the controller's disk mounted as a local folder behind it. The transfer
// mode set when the session opened picks the one in use (SessionFiles), so callers do not branch
// on the protocol.
//
// Calls block until the server answers or a time-out passes: the GUI thread runs them through
// RunOffGuiThread. Every failure leaves its text in lastError().

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace mvx::link {

class FtpClient;
class SftpSession;

// One entry of a remote folder, with what its protocol lists of it.
struct RemoteEntry {
    std::string name;
    bool directory = false;
    bool link = false;
    std::uint64_t size = 0;
    std::string listedDate;    // FTP: the listing's date ("Dec 10 12:13" or "Dec 10  2025")
    std::string modifiedText;  // SFTP: "Thu, 21 Aug 2003 12:00:00 GMT"
    std::optional<std::int64_t> modifiedSeconds;  // SFTP: seconds since 1970 (UTC)
    std::string attributes;    // FTP: permissions "-rw-r--r--"; SFTP: letters of "RHSDA"
};

class RemoteFiles {
public:
    // Bytes done and the total (0 when unknown), on the transferring thread; false aborts.
    using Progress = std::function<bool(std::uint64_t done, std::uint64_t total)>;

    virtual ~RemoteFiles() = default;

    // A network session (FTP, SFTP): files are copied to and from it. The local drive is not
    // one: every copy is refused there, and its folders are not listed when they become current.
    virtual bool network() const = 0;
    // Whether get and put call their Progress (the FTP client does).
    virtual bool reportsProgress() const { return false; }

    // The folder's entries as the server lists them (the SFTP session lists "." and "..").
    virtual std::optional<std::vector<RemoteEntry>> list(const std::string& dir) = 0;
    // The local file is replaced only once the whole file has arrived.
    virtual bool get(const std::string& remotePath, const std::string& localPath, Progress progress = {}) = 0;
    // Sent under a temporary name and renamed over the old file.
    virtual bool put(const std::string& localPath, const std::string& remotePath, Progress progress = {}) = 0;
    // nullopt when the size cannot be asked for (SFTP, local drive) or the file is not there.
    virtual std::optional<std::uint64_t> size(const std::string& path) = 0;
    virtual bool makeDir(const std::string& path) = 0;
    virtual bool removeFile(const std::string& path) = 0;
    virtual bool removeDir(const std::string& path) = 0;
    virtual bool rename(const std::string& from, const std::string& to) = 0;
    // Ends the session (nothing to end on the local drive).
    virtual void close() = 0;
    virtual std::string lastError() const = 0;
};

// A controller holds one of each (Controller::files for a transfer mode, sessionFiles for the
// current one).

// The implementations, for the session objects of transfer.h and for tests.
std::unique_ptr<RemoteFiles> MakeFtpFiles(FtpClient& client);
std::unique_ptr<RemoteFiles> MakeSftpFiles(SftpSession& session);
// The controller's disk as a local folder: listed with the file system; every change is refused
// (with no error text), as every copy is.
std::unique_ptr<RemoteFiles> MakeLocalDriveFiles();

}  // namespace mvx::link
