#include "pidtestsettings.h"

#include "core/inifile.h"

namespace mvx::maint {

namespace {

constexpr const char* kSection = "TESTPID";

const char* numberKey(PidTestNumber which)
{
    switch (which) {
    case PidTestNumber::StartPosition: return "START_POSITION";
    case PidTestNumber::Period: return "PERIOD";
    case PidTestNumber::Speed: return "SPEED";
    case PidTestNumber::Duration: return "DURATION";
    case PidTestNumber::Length: return "LENGHT";
    }
    return "START_POSITION";
}

}  // namespace

void PidTestSettings::Read(const IniFile& ini)
{
    const PidTestSettings d;
    StartPosition = ini.readFloat(kSection, numberKey(PidTestNumber::StartPosition), d.StartPosition);
    Period = ini.readFloat(kSection, numberKey(PidTestNumber::Period), d.Period);
    Speed = ini.readFloat(kSection, numberKey(PidTestNumber::Speed), d.Speed);
    Duration = ini.readFloat(kSection, numberKey(PidTestNumber::Duration), d.Duration);
    Length = ini.readFloat(kSection, numberKey(PidTestNumber::Length), d.Length);
    Complex = ini.readInteger(kSection, "COMPLEX", 0) == 1;
    PvtName = ini.readString("TEST PVT", "NAME", d.PvtName);
    DelayMs = ini.readInteger(kSection, "DELAY", d.DelayMs);
    Logarithmic = ini.readBool(kSection, "LOG", d.Logarithmic);
}

void WritePidTestNumber(IniFile& ini, PidTestNumber which, double value)
{
    ini.writeFloat(kSection, numberKey(which), value);
}

void WritePidTestComplex(IniFile& ini, bool complex) { ini.writeInteger(kSection, "COMPLEX", complex ? 1 : 0); }

void WritePidTestPvtName(IniFile& ini, const std::string& name) { ini.writeString("TEST PVT", "NAME", name); }

void WritePidTestDisplay(IniFile& ini, long long delayMs, bool logarithmic)
{
    ini.writeInteger(kSection, "DELAY", delayMs);
    ini.writeBool(kSection, "LOG", logarithmic);
}

}  // namespace mvx::maint
