#include "sctconvert.h"

#include "filewrite.h"
#include "geomutil.h"
#include "numtext.h"
#include "tclscript.h"
#include "texts.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <system_error>
#include <fstream>
#include <functional>
#include <limits>

namespace mvx::sct {

namespace {

using gcode::Status;

enum class CodeGroup { Motion, Dwell, Home, Distance, Origin };

// Builds the list line by line; one object per conversion.
class Builder {
public:
    Builder(const MachineConfig& config, Ttraject& list, ConversionObserver* observer)
        : mConfig(config), mList(list), mObserver(observer)
    {
        mPositioning = config.PositioningSpeed;
        mWorkingSpeed = config.WorkingSpeed;
        // The generation pass starts at the positioning speed: so does the build, so that a
        // build never depends on what an earlier conversion left behind.
        mRunning = config.PositioningSpeed;
    }

    Status Line(std::string_view raw, int lineNumber);

    gcode::PathExtents mExtents;
    bool mRelative = false;
    int mLineGroup = 1;

private:
    using Handler = Status (Builder::*)(int code);
    struct GRow {
        int Code;
        CodeGroup Group;
        Handler Fn;
    };
    static const GRow kGCodes[];

    Status Rapid(int);
    Status Feed(int);
    Status Arc(int code);
    Status Dwell(int);
    Status Home(int);
    Status Absolute(int);
    Status Relative(int);
    Status ResetPosition(int);

    Status FWord();
    Status MWord();
    Status BareMove();

    void AppendSpeed(double speed, bool working);
    void AppendStraight(const Vec3& d, bool working);
    Vec3 Displacement(const gcode::Target& t) const;

