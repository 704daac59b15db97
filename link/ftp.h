#pragma once
// FTP client of the controller's file service (libcurl). One easy handle and one multi handle
// are kept for the whole session, so the control connection stays open between commands. Remote paths are absolute
// ("/Public/Scripts/a.tcl"); a path without a leading "/" is taken from the login folder.
//
// Calls block until the server answers or a time-out passes; the GUI thread runs them through
// RunOffGuiThread (transfer.h). One call at a time per client (guarded by a mutex).
// A control connection that the server dropped while idle is reopened once before a call fails.

#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace mvx::link {

struct FtpEntry {
    std::string name;
    bool directory = false;
    bool link = false;
    std::uint64_t size = 0;
    std::string permissions;  // "-rw-r--r--"
    std::string dateText;     // "Dec 10 12:13" or "Dec 10  2025", as listed
    std::string linkTarget;   // for links
};

// Entries of a Unix-style ("ls -l") listing; "." and ".." and the "total" line are dropped,
// lines that are not entries are skipped.
std::vector<FtpEntry> ParseUnixListing(const std::string& text);

class FtpClient {
public:
    // Bytes done and the total (0 when the size is unknown). Called on the transferring thread;
    // returning false aborts the transfer.
    using Progress = std::function<bool(std::uint64_t done, std::uint64_t total)>;

    FtpClient();
    ~FtpClient();
    FtpClient(const FtpClient&) = delete;
    FtpClient& operator=(const FtpClient&) = delete;

    // Connects and logs in; the login folder is read from the server (PWD).
    bool open(const std::string& host, const std::string& user, const std::string& password, int port = 21);
    // Sends QUIT and closes the control connection.
    void close();
    bool isOpen() const;
    // Folder the server put the session in at login ("/" or "/Admin").
    std::string entryPath() const;

    // Downloads into a temporary beside `localPath`, which is replaced only once the whole file
    // has arrived. A failed download leaves an existing local file untouched.
    bool get(const std::string& remotePath, const std::string& localPath, Progress progress = {});
    // Uploads under a temporary name in the same remote folder, then renames it over the
    // target, so a failed upload leaves the controller's file as it was. Upload and rename are
    // one request on the open control connection.
    bool put(const std::string& localPath, const std::string& remotePath, Progress progress = {});
    std::optional<std::vector<FtpEntry>> list(const std::string& remoteDir);
    std::optional<std::uint64_t> size(const std::string& remotePath);
    bool makeDir(const std::string& remotePath);
    bool removeFile(const std::string& remotePath);
    bool removeDir(const std::string& remotePath);
    bool rename(const std::string& from, const std::string& to);

    // Bounds of every call: connect and server replies, and a transfer that moves no byte for
    // `stallSeconds`.
    void setTimeouts(int connectMs, int stallSeconds);

    std::string lastError() const;

    // What a status display shows of the session: each reply line of the server ("226 Transfer
    // complete") and the session's end. Called on the thread of the call (or of close()).
    struct StatusHandler {
        std::function<void(const std::string& line)> reply;
        std::function<void()> closed;
    };
    void setStatusHandler(StatusHandler handler);

private:
    struct Request;
    bool perform(Request& r);
    bool performOnce(Request& r, bool fresh);
    bool quote(const std::vector<std::string>& commands);
    std::string url(const std::string& path, bool directory) const;
    std::string absolute(const std::string& path) const;
    void setError(const std::string& text);
    void dropHandles();

    void* mCurl = nullptr;
    void* mMulti = nullptr;
    mutable std::mutex mMutex;
    std::string mHost;
    std::string mUser;
    std::string mPassword;
    int mPort = 21;
    std::string mEntryPath;
    std::atomic<bool> mOpen{false};
    int mConnectMs = 5000;
    int mStallSeconds = 15;
    std::string mLastError;
    mutable std::mutex mStatusMutex;  // apart from mMutex: set while a call runs
    StatusHandler mStatus;
    StatusHandler status() const;
};

}  // namespace mvx::link
