#include "programsettings.h"

namespace mvx {

namespace {

using P = ProgramSettings;

const SettingRow<P> kRows[] = {
    {"MAIN", "LANGUE", &P::Language},
    {"MAIN", "DISK KVX", &P::LocalDiskDrive},
};

}  // namespace

std::span<const SettingRow<ProgramSettings>> ProgramSettingRows() { return kRows; }

void ProgramSettings::Read(const IniFile& ini) { ReadSettingRows(ini, ProgramSettingRows(), *this); }

}  // namespace mvx
