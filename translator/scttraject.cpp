#include "scttraject.h"

#include "geomutil.h"
#include "numtext.h"
#include "texts.h"

#include <cmath>

namespace mvx::sct {

telement& Ttraject::InsertAfter(std::unique_ptr<telement> element, long long after)
{
    long long pos = after + 1;
    if (pos < 0) pos = 0;
    if (pos > Count()) pos = Count();
    const Vec3 start = pos > 0 ? mElements[static_cast<std::size_t>(pos - 1)]->End : Vec3{0.0, 0.0, 0.0};
    element->UpdatePosition(start);
    telement& ref = *element;
    mElements.insert(mElements.begin() + pos, std::move(element));
    mCurrent = pos;
    ++mInsertions;
    return ref;
}

void Ttraject::SetStart(const Vec3& start)
{
    Vec3 p = start;
    for (auto& e : mElements) {
        e->UpdatePosition(p);
        p = e->End;
    }
}

std::string Ttraject::SctText() const
{
    std::string text;
    text.reserve(mElements.size() * 28);
    for (const auto& e : mElements) {
        e->AppendSCT(text);
        text += "\r\n";
    }
    return text;
}

bool Ttraject::IsDiscontinuity(std::size_t index, double maxDegrees) const
{
    const telement& me = *mElements[index];
    const double limit = maxDegrees * geom::kPi / 180.0;
    for (std::size_t j = index + 1; j < mElements.size(); ++j) {
        const telement& e = *mElements[j];
        if (e.Kind() == ElementKind::Speed && e.WorkingSpeed) continue;
        if (e.IsMotion()) {
            // A move of no length has no direction: it neither breaks nor joins a chain.
            if (!(e.Length() > 0.0)) continue;
            const double dxy = geom::WrapAngleBounded(e.StartXY - me.EndXY);
            const double dz = geom::WrapAngleBounded(e.StartZ - me.EndZ);
            return !(std::fabs(dxy) < limit && std::fabs(dz) < limit);
        }
        return true;
    }
    return true;
}

void Ttraject::Clear() noexcept
{
    mElements.clear();
    mCurrent = -1;
}

// ---------------------------------------------------------------------------------------------

SctGenerator::SctGenerator(const MachineConfig& config, TclScript& script, bool relativeMode)
    : mConfig(config), mScript(script), mRun(config), mRelative(relativeMode)
{
    mRunningSpeed = config.PositioningSpeed;
    // The script header leaves the tool inactive and every axis at the positioning speed.
    mLastWrittenSpeed.fill(config.PositioningSpeed);
}

bool SctGenerator::Run(const Ttraject& list, const ConversionObserver* observer)
{
    const std::size_t n = static_cast<std::size_t>(list.Count());
    for (std::size_t i = 0; i < n; ++i) {
        if (mSinkFailed || (observer && observer->StopRequested())) return false;
        list.At(i).WriteTCL(*this, list, i);
    }
    CloseRun();
    if (mToolActivated) ToolOff();
    return !mSinkFailed;
}

std::string SctGenerator::Num(double v) const { return num::fixed(v, mConfig.NbDigit); }

std::string SctGenerator::MoveArgs(double dx, double dy, double dz) const
{
    std::string s = Num(dx) + " " + Num(dy);
    if (!mConfig.XYGroupOnly) s += " " + Num(dz);
    return s;
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
        if (displacement[a] == 0.0 || mLastWrittenSpeed[a] == mRunningSpeed) continue;
        mScript.Insert("change_speed " + num::fixed(mRunningSpeed, mConfig.NbDigit) + " " +
                       ScriptSafeText(mConfig.AxisNames[a]));
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
    mFiles.push_back({name, mRun.Close()});
    if (mSink) {
        if (!mSink(mFiles.back())) mSinkFailed = true;
        std::string().swap(mFiles.back().Text);
    }
    if (n == 1 && !mRelative) {
        // Travel to where the run starts with the tool off, then switch it on.
        if (mToolActivated) ToolOff();
        mScript.Insert("set ErrorCode [catch \" GroupMoveAbsolute $SocketID $name_group " +
                       RunStartArguments(mConfig, mRunStart) + "\"]");
        mScript.Insert(std::string(tclcheck::kClosingSpaced));
    }
    if (!mToolActivated) ToolOn();
    mScript.Insert("# " + texts::get("stringruntrajnumb") + " " + num::integer(n));
    mScript.Insert("set ErrorCode [catch \"MultipleAxesPVTExecution $SocketID " + ScriptSafeText(mConfig.GroupName) +
                   " " + name + " 1\"]");
    mScript.Insert(std::string(tclcheck::kClosing));
    mRunOpen = false;
    ++mFileCount;
}

void SctGenerator::WriteStraight(const Ttraject& list, std::size_t index, const Tdroite3D& e)
{
    if (!(e.Length() > 0.0)) return;  // nothing to move: no rows, no line
    const bool disc = list.IsDiscontinuity(index, mConfig.DiscontinuityAngleMax);
    if (mRunningIsWorking) {
        if (e.WorkingMove && !(disc && !mRunOpen)) {
            if (!mRunOpen) OpenRun(e.Start);
            const double v = mRunningSpeed;
            mRun.AddStraight({e.DX, e.DY, e.DZ}, mEntrySpeed, v, disc ? 0.0 : v);
            mEntrySpeed = disc ? 0.0 : v;
            return;
        }
        CloseRun();  // a line must never come before the rows that precede it
        if (e.WorkingMove && !mToolActivated) ToolOn();
        else if (!e.WorkingMove && mToolActivated) ToolOff();
        SpeedLines({e.DX, e.DY, e.DZ});
        mScript.Insert("mov " + MoveArgs(e.DX, e.DY, e.DZ));
        Check();
        mScript.Insert("");
        return;
    }
    CloseRun();
    if (mToolActivated) ToolOff();
    SpeedLines({e.DX, e.DY, e.DZ});
    mScript.Insert("mov  " + MoveArgs(e.DX, e.DY, e.DZ));
    Check();
    mScript.Insert("");
}

void SctGenerator::WriteArc(const Ttraject& list, std::size_t index, const TarcH& e)
{
    const double length = e.Length();
    if (!(length > 0.0) || !std::isfinite(length)) return;
    const bool disc = list.IsDiscontinuity(index, mConfig.DiscontinuityAngleMax);
    if (!mRunOpen) OpenRun(e.Start);
    const double v = mRunningSpeed;
    mRun.AddArc(e.I, e.J, e.Sweep, mEntrySpeed, v, disc ? 0.0 : v);
    mEntrySpeed = disc ? 0.0 : v;
}

void SctGenerator::ZeroLengthStep(const telement& e)
{
    if (mRunOpen && !e.WorkingSpeed) CloseRun();
}

void SctGenerator::WriteSpeed(const TVitesse& e)
{
    // The axes get their speed just before they next move alone (SpeedLines).
    mRunningSpeed = e.Speed;
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

void SctGenerator::WriteOutput(const TOutput& e)
{
    const MOutputRow* code = findMOutput(e.M);
    if (!code) return;  // other M codes change nothing
    for (int k = 0; k < 2; ++k) {
        const auto member = k == 0 ? code->First : code->Second;
        if (!member) break;
        const OutputRow& row = mConfig.*member;
        // The second output of M5 and M9 sits on the next connector above connector 1.
        const int gpio = (k == 1 && row.Gpio > 1) ? row.Gpio + 1 : row.Gpio;
        const unsigned value = code->Active ? row.ActiveValue() : row.InactiveValue();
        mScript.Insert("# " + texts::get("stringchangeoutputM") + num::integer(e.M));
        mScript.Insert("set ErrorCode [catch \"GPIODigitalSet $SocketID GPIO" + num::integer(gpio) + ".DO " +
                       num::integer(row.Mask()) + " " + num::integer(value) + "\"]");
        mScript.Insert(std::string(tclcheck::kClosing));
        mScript.Insert("");
    }
}

void SctGenerator::WriteDelay(const Ttempo& e)
{
    const std::string ms = num::integer(e.Milliseconds);
    mScript.Insert("# " + texts::get("Stringtempo") + " " + ms);
    mScript.Insert("after " + ms);
    mScript.Insert("");
}

}  // namespace mvx::sct
