#pragma once
// The direct mode's controller side: each element of a conversion runs on the controller as
// soon as it is processed (absolute group moves through the absolute-move worker, PVT runs,
// tool output switching, speed changes, dwells and the block-by-block wait).
//
// Before a move or PVT run the group's status is read: a group not initialised is initialised
// and homed, a group initialised but not homed is homed (each said in the log); a ready group is
// left where it is. A group in any other state (disabled, in jog, moving) is not touched: the job
// stops with a message.
//
// A step whose outcome leaves the machine's position unknown (a status or position read, an
// initialisation, a home search, a move or a PVT run without a reply or without a connection)
// stops the job with a message, so no later move starts from a point the program does not know.
// Such a step is said once, through Report, and returns 0 to the conversion; it then ends at its
// next line. A controller that refuses a move answers with its code, which the conversion
// reports before it goes on; a refused PVT run is said only in the console's log, in debug. A speed that cannot be set is said, and the move goes on.
//
// Thread: the conversion calls it from its worker thread (a call on the GUI thread works too:
// its waits then go off it, through RunOffGuiThread). Each controller call takes its own pooled connection and
// gives it back before the method returns. File uploads are handed to the GUI thread.

#include "translator/machineconfig.h"
#include "translator/observer.h"

#include <atomic>
#include <functional>
#include <mutex>
#include <string>

namespace mvx::link {

// What the main window lends the direct mode. Every member may be empty.
struct DirectControls {
    // "Block/block" is down. Called from the conversion's thread: must be thread-safe.
    std::function<bool()> BlockByBlock;
    // Enables "Next" (called from the conversion's thread; the window hands it to the GUI).
    std::function<void(bool)> EnableNext;
    std::atomic<int>* NextBlockRequested = nullptr;
    std::atomic<int>* AbortRequested = nullptr;
    // The executed path of the 3D view: keep its last two nodes (after a move) or clear it
    // (after a PVT run).
    std::function<void(bool clear)> TrimExecutedPath;
    // A line for the user (called from the conversion's thread): `failure` for a failed step,
    // else a note for the status bar and the log.
    std::function<void(const std::string& text, bool failure)> Report;
};

// EnsureGroupReady's result for a group in a state that the direct mode does not change.
inline constexpr int kGroupNotReady = -1001;

class Controller;

class DirectExec : public DirectExecutor {
public:
    // Runs on `controller`, which must outlive it.
    explicit DirectExec(Controller& controller, MachineConfig config = {}, DirectControls controls = {});

    // The configuration of the next conversion (GUI thread, between conversions); a job stopped
    // by a failed step may run again from here.
    void setConfig(const MachineConfig& config);
    void setControls(DirectControls controls);

    int ChangeAxisSpeed(int axis, double speed) override;
    bool ReadPositionerVelocities(std::array<double, 3>& velocities) override;
    int MoveAbsolute(const std::array<double, 3>& end, const std::array<bool, 3>& moves, bool working,
                     double speed) override;
    int RunPvt(const std::string& fileName, const std::string& fileText) override;
    int SetDigitalOutput(int gpio, unsigned mask, unsigned value) override;
    void Wait(int milliseconds) override;
    void WaitNextBlock() override;

    // Makes the group ready as the header says; 0 when it is ready, else the failing call's code
    // (or kGroupNotReady) after the job was stopped.
    int EnsureGroupReady();
    // A step failed so that the job cannot go on: said, and every later step is refused.
    bool jobFailed() const noexcept { return mJobFailed.load(); }
    // The tool output of the output setup's "Activate tool" row.
    int SetToolOutput(bool active);

private:
    MachineConfig config() const;
    DirectControls controls() const;
    bool stopped() const;
    std::string positioner(int axis, const MachineConfig& c) const;
    void note(const std::string& text) const;
    void stopJob(const std::string& text);

    Controller& mLink;
    std::atomic<bool> mJobFailed{false};
    mutable std::mutex mMutex;
    bool mGroupChecked = false;  // under mMutex: the status was read ready in this job
    MachineConfig mConfig;
    DirectControls mControls;
};

// Ready states of a group: initialised, homed and not moving.
bool GroupStatusReady(int status);

}  // namespace mvx::link
