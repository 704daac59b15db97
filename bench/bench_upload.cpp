// Upload of a job's PVT files on loopback, and where each millisecond of a file goes.
//
// The same files (one small PVT file per run of a job) go to the controller simulator in one run
// of this program, by each layer of the road in turn:
//   main window    "Save all" after a conversion: the script, then every PVT file (uploadAll)
//   job link       the main window's call: the folder once, then every file as one series
//                  from one thread (the session's put per file)
//   FTP client     the session's client alone: temporary name, upload and rename in one request
//   libcurl        plain curl_easy_perform, one STOR per file on one handle (at most 300 files:
//                  it sleeps a whole second now and then between the passive-mode reply and the
//                  data connection, which the worst column shows; the FTP client drives libcurl
//                  with curl_multi_wait instead)
//   raw client     this bench's own: EPSV, STOR, data, 226 on plain sockets
// and then to a minimal FTP server of this bench's own (C++, nothing but the replies), so the
// client side is seen without the simulator's server. The differences of two rows give one
// layer's share: program (main window - FTP client), rename (FTP client - libcurl), libcurl
// (libcurl - raw client), the simulator's FTP server (raw client, simulator - own server).
// SFTP to the simulator closes the table. Every figure is in ms per file: the mean, the mean of
// the first and of the last tenth of the series (a cost per file that grows shows as a last tenth
// above the first), the worst file, and the mean over the goal of 2 ms per file.
// Every data connection leaves a socket in TIME_WAIT for a minute: in a long run the later rows
// meet those of the earlier ones, and the kernel's choice of a port for a new connection slows.
//
//   build/bench_upload [--files N]        (default 2000; the 1M-line SCT job writes 36452)
#include "link/controller.h"
#include "core/common.h"
#include "app/dialogs.h"
#include "core/inifile.h"
#include "link/apitable.h"
#include "linkui/filebrowser.h"
#include "linkui/linkreporter.h"
#include "link/ftp.h"
#include "link/linktexts.h"
#include "link/socketpool.h"
#include "link/ssh.h"
#include "link/transfer.h"
#include "mainwindow/joblink_impl.h"
#include "mainwindow/tfaxes.h"
#include "mainwindow/tfio.h"
#include "mainwindow/tfmain.h"
#include "tests/support/kvxsim_fixture.h"
#include "bench/benchsim.h"

#include <QApplication>
#include <QTemporaryDir>

#include <curl/curl.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <numeric>
#include <string>
#include <thread>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;
constexpr double kGoalMsPerFile = 2.0;
const char* const kUser = "Supervisorium";

double msSince(Clock::time_point t0) { return std::chrono::duration<double, std::milli>(Clock::now() - t0).count(); }

// Per-file times of one series.
struct Series {
    std::vector<double> ms;
    double totalMs = 0.0;
    std::size_t files = 0;  // files the total stands for
    bool ok = true;
    double mean() const { return files ? totalMs / static_cast<double>(files) : 0.0; }
    double meanOf(std::size_t from, std::size_t to) const
    {
        if (to <= from || to > ms.size()) return 0.0;
        return std::accumulate(ms.begin() + static_cast<std::ptrdiff_t>(from), ms.begin() + static_cast<std::ptrdiff_t>(to),
                               0.0) /
               static_cast<double>(to - from);
    }
    std::size_t tenth() const { return std::max<std::size_t>(1, ms.size() / 10); }
    double firstTenth() const { return meanOf(0, tenth()); }
    double lastTenth() const { return ms.empty() ? 0.0 : meanOf(ms.size() - tenth(), ms.size()); }
    double worst() const { return ms.empty() ? 0.0 : *std::max_element(ms.begin(), ms.end()); }
};

Series timeEach(std::size_t n, const std::function<bool(std::size_t)>& one)
{
    Series s;
    s.ms.reserve(n);
    const auto t0 = Clock::now();
    for (std::size_t i = 0; i < n; ++i) {
        const auto t = Clock::now();
        if (!one(i)) {
            s.ok = false;
            break;
        }
        s.ms.push_back(msSince(t));
    }
    s.totalMs = msSince(t0);
    s.files = s.ms.size();
    return s;
}

std::string pvtName(std::size_t i) { return "TRJ" + std::to_string(i + 1) + ".PVT"; }

