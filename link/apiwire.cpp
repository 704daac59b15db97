#include "apiwire.h"

#include "controller.h"
#include "wireslots.h"

#include "core/common.h"
#include "translator/numtext.h"

#include <QCoreApplication>
#include <QThread>

#include <cassert>
#include <cstdio>

#include <arpa/inet.h>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <fcntl.h>
#include <mutex>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

namespace mvx::link {
namespace {

using Clock = std::chrono::steady_clock;

using Slot = WireSlot;

WireSlots& slotTable() { return CurrentController().wire(); }

Slot* slotAt(int index)
{
    if (index < 0 || index >= kSocketSlots) return nullptr;
    Slot& s = slotTable().slot[index];
    return s.opened.load() ? &s : nullptr;
}

void setReplyFlag(int index, bool complete)
{
    if (index >= 0 && index < kPoolSize) SetSocketFlag(index, complete ? 1 : 0);
}

// Waits for `events` on fd until the deadline; false on time-out.
bool waitFd(int fd, short events, Clock::time_point deadline)
{
    for (;;) {
        const auto now = Clock::now();
        if (now >= deadline) return false;
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - now).count() + 1;
        int ms = static_cast<int>(std::min<long long>(left, 1000000));
        pollfd p{fd, events, 0};
        const int r = ::poll(&p, 1, ms);
        if (r > 0) return true;
        if (r < 0 && errno != EINTR) return true;  // let the caller see the error
    }
}

// A call that would block the windows' thread: refused. Waiting there would freeze every window,
// and waiting with events dispatched would let any handler run inside this call.
bool refusedOnWindowThread(const char* what)
{
    if (!OnWindowThread()) return false;
    assert(!"a blocking controller call on the GUI thread");
    std::fprintf(stderr, "%s on the GUI thread refused: the call must be made off it\n", what);
    return true;
}

std::mutex gWaiterMutex;
LiveWaiter gWaiter;

int connectTo(const std::string& address, int port)
{
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_flags = AI_NUMERICSERV;
    addrinfo* res = nullptr;
    const std::string service = num::integer(port);
    if (::getaddrinfo(address.c_str(), service.c_str(), &hints, &res) != 0 || !res) return -1;
    int fd = -1;
    for (addrinfo* ai = res; ai && fd < 0; ai = ai->ai_next) {
        int s = ::socket(ai->ai_family, ai->ai_socktype | SOCK_NONBLOCK | SOCK_CLOEXEC, ai->ai_protocol);
        if (s < 0) continue;
        int one = 1;
        ::setsockopt(s, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
        int r = ::connect(s, ai->ai_addr, ai->ai_addrlen);
        if (r != 0 && errno == EINPROGRESS) {
            const auto deadline = Clock::now() + std::chrono::milliseconds(kConnectTimeoutMs);
            if (waitFd(s, POLLOUT, deadline)) {
                int err = 0;
                socklen_t len = sizeof err;
                ::getsockopt(s, SOL_SOCKET, SO_ERROR, &err, &len);
                r = err == 0 ? 0 : -1;
            }
        }
        if (r == 0)
            fd = s;
        else
            ::close(s);
    }
    ::freeaddrinfo(res);
    return fd;
}

void closeFd(Slot& s)
{
    const int fd = s.fd.exchange(-1);
    if (fd >= 0) ::close(fd);
}

// Reads what has arrived without waiting. Returns false when the peer closed or the socket failed.
bool readAvailable(int fd, std::string& out)
{
    char buf[16384];
    for (;;) {
        const ssize_t n = ::recv(fd, buf, sizeof buf, MSG_DONTWAIT);
        if (n > 0) {
            out.append(buf, static_cast<std::size_t>(n));
            if (static_cast<std::size_t>(n) < sizeof buf) return true;  // drained for now
            continue;
        }
        if (n == 0) return false;
        if (errno == EINTR) continue;
        return errno == EAGAIN || errno == EWOULDBLOCK;
    }
}

bool writeAll(int fd, std::string_view data, Clock::time_point deadline)
{
    std::size_t done = 0;
    while (done < data.size()) {
        const ssize_t n = ::send(fd, data.data() + done, data.size() - done, MSG_NOSIGNAL | MSG_DONTWAIT);
        if (n > 0) {
            done += static_cast<std::size_t>(n);
            continue;
        }
        if (n < 0 && errno == EINTR) continue;
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
            if (!waitFd(fd, POLLOUT, deadline)) return false;
            continue;
        }
        return false;
    }
    return true;
}

// Reopens a slot's connection at its stored address (the slot is held by the caller).
bool reconnect(Slot& s)
{
    closeFd(s);
    const int fd = connectTo(s.address, s.port);
    if (fd < 0) return false;
    s.fd.store(fd);
    return true;
}

std::chrono::milliseconds timeoutOf(const Slot& s)
{
    const double t = s.timeout.load();
    if (!(t > 0)) return std::chrono::milliseconds(0);
    return std::chrono::milliseconds(static_cast<long long>(std::llround(std::min(t, 1e9) * 1000.0)));
}

bool startsAsInteger(std::string_view t, long long& value)
{
    if (t.empty()) return false;
    std::size_t i = 0;
    if (t[0] == '+' || t[0] == '-') i = 1;
    if (i >= t.size()) return false;
    for (std::size_t k = i; k < t.size(); ++k)
        if (t[k] < '0' || t[k] > '9') return false;
    auto v = num::parseIntStrict(t);
    if (!v) return false;
    value = *v;
    return true;
}

// "2.25e-07" -> "2.25E-7", "1e+20" -> "1E20": the exponent without "+" and leading zeros.
std::string scientific(std::string g)
{
    const std::size_t e = g.find('e');
    if (e == std::string::npos) return g;
    std::string mantissa = g.substr(0, e);
    std::string exp = g.substr(e + 1);
    bool negative = false;
    if (!exp.empty() && (exp[0] == '+' || exp[0] == '-')) {
        negative = exp[0] == '-';
        exp.erase(0, 1);
    }
    const std::size_t nz = exp.find_first_not_of('0');
    exp = nz == std::string::npos ? "0" : exp.substr(nz);
    return mantissa + "E" + (negative ? "-" : "") + exp;
}

// Fixed notation with `precision` significant digits; scientific when the integer part needs more.
std::string fixedOrScientific(double v, int decimals, int precision)
{
    std::string s = num::fixed(v, decimals, precision);
    std::size_t intDigits = 0;
    for (char c : s) {
        if (c == '.') break;
        if (c >= '0' && c <= '9') ++intDigits;
    }
    if (intDigits <= static_cast<std::size_t>(precision) || !std::isfinite(v)) return s;
    char buf[64];
    const auto r = std::to_chars(buf, buf + sizeof buf, v, std::chars_format::scientific, precision - 1);
    std::string sci(buf, r.ptr);
    const std::size_t e = sci.find('e');
    std::string mantissa = sci.substr(0, e);
    if (mantissa.find('.') != std::string::npos) {
        while (mantissa.back() == '0') mantissa.pop_back();
        if (mantissa.back() == '.') mantissa.pop_back();
    }
    return scientific(mantissa + sci.substr(e));
}

}  // namespace

