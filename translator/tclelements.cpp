#include "tclelements.h"

#include "geomutil.h"
#include "numtext.h"

#include <algorithm>
#include <cmath>

namespace mvx::tclpath {

namespace {

constexpr std::size_t kRecordTextMax = 100;  // characters of a line-table text

// Cuts a UTF-8 text after `max` characters.
std::string CutCharacters(const std::string& text, std::size_t max)
{
    std::size_t chars = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if ((static_cast<unsigned char>(text[i]) & 0xC0) != 0x80) {
            if (chars == max) return text.substr(0, i);
            ++chars;
        }
    }
    return text;
}

void WriteSingleMove(TclPathState& s, const telement_simple& e, bool working)
{
    if (s.Direct) {
        if (s.Executor && !s.Config.Simulation) {
            if (const int err = s.Executor->MoveAbsolute(e.End, e.AxisMoves, working, e.CruiseSpeed))
                s.ShowMsg("Error " + num::integer(err));
            s.Executor->WaitNextBlock();
        }
        return;
    }
    const ScriptSpan span = s.Writer.Move(e.Start, e.End, working, s.RelativeMode);
    s.Record(e.Line, s.LineGroup, working ? LineTextKind::WorkMove : LineTextKind::PositioningMove, span);
    ++s.LineGroup;
}

}  // namespace

// ---------------------------------------------------------------------------------------------
// State

TclPathState::TclPathState(const MachineConfig& config, ConversionObserver* observer, DirectExecutor* executor)
    : Config(config),
      Observer(observer),
      Executor(executor),
      Direct(config.DirectMode),
      Writer(Script, config),
      CurrentPositioningSpeed(config.PositioningSpeed),
      CurrentWorkingSpeed(config.WorkingSpeed)
{
}

TclPathState::~TclPathState() = default;

void TclPathState::CollectFiles()
{
    if (!Maker) return;
    PvtFiles = Maker->Finish();
}

void TclPathState::ShowMsg(const std::string& text)
{
    if (Observer) Observer->ShowMsg(text);
}

void TclPathState::Record(int line, int group, LineTextKind kind, ScriptSpan span, int file)
{
    if (line < 0 || static_cast<std::size_t>(line) >= LineTable.size()) return;
    LineTable[static_cast<std::size_t>(line)] = {group, kind, file, span};
}

std::string LineRecord::Text() const
{
    switch (Kind) {
    case LineTextKind::Unknown: return "Unknown";
    case LineTextKind::NotRecognized: return "Not recognized";
    case LineTextKind::WorkSpeed: return "Change work speed";
    case LineTextKind::PositioningSpeed: return "Change positionning speed";
    case LineTextKind::Delay: return "Delay";
    case LineTextKind::Absolute: return "Absolute";
    case LineTextKind::Relative: return "relative";
    case LineTextKind::MCommand: return "\"M\" command";
    case LineTextKind::MNotRecognized: return "\"M\" command not recognized";
    case LineTextKind::PositioningMove: return CutCharacters(PositioningLineText(Span), kRecordTextMax);
    case LineTextKind::WorkMove: return CutCharacters(WorkLineText(Span), kRecordTextMax);
    case LineTextKind::PvtRun: return CutCharacters(PvtRunLineText(File, Span), kRecordTextMax);
    case LineTextKind::MOutput: return CutCharacters(MCommandLineText(Span), kRecordTextMax);
    }
    return {};
}

