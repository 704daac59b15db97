#include "ftp.h"

#include "translator/numtext.h"

#include <curl/curl.h>

#include <cctype>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <sstream>
#include <thread>

namespace mvx::link {
namespace {

struct CurlGlobal {
    CurlGlobal() { curl_global_init(CURL_GLOBAL_DEFAULT); }
};
void ensureCurlGlobal()
{
    static CurlGlobal once;
}

bool isMonth(const std::string& t)
{
    static const char* const kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                          "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    for (const char* m : kMonths)
        if (t.size() == 3 && (t[0] | 0x20) == (m[0] | 0x20) && (t[1] | 0x20) == m[1] && (t[2] | 0x20) == m[2])
            return true;
    return false;
}

bool allDigits(const std::string& t)
{
    if (t.empty()) return false;
    for (char c : t)
        if (c < '0' || c > '9') return false;
    return true;
}

struct Token {
    std::string text;
    std::size_t end;
};

std::vector<Token> tokens(const std::string& line, std::size_t count)
{
    std::vector<Token> out;
    std::size_t i = 0;
    while (out.size() < count) {
        while (i < line.size() && (line[i] == ' ' || line[i] == '\t')) ++i;
        if (i >= line.size()) break;
        std::size_t b = i;
        while (i < line.size() && line[i] != ' ' && line[i] != '\t') ++i;
        out.push_back({line.substr(b, i - b), i});
    }
    return out;
}

// Drops one trailing "/" (but keeps "/").
std::string trimSlash(std::string p)
{
    while (p.size() > 1 && p.back() == '/') p.pop_back();
    return p;
}

struct SList {
    curl_slist* p = nullptr;
    ~SList() { curl_slist_free_all(p); }
    void add(const std::string& s) { p = curl_slist_append(p, s.c_str()); }
};

size_t writeToString(char* data, size_t size, size_t n, void* user)
{
    static_cast<std::string*>(user)->append(data, size * n);
    return size * n;
}

size_t writeToFile(char* data, size_t size, size_t n, void* user)
{
    return std::fwrite(data, size, n, static_cast<FILE*>(user)) * size;
}

size_t readFromFile(char* data, size_t size, size_t n, void* user)
{
    return std::fread(data, size, n, static_cast<FILE*>(user)) * size;
}

size_t discard(char*, size_t size, size_t n, void*) { return size * n; }

}  // namespace

std::vector<FtpEntry> ParseUnixListing(const std::string& text)
{
    std::vector<FtpEntry> out;
    std::istringstream in(text);
    std::string line;
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (line.size() < 10) continue;
        const char kind = line[0];
        if (kind != '-' && kind != 'd' && kind != 'l') continue;
        auto t = tokens(line, 9);
        // The size stands just before the month; some servers leave out the group column.
        std::size_t month = 0;
        for (std::size_t i = 3; i + 2 < t.size(); ++i)
            if (isMonth(t[i].text) && allDigits(t[i - 1].text)) {
                month = i;
                break;
            }
        if (month == 0) continue;
        const std::size_t nameStart = t[month + 2].end + 1;
        if (nameStart > line.size()) continue;
        FtpEntry e;
        e.permissions = t[0].text;
        e.directory = kind == 'd';
        e.link = kind == 'l';
        if (auto v = num::parseIntStrict(t[month - 1].text); v && *v >= 0) e.size = static_cast<std::uint64_t>(*v);
        e.dateText = line.substr(t[month].end - t[month].text.size(), t[month + 2].end - (t[month].end - t[month].text.size()));
        e.name = line.substr(nameStart);
        if (e.link) {
            const auto arrow = e.name.find(" -> ");
            if (arrow != std::string::npos) {
                e.linkTarget = e.name.substr(arrow + 4);
                e.name.resize(arrow);
            }
        }
        if (e.name.empty() || e.name == "." || e.name == "..") continue;
        out.push_back(std::move(e));
    }
    return out;
}

