// The whole job road against the controller simulator, and how live the window stays on it.
//
// Part 1, the program itself: the built executable runs in a folder of its own with a settings
// file that points it at a simulator, as `big.nc /S /H` (SCT) and `big.nc /T /H` (TCL): read,
// convert, write every file, upload them, then initialise (where the figure stops: the batch's
// first GroupInitialize). Meanwhile this bench asks the remote-control port every 50 ms and
// times each answer. Figures: seconds until the files are uploaded (from the program's start, and
// the road alone: from the start-up connection's last request to the initialisation's first, on
// the simulator's clock), the program's peak resident
// memory (its VmHWM), the remote answer (median and worst) beside the 100 ms goal, the cost per
// line at each size beside the largest size's, where the road's time went (until the first
// upload: read, convert and write; then the upload, and its ms per file, from the simulator's
// FTP log), and a checksum of every file written (TMP/ and TEST.SCT) to compare two builds.
// The simulator's controller disk is in memory (the program's own folder is not).
//
// Part 2, the window inside this process: the main window connected to a simulator reads,
// converts and uploads the same program while a 10 ms QTimer measures its lateness (worst and
// 99th percentile beside the 50 ms goal) and a thread times the remote-control answers.
//
//   build/bench_road [--lines 10000,100000,1000000] [--modes ST] [--programs 0|1] [--window 0|1]
//                    [--program PATH] [--file GCODE] [--sim-root DIR] [--keep] [--stalls MS] [--jobs N]
// (--program: another build's executable, e.g. one kept from before a change; --file: that
// G-code file instead of the generated sizes; --sim-root: the folder in which the simulated
// controller's disk is made, /dev/shm by default, e.g. /tmp for a disk-bound controller;
// --stalls: the window thread's stack during its longest stalls over MS milliseconds; --jobs:
// the window's read and conversion N times over.)
#include "link/controller.h"
#include "core/common.h"
#include "app/dialogs.h"
#include "core/inifile.h"
#include "link/apitable.h"
#include "link/linktexts.h"
#include "link/transfer.h"
#include "linkui/linkreporter.h"
#include "mainwindow/joblink_impl.h"
#include "mainwindow/remoteserver.h"
#include "mainwindow/tfaxes.h"
#include "mainwindow/tfio.h"
#include "mainwindow/tfmain.h"
#include "mainwindow/view3d.h"
#include "tests/support/kvxsim_fixture.h"
#include "bench/benchsim.h"
#include "tests/support/serverport.h"

#include "benchinput.h"

#include <QApplication>
#include <QCryptographicHash>
#include <QElapsedTimer>
#include <QProcess>
#include <QTimer>

#include <arpa/inet.h>
#include <cerrno>
#include <csignal>
#include <dlfcn.h>
#include <execinfo.h>
#include <pthread.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <mutex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

constexpr double kRemoteGoalMs = 100.0;
constexpr double kLatenessGoalMs = 50.0;
constexpr double kPeakGoalMiB = 400.0;

double msSince(Clock::time_point t0) { return std::chrono::duration<double, std::milli>(Clock::now() - t0).count(); }

double quantile(std::vector<double> v, double q)
{
    if (v.empty()) return 0.0;
    std::sort(v.begin(), v.end());
    const std::size_t i = std::min(v.size() - 1, static_cast<std::size_t>(q * static_cast<double>(v.size() - 1) + 0.5));
    return v[i];
}

double worst(const std::vector<double>& v) { return v.empty() ? 0.0 : *std::max_element(v.begin(), v.end()); }

// One remote-control exchange on a fresh connection: ms until the whole answer, -1 on failure.
// The text ends with a line end, so the server takes it at once instead of waiting for the
// chunk's end.
double remoteAsk(int port, const std::string& text, int timeoutMs)
{
    const auto t0 = Clock::now();
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    if (fd < 0) return -1.0;
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(static_cast<uint16_t>(port));
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    double ms = -1.0;
    if (::connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0 &&
        ::send(fd, text.data(), text.size(), MSG_NOSIGNAL) == static_cast<ssize_t>(text.size())) {
        const std::string want = text.substr(0, text.find('\r')) + " NOT DONE";
        std::string got;
        while (got.size() < want.size()) {
            const int left = timeoutMs - static_cast<int>(msSince(t0));
            pollfd p{fd, POLLIN, 0};
            if (left <= 0 || ::poll(&p, 1, left) <= 0) break;
            char buf[256];
            const ssize_t n = ::recv(fd, buf, sizeof buf, 0);
            if (n <= 0) break;
            got.append(buf, static_cast<std::size_t>(n));
        }
        if (got == want) ms = msSince(t0);
    }
    ::close(fd);
    return ms;
}

