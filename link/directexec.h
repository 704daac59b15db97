#pragma once
// The direct mode's controller side: each element of a conversion runs on the controller as
// soon as it is processed (absolute group moves through the absolute-move worker, PVT runs,
// tool output switching, speed changes, dwells and the block-by-block wait).
//
// Before the first move or PVT run the group is brought to a ready state: a group that is not
// initialised or not homed would refuse every move.
//
// Thread: the conversion calls it from its worker thread (a call on the GUI thread works too:
// its waits then dispatch events). Each controller call takes its own pooled connection and
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
};

class DirectExec : public DirectExecutor {
public:
    explicit DirectExec(MachineConfig config = {}, DirectControls controls = {});

    // The configuration of the next conversion (GUI thread, between conversions).
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

    // Initialises and homes the group unless it is ready already; 0 when it is ready.
    int EnsureGroupReady();
    // The tool output of the output setup's "Activate tool" row.
    int SetToolOutput(bool active);

private:
    MachineConfig config() const;
    bool stopped() const;
    std::string positioner(int axis, const MachineConfig& c) const;

    mutable std::mutex mMutex;
    MachineConfig mConfig;
    DirectControls mControls;
};

// Ready states of a group: initialised, homed and not moving.
bool GroupStatusReady(int status);

}  // namespace mvx::link
