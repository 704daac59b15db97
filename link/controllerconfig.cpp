#include "controllerconfig.h"

#include "controller.h"

#include "core/common.h"
#include "core/inifile.h"

#include <mutex>

namespace mvx::link {
namespace {

constexpr const char* kGroupKeys[] = {"SingleAxisInUse", "SpindleInUse", "XYInUse",
                                      "XYGantryInUse",   "XYZInUse",     "MultipleAxesInUse"};

std::string readList(const IniFile& ini, std::string_view section, std::string_view key)
{
    return ini.readString(section, key, "No stage");
}

// Adds a list to a combo box; the box shows the list's first item.
bool addList(std::vector<std::string>& box, std::string& text, const std::vector<std::string>& items)
{
    if (items.empty()) return false;
    box.insert(box.end(), items.begin(), items.end());
    text = items.front();
    return true;
}

}  // namespace

std::vector<std::string> ParseConfigList(std::string_view value, ListKind kind)
{
    if (const auto semi = value.find(';'); semi != std::string_view::npos) value = value.substr(0, semi);
    while (!value.empty() && (value.back() == ' ' || value.back() == ',' || value.back() == '.' ||
                              value.back() == ';' || value.back() == '\t'))
        value.remove_suffix(1);
    std::vector<std::string> out;
    if (value.empty() || value == "No stage") return out;
    std::size_t start = 0;
    while (start <= value.size()) {
        std::size_t comma = value.find(',', start);
        if (comma == std::string_view::npos) comma = value.size();
        std::string_view item = value.substr(start, comma - start);
        std::string name;
        if (kind == ListKind::Groups) {
            for (char c : item)
                if (c != ' ' && c != '\t') name += c;
        } else {
            while (!item.empty() && (item.front() == ' ' || item.front() == '\t')) item.remove_prefix(1);
            while (!item.empty() && (item.back() == ' ' || item.back() == '\t')) item.remove_suffix(1);
            name = item;
        }
        if (!name.empty()) out.push_back(std::move(name));
        start = comma + 1;
    }
    return out;
}
ControllerGroups Controller::readGroups(const std::string& systemIniPath)
{
    const IniFile ini(systemIniPath);
    auto list = [&](const char* key) { return ParseConfigList(readList(ini, "GROUPS", key), ListKind::Groups); };
    ControllerGroups g;
    g.singlePage = addList(g.single, g.singleText, list("SingleAxisInUse"));
    // An empty spindle list leaves the page as the single-axis list left it.
    if (addList(g.single, g.singleText, list("SpindleInUse"))) g.singlePage = true;
    g.xyPage = addList(g.xy, g.xyText, list("XYInUse"));
    if (addList(g.xy, g.xyText, list("XYGantryInUse"))) g.xyPage = true;
    g.xyzPage = addList(g.xyz, g.xyzText, list("XYZInUse"));
    g.multiplePage = addList(g.multiple, g.multipleText, list("MultipleAxesInUse"));
    std::lock_guard lock(groupsMutex());
    groups() = g;
    return g;
}

ControllerGroups Controller::currentGroups()
{
    std::lock_guard lock(groupsMutex());
    return groups();
}

std::vector<std::string> PositionerList(const std::string& systemIniPath, const std::string& group)
{
    const IniFile ini(systemIniPath);
    return ParseConfigList(ini.readString(group, "PositionerInUse", "No stage"), ListKind::Positioners);
}

int PositionerNumber(const std::string& systemIniPath, const std::string& group, int missing)
{
    const IniFile ini(systemIniPath);
    return static_cast<int>(ini.readInteger(group, "PositionerNumber", missing));
}

std::vector<std::string> AllPositionerNames(const std::string& systemIniPath)
{
    const IniFile ini(systemIniPath);
    std::vector<std::string> out;
    for (const char* key : kGroupKeys)
        for (const auto& group : ParseConfigList(readList(ini, "GROUPS", key), ListKind::Groups))
            for (const auto& p : ParseConfigList(ini.readString(group, "PositionerInUse", "No stage"),
                                                 ListKind::Positioners))
                out.push_back(group + "." + p);
    return out;
}

std::string LocalSystemIniPath() { return common().ProgramDir + "system.ini"; }

}  // namespace mvx::link