// Asks the remote port every 50 ms on a thread of its own while it lives.
class RemotePinger {
public:
    explicit RemotePinger(int port) : mPort(port), mThread([this] { run(); }) {}
    ~RemotePinger() { stop(); }
    void stop()
    {
        mStop = true;
        if (mThread.joinable()) mThread.join();
    }
    // Answer times from now on.
    void startCounting()
    {
        std::lock_guard lock(mMutex);
        mMs.clear();
        mFailed = 0;
        mCounting = true;
    }
    bool answered() const { return mAnswered.load(); }
    std::vector<double> samples()
    {
        std::lock_guard lock(mMutex);
        return mMs;
    }
    int failed()
    {
        std::lock_guard lock(mMutex);
        return mFailed;
    }

private:
    void run()
    {
        while (!mStop) {
            const auto next = Clock::now() + 50ms;
            const double ms = remoteAsk(mPort, "HELLO\r\n", 10000);
            if (ms >= 0) mAnswered = true;
            {
                std::lock_guard lock(mMutex);
                if (mCounting) {
                    if (ms >= 0) mMs.push_back(ms);
                    else if (mAnswered) ++mFailed;
                }
            }
            std::this_thread::sleep_until(next);
        }
    }
    int mPort;
    std::atomic<bool> mStop{false};
    std::atomic<bool> mAnswered{false};
    std::mutex mMutex;
    bool mCounting = false;
    std::vector<double> mMs;
    int mFailed = 0;
    std::thread mThread;
};

double procStatusMiB(long pid, const char* field)
{
    std::ifstream f("/proc/" + std::to_string(pid) + "/status");
    for (std::string line; std::getline(f, line);)
        if (line.rfind(field, 0) == 0) return std::atof(line.c_str() + std::string(field).size()) / 1024.0;
    return 0.0;
}

// One digest over every file of the output: names in order, then contents.
std::string outputDigest(const std::vector<std::string>& files, std::size_t& count, std::uintmax_t& bytes)
{
    QCryptographicHash h(QCryptographicHash::Sha256);
    count = 0;
    bytes = 0;
    for (const std::string& path : files) {
        std::ifstream in(path, std::ios::binary);
        if (!in) continue;
        std::string data((std::istreambuf_iterator<char>(in)), {});
        const std::string name = fs::path(path).filename().string();
        // The script's header says when it was made: that line differs from run to run.
        if (const std::size_t at = data.find("\n# date : "); at != std::string::npos) {
            const std::size_t end = data.find('\n', at + 1);
            data.erase(at + 1, end == std::string::npos ? std::string::npos : end - at);
        }
        h.addData(QByteArrayView(name.data(), static_cast<qsizetype>(name.size() + 1)));
        h.addData(QByteArrayView(data.data(), static_cast<qsizetype>(data.size())));
        ++count;
        bytes += data.size();
    }
    return h.result().toHex().left(16).toStdString();
}

std::vector<std::string> writtenFiles(const std::string& root)
{
    std::vector<std::string> files;
    std::error_code ec;
    for (const auto& e : fs::directory_iterator(root + "TMP", ec))
        if (e.is_regular_file()) files.push_back(e.path().string());
    if (fs::exists(root + "GCODE/TEST.SCT")) files.push_back(root + "GCODE/TEST.SCT");
    // TRJ2 before TRJ10: numbered names in number order.
    std::sort(files.begin(), files.end(), [](const std::string& a, const std::string& b) {
        return a.size() != b.size() ? a.size() < b.size() : a < b;
    });
    return files;
}

std::size_t countFiles(const std::string& dir)
{
    std::error_code ec;
    std::size_t n = 0;
    for (const auto& e : fs::directory_iterator(dir, ec)) n += e.is_regular_file() ? 1 : 0;
    return n;
}

// ---------------------------------------------------------------------------------------------
// Part 1: the program.

struct ProgramFigures {
    bool ok = false;
    std::string why;
    double seconds = 0.0;      // from the program's start
    double roadSeconds = 0.0;  // from the start-up connection's end (the simulator's clock)
    double writeSeconds = 0.0;   // of the road: until the first upload (read, convert, write)
    double uploadSeconds = 0.0;  // of the road: from the first upload to the last file's rename
    std::size_t stored = 0;      // uploads the controller received on the road
    double peakMiB = 0.0;
    std::vector<double> remoteMs;
    int remoteFailed = 0;
    std::size_t uploaded = 0;
    std::size_t files = 0;
    std::uintmax_t bytes = 0;
    std::string digest;
};

