#include "axessettings.h"

#include "core/inifile.h"

namespace mvx {

namespace {

constexpr const char* kSection = "POSITIONER NAME";

const char* axisKey(int axis)
{
    static constexpr const char* kKeys[3] = {"AXIS X", "AXIS Y", "AXIS Z"};
    return kKeys[axis >= 0 && axis < 3 ? axis : 0];
}

}  // namespace

std::string ReadAxisPositioner(const IniFile& ini, int axis) { return ini.readString(kSection, axisKey(axis), ""); }

void WriteAxisPositioner(IniFile& ini, int axis, const std::string& positioner)
{
    ini.writeString(kSection, axisKey(axis), positioner);
}

bool AxesChosen(const IniFile& ini) { return ini.valueExists(kSection, axisKey(0)); }

}  // namespace mvx