void TclPathState::Draw(const telement_simple& e)
{
    auto add = [&](const std::array<double, 3>& a, const std::array<double, 3>& b) {
        PathSegment seg{a, b, e.ElementKind == telement_simple::Working, e.Line};
        if (KeepDrawing) Drawing.push_back(seg);
        if (Observer) Observer->DrawSegment(seg);
    };
    const auto* arc = dynamic_cast<const TArc*>(&e);
    if (!arc) {
        add(e.Start, e.End);
        return;
    }
    // Arcs as short chords, so the view shows the curve and not just its ends.
    const double step = Config.AngularStep > 0.01 ? Config.AngularStep : 0.01;
    // Clamped as a double: a sweep that is not finite must not reach the integer conversion.
    const double wanted = std::ceil(std::fabs(arc->Sweep) / step);
    const int pieces = wanted >= 1.0 && wanted <= 720.0 ? static_cast<int>(wanted) : (wanted > 720.0 ? 720 : 1);
    const std::array<double, 2> centre{e.Start[0] + arc->I, e.Start[1] + arc->J};
    std::array<double, 3> prev = e.Start;
    for (int k = 1; k <= pieces; ++k) {
        const double theta = arc->RadiusAngleStart + arc->Sweep * k / pieces;
        const std::array<double, 3> p =
            k == pieces ? e.End
                        : std::array<double, 3>{centre[0] + arc->Radius * std::cos(theta),
                                                centre[1] + arc->Radius * std::sin(theta), e.Start[2]};
        add(prev, p);
        prev = p;
    }
}

// ---------------------------------------------------------------------------------------------
// Base

bool telement_simple::ZeroLength() const { return Start == End; }

void telement_simple::WritePvtSegments(TclPathState&, const telement_simple*) const {}

void telement_simple::AddToPvtRun(TclPathState& s) const
{
    s.PvtRunLastLine = Line;
    if (!s.PvtRunOpen) s.PvtRunStart = Start;
    s.PvtRunOpen = true;
    if (s.PvtRunFirstLine == -1) s.PvtRunFirstLine = Line;
    if (s.PendingPvtElement) {
        s.PendingPvtElement->WritePvtSegments(s, this);
        s.PendingPvtElement.reset();
    }
    AssignTo(s.PendingPvtElement);
}

void telement_simple::StoreEndPosition(TclPathState& s)
{
    s.RunningPosition = End;
    PlaneAngleStart = geom::WrapAngle(PlaneAngleStart);
    PlaneAngleEnd = geom::WrapAngle(PlaneAngleEnd);
    ElevationStart = geom::WrapAngle(ElevationStart);
    ElevationEnd = geom::WrapAngle(ElevationEnd);
}

bool telement_simple::IsContinuous(const TclPathState& s, const telement_simple* previous, const telement_simple* next)
{
    if (!previous || !next) return false;
    const double d1 = geom::WrapAngle(next->PlaneAngleStart - previous->PlaneAngleEnd);
    const double d2 = geom::WrapAngle(next->ElevationStart - previous->ElevationEnd);
    const double max = s.Config.DiscontinuityAngleMax * geom::kPi / 180.0;
    return max > std::fabs(d1) && max > std::fabs(d2);
}

void telement_simple::StraightGeometry()
{
    const double dx = End[0] - Start[0], dy = End[1] - Start[1], dz = End[2] - Start[2];
    const double horizontal = std::sqrt(dx * dx + dy * dy);
    PlaneAngleStart = geom::AngleOfVector(dx, dy);
    ElevationStart = geom::AngleOfVector(horizontal, dz);
    if (std::fabs(ElevationStart - geom::kPi / 2) < 1e-7 || std::fabs(ElevationStart + geom::kPi / 2) < 1e-7)
        PlaneAngleStart = 0.0;
    PlaneAngleEnd = PlaneAngleStart;
    ElevationEnd = ElevationStart;
}

// ---------------------------------------------------------------------------------------------
// Positioning move

void TinterpoPositionnement::AssignTo(ElementSlot& slot) const { slot.Hold(*this); }

void TinterpoPositionnement::ComputeGeometry()
{
    for (std::size_t a = 0; a < 3; ++a)
        if (!AxisMoves[a]) End[a] = Start[a];
    StraightGeometry();
}

