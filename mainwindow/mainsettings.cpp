#include "mainsettings.h"

#include "core/inifile.h"
#include "link/linksettings.h"
#include "view3dsettings.h"
#include "translator/machineconfig.h"
#include "translator/numtext.h"

#include <QDir>
#include <QFile>

#include <cmath>
#include <numbers>

namespace mvx {

namespace {

using Row = SettingRow<MainSettings>;
using M = MainSettings;

Row translator(const char* section, const char* key, double M::*field)
{
    const SettingLimits* l = TranslatorSettingLimits(key);
    return {section, key, field, SettingCheck::Strict, l->Min, l->Max};
}

// Rows read before the 3D view's sizes, so that refusals are named in the file's usual order.
constexpr std::size_t kRowsBeforeView = 2;

const std::vector<Row>& rows()
{
    static const std::vector<Row> r = {
        {"PRECISION", "NB DIGIT", &M::NbDigit, SettingCheck::Strict, 0, 15},
        {"PRECISION", "NB DIGIT PVT", &M::NbDigitPvt, SettingCheck::Strict, 3, 15},
        translator("SPEED", "POSITIONNING", &M::PositioningSpeed),
        translator("SPEED", "WORKING", &M::WorkingSpeed),
        translator("TRAJECTORY", "DISCONTINUITY ANGLE MAX", &M::DiscontinuityAngleMax),
        translator("TRAJECTORY", "ACCELERATION", &M::PvtAcceleration),
        translator("TRAJECTORY", "ANGULARY STEP", &M::AngularStep),
        {"SPEED", "USE F CODES", &M::UseFCodes},
        {"HELP", "FILE", &M::HelpFile},
        {"MAIN", "MODE", &M::Mode},
        {"SIZE", "EXTENDED", &M::Extended},
        {"ENCODER", "PERIOD", &M::EncoderPeriod, SettingCheck::Strict, 1, 3600000},
        {"DRAWING", "ERASE STEP BY STEP", &M::EraseStepByStep},
        {"TCP-IP server", "Active", &M::ServerActive},
        // The port item always wrote its section upper-cased.
        {"TCP-IP server", "PORT", &M::ServerPort, SettingCheck::Strict, 1, 65535, "TCP-IP SERVER"},
        {"TRAJECTORY", "LAST", &M::LastFile},
        {"LEFT PANEL", "WIDTH", &M::LeftPanelWidth},
        {"RIGHT PANEL", "WIDTH", &M::RightPanelWidth},
    };
    return r;
}

}  // namespace

std::span<const SettingRow<MainSettings>> MainSettingRows() { return rows(); }

std::vector<std::string> MainSettings::Read(const IniFile& ini)
{
    std::vector<std::string> refused;
    const std::span<const Row> all = rows();
    ReadSettingRows(ini, all.first(kRowsBeforeView), *this, &refused);
    // The controller's address is the link's key.
    link::LinkSettings linkSet;
    linkSet.ControllerIp = ControllerIp;
    linkSet.Read(ini, &link::LinkSettings::ControllerIp);
    ControllerIp = linkSet.ControllerIp;
    view3d::View3DSettings view;
    view.NodeSize = NodeSize;
    view.ArrowsSize = ArrowsSize;
    view.ConeSize = ConeSize;
    view.Read(ini, &refused);
    NodeSize = view.NodeSize;
    ArrowsSize = view.ArrowsSize;
    ConeSize = view.ConeSize;
    ReadSettingRows(ini, all.subspan(kRowsBeforeView), *this, &refused);
    return refused;
}

void MainSettings::WriteClosing(IniFile& ini) const
{
    Write(ini, &M::LeftPanelWidth);
    Write(ini, &M::RightPanelWidth);
    Write(ini, &M::HelpFile);
    Write(ini, &M::Extended);
}

bool ApplyNumericOption(IniFile* ini, MainSettings& m, std::string_view section, std::string_view key, double value)
{
    for (const Row& r : rows()) {
        const auto* field = std::get_if<double M::*>(&r.Field);
        if (!field || section != r.Section || key != r.Key) continue;
        m.*(*field) = value;
        if (ini) m.Write(*ini, *field);
        return true;
    }
    return false;
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
    {"Positionningspeed1", "Positionning speed", "Stringpositionspeed", "Stringnewspeed", " : ",
     &M::PositioningSpeed, nullptr, NumericKind::Positive},
    {"Workingspeed1", "Working speed", "stringworkspeed", "Stringnewspeed", " : ", &M::WorkingSpeed, nullptr,
     NumericKind::Positive},
    {"Trajectoryacceleration1", "Trajectory acceleration", "stringtrajectory", "stringacceleration", " : ",
     &M::PvtAcceleration, nullptr, NumericKind::Positive},
    {"Maxangulardiscontuinity1", "Max angular discontuinity", "stringtrajectory", "Stringmaxangdis", " : ",
     &M::DiscontinuityAngleMax, nullptr, NumericKind::Positive},
    {"Angularystep1", "Angulary step", "stringtrajectory", "stringangularstep", " : ", &M::AngularStep, nullptr,
     NumericKind::DegreesToRadians},
    {"Nbdigits1", "Nb digits", "stringprecision", "stringnbdigit", " ", nullptr, &M::NbDigit, NumericKind::Digits},
    {"NbdigitsforPVT1", "Nb digits for PVT", "stringprecision", "stringnbdigitPVT", " ", nullptr, &M::NbDigitPvt,
     NumericKind::PvtDigits},
    {"Sampleperiod1", "Sample period", "stringlecturecodeurs", "stringrefreshperiod", "", nullptr,
     &M::EncoderPeriod, NumericKind::PeriodMs},
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
        // The range the settings file accepts for the field.
        if (const Row* r = s.Real ? FindSettingRow(MainSettingRows(), s.Real) : nullptr;
            r && r->Check == SettingCheck::Strict && !(stored >= r->Min && stored <= r->Max))
            return std::nullopt;
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

double NumericSettingValue(const MainSettings& m, const NumericSetting& s)
{
    if (s.Real) return s.Kind == NumericKind::DegreesToRadians ? m.*s.Real * 180.0 / std::numbers::pi : m.*s.Real;
    if (s.Integer) return m.*s.Integer;
    return 0.0;
}

void SetNumericSettingValue(MainSettings& m, const NumericSetting& s, double value)
{
    if (s.Real) m.*s.Real = value;
    else if (s.Integer) m.*s.Integer = static_cast<int>(value);
}

bool WriteNumericSetting(IniFile& ini, const MainSettings& m, const NumericSetting& s)
{
    if (s.Real) return m.Write(ini, s.Real);
    if (s.Integer) return m.Write(ini, s.Integer);
    return false;
}

void EmptyFolder(const std::string& folder)
{
    QDir dir(QString::fromStdString(folder));
    if (!dir.isAbsolute() || !dir.exists()) return;
    for (const QString& name : dir.entryList(QDir::Files | QDir::Hidden | QDir::System))
        QFile::remove(dir.absoluteFilePath(name));
}

}  // namespace mvx