struct FtpClient::Request {
    std::string url;
    bool nobody = false;
    bool upload = false;
    std::uint64_t uploadSize = 0;
    std::string* listing = nullptr;
    FILE* in = nullptr;
    FILE* out = nullptr;
    std::vector<std::string> quote;
    std::vector<std::string> postQuote;
    Progress progress;
    // Runs before every attempt (rewinds the files of a repeated attempt); false stops.
    std::function<bool()> prepare;
    // Filled after the call.
    long responseCode = 0;
    curl_off_t contentLength = -1;
    curl_off_t downloaded = 0;
    CURLcode code = CURLE_OK;
};

// The server's reply lines, as libcurl hands them to the header callback (no verbose trace to
// format for every step of every file). libcurl adds header-like lines of its own
// ("Content-Length: 6" for a size): only coded lines and the lines of a multi-line reply pass.
struct ReplyLines {
    const std::function<void(const std::string&)>* reply = nullptr;
    bool inMultiLine = false;
};

static size_t replyLines(char* data, size_t size, size_t count, void* user)
{
    auto* lines = static_cast<ReplyLines*>(user);
    if (!lines || !lines->reply) return size * count;
    const std::string text(data, size * count);
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.find('\n', start);
        if (end == std::string::npos) end = text.size();
        std::string line = text.substr(start, end - start);
        if (!line.empty() && line.back() == '\r') line.pop_back();
        start = end + 1;
        const bool coded = line.size() >= 3 && std::isdigit(static_cast<unsigned char>(line[0])) &&
                           std::isdigit(static_cast<unsigned char>(line[1])) &&
                           std::isdigit(static_cast<unsigned char>(line[2]));
        if (line.empty() || (!coded && !lines->inMultiLine)) continue;
        if (coded && line.size() >= 4 && (line[3] == '-' || line[3] == ' ')) lines->inMultiLine = line[3] == '-';
        try {
            (*lines->reply)(line);
        } catch (...) {
            // The status line is only shown; no exception may cross libcurl's C frames.
        }
    }
    return size * count;
}

FtpClient::FtpClient() { ensureCurlGlobal(); }

void FtpClient::setStatusHandler(StatusHandler handler)
{
    std::lock_guard lock(mStatusMutex);
    mStatus = std::move(handler);
}

FtpClient::StatusHandler FtpClient::status() const
{
    std::lock_guard lock(mStatusMutex);
    return mStatus;
}

FtpClient::~FtpClient() { dropHandles(); }

void FtpClient::dropHandles()
{
    // The cached control connection lives in the multi handle: its clean-up sends QUIT.
    if (mMulti && mCurl) curl_multi_remove_handle(static_cast<CURLM*>(mMulti), static_cast<CURL*>(mCurl));
    if (mCurl) curl_easy_cleanup(static_cast<CURL*>(mCurl));
    if (mMulti) curl_multi_cleanup(static_cast<CURLM*>(mMulti));
    mCurl = nullptr;
    mMulti = nullptr;
}

namespace {

// Runs one transfer on `multi`. After the passive-mode reply libcurl can be left with neither a
// socket nor a timer to wait on until it opens the data connection at its next pass; its own
// loop (curl_easy_perform) then sleeps in curl_multi_poll for the whole second of its time-out.
// curl_multi_wait returns at once in that case, so the next pass follows without delay.
CURLcode driveTransfer(CURLM* multi, CURL* easy)
{
    if (curl_multi_add_handle(multi, easy) != CURLM_OK) return CURLE_FAILED_INIT;
    CURLcode result = CURLE_OK;
    int idlePasses = 0;
    for (;;) {
        int running = 0;
        if (curl_multi_perform(multi, &running) != CURLM_OK) {
            result = CURLE_FAILED_INIT;
            break;
        }
        if (running == 0) break;
        int events = 0;
        const auto before = std::chrono::steady_clock::now();
        if (curl_multi_wait(multi, nullptr, 0, 1000, &events) != CURLM_OK) {
            result = CURLE_FAILED_INIT;
            break;
        }
        // Nothing to wait on several passes running: a short pause, so a state that waits for
        // neither a socket nor a timer cannot turn this into a busy loop.
        if (events == 0 && std::chrono::steady_clock::now() - before < std::chrono::microseconds(200)) {
            if (++idlePasses > 8) std::this_thread::sleep_for(std::chrono::milliseconds(1));
        } else {
            idlePasses = 0;
        }
    }
    int left = 0;
    while (CURLMsg* m = curl_multi_info_read(multi, &left))
        if (m->msg == CURLMSG_DONE && m->easy_handle == easy) result = m->data.result;
    curl_multi_remove_handle(multi, easy);
    return result;
}

}  // namespace

