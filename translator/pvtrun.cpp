#include "pvtrun.h"

#include "numtext.h"
#include "texts.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace mvx {

namespace {

// Rows shorter than this are not written; their displacement goes into the next row.
constexpr double kMinRowDuration = 1e-4;
// More sub-rows than this for one arc portion would only come from a nonsense angular step.
constexpr double kMaxSubRows = 100000.0;

std::string Trim(std::string_view s)
{
    std::size_t b = 0, e = s.size();
    while (b < e && (s[b] == ' ' || s[b] == '\t' || s[b] == '\r')) ++b;
    while (e > b && (s[e - 1] == ' ' || s[e - 1] == '\t' || s[e - 1] == '\r')) --e;
    return std::string(s.substr(b, e - b));
}

}  // namespace

std::vector<PvtSegment> PvtSpeedProfile(double L, double u, double o, double w, double a)
{
    std::vector<PvtSegment> out;
    if (!(L > 0.0) || !std::isfinite(L)) return out;
    u = std::fabs(u);
    o = std::fabs(o);
    w = std::fabs(w);
    if (!(a > 0.0) || !std::isfinite(a)) a = 1e-9;

    auto push = [&](double len, double end, double dt) {
        if (len > 0.0) out.push_back({len, end, dt});
    };

    if (o > 0.0) {
        const double t1 = std::fabs(o - u) / a;
        const double d1 = o > u ? a * t1 * t1 / 2 + u * t1 : -a * t1 * t1 / 2 + u * t1;
        const double t3 = std::fabs(w - o) / a;
        const double d3 = o > w ? -a * t3 * t3 / 2 + o * t3 : a * t3 * t3 / 2 + o * t3;
        if (L > d1 + d3) {
            const double cruise = L - d1 - d3;
            push(d1, o, t1);
            push(cruise, o, cruise / o);
            push(L - d1 - cruise, w, t3);
            return out;
        }
    }

    // No cruise: up to the peak speed that the length allows, then down to the exit speed.
    const double p = std::sqrt((u * u + w * w + 2 * a * L) / 2);
    if (p >= u && p >= w) {
        // Both halves from the peak: their lengths sum to L by construction, so the choice never
        // depends on rounding and a move from rest to rest never gets a zero duration.
        const double t1 = (p - u) / a;
        const double d1 = std::min(L, (p * p - u * u) / (2 * a));
        const double t3 = (p - w) / a;
        push(d1, p, t1);
        push(L - d1, w, t3);
    } else {
        // Too short to change speed at this acceleration: one even change from u to w.
        push(L, w, 2 * L / (u + w));
    }
    return out;
}

PvtRunBuilder::PvtRunBuilder(const MachineConfig& config) : mConfig(config) {}

void PvtRunBuilder::Clear()
{
    mView.clear();
    mElements = 0;
    mTarget = {0.0, 0.0, 0.0};
    mWritten = {0.0, 0.0, 0.0};
}

void PvtRunBuilder::AddStraight(const std::array<double, 3>& delta, double entry, double cruise, double exit)
{
    const int nd = mConfig.NbDigit;
    const double L = std::sqrt(delta[0] * delta[0] + delta[1] * delta[1] + delta[2] * delta[2]);
    if (mElements == 0) entry = 0.0;
    std::string comment = ";PVT X=" + num::fixed(delta[0], nd) + " Y=" + num::fixed(delta[1], nd);
    if (!mConfig.XYGroupOnly) comment += " Z=" + num::fixed(delta[2], nd);
    comment += " V =" + num::fixed(cruise, nd) + " V " + texts::get("stringBegin") + " =" + num::fixed(entry, nd) +
               " V " + texts::get("stringend") + " =" + num::fixed(exit, nd);
    mView.push_back(std::move(comment));
    if (!(L > 0.0)) return;  // nothing to move, and nothing to divide by
    ++mElements;

    const auto segments = PvtSpeedProfile(L, entry, cruise, exit, mConfig.PvtAcceleration);
    std::array<double, 3> done{0.0, 0.0, 0.0};
    for (std::size_t k = 0; k < segments.size(); ++k) {
        const PvtSegment& s = segments[k];
        std::array<double, 3> d{}, v{};
        for (std::size_t ax = 0; ax < 3; ++ax) {
            const double unit = delta[ax] / L;
            // The last row takes what is left, so the rows add up to the move exactly.
            d[ax] = k + 1 == segments.size() ? delta[ax] - done[ax] : s.Length * unit;
            v[ax] = s.EndSpeed * unit;
            done[ax] += d[ax];
        }
        AddRow(s.Duration, d, v);
    }
}

