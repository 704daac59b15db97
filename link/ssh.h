#pragma once
// SFTP session and SSH shell probe on the controller (libssh). Password login with the
// configured user and password. Calls block up to their time-outs: run them off the GUI thread.
// The controller's host key is checked against the known-hosts file of the program folder
// before the password is sent: an address seen for the first time is trusted and remembered,
// a key that differs from the remembered one is refused unless the user accepted it for this
// run (AcceptHostKeyForRun). Every failure leaves its text in lastError().

#include <cstdint>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace mvx::link {

struct SftpEntry {
    std::string name;
    std::string type;  // "regular", "directory", "symlink" or "other"
    std::uint64_t size = 0;
    std::int64_t modified = 0;     // seconds since 1970 (UTC)
    std::string modifiedText;      // "Thu, 21 Aug 2003 12:00:00 GMT"
    bool readOnly = false;
    bool hidden = false;
    bool system = false;
    bool directory = false;
    bool archive = false;
};

// The known-hosts file (OpenSSH format): "known_hosts" in the program folder.
std::string KnownHostsFile();

// A host key that differs from the one remembered for the address.
struct HostKeyMismatch {
    std::string host;
    int port = 22;
    std::string offered;  // fingerprint of the key the server shows now ("SHA256:...")
    std::string known;    // fingerprint of the remembered key, empty when it cannot be read
};

// Lets the key with this fingerprint in for the address until the program ends; the file keeps
// the remembered key. Thread-safe.
void AcceptHostKeyForRun(const HostKeyMismatch& key);

class SftpSession {
public:
    SftpSession();
    ~SftpSession();
    SftpSession(const SftpSession&) = delete;
    SftpSession& operator=(const SftpSession&) = delete;

    // Connect, password login, start SFTP. All must succeed for the session to count as open.
    bool open(const std::string& address, const std::string& user, const std::string& password, int port = 22,
              int connectTimeoutMs = 15000, int idleTimeoutMs = 15000);
    void close();
    bool isOpen() const;

    // Remote file to a local path; the local file is replaced only once the download is whole.
    bool download(const std::string& remotePath, const std::string& localPath);
    // Local file to a remote path: written under a temporary name, then renamed over the old
    // file, so a failed upload leaves the controller's file as it was.
    bool upload(const std::string& localPath, const std::string& remotePath);
    std::optional<std::vector<SftpEntry>> list(const std::string& remoteDir);
    bool exists(const std::string& remotePath);
    bool makeDir(const std::string& remotePath);
    bool removeFile(const std::string& remotePath);
    bool removeDir(const std::string& remotePath);
    bool rename(const std::string& from, const std::string& to);

    std::string lastError() const;
    // Set when the last open was refused because the host key changed.
    std::optional<HostKeyMismatch> hostKeyMismatch() const;

private:
    bool fail(const std::string& what);
    bool renameOver(const std::string& from, const std::string& to);
    struct Impl;
    Impl* mImpl;
    mutable std::mutex mMutex;
    std::string mLastError;
    std::optional<HostKeyMismatch> mMismatch;
};

// The SSH probe: login, pseudo-terminal "dumb" 120x40, shell, send `command` (a line end is
// added when missing), end of input, then read what the shell prints until it closes or
// `readTimeoutMs` passes without data. nullopt on failure, with the reason in `error` (and the
// keys in `mismatch` when the host key changed).
std::optional<std::string> SshShellProbe(const std::string& address, const std::string& user,
                                         const std::string& password, const std::string& command, int port = 22,
                                         int idleTimeoutMs = 5000, int readTimeoutMs = 2000,
                                         std::string* error = nullptr, std::optional<HostKeyMismatch>* mismatch = nullptr);

}  // namespace mvx::link
