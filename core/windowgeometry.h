#pragma once
// A window's place in the settings file, in the section named after the window: "top" and
// "left", and "height" and "width" for a resizable window. Plain C++.

#include <string_view>

namespace mvx {

class IniFile;

struct WindowGeometry {
    int Top = 0;
    int Left = 0;
    int Height = 0;
    int Width = 0;

    // Missing keys keep the values held; `sized`: the height and width too.
    void Read(const IniFile& ini, std::string_view section, bool sized);
    void Write(IniFile& ini, std::string_view section, bool sized) const;
};

}  // namespace mvx