// The job link's series of `n` files: each file's time runs from its turn to the next one's.
Series timeSeries(mvx::JobLink& link, const std::string& local, std::size_t n, std::string& err)
{
    Series s;
    s.ms.reserve(n);
    auto last = Clock::now();
    const auto t0 = last;
    const std::size_t sent = link.PutTrajectories(local, n, pvtName, [&](std::size_t i) {
        const auto now = Clock::now();
        if (i > 0) s.ms.push_back(std::chrono::duration<double, std::milli>(now - last).count());
        last = now;
        return true;
    }, err);
    if (sent > 0) s.ms.push_back(msSince(last));
    s.totalMs = msSince(t0);
    s.files = sent;
    s.ok = sent == n;
    return s;
}

void printHeader()
{
    std::printf("%-60s %8s %9s %9s %8s %9s\n", "ms per file", "mean", "first10%", "last10%", "worst", "mean/2ms");
}

void printRow(const std::string& what, const Series& s)
{
    auto cell = [](double v, bool known) {
        char b[32];
        if (known)
            std::snprintf(b, sizeof b, "%.3f", v);
        else
            std::snprintf(b, sizeof b, "-");
        return std::string(b);
    };
    const bool perFile = !s.ms.empty();
    std::printf("%-60s %8.3f %9s %9s %8s %8.2fx %s\n", what.c_str(), s.mean(), cell(s.firstTenth(), perFile).c_str(),
                cell(s.lastTenth(), perFile).c_str(), cell(s.worst(), perFile).c_str(), s.mean() / kGoalMsPerFile,
                s.ok ? "" : "FAILED");
    std::fflush(stdout);
}


void emptyFolder(const std::string& dir)
{
    std::error_code ec;
    for (const auto& e : std::filesystem::directory_iterator(dir, ec)) std::filesystem::remove_all(e.path(), ec);
}

// Lines ending in CR LF on a blocking socket.
class LineSocket {
public:
    explicit LineSocket(int fd) : mFd(fd) {}
    ~LineSocket()
    {
        if (mFd >= 0) ::close(mFd);
    }
    bool send(const std::string& line)
    {
        const std::string l = line + "\r\n";
        return ::send(mFd, l.data(), l.size(), MSG_NOSIGNAL) == static_cast<ssize_t>(l.size());
    }
    bool read(std::string& line)
    {
        for (;;) {
            const auto nl = mBuf.find("\r\n");
            if (nl != std::string::npos) {
                line = mBuf.substr(0, nl);
                mBuf.erase(0, nl + 2);
                return true;
            }
            char b[4096];
            const ssize_t n = ::recv(mFd, b, sizeof b, 0);
            if (n <= 0) return false;
            mBuf.append(b, static_cast<std::size_t>(n));
        }
    }
    int fd() const { return mFd; }

private:
    int mFd;
    std::string mBuf;
};

// ---- a raw FTP client: one control connection, EPSV + STOR per file ---------------------------

class RawFtp {
public:
    bool open(const std::string& host, int port)
    {
        mHost = host;
        const int fd = mvx::bench::ConnectTcp(host, port);
        if (fd < 0) return false;
        mCtl = std::make_unique<LineSocket>(fd);
        return reply() / 100 == 2 && command(std::string("USER ") + kUser) / 100 == 3 &&
               command(std::string("PASS ") + kUser) / 100 == 2 && command("TYPE I") / 100 == 2;
    }
    ~RawFtp()
    {
        if (mCtl) command("QUIT");
    }
    bool cwd(const std::string& dir) { return command("CWD " + dir) / 100 == 2; }
    bool put(const std::string& name, const std::string& data)
    {
        if (command("EPSV") != 229) return false;
        const auto bar = mLine.find("|||");
        if (bar == std::string::npos) return false;
        const int d = mvx::bench::ConnectTcp(mHost, std::atoi(mLine.c_str() + bar + 3));
        if (d < 0) return false;
        const int pre = command("STOR " + name);
        bool ok = pre == 125 || pre == 150;
        if (ok) ok = ::send(d, data.data(), data.size(), MSG_NOSIGNAL) == static_cast<ssize_t>(data.size());
        ::close(d);
        return ok && reply() == 226;
    }

private:
    int command(const std::string& c) { return mCtl->send(c) ? reply() : -1; }
    // The code of the next whole reply (a multi-line reply is read to its last line).
    int reply()
    {
        while (mCtl->read(mLine))
            if (mLine.size() >= 4 && mLine[3] == ' ') return std::atoi(mLine.c_str());
        return -1;
    }
    std::string mHost;
    std::unique_ptr<LineSocket> mCtl;
    std::string mLine;
};

