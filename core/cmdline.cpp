#include "cmdline.h"

#include "translator/machineconfig.h"
#include "translator/numtext.h"

#include <cctype>
#include <cmath>

namespace mvx {

const NumericOption kNumericOptions[5] = {
    {"V=", "SPEED", "POSITIONNING", true},
    {"A=", "TRAJECTORY", "ACCELERATION", true},
    {"U=", "SPEED", "WORKING", true},
    {"S=", "TRAJECTORY", "ANGULARY STEP", true},
    {"D=", "TRAJECTORY", "DISCONTINUITY ANGLE MAX", false},
};

namespace {
std::string upper(std::string s)
{
    for (char& c : s)
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 32);
    return s;
}
std::string lower(std::string s)
{
    for (char& c : s)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c + 32);
    return s;
}

struct ModeWord {
    const char* word;
    int mode;
};
// Tested in this order; the first hit wins ("tcl/s" is TCL).
constexpr ModeWord kModeWords[] = {{"SCT", 1}, {"TCL", 2}, {"KVX", 3}, {"/S", 1}, {"/T", 2},
                                   {"/X", 3},  {"/1", 1},  {"/2", 2},  {"/3", 3}};
}  // namespace

CommandLine ParseCommandLine(const std::vector<std::string>& args)
{
    CommandLine cl;
    if (args.empty()) return cl;
    cl.HasArguments = true;
    cl.CloseAfterBatch = true;
    cl.CommandFile = lower(args[0]);
    for (std::size_t i = 1; i < args.size(); ++i) {
        cl.CommandTail += upper(args[i]) + " ";
        if (!args[i].empty() && (args[i][0] == 'h' || args[i][0] == 'H')) cl.HiddenServer = true;
    }
    for (const ModeWord& m : kModeWords) {
        if (cl.CommandTail.find(m.word) != std::string::npos) {
            cl.CommandMode = m.mode;
            break;
        }
    }
    const auto has = [&](const char* w) { return cl.CommandTail.find(w) != std::string::npos; };
    if (has("/V")) cl.CloseAfterBatch = false;
    cl.QuietMode = has("/H");
    cl.Extend = has("/E");
    cl.Reduce = has("/R");
    return cl;
}

OptionValue ReadOptionValue(const std::string& tail, const NumericOption& option)
{
    OptionValue out;
    const std::size_t at = tail.find(option.key);
    if (at == std::string::npos) return out;
    const std::string text = tail.substr(at + std::string(option.key).size(), 256);
    std::size_t used = 0;
    const double v = num::parseLenient(text, &used);
    // A blank right after "=" is not a number either.
    if (used == 0 || (!text.empty() && text[0] == ' ') || !std::isfinite(v) || (option.positive ? v <= 0 : v < 0)) {
        out.status = OptionStatus::Invalid;
        return out;
    }
    // The same range as the settings file and the Setup menu.
    if (const SettingLimits* l = TranslatorSettingLimits(option.name); l && !l->Accepts(v)) {
        out.status = OptionStatus::Invalid;
        return out;
    }
    out.status = OptionStatus::Valid;
    out.value = v;
    return out;
}

}  // namespace mvx
