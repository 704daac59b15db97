#pragma once
// The main window's settings as one typed value: read from the settings file when the window
// is created, written back key by key by the menus and at closing. Its keys are one table
// (mainsettings.cpp). The Setup menu's numeric items are one table; an answer is checked against
// its row before anything is stored.

#include "core/settingstable.h"

#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace mvx {

class IniFile;

struct MainSettings {
    double PositioningSpeed = 10.0;
    double WorkingSpeed = 1.0;
    double PvtAcceleration = 100.0;
    double DiscontinuityAngleMax = 2.0;  // degrees
    double AngularStep = 0.0872664626;   // radians
    int NbDigit = 4;
    int NbDigitPvt = 6;
    bool UseFCodes = false;
    std::string HelpFile = "MOVANTRIX.PDF";
    std::string Mode = "SCT";  // "SCT", "TCL", anything else: direct
    bool Extended = false;
    int EncoderPeriod = 100;  // ms
    bool EraseStepByStep = false;
    bool ServerActive = true;
    int ServerPort = 8000;
    std::string LastFile;  // "TRAJECTORY"/"LAST"
    std::string ControllerIp = "192.168.254.254";
    // The 3D view's sizes as its settings hold them (checked there).
    double NodeSize = 0.2;
    double ArrowsSize = 1.0;
    double ConeSize = 5.0;
    // Panel widths of the window; the left one is used within 120..600, the right one when > 0.
    int LeftPanelWidth = 176;
    int RightPanelWidth = 0;

    // Missing keys keep the values already held. A value that is not a number of its kind or
    // lies outside its range (a million digits, a speed of 0...) is refused the same way; the
    // returned texts name each refused key, for the user.
    std::vector<std::string> Read(const IniFile& ini);

    // Stores one field under its key, as it is held now.
    template <class T>
    bool Write(IniFile& ini, T MainSettings::*field) const;
    // What the window stores at closing: the panel widths, the help file and the layout.
    void WriteClosing(IniFile& ini) const;
};

// The keys of the fields above, in reading order.
std::span<const SettingRow<MainSettings>> MainSettingRows();

template <class T>
bool MainSettings::Write(IniFile& ini, T MainSettings::*field) const
{
    return WriteSettingRow(ini, MainSettingRows(), *this, field);
}

// A command-line option's value for the setting stored under `section`/`key`: held and stored.
// False for a key that is no number of the main window.
bool ApplyNumericOption(IniFile* ini, MainSettings& m, std::string_view section, std::string_view key, double value);

// 1 SCT, 2 TCL, 3 direct, from the "MAIN"/"MODE" text.
int ModeFromText(std::string_view text);
const char* ModeText(int mode);  // "SCT", "TCL", "KVX DIRECT"

// One numeric item of the Setup menu.
enum class NumericKind {
    Positive,        // a number > 0
    DegreesToRadians,  // asked in degrees (> 0), stored in radians
    Digits,          // integer 0..15
    PvtDigits,       // integer 3..15
    PeriodMs,        // integer > 0
};

struct NumericSetting {
    const char* Action;   // the menu item's object name
    const char* Item;     // the menu item's text
    const char* CaptionKey;   // language key of the input query's caption
    const char* PromptKey;    // language key of its prompt
    const char* PromptSuffix; // put after the prompt text
    double MainSettings::*Real;    // the field it sets, a real one
    int MainSettings::*Integer;    // or an integer one
    NumericKind Kind;
};

extern const NumericSetting kNumericSettings[8];
const NumericSetting* FindNumericSetting(std::string_view action);

// The value to store for an answer, or nothing when the answer is refused (not a number, or
// out of range): a refused answer changes nothing.
std::optional<double> CheckNumericAnswer(const NumericSetting& s, std::string_view answer);

// The current value of a row, as held in `m` (degrees for the angular step).
double NumericSettingValue(const MainSettings& m, const NumericSetting& s);
// Stores an accepted value into `m` (already converted: radians for the angular step).
void SetNumericSettingValue(MainSettings& m, const NumericSetting& s, double value);
// Writes the row's field of `m` under its key.
bool WriteNumericSetting(IniFile& ini, const MainSettings& m, const NumericSetting& s);

// Deletes every file of `folder` (an absolute path); the process's current folder is never
// changed. Nothing happens when the folder cannot be read.
void EmptyFolder(const std::string& folder);

}  // namespace mvx