std::string gProgram = MVX_PROGRAM_PATH;
bool gKeep = false;  // --keep: the program folders stay, named on stderr
std::string gSimRoot;  // --sim-root: where the simulated controller's disk is made
// Program folders of the runs so far, removed when the bench ends: a file system that has just
// deleted a run's files allocates new ones slowly for a while (ext4 passes over inodes deleted
// in the last minutes), and the next run would pay for the last one's clean-up.
std::vector<std::string> gDone;

ProgramFigures runProgram(const std::string& gcode, char mode)
{
    ProgramFigures f;
    mvx::test::KvxSimOptions o = mvx::bench::InMemorySimulator();
    if (!gSimRoot.empty()) o.rootParent = gSimRoot;
    mvx::test::KvxSim sim(o);
    char pattern[] = "/tmp/mvx-road-XXXXXX";
    const char* made = ::mkdtemp(pattern);
    if (!made) {
        f.why = "no temporary folder";
        return f;
    }
    const std::string root = std::string(made) + "/";
    fs::copy_file(gProgram, root + "movantrix");
    fs::create_directories(root + "GCODE");
    fs::create_symlink(gcode, root + "GCODE/big.nc");
    const int port = mvx::test::FreeServerPort();
    {
        std::ofstream ini(root + "movantrix.INI", std::ios::binary);
        ini << "[TCP-IP]\r\nADR IP=" << sim.address() << "\r\n"
            << "[TCP-IP server]\r\nActive=1\r\nPORT=" << port << "\r\n"
            << "[POSITIONER NAME]\r\nAXIS X=GROUP1.X\r\nAXIS Y=GROUP1.Y\r\nAXIS Z=GROUP1.Z\r\n"
            << "[MAIN]\r\nHIDE FCONNECT=1\r\n[KVX]\r\nTYPE=Q\r\n";
    }
    QProcess p;
    p.setWorkingDirectory(QString::fromStdString(root));
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("QT_QPA_PLATFORM", "offscreen");
    p.setProcessEnvironment(env);
    p.setStandardOutputFile(QProcess::nullDevice());
    p.setStandardErrorFile(QProcess::nullDevice());
    // The program never outlives the bench.
    p.setChildProcessModifier([] { ::prctl(PR_SET_PDEATHSIG, SIGKILL); });
    RemotePinger pinger(port);
    const auto t0 = Clock::now();
    p.start(QString::fromStdString(root + "movantrix"), {"big.nc", mode == 'S' ? "/S" : "/T", "/H"});
    if (!p.waitForStarted(10000)) {
        f.why = "the program did not start";
        return f;
    }
    const long pid = static_cast<long>(p.processId());
    pinger.startCounting();
    std::size_t seen = 0;
    bool initialising = false;
    double started = -1.0;
    double initAt = 0.0;
    // Each upload's STOR and rename, on the simulator's clock (taken from its log as they come,
    // so a long series stays within the log's limit).
    std::vector<std::pair<double, bool>> uploads;
    auto takeUploads = [&] {
        for (const mvx::test::KvxFtpCommand& c : sim.takeFtpLog())
            if (c.command == "STOR" || c.command == "RNTO") uploads.emplace_back(c.time, c.command == "STOR");
    };
    while (!initialising && p.state() == QProcess::Running && msSince(t0) < 3600e3) {
        for (const mvx::test::KvxRequest& r : sim.requestLog(seen)) {
            ++seen;
            // The start-up connection ends with the controller's object list; the batch's
            // read starts right after it.
            if (r.text.rfind("ObjectsListGet(", 0) == 0) started = r.time;
            if (r.text.rfind("GroupInitialize(", 0) == 0 && !initialising) {
                initialising = true;
                initAt = r.time;
                if (started >= 0) f.roadSeconds = r.time - started;
            }
        }
        takeUploads();
        if (!initialising) std::this_thread::sleep_for(20ms);
    }
    takeUploads();
    double firstStore = -1.0;
    double lastRename = -1.0;
    for (const auto& [time, store] : uploads) {
        if (time < started || time > initAt) continue;
        if (store) {
            if (firstStore < 0) firstStore = time;
            ++f.stored;
        } else {
            lastRename = time;
        }
    }
    if (firstStore >= 0 && lastRename >= firstStore) {
        f.writeSeconds = firstStore - started;
        f.uploadSeconds = lastRename - firstStore;
    }
    f.seconds = msSince(t0) / 1000.0;
    f.peakMiB = procStatusMiB(pid, "VmHWM:");
    pinger.stop();
    f.remoteMs = pinger.samples();
    f.remoteFailed = pinger.failed();
    p.kill();
    p.waitForFinished(10000);
    if (!initialising || started < 0) {
        f.why = "the program never reached its initialisation";
        return f;
    }
    f.uploaded = countFiles(sim.rootDir() + "/Public/Trajectories") + countFiles(sim.rootDir() + "/Public/Scripts");
    f.digest = outputDigest(writtenFiles(root), f.files, f.bytes);
    if (gKeep) std::fprintf(stderr, "kept %s\n", root.c_str());
    else gDone.push_back(root);
    f.ok = true;
    return f;
}


