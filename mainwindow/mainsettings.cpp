#include "mainsettings.h"

#include "core/inifile.h"
#include "translator/machineconfig.h"
#include "translator/numtext.h"

#include <QDir>
#include <QFile>

#include <cmath>
#include <numbers>

namespace mvx {

namespace {

// Reads checked against their range; a refusal keeps the held value and says so.
class CheckedReader {
public:
    CheckedReader(const IniFile& ini, std::vector<std::string>& refused) : mIni(ini), mRefused(refused) {}

    void Real(std::string_view section, std::string_view key, double& value, double min, double max)
    {
        const std::optional<std::string> raw = mIni.read(section, key);
        if (!raw) return;
        const std::optional<double> v = num::parseStrict(*raw);
        if (v && *v >= min && *v <= max) value = *v;
        else Refuse(section, key, num::general(value));
    }
    void Translator(std::string_view section, std::string_view key, double& value)
    {
        const SettingLimits* l = TranslatorSettingLimits(key);
        Real(section, key, value, l->Min, l->Max);
    }
    void Integer(std::string_view section, std::string_view key, int& value, long long min, long long max)
    {
        const std::optional<std::string> raw = mIni.read(section, key);
        if (!raw) return;
        const std::optional<long long> v = num::parseIntStrict(*raw);
        if (v && *v >= min && *v <= max) value = static_cast<int>(*v);
        else Refuse(section, key, num::integer(value));
    }

private:
    void Refuse(std::string_view section, std::string_view key, const std::string& kept)
    {
        mRefused.push_back("Réglage " + std::string(section) + "/" + std::string(key) + " : valeur incorrecte, " +
                           kept + " conservé");
    }

    const IniFile& mIni;
    std::vector<std::string>& mRefused;
};

}  // namespace

std::vector<std::string> MainSettings::Read(const IniFile& ini)
{
    std::vector<std::string> refused;
    CheckedReader r(ini, refused);
    r.Integer("PRECISION", "NB DIGIT", NbDigit, 0, 15);
    r.Integer("PRECISION", "NB DIGIT PVT", NbDigitPvt, 3, 15);
    ControllerIp = ini.readString("TCP-IP", "ADR IP", ControllerIp);
    r.Real("NODE", "SIZE", NodeSize, 1e-6, kMaxCoordinate);
    r.Real("ARROWS", "SIZE", ArrowsSize, 1e-6, kMaxCoordinate);
    r.Real("CONE", "SIZE", ConeSize, 1e-6, kMaxCoordinate);
    r.Translator("SPEED", "POSITIONNING", PositioningSpeed);
    r.Translator("SPEED", "WORKING", WorkingSpeed);
    r.Translator("TRAJECTORY", "DISCONTINUITY ANGLE MAX", DiscontinuityAngleMax);
    r.Translator("TRAJECTORY", "ACCELERATION", PvtAcceleration);
    r.Translator("TRAJECTORY", "ANGULARY STEP", AngularStep);
    UseFCodes = ini.readBool("SPEED", "USE F CODES", UseFCodes);
    HelpFile = ini.readString("HELP", "FILE", HelpFile);
    Mode = ini.readString("MAIN", "MODE", Mode);
    Extended = ini.readBool("SIZE", "EXTENDED", Extended);
    r.Integer("ENCODER", "PERIOD", EncoderPeriod, 1, 3600000);
    EraseStepByStep = ini.readBool("DRAWING", "ERASE STEP BY STEP", EraseStepByStep);
    ServerActive = ini.readBool("TCP-IP server", "Active", ServerActive);
    r.Integer("TCP-IP server", "PORT", ServerPort, 1, 65535);
    LastFile = ini.readString("TRAJECTORY", "LAST", LastFile);
    return refused;
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
        const double stored = s.Kind == NumericKind::DegreesToRadians ? *v * std::numbers::pi / 180.0 : *v;
        if (const SettingLimits* l = TranslatorSettingLimits(s.Key); l && !l->Accepts(stored)) return std::nullopt;
        return stored;
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
