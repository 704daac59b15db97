#include "reboot.h"

#include "api.h"
#include "apiwire.h"
#include "detect.h"
#include "linktexts.h"
#include "socketpool.h"
#include "telnet.h"
#include "transfer.h"
#include "workers.h"

#include "core/common.h"
#include "core/inifile.h"
#include "linksettings.h"
#include "translator/texts.h"

#include <QElapsedTimer>

#include <algorithm>
#include <cmath>
#include <fstream>
#include <mutex>
#include <sstream>

namespace mvx::link {

namespace {

using texts::Builtin;

constexpr Builtin kRows[] = {
    {"stringrebootKVX", "Reboot KVX"},
    {"stringnosocketreboot", "pas de socket de libre pour le \"reboot\""},
    {"stringerrorreboot", "ERROR REBOOT"},
    {"StringRebootOK", "REBOOT OK"},
    {"stringpbconnectadre", "Impossible de se connecter à cette adresse"},
    {"StringRebootErrorLog", "ERROR : §"},
};

std::string text(const char* key)
{
    registerRebootTexts();
    return texts::get(key);
}

std::function<void()> gStopIoPoll;

constexpr long long kBackWithinMs = 120000;

void showBar(const RebootProgress& bar, bool visible)
{
    if (bar.show) bar.show(visible);
}

void updateBar(const RebootProgress& bar, const QElapsedTimer& clock)
{
    if (bar.set) bar.set(RebootBarPosition(clock.elapsed(), common().RebootDelay));
}

std::string trimBlanks(const std::string& s)
{
    const auto b = s.find_first_not_of(" \t\r\n");
    if (b == std::string::npos) return {};
    return s.substr(b, s.find_last_not_of(" \t\r\n") - b + 1);
}

void showErrorLog()
{
    auto& c = common();
    if (!ChangeControllerDir(c.RemoteLogDir, c.ProgramDir)) return;
    // A log that could not be fetched is not shown: the local copy would be an old one.
    if (!GetFile("Error.log", "Error.log", true)) return;
    std::ifstream in(c.ProgramDir + "Error.log", std::ios::binary);
    if (!in) return;
    std::ostringstream content;
    content << in.rdbuf();
    const std::string message = ErrorLogMessage(content.str());
    if (!message.empty()) showTimedMessage(message, 5000);
}

void storeDelay(double seconds)
{
    common().RebootDelay = seconds;
    if (IniFile* ini = SettingsIni()) LinkSettings::Store(*ini, &LinkSettings::RebootDelay, seconds);
}

void apiButtons(bool open)
{
    if (const auto& f = GetLinkConsole().apiButtons) f(open);
}

}  // namespace

void SetRebootHooks(std::function<void()> stopIoPoll) { gStopIoPoll = std::move(stopIoPoll); }

int RebootBarPosition(long long elapsedMs, double delaySeconds)
{
    // A stored delay of 0 (or a damaged setting) must not divide by zero.
    const double delay = delaySeconds > 0.001 ? delaySeconds : 0.001;
    const double pos = std::round(static_cast<double>(elapsedMs) * 100.0 / 1000.0 / delay);
    return static_cast<int>(std::clamp(pos, 0.0, 100.0));
}

std::string ErrorLogMessage(const std::string& content)
{
    std::vector<std::string> lines;
    std::string line;
    std::istringstream in(content);
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        lines.push_back(line);
    }
    if (lines.empty() || trimBlanks(lines.back()).empty()) return {};
    return text("StringRebootErrorLog") + lines.back();
}

RebootResult RebootController(const RebootProgress& bar)
{
    registerRebootTexts();
    auto& c = common();
    QElapsedTimer clock;
    clock.start();
    const bool transferWasOpen = FileTransferConnected();
    const bool poolWasOpen = SocketsConnected();
    const bool telnetWasOpen = TelnetConnected();

    if (!SocketsConnected()) OpenApiSockets();
    logLine(text("stringrebootKVX"));
    RebootResult result = RebootResult::PoolFailed;
    if (SocketsConnected()) {
        showBar(bar, true);
        c.PositionReadingOn = 0;
        if (gStopIoPoll) gStopIoPoll();
        if (c.TelnetOpen) DisconnectTelnet();
        if (FileTransferConnected()) DisconnectFileTransfer();
        PooledSocket pooled(1.0, PooledSocket::Reply::Take);
        const int connection = pooled.index();
        if (connection < 0) {
            showMessage(text("stringnosocketreboot"));
            showBar(bar, false);
            result = RebootResult::NoSocket;
        } else {
            WaitWithEvents(500);
            api::TCLScriptKill(connection, "BootScript");
            api::TCLScriptKill(connection, "RELANCE");
            WaitWithEvents(500);
            const int rc = api::Reboot(connection);
            TelnetDataReceived() = 0;
            pooled.release();
            if (rc != 0) {
                logLine(ErrorCodeToText(rc));
                showBar(bar, false);
                if (transferWasOpen) ConnectController(false);
                if (telnetWasOpen) ConnectTelnet();
                return RebootResult::Refused;
            }
            CloseApiSockets();
            const int waitMs = connectionState().RebootWaitMs;
            do {
                updateBar(bar, clock);
                WaitWithEvents(500);
            } while (clock.elapsed() < waitMs);
            bool present = false;
            do {
                present = kvx_present(c.ControllerIp, 500);
                updateBar(bar, clock);
                if (!present) WaitWithEvents(500);
            } while (!present && clock.elapsed() < kBackWithinMs);
            if (!present) {
                showBar(bar, false);
                showMessage(text("stringerrorreboot"));
                return RebootResult::NotBack;
            }
            showMessage(text("StringRebootOK"));
            WaitWithEvents(1000);
            if (poolWasOpen) {
                if (OpenApiSockets()) {
                    apiButtons(true);
                } else {
                    showMessage(text("stringpbconnectadre"));
                    logLine(text("stringpbconnectadre"));
                    apiButtons(false);
                }
            }
            if (telnetWasOpen) ConnectTelnet();
            showBar(bar, false);
            result = RebootResult::Rebooted;
        }
    }
    ConnectController(false);
    // Only a reboot that happened says how long the next one takes.
    if (result == RebootResult::Rebooted) storeDelay(static_cast<double>(clock.elapsed()) / 1000.0);
    showErrorLog();
    return result;
}

void registerRebootTexts()
{
    static std::once_flag once;
    std::call_once(once, [] { texts::add(texts::Family::Controller, kRows); });
}

}  // namespace mvx::link
