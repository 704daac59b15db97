// A pooled API call on loopback, next to a raw round trip to the same server on one connection.
//
// Three servers: the controller simulator, and an echo server of this bench's own (C++, one fixed
// reply per request line) run twice, with a thread per connection and with one thread for every
// connection. The echo servers show what the client side costs when the server answers at once,
// and what turning over 32 connections costs a server whose threads sleep on one connection each
// (a thread that slept longest is the slowest to wake). Against each, in interleaved rounds (so that a change of the
// machine's load falls on every figure alike), the median over the rounds of:
//   raw, one connection     the reference: send the request, block until the reply has come
//   raw, 32 connections     the same, turning over 32 connections as the pool does: what a
//                           connection that waited longest costs the server
//   wire, one connection    the program's request and reply code on one fixed connection
//   pool, one thread        GetSocket, GroupStatusGet, ReleaseSocket: the program's call
// and the throughput of the pool from 4 threads at once (calls per second, goal 10,000).
// The pooled call is given over the raw round trip (goal: 2x or less).
//
//   build/bench_api [--rounds N]          (default 30)
#include "link/controller.h"
#include "core/common.h"
#include "link/api.h"
#include "link/apitable.h"
#include "link/apiwire.h"
#include "link/linktexts.h"
#include "link/socketpool.h"
#include "tests/support/kvxsim_fixture.h"
#include "bench/benchsim.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/epoll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>
#include <thread>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;
constexpr int kCallsPerRound = 300;
constexpr double kPoolRatioGoal = 2.0;
constexpr double kThroughputGoal = 10000.0;
const std::string kRequest = "GroupStatusGet(GROUP1,int *)\n\r";

// Sends the request and blocks until "API" has arrived.
bool roundTrip(int fd)
{
    if (::send(fd, kRequest.data(), kRequest.size(), MSG_NOSIGNAL) != static_cast<ssize_t>(kRequest.size())) return false;
    std::string reply;
    char buf[4096];
    while (reply.find("API") == std::string::npos) {
        const ssize_t n = ::recv(fd, buf, sizeof buf, 0);
        if (n <= 0) return false;
        reply.append(buf, static_cast<std::size_t>(n));
    }
    return true;
}