void TinterpoPositionnement::Process(TclPathState& s)
{
    if (!AnyAxisMoves) return;
    FlushPendingWorkMove(s);
    ClosePVTTrajectory(s);
    s.Draw(*this);
    ApplySpeedChanges(s, *this);
    WriteSingleMove(s, *this, false);
}

// ---------------------------------------------------------------------------------------------
// Working move

void Tinterpousinage::AssignTo(ElementSlot& slot) const { slot.Hold(*this); }

void Tinterpousinage::ComputeGeometry()
{
    for (std::size_t a = 0; a < 3; ++a) Displacement[a] = End[a] - Start[a];
    Length = std::sqrt(Displacement[0] * Displacement[0] + Displacement[1] * Displacement[1] +
                       Displacement[2] * Displacement[2]);
    StraightGeometry();
}

void Tinterpousinage::Process(TclPathState& s)
{
    if (!AnyAxisMoves) return;
    s.Draw(*this);
    if (s.PvtRunOpen) {
        if (IsContinuous(s, s.PendingPvtElement.get(), this)) {
            AddToPvtRun(s);
        } else {
            ClosePVTTrajectory(s);
            AssignTo(s.PendingWorkMove);
        }
    } else if (s.PendingWorkMove) {
        if (IsContinuous(s, s.PendingWorkMove.get(), this)) {
            // The held move opens the run: from rest.
            ElementSlot held = s.PendingWorkMove.Take();
            held->EntrySpeed = 0.0;
            held->AddToPvtRun(s);
            AddToPvtRun(s);
        } else {
            // A corner: both go as single moves, the held one first.
            FlushPendingWorkMove(s);
            ApplySpeedChanges(s, *this);
            WriteSingleMove(s, *this, true);
        }
    } else {
        AssignTo(s.PendingWorkMove);
    }
}

void Tinterpousinage::WritePvtSegments(TclPathState& s, const telement_simple* successor) const
{
    s.Plan.push_back({false, Displacement[0], Displacement[1], Displacement[2], EntrySpeed, CruiseSpeed,
                      successor ? successor->EntrySpeed : 0.0});
}

// ---------------------------------------------------------------------------------------------
// Arcs

void Tarcplus::AssignTo(ElementSlot& slot) const { slot.Hold(*this); }
void Tarcmoins::AssignTo(ElementSlot& slot) const { slot.Hold(*this); }

telement_simple* ElementSlot::get() noexcept
{
    return std::visit(
        [](auto& e) -> telement_simple* {
            if constexpr (std::is_same_v<std::decay_t<decltype(e)>, std::monostate>) return nullptr;
            else return &e;
        },
        mStorage);
}

const telement_simple* ElementSlot::get() const noexcept { return const_cast<ElementSlot*>(this)->get(); }

void TArc::ComputeGeometry()
{
    Radius = std::sqrt(I * I + J * J);
    RadiusAngleStart = geom::AngleOfVector(-I, -J);
    RadiusAngleEnd = RadiusAngleStart + Sweep;
    End[0] = Start[0] + I + Radius * std::cos(RadiusAngleEnd);
    End[1] = Start[1] + J + Radius * std::sin(RadiusAngleEnd);
    End[2] = Start[2];
    const double quarter = Sweep >= 0.0 ? geom::kPi / 2 : -geom::kPi / 2;
    PlaneAngleStart = RadiusAngleStart + quarter;
    PlaneAngleEnd = RadiusAngleEnd + quarter;
    ElevationStart = 0.0;
    ElevationEnd = 0.0;
}

void TArc::Process(TclPathState& s)
{
    if (!AnyAxisMoves) return;
    s.Draw(*this);
    if (s.PendingWorkMove) {
        if (IsContinuous(s, s.PendingWorkMove.get(), this)) {
            ElementSlot held = s.PendingWorkMove.Take();
            held->EntrySpeed = 0.0;
            held->AddToPvtRun(s);
        } else {
            FlushPendingWorkMove(s);
        }
    }
    if (s.PvtRunOpen && !IsContinuous(s, s.PendingPvtElement.get(), this)) ClosePVTTrajectory(s);
    // An arc that opens a run starts from rest like any other run.
    if (!s.PvtRunOpen) EntrySpeed = 0.0;
    AddToPvtRun(s);
}

