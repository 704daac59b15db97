#pragma once
// Everything a conversion reads from the settings and from the output and axes setup, as one
// plain value. The main window fills it before a conversion and hands a copy to the translator,
// so a worker never reads a widget or a global that the GUI thread may change.

#include <array>
#include <string>

namespace mvx {

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
    std::array<double, 3> CurrentPosition{0.0, 0.0, 0.0};  // position last read (G91 starts there)

    // Header date and time texts; empty means "now" in the system's short formats.
    std::string DateText;
    std::string TimeText;
};

}  // namespace mvx