WireSlots::~WireSlots()
{
    for (WireSlot& s : slot)
        if (s.opened.exchange(false)) closeFd(s);
}

bool OnGuiThread()
{
    auto* app = QCoreApplication::instance();
    return app && QThread::currentThread() == app->thread();
}

bool OnWindowThread()
{
    auto* app = QCoreApplication::instance();
    return app && app->inherits("QGuiApplication") && QThread::currentThread() == app->thread();
}

void SetLiveWaiter(LiveWaiter waiter)
{
    std::lock_guard lock(gWaiterMutex);
    gWaiter = std::move(waiter);
}

bool RunOffGuiThread(const std::function<void()>& work)
{
    bool ok = true;
    // The caller learns of a failure from the result; what went wrong is the work's to say.
    auto guarded = [&] {
        try {
            work();
        } catch (...) {
            ok = false;
        }
    };
    if (!OnGuiThread()) {
        guarded();
        return ok;
    }
    LiveWaiter waiter;
    {
        std::lock_guard lock(gWaiterMutex);
        waiter = gWaiter;
    }
    if (waiter) {
        waiter(guarded);
    } else {
        std::thread helper(guarded);
        helper.join();
    }
    return ok;
}

void WaitWithEvents(int ms)
{
    if (ms <= 0) return;
    auto sleep = [ms] { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); };
    if (OnGuiThread()) RunOffGuiThread(sleep);
    else sleep();
}

int SocketOpen(const std::string& address, int port, double timeoutSeconds)
{
    if (refusedOnWindowThread("SocketOpen")) return -1;
    WireSlots& all = slotTable();
    int index = -1;
    {
        std::lock_guard lock(all.mutex);
        for (int i = 0; i < kSocketSlots && index < 0; ++i)
            if (!all.slot[i].opened.load() && !all.slot[i].reserved) index = i;
        if (index < 0) return -1;
        all.slot[index].reserved = true;
    }
    const int fd = connectTo(address, port);
    std::lock_guard lock(all.mutex);
    Slot& s = all.slot[index];
    s.reserved = false;
    if (fd < 0) return -1;
    s.address = address;
    s.port = port;
    s.fd.store(fd);
    s.timeout.store(timeoutSeconds);
    s.pending.store(false);
    s.opened.store(true);
    return index;
}

int SocketSetTimeout(int index, double timeoutSeconds)
{
    Slot* s = slotAt(index);
    if (!s) return -1;
    s->timeout.store(timeoutSeconds);
    return index;
}

