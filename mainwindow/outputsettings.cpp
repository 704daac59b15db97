#include "outputsettings.h"

#include "core/inifile.h"

namespace mvx {

const std::array<const char*, OutputSettings::kRows> OutputSettings::kSections = {"ACTIVATE", "M03M05", "M04M05",
                                                                                  "M07M09", "M08M09"};

void OutputSettings::Read(const IniFile& ini)
{
    const OutputSettings d;
    Extended = ini.readBool("MAIN", "EXTENDED_IO", d.Extended);
    for (std::size_t r = 0; r < Rows.size(); ++r) {
        const char* s = kSections[r];
        Rows[r].Group = static_cast<int>(ini.readInteger(s, "GROUP", d.Rows[r].Group));
        Rows[r].Output = static_cast<int>(ini.readInteger(s, "OUTPUT", d.Rows[r].Output));
        Rows[r].Sense = static_cast<int>(ini.readInteger(s, "SENSE", d.Rows[r].Sense));
    }
}

void OutputSettings::Write(IniFile& ini) const
{
    ini.writeBool("MAIN", "EXTENDED_IO", Extended);
    for (std::size_t r = 0; r < Rows.size(); ++r) {
        const char* s = kSections[r];
        ini.writeInteger(s, "GROUP", Rows[r].Group);
        ini.writeInteger(s, "OUTPUT", Rows[r].Output);
        ini.writeInteger(s, "SENSE", Rows[r].Sense);
    }
}

}  // namespace mvx
