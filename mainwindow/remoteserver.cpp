#include "remoteserver.h"

#include "jobcontrol.h"

#include "translator/numtext.h"
#include "core/guard.h"

#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>

#include <algorithm>
#include <cctype>

namespace mvx {

namespace {

// A text without a line end is taken as complete when nothing more arrived for this long.
constexpr int kChunkQuietMs = 40;

// Per-client input: the bytes not yet taken as a command, and the quiet timer.
class ClientInput : public QObject {
public:
    explicit ClientInput(QTcpSocket* socket) : QObject(socket)
    {
        setObjectName("RemoteClientInput");
        quiet.setSingleShot(true);
        quiet.setInterval(kChunkQuietMs);
    }
    QByteArray buffer;
    bool discarding = false;  // the rest of an over-long text is dropped up to its line end
    QTimer quiet;
};

ClientInput* inputOf(QTcpSocket* socket) { return socket->findChild<ClientInput*>("RemoteClientInput"); }

std::string upper(std::string_view s)
{
    std::string out(s);
    for (char& c : out) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return out;
}

std::string_view trimmed(std::string_view s)
{
    const auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; };
    while (!s.empty() && blank(s.front())) s.remove_prefix(1);
    while (!s.empty() && blank(s.back())) s.remove_suffix(1);
    return s;
}

struct WordRow {
    const char* text;
    RemoteServer::Word word;
};
constexpr WordRow kWords[] = {
    {"INIT", RemoteServer::Word::Init},       {"EXTEND", RemoteServer::Word::Extend},
    {"REDUCE", RemoteServer::Word::Reduce},   {"SHOW", RemoteServer::Word::Show},
    {"HIDE", RemoteServer::Word::Hide},       {"READ", RemoteServer::Word::Read},
    {"DRAW", RemoteServer::Word::Draw},       {"CREATE", RemoteServer::Word::Create},
    {"EXECUTE", RemoteServer::Word::Execute}, {"VERIFY", RemoteServer::Word::Verify},
    {"MODE", RemoteServer::Word::Mode},       {"3D", RemoteServer::Word::Show3D},
    {"STOP", RemoteServer::Word::Stop},
};

}  // namespace

RemoteServer::RemoteServer(JobControl& job, QObject* parent) : QObject(parent), mJob(job)
{
    mServer = new QTcpServer(this);
    connect(mServer, &QTcpServer::newConnection, this, [this] { Guarded("remote control", [this] { onNewConnection(); }); });
    connect(mServer, &QTcpServer::acceptError, this, [this](QAbstractSocket::SocketError) { status("Server error"); });
}

RemoteServer::~RemoteServer() = default;

bool RemoteServer::activate(quint16 port, const QHostAddress& address)
{
    if (mServer->isListening()) {
        if (mServer->serverPort() == port && mServer->serverAddress() == address) return true;
        mServer->close();
    }
    if (!mServer->listen(address, port)) {
        status("Server error");
        return false;
    }
    return true;
}

void RemoteServer::deactivate()
{
    mServer->close();
    for (QTcpSocket* client : findChildren<QTcpSocket*>()) client->disconnectFromHost();
}

bool RemoteServer::isActive() const { return mServer->isListening(); }

quint16 RemoteServer::serverPort() const { return mServer->serverPort(); }

QHostAddress RemoteServer::serverAddress() const { return mServer->serverAddress(); }

void RemoteServer::onNewConnection()
{
    while (QTcpSocket* client = mServer->nextPendingConnection()) {
        client->setParent(this);
        auto* input = new ClientInput(client);
        // A client on IPv4 reaches the dual-stack listener as a mapped address: shown as IPv4.
        QHostAddress peer = client->peerAddress();
        bool v4 = false;
        const quint32 address = peer.toIPv4Address(&v4);
        if (v4) peer = QHostAddress(address);
        mLastPeer = peer.toString();
        status("Connected to " + mLastPeer.toStdString());
        connect(client, &QTcpSocket::readyRead, this,
                [this, client] { Guarded("remote control", [&] { onReadyRead(client); }); });
        connect(&input->quiet, &QTimer::timeout, this,
                [this, client] { Guarded("remote control", [&] { takeCommands(client, true); }); });
        connect(client, &QTcpSocket::disconnected, this, [this, client] {
            status("Disconnected");
            client->deleteLater();
        });
        connect(client, &QTcpSocket::errorOccurred, this, [this](QAbstractSocket::SocketError e) {
            if (e != QAbstractSocket::RemoteHostClosedError) status("Server error");
        });
        if (client->bytesAvailable() > 0) onReadyRead(client);
    }
}

void RemoteServer::onReadyRead(QTcpSocket* client)
{
    ClientInput* input = inputOf(client);
    if (!input) return;
    input->buffer += client->readAll();
    takeCommands(client, false);
    if (!input->buffer.isEmpty() || input->discarding) input->quiet.start();
    else input->quiet.stop();
}