// ---- a minimal FTP server: the replies a client needs, a thread per session ------------------
// Uploaded files are read to their end and dropped; names and folders are not checked.

class MiniFtpServer {
public:
    explicit MiniFtpServer(const std::string& address) : mAddress(address)
    {
        mListener = ::socket(AF_INET, SOCK_STREAM, 0);
        int one = 1;
        ::setsockopt(mListener, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        ::inet_pton(AF_INET, address.c_str(), &a.sin_addr);
        ::bind(mListener, reinterpret_cast<sockaddr*>(&a), sizeof a);
        ::listen(mListener, 16);
        socklen_t len = sizeof a;
        ::getsockname(mListener, reinterpret_cast<sockaddr*>(&a), &len);
        mPort = ntohs(a.sin_port);
        mAcceptor = std::thread([this] {
            for (;;) {
                const int c = ::accept(mListener, nullptr, nullptr);
                if (c < 0) return;
                std::thread([this, c] { session(c); }).detach();
            }
        });
    }
    ~MiniFtpServer()
    {
        ::shutdown(mListener, SHUT_RDWR);
        ::close(mListener);
        mAcceptor.join();
    }
    int port() const { return mPort; }

private:
    void session(int fd)
    {
        int one = 1;
        ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
        LineSocket ctl(fd);
        ctl.send("220 ready");
        int passive = -1;
        std::string line;
        while (ctl.read(line)) {
            std::string verb = line.substr(0, line.find(' '));
            for (char& ch : verb) ch = static_cast<char>(std::toupper(static_cast<unsigned char>(ch)));
            if (verb == "USER") {
                ctl.send("331 password");
            } else if (verb == "PASS") {
                ctl.send("230 logged in");
            } else if (verb == "PWD") {
                ctl.send("257 \"/\" is the current directory");
            } else if (verb == "EPSV") {
                if (passive >= 0) ::close(passive);
                passive = ::socket(AF_INET, SOCK_STREAM, 0);
                sockaddr_in a{};
                a.sin_family = AF_INET;
                ::inet_pton(AF_INET, mAddress.c_str(), &a.sin_addr);
                ::bind(passive, reinterpret_cast<sockaddr*>(&a), sizeof a);
                ::listen(passive, 1);
                socklen_t len = sizeof a;
                ::getsockname(passive, reinterpret_cast<sockaddr*>(&a), &len);
                ctl.send("229 Entering extended passive mode (|||" + std::to_string(ntohs(a.sin_port)) + "|)");
            } else if (verb == "STOR" || verb == "LIST" || verb == "NLST") {
                if (passive < 0) {
                    ctl.send("425 no data connection");
                    continue;
                }
                ctl.send("150 data");
                const int d = ::accept(passive, nullptr, nullptr);
                ::close(passive);
                passive = -1;
                if (verb == "STOR") {
                    char b[65536];
                    while (::recv(d, b, sizeof b, 0) > 0) {
                    }
                }
                ::close(d);
                ctl.send("226 done");
            } else if (verb == "RNFR") {
                ctl.send("350 ready for destination");
            } else if (verb == "SIZE") {
                ctl.send("213 0");
            } else if (verb == "QUIT") {
                ctl.send("221 bye");
                break;
            } else if (verb == "TYPE" || verb == "NOOP") {
                ctl.send("200 ok");
            } else if (verb == "CWD" || verb == "RNTO" || verb == "DELE" || verb == "MKD" || verb == "RMD") {
                ctl.send("250 ok");
            } else {
                ctl.send("502 not implemented");
            }
        }
        if (passive >= 0) ::close(passive);
    }

    std::string mAddress;
    int mListener = -1;
    int mPort = 0;
    std::thread mAcceptor;
};

// ---- plain libcurl: curl_easy_perform on the same handle for every file ----------------------

struct Source {
    const char* p;
    std::size_t n;
};
std::size_t readSource(char* b, std::size_t size, std::size_t count, void* user)
{
    auto* s = static_cast<Source*>(user);
    const std::size_t k = std::min(size * count, s->n);
    std::memcpy(b, s->p, k);
    s->p += k;
    s->n -= k;
    return k;
}

Series plainCurl(const std::string& host, int port, const std::string& dir, const std::string& data, std::size_t n)
{
    CURL* c = curl_easy_init();
    Series s = timeEach(n, [&](std::size_t i) {
        const std::string url = "ftp://" + host + ":" + std::to_string(port) + "/%2F" + dir.substr(1) + "/" + pvtName(i);
        Source src{data.data(), data.size()};
        curl_easy_setopt(c, CURLOPT_URL, url.c_str());
        curl_easy_setopt(c, CURLOPT_USERNAME, kUser);
        curl_easy_setopt(c, CURLOPT_PASSWORD, kUser);
        curl_easy_setopt(c, CURLOPT_UPLOAD, 1L);
        curl_easy_setopt(c, CURLOPT_READFUNCTION, readSource);
        curl_easy_setopt(c, CURLOPT_READDATA, &src);
        curl_easy_setopt(c, CURLOPT_INFILESIZE_LARGE, static_cast<curl_off_t>(data.size()));
        return curl_easy_perform(c) == CURLE_OK;
    });
    curl_easy_cleanup(c);
    return s;
}

// A G-code program whose conversion writes about `runs` PVT files: runs of two collinear cuts,
// parted by dwells.
std::string ManyRuns(std::size_t runs)
{
    std::string text = "G90\nG0 X0 Y0\n";
    for (std::size_t i = 0; i < runs; ++i) {
        const std::size_t x = 2 * (i % 100);
        text += "G1 X" + std::to_string(x + 1) + " Y" + std::to_string(i / 100) + " F100\nG1 X" + std::to_string(x + 2) +
                " Y" + std::to_string(i / 100) + "\nG4 P0.001\n";
    }
    return text;
}

}  // namespace

