#pragma once
// The controller's gathering file as the viewer reads it: a sampling period on the first line,
// the column names on the second, one sample a line after that. Also the per-column display
// record kept in the settings file (section = the column name). No Qt.

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace mvx {
class IniFile;
}

namespace mvx::maint {

inline constexpr int kGatheringMaxColumns = 18;
// A period below this is taken as a file that is not usable.
inline constexpr double kGatheringMinPeriod = 9e-5;

struct GatheringData {
    double period = 0.0;
    bool periodValid = false;         // the first line starts with a number >= kGatheringMinPeriod
    bool periodWhole = false;         // the first line is that number and nothing else
    std::vector<std::string> names;   // at most kGatheringMaxColumns
    // One row per sample, one value per column; NaN where the line had no readable value.
    std::vector<std::vector<double>> samples;
};

// Lines of a text without their ends (CR LF, LF or CR), empty ones left out.
std::vector<std::string> NonEmptyLines(std::string_view text);
// Column names: split at TABs when the line holds one (or always when `tabsOnly`), otherwise at
// blanks; no empty names.
std::vector<std::string> SplitColumnNames(std::string_view line, bool tabsOnly = false);
// `count` values of one sample line, NaN for each one that is missing or unreadable.
std::vector<double> ReadSampleValues(std::string_view line, std::size_t count);
// The whole file. `tabNames`: names split at TABs only (the reference file).
GatheringData ParseGathering(std::string_view text, bool tabNames = false,
                             std::size_t maxColumns = kGatheringMaxColumns);

// Component name of a column's series: blanks and "." become "_".
std::string SeriesNameOf(std::string_view columnName);

struct ColumnRecord {
    std::string name;
    double multiplier = 1.0;
    double offset = 0.0;
    bool visible = true;
    bool spectrum = true;
    bool autoScale = true;
    double minimum = -100.0;
    double maximum = 100.0;

    double scaled(double value) const noexcept { return value * multiplier + offset; }
    // The series title: the name, followed by "(x<multiplier>)" when it is not 1.
    std::string title() const;
};

// Reads "MULTI", "OFFSET", "VISIBLE", "FFT" and, with `withAxis`, "AUTO", "MIN", "MAX".
// Fields not read keep the values of `base`.
ColumnRecord ReadColumnRecord(const IniFile& ini, const std::string& name, bool withAxis,
                              ColumnRecord base = {});
// Writes all seven keys; false when the settings file could not be written.
bool WriteColumnRecord(IniFile& ini, const ColumnRecord& record);

// X, Y pairs of two columns taken sample by sample; samples where either value is missing are
// left out. Empty when a column index is out of range.
struct XYPoint {
    double x = 0.0;
    double y = 0.0;
};
std::vector<XYPoint> XYPairs(const GatheringData& data, const ColumnRecord& first, const ColumnRecord& second,
                             std::size_t firstColumn = 0, std::size_t secondColumn = 1);

}  // namespace mvx::maint
