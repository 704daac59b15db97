#pragma once
// The axes setup's keys in the settings file, typed: "POSITIONER NAME"/"AXIS X", "AXIS Y" and
// "AXIS Z", each a full positioner name ("GROUP1.X"). Every write goes straight to the file.

#include <string>

namespace mvx {

class IniFile;

// `axis` 0 X, 1 Y, 2 Z. Empty when none is stored.
std::string ReadAxisPositioner(const IniFile& ini, int axis);
void WriteAxisPositioner(IniFile& ini, int axis, const std::string& positioner);
// True once any positioner was chosen (the X axis has a key).
bool AxesChosen(const IniFile& ini);

}  // namespace mvx
