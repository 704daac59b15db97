#pragma once
// Helpers shared by the simulator's own tests: a persistent raw API connection and a way to run
// a real client program (curl, the paramiko helper) and collect what it printed.

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <string>
#include <sys/wait.h>

namespace mvx::test {

class RawConnection {
public:
    RawConnection(const std::string& address, int port)
    {
        mFd = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in sa{};
        sa.sin_family = AF_INET;
        sa.sin_port = htons(static_cast<uint16_t>(port));
        ::inet_pton(AF_INET, address.c_str(), &sa.sin_addr);
        if (::connect(mFd, reinterpret_cast<sockaddr*>(&sa), sizeof sa) != 0) {
            ::close(mFd);
            mFd = -1;
        }
    }
    ~RawConnection()
    {
        if (mFd >= 0)
            ::close(mFd);
    }
    RawConnection(const RawConnection&) = delete;
    RawConnection& operator=(const RawConnection&) = delete;

    bool connected() const { return mFd >= 0; }

    bool send(const std::string& bytes)
    {
        return mFd >= 0 && ::send(mFd, bytes.data(), bytes.size(), MSG_NOSIGNAL) == static_cast<ssize_t>(bytes.size());
    }

    // Reads until `marker` is in the buffer, the peer closes, or the time-out; returns what was
    // read up to and including the marker and keeps the rest for the next call.
    std::string readUntil(const std::string& marker, std::chrono::milliseconds timeout)
    {
        auto deadline = std::chrono::steady_clock::now() + timeout;
        while (mBuffer.find(marker) == std::string::npos) {
            auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now()).count();
            pollfd p{mFd, POLLIN, 0};
            if (left <= 0 || ::poll(&p, 1, static_cast<int>(left)) <= 0)
                break;
            char buf[4096];
            ssize_t n = ::recv(mFd, buf, sizeof buf, 0);
            if (n <= 0) {
                mClosed = true;
                break;
            }
            mBuffer.append(buf, static_cast<std::size_t>(n));
        }
        auto at = mBuffer.find(marker);
        std::string out = at == std::string::npos ? mBuffer : mBuffer.substr(0, at + marker.size());
        mBuffer.erase(0, out.size());
        return out;
    }

    std::string call(const std::string& request, std::chrono::milliseconds timeout = std::chrono::milliseconds(10000))
    {
        send(request + "\n\r");
        return readUntil("EndOfAPI", timeout);
    }

    bool closedByPeer() const { return mClosed; }
    const std::string& pending() const { return mBuffer; }

private:
    int mFd = -1;
    std::string mBuffer;
    bool mClosed = false;
};

struct CommandResult {
    int status = -1;
    std::string output;
};

inline CommandResult runCommand(const std::string& command)
{
    CommandResult r;
    FILE* p = ::popen((command + " 2>&1").c_str(), "r");
    if (p == nullptr)
        return r;
    char buf[4096];
    std::size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, p)) > 0)
        r.output.append(buf, n);
    int st = ::pclose(p);
    r.status = WIFEXITED(st) ? WEXITSTATUS(st) : -1;
    return r;
}

}  // namespace mvx::test
