#pragma once
// The maintenance console's own keys in the settings file, typed: the controller login (which
// the general page edits), the reboot delay, the presence-check mode, the shortest connection
// time-out, the third language's name, and the window's geometry. No widgets.

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

// A window's place in its own section: "top", "left", "height", "width".
struct WindowGeometry {
    int Top = 0;
    int Left = 0;
    int Height = 0;
    int Width = 0;

    // Missing keys keep the values held.
    void Read(const IniFile& ini, const char* section);
    void Write(IniFile& ini, const char* section) const;
};

}  // namespace maint
}  // namespace mvx
