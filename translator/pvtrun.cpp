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

namespace {

// At most three pieces: speed change, cruise, speed change.
struct Profile {
    std::array<PvtSegment, 3> Pieces{};
    std::size_t Count = 0;

    void push_back(const PvtSegment& s) { Pieces[Count++] = s; }
    std::size_t size() const noexcept { return Count; }
    const PvtSegment& operator[](std::size_t k) const noexcept { return Pieces[k]; }
};

Profile SpeedProfile(double L, double u, double o, double w, double a)
{
    Profile out;
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

}  // namespace

std::vector<PvtSegment> PvtSpeedProfile(double L, double u, double o, double w, double a)
{
    const Profile p = SpeedProfile(L, u, o, w, a);
    return {p.Pieces.begin(), p.Pieces.begin() + static_cast<std::ptrdiff_t>(p.Count)};
}

PvtRunBuilder::PvtRunBuilder(const MachineConfig& config) : mConfig(config) {}

void PvtRunBuilder::Clear()
{
    mText.clear();
    mRows = 0;
    mNotes.clear();
    mView.clear();
    mElements = 0;
    mTarget = {0.0, 0.0, 0.0};
    mWritten = {0.0, 0.0, 0.0};
}

std::string PvtRunBuilder::NoteText(const Note& n) const
{
    const int nd = mConfig.NbDigit;
    std::string t;
    if (n.Arc) {
        t = ";PVT ARC  " + texts::get("stringcenter") + " X=" + num::fixed(n.A, nd) + " Y=" + num::fixed(n.B, nd) +
            " Angle =" + num::fixed(n.C, nd);
    } else {
        t = ";PVT X=" + num::fixed(n.A, nd) + " Y=" + num::fixed(n.B, nd);
        if (!mConfig.XYGroupOnly) t += " Z=" + num::fixed(n.C, nd);
    }
    t += " V =" + num::fixed(n.Cruise, nd) + " V " + texts::get("stringBegin") + " =" + num::fixed(n.Entry, nd) +
         " V " + texts::get("stringend") + " =" + num::fixed(n.Exit, nd);
    return t;
}

const std::vector<std::string>& PvtRunBuilder::ViewLines() const
{
    mView.clear();
    mView.reserve(mNotes.size() + mRows);
    std::size_t note = 0, row = 0, pos = 0;
    for (;;) {
        while (note < mNotes.size() && mNotes[note].RowsBefore == row) mView.push_back(NoteText(mNotes[note++]));
        if (row == mRows) break;
        const std::size_t eol = mText.find('\n', pos);
        mView.emplace_back(mText, pos, eol - pos);
        pos = eol + 1;
        ++row;
    }
    return mView;
}

void PvtRunBuilder::AddStraight(const std::array<double, 3>& delta, double entry, double cruise, double exit)
{
    const double L = std::sqrt(delta[0] * delta[0] + delta[1] * delta[1] + delta[2] * delta[2]);
    if (mElements == 0) entry = 0.0;
    mNotes.push_back({false, delta[0], delta[1], delta[2], cruise, entry, exit, mRows});
    if (!(L > 0.0)) return;  // nothing to move, and nothing to divide by
    ++mElements;

    const Profile segments = SpeedProfile(L, entry, cruise, exit, mConfig.PvtAcceleration);
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
    const double r = std::sqrt(i * i + j * j);
    const double L = std::fabs(r * sweep);
    if (mElements == 0) entry = 0.0;
    mNotes.push_back({true, i, j, sweep * 180.0 / std::numbers::pi, cruise, entry, exit, mRows});
    if (!(L > 0.0) || !std::isfinite(L)) return;
    ++mElements;

    const double a0 = std::atan2(-j, -i);
    const bool ccw = sweep >= 0.0;
    // Points relative to the arc's start; the start itself is exactly (0, 0).
    auto point = [&](double theta) { return std::array<double, 2>{i + r * std::cos(theta), j + r * std::sin(theta)}; };
    std::array<double, 2> prev{0.0, 0.0};

    const Profile segments = SpeedProfile(L, entry, cruise, exit, mConfig.PvtAcceleration);
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
    Emit(dt, v, false);
}

// The closing row has a fixed short duration and rest speeds.
void PvtRunBuilder::Emit(double dt, const std::array<double, 3>& v, bool closingRow)
{
    const int np = mConfig.NbDigitPvt;
    const std::size_t axes = mConfig.XYGroupOnly ? 2 : 3;
    if (closingRow) mText += "0.0004";
    else num::appendFixed(mText, dt, 6);
    for (std::size_t ax = 0; ax < axes; ++ax) {
        mText.push_back(' ');
        mWritten[ax] += num::appendFixedRead(mText, mTarget[ax] - mWritten[ax], np);
        mText.push_back(' ');
        if (closingRow) mText += "0.00";
        else num::appendFixed(mText, v[ax], np);
    }
    mText.push_back('\n');
    ++mRows;
}

std::string PvtRunBuilder::Close()
{
    const int np = mConfig.NbDigitPvt;
    const std::size_t axes = mConfig.XYGroupOnly ? 2 : 3;
    const std::string zero = num::fixed(0.0, np);
    bool carried = false;
    for (std::size_t ax = 0; ax < axes; ++ax)
        if (num::fixed(mTarget[ax] - mWritten[ax], np) != zero) carried = true;
    if (carried) Emit(0.0, {0.0, 0.0, 0.0}, true);
    std::string text(mText);  // exact size; the buffer stays for the next run
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
