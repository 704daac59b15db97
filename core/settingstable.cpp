#include "settingstable.h"

#include "translator/numtext.h"


namespace mvx {

std::string RefusedSettingText(std::string_view section, std::string_view key, const std::string& kept)
{
    return "Réglage " + std::string(section) + "/" + std::string(key) + " : valeur incorrecte, " + kept + " conservé";
}

namespace {

void refuse(const SettingPlace& p, std::vector<std::string>* refused, const std::string& kept)
{
    if (refused) refused->push_back(RefusedSettingText(p.Section, p.Key, kept));
}

template <class I>
void readInteger(const IniFile& ini, const SettingPlace& p, I& value, std::vector<std::string>* refused)
{
    if (p.Check == SettingCheck::Lenient) {
        value = static_cast<I>(ini.readInteger(p.Section, p.Key, value));
        return;
    }
    const std::optional<std::string> raw = ini.read(p.Section, p.Key);
    if (!raw) return;
    const std::optional<long long> v = num::parseIntStrict(*raw);
    if (v && static_cast<double>(*v) >= p.Min && static_cast<double>(*v) <= p.Max) value = static_cast<I>(*v);
    else refuse(p, refused, num::integer(value));
}

}  // namespace

void ReadSettingValue(const IniFile& ini, const SettingPlace& p, double& value, std::vector<std::string>* refused)
{
    if (p.Check == SettingCheck::Lenient) {
        value = ini.readFloat(p.Section, p.Key, value);
        return;
    }
    const std::optional<std::string> raw = ini.read(p.Section, p.Key);
    if (!raw) return;
    const std::optional<double> v = num::parseStrict(*raw);
    if (v && *v >= p.Min && *v <= p.Max) value = *v;
    else refuse(p, refused, num::general(value));
}

void ReadSettingValue(const IniFile& ini, const SettingPlace& p, int& value, std::vector<std::string>* refused)
{
    readInteger(ini, p, value, refused);
}

void ReadSettingValue(const IniFile& ini, const SettingPlace& p, long long& value, std::vector<std::string>* refused)
{
    readInteger(ini, p, value, refused);
}

void ReadSettingValue(const IniFile& ini, const SettingPlace& p, bool& value, std::vector<std::string>*)
{
    value = ini.readBool(p.Section, p.Key, value);
}

void ReadSettingValue(const IniFile& ini, const SettingPlace& p, std::string& value, std::vector<std::string>*)
{
    value = ini.readString(p.Section, p.Key, value);
}

bool WriteSettingValue(IniFile& ini, std::string_view section, std::string_view key, double value)
{
    return ini.writeFloat(section, key, value);
}

bool WriteSettingValue(IniFile& ini, std::string_view section, std::string_view key, int value)
{
    return ini.writeInteger(section, key, value);
}

bool WriteSettingValue(IniFile& ini, std::string_view section, std::string_view key, long long value)
{
    return ini.writeInteger(section, key, value);
}

bool WriteSettingValue(IniFile& ini, std::string_view section, std::string_view key, bool value)
{
    return ini.writeBool(section, key, value);
}

bool WriteSettingValue(IniFile& ini, std::string_view section, std::string_view key, const std::string& value)
{
    return ini.writeString(section, key, value);
}

}  // namespace mvx
