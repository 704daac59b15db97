#include "movesettings.h"

#include "core/inifile.h"

namespace mvx::maint {

namespace {

// The single-group and the XY and XYZ pages share one section.
constexpr const char* kPlaneSection = "CM";

std::string planeKey(const char* what, int axis, int axes)
{
    static constexpr const char* kAxis[3] = {"X", "Y", "Z"};
    return std::string(what) + " " + kAxis[axis] + (axes == 2 ? " XY" : " XYZ");
}

std::string jogKey(const char* what, int axes) { return std::string("JOG ") + what + (axes == 2 ? " XY" : " XYZ"); }

}  // namespace

void SingleMoveSettings::Read(const IniFile& ini)
{
    Relative = ini.readString(kPlaneSection, "RELATIF SINGLE", Relative);
    Absolute = ini.readString(kPlaneSection, "ABSOLU SINGLE", Absolute);
    JogSpeed = ini.readString(kPlaneSection, "JOG SINGLE", JogSpeed);
}

void SingleMoveSettings::Write(IniFile& ini) const
{
    ini.writeString(kPlaneSection, "RELATIF SINGLE", Relative);
    ini.writeString(kPlaneSection, "ABSOLU SINGLE", Absolute);
    ini.writeString(kPlaneSection, "JOG SINGLE", JogSpeed);
}

void PositionerMoveSettings::Read(const IniFile& ini, const std::string& section)
{
    const PositionerMoveSettings d;
    Relative = ini.readString(section, "DEPL CM RELATIVE", d.Relative);
    Absolute = ini.readString(section, "POS CM ABSOLUTE", d.Absolute);
    JogSpeed = ini.readString(section, "SPEED CM JOG", d.JogSpeed);
}

void PositionerMoveSettings::Write(IniFile& ini, const std::string& section) const
{
    ini.writeString(section, "DEPL CM RELATIVE", Relative);
    ini.writeString(section, "POS CM ABSOLUTE", Absolute);
    ini.writeString(section, "SPEED CM JOG", JogSpeed);
}

void PlaneMoveSettings::Read(const IniFile& ini)
{
    for (int i = 0; i < Axes; ++i) {
        Relative[static_cast<std::size_t>(i)] =
            ini.readString(kPlaneSection, planeKey("RELATIF", i, Axes), Relative[static_cast<std::size_t>(i)]);
        Absolute[static_cast<std::size_t>(i)] =
            ini.readString(kPlaneSection, planeKey("ABSOLU", i, Axes), Absolute[static_cast<std::size_t>(i)]);
    }
    JogSpeed = ini.readString(kPlaneSection, jogKey("V", Axes), JogSpeed);
    JogAcceleration = ini.readString(kPlaneSection, jogKey("A", Axes), JogAcceleration);
}

void PlaneMoveSettings::Write(IniFile& ini) const
{
    for (int i = 0; i < Axes; ++i) {
        ini.writeString(kPlaneSection, planeKey("RELATIF", i, Axes), Relative[static_cast<std::size_t>(i)]);
        ini.writeString(kPlaneSection, planeKey("ABSOLU", i, Axes), Absolute[static_cast<std::size_t>(i)]);
    }
    ini.writeString(kPlaneSection, jogKey("V", Axes), JogSpeed);
    ini.writeString(kPlaneSection, jogKey("A", Axes), JogAcceleration);
}

}  // namespace mvx::maint
