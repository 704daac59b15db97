#pragma once
// Remote-control server: another program drives the job road over TCP with one-word commands
// (READ, DRAW, CREATE, EXECUTE, VERIFY, MODE, INIT, EXTEND, REDUCE, SHOW, HIDE, 3D, STOP), each
// answered with exactly one reply text without a line end.
//
// A command is the first word of the text, case ignored. A text ends at a line end, or, without
// one, when nothing more arrived for a moment (a client that sends bare chunks).
//
// Thread: GUI thread only. Commands never run inside the socket's read handler: they are queued
// and run one after the other from the event loop. STOP is not queued behind a running command:
// it runs at once, so a STOP that arrives while EXECUTE or DRAW waits for its job ends that job.

#include <QHostAddress>
#include <QObject>
#include <QPointer>

#include <deque>
#include <string>
#include <string_view>

class QTcpServer;
class QTcpSocket;
class QTimer;

namespace mvx {

class IniFile;
class JobControl;

class RemoteServer : public QObject {
    Q_OBJECT
public:
    static constexpr quint16 kDefaultPort = 8000;
    // Longest text taken as one command; a longer one is refused without being run.
    static constexpr std::size_t kMaxCommandLength = 1024;
    // Longest file name after READ or DRAW.
    static constexpr std::size_t kMaxFileNameLength = 255;
    // Commands waiting behind a running one; more are refused without being run.
    static constexpr std::size_t kMaxPending = 256;

    explicit RemoteServer(JobControl& job, QObject* parent = nullptr);
    ~RemoteServer() override;

    // Listens on `port` of `address` (loopback unless the caller says otherwise). False, with
    // status "Server error", when the port cannot be bound.
    bool activate(quint16 port, const QHostAddress& address = QHostAddress::LocalHost);
    // Stops listening and closes every client.
    void deactivate();
    bool isActive() const;
    quint16 serverPort() const;
    // Peer address of the last accepted client.
    const QString& lastPeer() const noexcept { return mLastPeer; }

    // Settings: "TCP-IP server"/"PORT" (default 8000) and "Active" (default true).
    static quint16 PortFromSettings(const IniFile* ini);
    static bool ActiveFromSettings(const IniFile* ini);
    // Menu "Serveur TCP-IP": (de)activates on the port of the settings and writes "Active".
    void setActiveFromMenu(bool on, IniFile* ini);
    // Menu "Server port": asks a port; an integer 1..65535 is written to "TCP-IP SERVER"/"PORT"
    // and used from the next activation. True when stored.
    static bool AskPort(IniFile* ini);

    // The reply to one command text; runs the job operation. Public for the window's own use
    // (and tests); the network path calls it from the event loop only.
    std::string runCommand(std::string_view text);

    // The pieces of a command text, without running anything.
    enum class Word { None, Init, Extend, Reduce, Show, Hide, Read, Draw, Create, Execute, Verify, Mode, Show3D, Stop };
    struct Parsed {
        Word word = Word::None;
        std::string upper;     // the whole text upper-cased, line ends and outer blanks removed
        std::string argument;  // the text after the word (as received, outer blanks removed)
    };
    static Parsed Parse(std::string_view text);
    static const char* WordText(Word w);
    // A file name of READ or DRAW as the job takes it: blanks and line ends removed,
    // upper-cased; empty when refused (empty, too long, a folder part, "..", control bytes).
    static std::string CheckedFileName(std::string_view argument);

private:
    struct Pending {
        QPointer<QTcpSocket> client;
        std::string text;
    };
    void onNewConnection();
    void onReadyRead(QTcpSocket* client);
    void takeCommands(QTcpSocket* client, bool flushPartial);
    void enqueue(QTcpSocket* client, std::string text);
    void processQueue();
    void runNow(Pending p);
    void reply(const QPointer<QTcpSocket>& client, const std::string& text);
    void status(const std::string& text);

    JobControl& mJob;
    QTcpServer* mServer = nullptr;
    QString mLastPeer;
    std::deque<Pending> mQueue;
    bool mBusy = false;
};

}  // namespace mvx
