#pragma once
// The 3D view's keys in the settings file, typed: the node, arrow and cone sizes (menu items of
// its pop-up), the camera (written at closing) and the background colour. Read at the main
// window's creation. No widgets.

#include "core/settingstable.h"

#include <span>
#include <string>
#include <vector>

namespace mvx::view3d {

struct View3DSettings {
    double NodeSize = 0.2;   // "NODE"/"SIZE"
    double ArrowsSize = 1.0; // "ARROWS"/"SIZE"
    double ConeSize = 5.0;   // "CONE"/"SIZE"
    double SceneScale = 3.0; // "ZOOM"/"MAIN"
    double TargetX = 0.0, TargetY = 0.0, TargetZ = 0.0;  // "TARGET CAMERA"/"X", "Y", "Z"
    double PositionX = 0.0, PositionY = 0.0, PositionZ = 0.0;  // "POSITION CAMERA"/"X", "Y", "Z"
    long long Background = 0xFF0000;  // "COLOR"/"BACKGROUND", stored as blue-green-red

    // Missing keys keep the values held. A size that is not a number or not above 0 is
    // refused and named in `refused` (when given); the camera and colour read as the file has them.
    void Read(const IniFile& ini, std::vector<std::string>* refused = nullptr);
    // The camera's keys, scale first.
    void WriteCamera(IniFile& ini) const;

    // Stores `value` under the key of `field`.
    template <class T>
    static bool Store(IniFile& ini, T View3DSettings::*field, T value);
};

std::span<const SettingRow<View3DSettings>> View3DSettingRows();

template <class T>
bool View3DSettings::Store(IniFile& ini, T View3DSettings::*field, T value)
{
    return StoreSettingRow(ini, View3DSettingRows(), field, value);
}

}  // namespace mvx::view3d
