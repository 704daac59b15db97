#include "tclconvert.h"

#include "filewrite.h"
#include "geomutil.h"
#include "numtext.h"
#include "tclmcodes.h"
#include "texts.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <system_error>
#include <utility>

namespace mvx::tclpath {

namespace {

constexpr double kArcEndTolerance = 0.001;
constexpr double kTwoPi = 2.0 * geom::kPi;

class Driver {
public:
    Driver(const gcode::LineList& lines, const MachineConfig& config, ConversionObserver* observer,
           DirectExecutor* executor)
        : mLines(lines), mConfig(config), mObserver(observer), mState(config, observer, executor)
    {
    }

    TclConversionResult Run();
    gcode::Status RunOneLine(bool& lastMoveWorking);
    void SetFileSink(std::function<bool(const PvtFile&)> sink) { mState.FileSink = std::move(sink); }
    void SetOptions(TclConversionOptions options)
    {
        mState.FileSink = std::move(options.FileSink);
        mState.KeepDrawing = options.KeepDrawing;
        mScriptSink = std::move(options.ScriptSink);
        mScriptChunk = options.ScriptChunk;
    }

private:
    // In the direct mode, the speeds the axes have before the first block.
    void ReadStartSpeeds();
    // Reads line `index`; a line that cannot be read is shown and returned as the error.
    gcode::Status ReadLine(int index, gcode::Block& block);
    // Each returns false when the conversion must end at once.
    bool ConvertLine(int index, const gcode::Block& block);
    void StraightMove(int index, const gcode::Block& block, int firstEntry, bool working);
    bool Arc(int index, const gcode::Block& block, bool clockwise);
    void Home(int index, const gcode::Block& block);
    void Fail(gcode::Status status);
    void Process(telement_simple& e);

