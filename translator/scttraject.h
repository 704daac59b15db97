#pragma once
// The SCT list (elements in G-code order) and its generation pass, which turns the list into
// the body of the script and the PVT files.
//
// Generation, element by element in list order:
//   - a working straight move that continues smoothly into the next motion element, or any
//     move while a run is open, adds PVT rows to the open run;
//   - other straight moves become a plain "mov" line (after closing an open run), with the
//     tool switched to match the move and change_speed lines for the axes it moves whose
//     speed differs;
//   - arcs always add PVT rows;
//   - outputs, dwells and positioning-speed changes close the open run first;
//   - at the end the open run is closed and the tool switched off.
// Closing run n writes "TRJ" + n + ".PVT" and its lines: for the first run in absolute mode the
// travel to the run's start point (tool off), then "activate", then the PVT execution.

#include "machineconfig.h"
#include "observer.h"
#include "pvtrun.h"
#include "sctelements.h"
#include "tclscript.h"

#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace mvx::sct {

class Ttraject {
public:
    // Links `element` right after position `after` (-1: at the front), makes it the current
    // element and updates its position from its predecessor.
    telement& InsertAfter(std::unique_ptr<telement> element, long long after);
    telement& Append(std::unique_ptr<telement> element) { return InsertAfter(std::move(element), Count() - 1); }

    // The first element starts at `start`; every element then follows from its predecessor.
    void SetStart(const Vec3& start);

    long long Count() const noexcept { return static_cast<long long>(mElements.size()); }
    bool Empty() const noexcept { return mElements.empty(); }
    const telement& At(std::size_t i) const { return *mElements[i]; }
    long long CurrentIndex() const noexcept { return mCurrent; }
    long long Insertions() const noexcept { return mInsertions; }

    // The SCT text: one line per element, each ended by CR LF.
    std::string SctText() const;

    // True when the direction changes by at least `maxDegrees` between element `index`'s end and
    // the next motion element, or when an output, a dwell, a positioning-speed change or the
    // end of the list comes first. Working-speed changes and zero-length moves are passed over.
    bool IsDiscontinuity(std::size_t index, double maxDegrees) const;

    void Clear() noexcept;

private:
    std::vector<std::unique_ptr<telement>> mElements;
    long long mCurrent = -1;
    long long mInsertions = 0;
};

// M3, M4, M5, M7, M8 and M9 switch outputs; other M codes write nothing.
bool SwitchesOutputs(int m);

struct PvtFile {
    std::string Name;  // "TRJ" + n + ".PVT"
    std::string Text;  // rows, each ended by "\n"
};

// One generation pass. The state starts from what the script header leaves: tool inactive,
// every axis at the positioning speed. Thread: any, one pass per object.
class SctGenerator {
public:
    SctGenerator(const MachineConfig& config, TclScript& script, bool relativeMode);

    // Writes the body at the script's insertion point. False when stopped by the observer.
    bool Run(const Ttraject& list, const ConversionObserver* observer = nullptr);

    // Hands every PVT file to `sink` as soon as its run closes and keeps only its name (empty
    // Text in Files()), so a long job never holds all its rows. A sink that returns false ends
    // the pass (Run returns false).
    void SetFileSink(std::function<bool(const PvtFile&)> sink) { mSink = std::move(sink); }

    const std::vector<PvtFile>& Files() const noexcept { return mFiles; }
    std::vector<PvtFile> TakeFiles() noexcept { return std::move(mFiles); }

    // Writers called by the elements.
    void WriteStraight(const Ttraject& list, std::size_t index, const Tdroite3D& e);
    void WriteArc(const Ttraject& list, std::size_t index, const TarcH& e);
    void WriteSpeed(const TVitesse& e);
    void WriteOutput(const TOutput& e);
    void WriteDelay(const Ttempo& e);
    // The first step of every zero-length element.
    void ZeroLengthStep(const telement& e);

private:
    void CloseRun();
    void OpenRun(const Vec3& start);
    void ToolOn();
    void ToolOff();
    // Before a plain move: change_speed, with its check, for each axis of the group that the
    // move displaces and whose last written speed differs from the running speed, in axis order.
    void SpeedLines(const Vec3& displacement);
    void Check() { mScript.Insert(std::string(tclcheck::kProcedure)); }
    std::string Num(double v) const;
    std::string MoveArgs(double dx, double dy, double dz) const;
    int AxisCount() const noexcept { return mConfig.XYGroupOnly ? 2 : 3; }

    const MachineConfig& mConfig;
    TclScript& mScript;
    PvtRunBuilder mRun;
    bool mRelative = false;

    double mRunningSpeed = 0.0;
    bool mRunningIsWorking = false;
    std::array<double, 3> mLastWrittenSpeed{};
    double mEntrySpeed = 0.0;
    bool mRunOpen = false;
    Vec3 mRunStart{};
    bool mToolActivated = false;
    int mFileCount = 1;  // number of the file the open run becomes
    std::vector<PvtFile> mFiles;
    std::function<bool(const PvtFile&)> mSink;
    bool mSinkFailed = false;
};

}  // namespace mvx::sct
