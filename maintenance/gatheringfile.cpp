#include "gatheringfile.h"

#include "core/inifile.h"
#include "translator/numtext.h"

#include <cmath>
#include <limits>

namespace mvx::maint {

namespace {
constexpr double kMissing = std::numeric_limits<double>::quiet_NaN();
bool isSeparator(char c) { return c == '\t' || c == ' '; }
}  // namespace

std::vector<std::string> NonEmptyLines(std::string_view text)
{
    std::vector<std::string> lines;
    std::size_t start = 0;
    while (start <= text.size()) {
        std::size_t end = text.find_first_of("\r\n", start);
        if (end == std::string_view::npos) end = text.size();
        if (end > start) lines.emplace_back(text.substr(start, end - start));
        if (end >= text.size()) break;
        start = end + 1;
        if (text[end] == '\r' && start < text.size() && text[start] == '\n') ++start;
    }
    return lines;
}

std::vector<std::string> SplitColumnNames(std::string_view line, bool tabsOnly)
{
    const bool byTab = tabsOnly || line.find('\t') != std::string_view::npos;
    std::vector<std::string> names;
    std::string current;
    for (char c : line) {
        if (byTab ? c == '\t' : c == ' ') {
            if (!current.empty()) names.push_back(current);
            current.clear();
        } else {
            current += c;
        }
    }
    if (!current.empty()) names.push_back(current);
    return names;
}

std::vector<double> ReadSampleValues(std::string_view line, std::size_t count)
{
    std::vector<double> values(count, kMissing);
    std::size_t pos = 0;
    for (std::size_t j = 0; j < count && pos < line.size(); ++j) {
        while (pos < line.size() && isSeparator(line[pos])) ++pos;
        if (pos >= line.size()) break;
        std::size_t used = 0;
        const double v = num::parseLenient(line.substr(pos), &used);
        if (used > 0) values[j] = v;
        // Whatever follows the number up to the next separator belongs to this value, so an
        // unreadable text never shifts the following columns.
        pos += used;
        while (pos < line.size() && !isSeparator(line[pos])) ++pos;
    }
    return values;
}

GatheringData ParseGathering(std::string_view text, bool tabNames, std::size_t maxColumns)
{
    GatheringData data;
    const std::vector<std::string> lines = NonEmptyLines(text);
    if (lines.empty()) return data;
    std::size_t used = 0;
    data.period = num::parseLenient(lines[0], &used);
    data.periodWhole = num::parseStrict(lines[0]).has_value();
    data.periodValid = used > 0 && std::isfinite(data.period) && data.period >= kGatheringMinPeriod;
    if (lines.size() < 2) return data;
    data.names = SplitColumnNames(lines[1], tabNames);
    if (data.names.size() > maxColumns) data.names.resize(maxColumns);
    data.samples.reserve(lines.size() - 2);
    for (std::size_t i = 2; i < lines.size(); ++i) data.samples.push_back(ReadSampleValues(lines[i], data.names.size()));
    return data;
}

std::string SeriesNameOf(std::string_view columnName)
{
    std::string out(columnName);
    for (char& c : out)
        if (c == ' ' || c == '.') c = '_';
    return out;
}

std::string ColumnRecord::title() const
{
    if (multiplier == 1.0) return name;
    return name + "(x" + num::general(multiplier, 4) + ")";
}

ColumnRecord ReadColumnRecord(const IniFile& ini, const std::string& name, bool withAxis, ColumnRecord base)
{
    ColumnRecord r = base;
    r.name = name;
    r.multiplier = ini.readFloat(name, "MULTI", 1.0);
    r.offset = ini.readFloat(name, "OFFSET", 0.0);
    r.visible = ini.readBool(name, "VISIBLE", true);
    r.spectrum = ini.readBool(name, "FFT", true);
    if (withAxis) {
        r.autoScale = ini.readBool(name, "AUTO", true);
        r.minimum = ini.readFloat(name, "MIN", -100.0);
        r.maximum = ini.readFloat(name, "MAX", 100.0);
    }
    return r;
}

bool WriteColumnRecord(IniFile& ini, const ColumnRecord& r)
{
    return ini.writeFloat(r.name, "MULTI", r.multiplier) && ini.writeFloat(r.name, "OFFSET", r.offset) &&
           ini.writeBool(r.name, "VISIBLE", r.visible) && ini.writeBool(r.name, "FFT", r.spectrum) &&
           ini.writeBool(r.name, "AUTO", r.autoScale) && ini.writeFloat(r.name, "MIN", r.minimum) &&
           ini.writeFloat(r.name, "MAX", r.maximum);
}

std::vector<XYPoint> XYPairs(const GatheringData& data, const ColumnRecord& first, const ColumnRecord& second,
                             std::size_t firstColumn, std::size_t secondColumn)
{
    std::vector<XYPoint> out;
    if (firstColumn >= data.names.size() || secondColumn >= data.names.size()) return out;
    for (const std::vector<double>& row : data.samples) {
        const double a = row[firstColumn], b = row[secondColumn];
        if (std::isnan(a) || std::isnan(b)) continue;
        out.push_back({first.scaled(a), second.scaled(b)});
    }
    return out;
}

}  // namespace mvx::maint
