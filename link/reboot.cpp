#include "reboot.h"

#include "controller.h"

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

void showErrorLog(Controller& link)
{
    auto& c = common();
    if (!link.changeDir(c.RemoteLogDir, c.ProgramDir)) return;
    // A log that could not be fetched is not shown: the local copy would be an old one.
    if (!link.getFile("Error.log", "Error.log", true)) return;
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

void apiButtons(Controller& link, bool open)
{
    if (const auto& f = link.linkConsole().apiButtons) f(open);
}

}  // namespace


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

RebootResult Controller::reboot(const RebootProgress& bar)
{
    registerRebootTexts();
    auto& c = common();
    QElapsedTimer clock;
    clock.start();
    const bool transferWasOpen = transferConnected();
    const bool poolWasOpen = poolOpen();
    const bool telnetWasOpen = telnetConnected();

    if (!poolOpen()) openPool();
    log(text("stringrebootKVX"));
    RebootResult result = RebootResult::PoolFailed;
    if (poolOpen()) {
        showBar(bar, true);
        c.PositionReadingOn = 0;
        if (auto stopIoPoll = this->stopIoPoll()) stopIoPoll();
        if (c.TelnetOpen) disconnectTelnet();
        if (transferConnected()) disconnectTransfer();
        PooledSocket pooled(*this, 1.0, PooledSocket::Reply::Take);
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
            telnetDataReceived() = 0;
            pooled.release();
            if (rc != 0) {
                log(errorText(rc));
                showBar(bar, false);
                if (transferWasOpen) connectTransfer(false);
                if (telnetWasOpen) connectTelnet();
                return RebootResult::Refused;
            }
            closePool();
            const int waitMs = this->connection().RebootWaitMs;
            do {
                updateBar(bar, clock);
                WaitWithEvents(500);
            } while (clock.elapsed() < waitMs);
            bool present = false;
            do {
                present = this->present(c.ControllerIp, 500);
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
                if (openPool()) {
                    apiButtons(*this, true);
                } else {
                    showMessage(text("stringpbconnectadre"));
                    log(text("stringpbconnectadre"));
                    apiButtons(*this, false);
                }
            }
            if (telnetWasOpen) connectTelnet();
            showBar(bar, false);
            result = RebootResult::Rebooted;
        }
    }
    connectTransfer(false);
    // Only a reboot that happened says how long the next one takes.
    if (result == RebootResult::Rebooted) storeDelay(static_cast<double>(clock.elapsed()) / 1000.0);
    showErrorLog(*this);
    return result;
}

void registerRebootTexts()
{
    static std::once_flag once;
    std::call_once(once, [] { texts::add(texts::Family::Controller, kRows); });
}

}  // namespace mvx::link
