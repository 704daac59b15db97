#include "pidtestlog.h"

#include "gatheringfile.h"
#include "translator/numtext.h"

#include <cmath>

namespace mvx::maint {

std::string ScientificText(double value, int width)
{
    std::string out;
    if (!std::isfinite(value)) {
        out = std::isnan(value) ? "NAN" : (value > 0 ? "INF" : "-INF");
    } else {
        int exponent = 0;
        double mantissa = value;
        if (value != 0.0) {
            exponent = static_cast<int>(std::floor(std::log10(std::fabs(value))));
            mantissa = value / std::pow(10.0, exponent);
            std::string m = num::fixed(mantissa, 14);
            // Rounding may give 10.0...: one more in the exponent.
            if (std::fabs(num::parseLenient(m)) >= 10.0) {
                ++exponent;
                mantissa = value / std::pow(10.0, exponent);
            } else if (std::fabs(num::parseLenient(m)) < 1.0) {
                --exponent;
                mantissa = value / std::pow(10.0, exponent);
            }
        }
        out = num::fixed(mantissa, 14);
        out += exponent < 0 ? "E-" : "E+";
        std::string e = std::to_string(std::abs(exponent));
        while (e.size() < 3) e.insert(e.begin(), '0');
        out += e;
    }
    if (static_cast<int>(out.size()) < width) out.insert(out.begin(), width - out.size(), ' ');
    return out;
}

std::string FormatPidTestLog(const PidTestLog& log)
{
    const char* eol = "\r\n";
    std::string t;
    t += "AXIS NAME : " + log.axis + eol;
    t += "START POSITION : " + log.start + eol;
    t += "PERIOD : " + log.period + eol;
    t += "SPEED : " + log.speed + eol;
    t += "DURATION : " + log.duration + eol;
    t += "LENGTH : " + log.length + eol;
    t += eol;
    t += log.stamp + eol;
    t += eol;
    t += "NB MEASURES : " + num::integer(static_cast<long long>(log.samples.size())) + eol;
    t += eol;
    for (const PidSample& s : log.samples) {
        t += num::fixed(s.x, 6) + " " + num::fixed(s.setpoint, 6) + " " + num::fixed(s.current, 6) + " " +
             ScientificText(s.error) + eol;
    }
    return t;
}

namespace {
std::vector<std::string> allLines(std::string_view text)
{
    std::vector<std::string> out;
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.find('\n', start);
        if (end == std::string_view::npos) end = text.size();
        std::string line(text.substr(start, end - start));
        if (!line.empty() && line.back() == '\r') line.pop_back();
        out.push_back(std::move(line));
        start = end + 1;
    }
    return out;
}

// The text after the first ":" and the character after it.
std::string valueAfterColon(const std::string& line)
{
    const std::size_t colon = line.find(':');
    if (colon == std::string::npos) return {};
    return colon + 2 <= line.size() ? line.substr(colon + 2) : std::string();
}
}  // namespace

std::optional<PidLogRead> ParsePidTestLog(std::string_view text)
{
    const std::vector<std::string> lines = allLines(text);
    if (lines.size() < 10) return std::nullopt;
    PidLogRead r;
    r.headerLines.assign(lines.begin(), lines.begin() + 10);
    std::string* fields[6] = {&r.log.axis, &r.log.start, &r.log.period, &r.log.speed, &r.log.duration, &r.log.length};
    for (int i = 0; i < 6; ++i) *fields[i] = valueAfterColon(lines[i]);
    r.log.stamp = lines[7];
    const std::optional<long long> n = num::parseIntStrict(valueAfterColon(lines[9]));
    if (!n || *n < 0) return std::nullopt;
    r.announced = static_cast<std::size_t>(*n);
    // Samples: four numbers each, blanks and line ends between them skipped.
    std::string rest;
    for (std::size_t i = 10; i < lines.size(); ++i) rest += lines[i] + "\n";
    std::size_t pos = 0;
    auto skip = [&] {
        while (pos < rest.size() && (rest[pos] == ' ' || rest[pos] == '\t' || rest[pos] == '\n')) ++pos;
    };
    while (r.log.samples.size() < r.announced) {
        double v[4];
        bool ok = true;
        for (double& x : v) {
            skip();
            std::size_t used = 0;
            x = num::parseLenient(std::string_view(rest).substr(pos), &used);
            if (used == 0) {
                ok = false;
                break;
            }
            pos += used;
        }
        if (!ok) break;
        r.log.samples.push_back({v[0], v[1], v[2], v[3]});
        // The rest of the sample's line is skipped.
        const std::size_t nl = rest.find('\n', pos);
        pos = nl == std::string::npos ? rest.size() : nl + 1;
    }
    r.complete = r.log.samples.size() == r.announced;
    return r;
}

std::vector<PidSample> PidSamplesFromGathering(std::string_view text, double fallbackPeriod, double* periodOut)
{
    std::vector<PidSample> out;
    const std::vector<std::string> lines = NonEmptyLines(text);
    double period = lines.empty() ? 0.0 : num::parseLenient(lines[0]);
    if (!(period > 0.0) || !std::isfinite(period)) period = fallbackPeriod;
    if (periodOut) *periodOut = period;
    if (lines.size() < 3) return out;
    for (std::size_t i = 2; i < lines.size(); ++i) {
        const std::vector<double> v = ReadSampleValues(lines[i], 3);
        if (std::isnan(v[0]) || std::isnan(v[1]) || std::isnan(v[2])) continue;
        out.push_back({static_cast<double>(i - 2) * period, v[0], v[1], v[2]});
    }
    return out;
}

std::optional<long long> PidTestPoints(double duration, double period)
{
    if (!std::isfinite(duration) || !std::isfinite(period) || !(period > 0.0) || duration < 0.0) return std::nullopt;
    const double q = duration / period;
    if (!std::isfinite(q) || q > 1e12) return std::nullopt;
    return static_cast<long long>(std::nearbyint(q)) + 1;
}

}  // namespace mvx::maint