int main(int argc, char** argv)
{
    std::size_t files = 2000;
    for (int i = 1; i + 1 < argc; ++i)
        if (std::string(argv[i]) == "--files") files = static_cast<std::size_t>(std::max(1, std::atoi(argv[i + 1])));
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    curl_global_init(CURL_GLOBAL_DEFAULT);

    QTemporaryDir dir;
    const std::string root = dir.path().toStdString() + "/";
    std::filesystem::create_directories(root + "GCODE");
    std::filesystem::create_directories(root + "TMP");
    mvx::InitCommonGlobals(root, "movantrix");
    mvx::SetMessageBoxHandler([](const std::string& text, std::uint16_t) -> std::uint16_t {
        std::fprintf(stderr, "message: %s\n", text.c_str());
        return mvx::MrOk;
    });
    // The link's words and live waits as the program installs them.
    mvx::linkui::LinkServices services{mvx::link::CurrentController()};
    mvx::link::registerTexts();
    mvx::link::registerTransferTexts();
    mvx::api::InstallSocketApi();

    mvx::test::KvxSim sim(mvx::bench::InMemorySimulator());
    auto& c = mvx::common();
    const std::string trajectories = sim.rootDir() + "/Public/Trajectories";
    if (!mvx::bench::ConnectToSimulator(sim)) {
        std::fprintf(stderr, "no file transfer session with the simulator\n");
        return 1;
    }

    // The job: converted by the main window, which writes its PVT files into TMP/.
    mvx::JobLinkImpl jobLink{mvx::link::CurrentController()};
    auto win = std::make_unique<mvx::TFmain>();
    auto* axes = new mvx::TFaxes(win.get());
    axes->setPositionerSource([] { return std::vector<std::string>{"GROUP1.X", "GROUP1.Y", "GROUP1.Z"}; });
    axes->FormCreate();
    win->setHelperWindows(new mvx::TFIO(win.get()), axes, nullptr, nullptr, nullptr, nullptr, nullptr);
    win->setLink(&jobLink);
    // The file browser, as the program makes it at start-up: the server's replies go to its memo.
    auto* browser = new mvx::linkui::TFNClientFTP(win.get(), mvx::link::CurrentController());
    (void)browser;
    win->setSimulation(false);
    win->setGroupShape(false, 3);
    std::ofstream(root + "GCODE/runs.nc", std::ios::binary) << ManyRuns(files);
    win->setOpenDialog([&](const std::string&, const std::string&) { return root + "GCODE/runs.nc"; });
    win->job().selectMode(2);
    if (!win->BitBtnReadGcodeClick(true) || !win->BitBtnCreateKVXFileClick(false) || win->pvtFileCount() < 1) {
        std::fprintf(stderr, "the conversion wrote no PVT file\n");
        return 1;
    }
    files = static_cast<std::size_t>(win->pvtFileCount());
    const std::string local = win->outputFolder();
    std::string data;
    {
        std::ifstream in(local + pvtName(0), std::ios::binary);
        data.assign(std::istreambuf_iterator<char>(in), {});
    }
    std::printf("%zu PVT files (the first of %zu bytes), simulator at %s\n\n", files, data.size(), sim.address().c_str());
    // curl_easy_perform can sleep a second per file: a sample is enough to see it.
    const std::size_t curlFiles = std::min<std::size_t>(files, 300);
    const std::string sample = curlFiles < files ? ", " + std::to_string(curlFiles) + " files" : "";
    printHeader();

    // The main window's "Save all": the script and every PVT file, as the job's upload sends them,
    // over the files of the conversion's own upload (the folder is listed once, with them).
    {
        Series s;
        const auto t0 = Clock::now();
        win->EnregistertoutClick();
        s.totalMs = msSince(t0);
        s.files = files + 1;
        s.ok = std::distance(std::filesystem::directory_iterator(trajectories), {}) == static_cast<long>(files);
        printRow("main window, Save all, FTP (simulator)", s);
    }
    {
        emptyFolder(trajectories);
        std::string err;
        printRow("job link, one series, FTP (simulator)", timeSeries(jobLink, local, files, err));
    }
    {
        emptyFolder(trajectories);
        mvx::link::FtpClient ftp;
        bool ok = ftp.open(sim.address(), kUser, kUser, 21);
        const Series s = timeEach(files, [&](std::size_t i) {
            return ok && ftp.put(local + pvtName(i), "/Public/Trajectories/" + pvtName(i));
        });
        printRow("FTP client, temporary + rename (simulator)", s);
    }
    {
        emptyFolder(trajectories);
        printRow("libcurl, curl_easy_perform, STOR (simulator)" + sample,
                 plainCurl(sim.address(), 21, "/Public/Trajectories", data, curlFiles));
    }
    {
        emptyFolder(trajectories);
        RawFtp raw;
        const bool ok = raw.open(sim.address(), 21) && raw.cwd("/Public/Trajectories");
        printRow("raw client, EPSV + STOR (simulator)", timeEach(files, [&](std::size_t i) { return ok && raw.put(pvtName(i), data); }));
    }
    {
        MiniFtpServer own("127.0.0.1");
        mvx::link::FtpClient ftp;
        bool ok = ftp.open("127.0.0.1", kUser, kUser, own.port());
        printRow("FTP client, temporary + rename (own server)", timeEach(files, [&](std::size_t i) {
                     return ok && ftp.put(local + pvtName(i), "/Public/Trajectories/" + pvtName(i));
                 }));
        printRow("libcurl, curl_easy_perform, STOR (own server)" + sample,
                 plainCurl("127.0.0.1", own.port(), "/Public/Trajectories", data, curlFiles));
        RawFtp raw;
        ok = raw.open("127.0.0.1", own.port());
        printRow("raw client, EPSV + STOR (own server)", timeEach(files, [&](std::size_t i) { return ok && raw.put(pvtName(i), data); }));
    }

    // SFTP: the same job link over the session's SFTP client.
    {
        emptyFolder(trajectories);
        mvx::link::CurrentController().disconnectTransfer();
        c.TransferMode = mvx::TransferSftp;
        c.TransferConnected = mvx::link::CurrentController().sftp().open(sim.address(), kUser, kUser, 22) ? 1 : 0;
        mvx::link::CurrentController().setRootDir();
        mvx::link::CurrentController().setFolders();
        std::string err;
        printRow("job link, one series, SFTP (simulator)", timeSeries(jobLink, local, files, err));
        if (!err.empty()) std::fprintf(stderr, "  %s\n", err.c_str());
    }
    win.reset();
    return 0;
}