void RemoteServer::takeCommands(QTcpSocket* client, bool flushPartial)
{
    ClientInput* input = inputOf(client);
    if (!input) return;
    QByteArray& buf = input->buffer;
    std::vector<std::string> texts;
    for (;;) {
        qsizetype end = -1;
        for (qsizetype i = 0; i < buf.size(); ++i)
            if (buf[i] == '\n' || buf[i] == '\r') {
                end = i;
                break;
            }
        if (end < 0) break;
        std::string line(buf.constData(), static_cast<std::size_t>(end));
        qsizetype next = end + 1;
        if (buf[end] == '\r' && next < buf.size() && buf[next] == '\n') ++next;
        buf.remove(0, next);
        if (input->discarding) {
            input->discarding = false;  // end of an over-long text already answered
            continue;
        }
        if (!trimmed(line).empty()) texts.push_back(std::move(line));
    }
    if (static_cast<std::size_t>(buf.size()) > kMaxCommandLength) {
        // Answered once (refused), the rest up to the next line end is dropped.
        if (!input->discarding) texts.emplace_back(buf.constData(), kMaxCommandLength + 1);
        input->discarding = true;
        buf.clear();
    }
    if (flushPartial) {
        // The chunk has ended: what is left is one command (or the tail of a refused one).
        std::string text(buf.constData(), static_cast<std::size_t>(buf.size()));
        buf.clear();
        if (input->discarding) input->discarding = false;
        else if (!trimmed(text).empty()) texts.push_back(std::move(text));
    }
    if (texts.empty()) return;

    // Beyond the bound a text is refused at once; a STOP never is (it costs nothing to join).
    std::vector<std::string> kept;
    kept.reserve(std::min(texts.size(), kMaxPending));
    for (std::string& t : texts) {
        const Parsed parsed = Parse(t);
        if (kept.size() < kMaxPending || parsed.word == Word::Stop) {
            kept.push_back(std::move(t));
            continue;
        }
        reply(QPointer<QTcpSocket>(client),
              parsed.word == Word::None ? std::string("NOT DONE") : std::string(WordText(parsed.word)) + " FAILED");
    }
    QPointer<QTcpSocket> who(client);
    QTimer::singleShot(0, this, [this, who, kept = std::move(kept)]() mutable {
        Guarded("remote control", [&] { runArrival(who, std::move(kept)); });
    });
}

void RemoteServer::runArrival(const QPointer<QTcpSocket>& client, std::vector<std::string> texts)
{
    QPointer<RemoteServer> self(this);
    for (std::size_t i = 0; i < texts.size() && self;) {
        // STOP texts that follow each other are one stop: their senders asked for the same thing.
        std::size_t n = 1;
        if (Parse(texts[i]).word == Word::Stop)
            while (i + n < texts.size() && Parse(texts[i + n]).word == Word::Stop) ++n;
        std::string answer;
        try {
            answer = runCommand(texts[i]);
        } catch (...) {
            const Parsed p = Parse(texts[i]);
            answer = p.word == Word::None ? std::string("NOT DONE") : std::string(WordText(p.word)) + " FAILED";
        }
        // A command may wait with events dispatched; the window may have closed meanwhile.
        if (!self) return;
        for (std::size_t k = 0; k < n; ++k) reply(client, answer);
        i += n;
    }
}

void RemoteServer::reply(const QPointer<QTcpSocket>& client, const std::string& text)
{
    if (!client || client->state() != QAbstractSocket::ConnectedState) return;
    client->write(text.data(), static_cast<qint64>(text.size()));
    client->flush();
}

void RemoteServer::status(const std::string& text)
{
    Guarded("remote control", [&] { mJob.JobStatusText(text); });
}

RemoteServer::Parsed RemoteServer::Parse(std::string_view text)
{
    Parsed p;
    const std::string_view t = trimmed(text);
    p.upper = upper(t);
    std::size_t n = 0;
    while (n < t.size() && t[n] != ' ' && t[n] != '\t') ++n;
    const std::string first = upper(t.substr(0, n));
    for (const WordRow& row : kWords)
        if (first == row.text) {
            p.word = row.word;
            p.argument = std::string(trimmed(t.substr(n)));
            break;
        }
    return p;
}

const char* RemoteServer::WordText(Word w)
{
    for (const WordRow& row : kWords)
        if (row.word == w) return row.text;
    return "";
}

std::string RemoteServer::CheckedFileName(std::string_view argument)
{
    std::string name;
    for (char c : argument)
        if (c != ' ' && c != '\r' && c != '\n') name += c;
    if (name.empty() || name.size() > kMaxFileNameLength) return {};
    for (char c : name) {
        const auto u = static_cast<unsigned char>(c);
        if (c == '/' || c == '\\' || c == ':' || u < 0x20 || u == 0x7F) return {};
    }
    if (name.find("..") != std::string::npos) return {};
    return upper(name);
}

std::string RemoteServer::runCommand(std::string_view text)
{
    const Parsed p = Parse(text);
    if (text.size() > kMaxCommandLength) {
        // Refused without running: the word's failure when it is one, else a bare refusal.
        return p.word == Word::None ? std::string("NOT DONE") : std::string(WordText(p.word)) + " FAILED";
    }
    if (p.word == Word::None) return p.upper + " NOT DONE";
    bool ok = false;
    switch (p.word) {
    case Word::Init: ok = mJob.JobInit(); break;
    case Word::Extend: ok = mJob.JobExtend(); break;
    case Word::Reduce: ok = mJob.JobReduce(); break;
    case Word::Show: ok = mJob.JobShow(); break;
    case Word::Hide: ok = mJob.JobHide(); break;
    case Word::Read:
    case Word::Draw: {
        const std::string name = CheckedFileName(p.argument);
        if (!name.empty()) ok = p.word == Word::Read ? mJob.JobRead(name) : mJob.JobDraw(name);
        break;
    }
    case Word::Create: ok = mJob.JobCreate(); break;
    case Word::Execute: ok = mJob.JobExecute(); break;
    case Word::Verify: ok = mJob.JobVerify(); break;
    case Word::Mode: {
        const std::optional<long long> mode = num::parseIntStrict(p.argument);
        if (mode && *mode >= 1 && *mode <= 3) ok = mJob.JobMode(static_cast<int>(*mode));
        break;
    }
    case Word::Show3D: ok = mJob.JobShow3D(); break;
    case Word::Stop: ok = mJob.JobStop(); break;
    case Word::None: break;
    }
    return std::string(WordText(p.word)) + (ok ? " DONE" : " FAILED");
}

}  // namespace mvx