void PvtRunBuilder::AddArc(double i, double j, double sweep, double entry, double cruise, double exit)
{
    const int nd = mConfig.NbDigit;
    const double r = std::sqrt(i * i + j * j);
    const double L = std::fabs(r * sweep);
    if (mElements == 0) entry = 0.0;
    mView.push_back(";PVT ARC  " + texts::get("stringcenter") + " X=" + num::fixed(i, nd) + " Y=" + num::fixed(j, nd) +
                    " Angle =" + num::fixed(sweep * 180.0 / std::numbers::pi, nd) + " V =" + num::fixed(cruise, nd) +
                    " V " + texts::get("stringBegin") + " =" + num::fixed(entry, nd) + " V " +
                    texts::get("stringend") + " =" + num::fixed(exit, nd));
    if (!(L > 0.0) || !std::isfinite(L)) return;
    ++mElements;

    const double a0 = std::atan2(-j, -i);
    const bool ccw = sweep >= 0.0;
    // Points relative to the arc's start; the start itself is exactly (0, 0).
    auto point = [&](double theta) { return std::array<double, 2>{i + r * std::cos(theta), j + r * std::sin(theta)}; };
    std::array<double, 2> prev{0.0, 0.0};

    const auto segments = PvtSpeedProfile(L, entry, cruise, exit, mConfig.PvtAcceleration);
    double s0 = 0.0;
    double startSpeed = entry;
    const double step = mConfig.AngularStep;
    for (std::size_t k = 0; k < segments.size(); ++k) {
        const PvtSegment& seg = segments[k];
        const bool lastSegment = k + 1 == segments.size();
        const double portion = sweep * seg.Length / L;
        double parts = 0.0;
        if (step > 0.0 && std::isfinite(step)) parts = std::min(std::trunc(std::fabs(portion) / step), kMaxSubRows);
        const int n = static_cast<int>(parts) + 1;
        const double base = a0 + sweep * s0 / L;
        for (int sub = 1; sub <= n; ++sub) {
            const double theta = lastSegment && sub == n ? a0 + sweep : base + portion * sub / n;
            const auto p = point(theta);
            const double speed = startSpeed + sub * (seg.EndSpeed - startSpeed) / n;
            const double tx = ccw ? -std::sin(theta) : std::sin(theta);
            const double ty = ccw ? std::cos(theta) : -std::cos(theta);
            AddRow(seg.Duration / n, {p[0] - prev[0], p[1] - prev[1], 0.0}, {tx * speed, ty * speed, 0.0});
            prev = p;
        }
        s0 += seg.Length;
        startSpeed = seg.EndSpeed;
    }
}

void PvtRunBuilder::AddRow(double dt, const std::array<double, 3>& d, const std::array<double, 3>& v)
{
    for (std::size_t ax = 0; ax < 3; ++ax) mTarget[ax] += d[ax];
    if (!(dt >= kMinRowDuration)) return;  // carried into the next row
    Emit(num::fixed(dt, 6), v, false);
}

void PvtRunBuilder::Emit(const std::string& dtText, const std::array<double, 3>& v, bool literalZeroSpeeds)
{
    const int np = mConfig.NbDigitPvt;
    const std::size_t axes = mConfig.XYGroupOnly ? 2 : 3;
    std::string row = dtText;
    for (std::size_t ax = 0; ax < axes; ++ax) {
        const std::string d = num::fixed(mTarget[ax] - mWritten[ax], np);
        mWritten[ax] += num::parseStrict(d).value_or(0.0);
        row += " " + d + " " + (literalZeroSpeeds ? std::string("0.00") : num::fixed(v[ax], np));
    }
    mView.push_back(std::move(row));
}

std::string PvtRunBuilder::Close()
{
    const int np = mConfig.NbDigitPvt;
    const std::size_t axes = mConfig.XYGroupOnly ? 2 : 3;
    const std::string zero = num::fixed(0.0, np);
    bool carried = false;
    for (std::size_t ax = 0; ax < axes; ++ax)
        if (num::fixed(mTarget[ax] - mWritten[ax], np) != zero) carried = true;
    if (carried) Emit("0.0004", {0.0, 0.0, 0.0}, true);
    std::string text = PvtFileText(mView);
    Clear();
    return text;
}

std::string PvtFileText(const std::vector<std::string>& viewLines)
{
    std::string text;
    for (const std::string& line : viewLines) {
        std::string_view l = line;
        if (auto semi = l.find(';'); semi != std::string_view::npos) l = l.substr(0, semi);
        std::string t = Trim(l);
        if (t.empty()) continue;
        text += t;
        text += '\n';
    }
    return text;
}

}  // namespace mvx
