#include "detect.h"

#include "controller.h"
#include "ftp.h"
#include "linktexts.h"
#include "telnet.h"
#include "transfer.h"

#include "core/common.h"
#include "core/inifile.h"
#include "linksettings.h"
#include "translator/texts.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/ip_icmp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>

namespace mvx::link {

namespace {

using Clock = std::chrono::steady_clock;


std::string text(const char* key) { return texts::get(key); }

int msLeft(Clock::time_point deadline)
{
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    return left > 0 ? static_cast<int>(left) : 0;
}

bool toAddress(const std::string& address, sockaddr_in& sa)
{
    std::memset(&sa, 0, sizeof sa);
    sa.sin_family = AF_INET;
    return ::inet_pton(AF_INET, address.c_str(), &sa.sin_addr) == 1;
}

// A connected socket within `timeoutMs`, or -1.
int connectBounded(const std::string& address, int port, int timeoutMs)
{
    sockaddr_in sa;
    if (!toAddress(address, sa)) return -1;
    sa.sin_port = htons(static_cast<std::uint16_t>(port));
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd < 0) return -1;
    int rc = ::connect(fd, reinterpret_cast<sockaddr*>(&sa), sizeof sa);
    if (rc != 0 && errno == EINPROGRESS) {
        pollfd p{fd, POLLOUT, 0};
        int err = 0;
        socklen_t len = sizeof err;
        rc = (::poll(&p, 1, timeoutMs) == 1 && ::getsockopt(fd, SOL_SOCKET, SO_ERROR, &err, &len) == 0 && err == 0)
                 ? 0
                 : -1;
    }
    if (rc != 0) {
        ::close(fd);
        return -1;
    }
    return fd;
}

std::uint16_t checksum(const unsigned char* data, std::size_t n)
{
    std::uint32_t sum = 0;
    for (std::size_t i = 0; i + 1 < n; i += 2) sum += static_cast<std::uint32_t>(data[i] << 8 | data[i + 1]);
    if (n & 1) sum += static_cast<std::uint32_t>(data[n - 1] << 8);
    while (sum >> 16) sum = (sum & 0xffff) + (sum >> 16);
    return static_cast<std::uint16_t>(~sum);
}

}  // namespace

FirmwareClass ClassifyFirmwareReply(const std::string& reply)
{
    FirmwareClass f;
    auto has = [&](const char* s) { return reply.find(s) != std::string::npos; };
    f.model = has("KVX") ? ModelC : ModelNone;
    if (has("KVX-RL-D")) f.model = ModelRLD;
    else if (has("KVX-RL")) f.model = ModelRL;
    if (has("KVX-D")) f.model = ModelD;
    if (has("KVX-Q")) {
        f.model = ModelQ;
        std::string rest = reply;
        if (const auto hash = rest.find('#'); hash != std::string::npos) rest.erase(0, hash + 1);
        long long number = 0;
        std::size_t i = 0;
        while (i < rest.size() && rest[i] >= '0' && rest[i] <= '9' && number < 100000000000LL)
            number = number * 10 + (rest[i++] - '0');
        f.gatheringFolder = number > 30038;
    }
    return f;
}

int ControllerTypeItemForModel(int model)
{
    for (int i = 0; i < 6; ++i)
        if (kControllerTypeItems[i].model == model) return i;
    return 4;  // Simulation
}

int ModelForStoredType(const std::string& t)
{
    for (const auto& item : kControllerTypeItems)
        if (t == item.stored) return item.model;
    return -1;
}

ConnectionState& connectionState() { return CurrentController().connection(); }

void Controller::loadConnectionSettings()
{
    registerTransferTexts();
    IniFile* ini = SettingsIni();
    if (!ini) return;
    LinkSettings set;
    set.Read(*ini);
    connection().HideDialog = set.HideConnectDialog;
    const int m = ModelForStoredType(set.ControllerType);
    if (m >= 0) SetConfiguredModel(m);
}

void Controller::selectControllerType(int item)
{
    if (item < 0 || item >= 6) return;
    connection().RadioItem = item;
    SetControllerModel(kControllerTypeItems[item].model);
    if (IniFile* ini = SettingsIni())
        LinkSettings::Store(*ini, &LinkSettings::ControllerType, std::string(kControllerTypeItems[item].stored));
}


