#pragma once
// PVT runs: a chain of working moves and arcs that the controller executes as one trajectory
// from a text file "TRJ" + n + ".PVT". Each row gives the duration of a segment and, per axis,
// the displacement during it and the speed at its end.
//
// File format: one row per line, fields separated by one blank, no header, no comments:
//   dt dX vX dY vY [dZ vZ]
// dt with 6 decimals, the others with "NB DIGIT PVT" decimals; no Z fields for a group without
// Z. A run starts at rest and ends at rest.

#include "machineconfig.h"

#include <array>
#include <atomic>
#include <condition_variable>
#include <deque>
#include <exception>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace mvx {

// One piece of an element's speed profile: covers `Length`, ends at `EndSpeed`, takes `Duration`.
struct PvtSegment {
    double Length = 0.0;
    double EndSpeed = 0.0;
    double Duration = 0.0;
};

// Trapezoidal or triangular profile over length L from entry speed u through cruise speed o to
// exit speed w with acceleration a. The lengths add up to L exactly; L <= 0 gives no segment.
std::vector<PvtSegment> PvtSpeedProfile(double length, double entry, double cruise, double exit, double accel);

// Rows of one run and the file text they close into. Rows go straight into the text.
class PvtRunBuilder {
public:
    PvtRunBuilder() = default;
    explicit PvtRunBuilder(const MachineConfig& config);
    // Takes the settings of `config` and empties the run.
    void Configure(const MachineConfig& config);

    // A straight working move of displacement `delta`. The first element of a run starts from rest.
    void AddStraight(const std::array<double, 3>& delta, double entry, double cruise, double exit);
    // An arc from the current point: centre at offset (i, j) from it, `sweep` radians
    // (positive counter-clockwise), cut into sub-rows of at most `AngularStep`.
    void AddArc(double i, double j, double sweep, double entry, double cruise, double exit);

    // One row; displacements too short in time to write are carried into the next row.
    void AddRow(double dt, const std::array<double, 3>& d, const std::array<double, 3>& v);

    bool Empty() const noexcept { return mElements == 0; }

    // Ends the run: a last short row takes what is still carried, and the file text (every row
    // followed by "\n") is returned. The builder is then empty, carry cleared.
    std::string Close();
    void Clear();

private:
    void Emit(double dt, const std::array<double, 3>& v, bool closingRow);

    double mAcceleration = 100.0;
    double mAngularStep = 0.0872664626;
    int mDigits = 6;
    std::size_t mAxes = 3;
    std::string mText;  // rows so far, each followed by "\n"; its capacity serves every run
    int mElements = 0;
    // Displacement handed to rows so far (exact) and written so far (as printed), per axis: each
    // written row prints the difference, so the rows of a file add up to the path it follows.
    std::array<double, 3> mTarget{0.0, 0.0, 0.0};
    std::array<double, 3> mWritten{0.0, 0.0, 0.0};
};

// One element of a run as the run's rows are made from it: the conversions collect a run's
// pieces and the text is made later, on a worker when the run is one of many.
struct PvtPiece {
    bool Arc = false;
    double A = 0.0, B = 0.0, C = 0.0;  // straight: dX dY dZ; arc: centre offset I J, sweep (radians)
    double Entry = 0.0, Cruise = 0.0, Exit = 0.0;
};
using PvtRunPlan = std::vector<PvtPiece>;

// The file text of a run (PvtRunBuilder over its pieces in order).
std::string PvtRunText(const PvtRunPlan& plan, const MachineConfig& config);

struct PvtFile {
    std::string Name;  // "TRJ" + n + ".PVT"
    std::string Text;  // rows, each ended by "\n"
};

// Makes the files of closed runs. Runs are independent files, so beyond a few their texts are
// made (and handed to the sink) on worker threads, while each file keeps its name, its rows and
// their order exactly as one thread would make them.
//
// Thread: Submit, Failed and Finish from the conversion's thread. The sink is called from
// worker threads, once per file and for several files at a time: it must be thread-safe.
class PvtFileMaker {
public:
    // Takes a file and returns false when it cannot (a write that failed); empty: keep texts.
    using Sink = std::function<bool(const PvtFile&)>;

    PvtFileMaker(const MachineConfig& config, Sink sink);
    ~PvtFileMaker();
    PvtFileMaker(const PvtFileMaker&) = delete;
    PvtFileMaker& operator=(const PvtFileMaker&) = delete;

    void Submit(std::string name, PvtRunPlan plan);
    // A sink refused a file: the conversion should end; later files are not handed over.
    bool Failed() const noexcept { return mFailed.load(std::memory_order_relaxed); }
    // Waits for every file; then the files in submission order (texts empty when a sink took
    // them). An exception on a worker is thrown again here.
    std::vector<PvtFile> Finish();

private:
    struct Job {
        PvtFile* File;
        PvtRunPlan Plan;
    };
    // Jobs go to the workers a batch at a time: one lock and at most one wake-up per batch, not
    // per file (a job of 150,000 small runs would spend its time switching threads).
    using Batch = std::vector<Job>;
    void Make(PvtFile& file, const PvtRunPlan& plan);
    void StartWorker();
    void Flush();
    void Work();

    const MachineConfig mConfig;
    Sink mSink;
    std::deque<PvtFile> mFiles;  // stable addresses: workers fill them in place
    std::atomic<bool> mFailed{false};
    std::size_t mSubmittedPieces = 0;

    std::mutex mMutex;
    std::condition_variable mWake;  // work queued, or finishing
    std::condition_variable mRoom;  // the queue took some work
    Batch mBatch;  // jobs not handed over yet (conversion's thread only)
    std::size_t mBatchPieces = 0;
    std::deque<Batch> mQueue;
    std::size_t mQueuedPieces = 0;
    int mIdle = 0;  // workers waiting for work
    bool mFinishing = false;
    std::exception_ptr mError;
    std::vector<std::thread> mWorkers;
};

}  // namespace mvx
