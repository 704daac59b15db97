#pragma once
// The controller's configuration as the program reads it: the group lists and positioner lists
// of the local copy of "system.ini" (INI rules of the platform: names without regard to case).

#include <string>
#include <string_view>
#include <vector>

namespace mvx::link {

// One list value: cut at the first ";", trailing blanks, ",", "." and ";" removed, "No stage"
// or empty gives none, items separated by ",". Group names lose every blank; positioner names
// lose the blanks around them. Empty items are skipped.
enum class ListKind { Groups, Positioners };
std::vector<std::string> ParseConfigList(std::string_view value, ListKind kind);

// What the maintenance console's group pages show.
struct ControllerGroups {
    std::vector<std::string> single;    // CBsingle: single-axis groups, then spindles
    std::vector<std::string> xy;        // CBXY: XY groups, then XY gantries
    std::vector<std::string> xyz;       // CBXYZ
    std::vector<std::string> multiple;  // CBmultiple
    std::string singleText, xyText, xyzText, multipleText;  // text shown by each combo box
    bool singlePage = false, xyPage = false, xyzPage = false, multiplePage = false;
};

// The lists are read and kept by the controller (Controller::readGroups, currentGroups); a
// missing file reads as all defaults (no group).

// "PositionerInUse" of a group (short names), and "PositionerNumber" (`missing` when missing).
std::vector<std::string> PositionerList(const std::string& systemIniPath, const std::string& group);
int PositionerNumber(const std::string& systemIniPath, const std::string& group, int missing = 1);
// Full names ("GROUP1.X") of the positioners of every group of the lists, in list order.
std::vector<std::string> AllPositionerNames(const std::string& systemIniPath);

// Local copy of "system.ini" in the program folder.
std::string LocalSystemIniPath();

}  // namespace mvx::link
