#include "view3dsettings.h"

#include "translator/machineconfig.h"

namespace mvx::view3d {

namespace {

using V = View3DSettings;

const SettingRow<V> kRows[] = {
    {"NODE", "SIZE", &V::NodeSize, SettingCheck::Strict, 1e-6, kMaxCoordinate},
    {"ARROWS", "SIZE", &V::ArrowsSize, SettingCheck::Strict, 1e-6, kMaxCoordinate},
    {"CONE", "SIZE", &V::ConeSize, SettingCheck::Strict, 1e-6, kMaxCoordinate},
    {"ZOOM", "MAIN", &V::SceneScale},
    {"TARGET CAMERA", "X", &V::TargetX},
    {"TARGET CAMERA", "Y", &V::TargetY},
    {"TARGET CAMERA", "Z", &V::TargetZ},
    {"POSITION CAMERA", "X", &V::PositionX},
    {"POSITION CAMERA", "Y", &V::PositionY},
    {"POSITION CAMERA", "Z", &V::PositionZ},
    {"COLOR", "BACKGROUND", &V::Background},
};

}  // namespace

std::span<const SettingRow<View3DSettings>> View3DSettingRows() { return kRows; }

void View3DSettings::Read(const IniFile& ini, std::vector<std::string>* refused)
{
    ReadSettingRows(ini, View3DSettingRows(), *this, refused);
}

void View3DSettings::WriteCamera(IniFile& ini) const
{
    for (double V::*field : {&V::SceneScale, &V::TargetX, &V::TargetY, &V::TargetZ, &V::PositionX, &V::PositionY,
                             &V::PositionZ})
        WriteSettingRow(ini, View3DSettingRows(), *this, field);
}

}  // namespace mvx::view3d