// ---------------------------------------------------------------------------------------------
// Where the window's thread is when it is late (--stalls MS): a thread of the bench watches the
// meter's beat and, while no beat came for MS milliseconds, takes the window thread's stack every
// few milliseconds with a signal. The longest stalls are printed with their stacks at the end.

struct StallSample {
    double atMs = 0.0;  // since the stall began
    std::vector<void*> frames;
};
struct Stall {
    double startMs = 0.0;  // since the meter started
    double lengthMs = 0.0;
    std::string kernel;  // when the thread did not take the signal
    std::vector<StallSample> samples;
};

std::atomic<int> gProbeDepth{-1};
void* gProbeFrames[64];

extern "C" void probeSignal(int)
{
    const int saved = errno;
    gProbeDepth.store(::backtrace(gProbeFrames, 64));
    errno = saved;
}

class StallProbe {
public:
    StallProbe(double thresholdMs, QElapsedTimer& clock)
        : mThresholdMs(thresholdMs), mClock(clock), mGui(::pthread_self())
    {
        void* warm[4];
        ::backtrace(warm, 4);  // the unwinder is loaded before the first signal
        struct sigaction sa{};
        sa.sa_handler = probeSignal;
        sa.sa_flags = SA_RESTART;
        sigemptyset(&sa.sa_mask);
        ::sigaction(SIGUSR2, &sa, nullptr);
        mThread = std::thread([this] { run(); });
    }
    ~StallProbe() { stop(); }
    void beat() { mBeat.store(mClock.nsecsElapsed()); }
    void stop()
    {
        mStop = true;
        if (mThread.joinable()) mThread.join();
    }
    void print(std::size_t count)
    {
        std::sort(mStalls.begin(), mStalls.end(), [](const Stall& a, const Stall& b) { return a.lengthMs > b.lengthMs; });
        if (mStalls.size() > count) mStalls.resize(count);
        std::printf("\nThe window thread's %zu longest stalls over %.0f ms (its stack every ~3 ms)\n", mStalls.size(), mThresholdMs);
        for (const Stall& s : mStalls) {
            std::printf("stall at %.0f ms for %.1f ms, %zu samples\n", s.startMs, s.lengthMs, s.samples.size());
            if (!s.kernel.empty()) std::printf("%s", s.kernel.c_str());
            std::string previous;
            for (const StallSample& sample : s.samples) {
                std::string text;
                for (void* f : sample.frames) text += "    " + symbol(f) + "\n";
                if (text == previous) {
                    std::printf("  +%.1f ms: same\n", sample.atMs);
                    continue;
                }
                std::printf("  +%.1f ms:\n%s", sample.atMs, text.c_str());
                previous = std::move(text);
            }
        }
        std::fflush(stdout);
    }

private:
    void run()
    {
        bool stalled = false;
        Stall current;
        while (!mStop) {
            std::this_thread::sleep_for(1ms);
            const qint64 beat = mBeat.load();
            if (beat < 0) continue;
            const double now = static_cast<double>(mClock.nsecsElapsed()) / 1e6;
            const double since = now - static_cast<double>(beat) / 1e6;
            if (since > mThresholdMs) {
                if (!stalled) {
                    current = Stall{};
                    current.startMs = static_cast<double>(beat) / 1e6;
                    stalled = true;
                }
                if (current.samples.empty() || now - current.startMs - current.samples.back().atMs >= 3.0) sample(current, now);
            } else if (stalled) {
                stalled = false;
                current.lengthMs = static_cast<double>(beat) / 1e6 - current.startMs;
                mStalls.push_back(std::move(current));
            }
        }
    }
    void sample(Stall& s, double now)
    {
        gProbeDepth.store(-1);
        ::pthread_kill(mGui, SIGUSR2);
        for (int i = 0; i < 200 && gProbeDepth.load() < 0; ++i) std::this_thread::sleep_for(50us);
        const int n = gProbeDepth.load();
        if (n < 0) {
            // The thread is in the kernel and does not take the signal: where it waits there,
            // and what the process's other threads are doing meanwhile.
            if (s.kernel.empty()) s.kernel = kernelState();
            return;
        }
        StallSample one;
        one.atMs = now - s.startMs;
        // The first frames are the signal handler's own.
        for (int i = 2; i < n; ++i) one.frames.push_back(gProbeFrames[i]);
        s.samples.push_back(std::move(one));
    }
    static std::string readText(const std::string& path)
    {
        std::ifstream f(path);
        return std::string((std::istreambuf_iterator<char>(f)), {});
    }
    static std::string kernelState()
    {
        std::string out;
        std::error_code ec;
        for (const auto& e : fs::directory_iterator("/proc/self/task", ec)) {
            const std::string dir = e.path().string();
            const std::string stat = readText(dir + "/stat");
            const std::size_t close = stat.rfind(')');
            const char state = close != std::string::npos && close + 2 < stat.size() ? stat[close + 2] : '?';
            const bool gui = e.path().filename().string() == std::to_string(::getpid());
            if (!gui && state != 'R' && state != 'D') continue;
            out += "  thread " + e.path().filename().string() + (gui ? " (window)" : "") + " state " + state + " " +
                   readText(dir + "/comm") + "    syscall " + readText(dir + "/syscall");
            std::stringstream stack(readText(dir + "/stack"));
            for (std::string line; std::getline(stack, line);) out += "      " + line + "\n";
        }
        return out;
    }
    std::string symbol(void* address)
    {
        if (auto it = mNames.find(address); it != mNames.end()) return it->second;
        Dl_info info{};
        std::string name;
        if (::dladdr(address, &info) && info.dli_fname) {
            const auto offset = reinterpret_cast<std::uintptr_t>(address) - reinterpret_cast<std::uintptr_t>(info.dli_fbase) - 1;
            char cmd[1024];
            std::snprintf(cmd, sizeof cmd, "addr2line -f -C -s -e '%s' 0x%lx 2>/dev/null", info.dli_fname,
                          static_cast<unsigned long>(offset));
            if (FILE* p = ::popen(cmd, "r")) {
                char fn[4096] = "", line[1024] = "";
                if (std::fgets(fn, sizeof fn, p) && !std::fgets(line, sizeof line, p)) line[0] = 0;
                ::pclose(p);
                std::string f(fn), l(line);
                while (!f.empty() && f.back() == '\n') f.pop_back();
                while (!l.empty() && l.back() == '\n') l.pop_back();
                if (f.size() > 160) f = f.substr(0, 160) + "...";
                name = f + " (" + l + ") " + fs::path(info.dli_fname).filename().string();
            }
        }
        if (name.empty()) {
            char buf[32];
            std::snprintf(buf, sizeof buf, "%p", address);
            name = buf;
        }
        mNames.emplace(address, name);
        return name;
    }

