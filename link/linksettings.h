#pragma once
// The link's keys in the settings file, typed: the controller's address, the connection dialog's
// choices (its box, the configured type, the presence-check method, the reboot wait), the
// measured reboot time and the longest script wait. No widgets.

#include "core/settingstable.h"

#include <span>
#include <string>

namespace mvx::link {

struct LinkSettings {
    std::string ControllerIp = "192.168.254.254";  // "TCP-IP"/"ADR IP"
    bool HideConnectDialog = false;                // "MAIN"/"HIDE FCONNECT"
    std::string ControllerType = "Q";              // "KVX"/"TYPE", one of the type items' texts
    int DetectionMode = 5;                         // "MAIN"/"MODE DETECTION"
    int RebootWaitMs = 12000;                      // "MAIN"/"TEMPORISATION REINITIALISATION", never read back
    double RebootDelay = 70.0;                     // "REBOOT"/"DELAY", seconds the last reboot took
    long long MaxScriptDelayMs = 1200000;          // "TCL"/"MAX DELAY"

    // Missing keys keep the values held.
    void Read(const IniFile& ini);
    // Reads one field alone.
    template <class T>
    void Read(const IniFile& ini, T LinkSettings::*field);
    // Stores `value` under the key of `field`.
    template <class T>
    static bool Store(IniFile& ini, T LinkSettings::*field, const T& value);
};

std::span<const SettingRow<LinkSettings>> LinkSettingRows();

template <class T>
void LinkSettings::Read(const IniFile& ini, T LinkSettings::*field)
{
    ReadSettingRow(ini, LinkSettingRows(), *this, field);
}

template <class T>
bool LinkSettings::Store(IniFile& ini, T LinkSettings::*field, const T& value)
{
    return StoreSettingRow(ini, LinkSettingRows(), field, value);
}

}  // namespace mvx::link
