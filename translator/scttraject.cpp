#include "scttraject.h"

#include "geomutil.h"
#include "numtext.h"
#include "texts.h"

#include <cmath>

namespace mvx::sct {

std::string Ttraject::SctText() const
{
    std::string text;
    text.reserve(mElements.size() * 28);
    for (const telement& e : mElements) {
        e.AppendSCT(text);
        text += "\r\n";
    }
    return text;
}

namespace {

// The discontinuity test over the list, with the directions of each element from `directions`.
template <class DirectionsFn>
bool discontinuityAfter(const std::vector<telement>& elements, std::size_t index, double maxDegrees,
                        const Directions& mine, DirectionsFn&& directions)
{
    const double limit = maxDegrees * geom::kPi / 180.0;
    for (std::size_t j = index + 1; j < elements.size(); ++j) {
        const telement& e = elements[j];
        if (e.Kind == ElementKind::Speed && e.WorkingSpeed) continue;
        if (e.IsMotion()) {
            // A move of no length has no direction: it neither breaks nor joins a chain.
            if (!(e.Length() > 0.0)) continue;
            const Directions& next = directions(j);
            const double dxy = geom::WrapAngleBounded(next.StartXY - mine.EndXY);
            const double dz = geom::WrapAngleBounded(next.StartZ - mine.EndZ);
            return !(std::fabs(dxy) < limit && std::fabs(dz) < limit);
        }
        return true;
    }
    return true;
}

}  // namespace

bool Ttraject::IsDiscontinuity(std::size_t index, double maxDegrees) const
{
    Directions scratch;
    return discontinuityAfter(mElements, index, maxDegrees, DirectionsOf(mElements[index]),
                              [&](std::size_t j) -> const Directions& { return scratch = DirectionsOf(mElements[j]); });
}

void Ttraject::Clear() noexcept
{
    mElements.clear();
    mElements.shrink_to_fit();
}

// ---------------------------------------------------------------------------------------------

SctGenerator::SctGenerator(const MachineConfig& config, TclScript& script, bool relativeMode)
    : mConfig(config), mScript(script), mRelative(relativeMode)
{
    mRunningSpeed = config.PositioningSpeed;
    // The script header leaves the tool inactive and every axis at the positioning speed.
    mLastWrittenSpeed.fill(config.PositioningSpeed);
}

const Directions& SctGenerator::DirectionsAt(const Ttraject& list, std::size_t index)
{
    if (mDirectionsIndex != index) {
        mDirections = DirectionsOf(list.At(index));
        mDirectionsIndex = index;
    }
    return mDirections;
}

bool SctGenerator::Discontinuity(const Ttraject& list, std::size_t index)
{
    const Directions mine = DirectionsAt(list, index);
    return discontinuityAfter(list.Elements(), index, mConfig.DiscontinuityAngleMax, mine,
                              [&](std::size_t j) -> const Directions& { return DirectionsAt(list, j); });
}

bool SctGenerator::Run(const Ttraject& list, const ConversionObserver* observer)
{
    PvtFileMaker maker(mConfig, mSink);
    mMaker = &maker;
    const std::size_t n = static_cast<std::size_t>(list.Count());
    Vec3 position{0.0, 0.0, 0.0};
    bool stopped = false;
    for (std::size_t i = 0; i < n; ++i) {
        if (maker.Failed() || (observer && observer->StopRequested())) {
            stopped = true;
            break;
        }
        const telement& e = list.At(i);
        switch (e.Kind) {
        case ElementKind::Straight:
            WriteStraight(list, i, e, position);
            position = EndOf(e, position);
            break;
        case ElementKind::Arc:
            WriteArc(list, i, e, position);
            position = EndOf(e, position);
            break;
        case ElementKind::Speed:
            ZeroLengthStep(e);
            WriteSpeed(e);
            break;
        case ElementKind::Output:
            ZeroLengthStep(e);
            WriteOutput(e);
            break;
        case ElementKind::Delay:
            ZeroLengthStep(e);
            WriteDelay(e);
            break;
        }
    }
    if (!stopped) {
        CloseRun();
        if (mToolActivated) ToolOff();
    }
    mFiles = maker.Finish();
    mMaker = nullptr;
    return !stopped && !maker.Failed();
}

void SctGenerator::AppendMoveArgs(std::string& out, const Vec3& d) const
{
    num::appendFixed(out, d[0], mConfig.NbDigit);
    out.push_back(' ');
    num::appendFixed(out, d[1], mConfig.NbDigit);
    if (!mConfig.XYGroupOnly) {
        out.push_back(' ');
        num::appendFixed(out, d[2], mConfig.NbDigit);
    }
}

void SctGenerator::ToolOn()
{
    mScript.Insert("activate");
    Check();
    mToolActivated = true;
}

void SctGenerator::ToolOff()
{
    mScript.Insert("inactivate");
    Check();
    mToolActivated = false;
}

void SctGenerator::SpeedLines(const Vec3& displacement)
{
    for (int ax = 0; ax < AxisCount(); ++ax) {
        const auto a = static_cast<std::size_t>(ax);
        // An axis moves when its displacement exceeds 0.01.
        if (!(std::fabs(displacement[a]) > 0.01) || mLastWrittenSpeed[a] == mRunningSpeed) continue;
        std::string& line = mScript.Open();
        line += "change_speed ";
        num::appendFixed(line, mRunningSpeed, mConfig.NbDigit);
        line.push_back(' ');
        line += ScriptSafeText(mConfig.AxisNames[a]);
        mScript.EndLine();
        Check();
        mLastWrittenSpeed[a] = mRunningSpeed;
    }
}

void SctGenerator::OpenRun(const Vec3& start)
{
    mRunOpen = true;
    mRunStart = start;
}

void SctGenerator::CloseRun()
{
    if (!mRunOpen) return;
    const int n = mFileCount;
    const std::string name = "TRJ" + num::integer(n) + ".PVT";
    mMaker->Submit(name, std::move(mPlan));
    mPlan = PvtRunPlan();
    if (n == 1 && !mRelative) {
        // Travel to where the run starts with the tool off, then switch it on.
        if (mToolActivated) ToolOff();
        mScript.Insert("set ErrorCode [catch \" GroupMoveAbsolute $SocketID $name_group " +
                       RunStartArguments(mConfig, mRunStart) + "\"]");
        mScript.Insert(tclcheck::kClosingSpaced);
    }
    if (!mToolActivated) ToolOn();
    mScript.Insert("# " + texts::get("stringruntrajnumb") + " " + num::integer(n));
    mScript.Insert("set ErrorCode [catch \"MultipleAxesPVTExecution $SocketID " + ScriptSafeText(mConfig.GroupName) +
                   " " + name + " 1\"]");
    mScript.Insert(tclcheck::kClosing);
    mRunOpen = false;
    ++mFileCount;
}

void SctGenerator::WriteStraight(const Ttraject& list, std::size_t index, const telement& e, const Vec3& start)
{
    if (!(e.Length() > 0.0)) return;  // nothing to move: no rows, no line
    const Vec3& d = e.V;
    const bool disc = Discontinuity(list, index);
    if (mRunningIsWorking) {
        if (e.WorkingMove && !(disc && !mRunOpen)) {
            if (!mRunOpen) OpenRun(start);
            const double v = mRunningSpeed;
            mPlan.push_back({false, d[0], d[1], d[2], mEntrySpeed, v, disc ? 0.0 : v});
            mEntrySpeed = disc ? 0.0 : v;
            return;
        }
        CloseRun();  // a line must never come before the rows that precede it
        if (e.WorkingMove && !mToolActivated) ToolOn();
        else if (!e.WorkingMove && mToolActivated) ToolOff();
        SpeedLines(d);
        std::string& line = mScript.Open();
        line += "mov ";
        AppendMoveArgs(line, d);
        mScript.EndLine();
        Check();
        mScript.Insert("");
        return;
    }
    CloseRun();
    if (mToolActivated) ToolOff();
    SpeedLines(d);
    std::string& line = mScript.Open();
    line += "mov  ";
    AppendMoveArgs(line, d);
    mScript.EndLine();
    Check();
    mScript.Insert("");
}

void SctGenerator::WriteArc(const Ttraject& list, std::size_t index, const telement& e, const Vec3& start)
{
    const double length = e.Length();
    if (!(length > 0.0) || !std::isfinite(length)) return;
    const bool disc = Discontinuity(list, index);
    if (!mRunOpen) OpenRun(start);
    const double v = mRunningSpeed;
    mPlan.push_back({true, e.V[0], e.V[1], e.V[2], mEntrySpeed, v, disc ? 0.0 : v});
    mEntrySpeed = disc ? 0.0 : v;
}

void SctGenerator::ZeroLengthStep(const telement& e)
{
    if (mRunOpen && !e.WorkingSpeed) CloseRun();
}

void SctGenerator::WriteSpeed(const telement& e)
{
    // The axes get their speed just before they next move alone (SpeedLines).
    mRunningSpeed = e.Speed();
    mRunningIsWorking = e.WorkingSpeed;
}

namespace {

// M codes that switch outputs: the setup rows they write, and whether to the active level.
struct MOutputRow {
    int M;
    OutputRow MachineConfig::*First;
    OutputRow MachineConfig::*Second;  // nullptr: one output only
    bool Active;
};

constexpr MOutputRow kMOutputs[] = {
    {3, &MachineConfig::M03M05, nullptr, true},
    {4, &MachineConfig::M04M05, nullptr, true},
    {5, &MachineConfig::M03M05, &MachineConfig::M04M05, false},
    {7, &MachineConfig::M07M09, nullptr, true},
    {8, &MachineConfig::M08M09, nullptr, true},
    {9, &MachineConfig::M07M09, &MachineConfig::M08M09, false},
};

const MOutputRow* findMOutput(int m)
{
    for (const MOutputRow& row : kMOutputs)
        if (row.M == m) return &row;
    return nullptr;
}

}  // namespace

bool SwitchesOutputs(int m) { return findMOutput(m) != nullptr; }

void SctGenerator::WriteOutput(const telement& e)
{
    const MOutputRow* code = findMOutput(e.M());
    if (!code) return;  // other M codes change nothing
    for (int k = 0; k < 2; ++k) {
        const auto member = k == 0 ? code->First : code->Second;
        if (!member) break;
        const OutputRow& row = mConfig.*member;
        // The second output of M5 and M9 sits on the next connector above connector 1.
        const int gpio = (k == 1 && row.Gpio > 1) ? row.Gpio + 1 : row.Gpio;
        const unsigned value = code->Active ? row.ActiveValue() : row.InactiveValue();
        mScript.Insert("# " + texts::get("stringchangeoutputM") + num::integer(e.M()));
        mScript.Insert("set ErrorCode [catch \"GPIODigitalSet $SocketID GPIO" + num::integer(gpio) + ".DO " +
                       num::integer(row.Mask()) + " " + num::integer(value) + "\"]");
        mScript.Insert(tclcheck::kClosing);
        mScript.Insert("");
    }
}

void SctGenerator::WriteDelay(const telement& e)
{
    const std::string ms = num::integer(e.Milliseconds());
    mScript.Insert("# " + texts::get("Stringtempo") + " " + ms);
    mScript.Insert("after " + ms);
    mScript.Insert("");
}

}  // namespace mvx::sct
