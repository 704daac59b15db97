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
    // Links `element` after the last one; it becomes the current element.
    void Append(const telement& element) { mElements.push_back(element); }

    long long Count() const noexcept { return static_cast<long long>(mElements.size()); }
    bool Empty() const noexcept { return mElements.empty(); }
    const telement& At(std::size_t i) const { return mElements[i]; }
    const std::vector<telement>& Elements() const noexcept { return mElements; }
    // The element inserted last (the 3D view highlights it); -1 when empty.
    long long CurrentIndex() const noexcept { return Count() - 1; }

    // The SCT text: one line per element, each ended by CR LF.
    std::string SctText() const;

    // True when the direction changes by at least `maxDegrees` between element `index`'s end and
    // the next motion element, or when an output, a dwell, a positioning-speed change or the
    // end of the list comes first. Working-speed changes and zero-length moves are passed over.
    bool IsDiscontinuity(std::size_t index, double maxDegrees) const;

    void Clear() noexcept;

private:
    std::vector<telement> mElements;
};

// M3, M4, M5, M7, M8 and M9 switch outputs; other M codes write nothing.
bool SwitchesOutputs(int m);

using PvtFile = mvx::PvtFile;

// One generation pass. The state starts from what the script header leaves: tool inactive,
// every axis at the positioning speed. Thread: any, one pass per object; the PVT files are made
// by a PvtFileMaker, on workers for a long job.
class SctGenerator {
public:
    SctGenerator(const MachineConfig& config, TclScript& script, bool relativeMode);

    // Writes the body at the script's insertion point. False when stopped by the observer or
    // when the file sink refused a file.
    bool Run(const Ttraject& list, const ConversionObserver* observer = nullptr);

    // Hands every PVT file to `sink` (from worker threads: it must be thread-safe) and keeps
    // only its name (empty Text in Files()), so a long job never holds all its rows.
    void SetFileSink(std::function<bool(const PvtFile&)> sink) { mSink = std::move(sink); }

    const std::vector<PvtFile>& Files() const noexcept { return mFiles; }
    std::vector<PvtFile> TakeFiles() noexcept { return std::move(mFiles); }

private:
    void WriteStraight(const Ttraject& list, std::size_t index, const telement& e, const Vec3& start);
    void WriteArc(const Ttraject& list, std::size_t index, const telement& e, const Vec3& start);
    void WriteSpeed(const telement& e);
    void WriteOutput(const telement& e);
    void WriteDelay(const telement& e);
    // The first step of every zero-length element.
    void ZeroLengthStep(const telement& e);
    // Directions of element `index`, computed once per pass (each element is asked about twice:
    // as the next motion element and as itself).
    const Directions& DirectionsAt(const Ttraject& list, std::size_t index);
    bool Discontinuity(const Ttraject& list, std::size_t index);

    void CloseRun();
    void OpenRun(const Vec3& start);
    void ToolOn();
    void ToolOff();
    // Before a plain move: change_speed, with its check, for each axis of the group that the
    // move displaces and whose last written speed differs from the running speed, in axis order.
    void SpeedLines(const Vec3& displacement);
    void Check() { mScript.Insert(tclcheck::kProcedure); }
    void AppendMoveArgs(std::string& out, const Vec3& d) const;
    int AxisCount() const noexcept { return mConfig.XYGroupOnly ? 2 : 3; }

    const MachineConfig& mConfig;
    TclScript& mScript;
    PvtFileMaker* mMaker = nullptr;  // during Run
    PvtRunPlan mPlan;                // the open run's pieces
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
    std::size_t mDirectionsIndex = static_cast<std::size_t>(-1);
    Directions mDirections;
};

}  // namespace mvx::sct
