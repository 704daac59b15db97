#pragma once
// Motion elements of the script path. Each motion block becomes one element that computes its
// geometry and then processes itself: consecutive working moves and arcs that turn by less than
// the discontinuity angle join a PVT run; everything else is a single controller move, written
// as script lines or, in the direct mode, executed at once.
//
// A working move is held back by one block, because only the next block tells whether it
// starts a run; at a corner both go as single moves. Whatever is held or open is written
// before any block that is not a move (M code, dwell) and at the end of the conversion, never
// dropped.

#include "machineconfig.h"
#include "observer.h"
#include "pvtrun.h"
#include "tclscript.h"

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <variant>
#include <vector>

namespace mvx::tclpath {

class telement_simple;

// What one G-code line became on the script path, as the line table shows it.
enum class LineTextKind : std::uint8_t {
    Unknown,           // "Unknown"
    NotRecognized,     // "Not recognized"
    WorkSpeed,         // "Change work speed"
    PositioningSpeed,  // "Change positionning speed"
    Delay,             // "Delay"
    Absolute,          // "Absolute"
    Relative,          // "relative"
    MCommand,          // "\"M\" command"
    MNotRecognized,    // "\"M\" command not recognized"
    PositioningMove,   // PositioningLineText(Span)
    WorkMove,          // WorkLineText(Span)
    PvtRun,            // PvtRunLineText(File, Span)
    MOutput,           // MCommandLineText(Span)
};

// One line's record: its group and what its text is made of (a million-line program holds a
// million records; the text is made when it is shown).
struct LineRecord {
    int Group = 0;
    LineTextKind Kind = LineTextKind::Unknown;
    int File = 0;
    ScriptSpan Span;

    // The text ("§" is a line break in the window), at most 100 characters.
    std::string Text() const;
};

using PvtFile = mvx::PvtFile;

struct TclPathState;
class ElementSlot;

// Base of the motion elements.
class telement_simple {
public:
    enum Kind : int { Positioning = 0, Working = 1 };

    virtual ~telement_simple() = default;

    std::array<double, 3> Start{0.0, 0.0, 0.0};
    std::array<double, 3> End{0.0, 0.0, 0.0};
    double PlaneAngleStart = 0.0, PlaneAngleEnd = 0.0;
    double ElevationStart = 0.0, ElevationEnd = 0.0;
    double EntrySpeed = 0.0;
    double CruiseSpeed = 0.0;
    int ElementKind = Positioning;
    std::array<bool, 3> AxisMoves{false, false, false};
    bool AnyAxisMoves = false;
    int Line = -1;

    // A copy of the element (for the held move and the run's last element).
    virtual void AssignTo(ElementSlot& slot) const = 0;
    virtual void ComputeGeometry() {}
    virtual void Process(TclPathState& s) = 0;
    // The element's rows in the open run; `successor` gives the exit speed (none: rest).
    virtual void WritePvtSegments(TclPathState& s, const telement_simple* successor) const;
    // True when the element travels no distance.
    virtual bool ZeroLength() const;

    void AddToPvtRun(TclPathState& s) const;
    void StoreEndPosition(TclPathState& s);
    // Both present and turning by less than the discontinuity angle, in plan and in elevation.
    static bool IsContinuous(const TclPathState& s, const telement_simple* previous, const telement_simple* next);

protected:
    void StraightGeometry();
};

class TinterpoPositionnement : public telement_simple {
public:
    void AssignTo(ElementSlot& slot) const override;
    void ComputeGeometry() override;
    void Process(TclPathState& s) override;
};

class Tinterpousinage : public telement_simple {
public:
    std::array<double, 3> Displacement{0.0, 0.0, 0.0};
    double Length = 0.0;

    void AssignTo(ElementSlot& slot) const override;
    void ComputeGeometry() override;
    void Process(TclPathState& s) override;
    void WritePvtSegments(TclPathState& s, const telement_simple* successor) const override;
    bool ZeroLength() const override { return !(Length > 0.0); }
};

// Arc about a centre at offset (I, J) from the start; Sweep in radians, positive
// counter-clockwise. Clockwise arcs are Tarcmoins, counter-clockwise ones Tarcplus.
class TArc : public telement_simple {
public:
    double I = 0.0, J = 0.0, K = 0.0;
    double Sweep = 0.0;
    double Radius = 0.0;
    double RadiusAngleStart = 0.0, RadiusAngleEnd = 0.0;

