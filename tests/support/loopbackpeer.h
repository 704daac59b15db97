// A loopback address of the test's own for a controller that is not there: a listener on the API
// port that accepts and never answers (silent), or the port held unbound to any listener (absent).
#pragma once

#include <string>

namespace mvx::test {

class LoopbackPeer {
public:
    // The port stays bound while the peer lives (without SO_REUSEADDR), so no other test
    // process, and no simulator, can put a listener on that address meanwhile.
    explicit LoopbackPeer(bool listen);
    ~LoopbackPeer();
    LoopbackPeer(const LoopbackPeer&) = delete;
    LoopbackPeer& operator=(const LoopbackPeer&) = delete;

    const std::string& address() const { return mAddress; }

private:
    int mFd = -1;
    std::string mAddress;
};

}  // namespace mvx::test