void Controller::showConnectionDialog()
{
    if (auto shower = connectionDialogShower(); shower && !connection().NoDialogs) shower();
}

bool TcpPortOpen(const std::string& address, int port, int timeoutMs)
{
    bool open = false;
    RunOffGuiThread([&] {
        const int fd = connectBounded(address, port, timeoutMs);
        open = fd >= 0;
        if (fd >= 0) ::close(fd);
    });
    return open;
}

std::string QueryFirmware(const std::string& address, bool& connected, int timeoutMs)
{
    std::string reply;
    connected = false;
    RunOffGuiThread([&] {
        const int fd = connectBounded(address, 5001, timeoutMs);
        if (fd < 0) return;
        connected = true;
        const std::string request = kFirmwareRequest;  // no line end: the controller takes it as is
        if (::send(fd, request.data(), request.size(), MSG_NOSIGNAL) == static_cast<ssize_t>(request.size())) {
            const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
            char buf[512];
            while (reply.find("API") == std::string::npos) {
                pollfd p{fd, POLLIN, 0};
                const int left = msLeft(deadline);
                if (left == 0 || ::poll(&p, 1, left) != 1) break;
                const ssize_t n = ::recv(fd, buf, sizeof buf, 0);
                if (n <= 0) break;
                reply.append(buf, static_cast<std::size_t>(n));
            }
        }
        ::close(fd);
    });
    return reply;
}

bool Controller::detectControllerType()
{
    registerTransferTexts();
    auto& c = common();
    auto& s = connection();
    bool connected = false;
    const std::string reply = QueryFirmware(c.ControllerIp, connected);
    if (!connected) {
        SetControllerModel(ModelNone);
        return false;
    }
    const FirmwareClass f = ClassifyFirmwareReply(reply);
    if (f.model == ModelQ) transfer().GatheringFolderFlag = f.gatheringFolder;
    selectControllerType(ControllerTypeItemForModel(f.model));
    if (f.model == ModelRL) transfer().RemoteRoot = "/";
    if (!(s.HideDialog && f.model == GetConfiguredModel())) showConnectionDialog();
    return GetControllerModel() != ModelNone;
}

EchoResult IcmpEcho(const std::string& address, int timeoutMs)
{
    sockaddr_in to;
    if (!toAddress(address, to)) return EchoResult::NoReply;
    bool raw = false;
    int fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, IPPROTO_ICMP);
    if (fd < 0) {
        fd = ::socket(AF_INET, SOCK_RAW | SOCK_CLOEXEC, IPPROTO_ICMP);
        raw = true;
    }
    if (fd < 0) return EchoResult::Unavailable;
    static std::atomic<std::uint16_t> sSequence{1};
    const std::uint16_t id = static_cast<std::uint16_t>(::getpid() & 0xffff);
    const std::uint16_t seq = sSequence++;
    unsigned char packet[8 + 32] = {0};
    packet[0] = ICMP_ECHO;
    packet[4] = static_cast<unsigned char>(id >> 8);
    packet[5] = static_cast<unsigned char>(id & 0xff);
    packet[6] = static_cast<unsigned char>(seq >> 8);
    packet[7] = static_cast<unsigned char>(seq & 0xff);
    for (int i = 8; i < static_cast<int>(sizeof packet); ++i) packet[i] = static_cast<unsigned char>('a' + i % 26);
    const std::uint16_t sum = checksum(packet, sizeof packet);
    packet[2] = static_cast<unsigned char>(sum >> 8);
    packet[3] = static_cast<unsigned char>(sum & 0xff);
    if (::sendto(fd, packet, sizeof packet, 0, reinterpret_cast<sockaddr*>(&to), sizeof to) < 0) {
        const int err = errno;
        ::close(fd);
        return (err == EPERM || err == EACCES) ? EchoResult::Unavailable : EchoResult::NoReply;
    }
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs > 0 ? timeoutMs : 1);
    EchoResult result = EchoResult::NoReply;
    unsigned char buf[1500];
    while (true) {
        pollfd p{fd, POLLIN, 0};
        const int left = msLeft(deadline);
        if (left == 0 || ::poll(&p, 1, left) != 1) break;
        sockaddr_in from{};
        socklen_t len = sizeof from;
        const ssize_t n = ::recvfrom(fd, buf, sizeof buf, 0, reinterpret_cast<sockaddr*>(&from), &len);
        if (n <= 0) continue;
        std::size_t off = 0;
        if (raw) {
            off = static_cast<std::size_t>(buf[0] & 0x0f) * 4;
            if (static_cast<std::size_t>(n) < off + 8) continue;
            const std::uint16_t rid = static_cast<std::uint16_t>(buf[off + 4] << 8 | buf[off + 5]);
            if (rid != id) continue;
        } else if (n < 8) {
            continue;
        }
        if (buf[off] != ICMP_ECHOREPLY) continue;
        const std::uint16_t rseq = static_cast<std::uint16_t>(buf[off + 6] << 8 | buf[off + 7]);
        if (rseq != seq) continue;
        result = from.sin_addr.s_addr == to.sin_addr.s_addr ? EchoResult::Reply : EchoResult::OtherSender;
        break;
    }
    ::close(fd);
    return result;
}