    const gcode::LineList& mLines;
    const MachineConfig& mConfig;
    ConversionObserver* mObserver;
    TclPathState mState;
    gcode::LineState mLineState;
    gcode::PathExtents mExtents;
    bool mWorkingMode = false;
    bool mZMessageShown = false;
    bool mLineMode = false;  // "Execute a line"
    std::function<void(std::string_view)> mScriptSink;
    std::size_t mScriptChunk = 0;
    std::size_t mScriptBytes = 0;
    TclConversionResult mResult;
};

TclConversionResult Driver::Run()
{
    TclPathState& s = mState;
    const int n = static_cast<int>(mLines.size());
    s.LineTable.assign(mLines.size(), LineRecord{});
    // Room the view's pieces are unlikely to outgrow (arcs are several chords): untouched room
    // costs address space, not memory, and growing would copy them all.
    if (s.KeepDrawing) s.Drawing.reserve(mLines.size() * 4 + 16);
    if (auto err = gcode::CheckConfig(mConfig)) {
        s.ShowMsg(err.Text);
        Fail(std::move(err));
        return std::move(mResult);
    }
    if (!s.Direct) {
        s.Script.Start(mConfig);
        if (mScriptSink) {
            s.Script.Spill(
                [this](std::string_view text) {
                    mScriptBytes += text.size();
                    mScriptSink(text);
                },
                mScriptChunk);
        } else {
            s.Script.Reserve(mLines.size() * 96 + 8192);  // a single move writes about 90 bytes
        }
        s.Maker = std::make_unique<PvtFileMaker>(mConfig, s.FileSink);
    }
    mResult.BodyStart = s.Script.InsertLine();

    // Speeds the axes have when the body starts.
    if (s.Direct) {
        ReadStartSpeeds();
    } else {
        s.AxisSpeedSet = {s.CurrentPositioningSpeed, s.CurrentPositioningSpeed,
                          mConfig.XYGroupOnly ? 0.0 : s.CurrentPositioningSpeed};
    }

    gcode::Block block;
    const std::string total = num::integer(n);
    for (int i = 0; i < n; ++i) {
        if (s.SinkFailed() || (mObserver && mObserver->StopRequested())) {
            mResult.Stopped = true;
            break;
        }
        if (mObserver) {
            mObserver->SelectLine(i);
            mObserver->SetStatusText(texts::get("Stringline") + " " + num::integer(i + 1) + "/" + total);
        }
        if (auto err = ReadLine(i, block)) {
            Fail(std::move(err));
            return std::move(mResult);
        }
        if (!ConvertLine(i, block)) return std::move(mResult);
    }

    // Nothing held back is lost at the end, and the script never ends with the tool on.
    FlushPendingWorkMove(s);
    ClosePVTTrajectory(s);
    if (!s.Direct && s.Writer.ToolActive()) s.Writer.ToolOff();

    s.CollectFiles();
    // A file refused on a worker ends the conversion like one refused here.
    if (s.SinkFailed()) mResult.Stopped = true;
    mResult.PvtFileCount = s.PvtFileCount - 1;
    mResult.BodyEnd = s.Script.InsertLine();
    if (!s.Direct) mResult.Script = s.Script.TakeText();
    mResult.ScriptBytes = mScriptSink ? mScriptBytes : mResult.Script.size();
    mResult.PvtFiles = std::move(s.PvtFiles);
    mResult.LineTable = std::move(s.LineTable);
    mResult.Drawing = std::move(s.Drawing);
    mResult.Extents = mExtents;
    return std::move(mResult);
}

gcode::Status Driver::RunOneLine(bool& lastMoveWorking)
{
    TclPathState& s = mState;
    mLineMode = true;
    mWorkingMode = lastMoveWorking;
    s.LineTable.assign(1, LineRecord{});
    // An unknown axis (a position read as garbage) starts at the origin.
    for (std::size_t a = 0; a < 3; ++a)
        s.RunningPosition[a] = UsableCoordinate(mConfig.CurrentPosition[a]) ? mConfig.CurrentPosition[a] : 0.0;
    ReadStartSpeeds();

    if (auto err = gcode::CheckConfig(mConfig)) return err;
    gcode::Block block;
    if (auto err = ReadLine(0, block)) return err;
    if (!ConvertLine(0, block)) return std::move(mResult.Error);
    FlushPendingWorkMove(s);
    if (s.PendingPvtElement) {
        s.PvtFileCount = 0;
        ClosePVTTrajectory(s);
    }
    lastMoveWorking = mWorkingMode;
    return {};
}

void Driver::ReadStartSpeeds()
{
    std::array<double, 3> v{0.0, 0.0, 0.0};
    if (mState.Executor && !mConfig.Simulation && mState.Executor->ReadPositionerVelocities(v)) mState.AxisSpeedSet = v;
}

gcode::Status Driver::ReadLine(int index, gcode::Block& block)
{
    gcode::Status err = gcode::ReadGCodeLine(mLines[static_cast<std::size_t>(index)], mLineState, block, index + 1);
    if (err) mState.ShowMsg(err.Text);
    return err;
}

void Driver::Fail(gcode::Status status)
{
    mResult.Error = std::move(status);
    mState.Script.Clear();
    mState.CollectFiles();
    mResult.BodyEnd = mState.Script.InsertLine();
    mResult.LineTable = std::move(mState.LineTable);
    mResult.PvtFiles = std::move(mState.PvtFiles);
    mResult.Drawing = std::move(mState.Drawing);
    mResult.Extents = mExtents;
}

void Driver::Process(telement_simple& e)
{
    e.ComputeGeometry();
    e.StoreEndPosition(mState);
    // A move that goes nowhere makes no motion; its speed and mode have already taken effect.
    if (e.ZeroLength()) return;
    e.Process(mState);
}

bool Driver::ConvertLine(int index, const gcode::Block& block)
{
    TclPathState& s = mState;
    const char first = block.First();
    switch (first) {
    case 'F':
        s.Record(index, s.LineGroup, mWorkingMode ? LineTextKind::WorkSpeed : LineTextKind::PositioningSpeed);
        // A bare "F" without a number changes nothing.
        if (mConfig.UseFCodes && block.Gives('F'))
            (mWorkingMode ? s.CurrentWorkingSpeed : s.CurrentPositioningSpeed) = block.FirstValue();
        return true;
    case 'G': {
        const auto code = gcode::ExactCode(block.FirstValue());
        switch (code.value_or(-1)) {
        case 0: StraightMove(index, block, 2, false); return true;
        case 1: StraightMove(index, block, 2, true); return true;
        case 2: return Arc(index, block, true);
        case 3: return Arc(index, block, false);
        case 4: {
            long long ms = 0;
            if (auto err = gcode::DwellMilliseconds(block, index + 1, ms)) {
                s.ShowMsg(err.Text);
                Fail(std::move(err));
                return false;
            }
            // Motion still pending belongs to the lines before: its blocks take their group first.
            FlushPendingWorkMove(s);
            ClosePVTTrajectory(s);
            s.Record(index, s.LineGroup, LineTextKind::Delay);
            TDelay delay;
            delay.Milliseconds = ms;
            delay.Line = index;
            delay.WriteTCL(s);
            ++s.LineGroup;
            return true;
        }
        case 28: Home(index, block); return true;
        case 53:
        case 90:
            s.Record(index, s.LineGroup, LineTextKind::Absolute);
            ++s.LineGroup;
            s.RelativeMode = false;
            return true;
        case 91:
            s.Record(index, s.LineGroup, LineTextKind::Relative);
            ++s.LineGroup;
            s.RelativeMode = true;
            // From the position last read; an axis read as garbage keeps the programmed point.
            for (std::size_t a = 0; a < (mConfig.XYGroupOnly ? 2u : 3u); ++a)
                if (UsableCoordinate(mConfig.CurrentPosition[a])) s.RunningPosition[a] = mConfig.CurrentPosition[a];
            return true;
        case 92: return true;
        case 40:
        case 41:
        case 42:
        case 43:
        case 44:
            // Positioning moves only for a line executed alone.
            if (mLineMode) {
                StraightMove(index, block, 2, false);
                return true;
            }
            [[fallthrough]];
        default: s.Record(index, -1, LineTextKind::NotRecognized); return true;
        }
    }
    case 'M': {
        const int code = gcode::ExactCode(block.FirstValue()).value_or(-1);
        if (OutputsOfMCode(code, mConfig).empty()) {
            s.Record(index, -1, LineTextKind::MNotRecognized);
            return true;
        }
        FlushPendingWorkMove(s);
        ClosePVTTrajectory(s);
        s.Record(index, s.LineGroup, LineTextKind::MCommand);
        TCommandeM m;
        m.MNumber = code;
        m.Line = index;
        m.Execute(s);
        ++s.LineGroup;
        return true;
    }
    case 'X':
    case 'Y':
    case 'Z':
        if (first == 'Z' && mConfig.XYGroupOnly && !mZMessageShown) {
            s.ShowMsg(texts::get("StringMouvementZimpossible"));
            mZMessageShown = true;
        }
        StraightMove(index, block, 1, mWorkingMode);
        return true;
    default: s.Record(index, -1, LineTextKind::NotRecognized); return true;
    }
}

void Driver::StraightMove(int index, const gcode::Block& block, int firstEntry, bool working)
{
    TclPathState& s = mState;
    double& speed = working ? s.CurrentWorkingSpeed : s.CurrentPositioningSpeed;
    const double entry = speed;
    gcode::Target t;
    gcode::GetXYZF(block, firstEntry, speed, mConfig.UseFCodes, t, mExtents);

    TinterpoPositionnement positioning;
    Tinterpousinage work;
    telement_simple& e = working ? static_cast<telement_simple&>(work) : positioning;
    e.EntrySpeed = entry;
    e.CruiseSpeed = speed;
    e.ElementKind = working ? telement_simple::Working : telement_simple::Positioning;
    e.Line = index;
    e.Start = s.RunningPosition;
    e.End = e.Start;
    e.AxisMoves = {t.HasX, t.HasY, t.HasZ && !mConfig.XYGroupOnly};
    const std::array<double, 3> given{t.X, t.Y, t.Z};
    for (std::size_t a = 0; a < 3; ++a)
        if (e.AxisMoves[a]) e.End[a] = s.RelativeMode ? e.Start[a] + given[a] : given[a];
    e.AnyAxisMoves = e.AxisMoves[0] || e.AxisMoves[1] || e.AxisMoves[2];
    mWorkingMode = working;
    Process(e);
}

void Driver::Home(int index, const gcode::Block& block)
{
    TclPathState& s = mState;
    gcode::Target t;
    const double entry = s.CurrentPositioningSpeed;
    gcode::GetXYZF(block, 2, s.CurrentPositioningSpeed, mConfig.UseFCodes, t, mExtents);
    TinterpoPositionnement e;
    e.EntrySpeed = entry;
    e.CruiseSpeed = s.CurrentPositioningSpeed;
    e.Line = index;
    e.Start = s.RunningPosition;
    e.End = {0.0, 0.0, mConfig.XYGroupOnly ? e.Start[2] : 0.0};
    for (std::size_t a = 0; a < 3; ++a) e.AxisMoves[a] = e.End[a] != e.Start[a];
    e.AnyAxisMoves = e.AxisMoves[0] || e.AxisMoves[1] || e.AxisMoves[2];
    mWorkingMode = false;
    Process(e);
}

bool Driver::Arc(int index, const gcode::Block& block, bool clockwise)
{
    TclPathState& s = mState;
    const double entry = s.CurrentWorkingSpeed;
    gcode::Target t;
    gcode::GetXYZF(block, 2, s.CurrentWorkingSpeed, mConfig.UseFCodes, t, mExtents);
    gcode::Centre c;
    gcode::GetIJK(block, c);

    const std::array<double, 3> start = s.RunningPosition;
    // An axis the line does not give stays where it is.
    const double tx = t.HasX ? t.X : (s.RelativeMode ? 0.0 : start[0]);
    const double ty = t.HasY ? t.Y : (s.RelativeMode ? 0.0 : start[1]);
    const double targetX = s.RelativeMode ? start[0] + tx : tx;
    const double targetY = s.RelativeMode ? start[1] + ty : ty;

    const double a0 = geom::AngleOfVector(-c.I, -c.J);
    const double a1 = geom::AngleOfVector(targetX - start[0] - c.I, targetY - start[1] - c.J);
    double sweep = a1 - a0;
    if (clockwise) {
        if (sweep > 0) sweep -= kTwoPi;
        sweep = -std::fabs(sweep);
        if (std::fabs(sweep) < 1e-8) sweep = -kTwoPi;
    } else {
        if (sweep < 0) sweep += kTwoPi;
        sweep = std::fabs(sweep);
        if (std::fabs(sweep) < 1e-8) sweep = kTwoPi;
    }

    Tarcplus ccw;
    Tarcmoins cw;
    TArc& e = clockwise ? static_cast<TArc&>(cw) : ccw;
    e.EntrySpeed = entry;
    e.CruiseSpeed = s.CurrentWorkingSpeed;
    e.ElementKind = telement_simple::Working;
    e.Line = index;
    e.Start = start;
    e.I = c.I;
    e.J = c.J;
    e.K = c.K;
    e.Sweep = sweep;
    // Centre offsets without an end point make a full circle, as on the SCT path.
    e.AxisMoves = {t.HasX, t.HasY, false};
    e.AnyAxisMoves = t.HasX || t.HasY || c.HasI || c.HasJ;
    mWorkingMode = true;
    e.ComputeGeometry();

    // Both directions are checked: centre offsets that do not lead to the end point stop here.
    if (std::fabs(e.End[0] - targetX) > kArcEndTolerance || std::fabs(e.End[1] - targetY) > kArcEndTolerance) {
        const std::string text = texts::get("stringincoherenceline") + " " + num::integer(index + 1);
        if (mObserver) {
            mObserver->SetStatusText("");
            mObserver->SelectLine(index);
        }
        s.ShowMsg(text);
        Fail({gcode::kErrorIncoherentLine, text, index + 1});
        return false;
    }
    Process(e);
    return true;
}


}  // namespace

TclConversionResult GCodeToTCL(const gcode::LineList& lines, const MachineConfig& config,
                               ConversionObserver* observer, DirectExecutor* executor)
{
    Driver driver(lines, config, observer, executor);
    return driver.Run();
}

TclConversionResult GCodeToTCL(const gcode::LineList& lines, const MachineConfig& config,
                               ConversionObserver* observer, DirectExecutor* executor,
                               std::function<bool(const PvtFile&)> fileSink)
{
    Driver driver(lines, config, observer, executor);
    driver.SetFileSink(std::move(fileSink));
    return driver.Run();
}

TclConversionResult GCodeToTCL(const gcode::LineList& lines, const MachineConfig& config,
                               ConversionObserver* observer, DirectExecutor* executor, TclConversionOptions options)
{
    Driver driver(lines, config, observer, executor);
    driver.SetOptions(std::move(options));
    return driver.Run();
}

gcode::Status ExecuteGCodeLine(const std::string& line, const MachineConfig& config, DirectExecutor& executor,
                               bool& lastMoveWorking, ConversionObserver* observer)
{
    MachineConfig direct = config;
    direct.DirectMode = true;
    const gcode::LineList lines{line};
    Driver driver(lines, direct, observer, &executor);
    return driver.RunOneLine(lastMoveWorking);
}

namespace {

}  // namespace

WriteOutcome WriteFileReplacing(const std::string& path, const std::string& text)
{
    std::string error;
    if (WriteWholeFile(path, text, &error)) return {};
    return {false, error};
}

namespace {

// The script written as the conversion makes it, into a temporary file renamed over the old
// script once complete.
class ScriptStream {
public:
    explicit ScriptStream(std::string path)
        : mPath(std::move(path)),
          mTemp(mPath + ".tmp" + num::integer(::getpid()) + "_" + num::integer(sCounter.fetch_add(1)) + "s")
    {
        mFd = ::open(mTemp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
        if (mFd < 0) failed();
    }
    ~ScriptStream()
    {
        if (mFd >= 0) ::close(mFd);
        if (!mDone) ::unlink(mTemp.c_str());
    }
    ScriptStream(const ScriptStream&) = delete;
    ScriptStream& operator=(const ScriptStream&) = delete;

    void Append(std::string_view text)
    {
        while (mFd >= 0 && !text.empty()) {
            const ssize_t n = ::write(mFd, text.data(), text.size());
            if (n < 0 && errno == EINTR) continue;
            if (n <= 0) {
                failed();
                return;
            }
            text.remove_prefix(static_cast<std::size_t>(n));
        }
    }
    WriteOutcome Commit()
    {
        const int fd = std::exchange(mFd, -1);
        if (fd >= 0 && ::close(fd) != 0) failed();
        if (mError.empty() && std::rename(mTemp.c_str(), mPath.c_str()) != 0) failed();
        if (!mError.empty()) return {false, mError};
        mDone = true;
        return {};
    }

private:
    void failed()
    {
        if (mError.empty()) mError = mPath + ": " + std::strerror(errno ? errno : EIO);
        if (mFd >= 0) ::close(std::exchange(mFd, -1));
    }

    static inline std::atomic<unsigned> sCounter{0};
    std::string mPath;
    std::string mTemp;
    int mFd = -1;
    std::string mError;
    bool mDone = false;
};

}  // namespace

TclConversionResult GCodeToTCLWriting(const gcode::LineList& lines, const MachineConfig& config,
                                      const std::string& dir, WriteOutcome& written, ConversionObserver* observer,
                                      DirectExecutor* executor)
{
    written = {};
    const std::filesystem::path base(dir);
    FirstFileFailure failed;  // the sink runs on the PVT workers
    ScriptStream script((base / kScriptFileName).string());
    TclConversionOptions options;
    options.FileSink = [&](const PvtFile& f) {
        WriteOutcome w = WriteFileReplacing((base / f.Name).string(), f.Text);
        if (!w.Ok) failed.Report(f.Name, std::move(w.Error));
        return w.Ok;
    };
    options.ScriptSink = [&](std::string_view text) { script.Append(text); };
    options.KeepDrawing = false;
    TclConversionResult r = GCodeToTCL(lines, config, observer, executor, std::move(options));
    if (failed.Any()) written = {false, failed.Error()};
    if (written.Ok && r.ScriptBytes > 0) written = script.Commit();
    return r;
}

WriteOutcome WriteConversionFiles(const TclConversionResult& result, const std::string& dir)
{
    const std::filesystem::path base(dir);
    if (!result.Script.empty()) {
        if (auto r = WriteFileReplacing((base / kScriptFileName).string(), result.Script); !r.Ok) return r;
    }
    for (const PvtFile& f : result.PvtFiles)
        if (auto r = WriteFileReplacing((base / f.Name).string(), f.Text); !r.Ok) return r;
    return {};
}

}  // namespace mvx::tclpath