    double mThresholdMs;
    QElapsedTimer& mClock;
    pthread_t mGui;
    std::atomic<qint64> mBeat{-1};
    std::atomic<bool> mStop{false};
    std::vector<Stall> mStalls;
    std::map<void*, std::string> mNames;
    std::thread mThread;
};

double gStallMs = 0.0;
int gJobs = 1;  // --jobs N: the window reads and converts the program N times (what a job leaves is freed by the next)  // --stalls MS: where the window's thread is when it is that late

// The machine's own pauses, as a reference beside the window's lateness: a separate process
// that only sleeps 1 ms at a time records each wake-up that came more than 5 ms late. A pause
// that it shares with the window (the virtual machine or the host not running the program at
// all) is no work of the window's thread; the rest of the lateness is.
class MachinePauses {
public:
    struct Pause {
        double startMs;  // steady clock
        double endMs;
    };
    MachinePauses()
    {
        int fds[2];
        if (::pipe(fds) != 0) return;
        const pid_t child = ::fork();
        if (child == 0) {
            // Only async-signal-safe calls in the child of a threaded process.
            ::close(fds[0]);
            ::prctl(PR_SET_PDEATHSIG, SIGKILL);
            const timespec step{0, 1000000};
            for (;;) {
                timespec a{}, b{};
                ::clock_gettime(CLOCK_MONOTONIC, &a);
                ::nanosleep(&step, nullptr);
                ::clock_gettime(CLOCK_MONOTONIC, &b);
                const double from = static_cast<double>(a.tv_sec) * 1e3 + static_cast<double>(a.tv_nsec) / 1e6;
                const double to = static_cast<double>(b.tv_sec) * 1e3 + static_cast<double>(b.tv_nsec) / 1e6;
                if (to - from - 1.0 > 5.0) {
                    const Pause p{from + 1.0, to};
                    if (::write(fds[1], &p, sizeof p) != static_cast<ssize_t>(sizeof p)) ::_exit(0);
                }
            }
        }
        ::close(fds[1]);
        if (child < 0) {
            ::close(fds[0]);
            return;
        }
        mChild = child;
        mMeasured = true;
        mFd = fds[0];
        mReader = std::thread([this] {
            Pause p{};
            while (::read(mFd, &p, sizeof p) == static_cast<ssize_t>(sizeof p)) {
                std::lock_guard lock(mMutex);
                mPauses.push_back(p);
            }
        });
    }
    ~MachinePauses() { stop(); }
    MachinePauses(const MachinePauses&) = delete;
    MachinePauses& operator=(const MachinePauses&) = delete;
    void stop()
    {
        if (mChild > 0) {
            ::kill(mChild, SIGKILL);
            ::waitpid(mChild, nullptr, 0);
            mChild = -1;
        }
        if (mReader.joinable()) mReader.join();
        if (mFd >= 0) ::close(mFd);
        mFd = -1;
    }
    bool measured() const noexcept { return mMeasured; }
    std::vector<Pause> pauses()
    {
        std::lock_guard lock(mMutex);
        return mPauses;
    }

private:
    pid_t mChild = -1;
    bool mMeasured = false;
    int mFd = -1;
    std::mutex mMutex;
    std::vector<Pause> mPauses;
    std::thread mReader;
};

