#include "consolesettings.h"

#include "core/inifile.h"

namespace mvx::maint {

void ConsoleSettings::Read(const IniFile& ini)
{
    const ConsoleSettings d;
    FtpUser = ini.readString("FTP LOGIN", "USER", d.FtpUser);
    FtpPassword = ini.readString("FTP LOGIN", "PASS", d.FtpPassword);
    RebootDelay = ini.readFloat("REBOOT", "DELAY", d.RebootDelay);
    DetectionMode = static_cast<int>(ini.readInteger("MAIN", "MODE DETECTION", d.DetectionMode));
    MinSocketTimeout = ini.readFloat("TCPIP", "MIN TIME OUT", d.MinSocketTimeout);
    ThirdLanguage = ini.readString("LANGUAGE", "THIRD", d.ThirdLanguage);
}

void WriteFtpLogin(IniFile& ini, const std::string& user, const std::string& password)
{
    ini.writeString("FTP LOGIN", "USER", user);
    ini.writeString("FTP LOGIN", "PASS", password);
}

void WindowGeometry::Read(const IniFile& ini, const char* section)
{
    Top = static_cast<int>(ini.readInteger(section, "top", Top));
    Left = static_cast<int>(ini.readInteger(section, "left", Left));
    Height = static_cast<int>(ini.readInteger(section, "height", Height));
    Width = static_cast<int>(ini.readInteger(section, "width", Width));
}

void WindowGeometry::Write(IniFile& ini, const char* section) const
{
    ini.writeInteger(section, "top", Top);
    ini.writeInteger(section, "left", Left);
    ini.writeInteger(section, "height", Height);
    ini.writeInteger(section, "width", Width);
}

}  // namespace mvx::maint
