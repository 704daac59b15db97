#include "linksettings.h"

namespace mvx::link {

namespace {

using L = LinkSettings;

const SettingRow<L> kRows[] = {
    {"TCP-IP", "ADR IP", &L::ControllerIp},
    {"MAIN", "HIDE FCONNECT", &L::HideConnectDialog},
    {"KVX", "TYPE", &L::ControllerType},
    {"MAIN", "MODE DETECTION", &L::DetectionMode},
    {"MAIN", "TEMPORISATION REINITIALISATION", &L::RebootWaitMs},
    {"REBOOT", "DELAY", &L::RebootDelay},
    {"TCL", "MAX DELAY", &L::MaxScriptDelayMs},
};

}  // namespace

std::span<const SettingRow<LinkSettings>> LinkSettingRows() { return kRows; }

void LinkSettings::Read(const IniFile& ini) { ReadSettingRows(ini, LinkSettingRows(), *this); }

}  // namespace mvx::link
