#include "remotefiles.h"

#include "controller.h"
#include "ftp.h"
#include "ssh.h"
#include "transfer.h"

#include "core/common.h"

#include <filesystem>
#include <system_error>

namespace mvx::link {
namespace {

namespace fs = std::filesystem;

class FtpFiles final : public RemoteFiles {
public:
    explicit FtpFiles(FtpClient& client) : mClient(client) {}
    bool network() const override { return true; }
    bool reportsProgress() const override { return true; }
    std::optional<std::vector<RemoteEntry>> list(const std::string& dir) override
    {
        auto l = mClient.list(dir);
        if (!l) return std::nullopt;
        std::vector<RemoteEntry> out;
        out.reserve(l->size());
        for (FtpEntry& e : *l) {
            RemoteEntry r;
            r.name = std::move(e.name);
            r.directory = e.directory;
            r.link = e.link;
            r.size = e.size;
            r.listedDate = std::move(e.dateText);
            r.attributes = std::move(e.permissions);
            out.push_back(std::move(r));
        }
        return out;
    }
    bool get(const std::string& remote, const std::string& local, Progress progress) override
    {
        return mClient.get(remote, local, std::move(progress));
    }
    bool put(const std::string& local, const std::string& remote, Progress progress) override
    {
        return mClient.put(local, remote, std::move(progress));
    }
    std::optional<std::uint64_t> size(const std::string& path) override { return mClient.size(path); }
    bool makeDir(const std::string& path) override { return mClient.makeDir(path); }
    bool removeFile(const std::string& path) override { return mClient.removeFile(path); }
    bool removeDir(const std::string& path) override { return mClient.removeDir(path); }
    bool rename(const std::string& from, const std::string& to) override { return mClient.rename(from, to); }
    void close() override { mClient.close(); }
    std::string lastError() const override { return mClient.lastError(); }

private:
    FtpClient& mClient;
};

class SftpFiles final : public RemoteFiles {
public:
    explicit SftpFiles(SftpSession& session) : mSession(session) {}
    bool network() const override { return true; }
    std::optional<std::vector<RemoteEntry>> list(const std::string& dir) override
    {
        auto l = mSession.list(dir);
        if (!l) return std::nullopt;
        std::vector<RemoteEntry> out;
        out.reserve(l->size());
        for (SftpEntry& e : *l) {
            RemoteEntry r;
            r.name = std::move(e.name);
            r.directory = e.directory || e.type == "directory";
            r.link = e.type == "symlink";
            r.size = e.size;
            r.modifiedText = std::move(e.modifiedText);
            r.modifiedSeconds = e.modified;
            for (auto [flag, letter] : {std::pair{e.readOnly, 'R'}, {e.hidden, 'H'}, {e.system, 'S'},
                                        {e.directory, 'D'}, {e.archive, 'A'}})
                if (flag) r.attributes += letter;
            out.push_back(std::move(r));
        }
        return out;
    }
    // The session reports no progress: a copy is one step.
    bool get(const std::string& remote, const std::string& local, Progress) override
    {
        return mSession.download(remote, local);
    }
    bool put(const std::string& local, const std::string& remote, Progress) override
    {
        return mSession.upload(local, remote);
    }
    std::optional<std::uint64_t> size(const std::string&) override { return std::nullopt; }
    bool makeDir(const std::string& path) override { return mSession.makeDir(path); }
    bool removeFile(const std::string& path) override { return mSession.removeFile(path); }
    bool removeDir(const std::string& path) override { return mSession.removeDir(path); }
    bool rename(const std::string& from, const std::string& to) override { return mSession.rename(from, to); }
    void close() override { mSession.close(); }
    std::string lastError() const override { return mSession.lastError(); }

private:
    SftpSession& mSession;
};

class LocalDriveFiles final : public RemoteFiles {
public:
    bool network() const override { return false; }
    std::optional<std::vector<RemoteEntry>> list(const std::string& dir) override
    {
        std::vector<RemoteEntry> out;
        std::error_code ec;
        for (fs::directory_iterator it(dir, ec), end; !ec && it != end; it.increment(ec)) {
            RemoteEntry e;
            e.name = it->path().filename().string();
            e.directory = it->is_directory(ec);
            if (!e.directory) e.size = it->file_size(ec);
            out.push_back(std::move(e));
        }
        if (ec) return std::nullopt;
        return out;
    }
    bool get(const std::string&, const std::string&, Progress) override { return false; }
    bool put(const std::string&, const std::string&, Progress) override { return false; }
    std::optional<std::uint64_t> size(const std::string&) override { return std::nullopt; }
    bool makeDir(const std::string&) override { return false; }
    bool removeFile(const std::string&) override { return false; }
    bool removeDir(const std::string&) override { return false; }
    bool rename(const std::string&, const std::string&) override { return false; }
    void close() override {}
    std::string lastError() const override { return {}; }
};

}  // namespace

std::unique_ptr<RemoteFiles> MakeFtpFiles(FtpClient& client) { return std::make_unique<FtpFiles>(client); }
std::unique_ptr<RemoteFiles> MakeSftpFiles(SftpSession& session) { return std::make_unique<SftpFiles>(session); }
std::unique_ptr<RemoteFiles> MakeLocalDriveFiles() { return std::make_unique<LocalDriveFiles>(); }

RemoteFiles* Controller::sessionFiles() { return files(common().TransferMode.load()); }

bool Controller::sessionCopiesFiles()
{
    const RemoteFiles* f = sessionFiles();
    return f && f->network();
}

}  // namespace mvx::link