void FtpClient::setTimeouts(int connectMs, int stallSeconds)
{
    std::lock_guard lock(mMutex);
    mConnectMs = connectMs > 0 ? connectMs : 5000;
    mStallSeconds = stallSeconds > 0 ? stallSeconds : 15;
}

std::string FtpClient::lastError() const
{
    std::lock_guard lock(mMutex);
    return mLastError;
}

void FtpClient::setError(const std::string& text) { mLastError = text; }

bool FtpClient::isOpen() const { return mOpen.load(); }

std::string FtpClient::entryPath() const
{
    std::lock_guard lock(mMutex);
    return mEntryPath;
}

std::string FtpClient::absolute(const std::string& path) const
{
    if (!path.empty() && path[0] == '/') return path;
    std::string base = mEntryPath.empty() ? "/" : mEntryPath;
    if (base.back() != '/') base += '/';
    return base + path;
}

std::string FtpClient::url(const std::string& pathIn, bool directory) const
{
    std::string path = absolute(pathIn);
    std::string u = "ftp://" + mHost + ":" + num::integer(mPort) + "/%2F";
    std::size_t i = 1;
    bool first = true;
    while (i <= path.size()) {
        std::size_t j = path.find('/', i);
        if (j == std::string::npos) j = path.size();
        const std::string seg = path.substr(i, j - i);
        if (!seg.empty()) {
            char* esc = curl_easy_escape(nullptr, seg.c_str(), static_cast<int>(seg.size()));
            if (!first) u += '/';
            u += esc ? esc : "";
            curl_free(esc);
            first = false;
        }
        i = j + 1;
    }
    if (directory && u.back() != '/') u += '/';
    return u;
}

