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

}  // namespace mvx::maint
