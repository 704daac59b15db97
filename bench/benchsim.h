#pragma once
// What the link's benchmarks share: a raw client socket, and the program's settings pointed at a
// simulator with the connection made as the start-up makes it.
#include "link/controller.h"
#include "core/common.h"
#include "core/inifile.h"
#include "link/transfer.h"
#include "tests/support/kvxsim_fixture.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdint>
#include <filesystem>
#include <string>

namespace mvx::bench {

// A simulator whose controller disk is in memory when the machine has a memory file system:
// the benches time the program and the link, not the disk under the simulator.
inline test::KvxSimOptions InMemorySimulator()
{
    test::KvxSimOptions o;
    std::error_code ec;
    if (std::filesystem::is_directory("/dev/shm", ec)) o.rootParent = "/dev/shm";
    return o;
}

// A blocking TCP connection without Nagle's delay; -1 when refused.
inline int ConnectTcp(const std::string& address, int port)
{
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(static_cast<std::uint16_t>(port));
    ::inet_pton(AF_INET, address.c_str(), &a.sin_addr);
    if (::connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) {
        ::close(fd);
        return -1;
    }
    int one = 1;
    ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    return fd;
}

// The settings file names the simulator and axes GROUP1.X/Y/Z; the pool and the file transfer
// are opened on it. False when the file transfer session could not be opened.
inline bool ConnectToSimulator(const test::KvxSim& sim)
{
    auto& c = common();
    c.ControllerIp = sim.address();
    c.ControllerUsable.store(1);
    SettingsIni()->writeString("TCP-IP", "ADR IP", sim.address());
    for (const char* key : {"AXIS X", "AXIS Y", "AXIS Z"})
        SettingsIni()->writeString("POSITIONER NAME", key, std::string("GROUP1.") + key[5]);
    return link::CurrentController().connectTransfer(false);
}

}  // namespace mvx::bench
