#include "telnet.h"

#include "controller.h"
#include "linktexts.h"
#include "transfer.h"

#include "core/common.h"
#include "translator/texts.h"

#include <libtelnet.h>

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <mutex>

namespace mvx::link {

namespace {

using texts::Builtin;

constexpr Builtin kRows[] = {
    {"stringpbtelnet", "Attention: Telnet non accessible!"},
    {"stringtelnetok", "Connection telnet ..OK"},
    {"stringtelnetfail", "Connection telnet ..échec"},
    {"stringdisconnecttelnetOK", "Déconnection telnet ..OK"},
    {"stringdisconnecttelnetfail", "Déconnection telnet ..échec"},
};

std::string text(const char* key)
{
    registerTelnetTexts();
    return texts::get(key);
}

void paneLine(Controller& link, const std::string& line)
{
    if (auto pane = link.telnetPane())
        pane(line);
    else
        link.log(line);
}

// Options we accept from the controller: it may echo and suppress go-ahead; the rest is refused.
const telnet_telopt_t kOptions[] = {
    {TELNET_TELOPT_ECHO, TELNET_WONT, TELNET_DO},
    {TELNET_TELOPT_SGA, TELNET_WILL, TELNET_DO},
    {-1, 0, 0},
};

bool sendAll(int fd, const char* data, size_t size)
{
    while (size > 0) {
        const ssize_t n = ::send(fd, data, size, MSG_NOSIGNAL);
        if (n < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        data += n;
        size -= static_cast<size_t>(n);
    }
    return true;
}

// A TCP connection within `timeoutMs`; -1 when refused or late.
int connectWithin(const std::string& host, int port, int timeoutMs)
{
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_port = htons(static_cast<uint16_t>(port));
    if (::inet_pton(AF_INET, host.c_str(), &addr.sin_addr) != 1) return -1;
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) return -1;
    const int flags = ::fcntl(fd, F_GETFL, 0);
    ::fcntl(fd, F_SETFL, flags | O_NONBLOCK);
    int rc = ::connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr);
    if (rc != 0 && errno == EINPROGRESS) {
        pollfd p{fd, POLLOUT, 0};
        rc = ::poll(&p, 1, timeoutMs) == 1 ? 0 : -1;
        if (rc == 0) {
            int err = 0;
            socklen_t len = sizeof err;
            if (::getsockopt(fd, SOL_SOCKET, SO_ERROR, &err, &len) != 0 || err != 0) rc = -1;
        }
    }
    if (rc != 0) {
        ::close(fd);
        return -1;
    }
    ::fcntl(fd, F_SETFL, flags);
    int one = 1;
    ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    return fd;
}

}  // namespace

struct TelnetClient::Impl {
    int fd = -1;
    telnet_t* telnet = nullptr;
    std::string received;  // data of the current telnet_recv call
    bool failed = false;

    static void onEvent(telnet_t*, telnet_event_t* ev, void* user)
    {
        auto* self = static_cast<Impl*>(user);
        switch (ev->type) {
        case TELNET_EV_DATA:
            self->received.append(ev->data.buffer, ev->data.size);
            break;
        case TELNET_EV_SEND:
            if (!sendAll(self->fd, ev->data.buffer, ev->data.size)) self->failed = true;
            break;
        case TELNET_EV_ERROR:
            self->failed = true;
            break;
        default:
            break;
        }
    }
};

TelnetClient::TelnetClient() : mImpl(std::make_unique<Impl>()) {}

TelnetClient::~TelnetClient() { close(); }

void TelnetClient::setDataHandler(DataHandler handler)
{
    std::lock_guard l(mMutex);
    mHandler = std::move(handler);
}

bool TelnetClient::open(const std::string& host, int port, int timeoutMs)
{
    close();
    const int fd = connectWithin(host, port, timeoutMs);
    if (fd < 0) return false;
    {
        std::lock_guard l(mMutex);
        mImpl->fd = fd;
        mImpl->failed = false;
        mImpl->telnet = telnet_init(kOptions, &Impl::onEvent, 0, mImpl.get());
        if (!mImpl->telnet) {
            ::close(fd);
            mImpl->fd = -1;
            return false;
        }
    }
    mStop = false;
    mOpen = true;
    mReader = std::thread([this] { readLoop(); });
    return true;
}

void TelnetClient::readLoop()
{
    char buffer[4096];
    while (!mStop) {
        pollfd p{mImpl->fd, POLLIN, 0};
        const int r = ::poll(&p, 1, 100);
        if (r < 0 && errno != EINTR) break;
        if (r <= 0) continue;
        const ssize_t n = ::recv(mImpl->fd, buffer, sizeof buffer, 0);
        if (n <= 0) {
            if (n < 0 && errno == EINTR) continue;
            break;  // closed by the controller
        }
        std::string data;
        DataHandler handler;
        {
            std::lock_guard l(mMutex);
            mImpl->received.clear();
            telnet_recv(mImpl->telnet, buffer, static_cast<size_t>(n));
            data.swap(mImpl->received);
            handler = mHandler;
        }
        if (!data.empty()) {
            mDataReceived = 1;
            try {
                if (handler) handler(data);
            } catch (...) {
                // The pane only shows the text; the flag a reboot waits on is set above.
            }
        }
    }
    mOpen = false;
}

bool TelnetClient::send(const std::string& text)
{
    std::lock_guard l(mMutex);
    if (!mOpen || !mImpl->telnet) return false;
    telnet_send(mImpl->telnet, text.data(), text.size());
    return !mImpl->failed;
}

void TelnetClient::close()
{
    mStop = true;
    if (mReader.joinable()) mReader.join();
    std::lock_guard l(mMutex);
    if (mImpl->telnet) {
        telnet_free(mImpl->telnet);
        mImpl->telnet = nullptr;
    }
    if (mImpl->fd >= 0) {
        ::shutdown(mImpl->fd, SHUT_RDWR);
        ::close(mImpl->fd);
        mImpl->fd = -1;
    }
    mOpen = false;
}

namespace {
// The login is typed as a user would: one character at a time, then CR.
void typeLine(TelnetClient& client, const std::string& line)
{
    for (char ch : line) client.send(std::string(1, ch));
    client.send("\r");
}
}  // namespace

bool Controller::connectTelnet()
{
    auto& c = common();
    auto& client = telnet();
    bool opened = false;
    const std::string address = c.ControllerIp;
    RunOffGuiThread([&] { opened = client.open(address, 23, 100); });
    if (opened) {
        c.TelnetOpen = 1;
        typeLine(client, c.FtpUser);
        typeLine(client, c.FtpPassword);
    } else {
        paneLine(*this, text("stringpbtelnet"));
        c.TelnetOpen = 0;
    }
    log(text(c.TelnetOpen ? "stringtelnetok" : "stringtelnetfail"));
    return c.TelnetOpen != 0;
}

bool Controller::disconnectTelnet()
{
    bool ok = true;
    // The reader thread may take one poll period to stop: not on the GUI thread's time.
    TelnetClient& client = telnet();
    ok = RunOffGuiThread([&client] { client.close(); });
    common().TelnetOpen = ok ? 0 : 1;
    log(text(ok ? "stringdisconnecttelnetOK" : "stringdisconnecttelnetfail"));
    return ok;
}

bool Controller::telnetConnected() { return common().TelnetOpen != 0 && telnet().isOpen(); }

void registerTelnetTexts()
{
    static std::once_flag once;
    std::call_once(once, [] { texts::add(texts::Family::Controller, kRows); });
}

}  // namespace mvx::link
