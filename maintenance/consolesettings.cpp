#include "consolesettings.h"

#include "core/inifile.h"
#include "link/linksettings.h"
#include "translator/numtext.h"

namespace mvx::maint {

void ConsoleSettings::Read(const IniFile& ini)
{
    const ConsoleSettings d;
    FtpUser = ini.readString("FTP LOGIN", "USER", d.FtpUser);
    FtpPassword = ini.readString("FTP LOGIN", "PASS", d.FtpPassword);
    // The reboot time and the presence-check method are the link's keys.
    link::LinkSettings linkSet;
    linkSet.RebootDelay = d.RebootDelay;
    linkSet.DetectionMode = d.DetectionMode;
    linkSet.Read(ini, &link::LinkSettings::RebootDelay);
    linkSet.Read(ini, &link::LinkSettings::DetectionMode);
    RebootDelay = linkSet.RebootDelay;
    DetectionMode = linkSet.DetectionMode;
    MinSocketTimeout = ini.readFloat("TCPIP", "MIN TIME OUT", d.MinSocketTimeout);
    ThirdLanguage = ini.readString("LANGUAGE", "THIRD", d.ThirdLanguage);
}

void WriteFtpLogin(IniFile& ini, const std::string& user, const std::string& password)
{
    ini.writeString("FTP LOGIN", "USER", user);
    ini.writeString("FTP LOGIN", "PASS", password);
}

bool ReadAnalogExtensions(const IniFile& ini) { return ini.readBool("ADC", "EXTENSIONS", false); }

void WriteAnalogExtensions(IniFile& ini, bool on) { ini.writeBool("ADC", "EXTENSIONS", on); }

namespace {
constexpr const char* kStageColumns = "GRID PARAM COL WIDTH";
}

int ReadStageColumnWidth(const IniFile& ini, int column, int fallback)
{
    return static_cast<int>(ini.readInteger(kStageColumns, num::integer(column), fallback));
}

void WriteStageColumnWidth(IniFile& ini, int column, int width)
{
    ini.writeInteger(kStageColumns, num::integer(column), width);
}

}  // namespace mvx::maint
