#include "startupconnect.h"

#include "api.h"
#include "controller.h"
#include "apitable.h"
#include "apiwire.h"
#include "detect.h"
#include "linktexts.h"
#include "socketpool.h"
#include "transfer.h"

#include "core/common.h"
#include "core/inifile.h"
#include "linksettings.h"
#include "translator/numtext.h"
#include "translator/texts.h"

#include <QNetworkInterface>

#include <cstdio>
#include <fstream>
#include <sstream>

namespace mvx::link {

namespace {

std::string text(const char* key) { return texts::get(key); }

std::string removeBlanks(const std::string& s)
{
    std::string out;
    for (char c : s)
        if (c != ' ') out += c;
    return out;
}


// The PC's first network interface that has a physical address (the loopback has none).
std::string pcMacText()
{
    const auto all = QNetworkInterface::allInterfaces();
    for (int i = 0; i < all.size(); ++i)
        if (!(all[i].flags() & QNetworkInterface::IsLoopBack) && !all[i].hardwareAddress().isEmpty())
            return LocalMacAddress(i);
    return "00-00-00-00-00-00";
}

void notice(const std::string& address)
{
    showNotice(text("stringtrytoconnectto") + " " + address);
    WaitWithEvents(200);
}

void quietNote(const std::string& why)
{
    std::fprintf(stderr, "%s (%s)\n", text("StringQuietSimulation").c_str(), why.c_str());
}

void transferButtons(const LinkConsole& console, bool connected)
{
    if (console.transferButtons) console.transferButtons(connected);
}

void apiButtons(const LinkConsole& console, bool open)
{
    if (console.apiButtons) console.apiButtons(open);
}

}  // namespace


std::string FormatMacAddress(const unsigned char b[6])
{
    static const char* hex = "0123456789abcdef";
    std::string out;
    for (int i = 0; i < 6; ++i) {
        if (i) out += '-';
        out += hex[b[i] >> 4];
        out += hex[b[i] & 15];
    }
    return out;
}

std::string LocalMacAddress(int index)
{
    const auto all = QNetworkInterface::allInterfaces();
    if (index < 0 || index >= all.size()) return "00-00-00-00-00-00";
    QString hw = all[index].hardwareAddress();
    if (hw.isEmpty()) return "00-00-00-00-00-00";
    return hw.replace(':', '-').toUpper().toStdString();
}

std::uint32_t IpTextToAddress(const std::string& dotted)
{
    const std::string s = removeBlanks(dotted);
    std::uint32_t out = 0;
    std::size_t start = 0;
    for (int i = 0; i < 4; ++i) {
        std::size_t end = s.find('.', start);
        if (i == 3) end = s.size();
        if (end == std::string::npos) return 0;
        const auto v = num::parseIntStrict(s.substr(start, end - start));
        if (!v || *v < 0 || *v > 255) return 0;
        out |= static_cast<std::uint32_t>(*v) << (8 * i);
        start = end + 1;
    }
    return out;
}

bool MacForIpAddressIn(const std::string& arpTable, const std::string& address, unsigned char mac[6])
{
    const std::uint32_t wanted = IpTextToAddress(address);
    if (wanted == 0) return false;
    std::istringstream in(arpTable);
    std::string line;
    std::getline(in, line);  // header
    while (std::getline(in, line)) {
        std::istringstream fields(line);
        std::string ip, hwType, flags, hw;
        if (!(fields >> ip >> hwType >> flags >> hw)) continue;
        if (IpTextToAddress(ip) != wanted) continue;
        unsigned char bytes[6] = {0};
        bool ok = hw.size() == 17;
        bool nonZero = false;
        for (int i = 0; ok && i < 6; ++i) {
            auto hex = [](char c) -> int {
                if (c >= '0' && c <= '9') return c - '0';
                if (c >= 'a' && c <= 'f') return c - 'a' + 10;
                if (c >= 'A' && c <= 'F') return c - 'A' + 10;
                return -1;
            };
            const int hi = hex(hw[i * 3]), lo = hex(hw[i * 3 + 1]);
            if (hi < 0 || lo < 0 || (i < 5 && hw[i * 3 + 2] != ':')) ok = false;
            else bytes[i] = static_cast<unsigned char>(hi * 16 + lo);
            if (bytes[i]) nonZero = true;
        }
        // A row without a physical address (incomplete entry) is no answer.
        if (!ok || !nonZero) continue;
        for (int i = 0; i < 6; ++i) mac[i] = bytes[i];
        return true;
    }
    return false;
}

bool MacForIpAddress(const std::string& address, unsigned char mac[6])
{
    std::ifstream in("/proc/net/arp");
    if (!in) return false;
    std::ostringstream s;
    s << in.rdbuf();
    return MacForIpAddressIn(s.str(), address, mac);
}

std::string AnalogConnectorFromList(const std::string& list)
{
    const auto at = list.find(".ADC1");
    if (at == std::string::npos || at == 0) return {};
    std::size_t start = at;
    while (start > 0 && list[start - 1] != ';' && list[start - 1] != ',' && list[start - 1] != ' ') --start;
    return list.substr(start, at - start);
}

void FindAnalogInputConnector(Controller& controller)
{
    std::string list;
    int rc = -2;
    {
        const PooledSocket connection(controller, 1.0);
        if (!connection) return;
        try {
            rc = api::ObjectsListGet(connection.index(), list);
        } catch (...) {
            rc = -2;  // unreadable list: the connector name stays as it is
        }
    }
    if (rc != 0) return;
    const std::string name = AnalogConnectorFromList(list);
    if (!name.empty()) common().AnalogConnectorName = name;
}

bool StartupConnection(const StartupOptions& options) { return CurrentController().startupConnection(options); }

bool Controller::startupConnection(const StartupOptions& options)
{
    registerTexts();
    registerTransferTexts();
    auto& c = common();
    auto& s = connection();
    const LinkConsole& console = linkConsole();
    s.NoDialogs = options.quiet;
    // The workbench's controller functions stay off until the connection is known good.
    c.NoControllerApi = 1;

    // 1. The address goes into the console's and the dialog's address edits.
    if (console.showAddress) console.showAddress(c.ControllerIp, 5001);
    s.DialogAddress = c.ControllerIp;

    // 2. Detection; the dialog shown during it may end the connection at once.
    bool found = detectControllerType();
    if (s.ConnectionDialogResult == 2 || s.ConnectionDialogResult == 3) {
        s.QuitRequested = s.ConnectionDialogResult == 3;
        c.ControllerUsable = 0;
        c.ExtraTimeoutMs = 0;
        return false;
    }

    // 3. The address as the console holds it, without blanks.
    if (console.showAddress) console.showAddress(c.ControllerIp, 5001);
    std::string address = removeBlanks(console.address ? console.address() : c.ControllerIp);
    c.ControllerIp = address;

    // 4, 5.
    log(text("StringPcMac") + pcMacText());
    const std::string remembered = address;
    notice(address);

    // 6. The dialog lets the user correct the address or choose simulation; an unattended run
    // never waits on it.
    if (options.quiet) {
        if (!found) quietNote(text("StringBadReply") + " CODE = -1, " + address);
    } else if (!found || (options.ctrlHeld && options.ctrlHeld())) {
        showNotice("");
        if (!found) showMessage(text("StringBadReply") + " CODE = -1");
        c.ControllerIp = remembered;
        s.DialogAddress = remembered;
        showConnectionDialog();
        switch (s.ConnectionDialogResult) {
        case 0:
            address = removeBlanks(s.DialogAddress);
            c.ControllerIp = address;
            notice(address);
            found = detectControllerType();
            if (found)
                if (IniFile* ini = SettingsIni()) LinkSettings::Store(*ini, &LinkSettings::ControllerIp, address);
            s.QuitRequested = !found;
            break;
        case 1:
            address = kFixedAddress;
            c.ControllerIp = address;
            notice(address);
            found = detectControllerType();
            s.QuitRequested = !found;
            break;
        case 2:
            s.QuitRequested = false;
            found = false;
            break;
        default:
            s.QuitRequested = true;
            break;
        }
    }
    // 7.
    showNotice("");

    bool transferFailed = false;
    if (found) {
        // 8.
        transferButtons(console, true);
        apiButtons(console, true);
        if (!connectTransfer(false)) {
            const std::string t = text("stringpbconnectadre");
            log(t);
            showMessage(t);
            transferFailed = true;
            transferButtons(console, false);
        }
        (void)api::FunctionTable();
        markApiInstalled();
        if (!transferFailed && !openPool()) {
            const std::string t = text("stringpbconnectadre");
            log(t);
            showMessage(t);
            apiButtons(console, false);
            c.ControllerUsable = 0;
            c.ExtraTimeoutMs = 0;
            return false;
        }
        present(address, 100);
        unsigned char mac[6];
        if (MacForIpAddress(address, mac)) log(text("StringKvxMac") + FormatMacAddress(mac));
    } else {
        // 9.
        if (s.QuitRequested) {
            c.ControllerUsable = 0;
            return false;
        }
        log(text("stringping") + " " + address);
        log(text("stringKVXnotfoundatadr"));
        apiButtons(console, false);
        transferButtons(console, false);
    }
    // 10.
    if (found && !c.TransferConnected) connectTransfer(false);
    // 11, 12.
    c.ControllerUsable = (!transferFailed && poolOpen() && c.TransferConnected) ? 1 : 0;
    c.ExtraTimeoutMs = c.ControllerUsable ? 500 : 0;
    c.NoControllerApi = c.ControllerUsable ? 0 : 1;
    // 13.
    if (c.ControllerUsable) {
        FindAnalogInputConnector(*this);
        if (console.fillPositionerList) console.fillPositionerList();
    } else if (options.quiet && found) {
        quietNote(text("stringpbconnectadre") + " " + address);
    }
    return c.ControllerUsable != 0;
}

}  // namespace mvx::link
