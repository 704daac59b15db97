#include "mainsettings.h"

#include "app/inifile.h"
#include "translator/numtext.h"

#include <QDir>
#include <QFile>

#include <cmath>
#include <numbers>

namespace mvx {

void MainSettings::Read(const IniFile& ini)
{
    NbDigit = static_cast<int>(ini.readInteger("PRECISION", "NB DIGIT", NbDigit));
    NbDigitPvt = static_cast<int>(ini.readInteger("PRECISION", "NB DIGIT PVT", NbDigitPvt));
    ControllerIp = ini.readString("TCP-IP", "ADR IP", ControllerIp);
    NodeSize = ini.readFloat("NODE", "SIZE", NodeSize);
    ArrowsSize = ini.readFloat("ARROWS", "SIZE", ArrowsSize);
    ConeSize = ini.readFloat("CONE", "SIZE", ConeSize);
    PositioningSpeed = ini.readFloat("SPEED", "POSITIONNING", PositioningSpeed);
    WorkingSpeed = ini.readFloat("SPEED", "WORKING", WorkingSpeed);
    DiscontinuityAngleMax = ini.readFloat("TRAJECTORY", "DISCONTINUITY ANGLE MAX", DiscontinuityAngleMax);
    PvtAcceleration = ini.readFloat("TRAJECTORY", "ACCELERATION", PvtAcceleration);
    AngularStep = ini.readFloat("TRAJECTORY", "ANGULARY STEP", AngularStep);
    UseFCodes = ini.readBool("SPEED", "USE F CODES", UseFCodes);
    HelpFile = ini.readString("HELP", "FILE", HelpFile);
    Mode = ini.readString("MAIN", "MODE", Mode);
    Extended = ini.readBool("SIZE", "EXTENDED", Extended);
    EncoderPeriod = static_cast<int>(ini.readInteger("ENCODER", "PERIOD", EncoderPeriod));
    EraseStepByStep = ini.readBool("DRAWING", "ERASE STEP BY STEP", EraseStepByStep);
    ServerActive = ini.readBool("TCP-IP server", "Active", ServerActive);
    ServerPort = static_cast<int>(ini.readInteger("TCP-IP server", "PORT", ServerPort));
    LastFile = ini.readString("TRAJECTORY", "LAST", LastFile);
    // A hand-edited file must not break the number formatting or the poll.
    if (NbDigit < 0 || NbDigit > 15) NbDigit = 4;
    if (NbDigitPvt < 3 || NbDigitPvt > 15) NbDigitPvt = 6;
    if (EncoderPeriod <= 0) EncoderPeriod = 100;
    // Port 0 would listen on a port nobody knows.
    if (ServerPort < 1 || ServerPort > 65535) ServerPort = 8000;
}

int ModeFromText(std::string_view text)
{
    if (text == "SCT") return 1;
    if (text == "TCL") return 2;
    return 3;
}

const char* ModeText(int mode)
{
    switch (mode) {
    case 1: return "SCT";
    case 2: return "TCL";
    default: return "KVX DIRECT";
    }
}

const NumericSetting kNumericSettings[8] = {
    {"Positionningspeed1", "Positionning speed", "Stringpositionspeed", "Stringnewspeed", " : ", "SPEED",
     "POSITIONNING", NumericKind::Positive},
    {"Workingspeed1", "Working speed", "stringworkspeed", "Stringnewspeed", " : ", "SPEED", "WORKING",
     NumericKind::Positive},
    {"Trajectoryacceleration1", "Trajectory acceleration", "stringtrajectory", "stringacceleration", " : ",
     "TRAJECTORY", "ACCELERATION", NumericKind::Positive},
    {"Maxangulardiscontuinity1", "Max angular discontuinity", "stringtrajectory", "Stringmaxangdis", " : ",
     "TRAJECTORY", "DISCONTINUITY ANGLE MAX", NumericKind::Positive},
    {"Angularystep1", "Angulary step", "stringtrajectory", "stringangularstep", " : ", "TRAJECTORY",
     "ANGULARY STEP", NumericKind::DegreesToRadians},
    {"Nbdigits1", "Nb digits", "stringprecision", "stringnbdigit", " ", "PRECISION", "NB DIGIT",
     NumericKind::Digits},
    {"NbdigitsforPVT1", "Nb digits for PVT", "stringprecision", "stringnbdigitPVT", " ", "PRECISION",
     "NB DIGIT PVT", NumericKind::PvtDigits},
    {"Sampleperiod1", "Sample period", "stringlecturecodeurs", "stringrefreshperiod", "", "ENCODER", "PERIOD",
     NumericKind::PeriodMs},
};

const NumericSetting* FindNumericSetting(std::string_view action)
{
    for (const NumericSetting& s : kNumericSettings)
        if (action == s.Action) return &s;
    return nullptr;
}

std::optional<double> CheckNumericAnswer(const NumericSetting& s, std::string_view answer)
{
    switch (s.Kind) {
    case NumericKind::Positive:
    case NumericKind::DegreesToRadians: {
        const std::optional<double> v = num::parseStrict(answer);
        if (!v || !std::isfinite(*v) || !(*v > 0.0)) return std::nullopt;
        return s.Kind == NumericKind::DegreesToRadians ? *v * std::numbers::pi / 180.0 : *v;
    }
    case NumericKind::Digits:
    case NumericKind::PvtDigits:
    case NumericKind::PeriodMs: {
        const std::optional<long long> v = num::parseIntStrict(answer);
        if (!v) return std::nullopt;
        if (s.Kind == NumericKind::Digits && (*v < 0 || *v > 15)) return std::nullopt;
        if (s.Kind == NumericKind::PvtDigits && (*v < 3 || *v > 15)) return std::nullopt;
        if (s.Kind == NumericKind::PeriodMs && (*v <= 0 || *v > 3600000)) return std::nullopt;
        return static_cast<double>(*v);
    }
    }
    return std::nullopt;
}

namespace {
double* realField(MainSettings& m, std::string_view key)
{
    if (key == "POSITIONNING") return &m.PositioningSpeed;
    if (key == "WORKING") return &m.WorkingSpeed;
    if (key == "ACCELERATION") return &m.PvtAcceleration;
    if (key == "DISCONTINUITY ANGLE MAX") return &m.DiscontinuityAngleMax;
    if (key == "ANGULARY STEP") return &m.AngularStep;
    return nullptr;
}
int* intField(MainSettings& m, std::string_view key)
{
    if (key == "NB DIGIT") return &m.NbDigit;
    if (key == "NB DIGIT PVT") return &m.NbDigitPvt;
    if (key == "PERIOD") return &m.EncoderPeriod;
    return nullptr;
}
}  // namespace

double NumericSettingValue(const MainSettings& mIn, const NumericSetting& s)
{
    MainSettings& m = const_cast<MainSettings&>(mIn);
    if (double* d = realField(m, s.Key))
        return s.Kind == NumericKind::DegreesToRadians ? *d * 180.0 / std::numbers::pi : *d;
    if (int* i = intField(m, s.Key)) return *i;
    return 0.0;
}

void SetNumericSettingValue(MainSettings& m, const NumericSetting& s, double value)
{
    if (double* d = realField(m, s.Key)) *d = value;
    else if (int* i = intField(m, s.Key)) *i = static_cast<int>(value);
}

void EmptyFolder(const std::string& folder)
{
    QDir dir(QString::fromStdString(folder));
    if (!dir.isAbsolute() || !dir.exists()) return;
    for (const QString& name : dir.entryList(QDir::Files | QDir::Hidden | QDir::System))
        QFile::remove(dir.absoluteFilePath(name));
}

}  // namespace mvx
