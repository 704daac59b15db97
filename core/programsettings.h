#pragma once
// The program's own keys in the settings file, typed: the language number (read at start-up,
// written at every change of language) and the drive under which the controller's disk is seen.

#include "core/settingstable.h"

#include <span>
#include <string>

namespace mvx {

struct ProgramSettings {
    int Language = 1;                   // "MAIN"/"LANGUE": 1 French, 2 English, 3 the third one
    std::string LocalDiskDrive = "Z:";  // "MAIN"/"DISK KVX"

    // Missing keys keep the values held (a language number outside 1..3 is the reader's to refuse).
    void Read(const IniFile& ini);
    template <class T>
    static bool Store(IniFile& ini, T ProgramSettings::*field, const T& value);
};

std::span<const SettingRow<ProgramSettings>> ProgramSettingRows();

template <class T>
bool ProgramSettings::Store(IniFile& ini, T ProgramSettings::*field, const T& value)
{
    return StoreSettingRow(ini, ProgramSettingRows(), field, value);
}

}  // namespace mvx
