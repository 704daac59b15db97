#include "support/loopbackpeer.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace mvx::test {

LoopbackPeer::LoopbackPeer(bool listen)
{
    const int start = static_cast<int>(::getpid() % 40);
    for (int k = 0; k < 40 && mFd < 0; ++k) {
        const std::string a = "127.0.0." + std::to_string(200 + (start + k) % 40);
        int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in sa{};
        sa.sin_family = AF_INET;
        sa.sin_port = htons(5001);
        ::inet_pton(AF_INET, a.c_str(), &sa.sin_addr);
        if (::bind(fd, reinterpret_cast<sockaddr*>(&sa), sizeof sa) == 0 && (!listen || ::listen(fd, 8) == 0)) {
            mFd = fd;
            mAddress = a;
        } else {
            ::close(fd);
        }
    }
}

LoopbackPeer::~LoopbackPeer()
{
    if (mFd >= 0) ::close(mFd);
}

}  // namespace mvx::test
