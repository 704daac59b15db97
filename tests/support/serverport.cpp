#include "support/serverport.h"

#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <fstream>
#include <random>

namespace mvx::test {
namespace {

// Bindable now on the IPv4 and (where there is one) the IPv6 wildcard address.
bool bindable(int port)
{
    int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) return false;
    const int on = 1;
    ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(static_cast<uint16_t>(port));
    a.sin_addr.s_addr = htonl(INADDR_ANY);
    const bool v4 = ::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0;
    ::close(fd);
    if (!v4) return false;
    fd = ::socket(AF_INET6, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) return true;
    ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    sockaddr_in6 b{};
    b.sin6_family = AF_INET6;
    b.sin6_port = htons(static_cast<uint16_t>(port));
    b.sin6_addr = in6addr_any;
    const bool v6 = ::bind(fd, reinterpret_cast<sockaddr*>(&b), sizeof b) == 0;
    ::close(fd);
    return v6;
}

}  // namespace

int FreeServerPort()
{
    int low = 32768, high = 60999;
    std::ifstream("/proc/sys/net/ipv4/ip_local_port_range") >> low >> high;
    // Below the ephemeral range when there is room there, else above it.
    const bool below = low > 12000;
    const int from = below ? 10000 : high + 1;
    const int to = below ? low - 1 : 65535;
    if (to <= from) return 0;
    std::mt19937 pick(static_cast<unsigned>(::getpid()) ^
                      static_cast<unsigned>(std::chrono::steady_clock::now().time_since_epoch().count()));
    std::uniform_int_distribution<int> port(from, to);
    for (int k = 0; k < 500; ++k) {
        const int p = port(pick);
        if (bindable(p)) return p;
    }
    return 0;
}

}  // namespace mvx::test