double steadyMs() { return std::chrono::duration<double, std::milli>(Clock::now().time_since_epoch()).count(); }

// The lateness of a beat from `fromMs` to `toMs` that the machine's pauses do not explain.
double ownLateness(double fromMs, double toMs, double periodMs, const std::vector<MachinePauses::Pause>& pauses)
{
    double shared = 0.0;
    for (const MachinePauses::Pause& p : pauses) shared += std::max(0.0, std::min(toMs, p.endMs) - std::max(fromMs, p.startMs));
    return std::max(0.0, toMs - fromMs - periodMs - shared);
}

// ---------------------------------------------------------------------------------------------
// Part 2: the window in this process.

struct WindowFigures {
    bool ok = false;
    double seconds = 0.0;
    std::vector<double> latenessMs;
    std::vector<double> ownLatenessMs;  // what the machine's pauses do not explain
    double machineWorstMs = -1.0;       // the separate process's worst pause (-1: not measured)
    std::vector<double> remoteMs;
    int remoteFailed = 0;
    int pvtFiles = 0;
};

WindowFigures runWindow(const std::string& gcode, int mode)
{
    WindowFigures w;
    char pattern[] = "/tmp/mvx-roadwin-XXXXXX";
    const char* made = ::mkdtemp(pattern);
    if (!made) return w;
    const std::string root = std::string(made) + "/";
    fs::create_directories(root + "GCODE");
    fs::create_directories(root + "TMP");
    fs::create_symlink(gcode, root + "GCODE/big.nc");
    mvx::InitCommonGlobals(root, "movantrix");
    mvx::SetMessageBoxHandler([](const std::string& text, std::uint16_t) -> std::uint16_t {
        std::fprintf(stderr, "message: %s\n", text.c_str());
        return mvx::MrOk;
    });
    mvx::test::KvxSim sim(mvx::bench::InMemorySimulator());
    if (!mvx::bench::ConnectToSimulator(sim)) {
        std::fprintf(stderr, "no file transfer session with the simulator\n");
        return w;
    }
    {
        mvx::JobLinkImpl jobLink{mvx::link::CurrentController()};
        auto win = std::make_unique<mvx::TFmain>();
        auto* axes = new mvx::TFaxes(win.get());
        axes->setPositionerSource([] { return std::vector<std::string>{"GROUP1.X", "GROUP1.Y", "GROUP1.Z"}; });
        axes->FormCreate();
        win->setHelperWindows(new mvx::TFIO(win.get()), axes, nullptr, nullptr, nullptr, nullptr, nullptr);
        win->setLink(&jobLink);
        // The 3D view as the program has it (its scene holds the path, with or without OpenGL).
        win->setView3D(new mvx::View3D(win->tab3D()));
        win->setSimulation(false);
        win->setGroupShape(false, 3);
        win->job().selectMode(mode);
        mvx::RemoteServer server(win->job());
        server.activate(0, QHostAddress::LocalHost);
        RemotePinger pinger(server.serverPort());

        QElapsedTimer clock;
        clock.start();
        qint64 last = -1;
        QTimer meter;
        meter.setTimerType(Qt::PreciseTimer);
        meter.setInterval(10);
        std::unique_ptr<StallProbe> probe;
        if (gStallMs > 0) probe = std::make_unique<StallProbe>(gStallMs, clock);
        std::vector<std::pair<double, double>> beats;  // (from, to) on the steady clock
        double lastSteady = -1.0;
        MachinePauses machine;
        QObject::connect(&meter, &QTimer::timeout, [&] {
            const double nowSteady = steadyMs();
            if (lastSteady >= 0) beats.emplace_back(lastSteady, nowSteady);
            lastSteady = nowSteady;
            const qint64 now = clock.nsecsElapsed();
            if (probe) probe->beat();
            if (probe && last >= 0 && static_cast<double>(now - last) / 1e6 - 10.0 > gStallMs)
                std::printf("late beat: %.1f ms at %.0f ms (steady %.1f)\n", static_cast<double>(now - last) / 1e6 - 10.0,
                            static_cast<double>(last) / 1e6,
                            std::chrono::duration<double, std::milli>(Clock::now().time_since_epoch()).count());
            if (last >= 0) w.latenessMs.push_back(std::max(0.0, static_cast<double>(now - last) / 1e6 - 10.0));
            last = now;
        });
        meter.start();
        pinger.startCounting();
        const auto t0 = Clock::now();
        w.ok = true;
        for (int job = 0; job < gJobs && w.ok; ++job) w.ok = win->job().readFile(root + "GCODE/big.nc") && win->job().convert();
        w.seconds = msSince(t0) / 1000.0;
        meter.stop();
        pinger.stop();
        machine.stop();
        if (machine.measured() && !beats.empty()) {
            const std::vector<MachinePauses::Pause> pauses = machine.pauses();
            w.machineWorstMs = 0.0;
            for (const MachinePauses::Pause& p : pauses)
                if (p.startMs >= beats.front().first) w.machineWorstMs = std::max(w.machineWorstMs, p.endMs - p.startMs);
            for (const auto& [from, to] : beats) w.ownLatenessMs.push_back(ownLateness(from, to, 10.0, pauses));
        }
        if (probe) {
            probe->stop();
            probe->print(8);
        }
        w.remoteMs = pinger.samples();
        w.remoteFailed = pinger.failed();
        w.pvtFiles = win->pvtFileCount();
    }
    mvx::link::CurrentController().disconnectTransfer();
    mvx::SetMessageBoxHandler({});
    gDone.push_back(root);
    return w;
}

