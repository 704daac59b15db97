#include "windowgeometry.h"

#include "inifile.h"

namespace mvx {

void WindowGeometry::Read(const IniFile& ini, std::string_view section, bool sized)
{
    Top = static_cast<int>(ini.readInteger(section, "top", Top));
    Left = static_cast<int>(ini.readInteger(section, "left", Left));
    if (!sized) return;
    Height = static_cast<int>(ini.readInteger(section, "height", Height));
    Width = static_cast<int>(ini.readInteger(section, "width", Width));
}

void WindowGeometry::Write(IniFile& ini, std::string_view section, bool sized) const
{
    ini.writeInteger(section, "top", Top);
    ini.writeInteger(section, "left", Left);
    if (!sized) return;
    ini.writeInteger(section, "height", Height);
    ini.writeInteger(section, "width", Width);
}

}  // namespace mvx
