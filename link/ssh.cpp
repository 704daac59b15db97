#include "ssh.h"

#include "core/common.h"
#include "translator/numtext.h"

#include <libssh/libssh.h>
#include <libssh/sftp.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <set>
#include <sys/stat.h>
#include <tuple>

namespace mvx::link {
namespace {

const char* sftpErrorText(int code)
{
    switch (code) {
    case SSH_FX_OK: return "";
    case SSH_FX_EOF: return "end of file";
    case SSH_FX_NO_SUCH_FILE: return "no such file";
    case SSH_FX_PERMISSION_DENIED: return "permission denied";
    case SSH_FX_FAILURE: return "failure";
    case SSH_FX_BAD_MESSAGE: return "bad message";
    case SSH_FX_NO_CONNECTION: return "no connection";
    case SSH_FX_CONNECTION_LOST: return "connection lost";
    case SSH_FX_OP_UNSUPPORTED: return "operation unsupported";
    case SSH_FX_INVALID_HANDLE: return "invalid handle";
    case SSH_FX_NO_SUCH_PATH: return "no such path";
    case SSH_FX_FILE_ALREADY_EXISTS: return "file already exists";
    case SSH_FX_WRITE_PROTECT: return "write protected";
    case SSH_FX_NO_MEDIA: return "no media";
    default: return "error";
    }
}

std::string httpDate(std::int64_t t)
{
    static const char* days[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
    static const char* months[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun", "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    std::time_t tt = static_cast<std::time_t>(t);
    std::tm tm{};
    gmtime_r(&tt, &tm);
    auto two = [](int v) { return (v < 10 ? "0" : "") + num::integer(v); };
    return std::string(days[tm.tm_wday % 7]) + ", " + two(tm.tm_mday) + " " + months[tm.tm_mon % 12] + " " +
           num::integer(tm.tm_year + 1900) + " " + two(tm.tm_hour) + ":" + two(tm.tm_min) + ":" + two(tm.tm_sec) + " GMT";
}

std::mutex gAcceptedMutex;
std::set<std::tuple<std::string, int, std::string>> gAccepted;  // host, port, fingerprint

bool acceptedForRun(const std::string& host, int port, const std::string& fingerprint)
{
    std::lock_guard lock(gAcceptedMutex);
    return gAccepted.count({host, port, fingerprint}) != 0;
}

std::string fingerprintOf(ssh_key key)
{
    unsigned char* hash = nullptr;
    std::size_t length = 0;
    if (!key || ssh_get_publickey_hash(key, SSH_PUBLICKEY_HASH_SHA256, &hash, &length) != SSH_OK) return {};
    char* text = ssh_get_fingerprint_hash(SSH_PUBLICKEY_HASH_SHA256, hash, length);
    ssh_clean_pubkey_hash(&hash);
    std::string out = text ? text : "";
    ssh_string_free_char(text);
    return out;
}

// Fingerprint of the first key the known-hosts file holds for the address.
std::string rememberedFingerprint(const std::string& address, int port)
{
    const std::string host = port == 22 ? address : "[" + address + "]:" + num::integer(port);
    std::ifstream in(KnownHostsFile());
    std::string line;
    while (std::getline(in, line)) {
        ssh_knownhosts_entry* entry = nullptr;
        std::string out;
        if (ssh_known_hosts_parse_line(host.c_str(), line.c_str(), &entry) == SSH_OK && entry)
            out = fingerprintOf(entry->publickey);
        ssh_knownhosts_entry_free(entry);
        if (!out.empty()) return out;
    }
    return {};
}

// The server's key against the known-hosts file, before anything secret is sent. A first key is
// remembered; a different one is refused (with both fingerprints in `mismatch`) unless the user
// let it in for this run.
bool checkHostKey(ssh_session s, const std::string& address, int port, std::string& error,
                  std::optional<HostKeyMismatch>& mismatch)
{
    ssh_key key = nullptr;
    if (ssh_get_server_publickey(s, &key) != SSH_OK) {
        error = std::string("host key: ") + ssh_get_error(s);
        return false;
    }
    const std::string offered = fingerprintOf(key);
    ssh_key_free(key);
    switch (ssh_session_is_known_server(s)) {
    case SSH_KNOWN_HOSTS_OK:
        return true;
    case SSH_KNOWN_HOSTS_NOT_FOUND:
    case SSH_KNOWN_HOSTS_UNKNOWN:
        // Trust on first use. A file that cannot be written only means the key is asked for
        // again next time; the connection itself is no less safe than this first one.
        ssh_session_update_known_hosts(s);
        return true;
    case SSH_KNOWN_HOSTS_CHANGED:
    case SSH_KNOWN_HOSTS_OTHER: {
        if (!offered.empty() && acceptedForRun(address, port, offered)) return true;
        HostKeyMismatch m;
        m.host = address;
        m.port = port;
        m.offered = offered;
        m.known = rememberedFingerprint(address, port);
        error = "the SSH host key of " + address + " has changed (known " + (m.known.empty() ? "?" : m.known) +
                ", offered " + (offered.empty() ? "?" : offered) + "): connection refused; " + KnownHostsFile() +
                " keeps the known key";
        mismatch = std::move(m);
        return false;
    }
    case SSH_KNOWN_HOSTS_ERROR:
    default:
        error = std::string("host key check: ") + ssh_get_error(s);
        return false;
    }
}

// Connects, checks the host key and logs in; on failure returns null and fills `error`.
ssh_session connectSession(const std::string& address, int port, const std::string& user, const std::string& password,
                           int connectTimeoutMs, std::string& error, std::optional<HostKeyMismatch>& mismatch)
{
    mismatch.reset();
    ssh_session s = ssh_new();
    if (!s) {
        error = "cannot create an SSH session";
        return nullptr;
    }
    long timeoutS = std::max(1, (connectTimeoutMs + 999) / 1000);
    int verbosity = SSH_LOG_NOLOG;
    ssh_options_set(s, SSH_OPTIONS_HOST, address.c_str());
    ssh_options_set(s, SSH_OPTIONS_PORT, &port);
    ssh_options_set(s, SSH_OPTIONS_USER, user.c_str());
    ssh_options_set(s, SSH_OPTIONS_TIMEOUT, &timeoutS);
    ssh_options_set(s, SSH_OPTIONS_LOG_VERBOSITY, &verbosity);
    // No user configuration files: the login is the configured one, nothing else.
    int no = 0;
    ssh_options_set(s, SSH_OPTIONS_PROCESS_CONFIG, &no);
    // The program's own file only, for both the user's and the system's list.
    const std::string known = KnownHostsFile();
    ssh_options_set(s, SSH_OPTIONS_KNOWNHOSTS, known.c_str());
    ssh_options_set(s, SSH_OPTIONS_GLOBAL_KNOWNHOSTS, known.c_str());
    if (ssh_connect(s) != SSH_OK) {
        error = std::string("connect: ") + ssh_get_error(s);
        ssh_free(s);
        return nullptr;
    }
    if (!checkHostKey(s, address, port, error, mismatch)) {
        ssh_disconnect(s);
        ssh_free(s);
        return nullptr;
    }
    if (ssh_userauth_password(s, nullptr, password.c_str()) != SSH_AUTH_SUCCESS) {
        error = std::string("login: ") + ssh_get_error(s);
        ssh_disconnect(s);
        ssh_free(s);
        return nullptr;
    }
    return s;
}

}  // namespace

std::string KnownHostsFile() { return common().ProgramDir + "known_hosts"; }

void AcceptHostKeyForRun(const HostKeyMismatch& key)
{
    std::lock_guard lock(gAcceptedMutex);
    gAccepted.insert({key.host, key.port, key.offered});
}

struct SftpSession::Impl {
    ssh_session ssh = nullptr;
    sftp_session sftp = nullptr;
};

SftpSession::SftpSession() : mImpl(new Impl) {}

SftpSession::~SftpSession()
{
    close();
    delete mImpl;
}

bool SftpSession::fail(const std::string& what)
{
    std::string text = what;
    if (mImpl->sftp) {
        const int code = sftp_get_error(mImpl->sftp);
        if (code != SSH_FX_OK) text += std::string(": ") + sftpErrorText(code);
    }
    if (mImpl->ssh) {
        const char* e = ssh_get_error(mImpl->ssh);
        if (e && *e) text += std::string(" (") + e + ")";
    }
    mLastError = text;
    return false;
}

bool SftpSession::open(const std::string& address, const std::string& user, const std::string& password, int port,
                       int connectTimeoutMs, int idleTimeoutMs)
{
    close();
    std::lock_guard lock(mMutex);
    std::string error;
    mImpl->ssh = connectSession(address, port, user, password, connectTimeoutMs, error, mMismatch);
    if (!mImpl->ssh) {
        mLastError = error;
        return false;
    }
    long idleS = std::max(1, (idleTimeoutMs + 999) / 1000);
    ssh_options_set(mImpl->ssh, SSH_OPTIONS_TIMEOUT, &idleS);
    mImpl->sftp = sftp_new(mImpl->ssh);
    if (!mImpl->sftp || sftp_init(mImpl->sftp) != SSH_OK) {
        fail("SFTP start");
        if (mImpl->sftp) sftp_free(mImpl->sftp);
        mImpl->sftp = nullptr;
        ssh_disconnect(mImpl->ssh);
        ssh_free(mImpl->ssh);
        mImpl->ssh = nullptr;
        return false;
    }
    mLastError.clear();
    return true;
}

void SftpSession::close()
{
    std::lock_guard lock(mMutex);
    if (mImpl->sftp) sftp_free(mImpl->sftp);
    mImpl->sftp = nullptr;
    if (mImpl->ssh) {
        ssh_disconnect(mImpl->ssh);
        ssh_free(mImpl->ssh);
    }
    mImpl->ssh = nullptr;
}

bool SftpSession::isOpen() const
{
    std::lock_guard lock(mMutex);
    return mImpl->sftp != nullptr;
}

std::string SftpSession::lastError() const
{
    std::lock_guard lock(mMutex);
    return mLastError;
}

std::optional<HostKeyMismatch> SftpSession::hostKeyMismatch() const
{
    std::lock_guard lock(mMutex);
    return mMismatch;
}

bool SftpSession::download(const std::string& remotePath, const std::string& localPath)
{
    std::lock_guard lock(mMutex);
    if (!mImpl->sftp) return fail("no SFTP session");
    sftp_file f = sftp_open(mImpl->sftp, remotePath.c_str(), O_RDONLY, 0);
    if (!f) return fail("open " + remotePath);
    const std::string temp = localPath + ".part~";
    bool ok = true;
    {
        std::ofstream out(temp, std::ios::binary | std::ios::trunc);
        if (!out) {
            sftp_close(f);
            mLastError = "cannot write " + temp;
            return false;
        }
        char buf[32768];
        for (;;) {
            const ssize_t n = sftp_read(f, buf, sizeof buf);
            if (n == 0) break;
            if (n < 0) {
                ok = fail("read " + remotePath);
                break;
            }
            out.write(buf, n);
            if (!out) {
                ok = false;
                mLastError = "cannot write " + temp;
                break;
            }
        }
        out.close();
        if (ok && !out) {
            ok = false;
            mLastError = "cannot write " + temp;
        }
    }
    sftp_close(f);
    std::error_code ec;
    if (ok) {
        std::filesystem::rename(temp, localPath, ec);
        if (ec) {
            ok = false;
            mLastError = "cannot replace " + localPath + ": " + ec.message();
        }
    }
    if (!ok) std::filesystem::remove(temp, ec);
    return ok;
}

bool SftpSession::renameOver(const std::string& from, const std::string& to)
{
    if (sftp_rename(mImpl->sftp, from.c_str(), to.c_str()) == SSH_OK) return true;
    // A server without overwriting rename: move the old file aside, put the new one in place.
    sftp_attributes old = sftp_lstat(mImpl->sftp, to.c_str());
    if (!old) return false;
    sftp_attributes_free(old);
    const std::string aside = to + ".mvxold";
    sftp_unlink(mImpl->sftp, aside.c_str());
    if (sftp_rename(mImpl->sftp, to.c_str(), aside.c_str()) != SSH_OK) return false;
    if (sftp_rename(mImpl->sftp, from.c_str(), to.c_str()) != SSH_OK) {
        sftp_rename(mImpl->sftp, aside.c_str(), to.c_str());
        return false;
    }
    sftp_unlink(mImpl->sftp, aside.c_str());
    return true;
}

bool SftpSession::upload(const std::string& localPath, const std::string& remotePath)
{
    std::lock_guard lock(mMutex);
    if (!mImpl->sftp) return fail("no SFTP session");
    std::ifstream in(localPath, std::ios::binary);
    if (!in) {
        mLastError = "cannot read " + localPath;
        return false;
    }
    const std::string temp = remotePath + ".mvxtmp";
    sftp_file f = sftp_open(mImpl->sftp, temp.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (!f) return fail("create " + temp);
    bool ok = true;
    char buf[32768];
    while (ok && in) {
        in.read(buf, sizeof buf);
        const std::streamsize n = in.gcount();
        if (n <= 0) break;
        std::streamsize done = 0;
        while (done < n) {
            const ssize_t w = sftp_write(f, buf + done, static_cast<std::size_t>(n - done));
            if (w <= 0) {
                ok = fail("write " + temp);
                break;
            }
            done += w;
        }
    }
    if (ok && in.bad()) {
        ok = false;
        mLastError = "cannot read " + localPath;
    }
    if (sftp_close(f) != SSH_NO_ERROR && ok) ok = fail("close " + temp);
    if (ok && !renameOver(temp, remotePath)) ok = fail("rename " + temp + " to " + remotePath);
    if (!ok) sftp_unlink(mImpl->sftp, temp.c_str());
    return ok;
}

std::optional<std::vector<SftpEntry>> SftpSession::list(const std::string& remoteDir)
{
    std::lock_guard lock(mMutex);
    if (!mImpl->sftp) {
        fail("no SFTP session");
        return std::nullopt;
    }
    sftp_dir dir = sftp_opendir(mImpl->sftp, remoteDir.c_str());
    if (!dir) {
        fail("open folder " + remoteDir);
        return std::nullopt;
    }
    std::vector<SftpEntry> out;
    while (sftp_attributes a = sftp_readdir(mImpl->sftp, dir)) {
        SftpEntry e;
        e.name = a->name ? a->name : "";
        e.directory = a->type == SSH_FILEXFER_TYPE_DIRECTORY;
        e.type = e.directory ? "directory"
                 : a->type == SSH_FILEXFER_TYPE_REGULAR ? "regular"
                 : a->type == SSH_FILEXFER_TYPE_SYMLINK ? "symlink"
                                                       : "other";
        e.size = a->size;
        e.modified = static_cast<std::int64_t>(a->mtime64 ? a->mtime64 : a->mtime);
        e.modifiedText = httpDate(e.modified);
        e.readOnly = (a->permissions & 0200) == 0;
        e.hidden = !e.name.empty() && e.name[0] == '.';
        out.push_back(std::move(e));
        sftp_attributes_free(a);
    }
    const bool complete = sftp_dir_eof(dir) != 0;
    sftp_closedir(dir);
    if (!complete) {
        fail("read folder " + remoteDir);
        return std::nullopt;
    }
    return out;
}

bool SftpSession::exists(const std::string& remotePath)
{
    std::lock_guard lock(mMutex);
    if (!mImpl->sftp) return fail("no SFTP session");
    sftp_attributes a = sftp_stat(mImpl->sftp, remotePath.c_str());
    if (!a) return false;
    sftp_attributes_free(a);
    return true;
}

bool SftpSession::makeDir(const std::string& remotePath)
{
    std::lock_guard lock(mMutex);
    if (!mImpl->sftp) return fail("no SFTP session");
    return sftp_mkdir(mImpl->sftp, remotePath.c_str(), 0755) == SSH_OK || fail("create folder " + remotePath);
}

bool SftpSession::removeFile(const std::string& remotePath)
{
    std::lock_guard lock(mMutex);
    if (!mImpl->sftp) return fail("no SFTP session");
    return sftp_unlink(mImpl->sftp, remotePath.c_str()) == SSH_OK || fail("delete " + remotePath);
}

bool SftpSession::removeDir(const std::string& remotePath)
{
    std::lock_guard lock(mMutex);
    if (!mImpl->sftp) return fail("no SFTP session");
    return sftp_rmdir(mImpl->sftp, remotePath.c_str()) == SSH_OK || fail("delete folder " + remotePath);
}

bool SftpSession::rename(const std::string& from, const std::string& to)
{
    std::lock_guard lock(mMutex);
    if (!mImpl->sftp) return fail("no SFTP session");
    return sftp_rename(mImpl->sftp, from.c_str(), to.c_str()) == SSH_OK || fail("rename " + from + " to " + to);
}

std::optional<std::string> SshShellProbe(const std::string& address, const std::string& user,
                                         const std::string& password, const std::string& command, int port,
                                         int idleTimeoutMs, int readTimeoutMs, std::string* error,
                                         std::optional<HostKeyMismatch>* mismatch)
{
    std::string why;
    std::optional<HostKeyMismatch> changed;
    auto failed = [&](const std::string& what, ssh_session s) -> std::optional<std::string> {
        if (error) *error = what + (s ? std::string(": ") + ssh_get_error(s) : std::string());
        return std::nullopt;
    };
    ssh_session s = connectSession(address, port, user, password, 15000, why, changed);
    if (mismatch) *mismatch = changed;
    if (!s) return failed(why, nullptr);
    long idleS = std::max(1, (idleTimeoutMs + 999) / 1000);
    ssh_options_set(s, SSH_OPTIONS_TIMEOUT, &idleS);
    std::optional<std::string> result;
    ssh_channel ch = ssh_channel_new(s);
    if (!ch || ssh_channel_open_session(ch) != SSH_OK) {
        result = failed("open channel", s);
    } else if (ssh_channel_request_pty_size(ch, "dumb", 120, 40) != SSH_OK) {
        result = failed("pseudo-terminal", s);
    } else if (ssh_channel_request_shell(ch) != SSH_OK) {
        result = failed("shell", s);
    } else {
        std::string line = command;
        if (line.empty() || line.back() != '\n') line += '\n';
        if (ssh_channel_write(ch, line.data(), static_cast<uint32_t>(line.size())) < 0 || ssh_channel_send_eof(ch) != SSH_OK) {
            result = failed("send", s);
        } else {
            std::string text;
            char buf[4096];
            bool bad = false;
            const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(idleTimeoutMs + readTimeoutMs);
            while (!ssh_channel_is_eof(ch) && std::chrono::steady_clock::now() < end) {
                const int n = ssh_channel_read_timeout(ch, buf, sizeof buf, 0, readTimeoutMs);
                if (n < 0) {
                    bad = true;
                    break;
                }
                if (n == 0) break;  // quiet for the whole read time: the shell has said its piece
                text.append(buf, static_cast<std::size_t>(n));
            }
            if (bad)
                result = failed("read", s);
            else
                result = text;
            ssh_channel_close(ch);
        }
    }
    if (ch) ssh_channel_free(ch);
    ssh_disconnect(s);
    ssh_free(s);
    return result;
}

}  // namespace mvx::link
