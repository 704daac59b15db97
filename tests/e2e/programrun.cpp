#include "programrun.h"

#include "support/serverport.h"

#include <QCoreApplication>
#include <QTcpSocket>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

#include <signal.h>
#include <sys/prctl.h>

namespace mvx::test {
namespace fs = std::filesystem;

std::string ProgramPath()
{
    const char* other = std::getenv("MVX_E2E_PROGRAM");
    return other && *other ? other : MVX_PROGRAM_PATH;
}

int FreeTcpPort() { return FreeServerPort(); }

ProgramRun::ProgramRun(const std::string& controllerAddress, std::map<std::string, std::map<std::string, std::string>> settings)
{
    char pattern[] = "/tmp/mvx-e2e-XXXXXX";
    const char* dir = ::mkdtemp(pattern);
    if (!dir) throw std::runtime_error("no temporary folder");
    mFolder = std::string(dir) + "/";
    fs::copy_file(ProgramPath(), mFolder + "movantrix");
    fs::permissions(mFolder + "movantrix", fs::perms::owner_all);
    fs::create_directories(mFolder + "GCODE");
    mPort = FreeTcpPort();
    settings["TCP-IP"]["ADR IP"] = controllerAddress;
    settings["TCP-IP server"]["PORT"] = std::to_string(mPort);
    if (!settings["TCP-IP server"].count("Active")) settings["TCP-IP server"]["Active"] = "0";
    std::ofstream ini(mFolder + "movantrix.INI", std::ios::binary);
    for (const auto& [section, keys] : settings) {
        ini << "[" << section << "]\r\n";
        for (const auto& [k, v] : keys) ini << k << "=" << v << "\r\n";
    }
}

ProgramRun::~ProgramRun()
{
    if (mProcess && mProcess->state() != QProcess::NotRunning) {
        mProcess->kill();
        mProcess->waitForFinished(5000);
    }
    std::error_code ec;
    if (!std::getenv("MVX_E2E_KEEP")) fs::remove_all(mFolder, ec);
}

void ProgramRun::writeGCode(const std::string& name, const std::string& text)
{
    std::ofstream(mFolder + "GCODE/" + name, std::ios::binary) << text;
}

std::string ProgramRun::readFile(const std::string& relPath) const
{
    std::ifstream in(mFolder + relPath, std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

void ProgramRun::start(const std::vector<std::string>& args)
{
    mProcess = std::make_unique<QProcess>();
    mProcess->setProcessChannelMode(QProcess::MergedChannels);
    mProcess->setWorkingDirectory(QString::fromStdString(mFolder));
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("QT_QPA_PLATFORM", "offscreen");
    mProcess->setProcessEnvironment(env);
    // The program never outlives the test, even when the test process dies.
    mProcess->setChildProcessModifier([] { ::prctl(PR_SET_PDEATHSIG, SIGKILL); });
    QStringList a;
    for (const std::string& s : args) a << QString::fromStdString(s);
    mProcess->start(QString::fromStdString(mFolder + "movantrix"), a);
    mProcess->waitForStarted(5000);
}

bool ProgramRun::waitForExit(std::chrono::milliseconds timeout)
{
    if (!mProcess) return true;
    const bool ended = mProcess->waitForFinished(static_cast<int>(timeout.count()));
    output();
    if (!ended) {
        mProcess->kill();
        mProcess->waitForFinished(5000);
    }
    return ended;
}

void ProgramRun::stop()
{
    if (!mProcess || mProcess->state() == QProcess::NotRunning) return;
    mProcess->kill();
    mProcess->waitForFinished(5000);
    output();
}

int ProgramRun::exitCode() const { return mProcess ? mProcess->exitCode() : -1; }

std::string ProgramRun::output() const
{
    if (mProcess) mOutput += mProcess->readAll().toStdString();
    return mOutput;
}

bool ProgramRun::waitForOutput(const std::string& text, std::chrono::milliseconds timeout, int times)
{
    const auto seen = [&] {
        const std::string all = output();
        int n = 0;
        for (std::size_t p = all.find(text); p != std::string::npos; p = all.find(text, p + 1)) ++n;
        return n >= times;
    };
    const auto end = std::chrono::steady_clock::now() + timeout;
    while (!seen()) {
        if (!mProcess || std::chrono::steady_clock::now() >= end) return false;
        if (mProcess->state() == QProcess::NotRunning) return seen();
        mProcess->waitForReadyRead(50);
    }
    return true;
}

std::string ProgramRun::remote(const std::string& command, std::chrono::milliseconds timeout)
{
    QTcpSocket s;
    s.connectToHost(QHostAddress::LocalHost, static_cast<quint16>(mPort));
    if (!s.waitForConnected(2000)) return {};
    s.write(command.data(), static_cast<qint64>(command.size()));
    s.flush();
    std::string reply;
    const auto end = std::chrono::steady_clock::now() + timeout;
    while (std::chrono::steady_clock::now() < end) {
        if (s.waitForReadyRead(100)) reply += s.readAll().toStdString();
        else if (!reply.empty()) break;
        if (s.state() != QAbstractSocket::ConnectedState) break;
        output();
    }
    return reply;
}

bool ProgramRun::waitForServer(std::chrono::milliseconds timeout)
{
    const auto end = std::chrono::steady_clock::now() + timeout;
    while (std::chrono::steady_clock::now() < end) {
        QTcpSocket s;
        s.connectToHost(QHostAddress::LocalHost, static_cast<quint16>(mPort));
        if (s.waitForConnected(200)) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        if (mProcess && mProcess->state() == QProcess::NotRunning) return false;
    }
    return false;
}

}  // namespace mvx::test
