#include "gatheringfile.h"

#include "core/inifile.h"
#include "core/settingstable.h"
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

namespace {

using C = ColumnRecord;

// The keys of a column's section in the settings file; the last three are read only for a
// column drawn on an axis of its own.
const SettingRow<C> kColumnRows[] = {
    {nullptr, "MULTI", &C::multiplier}, {nullptr, "OFFSET", &C::offset}, {nullptr, "VISIBLE", &C::visible},
    {nullptr, "FFT", &C::spectrum},     {nullptr, "AUTO", &C::autoScale}, {nullptr, "MIN", &C::minimum},
    {nullptr, "MAX", &C::maximum},
};
constexpr std::size_t kAxisRows = 3;

}  // namespace

ColumnRecord ReadColumnRecord(const IniFile& ini, const std::string& name, bool withAxis, ColumnRecord base)
{
    const std::span<const SettingRow<C>> rows = kColumnRows;
    ColumnRecord r;  // a missing key reads as its default
    r.name = name;
    ReadSettingRowsIn(ini, name, withAxis ? rows : rows.first(rows.size() - kAxisRows), r);
    if (!withAxis) {
        r.autoScale = base.autoScale;
        r.minimum = base.minimum;
        r.maximum = base.maximum;
    }
    return r;
}

bool WriteColumnRecord(IniFile& ini, const ColumnRecord& r)
{
    return WriteSettingRowsIn(ini, r.name, std::span<const SettingRow<C>>(kColumnRows), r);
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
