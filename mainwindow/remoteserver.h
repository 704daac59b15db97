#pragma once
// Remote-control server: another program drives the job road over TCP with one-word commands
// (READ, DRAW, CREATE, EXECUTE, VERIFY, MODE, INIT, EXTEND, REDUCE, SHOW, HIDE, 3D, STOP), each
// answered with exactly one reply text without a line end.
//
// A command is the first word of the text, case ignored. A text ends at a line end, or, without
// one, when nothing more arrived for a moment (a client that sends bare chunks).
//
// It is an interface for another program: it listens on every interface of the machine.
//
// Thread: GUI thread only. Commands never run inside the socket's read handler (the socket would
// not report more data until it returned): the texts that arrived together are handed to the
// event loop and run there one after the other. A command is taken as soon as it arrives, also
// while an earlier one (EXECUTE, DRAW) waits for its job: the window refuses a second job step
// at once, and answers the others (HELLO, 3D, STOP) at once. Texts that arrived together behind
// a waiting command wait for it, at most kMaxPending of them. STOP texts that arrived together
// are one stop: one kill for all of them, each answered.

#include <QHostAddress>
#include <QObject>
#include <QPointer>

#include <string>
#include <string_view>
#include <vector>

class QTcpServer;
class QTcpSocket;
class QTimer;

namespace mvx {

class JobControl;

class RemoteServer : public QObject {
    Q_OBJECT
public:
    static constexpr quint16 kDefaultPort = 8000;
    // Longest text taken as one command; a longer one is refused without being run.
    static constexpr std::size_t kMaxCommandLength = 1024;
    // Longest file name after READ or DRAW.
    static constexpr std::size_t kMaxFileNameLength = 255;
    // Texts of one arrival waiting behind a running one; more are refused without being run.
    static constexpr std::size_t kMaxPending = 256;

    explicit RemoteServer(JobControl& job, QObject* parent = nullptr);
    ~RemoteServer() override;

    // Listens on `port` of `address` (every interface unless the caller says otherwise). False,
    // with status "Server error", when the port cannot be bound.
    bool activate(quint16 port, const QHostAddress& address = QHostAddress::Any);
    // Stops listening and closes every client.
    void deactivate();
    bool isActive() const;
    quint16 serverPort() const;
    QHostAddress serverAddress() const;
    // Peer address of the last accepted client.
    const QString& lastPeer() const noexcept { return mLastPeer; }

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
    void onNewConnection();
    void onReadyRead(QTcpSocket* client);
    void takeCommands(QTcpSocket* client, bool flushPartial);
    // Runs the texts of one arrival in order (from the event loop).
    void runArrival(const QPointer<QTcpSocket>& client, std::vector<std::string> texts);
    void reply(const QPointer<QTcpSocket>& client, const std::string& text);
    void status(const std::string& text);

    JobControl& mJob;
    QTcpServer* mServer = nullptr;
    QString mLastPeer;
};

}  // namespace mvx