std::vector<long long> parseList(const std::string& s)
{
    std::vector<long long> v;
    std::stringstream ss(s);
    for (std::string item; std::getline(ss, item, ',');)
        if (!item.empty()) v.push_back(std::atoll(item.c_str()));
    return v;
}

}  // namespace

int main(int argc, char** argv)
{
    std::vector<long long> sizes{10000, 100000, 1000000};
    std::string modes = "ST";
    bool window = true;
    bool programs = true;
    std::string file;
    for (int i = 1; i < argc; ++i)
        if (std::string(argv[i]) == "--keep") gKeep = true;
    for (int i = 1; i + 1 < argc; ++i) {
        const std::string a = argv[i];
        if (a == "--lines") sizes = parseList(argv[i + 1]);
        else if (a == "--modes") {
            modes.clear();
            for (const char* p = argv[i + 1]; *p; ++p)
                if (*p == 'S' || *p == 'T') modes += *p;
        } else if (a == "--window") window = std::atoi(argv[i + 1]) != 0;
        else if (a == "--program") gProgram = argv[i + 1];
        else if (a == "--programs") programs = std::atoi(argv[i + 1]) != 0;
        else if (a == "--file") file = argv[i + 1];
        else if (a == "--sim-root") gSimRoot = argv[i + 1];
        else if (a == "--stalls") gStallMs = std::atof(argv[i + 1]);
        else if (a == "--jobs") gJobs = std::max(1, std::atoi(argv[i + 1]));
    }
    // One named program instead of the generated sizes.
    std::vector<std::pair<long long, std::string>> inputs;
    if (!file.empty()) {
        const mvx::bench::BenchInput in = mvx::bench::LoadBenchInput(0, file);
        inputs.emplace_back(static_cast<long long>(in.Lines.size()), in.Path);
    } else {
        for (long long n : sizes) inputs.emplace_back(n, mvx::bench::GeneratedProgram(n));
    }
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    mvx::linkui::LinkServices services{mvx::link::CurrentController()};
    mvx::link::registerTexts();
    mvx::link::registerTransferTexts();
    mvx::api::InstallSocketApi();

    std::printf("The program (%s) against the simulator, until its files are uploaded\n", gProgram.c_str());
    std::printf("%-4s %9s %9s %9s %12s %10s %9s %9s %8s %9s %11s %11s %9s %8s %18s\n", "mode", "lines", "seconds", "road s",
                "road us/line", "vs largest", "write s", "upload s", "ms/file", "peak MiB", "peak/400MiB", "remote med",
                "worst/100", "files", "output sha256");
    for (char mode : programs ? modes : std::string()) {
        std::vector<std::pair<long long, ProgramFigures>> rows;
        for (const auto& [n, gcode] : inputs) {
            ProgramFigures f = runProgram(gcode, mode);
            if (!f.ok) std::printf("%-4c %9lld failed: %s\n", mode, n, f.why.c_str());
            rows.emplace_back(n, std::move(f));
        }
        const auto largest = std::max_element(rows.begin(), rows.end(), [](const auto& a, const auto& b) {
            return a.second.ok < b.second.ok || (a.second.ok == b.second.ok && a.first < b.first);
        });
        const double refUs = largest != rows.end() && largest->second.ok ? largest->second.roadSeconds * 1e6 / static_cast<double>(largest->first) : 0.0;
        for (const auto& [n, f] : rows) {
            if (!f.ok) continue;
            const double us = f.roadSeconds * 1e6 / static_cast<double>(n);
            const double msPerFile = f.stored ? f.uploadSeconds * 1e3 / static_cast<double>(f.stored) : 0.0;
            std::printf("/%-3c %9lld %9.2f %9.2f %12.2f %9.2fx %9.2f %9.2f %8.3f %9.0f %10.2fx %8.1f ms %8.2fx %8zu %18s%s\n",
                        mode, n, f.seconds, f.roadSeconds, us, refUs > 0 ? us / refUs : 0.0, f.writeSeconds,
                        f.uploadSeconds, msPerFile, f.peakMiB, f.peakMiB / kPeakGoalMiB, quantile(f.remoteMs, 0.5),
                        worst(f.remoteMs) / kRemoteGoalMs, f.uploaded, f.digest.c_str(),
                        f.remoteFailed ? "  (remote: no answer within 10 s)" : "");
            std::fflush(stdout);
        }
    }

    if (window) {
        const auto& [n, gcode] = *std::max_element(inputs.begin(), inputs.end());
        std::printf("\nThe main window in this process: read, convert, write and upload %lld lines\n", n);
        std::printf("%-4s %9s %13s %13s %13s %13s %8s %14s %13s %13s\n", "mode", "seconds", "late worst", "worst/50ms",
                    "late p99", "remote worst", "PVT files", "machine pause", "own worst", "own p99");
        for (char mode : modes) {
            const WindowFigures w = runWindow(gcode, mode == 'S' ? 1 : 2);
            std::printf("/%-3c %9.2f %10.1f ms %12.2fx %10.1f ms %10.1f ms %8d %11.1f ms %10.1f ms %10.1f ms%s\n", mode,
                        w.seconds, worst(w.latenessMs), worst(w.latenessMs) / kLatenessGoalMs, quantile(w.latenessMs, 0.99),
                        worst(w.remoteMs), w.pvtFiles, w.machineWorstMs, worst(w.ownLatenessMs),
                        quantile(w.ownLatenessMs, 0.99), w.ok ? "" : "  FAILED");
            std::fflush(stdout);
        }
    }
    for (const std::string& root : gDone) {
        std::error_code ec;
        fs::remove_all(root, ec);
    }
    return 0;
}
