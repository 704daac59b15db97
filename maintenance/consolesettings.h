#pragma once
// The maintenance console's own keys in the settings file, typed: the controller login (which
// the general page edits), the reboot delay, the presence-check mode, the shortest connection
// time-out and the third language's name. No widgets.

#include <string>

namespace mvx {

class IniFile;

namespace maint {

struct ConsoleSettings {
    std::string FtpUser = "Supervisorium";      // "FTP LOGIN"/"USER"
    std::string FtpPassword = "Supervisorium";  // "FTP LOGIN"/"PASS"
    double RebootDelay = 45.0;                  // "REBOOT"/"DELAY", seconds
    int DetectionMode = 5;                      // "MAIN"/"MODE DETECTION"
    double MinSocketTimeout = 1.0;              // "TCPIP"/"MIN TIME OUT", seconds
    std::string ThirdLanguage = "Other";        // "LANGUAGE"/"THIRD"

    // Missing keys give the defaults above.
    void Read(const IniFile& ini);
};

void WriteFtpLogin(IniFile& ini, const std::string& user, const std::string& password);

// The analog page's box "Utiliser les extensions": "ADC"/"EXTENSIONS", unchecked when missing.
bool ReadAnalogExtensions(const IniFile& ini);
void WriteAnalogExtensions(IniFile& ini, bool on);

// The stage grid's column widths: section "GRID PARAM COL WIDTH", one key per column number.
int ReadStageColumnWidth(const IniFile& ini, int column, int fallback);
void WriteStageColumnWidth(IniFile& ini, int column, int width);

}  // namespace maint
}  // namespace mvx