bool Controller::present(const std::string& address, int timeoutMs)
{
    registerTransferTexts();
    auto& c = common();
    auto& s = connection();
    switch (c.DetectionMode.load()) {
    case 0:
        return true;
    case 1: {
        if (s.PingLogOn) log(text("stringping") + " " + address);
        s.PingTarget = address;
        EchoResult r = EchoResult::NoReply;
        RunOffGuiThread([&] { r = IcmpEcho(address, timeoutMs); });
        if (r == EchoResult::Unavailable) {
            s.PresenceFlag = false;
            log(text("StringIcmpNotAvailable"));
            return false;
        }
        s.PresenceFlag = r == EchoResult::Reply;
        if (s.PingLogOn) log(text(s.PresenceFlag ? "stringKVXfoundatadr" : "stringKVXnotfoundatadr") + s.PingTarget);
        return s.PresenceFlag;
    }
    case 2:
        return false;
    case 3: {
        // The whole transfer connection works on the controller's address; another address
        // (a subnet scan) is checked by an FTP login there, so the answer is about that address.
        if (address != c.ControllerIp) {
            bool ok = false;
            const std::string user = c.FtpUser, pass = c.FtpPassword;
            RunOffGuiThread([&] {
                FtpClient probe;
                ok = probe.open(address, user, pass, 21);
                probe.close();
            });
            return ok;
        }
        const bool ok = connectTransfer(false);
        if (ok) disconnectTransfer();
        return ok;
    }
    case 4:
        // The telnet session works on the controller's address; another address (a subnet
        // scan) is checked by its telnet port, so the answer is about that address.
        if (address != c.ControllerIp) return TcpPortOpen(address, 23, kDetectTimeoutMs);
        return connectTelnet();
    case 5: {
        bool connected = false;
        const std::string reply = QueryFirmware(address, connected);
        if (!connected) return false;
        const FirmwareClass f = ClassifyFirmwareReply(reply);
        // A reply that names no model leaves the model as it was.
        if (f.model != ModelNone) {
            SetControllerModel(f.model);
            if (f.model == ModelQ) transfer().GatheringFolderFlag = f.gatheringFolder;
        }
        return true;
    }
    case 6:
        return TcpPortOpen(address, 80, kDetectTimeoutMs);
    default:
        return false;
    }
}

std::string PresenceReportText(bool present)
{
    registerTransferTexts();
    if (!present) return text("StringKVXnotFound");
    if (common().DetectionMode != 5) return text("StringKvx") + text("StringDetected");
    const char* key = "StringKvxTypeC";
    switch (GetControllerModel()) {
    case ModelQ: key = "StringKvxTypeQnx"; break;
    case ModelD: key = "StringKvxTypeD"; break;
    case ModelRL: key = "StringKvxTypeRL"; break;
    case ModelRLD: key = "StringKvxTypeRLD"; break;
    default: break;
    }
    return text(key) + text("StringDetected");
}

}  // namespace mvx::link
