// One pooled API call on loopback against the controller simulator, next to the floors:
// the same request on a raw socket to the simulator, and a raw TCP round trip to a local echo
// thread (what the machine itself costs).
#include "link/api.h"
#include "link/apiwire.h"
#include "link/socketpool.h"
#include "core/common.h"
#include "tests/support/kvxsim_fixture.h"

#include <benchmark/benchmark.h>

#include <arpa/inet.h>
#include <atomic>
#include <memory>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <string>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

namespace {

mvx::test::KvxSim& sim()
{
    static std::unique_ptr<mvx::test::KvxSim> s = [] {
        auto p = std::make_unique<mvx::test::KvxSim>();
        mvx::common().ControllerIp = p->address();
        mvx::common().ControllerUsable.store(1);
        mvx::link::OpenApiSockets();
        return p;
    }();
    return *s;
}

int connectTo(const std::string& address, int port)
{
    int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(static_cast<uint16_t>(port));
    ::inet_pton(AF_INET, address.c_str(), &a.sin_addr);
    if (::connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) {
        ::close(fd);
        return -1;
    }
    int one = 1;
    ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    return fd;
}

// Sends `request` and reads until "API" arrives.
bool roundTrip(int fd, const std::string& request, std::string& reply)
{
    if (::send(fd, request.data(), request.size(), MSG_NOSIGNAL) != static_cast<ssize_t>(request.size())) return false;
    reply.clear();
    char buf[4096];
    while (reply.find("API") == std::string::npos) {
        const ssize_t n = ::recv(fd, buf, sizeof buf, 0);
        if (n <= 0) return false;
        reply.append(buf, static_cast<std::size_t>(n));
    }
    return true;
}

void BM_PooledCall(benchmark::State& state)
{
    sim();
    int status = 0;
    for (auto _ : state) {
        const int k = mvx::link::GetSocket(5);
        const int rc = mvx::api::GroupStatusGet(k, "GROUP1", status);
        mvx::link::ReleaseSocket(k);
        if (rc == -2) state.SkipWithError("no reply");
        benchmark::DoNotOptimize(status);
    }
    state.counters["calls/s"] = benchmark::Counter(static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_PooledCall)->UseRealTime()->MinTime(2.0);

// The same call on one fixed connection, without the pool: what the pool's rotation over its
// 32 connections (oldest freed first) adds on the simulator side.
void BM_WireCallOneConnection(benchmark::State& state)
{
    const int k = mvx::link::SocketOpen(sim().address(), mvx::test::KvxSim::kApiPort, 5.0);
    if (k < 0) {
        state.SkipWithError("cannot connect");
        return;
    }
    int status = 0;
    for (auto _ : state) {
        if (mvx::api::GroupStatusGet(k, "GROUP1", status) == -2) state.SkipWithError("no reply");
        benchmark::DoNotOptimize(status);
    }
    mvx::link::SocketClose(k);
    state.counters["calls/s"] = benchmark::Counter(static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_WireCallOneConnection)->UseRealTime()->MinTime(2.0);

void BM_PooledCallParallel(benchmark::State& state)
{
    sim();
    int status = 0;
    for (auto _ : state) {
        const int k = mvx::link::GetSocket(5);
        if (k < 0) continue;
        mvx::api::GroupStatusGet(k, "GROUP1", status);
        mvx::link::ReleaseSocket(k);
    }
    state.counters["calls/s"] = benchmark::Counter(static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_PooledCallParallel)->UseRealTime()->Threads(8)->MinTime(2.0);

void BM_RawSimulatorRoundTrip(benchmark::State& state)
{
    const int fd = connectTo(sim().address(), mvx::test::KvxSim::kApiPort);
    if (fd < 0) {
        state.SkipWithError("cannot connect");
        return;
    }
    const std::string request = "GroupStatusGet(GROUP1, int *)\n\r";
    std::string reply;
    for (auto _ : state)
        if (!roundTrip(fd, request, reply)) state.SkipWithError("no reply");
    ::close(fd);
    state.counters["calls/s"] = benchmark::Counter(static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_RawSimulatorRoundTrip)->UseRealTime()->MinTime(2.0);

// The floor: a raw TCP round trip to an echo thread on the same machine.
void BM_RawTcpEcho(benchmark::State& state)
{
    const int listener = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    a.sin_port = 0;
    ::bind(listener, reinterpret_cast<sockaddr*>(&a), sizeof a);
    ::listen(listener, 1);
    socklen_t len = sizeof a;
    ::getsockname(listener, reinterpret_cast<sockaddr*>(&a), &len);
    std::thread echo([listener] {
        const int c = ::accept(listener, nullptr, nullptr);
        int one = 1;
        ::setsockopt(c, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
        char buf[4096];
        for (;;) {
            const ssize_t n = ::recv(c, buf, sizeof buf, 0);
            if (n <= 0) break;
            ::send(c, "0,12,EndOfAPI", 13, MSG_NOSIGNAL);
        }
        ::close(c);
    });
    const int fd = connectTo("127.0.0.1", ntohs(a.sin_port));
    const std::string request = "GroupStatusGet(GROUP1, int *)\n\r";
    std::string reply;
    for (auto _ : state)
        if (!roundTrip(fd, request, reply)) state.SkipWithError("no reply");
    ::close(fd);
    echo.join();
    ::close(listener);
    state.counters["calls/s"] = benchmark::Counter(static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_RawTcpEcho)->UseRealTime()->MinTime(2.0);

}  // namespace

BENCHMARK_MAIN();
