#pragma once
// The telnet session on the controller (port 23, libtelnet over a POSIX socket). The TCL
// editor's telnet pane shows what arrives and types into it; the reboot only needs to know
// whether the session is open and to clear TelnetDataReceived.
//
// Connect, disconnect and send run on the GUI thread; a reader thread feeds the received bytes
// to the data handler (on that reader thread: the pane posts them to its own thread).

#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

namespace mvx::link {

class TelnetClient {
public:
    using DataHandler = std::function<void(const std::string& bytes)>;

    TelnetClient();
    ~TelnetClient();
    TelnetClient(const TelnetClient&) = delete;
    TelnetClient& operator=(const TelnetClient&) = delete;

    // TCP connection within `timeoutMs`, then the telnet layer starts reading.
    bool open(const std::string& host, int port, int timeoutMs);
    void close();
    bool isOpen() const { return mOpen.load(); }
    // Set whenever data arrives; the reboot clears it.
    std::atomic<int>& dataReceived() { return mDataReceived; }
    // Sends text through the telnet layer (IAC bytes are escaped). False when not open.
    bool send(const std::string& text);
    // Handler for received data (telnet negotiation removed). Set before open().
    void setDataHandler(DataHandler handler);

private:
    struct Impl;
    void readLoop();
    std::unique_ptr<Impl> mImpl;
    std::mutex mMutex;  // guards the telnet state and the socket writes
    std::thread mReader;
    std::atomic<bool> mOpen{false};
    std::atomic<bool> mStop{false};
    std::atomic<int> mDataReceived{0};
    DataHandler mHandler;
};

// A controller holds one session (Controller::telnet, connectTelnet, disconnectTelnet,
// telnetConnected, telnetDataReceived).

void registerTelnetTexts();

}  // namespace mvx::link
