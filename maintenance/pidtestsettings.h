#pragma once
// The PID test page's keys in the settings file, typed: section "TESTPID" and the PVT file name
// under "TEST PVT"/"NAME". Every write goes straight to the file. No widgets.

#include <string>

namespace mvx {

class IniFile;

namespace maint {

// The five numbers of a step test, in the order of their fields.
enum class PidTestNumber { StartPosition, Period, Speed, Duration, Length };

struct PidTestSettings {
    double StartPosition = 0.0;               // "START_POSITION"
    double Period = 0.05;                     // "PERIOD"
    double Speed = 1.0;                       // "SPEED"
    double Duration = 1.2;                    // "DURATION"
    double Length = 1.0;                      // "LENGHT"
    bool Complex = false;                     // "COMPLEX": 1 complex, anything else simple
    std::string PvtName = "TRAJECTORY.KVX";   // "TEST PVT"/"NAME"
    long long DelayMs = 50;                   // "DELAY"
    bool Logarithmic = true;                  // "LOG"

    // Missing keys give the defaults above.
    void Read(const IniFile& ini);
};

void WritePidTestNumber(IniFile& ini, PidTestNumber which, double value);
void WritePidTestComplex(IniFile& ini, bool complex);
void WritePidTestPvtName(IniFile& ini, const std::string& name);
// The viewer setup's part: "DELAY" (ms) and "LOG".
void WritePidTestDisplay(IniFile& ini, long long delayMs, bool logarithmic);

}  // namespace maint
}  // namespace mvx
