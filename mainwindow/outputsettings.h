#pragma once
// The output selection's keys in the settings file, typed: "MAIN"/"EXTENDED_IO" and, per row
// (Activate tool, M03/M05, M04/M05, M07/M09, M08/M09), a section with "GROUP" (stored from 0),
// "OUTPUT" and "SENSE". Every write goes straight to the file. No widgets.

#include <array>

namespace mvx {

class IniFile;

struct OutputSettings {
    static constexpr int kRows = 5;
    // Settings sections of the rows, in row order.
    static const std::array<const char*, kRows> kSections;

    struct Row {
        int Group = 0;   // as stored: the GPIO connector number less one
        int Output = 1;
        int Sense = 0;
    };
    bool Extended = false;
    // Row r's output defaults to r + 1.
    std::array<Row, kRows> Rows{Row{0, 1, 0}, Row{0, 2, 0}, Row{0, 3, 0}, Row{0, 4, 0}, Row{0, 5, 0}};

    // Missing keys give the defaults above.
    void Read(const IniFile& ini);
    void Write(IniFile& ini) const;
};

}  // namespace mvx