int SocketClose(int index)
{
    WireSlots& all = slotTable();
    std::lock_guard lock(all.mutex);
    if (index < 0 || index >= kSocketSlots || !all.slot[index].opened.load()) return -1;
    Slot& s = all.slot[index];
    s.opened.store(false);
    closeFd(s);
    s.pending.store(false);
    s.address.clear();
    return 0;
}

bool SocketIsOpen(int index) { return slotAt(index) != nullptr; }

double SocketTimeout(int index)
{
    const Slot* s = slotAt(index);
    return s ? s->timeout.load() : 0.0;
}

int OpenSocketCount()
{
    int n = 0;
    for (const Slot& s : slotTable().slot) n += s.opened.load() ? 1 : 0;
    return n;
}

std::string RequestBytes(std::string_view request)
{
    std::string wire(request);
    wire += "\n\r";
    return wire;
}

std::string SendCommand(int index, std::string_view request)
{
    std::string reply;
    Slot* s = slotAt(index);
    if (!s || refusedOnWindowThread("SendCommand")) {
        setReplyFlag(index, false);
        return reply;
    }
    if (s->fd.load() < 0 && !reconnect(*s)) {
        setReplyFlag(index, false);
        return reply;
    }
    int fd = s->fd.load();
    // Whatever is waiting belongs to no call of ours any more.
    std::string stale;
    if (!readAvailable(fd, stale)) {
        if (!reconnect(*s)) {
            setReplyFlag(index, false);
            return reply;
        }
        fd = s->fd.load();
    }
    const auto deadline = Clock::now() + timeoutOf(*s);
    s->pending.store(true);
    if (!writeAll(fd, RequestBytes(request), deadline)) {
        // Nothing can come back on a connection that refused the request: start afresh next time.
        closeFd(*s);
        s->pending.store(false);
        setReplyFlag(index, false);
        return reply;
    }
    bool alive = true;
    bool complete = false;
    std::size_t searched = 0;
    for (;;) {
        if (!waitFd(fd, POLLIN, deadline)) break;
        alive = readAvailable(fd, reply);
        // "API" may straddle two pieces: search from two characters before the new bytes.
        complete = reply.find("API", searched) != std::string::npos;
        searched = reply.size() > 2 ? reply.size() - 2 : 0;
        if (complete || !alive) break;
    }
    if (alive && !complete) {
        alive = readAvailable(fd, reply);
        complete = reply.find("API") != std::string::npos;
    }
    if (!alive) closeFd(*s);
    s->pending.store(!complete && alive);
    setReplyFlag(index, complete);
    return reply;
}

bool RequestPending(int index)
{
    const Slot* s = slotAt(index);
    return s && s->pending.load();
}

bool DrainReply(int index, std::chrono::milliseconds limit, const std::atomic<bool>& stop)
{
    Slot* s = slotAt(index);
    if (!s || refusedOnWindowThread("DrainReply")) return false;
    const int fd = s->fd.load();
    bool complete = false;
    if (fd >= 0) {
        const auto end = Clock::now() + limit;
        std::string text;
        bool alive = true;
        while (!stop.load()) {
            alive = readAvailable(fd, text);
            if (text.find("API") != std::string::npos) {
                complete = true;
                break;
            }
            if (!alive) break;
            const auto now = Clock::now();
            if (now >= end) break;
            // Short steps so a stop request is seen quickly.
            waitFd(fd, POLLIN, std::min(end, now + std::chrono::milliseconds(100)));
        }
    }
    if (!complete) {
        if (stop.load())
            closeFd(*s);
        else
            reconnect(*s);  // a failed reconnect is retried at the next request
    }
    s->pending.store(false);
    setReplyFlag(index, true);
    return complete;
}

int ReplyErrorCode(std::string_view reply)
{
    const std::size_t comma = reply.find(',');
    if (comma == std::string_view::npos) return 1;
    long long v = 0;
    if (!startsAsInteger(reply.substr(0, comma), v)) return 1;
    if (v < INT32_MIN || v > INT32_MAX) return 1;
    return static_cast<int>(v);
}

std::string ReplyField(std::string_view reply, int n)
{
    if (n < 1) n = 1;
    std::size_t start = 0;
    for (int k = 1; k < n; ++k) {
        const std::size_t comma = reply.find(',', start);
        if (comma == std::string_view::npos) break;  // past the last comma: the text after it
        start = comma + 1;
    }
    const std::size_t end = reply.find(',', start);
    return std::string(reply.substr(start, end == std::string_view::npos ? std::string_view::npos : end - start));
}

std::string WriteF13(double v) { return fixedOrScientific(v, 13, 12); }
std::string WriteF6(double v) { return fixedOrScientific(v, 6, 12); }
std::string WriteF4(double v) { return fixedOrScientific(v, 4, 12); }
std::string WriteE13(double v) { return fixedOrScientific(v, 13, 15); }
std::string WriteG(double v) { return scientific(num::general(v, 15)); }

}  // namespace mvx::link
