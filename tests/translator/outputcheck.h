#pragma once
// What every conversion output must satisfy, whatever the G-code: whole lines, no non-finite
// number, PVT rows of the group's shape with a real duration, SCT lines within their width and
// short error texts. Shared by the fuzz target and the table of its reproducers.

#include "translator/numtext.h"
#include "translator/sctconvert.h"
#include "translator/tclconvert.h"

#include <cmath>
#include <string>
#include <string_view>
#include <vector>

namespace mvx::test {

// The configuration a fuzz input selects with its first byte.
inline MachineConfig FuzzConfig(unsigned char bits)
{
    MachineConfig c;
    c.GroupName = "MULTI";
    c.GCodeFileName = "FUZZ.NC";
    c.DateText = "01/01/2026";
    c.TimeText = "12:00:00";
    c.XYGroupOnly = (bits & 1) != 0;
    c.UseFCodes = (bits & 2) == 0;
    if (bits & 4) c.NbDigit = 0;
    if (bits & 8) c.NbDigitPvt = 3;
    if (bits & 16) c.CurrentPosition = {HUGE_VAL, std::nan(""), -1e308};  // a position read as garbage
    return c;
}

namespace detail {

inline bool nonFiniteToken(std::string_view line)
{
    std::size_t i = 0;
    while (i < line.size()) {
        while (i < line.size() && (line[i] == ' ' || line[i] == '"')) ++i;
        std::size_t j = i;
        while (j < line.size() && line[j] != ' ' && line[j] != '"') ++j;
        std::string_view t = line.substr(i, j - i);
        if (!t.empty() && (t.front() == '-' || t.front() == '+')) t.remove_prefix(1);
        if (t == "INF" || t == "NAN" || t == "inf" || t == "nan") return true;
        i = j;
    }
    return false;
}

inline std::string checkScript(const std::string& text, const char* what)
{
    if (!text.empty() && text.back() != '\n') return std::string(what) + ": last line without line end";
    std::size_t pos = 0;
    while (pos < text.size()) {
        const std::size_t eol = text.find('\n', pos);
        const std::string_view l(text.data() + pos, eol - pos);
        pos = eol + 1;
        if (l.find('\r') != std::string_view::npos) return std::string(what) + ": a line break inside a line";
        if (nonFiniteToken(l)) return std::string(what) + ": non-finite number in \"" + std::string(l) + "\"";
    }
    return {};
}

inline bool endsWithFooter(const std::string& text)
{
    const std::string_view last = "\nreturn $tcl_argv(0)\n";
    return text.size() >= last.size() && text.compare(text.size() - last.size(), last.size(), last) == 0;
}

inline std::string checkPvt(const std::string& text, bool xyOnly, const std::string& name)
{
    if (!text.empty() && text.back() != '\n') return name + ": last row without line end";
    std::size_t pos = 0;
    const std::size_t fields = xyOnly ? 5 : 7;
    while (pos < text.size()) {
        const std::size_t eol = text.find('\n', pos);
        const std::string_view row(text.data() + pos, eol - pos);
        pos = eol + 1;
        std::vector<double> v;
        std::size_t i = 0;
        while (i <= row.size()) {
            const std::size_t j = std::min(row.find(' ', i), row.size());
            const auto n = num::parseStrict(row.substr(i, j - i));
            if (!n || !std::isfinite(*n)) return name + ": bad field in row \"" + std::string(row) + "\"";
            v.push_back(*n);
            i = j + 1;
        }
        if (v.size() != fields) return name + ": " + std::to_string(v.size()) + " fields in \"" + std::string(row) + "\"";
        if (!(v[0] >= 1e-4)) return name + ": duration below 0.0001 s in \"" + std::string(row) + "\"";
    }
    return {};
}

inline std::string checkError(const gcode::Status& e, const char* what)
{
    if (e.Text.size() > 600) return std::string(what) + ": error text of " + std::to_string(e.Text.size()) + " bytes";
    return {};
}

}  // namespace detail

// Empty when the outputs are sound, else what is wrong.
inline std::string CheckSctOutputs(const sct::SctConversion& c, const MachineConfig& config)
{
    if (auto e = detail::checkError(c.Error, "SCT"); !e.empty()) return e;
    if (auto e = detail::checkScript(c.Script, "SCT script"); !e.empty()) return e;
    for (const auto& f : c.PvtFiles)
        if (auto e = detail::checkPvt(f.Text, config.XYGroupOnly, f.Name); !e.empty()) return e;
    std::size_t pos = 0;
    while (pos < c.SctText.size()) {
        const std::size_t eol = c.SctText.find("\r\n", pos);
        if (eol == std::string::npos) return "TEST.SCT: a line without CR LF";
        const std::string_view line(c.SctText.data() + pos, eol - pos);
        if ((line.rfind("DR ", 0) == 0 || line.rfind("AH ", 0) == 0) && line.size() > 41)
            return "TEST.SCT: line wider than 41: " + std::string(line);
        if (detail::nonFiniteToken(line)) return "TEST.SCT: non-finite number in " + std::string(line);
        pos = eol + 2;
    }
    if (c.Error.Ok() && !c.Stopped && !detail::endsWithFooter(c.Script))
        return "SCT script without its footer";
    return {};
}

inline std::string CheckTclOutputs(const tclpath::TclConversionResult& r, const MachineConfig& config)
{
    if (auto e = detail::checkError(r.Error, "TCL"); !e.empty()) return e;
    if (auto e = detail::checkScript(r.Script, "TCL script"); !e.empty()) return e;
    for (const auto& f : r.PvtFiles)
        if (auto e = detail::checkPvt(f.Text, config.XYGroupOnly, f.Name); !e.empty()) return e;
    for (const auto& rec : r.LineTable)
        if (detail::nonFiniteToken(rec.Text())) return "line table: non-finite number in " + rec.Text();
    if (r.Error.Ok() && !r.Stopped && !detail::endsWithFooter(r.Script))
        return "TCL script without its footer";
    return {};
}

// The lines of a fuzz input after its first byte, split as a loaded file is (LF, CR LF).
inline std::vector<std::string> FuzzLines(std::string_view text)
{
    std::vector<std::string> lines;
    std::size_t pos = 0;
    while (pos <= text.size()) {
        std::size_t eol = text.find('\n', pos);
        if (eol == std::string_view::npos) eol = text.size();
        std::string line(text.substr(pos, eol - pos));
        if (!line.empty() && line.back() == '\r') line.pop_back();
        lines.push_back(std::move(line));
        pos = eol + 1;
    }
    if (!lines.empty() && lines.back().empty()) lines.pop_back();
    return lines;
}

}  // namespace mvx::test
