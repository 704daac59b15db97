#pragma once
// Test fixture for the KVX controller simulator (sim/kvxsim): starts it on a free loopback
// address 127.0.0.N with a temporary controller folder tree, talks to its control interface,
// and stops it again. POSIX sockets only, so any test binary can use it.

#include <chrono>
#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

namespace mvx::test {

// Options of one simulator run.
struct KvxSimOptions {
    std::string model = "Q";          // "C", "Q", "D", "RL" or "RLD"
    std::string firmware{};             // empty: the model's own version text
    std::string loginFolder = "/";    // FTP folder after login: "/" or "/Admin"
    double timeScale = 0.01;          // real seconds per simulated second
    double rebootSeconds = 0.5;       // time the services stay down on Reboot
    std::vector<std::string> extraArgs{};
    // SSH host key file; empty: one key shared by every simulator of this test process, so a
    // program folder that remembers controller keys sees the same key at every address.
    std::string hostKeyFile{};
    // Files laid into the root before the start (path relative to the root -> content), e.g. a
    // "Config/system.ini" of its own; missing default files are still created.
    std::map<std::string, std::string> files{};
    // Folder in which the controller's root folder is made (a bench puts the controller's disk
    // in memory, so the figure is not the simulator's file system).
    std::string rootParent = "/tmp";
    std::chrono::milliseconds startTimeout{10000};
};

// One injected fault. Kinds: "delay" (wait, then handle), "late" (handle, wait, then reply),
// "noreply" (swallow the request), "split" (reply in pieces), "error" (reply with `code` only),
// "close" (close the connection), "reply" (send `reply` as it stands).
struct KvxFault {
    std::string function{};             // function name, or "*" for every function
    std::string kind{};
    double delay = 0.0;               // seconds, for "delay" and "late"
    int code = -100;                  // for "error"
    int pieces = 2;                   // for "split" without explicit cut points
    std::vector<int> splitAt{};         // byte offsets for "split"
    double gap = 0.05;                // seconds between pieces for "split"
    int count = -1;                   // how many requests it applies to; -1 for all
    std::string reply{};                // for "reply"
};

// One request as the simulator's API port received it.
struct KvxRequest {
    int connection = 0;               // connection id, in accept order
    double time = 0.0;                // seconds since the simulator started
    std::string text{};                 // raw bytes, line end included when there was one
};

// One command as the simulator's FTP port received it (the password left out).
struct KvxFtpCommand {
    int session = 0;                  // FTP session, in connection order
    std::string command{};              // "STOR", "LIST", ...
    std::string argument{};
    double time = 0.0;                // seconds, on the clock of the request log
};

class KvxSimError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Starts the simulator in its constructor (throws KvxSimError when it cannot) and stops it in its
// destructor. The simulator also stops by itself when the thread that created this object ends or
// the test process dies, so no simulator outlives its test.
class KvxSim {
public:
    static constexpr int kApiPort = 5001;
    static constexpr int kControlPort = 5099;

    explicit KvxSim(KvxSimOptions options = {});
    ~KvxSim();
    KvxSim(const KvxSim&) = delete;
    KvxSim& operator=(const KvxSim&) = delete;

    const std::string& address() const { return mAddress; }
    const std::string& rootDir() const { return mRoot; }
    const KvxSimOptions& options() const { return mOptions; }

    // Raw control exchange: one JSON object in, the JSON reply line out (no checks).
    std::string controlRaw(const std::string& jsonLine);

    // Faults and the request log.
    void setFault(const KvxFault& fault);
    void clearFaults();
    std::vector<KvxRequest> requestLog(std::size_t since = 0);
    void clearRequestLog();
    // The FTP port's commands, and a wait before the FTP server takes up each upload (STOR).
    std::vector<KvxFtpCommand> ftpLog(std::size_t since = 0);
    // The commands logged so far, removed from the log (a long series stays within its limit).
    std::vector<KvxFtpCommand> takeFtpLog();
    void clearFtpLog();
    void setFtpStoreDelay(double seconds);

    // Controller state.
    int groupStatus(const std::string& group);
    void setGroupStatus(const std::string& group, int status);
    std::vector<double> positions(const std::string& group);
    void setPositions(const std::string& group, const std::vector<double>& values);
    std::uint32_t digital(const std::string& port);          // an input or an output port
    void setDigitalInput(const std::string& port, std::uint32_t value);
    double analog(const std::string& channel);                // an ADC or a DAC channel
    void setAnalogInput(const std::string& channel, double value);
    std::vector<std::string> runningTasks();
    int apiConnectionCount();
    bool servicesUp();

    // Files of the controller, paths relative to the root ("Public/Scripts/a.tcl").
    std::string readFile(const std::string& relPath);
    void writeFile(const std::string& relPath, const std::string& content);
    bool fileExists(const std::string& relPath);

    // Reads Config/system.ini and Config/stages.ini again and resets the controller's state, as
    // after a reboot but without dropping any connection.
    void reloadConfiguration();

    void setRebootSeconds(double seconds);
    void setTimeScale(double scale);

    // Opens a connection to the API port, sends the bytes as they are, reads until "EndOfAPI"
    // (or the time-out, or the peer closing) and returns what arrived.
    std::string apiCall(const std::string& requestBytes,
                        std::chrono::milliseconds timeout = std::chrono::milliseconds(10000));

    // Waits until the API port accepts connections again (after a reboot).
    bool waitForApi(std::chrono::milliseconds timeout);

private:
    struct Json;
    Json control(const std::string& jsonLine);
    static std::vector<KvxFtpCommand> ftpCommands(const Json& reply);
    void start();
    void stop();

    KvxSimOptions mOptions;
    std::string mAddress;
    std::string mRoot;
    int mPid = -1;
    int mStdin = -1;
    int mStdout = -1;
    int mControlFd = -1;
    std::string mControlBuffer;
};

// Path of the simulator's entry script.
std::string kvxsimPath();

// Escapes a text as a JSON string literal, quotes included.
std::string jsonQuote(const std::string& text);

}  // namespace mvx::test
