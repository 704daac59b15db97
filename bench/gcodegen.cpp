#include "gcodegen.h"

#include "translator/numtext.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace mvx::bench {

namespace {

constexpr double kPi = std::numbers::pi;

// splitmix64: small, fast and the same everywhere.
class Random {
public:
    explicit Random(std::uint64_t seed) : mState(seed) {}
    std::uint64_t Next()
    {
        std::uint64_t z = (mState += 0x9E3779B97F4A7C15ull);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        return z ^ (z >> 31);
    }
    double Unit() { return static_cast<double>(Next() >> 11) * 0x1.0p-53; }  // [0, 1)
    double Range(double lo, double hi) { return lo + (hi - lo) * Unit(); }
    int Below(int n) { return static_cast<int>(Next() % static_cast<std::uint64_t>(n)); }

private:
    std::uint64_t mState;
};

// Four decimals, and the value the program will read back.
double rounded(double v) { return std::round(v * 10000.0) / 10000.0; }
std::string n4(double v) { return num::fixed(v, 4); }

class Writer {
public:
    Writer(const GeneratorOptions& o, std::vector<std::string>& out) : mOptions(o), mOut(out), mRandom(o.Seed) {}

    // Exactly options.Lines lines, or the eight of header and footer when fewer are asked for.
    void Run()
    {
        const long long total = mOptions.Lines;
        const long long footer = 3;
        Emit("(MOVANTRIX bench program, seed " + num::integer(static_cast<long long>(mOptions.Seed)) + ")");
        Emit("G90");
        Emit("G0 Z5");
        Emit("G0 X0 Y0");
        Emit("G1 Z-1 F300");
        mZ = -1.0;
        while (static_cast<long long>(mOut.size()) + footer < total) Block(total - footer - static_cast<long long>(mOut.size()));
        Emit("G0 Z5");
        Emit("M9");
        Emit("M2");
    }

private:
    void Emit(std::string line) { mOut.push_back(std::move(line)); }

    void Block(long long room)
    {
        const int r = mRandom.Below(1000);
        int edge = mOptions.ArcsPerMille;
        if (r < edge) return Arc();
        if (r < (edge += mOptions.CornersPerMille)) return Corner();
        if (room >= 3 && r < (edge += mOptions.RetractsPerMille)) return Retract();
        if (r < (edge += mOptions.MCodesPerMille)) return Emit(mCoolant ? "M9" : "M8"), void(mCoolant = !mCoolant);
        if (r < (edge += mOptions.DwellsPerMille)) return Emit("G4 P" + n4(rounded(mRandom.Range(0.1, 1.0))));
        Smooth();
    }

    // Keeps the tool within a few hundred millimetres of the origin.
    void Steer()
    {
        if (std::hypot(mX, mY) < 150.0) return;
        const double home = std::atan2(-mY, -mX);
        double d = std::remainder(home - mHeading, 2.0 * kPi);
        mHeading += 0.2 * d;
    }

    void LineTo(double x, double y, const std::string& feed = {})
    {
        mX = rounded(x);
        mY = rounded(y);
        Emit("G1 X" + n4(mX) + " Y" + n4(mY) + feed);
    }

    // A short step along a curve whose curvature wanders slowly: long smooth chains.
    void Smooth()
    {
        mCurvature += mRandom.Range(-0.02, 0.02);
        mCurvature = std::clamp(mCurvature, -0.25, 0.25);
        const double step = mRandom.Range(0.2, 1.0);
        mHeading += mCurvature * step * 0.1;
        Steer();
        LineTo(mX + step * std::cos(mHeading), mY + step * std::sin(mHeading));
    }

    void Corner()
    {
        const double turn = mRandom.Range(0.5, 2.6) * (mRandom.Below(2) ? 1.0 : -1.0);
        mHeading += turn;
        Steer();
        const double length = mRandom.Range(1.0, 10.0);
        LineTo(mX + length * std::cos(mHeading), mY + length * std::sin(mHeading));
    }

    void Arc()
    {
        const bool ccw = mRandom.Below(2) != 0;
        const double radius = mRandom.Range(2.0, 20.0);
        // Mostly tangent to the path, else a corner into the arc.
        double toCentre = mHeading + (ccw ? kPi / 2.0 : -kPi / 2.0);
        if (mRandom.Below(10) < 3) toCentre += mRandom.Range(-1.5, 1.5);
        const double cx = rounded(mX + radius * std::cos(toCentre));
        const double cy = rounded(mY + radius * std::sin(toCentre));
        const double r = std::hypot(mX - cx, mY - cy);
        const double a0 = std::atan2(mY - cy, mX - cx);
        const double sweep = mRandom.Range(0.3, 2.0) * (ccw ? 1.0 : -1.0);
        const double a1 = a0 + sweep;
        const double ex = rounded(cx + r * std::cos(a1)), ey = rounded(cy + r * std::sin(a1));
        Emit(std::string(ccw ? "G3" : "G2") + " X" + n4(ex) + " Y" + n4(ey) + " I" + n4(rounded(cx - mX)) + " J" +
             n4(rounded(cy - mY)));
        mX = ex;
        mY = ey;
        mHeading = a1 + (ccw ? kPi / 2.0 : -kPi / 2.0);
        Steer();
    }

    // Up, across to the next pocket, down at a new feed.
    void Retract()
    {
        static constexpr int kFeeds[] = {200, 300, 400, 600};
        Emit("G0 Z5");
        mX = rounded(mRandom.Range(-100.0, 100.0));
        mY = rounded(mRandom.Range(-100.0, 100.0));
        Emit("G0 X" + n4(mX) + " Y" + n4(mY));
        mZ = rounded(-mRandom.Range(0.5, 3.0));
        Emit("G1 Z" + n4(mZ) + " F" + num::integer(kFeeds[mRandom.Below(4)]));
        mHeading = mRandom.Range(-kPi, kPi);
        mCurvature = 0.0;
    }

    const GeneratorOptions& mOptions;
    std::vector<std::string>& mOut;
    Random mRandom;
    double mX = 0.0, mY = 0.0, mZ = 0.0;
    double mHeading = 0.0, mCurvature = 0.0;
    bool mCoolant = false;
};

}  // namespace

std::vector<std::string> GenerateGCode(const GeneratorOptions& options)
{
    std::vector<std::string> lines;
    lines.reserve(static_cast<std::size_t>(std::max<long long>(options.Lines, 8)));
    Writer(options, lines).Run();
    return lines;
}

std::string GenerateGCodeText(const GeneratorOptions& options)
{
    std::string text;
    for (const std::string& l : GenerateGCode(options)) text.append(l).push_back('\n');
    return text;
}

}  // namespace mvx::bench