bool FtpClient::performOnce(Request& r, bool fresh)
{
    if (!mCurl) mCurl = curl_easy_init();
    if (!mMulti) mMulti = curl_multi_init();
    CURL* c = static_cast<CURL*>(mCurl);
    if (!c || !mMulti) {
        setError("libcurl could not start");
        return false;
    }
    if (r.prepare && !r.prepare()) return false;
    // The control connection stays in the multi handle's cache between calls.
    curl_easy_reset(c);
    char errbuf[CURL_ERROR_SIZE] = {0};
    curl_easy_setopt(c, CURLOPT_ERRORBUFFER, errbuf);
    curl_easy_setopt(c, CURLOPT_URL, r.url.c_str());
    curl_easy_setopt(c, CURLOPT_PROTOCOLS_STR, "ftp");
    curl_easy_setopt(c, CURLOPT_NOPROXY, "*");
    curl_easy_setopt(c, CURLOPT_USERNAME, mUser.c_str());
    curl_easy_setopt(c, CURLOPT_PASSWORD, mPassword.c_str());
    curl_easy_setopt(c, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(c, CURLOPT_CONNECTTIMEOUT_MS, static_cast<long>(mConnectMs));
    curl_easy_setopt(c, CURLOPT_SERVER_RESPONSE_TIMEOUT, static_cast<long>(mStallSeconds));
    curl_easy_setopt(c, CURLOPT_LOW_SPEED_LIMIT, 1L);
    curl_easy_setopt(c, CURLOPT_LOW_SPEED_TIME, static_cast<long>(mStallSeconds));
    curl_easy_setopt(c, CURLOPT_FTP_FILEMETHOD, static_cast<long>(CURLFTPMETHOD_SINGLECWD));
    curl_easy_setopt(c, CURLOPT_TCP_KEEPALIVE, 1L);
    // libcurl keeps a name-cache entry per host and port for a minute, and every passive-mode
    // reply names a new port: a long series of files would grow the cache by one entry per file,
    // and each transfer walks all of it. The host is an address; nothing is worth caching.
    curl_easy_setopt(c, CURLOPT_DNS_CACHE_TIMEOUT, 0L);
    curl_easy_setopt(c, CURLOPT_FRESH_CONNECT, fresh ? 1L : 0L);
    curl_easy_setopt(c, CURLOPT_TRANSFERTEXT, 0L);

    if (r.nobody) curl_easy_setopt(c, CURLOPT_NOBODY, 1L);
    if (r.listing) {
        curl_easy_setopt(c, CURLOPT_WRITEFUNCTION, writeToString);
        curl_easy_setopt(c, CURLOPT_WRITEDATA, r.listing);
    } else if (r.out) {
        curl_easy_setopt(c, CURLOPT_WRITEFUNCTION, writeToFile);
        curl_easy_setopt(c, CURLOPT_WRITEDATA, r.out);
    } else {
        curl_easy_setopt(c, CURLOPT_WRITEFUNCTION, discard);
    }
    if (r.upload) {
        curl_easy_setopt(c, CURLOPT_UPLOAD, 1L);
        curl_easy_setopt(c, CURLOPT_READFUNCTION, readFromFile);
        curl_easy_setopt(c, CURLOPT_READDATA, r.in);
        curl_easy_setopt(c, CURLOPT_INFILESIZE_LARGE, static_cast<curl_off_t>(r.uploadSize));
    }
    SList quote, post;
    for (const auto& q : r.quote) quote.add(q);
    for (const auto& q : r.postQuote) post.add(q);
    if (quote.p) curl_easy_setopt(c, CURLOPT_QUOTE, quote.p);
    if (post.p) curl_easy_setopt(c, CURLOPT_POSTQUOTE, post.p);

    auto xfer = [](void* user, curl_off_t dlTotal, curl_off_t dlNow, curl_off_t ulTotal, curl_off_t ulNow) -> int {
        auto* req = static_cast<Request*>(user);
        if (!req->progress) return 0;
        const bool up = req->upload;
        const curl_off_t now = up ? ulNow : dlNow;
        const curl_off_t total = up ? ulTotal : dlTotal;
        try {
            return req->progress(static_cast<std::uint64_t>(now), static_cast<std::uint64_t>(total < 0 ? 0 : total)) ? 0 : 1;
        } catch (...) {
            return 1;
        }
    };
    curl_easy_setopt(c, CURLOPT_XFERINFOFUNCTION, +xfer);
    curl_easy_setopt(c, CURLOPT_XFERINFODATA, &r);
    curl_easy_setopt(c, CURLOPT_NOPROGRESS, r.progress ? 0L : 1L);

    // Held for the whole call: the header callback refers to it.
    const std::function<void(const std::string&)> reply = status().reply;
    ReplyLines lines{reply ? &reply : nullptr};
    if (reply) {
        curl_easy_setopt(c, CURLOPT_HEADERFUNCTION, replyLines);
        curl_easy_setopt(c, CURLOPT_HEADERDATA, &lines);
    }
    r.code = driveTransfer(static_cast<CURLM*>(mMulti), c);
    // The handle outlives this call: no callback into a gone frame.
    curl_easy_setopt(c, CURLOPT_HEADERFUNCTION, nullptr);
    curl_easy_setopt(c, CURLOPT_HEADERDATA, nullptr);
    curl_easy_getinfo(c, CURLINFO_RESPONSE_CODE, &r.responseCode);
    curl_easy_getinfo(c, CURLINFO_CONTENT_LENGTH_DOWNLOAD_T, &r.contentLength);
    curl_easy_getinfo(c, CURLINFO_SIZE_DOWNLOAD_T, &r.downloaded);
    if (r.code == CURLE_OK) {
        // The data ended early although the server had announced the size.
        if (r.out && r.contentLength >= 0 && r.downloaded != r.contentLength) {
            setError("transfer cut: " + num::integer(r.downloaded) + " of " + num::integer(r.contentLength) + " bytes");
            r.code = CURLE_PARTIAL_FILE;
            return false;
        }
        return true;
    }
    std::string text = curl_easy_strerror(r.code);
    if (errbuf[0]) text += std::string(": ") + errbuf;
    if (r.responseCode) text += " (" + num::integer(r.responseCode) + ")";
    setError(text);
    return false;
}

bool FtpClient::perform(Request& r)
{
    if (performOnce(r, false)) return true;
    // A control connection dropped while idle shows as a failed send or read, or as a reply that
    // does not belong to the command; one fresh connection is tried before giving up.
    switch (r.code) {
    case CURLE_SEND_ERROR:
    case CURLE_RECV_ERROR:
    case CURLE_GOT_NOTHING:
    case CURLE_FTP_WEIRD_SERVER_REPLY:
    case CURLE_FTP_WEIRD_PASV_REPLY:
    case CURLE_FTP_ACCEPT_FAILED:
    case CURLE_FTP_CANT_GET_HOST:
    case CURLE_FTP_PRET_FAILED:
        return performOnce(r, true);
    default:
        return false;
    }
}

bool FtpClient::open(const std::string& host, const std::string& user, const std::string& password, int port)
{
    std::lock_guard lock(mMutex);
    dropHandles();
    mOpen = false;
    mHost = host;
    mUser = user;
    mPassword = password;
    mPort = port;
    mEntryPath = "/";
    Request r;
    r.url = "ftp://" + mHost + ":" + num::integer(mPort) + "/";
    r.nobody = true;
    if (!performOnce(r, true)) return false;
    char* entry = nullptr;
    if (curl_easy_getinfo(static_cast<CURL*>(mCurl), CURLINFO_FTP_ENTRY_PATH, &entry) == CURLE_OK && entry && *entry)
        mEntryPath = trimSlash(entry);
    mOpen = true;
    mLastError.clear();
    return true;
}

void FtpClient::close()
{
    bool wasOpen = false;
    {
        std::lock_guard lock(mMutex);
        dropHandles();
        wasOpen = mOpen.exchange(false);
    }
    if (wasOpen)
        if (const auto closed = status().closed) closed();
}

bool FtpClient::get(const std::string& remotePath, const std::string& localPath, Progress progress)
{
    std::lock_guard lock(mMutex);
    if (!mOpen) {
        setError("FTP session not open");
        return false;
    }
    const std::string temp = localPath + ".part~";
    std::unique_ptr<FILE, int (*)(FILE*)> file(nullptr, std::fclose);
    Request r;
    r.url = url(remotePath, false);
    r.progress = std::move(progress);
    r.prepare = [&] {
        file.reset(std::fopen(temp.c_str(), "wb"));
        r.out = file.get();
        if (!r.out) setError("cannot write " + temp);
        return r.out != nullptr;
    };
    bool ok = perform(r);
    if (file) {
        const bool flushed = std::fflush(file.get()) == 0 && !std::ferror(file.get());
        if (std::fclose(file.release()) != 0 || !flushed) {
            if (ok) setError("cannot write " + temp);
            ok = false;
        }
    }
    std::error_code ec;
    if (!ok) {
        std::filesystem::remove(temp, ec);
        return false;
    }
    std::filesystem::rename(temp, localPath, ec);
    if (ec) {
        setError("cannot replace " + localPath + ": " + ec.message());
        std::filesystem::remove(temp, ec);
        return false;
    }
    return true;
}

bool FtpClient::put(const std::string& localPath, const std::string& remotePathIn, Progress progress)
{
    std::lock_guard lock(mMutex);
    if (!mOpen) {
        setError("FTP session not open");
        return false;
    }
    std::error_code ec;
    const auto bytes = std::filesystem::file_size(localPath, ec);
    if (ec) {
        setError("cannot read " + localPath);
        return false;
    }
    const std::string remotePath = absolute(remotePathIn);
    const auto slash = remotePath.rfind('/');
    const std::string folder = remotePath.substr(0, slash + 1);
    const std::string name = remotePath.substr(slash + 1);
    if (name.empty()) {
        setError("no remote file name");
        return false;
    }
    const std::string temp = folder + name + ".upl";
    std::unique_ptr<FILE, int (*)(FILE*)> file(nullptr, std::fclose);
    Request r;
    r.url = url(temp, false);
    r.upload = true;
    r.uploadSize = bytes;
    r.progress = std::move(progress);
    r.prepare = [&] {
        file.reset(std::fopen(localPath.c_str(), "rb"));
        r.in = file.get();
        if (!r.in) setError("cannot read " + localPath);
        return r.in != nullptr;
    };
    // The rename goes with the upload's own request: no further exchange per file.
    r.postQuote = {"RNFR " + temp, "RNTO " + remotePath};
    if (perform(r)) return true;
    file.reset();
    if (r.code != CURLE_QUOTE_ERROR) {
        const std::string why = mLastError;
        quote({"DELE " + temp});
        setError(why);
        return false;
    }
    // The file arrived but was not renamed. Some servers refuse to rename over an existing
    // file: then the old one goes first.
    if (quote({"DELE " + remotePath}) && quote({"RNFR " + temp, "RNTO " + remotePath})) return true;
    const std::string why = mLastError;
    quote({"DELE " + temp});
    setError(why);
    return false;
}

std::optional<std::vector<FtpEntry>> FtpClient::list(const std::string& remoteDir)
{
    std::lock_guard lock(mMutex);
    if (!mOpen) {
        setError("FTP session not open");
        return std::nullopt;
    }
    std::string text;
    Request r;
    r.url = url(remoteDir, true);
    r.listing = &text;
    r.prepare = [&] {
        text.clear();
        return true;
    };
    if (!perform(r)) return std::nullopt;
    return ParseUnixListing(text);
}

std::optional<std::uint64_t> FtpClient::size(const std::string& remotePath)
{
    std::lock_guard lock(mMutex);
    if (!mOpen) {
        setError("FTP session not open");
        return std::nullopt;
    }
    Request r;
    r.url = url(remotePath, false);
    r.nobody = true;
    if (!perform(r) || r.contentLength < 0) return std::nullopt;
    return static_cast<std::uint64_t>(r.contentLength);
}

bool FtpClient::quote(const std::vector<std::string>& commands)
{
    Request r;
    r.url = "ftp://" + mHost + ":" + num::integer(mPort) + "/";
    r.nobody = true;
    r.quote = commands;
    return perform(r);
}

bool FtpClient::makeDir(const std::string& remotePath)
{
    std::lock_guard lock(mMutex);
    if (!mOpen) return setError("FTP session not open"), false;
    return quote({"MKD " + trimSlash(absolute(remotePath))});
}

bool FtpClient::removeFile(const std::string& remotePath)
{
    std::lock_guard lock(mMutex);
    if (!mOpen) return setError("FTP session not open"), false;
    return quote({"DELE " + absolute(remotePath)});
}

bool FtpClient::removeDir(const std::string& remotePath)
{
    std::lock_guard lock(mMutex);
    if (!mOpen) return setError("FTP session not open"), false;
    return quote({"RMD " + trimSlash(absolute(remotePath))});
}

bool FtpClient::rename(const std::string& from, const std::string& to)
{
    std::lock_guard lock(mMutex);
    if (!mOpen) return setError("FTP session not open"), false;
    return quote({"RNFR " + absolute(from), "RNTO " + absolute(to)});
}

}  // namespace mvx::link
