#pragma once
// The move pages' field values in the settings file, typed. Values are kept as the fields'
// texts. Every write goes straight to the file. No widgets.

#include <array>
#include <string>

namespace mvx {

class IniFile;

namespace maint {

// The single-group page, in section "CM": "RELATIF SINGLE", "ABSOLU SINGLE", "JOG SINGLE".
struct SingleMoveSettings {
    std::string Relative;
    std::string Absolute;
    std::string JogSpeed;

    // Missing keys keep the values held.
    void Read(const IniFile& ini);
    void Write(IniFile& ini) const;
};

// One positioner's row of the multiple-axes grid, in the section "<group>.<positioner>".
struct PositionerMoveSettings {
    std::string Relative = "1.000";  // "DEPL CM RELATIVE"
    std::string Absolute = "1.000";  // "POS CM ABSOLUTE"
    std::string JogSpeed = "1.000";  // "SPEED CM JOG"

    void Read(const IniFile& ini, const std::string& section);
    void Write(IniFile& ini, const std::string& section) const;
};

// The XY (2 axes) or XYZ (3 axes) page, in section "CM": "RELATIF X XY", "ABSOLU Z XYZ",
// "JOG V XY", "JOG A XYZ" and so on.
struct PlaneMoveSettings {
    explicit PlaneMoveSettings(int axes) : Axes(axes == 2 ? 2 : 3) {}
    int Axes;
    std::array<std::string, 3> Relative{};
    std::array<std::string, 3> Absolute{};
    std::string JogSpeed;
    std::string JogAcceleration;

    // Missing keys keep the values held.
    void Read(const IniFile& ini);
    void Write(IniFile& ini) const;
};

}  // namespace maint
}  // namespace mvx