// The minimal server: one fixed reply per request line, served by a thread per connection or by
// one thread that waits on every connection at once (epoll).
class EchoServer {
public:
    explicit EchoServer(bool oneThread) : mOneThread(oneThread)
    {
        mListener = ::socket(AF_INET, SOCK_STREAM, 0);
        int one = 1;
        ::setsockopt(mListener, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        ::bind(mListener, reinterpret_cast<sockaddr*>(&a), sizeof a);
        ::listen(mListener, 64);
        socklen_t len = sizeof a;
        ::getsockname(mListener, reinterpret_cast<sockaddr*>(&a), &len);
        mPort = ntohs(a.sin_port);
        mServer = std::thread([this] { mOneThread ? serveAll() : acceptEach(); });
    }
    ~EchoServer()
    {
        mStop = true;
        ::shutdown(mListener, SHUT_RDWR);
        mServer.join();
        ::close(mListener);
    }
    int port() const { return mPort; }

private:
    // Answers what arrived; false when the peer has gone.
    static bool answer(int c)
    {
        char buf[4096];
        const ssize_t n = ::recv(c, buf, sizeof buf, 0);
        if (n <= 0) return false;
        // One reply per LF: a request ends with LF CR.
        for (ssize_t i = 0; i < n; ++i)
            if (buf[i] == '\n') ::send(c, "0,12,EndOfAPI", 13, MSG_NOSIGNAL);
        return true;
    }
    static void noDelay(int c)
    {
        int on = 1;
        ::setsockopt(c, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
    }
    void acceptEach()
    {
        for (;;) {
            const int c = ::accept(mListener, nullptr, nullptr);
            if (c < 0) return;
            noDelay(c);
            std::thread([c] {
                while (answer(c)) {
                }
                ::close(c);
            }).detach();
        }
    }
    void serveAll()
    {
        const int ep = ::epoll_create1(0);
        epoll_event e{};
        e.events = EPOLLIN;
        e.data.fd = mListener;
        ::epoll_ctl(ep, EPOLL_CTL_ADD, mListener, &e);
        epoll_event ready[64];
        while (!mStop) {
            const int n = ::epoll_wait(ep, ready, 64, 200);
            for (int i = 0; i < n; ++i) {
                const int fd = ready[i].data.fd;
                if (fd == mListener) {
                    const int c = ::accept(mListener, nullptr, nullptr);
                    if (c < 0) continue;
                    noDelay(c);
                    epoll_event ce{};
                    ce.events = EPOLLIN;
                    ce.data.fd = c;
                    ::epoll_ctl(ep, EPOLL_CTL_ADD, c, &ce);
                } else if (!answer(fd)) {
                    ::epoll_ctl(ep, EPOLL_CTL_DEL, fd, nullptr);
                    ::close(fd);
                }
            }
        }
        ::close(ep);
    }

    bool mOneThread;
    std::atomic<bool> mStop{false};
    int mListener = -1;
    int mPort = 0;
    std::thread mServer;
};

// Microseconds per call of `calls` calls.
double usPerCall(const std::function<bool()>& call, int calls, bool& ok)
{
    const auto t0 = Clock::now();
    for (int i = 0; i < calls; ++i)
        if (!call()) ok = false;
    return std::chrono::duration<double, std::micro>(Clock::now() - t0).count() / calls;
}

double median(std::vector<double> v)
{
    if (v.empty()) return 0.0;
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

// Calls per second through the pool from `threads` threads during `ms`.
double poolThroughput(int threads, int ms, bool& ok)
{
    std::atomic<bool> go{false}, stop{false};
    std::atomic<long> calls{0}, failures{0};
    std::vector<std::thread> workers;
    for (int t = 0; t < threads; ++t)
        workers.emplace_back([&] {
            while (!go.load()) std::this_thread::yield();
            long n = 0;
            while (!stop.load()) {
                const int k = mvx::link::GetSocket(5);
                if (k < 0) {
                    failures.fetch_add(1);
                    continue;
                }
                int status = 0;
                if (mvx::api::GroupStatusGet(k, "GROUP1", status) != 0) failures.fetch_add(1);
                mvx::link::ReleaseSocket(k);
                ++n;
            }
            calls.fetch_add(n);
        });
    const auto t0 = Clock::now();
    go = true;
    std::this_thread::sleep_for(std::chrono::milliseconds(ms));
    stop = true;
    for (auto& w : workers) w.join();
    const double seconds = std::chrono::duration<double>(Clock::now() - t0).count();
    if (failures.load() > 0) ok = false;
    return static_cast<double>(calls.load()) / seconds;
}

struct Row {
    const char* name;
    std::function<bool()> call;
    std::vector<double> us;
    bool ok = true;
};

// Measures the rows in interleaved rounds, then the pool from 4 threads; prints the table.
void measure(const char* server, const std::string& address, int port, int rounds)
{
    std::vector<int> raw;
    for (int i = 0; i < mvx::link::kPoolEntries; ++i) raw.push_back(mvx::bench::ConnectTcp(address, port));
    const int wire = mvx::link::SocketOpen(address, port, 5.0);
    if (std::find(raw.begin(), raw.end(), -1) != raw.end() || wire < 0) {
        std::printf("%s: cannot connect\n", server);
        return;
    }
    std::size_t turn = 0;
    int status = 0;
    std::vector<Row> rows;
    rows.push_back({"raw, one connection (reference)", [&] { return roundTrip(raw[0]); }, {}});
    rows.push_back({"raw, 32 connections in turn", [&] { return roundTrip(raw[turn++ % raw.size()]); }, {}});
    rows.push_back({"wire, one connection", [&] { return mvx::api::GroupStatusGet(wire, "GROUP1", status) == 0; }, {}});
    rows.push_back({"pool, one thread", [&] {
                        const int k = mvx::link::GetSocket(5);
                        if (k < 0) return false;
                        const bool ok = mvx::api::GroupStatusGet(k, "GROUP1", status) == 0;
                        mvx::link::ReleaseSocket(k);
                        return ok;
                    },
                    {}});
    for (Row& r : rows) usPerCall(r.call, 50, r.ok);  // warm-up
    for (int round = 0; round < rounds; ++round)
        for (Row& r : rows) r.us.push_back(usPerCall(r.call, kCallsPerRound, r.ok));
    bool parallelOk = true;
    const double throughput = poolThroughput(4, 2000, parallelOk);

    const double reference = median(rows[0].us);
    std::printf("\n%s\n", server);
    std::printf("  %-36s %10s %12s\n", "", "us/call", "x raw");
    for (const Row& r : rows)
        std::printf("  %-36s %10.1f %11.2fx %s\n", r.name, median(r.us), median(r.us) / reference, r.ok ? "" : "FAILED");
    std::printf("  %-36s %10s %11.2fx (goal %.1fx or less)\n", "pooled call over the raw round trip", "",
                median(rows[3].us) / reference, kPoolRatioGoal);
    std::printf("  %-36s %10.0f calls/s, %.2fx the goal of %.0f %s\n", "pool, 4 threads", throughput,
                throughput / kThroughputGoal, kThroughputGoal, parallelOk ? "" : "FAILED");
    for (int fd : raw) ::close(fd);
    mvx::link::SocketClose(wire);
}

bool openPool(const std::string& address, int port)
{
    mvx::link::CurrentController().closePool();
    mvx::common().ControllerIp = address;
    return mvx::link::CurrentController().openPool(port);
}

}  // namespace

int main(int argc, char** argv)
{
    int rounds = 30;
    for (int i = 1; i + 1 < argc; ++i)
        if (std::string(argv[i]) == "--rounds") rounds = std::max(1, std::atoi(argv[i + 1]));
    mvx::link::registerTexts();
    mvx::api::InstallSocketApi();
    auto& c = mvx::common();
    c.ControllerUsable.store(1);
    c.ExtraTimeoutMs.store(0);
    std::printf("GroupStatusGet, %d rounds of %d calls per figure (median of the rounds)\n", rounds, kCallsPerRound);

    {
        mvx::test::KvxSim sim;
        if (!openPool(sim.address(), mvx::test::KvxSim::kApiPort)) {
            std::fprintf(stderr, "the pool did not open on the simulator\n");
            return 1;
        }
        measure(("controller simulator at " + sim.address()).c_str(), sim.address(), mvx::test::KvxSim::kApiPort, rounds);
        mvx::link::CurrentController().closePool();
    }
    for (const bool oneThread : {false, true}) {
        EchoServer echo(oneThread);
        if (!openPool("127.0.0.1", echo.port())) {
            std::fprintf(stderr, "the pool did not open on the echo server\n");
            return 1;
        }
        measure(oneThread ? "echo server of this bench (C++, one thread for every connection)"
                          : "echo server of this bench (C++, a thread per connection)",
                "127.0.0.1", echo.port(), rounds);
        mvx::link::CurrentController().closePool();
    }
    return 0;
}
