#pragma once
// Everything a conversion reads from the settings and from the output and axes setup, as one
// plain value. The main window fills it before a conversion and hands a copy to the translator,
// so a worker never reads a widget or a global that the GUI thread may change.

#include <array>
#include <cmath>
#include <string>
#include <string_view>

namespace mvx {

// The largest coordinate, centre offset or speed the translator takes (a kilometre is 1e6 mm):
// beyond it, sums and squares of coordinates would no longer be exact enough to write, or finite.
inline constexpr double kMaxCoordinate = 1.0e9;

// False for NaN, infinities and magnitudes beyond kMaxCoordinate.
inline bool UsableCoordinate(double v) noexcept { return std::fabs(v) <= kMaxCoordinate; }

// The slowest speed the translator takes (settings and F words): a run's duration, length over
// speed, then stays finite for any coordinates it takes.
inline constexpr double kMinSpeed = 1.0e-6;

// Accepted range of a numeric translator setting: where a setting is read (settings file, Setup
// menu, command line) a value outside it, or one that is not a number, is refused.
struct SettingLimits {
    std::string_view Section;
    std::string_view Key;
    double Min;
    double Max;

    bool Accepts(double v) const noexcept { return v >= Min && v <= Max; }  // false for NaN
};

inline constexpr SettingLimits kTranslatorSettingLimits[] = {
    {"SPEED", "POSITIONNING", kMinSpeed, kMaxCoordinate},
    {"SPEED", "WORKING", kMinSpeed, kMaxCoordinate},
    {"TRAJECTORY", "ACCELERATION", kMinSpeed, 1.0e12},
    {"TRAJECTORY", "DISCONTINUITY ANGLE MAX", 0.0, 360.0},  // degrees
    {"TRAJECTORY", "ANGULARY STEP", 1.0e-9, 1.0e3},         // radians
};

// The limits of a settings key ("WORKING", "ANGULARY STEP"...), nullptr for another key.
inline const SettingLimits* TranslatorSettingLimits(std::string_view key) noexcept
{
    for (const SettingLimits& l : kTranslatorSettingLimits)
        if (l.Key == key) return &l;
    return nullptr;
}

// One row of the output setup: connector ("GPIO" number, from 1), output number (1..16) and
// the level that means "active" (0 or 1).
struct OutputRow {
    int Gpio = 1;
    int Output = 1;
    int ActiveLevel = 0;

    // Bit of the output in the connector's digital-output word.
    unsigned Mask() const noexcept { return (Output >= 1 && Output <= 31) ? (1u << (Output - 1)) : 0u; }
    unsigned ActiveValue() const noexcept { return ActiveLevel == 1 ? Mask() : 0u; }
    unsigned InactiveValue() const noexcept { return ActiveLevel == 1 ? 0u : Mask(); }
};

struct MachineConfig {
    // "SPEED" / "TRAJECTORY" / "PRECISION" settings.
    double PositioningSpeed = 10.0;
    double WorkingSpeed = 1.0;
    double PvtAcceleration = 100.0;
    double DiscontinuityAngleMax = 2.0;  // degrees
    double AngularStep = 0.0872664626;   // radians
    int NbDigit = 4;                     // decimals of script numbers
    int NbDigitPvt = 6;                  // decimals of PVT displacements and speeds

    // Axes setup: the motion group and the positioner names of X, Y and Z (blanks removed).
    std::string GroupName;
    std::array<std::string, 3> AxisNames{"X", "Y", "Z"};
    bool XYGroupOnly = false;  // the group has no Z positioner
    int GroupAxisCount = 3;

    // Output setup.
    OutputRow ActivateTool{1, 1, 0};
    OutputRow M03M05{1, 2, 0};
    OutputRow M04M05{1, 3, 0};
    OutputRow M07M09{1, 4, 0};
    OutputRow M08M09{1, 5, 0};
    bool ExtendedIo = false;  // "MAIN"/"EXTENDED_IO"

    // Main window state read by the conversion.
    std::string GCodeFileName;  // shown in the script header
    bool UseFCodes = true;      // menu item "useFCodes1": F words change the current speed
    bool DirectMode = false;    // menu item "KVXdirect1": execute instead of writing
    bool Simulation = true;     // no controller: nothing is uploaded or executed
    // Position last read (G91 starts there); an axis that is not UsableCoordinate is unknown.
    std::array<double, 3> CurrentPosition{0.0, 0.0, 0.0};

    // Header date and time texts; empty means "now" in the system's short formats.
    std::string DateText;
    std::string TimeText;
};

// Empty when every number of `config` that a conversion reads is usable, else "SECTION/KEY" of
// the first that is not: a caller that skipped the checks above gets an error, never INF or
// NAN in a script.
inline std::string UnusableSetting(const MachineConfig& c)
{
    const double values[] = {c.PositioningSpeed, c.WorkingSpeed, c.PvtAcceleration, c.DiscontinuityAngleMax,
                             c.AngularStep};
    for (std::size_t i = 0; i < std::size(values); ++i)
        if (!kTranslatorSettingLimits[i].Accepts(values[i]))
            return std::string(kTranslatorSettingLimits[i].Section) + "/" + std::string(kTranslatorSettingLimits[i].Key);
    if (c.NbDigit < 0 || c.NbDigit > 15) return "PRECISION/NB DIGIT";
    if (c.NbDigitPvt < 0 || c.NbDigitPvt > 15) return "PRECISION/NB DIGIT PVT";
    return {};
}

}  // namespace mvx