void TArc::WritePvtSegments(TclPathState& s, const telement_simple* successor) const
{
    s.Plan.push_back({true, I, J, Sweep, EntrySpeed, CruiseSpeed, successor ? successor->EntrySpeed : 0.0});
}

// ---------------------------------------------------------------------------------------------
// Shared operations

int ChangeAxisSpeed(TclPathState& s, int axis, double speed)
{
    if (s.Direct) {
        if (!s.Executor || s.Config.Simulation) return 0;
        return s.Executor->ChangeAxisSpeed(axis, speed);
    }
    s.Writer.SpeedChange(axis, speed);
    return 0;
}

void ApplySpeedChanges(TclPathState& s, const telement_simple& e)
{
    for (int a = 0; a < s.AxisCount(); ++a) {
        const auto ax = static_cast<std::size_t>(a);
        // Every axis the line names: an absolute move sends it to its target from wherever the
        // controller has it, which need not be the programmed start.
        if (!e.AxisMoves[ax] || e.CruiseSpeed == s.AxisSpeedSet[ax]) continue;
        if (const int err = ChangeAxisSpeed(s, a, e.CruiseSpeed)) {
            s.ShowMsg("Error " + num::integer(err));
            return;
        }
        s.AxisSpeedSet[ax] = e.CruiseSpeed;
    }
}

void FlushPendingWorkMove(TclPathState& s)
{
    if (!s.PendingWorkMove) return;
    ElementSlot held = s.PendingWorkMove.Take();
    ApplySpeedChanges(s, *held);
    WriteSingleMove(s, *held, true);
}

void ClosePVTTrajectory(TclPathState& s)
{
    if (!s.PendingPvtElement) return;
    s.PendingPvtElement->WritePvtSegments(s, nullptr);
    s.PvtRunLastLine = s.PendingPvtElement->Line;
    s.PendingPvtElement.reset();

    const int n = s.PvtFileCount;
    const std::string name = "TRJ" + num::integer(n) + ".PVT";
    PvtRunPlan plan = std::move(s.Plan);
    s.Plan = PvtRunPlan();
    s.PvtRunOpen = false;

    if (s.Direct) {
        // The run executes at once: its text is needed now.
        std::string text = PvtRunText(plan, s.Config);
        if (!s.PvtFiles.empty() && s.PvtFiles.back().Name == name)
            s.PvtFiles.back().Text = text;  // the direct mode reuses one file name
        else
            s.PvtFiles.push_back({name, text});
        if (s.FileSink) {
            if (!s.FileSinkFailed && !s.FileSink(s.PvtFiles.back())) s.FileSinkFailed = true;
            std::string().swap(s.PvtFiles.back().Text);
        }
        if (s.Executor && !s.Config.Simulation) {
            if (const int err = s.Executor->RunPvt(name, text)) s.ShowMsg("Error " + num::integer(err));
            s.Executor->WaitNextBlock();
        }
    } else {
        s.Maker->Submit(name, std::move(plan));
        const ScriptSpan span = s.Writer.PvtRun(n, s.PvtRunStart, s.RelativeMode);
        for (int l = std::max(s.PvtRunFirstLine, 0); l <= s.PvtRunLastLine; ++l) {
            const auto idx = static_cast<std::size_t>(l);
            if (idx < s.LineTable.size() && s.LineTable[idx].Group != -1)
                s.Record(l, s.LineGroup, LineTextKind::PvtRun, span, n);
        }
        ++s.LineGroup;
        ++s.PvtFileCount;
    }
    s.PvtRunFirstLine = -1;
    s.PvtRunLastLine = -1;
}

}  // namespace mvx::tclpath