    void ComputeGeometry() override;
    void Process(TclPathState& s) override;
    void WritePvtSegments(TclPathState& s, const telement_simple* successor) const override;
    bool ZeroLength() const override { return !(Radius > 0.0) || Sweep == 0.0; }
};

class Tarcplus : public TArc {
public:
    void AssignTo(ElementSlot& slot) const override;
};

class Tarcmoins : public TArc {
public:
    void AssignTo(ElementSlot& slot) const override;
};

// Room for a copy of any motion element: the held working move and the last element of the open
// run, copied block after block without an allocation.
class ElementSlot {
public:
    explicit operator bool() const noexcept { return get() != nullptr; }
    telement_simple* get() noexcept;
    const telement_simple* get() const noexcept;
    telement_simple* operator->() noexcept { return get(); }
    telement_simple& operator*() noexcept { return *get(); }
    void reset() noexcept { mStorage = std::monostate{}; }
    template <class Element>
    void Hold(const Element& e)
    {
        mStorage = e;
    }
    // The content, moved out: the slot is empty afterwards.
    ElementSlot Take() noexcept
    {
        ElementSlot out = std::move(*this);
        reset();
        return out;
    }

private:
    std::variant<std::monostate, TinterpoPositionnement, Tinterpousinage, Tarcplus, Tarcmoins> mStorage;
};

// The state of one conversion. Everything starts afresh with every conversion.
struct TclPathState {
    TclPathState(const MachineConfig& config, ConversionObserver* observer, DirectExecutor* executor);
    ~TclPathState();

    const MachineConfig& Config;
    ConversionObserver* Observer;  // may be null
    DirectExecutor* Executor;      // direct mode only; null: nothing is executed
    bool Direct;

    TclScript Script;
    TclBodyWriter Writer;
    PvtRunPlan Plan;                      // pieces of the open run
    std::unique_ptr<PvtFileMaker> Maker;  // makes the closed runs' files (script path)

    std::array<double, 3> RunningPosition{0.0, 0.0, 0.0};
    bool RelativeMode = false;
    double CurrentPositioningSpeed;
    double CurrentWorkingSpeed;
    std::array<double, 3> AxisSpeedSet{0.0, 0.0, 0.0};
    int LineGroup = 1;

    ElementSlot PendingWorkMove;
    ElementSlot PendingPvtElement;
    bool PvtRunOpen = false;
    int PvtRunFirstLine = -1;  // -1: no line yet (0 is the first G-code line)
    int PvtRunLastLine = -1;
    std::array<double, 3> PvtRunStart{0.0, 0.0, 0.0};
    int PvtFileCount = 1;

    std::vector<LineRecord> LineTable;
    std::vector<PvtFile> PvtFiles;
    std::vector<PathSegment> Drawing;
    bool KeepDrawing = true;  // false: the pieces go to the observer only
    // When set, every PVT file goes here as soon as it is made (from Maker's workers on the
    // script path) and only its name stays in PvtFiles. After a refusal nothing more is handed
    // over (FileSinkFailed in the direct mode, Maker->Failed() otherwise).
    std::function<bool(const PvtFile&)> FileSink;
    bool FileSinkFailed = false;

    // The sink refused a file (here or on a worker of Maker).
    bool SinkFailed() const noexcept { return FileSinkFailed || (Maker && Maker->Failed()); }
    // Every file made so far, in order, once the workers are done.
    void CollectFiles();

    int AxisCount() const noexcept { return Config.XYGroupOnly ? 2 : 3; }
    void ShowMsg(const std::string& text);
    // Sets a line's record.
    void Record(int line, int group, LineTextKind kind, ScriptSpan span = {}, int file = 0);
    void Draw(const telement_simple& e);
};

// Speeds of the axes the element's line names, where they differ from the last set, in axis
// order (the SCT path's relative moves set those they displace).
// A refusal shows "Error " + code and ends the changes (that speed is not remembered).
void ApplySpeedChanges(TclPathState& s, const telement_simple& e);
// One axis: SGamma parameters in the direct mode (no script line), else a change_speed block.
// Returns the controller's code (0 on the script path).
int ChangeAxisSpeed(TclPathState& s, int axis, double speed);
// The held working move, if any, as a single move (speed changes first); then freed.
void FlushPendingWorkMove(TclPathState& s);
// Closes the open run into the next PVT file and its script block (or executes it).
void ClosePVTTrajectory(TclPathState& s);

}  // namespace mvx::tclpath
