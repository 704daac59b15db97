#include "support/kvxsim_fixture.h"

#include "translator/numtext.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <thread>

#ifndef MVX_KVXSIM_PATH
#error "MVX_KVXSIM_PATH must name sim/kvxsim"
#endif

namespace mvx::test {

namespace {

using Clock = std::chrono::steady_clock;

// The host key shared by the simulators of this process, removed when the process ends.
const std::string& sharedHostKeyFile()
{
    struct Shared {
        std::string path = (std::filesystem::temp_directory_path() /
                            ("kvxsim-hostkey-" + std::to_string(::getpid()) + ".pem")).string();
        ~Shared()
        {
            std::error_code ec;
            std::filesystem::remove(path, ec);
        }
    };
    static Shared shared;
    return shared.path;
}

int remainingMs(Clock::time_point deadline)
{
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    return left > 0 ? static_cast<int>(left) : 0;
}

// A connected TCP socket to addr:port, or -1.
int connectTo(const std::string& address, int port, std::chrono::milliseconds timeout)
{
    int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return -1;
    sockaddr_in sa{};
    sa.sin_family = AF_INET;
    sa.sin_port = htons(static_cast<uint16_t>(port));
    ::inet_pton(AF_INET, address.c_str(), &sa.sin_addr);
    int flags = ::fcntl(fd, F_GETFL, 0);
    ::fcntl(fd, F_SETFL, flags | O_NONBLOCK);
    int rc = ::connect(fd, reinterpret_cast<sockaddr*>(&sa), sizeof sa);
    if (rc < 0 && errno == EINPROGRESS) {
        pollfd p{fd, POLLOUT, 0};
        rc = ::poll(&p, 1, static_cast<int>(timeout.count()));
        int err = 0;
        socklen_t len = sizeof err;
        if (rc == 1 && ::getsockopt(fd, SOL_SOCKET, SO_ERROR, &err, &len) == 0 && err == 0)
            rc = 0;
        else
            rc = -1;
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

bool sendAll(int fd, const std::string& data)
{
    std::size_t done = 0;
    while (done < data.size()) {
        ssize_t n = ::send(fd, data.data() + done, data.size() - done, MSG_NOSIGNAL);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        done += static_cast<std::size_t>(n);
    }
    return true;
}

// True when nothing listens on addr:port (checked by binding it ourselves).
bool portFree(const std::string& address, int port)
{
    int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return false;
    sockaddr_in sa{};
    sa.sin_family = AF_INET;
    sa.sin_port = htons(static_cast<uint16_t>(port));
    ::inet_pton(AF_INET, address.c_str(), &sa.sin_addr);
    bool ok = ::bind(fd, reinterpret_cast<sockaddr*>(&sa), sizeof sa) == 0;
    ::close(fd);
    return ok;
}

std::string base64Encode(const std::string& in)
{
    static const char* table = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string out;
    std::size_t i = 0;
    while (i + 2 < in.size()) {
        unsigned v = (unsigned char)in[i] << 16 | (unsigned char)in[i + 1] << 8 | (unsigned char)in[i + 2];
        out += table[v >> 18];
        out += table[(v >> 12) & 63];
        out += table[(v >> 6) & 63];
        out += table[v & 63];
        i += 3;
    }
    if (i + 1 == in.size()) {
        unsigned v = (unsigned char)in[i] << 16;
        out += table[v >> 18];
        out += table[(v >> 12) & 63];
        out += "==";
    } else if (i + 2 == in.size()) {
        unsigned v = (unsigned char)in[i] << 16 | (unsigned char)in[i + 1] << 8;
        out += table[v >> 18];
        out += table[(v >> 12) & 63];
        out += table[(v >> 6) & 63];
        out += '=';
    }
    return out;
}

std::string base64Decode(const std::string& in)
{
    auto value = [](char c) -> int {
        if (c >= 'A' && c <= 'Z') return c - 'A';
        if (c >= 'a' && c <= 'z') return c - 'a' + 26;
        if (c >= '0' && c <= '9') return c - '0' + 52;
        if (c == '+') return 62;
        if (c == '/') return 63;
        return -1;
    };
    std::string out;
    unsigned acc = 0;
    int bits = 0;
    for (char c : in) {
        int v = value(c);
        if (v < 0)
            continue;
        acc = (acc << 6) | static_cast<unsigned>(v);
        bits += 6;
        if (bits >= 8) {
            bits -= 8;
            out += static_cast<char>((acc >> bits) & 0xFF);
        }
    }
    return out;
}

}  // namespace

std::string kvxsimPath()
{
    return MVX_KVXSIM_PATH;
}

std::string jsonQuote(const std::string& text)
{
    std::string out = "\"";
    for (unsigned char c : text) {
        switch (c) {
        case '"': out += "\\\""; break;
        case '\\': out += "\\\\"; break;
        case '\n': out += "\\n"; break;
        case '\r': out += "\\r"; break;
        case '\t': out += "\\t"; break;
        default:
            if (c < 0x20 || c >= 0x80) {
                // Bytes above 0x7F travel as code points U+0080..U+00FF (the simulator reads
                // request texts as Latin-1), so every byte comes back unchanged.
                static const char* hex = "0123456789abcdef";
                out += "\\u00";
                out += hex[c >> 4];
                out += hex[c & 15];
            } else {
                out += static_cast<char>(c);
            }
        }
    }
    return out + "\"";
}

// ----- a small JSON reader for the control replies ---------------------------------------------

struct KvxSim::Json {
    enum class Type { Null, Bool, Number, String, Array, Object } type = Type::Null;
    bool boolean = false;
    double number = 0.0;
    std::string text;
    std::vector<Json> items;
    std::map<std::string, Json> members;

    const Json& operator[](const std::string& key) const
    {
        static const Json none;
        auto it = members.find(key);
        return it == members.end() ? none : it->second;
    }

    static Json parse(const std::string& s)
    {
        std::size_t i = 0;
        Json v = parseValue(s, i);
        skip(s, i);
        if (i != s.size())
            throw KvxSimError("control reply: trailing text");
        return v;
    }

private:
    static void skip(const std::string& s, std::size_t& i)
    {
        while (i < s.size() && (s[i] == ' ' || s[i] == '\t' || s[i] == '\n' || s[i] == '\r'))
            ++i;
    }

    static void appendUtf8(std::string& out, unsigned cp)
    {
        if (cp < 0x100) {
            out += static_cast<char>(cp);  // Latin-1 byte, as the simulator meant it
        } else if (cp < 0x800) {
            out += static_cast<char>(0xC0 | (cp >> 6));
            out += static_cast<char>(0x80 | (cp & 0x3F));
        } else {
            out += static_cast<char>(0xE0 | (cp >> 12));
            out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (cp & 0x3F));
        }
    }

    static std::string parseString(const std::string& s, std::size_t& i)
    {
        std::string out;
        ++i;  // opening quote
        while (i < s.size() && s[i] != '"') {
            char c = s[i++];
            if (c != '\\') {
                out += c;
                continue;
            }
            if (i >= s.size())
                break;
            char e = s[i++];
            switch (e) {
            case 'n': out += '\n'; break;
            case 'r': out += '\r'; break;
            case 't': out += '\t'; break;
            case 'b': out += '\b'; break;
            case 'f': out += '\f'; break;
            case 'u': {
                if (i + 4 > s.size())
                    throw KvxSimError("control reply: bad escape");
                unsigned cp = 0;
                for (int k = 0; k < 4; ++k) {
                    char h = s[i++];
                    cp <<= 4;
                    if (h >= '0' && h <= '9') cp |= static_cast<unsigned>(h - '0');
                    else if (h >= 'a' && h <= 'f') cp |= static_cast<unsigned>(h - 'a' + 10);
                    else if (h >= 'A' && h <= 'F') cp |= static_cast<unsigned>(h - 'A' + 10);
                    else throw KvxSimError("control reply: bad escape");
                }
                appendUtf8(out, cp);
                break;
            }
            default: out += e;
            }
        }
        if (i >= s.size())
            throw KvxSimError("control reply: unterminated string");
        ++i;  // closing quote
        return out;
    }

    static Json parseValue(const std::string& s, std::size_t& i)
    {
        skip(s, i);
        if (i >= s.size())
            throw KvxSimError("control reply: unexpected end");
        Json v;
        char c = s[i];
        if (c == '{') {
            v.type = Type::Object;
            ++i;
            skip(s, i);
            if (i < s.size() && s[i] == '}') {
                ++i;
                return v;
            }
            while (true) {
                skip(s, i);
                if (i >= s.size() || s[i] != '"')
                    throw KvxSimError("control reply: key expected");
                std::string key = parseString(s, i);
                skip(s, i);
                if (i >= s.size() || s[i] != ':')
                    throw KvxSimError("control reply: ':' expected");
                ++i;
                v.members[key] = parseValue(s, i);
                skip(s, i);
                if (i < s.size() && s[i] == ',') {
                    ++i;
                    continue;
                }
                if (i < s.size() && s[i] == '}') {
                    ++i;
                    return v;
                }
                throw KvxSimError("control reply: bad object");
            }
        }
        if (c == '[') {
            v.type = Type::Array;
            ++i;
            skip(s, i);
            if (i < s.size() && s[i] == ']') {
                ++i;
                return v;
            }
            while (true) {
                v.items.push_back(parseValue(s, i));
                skip(s, i);
                if (i < s.size() && s[i] == ',') {
                    ++i;
                    continue;
                }
                if (i < s.size() && s[i] == ']') {
                    ++i;
                    return v;
                }
                throw KvxSimError("control reply: bad array");
            }
        }
        if (c == '"') {
            v.type = Type::String;
            v.text = parseString(s, i);
            return v;
        }
        if (s.compare(i, 4, "true") == 0) {
            v.type = Type::Bool;
            v.boolean = true;
            i += 4;
            return v;
        }
        if (s.compare(i, 5, "false") == 0) {
            v.type = Type::Bool;
            i += 5;
            return v;
        }
        if (s.compare(i, 4, "null") == 0) {
            i += 4;
            return v;
        }
        std::size_t start = i;
        while (i < s.size() && std::strchr("+-0123456789.eE", s[i]) != nullptr)
            ++i;
        auto number = mvx::num::parseStrict(std::string_view(s).substr(start, i - start));
        if (!number)
            throw KvxSimError("control reply: bad number");
        v.type = Type::Number;
        v.number = *number;
        return v;
    }
};

// ----- process -------------------------------------------------------------------------------------

KvxSim::KvxSim(KvxSimOptions options)
    : mOptions(std::move(options))
{
    start();
}

KvxSim::~KvxSim()
{
    stop();
}

void KvxSim::start()
{
    std::string tmpl = mOptions.rootParent + "/kvxsim-test-XXXXXX";
    if (::mkdtemp(tmpl.data()) == nullptr)
        throw KvxSimError("cannot create the simulator's root folder");
    mRoot = tmpl;
    auto layFiles = [this] {
        for (const auto& [rel, content] : mOptions.files) {
            std::filesystem::path path = std::filesystem::path(mRoot) / rel;
            std::filesystem::create_directories(path.parent_path());
            std::ofstream(path, std::ios::binary) << content;
        }
    };
    layFiles();

    // Parallel test processes start from different addresses; a taken one is skipped, and a
    // start that loses a race for its ports is retried on the next address.
    unsigned base = static_cast<unsigned>(::getpid()) * 7u;
    std::string lastError = "no free loopback address";
    for (int attempt = 0; attempt < 40; ++attempt) {
        unsigned n = 2 + (base + static_cast<unsigned>(attempt) * 13u) % 250u;
        std::string address = "127.0.0." + std::to_string(n);
        if (!portFree(address, kApiPort) || !portFree(address, kControlPort) || !portFree(address, 21)
            || !portFree(address, 22))
            continue;

        std::vector<std::string> args = {
            "/usr/bin/python3", kvxsimPath(), "--address", address, "--model", mOptions.model,
            "--root", mRoot, "--login-folder", mOptions.loginFolder,
            "--time-scale", mvx::num::general(mOptions.timeScale),
            "--reboot-time", mvx::num::general(mOptions.rebootSeconds),
            "--watch-stdin", "--exit-with-parent"};
        if (!mOptions.firmware.empty()) {
            args.push_back("--firmware");
            args.push_back(mOptions.firmware);
        }
        args.push_back("--host-key");
        args.push_back(mOptions.hostKeyFile.empty() ? sharedHostKeyFile() : mOptions.hostKeyFile);
        args.insert(args.end(), mOptions.extraArgs.begin(), mOptions.extraArgs.end());

        std::vector<char*> argv;  // built before fork: the child may only exec
        for (auto& a : args)
            argv.push_back(a.data());
        argv.push_back(nullptr);

        int in[2], out[2];
        if (::pipe2(in, O_CLOEXEC) != 0 || ::pipe2(out, O_CLOEXEC) != 0)
            throw KvxSimError("pipe failed");
        pid_t pid = ::fork();
        if (pid < 0)
            throw KvxSimError("fork failed");
        if (pid == 0) {
            ::dup2(in[0], 0);
            ::dup2(out[1], 1);
            ::execv(argv[0], argv.data());
            ::_exit(127);
        }
        ::close(in[0]);
        ::close(out[1]);
        mPid = pid;
        mStdin = in[1];
        mStdout = out[0];

        std::string seen;
        auto deadline = Clock::now() + mOptions.startTimeout;
        bool ready = false;
        bool ended = false;
        while (!ready && !ended) {
            pollfd p{mStdout, POLLIN, 0};
            int left = remainingMs(deadline);
            if (left == 0 || ::poll(&p, 1, left) <= 0)
                break;
            char buf[256];
            ssize_t n = ::read(mStdout, buf, sizeof buf);
            if (n <= 0) {
                ended = true;
                break;
            }
            seen.append(buf, static_cast<std::size_t>(n));
            ready = seen.find("ready\n") != std::string::npos;
        }
        if (ready) {
            mAddress = address;
            return;
        }
        lastError = ended ? "simulator ended before it was ready on " + address
                          : "simulator not ready in time on " + address;
        stop();
        std::string again = mOptions.rootParent + "/kvxsim-test-XXXXXX";
        if (::mkdtemp(again.data()) == nullptr)
            throw KvxSimError("cannot create the simulator's root folder");
        mRoot = again;
        layFiles();
    }
    std::error_code ec;
    std::filesystem::remove_all(mRoot, ec);
    throw KvxSimError(lastError);
}

void KvxSim::stop()
{
    if (mControlFd >= 0) {
        ::close(mControlFd);
        mControlFd = -1;
    }
    if (mPid > 0) {
        ::kill(mPid, SIGTERM);
        auto deadline = Clock::now() + std::chrono::seconds(5);
        int status = 0;
        while (::waitpid(mPid, &status, WNOHANG) == 0) {
            if (Clock::now() > deadline) {
                ::kill(mPid, SIGKILL);
                ::waitpid(mPid, &status, 0);
                break;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        mPid = -1;
    }
    if (mStdin >= 0) {
        ::close(mStdin);
        mStdin = -1;
    }
    if (mStdout >= 0) {
        ::close(mStdout);
        mStdout = -1;
    }
    if (!mRoot.empty()) {
        std::error_code ec;
        std::filesystem::remove_all(mRoot, ec);
    }
}

// ----- control -----------------------------------------------------------------------------------

std::string KvxSim::controlRaw(const std::string& jsonLine)
{
    for (int attempt = 0; attempt < 2; ++attempt) {
        if (mControlFd < 0) {
            mControlFd = connectTo(mAddress, kControlPort, std::chrono::milliseconds(3000));
            mControlBuffer.clear();
            if (mControlFd < 0)
                throw KvxSimError("control port not reachable");
        }
        if (!sendAll(mControlFd, jsonLine + "\n")) {
            ::close(mControlFd);
            mControlFd = -1;
            continue;
        }
        auto deadline = Clock::now() + std::chrono::seconds(10);
        while (true) {
            auto nl = mControlBuffer.find('\n');
            if (nl != std::string::npos) {
                std::string line = mControlBuffer.substr(0, nl);
                mControlBuffer.erase(0, nl + 1);
                return line;
            }
            pollfd p{mControlFd, POLLIN, 0};
            int left = remainingMs(deadline);
            if (left == 0 || ::poll(&p, 1, left) <= 0)
                throw KvxSimError("control reply timed out");
            char buf[65536];
            ssize_t n = ::recv(mControlFd, buf, sizeof buf, 0);
            if (n <= 0)
                break;
            mControlBuffer.append(buf, static_cast<std::size_t>(n));
        }
        ::close(mControlFd);
        mControlFd = -1;
    }
    throw KvxSimError("control connection lost");
}

KvxSim::Json KvxSim::control(const std::string& jsonLine)
{
    Json reply = Json::parse(controlRaw(jsonLine));
    if (reply["ok"].type != Json::Type::Bool || !reply["ok"].boolean)
        throw KvxSimError("control command failed: " + reply["error"].text + " (" + jsonLine + ")");
    return reply;
}

void KvxSim::setFault(const KvxFault& f)
{
    std::string line = "{\"cmd\":\"set_fault\",\"function\":" + jsonQuote(f.function)
        + ",\"kind\":" + jsonQuote(f.kind) + ",\"delay\":" + mvx::num::general(f.delay)
        + ",\"code\":" + mvx::num::integer(f.code) + ",\"pieces\":" + mvx::num::integer(f.pieces)
        + ",\"gap\":" + mvx::num::general(f.gap) + ",\"count\":" + mvx::num::integer(f.count)
        + ",\"reply\":" + jsonQuote(f.reply);
    if (!f.splitAt.empty()) {
        line += ",\"at\":[";
        for (std::size_t i = 0; i < f.splitAt.size(); ++i)
            line += (i ? "," : "") + mvx::num::integer(f.splitAt[i]);
        line += "]";
    }
    control(line + "}");
}

void KvxSim::clearFaults()
{
    control("{\"cmd\":\"clear_faults\"}");
}

std::vector<KvxRequest> KvxSim::requestLog(std::size_t since)
{
    Json reply = control("{\"cmd\":\"request_log\",\"since\":" + mvx::num::integer(static_cast<long long>(since)) + "}");
    std::vector<KvxRequest> out;
    for (const Json& e : reply["entries"].items)
        out.push_back({static_cast<int>(e["conn"].number), e["time"].number, e["request"].text});
    return out;
}

void KvxSim::clearRequestLog()
{
    control("{\"cmd\":\"clear_request_log\"}");
}

std::vector<KvxFtpCommand> KvxSim::ftpLog(std::size_t since)
{
    return ftpCommands(control("{\"cmd\":\"ftp_log\",\"since\":" + mvx::num::integer(static_cast<long long>(since)) + "}"));
}

std::vector<KvxFtpCommand> KvxSim::takeFtpLog()
{
    return ftpCommands(control("{\"cmd\":\"ftp_log\",\"take\":true}"));
}

std::vector<KvxFtpCommand> KvxSim::ftpCommands(const Json& reply)
{
    std::vector<KvxFtpCommand> out;
    for (const Json& e : reply["entries"].items)
        out.push_back({static_cast<int>(e["session"].number), e["command"].text, e["argument"].text, e["time"].number});
    return out;
}

void KvxSim::clearFtpLog()
{
    control("{\"cmd\":\"clear_ftp_log\"}");
}

void KvxSim::setFtpStoreDelay(double seconds)
{
    control("{\"cmd\":\"set_ftp_store_delay\",\"seconds\":" + mvx::num::general(seconds) + "}");
}

int KvxSim::groupStatus(const std::string& group)
{
    return static_cast<int>(control("{\"cmd\":\"group_status\",\"group\":" + jsonQuote(group) + "}")["status"].number);
}

void KvxSim::setGroupStatus(const std::string& group, int status)
{
    control("{\"cmd\":\"set_group_status\",\"group\":" + jsonQuote(group) + ",\"status\":" + mvx::num::integer(status) + "}");
}

std::vector<double> KvxSim::positions(const std::string& group)
{
    std::vector<double> out;
    Json reply = control("{\"cmd\":\"positions\",\"group\":" + jsonQuote(group) + "}");
    for (const Json& v : reply["positions"].items)
        out.push_back(v.number);
    return out;
}

void KvxSim::setPositions(const std::string& group, const std::vector<double>& values)
{
    std::string list;
    for (std::size_t i = 0; i < values.size(); ++i)
        list += (i ? "," : "") + mvx::num::general(values[i]);
    control("{\"cmd\":\"set_positions\",\"group\":" + jsonQuote(group) + ",\"positions\":[" + list + "]}");
}

std::uint32_t KvxSim::digital(const std::string& port)
{
    return static_cast<std::uint32_t>(control("{\"cmd\":\"digital\",\"name\":" + jsonQuote(port) + "}")["value"].number);
}

void KvxSim::setDigitalInput(const std::string& port, std::uint32_t value)
{
    control("{\"cmd\":\"set_digital_input\",\"name\":" + jsonQuote(port) + ",\"value\":" + mvx::num::integer(value) + "}");
}

double KvxSim::analog(const std::string& channel)
{
    return control("{\"cmd\":\"analog\",\"name\":" + jsonQuote(channel) + "}")["value"].number;
}

void KvxSim::setAnalogInput(const std::string& channel, double value)
{
    control("{\"cmd\":\"set_analog_input\",\"name\":" + jsonQuote(channel) + ",\"value\":" + mvx::num::general(value) + "}");
}

std::vector<std::string> KvxSim::runningTasks()
{
    std::vector<std::string> out;
    Json reply = control("{\"cmd\":\"tasks\"}");
    for (const Json& v : reply["tasks"].items)
        out.push_back(v.text);
    return out;
}

int KvxSim::apiConnectionCount()
{
    return static_cast<int>(control("{\"cmd\":\"connections\"}")["count"].number);
}

bool KvxSim::servicesUp()
{
    return control("{\"cmd\":\"ping\"}")["up"].boolean;
}

std::string KvxSim::readFile(const std::string& relPath)
{
    return base64Decode(control("{\"cmd\":\"read_file\",\"path\":" + jsonQuote(relPath) + "}")["base64"].text);
}

void KvxSim::writeFile(const std::string& relPath, const std::string& content)
{
    control("{\"cmd\":\"write_file\",\"path\":" + jsonQuote(relPath) + ",\"base64\":" + jsonQuote(base64Encode(content)) + "}");
}

bool KvxSim::fileExists(const std::string& relPath)
{
    return control("{\"cmd\":\"exists\",\"path\":" + jsonQuote(relPath) + "}")["exists"].boolean;
}

void KvxSim::reloadConfiguration()
{
    control("{\"cmd\":\"reload\"}");
}

void KvxSim::setRebootSeconds(double seconds)
{
    control("{\"cmd\":\"set_reboot_time\",\"seconds\":" + mvx::num::general(seconds) + "}");
}

void KvxSim::setTimeScale(double scale)
{
    control("{\"cmd\":\"set_time_scale\",\"value\":" + mvx::num::general(scale) + "}");
}

// ----- raw API ---------------------------------------------------------------------------------------

std::string KvxSim::apiCall(const std::string& requestBytes, std::chrono::milliseconds timeout)
{
    auto deadline = Clock::now() + timeout;
    int fd = connectTo(mAddress, kApiPort, timeout);
    if (fd < 0)
        return {};
    std::string reply;
    if (sendAll(fd, requestBytes)) {
        while (reply.find("EndOfAPI") == std::string::npos) {
            pollfd p{fd, POLLIN, 0};
            int left = remainingMs(deadline);
            if (left == 0 || ::poll(&p, 1, left) <= 0)
                break;
            char buf[4096];
            ssize_t n = ::recv(fd, buf, sizeof buf, 0);
            if (n <= 0)
                break;
            reply.append(buf, static_cast<std::size_t>(n));
        }
    }
    ::close(fd);
    return reply;
}

bool KvxSim::waitForApi(std::chrono::milliseconds timeout)
{
    auto deadline = Clock::now() + timeout;
    while (Clock::now() < deadline) {
        int fd = connectTo(mAddress, kApiPort, std::chrono::milliseconds(200));
        if (fd >= 0) {
            ::close(fd);
            return true;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return false;
}

}  // namespace mvx::test