    const MachineConfig& mConfig;
    Ttraject& mList;
    ConversionObserver* mObserver;
    bool mZMessageShown = false;
    gcode::LineState mState;
    gcode::Block mBlock;
    int mLineNumber = 0;
    Vec3 mPos{0.0, 0.0, 0.0};
    bool mWorking = false;
    double mPositioning = 0.0;
    double mWorkingSpeed = 0.0;
    double mRunning = 0.0;
};

// G codes of the SCT path; any other code, and any value that is not an exact integer, does
// nothing.
const Builder::GRow Builder::kGCodes[] = {
    {0, CodeGroup::Motion, &Builder::Rapid},
    {1, CodeGroup::Motion, &Builder::Feed},
    {2, CodeGroup::Motion, &Builder::Arc},
    {3, CodeGroup::Motion, &Builder::Arc},
    {4, CodeGroup::Dwell, &Builder::Dwell},
    {28, CodeGroup::Home, &Builder::Home},
    {53, CodeGroup::Distance, &Builder::Absolute},
    {90, CodeGroup::Distance, &Builder::Absolute},
    {91, CodeGroup::Distance, &Builder::Relative},
    {92, CodeGroup::Origin, &Builder::ResetPosition},
};

Status Builder::Line(std::string_view raw, int lineNumber)
{
    mLineNumber = lineNumber;
    if (auto err = gcode::ReadGCodeLine(raw, mState, mBlock, lineNumber)) return err;
    switch (mBlock.First()) {
    case 'F': return FWord();
    case 'G': {
        const auto code = gcode::ExactCode(mBlock.FirstValue());
        if (!code) return {};
        for (const GRow& row : kGCodes)
            if (row.Code == *code) return (this->*row.Fn)(*code);
        return {};
    }
    case 'M': return MWord();
    case 'X':
    case 'Y':
    case 'Z': return BareMove();
    default: return {};
    }
}

void Builder::AppendSpeed(double speed, bool working)
{
    mList.Append(TVitesse(speed, working, mLineNumber - 1));
    mRunning = speed;
}

void Builder::AppendStraight(const Vec3& d, bool working)
{
    mList.Append(Tdroite3D(d, working, mLineNumber - 1));
    for (std::size_t ax = 0; ax < 3; ++ax) mPos[ax] += d[ax];
}

// A coordinate the line does not give does not move, in either mode. A group without Z keeps
// the Z displacement in the element: its rows leave Z out, but the length (and so the time)
// still counts it.
Vec3 Builder::Displacement(const gcode::Target& t) const
{
    const bool has[3] = {t.HasX, t.HasY, t.HasZ};
    const double v[3] = {t.X, t.Y, t.Z};
    Vec3 d{0.0, 0.0, 0.0};
    for (std::size_t ax = 0; ax < 3; ++ax)
        if (has[ax]) d[ax] = mRelative ? v[ax] : v[ax] - mPos[ax];
    return d;
}

Status Builder::FWord()
{
    if (!mConfig.UseFCodes || !mBlock.Gives('F')) return {};
    const double v = mBlock.FirstValue();
    if (mWorking) mWorkingSpeed = v; else mPositioning = v;
    if (v != mRunning) AppendSpeed(v, mWorking);
    return {};
}

Status Builder::Rapid(int)
{
    gcode::Target t;
    gcode::GetXYZF(mBlock, 2, mPositioning, mConfig.UseFCodes, t, mExtents);
    if (mWorking || mRunning != mPositioning) AppendSpeed(mPositioning, false);
    mWorking = false;
    if (!t.Any) return {};
    const Vec3 d = Displacement(t);
    if (d[0] != 0.0 || d[1] != 0.0 || d[2] != 0.0) AppendStraight(d, false);
    return {};
}

Status Builder::Feed(int)
{
    gcode::Target t;
    gcode::GetXYZF(mBlock, 2, mWorkingSpeed, mConfig.UseFCodes, t, mExtents);
    if (mRunning != mWorkingSpeed || !mWorking) AppendSpeed(mWorkingSpeed, true);
    mWorking = true;
    if (t.Any) AppendStraight(Displacement(t), true);
    return {};
}

Status Builder::Arc(int code)
{
    gcode::Target t;
    gcode::GetXYZF(mBlock, 2, mWorkingSpeed, mConfig.UseFCodes, t, mExtents);
    if (mRunning != mWorkingSpeed || !mWorking) AppendSpeed(mWorkingSpeed, true);
    mWorking = true;
    gcode::Centre c;
    gcode::GetIJK(mBlock, c);
    if (!t.Any && !c.Any) return {};

    // Target in absolute terms; an axis not given stays where it is.
    const double tx = t.HasX ? (mRelative ? mPos[0] + t.X : t.X) : mPos[0];
    const double ty = t.HasY ? (mRelative ? mPos[1] + t.Y : t.Y) : mPos[1];
    const double a0 = geom::AngleOfVector(-c.I, -c.J);
    const double a1 = geom::AngleOfVector(tx - mPos[0] - c.I, ty - mPos[1] - c.J);
    double sweep = a1 - a0;
    if (code == 2 && sweep > 0.0) sweep -= 2.0 * geom::kPi;
    if (code == 3 && sweep < 0.0) sweep += 2.0 * geom::kPi;
    if (std::fabs(sweep) < 1e-8) sweep = code == 2 ? -2.0 * geom::kPi : 2.0 * geom::kPi;  // full circle

    const telement arc = TarcH(c.I, c.J, sweep, mLineNumber - 1);
    mList.Append(arc);
    // The end the centre and the sweep lead to, from where the program is (after a G92 too).
    const Vec3 end = EndOf(arc, mPos);
    if (!(std::fabs(end[1] - ty) <= 0.001) || !(std::fabs(end[0] - tx) <= 0.001))
        return Status{gcode::kErrorIncoherentLine,
                      texts::get("stringincoherenceline") + " " + num::integer(mLineNumber), mLineNumber};
    mPos = end;
    return {};
}

Status Builder::Dwell(int)
{
    long long ms = 0;
    if (auto err = gcode::DwellMilliseconds(mBlock, mLineNumber, ms)) return err;
    mList.Append(Ttempo(ms, mLineNumber - 1));
    return {};
}

Status Builder::Home(int)
{
    gcode::Target t;
    gcode::GetXYZF(mBlock, 2, mPositioning, mConfig.UseFCodes, t, mExtents);
    if (mWorking || mRunning != mPositioning) AppendSpeed(mPositioning, false);
    mWorking = false;
    AppendStraight({-mPos[0], -mPos[1], -mPos[2]}, false);
    mPos = {0.0, 0.0, 0.0};
    return {};
}

Status Builder::Absolute(int)
{
    mRelative = false;
    ++mLineGroup;
    return {};
}

Status Builder::Relative(int)
{
    mRelative = true;
    ++mLineGroup;
    return {};
}

Status Builder::ResetPosition(int)
{
    mPos = {0.0, 0.0, 0.0};
    return {};
}

Status Builder::MWord()
{
    const auto m = gcode::ExactCode(mBlock.FirstValue());
    if (!m) return {};
    mList.Append(TOutput(*m, mLineNumber - 1));
    if (SwitchesOutputs(*m)) ++mLineGroup;
    return {};
}

Status Builder::BareMove()
{
    if (mBlock.First() == 'Z' && mConfig.XYGroupOnly && !mZMessageShown) {
        if (mObserver) mObserver->ShowMsg(texts::get("StringMouvementZimpossible"));
        mZMessageShown = true;
    }
    // An F word on the line changes the feed of the current mode, like on a G line.
    double speed = mWorking ? mWorkingSpeed : mPositioning;
    gcode::Target t;
    gcode::GetXYZF(mBlock, 1, speed, mConfig.UseFCodes, t, mExtents);
    (mWorking ? mWorkingSpeed : mPositioning) = speed;
    if (speed != mRunning) AppendSpeed(speed, mWorking);
    if (t.Any) AppendStraight(Displacement(t), true);
    return {};
}

std::string joinPath(const std::string& dir, const std::string& name)
{
    if (dir.empty()) return name;
    const char last = dir.back();
    return (last == '/' || last == '\\') ? dir + name : dir + "/" + name;
}

}  // namespace

// ---------------------------------------------------------------------------------------------

BuildResult GCodeToElements(const gcode::LineList& lines, const MachineConfig& config, Ttraject& list,
                            ConversionObserver* observer)
{
    BuildResult result;
    if (auto err = gcode::CheckConfig(config)) {
        result.Error = std::move(err);
        return result;
    }
    Builder builder(config, list, observer);
    const std::string prefix = texts::get("Stringline") + " ";
    const std::string total = "/" + num::integer(static_cast<long long>(lines.size()));
    for (std::size_t i = 0; i < lines.size(); ++i) {
        if (observer && observer->StopRequested()) {
            result.Stopped = true;
            break;
        }
        if (observer) observer->SetStatusText(prefix + num::integer(static_cast<long long>(i) + 1) + total);
        if (auto err = builder.Line(lines[i], static_cast<int>(i) + 1)) {
            result.Error = std::move(err);
            break;
        }
    }
    result.Extents = builder.mExtents;
    result.RelativeAtEnd = builder.mRelative;
    result.LineGroup = builder.mLineGroup;
    return result;
}

namespace {

bool generate(const Ttraject& list, const MachineConfig& config, bool relativeMode, SctConversion& out,
              ConversionObserver* observer, std::function<bool(const PvtFile&)> sink)
{
    if (auto err = gcode::CheckConfig(config)) {
        out.Error = std::move(err);
        return false;
    }
    TclScript script;
    script.Start(config);
    out.BodyBegin = script.InsertLine();
    SctGenerator gen(config, script, relativeMode);
    if (sink) gen.SetFileSink(std::move(sink));
    const bool done = gen.Run(list, observer);
    out.BodyEnd = script.InsertLine();
    out.Script = script.TakeText();
    out.PvtFiles = gen.TakeFiles();
    return done;
}

}  // namespace

bool GenerateSct(const Ttraject& list, const MachineConfig& config, bool relativeMode, SctConversion& out,
                 ConversionObserver* observer)
{
    return generate(list, config, relativeMode, out, observer, nullptr);
}

bool GenerateSct(const Ttraject& list, const MachineConfig& config, bool relativeMode, SctConversion& out,
                 ConversionObserver* observer, std::function<bool(const PvtFile&)> fileSink)
{
    return generate(list, config, relativeMode, out, observer, std::move(fileSink));
}

Status ConvertAndWriteSct(const gcode::LineList& lines, const MachineConfig& config,
                          const std::string& gcodeDir, const std::string& outputDir, bool writeScript,
                          SctConversion& out, ConversionObserver* observer)
{
    out = SctConversion{};
    BuildResult built = GCodeToElements(lines, config, out.List, observer);
    out.Error = std::move(built.Error);
    out.Stopped = built.Stopped;
    out.Extents = built.Extents;
    out.RelativeAtEnd = built.RelativeAtEnd;
    if (out.Error || out.Stopped) return {};
    out.SctText = out.List.SctText();
    if (auto err = WriteTextFile(joinPath(gcodeDir, "TEST.SCT"), out.SctText)) return err;
    FirstFileFailure failed;  // the sink runs on the PVT workers
    const bool done = GenerateSct(out.List, config, built.RelativeAtEnd, out, observer, [&](const PvtFile& f) {
        Status st = WriteTextFile(joinPath(outputDir, f.Name), f.Text);
        if (st) failed.Report(f.Name, std::move(st.Text));
        return st.Ok();
    });
    if (failed.Any()) {
        out.Stopped = true;
        return Status{kErrorWrite, failed.Error(), 0};
    }
    if (!done) {
        out.Stopped = true;
        return {};
    }
    if (writeScript) return WriteTextFile(joinPath(outputDir, "GCode_Converted.TCL"), out.Script);
    return {};
}

SctConversion ConvertSct(const gcode::LineList& lines, const MachineConfig& config,
                         ConversionObserver* observer)
{
    SctConversion out;
    BuildResult built = GCodeToElements(lines, config, out.List, observer);
    out.Error = std::move(built.Error);
    out.Stopped = built.Stopped;
    out.Extents = built.Extents;
    out.RelativeAtEnd = built.RelativeAtEnd;
    if (out.Error || out.Stopped) return out;
    out.SctText = out.List.SctText();
    if (!GenerateSct(out.List, config, built.RelativeAtEnd, out, observer)) out.Stopped = true;
    return out;
}

SctDrawing DrawAll(const Ttraject& list, const Vec3& start)
{
    SctDrawing d;
    if (list.Empty()) return d;
    // The list chains from the origin; the drawing starts at `start`.
    auto moved = [&](const Vec3& p) { return Vec3{p[0] + start[0], p[1] + start[1], p[2] + start[2]}; };
    Vec3 from{0.0, 0.0, 0.0};
    for (std::size_t i = 0; i < static_cast<std::size_t>(list.Count()); ++i) {
        const telement& e = list.At(i);
        const bool current = static_cast<long long>(i) == list.CurrentIndex();
        if (!e.IsMotion()) {
            d.Markers.push_back({moved(from), current});
            continue;
        }
        const Vec3 to = EndOf(e, from);
        d.Markers.push_back({moved(from), current});
        d.Markers.push_back({moved(to), current});
        DrawPolyline path;
        path.Working = e.WorkingMove;
        if (e.Kind == ElementKind::Arc) {
            const ArcAngles a = ArcAnglesOf(e);
            const double degrees = std::fabs(e.V[2] * 180.0 / geom::kPi);
            const int n = std::isfinite(degrees) ? std::max(4, static_cast<int>(std::lround(std::min(degrees, 1e6) / 2.0))) : 4;
            const Vec3 c = moved({from[0] + e.V[0], from[1] + e.V[1], from[2]});
            path.Points.reserve(static_cast<std::size_t>(n));
            for (int k = 0; k < n; ++k) {
                const double th = a.A0 + (a.A1 - a.A0) * k / (n - 1);
                path.Points.push_back({c[0] + a.Radius * std::cos(th), c[1] + a.Radius * std::sin(th), c[2]});
            }
        } else {
            path.Points = {moved(from), moved(to)};
        }
        d.Paths.push_back(std::move(path));
        from = to;
    }
    return d;
}

Status WriteTextFile(const std::string& path, const std::string& text)
{
    std::string error;
    if (WriteWholeFile(path, text, &error)) return {};
    return Status{kErrorWrite, "Write error : " + error, 0};
}

Status WriteSctFiles(const SctConversion& conversion, const std::string& gcodeDir, const std::string& outputDir,
                     bool writeScript)
{
    if (auto err = WriteTextFile(joinPath(gcodeDir, "TEST.SCT"), conversion.SctText)) return err;
    for (const PvtFile& f : conversion.PvtFiles)
        if (auto err = WriteTextFile(joinPath(outputDir, f.Name), f.Text)) return err;
    if (writeScript) return WriteTextFile(joinPath(outputDir, "GCode_Converted.TCL"), conversion.Script);
    return {};
}

}  // namespace mvx::sct
