#pragma once
// What a conversion tells the window that runs it, and what it asks of the controller link in
// the direct mode. Both are interfaces so the translator links neither Qt nor the link library.
//
// Thread: a conversion calls these from the thread it runs on; an implementation that touches
// widgets must hand the call over to the GUI thread itself.

#include <array>
#include <string>
#include <string_view>

namespace mvx {

// One drawn piece of the job path (3D view): a straight piece from Start to End, made by
// G-code line `Line` (0-based); Working tells a cut from a positioning move.
struct PathSegment {
    std::array<double, 3> Start{};
    std::array<double, 3> End{};
    bool Working = false;
    int Line = -1;
};

class ConversionObserver {
public:
    virtual ~ConversionObserver() = default;

    // Status panel 0 (progress text such as "Line 3/10").
    virtual void SetStatusText(std::string_view text) { (void)text; }
    // The line list's current line (0-based); the previous one is deselected.
    virtual void SelectLine(int index) { (void)index; }
    // A message for the user (modal in the window, collected in batch runs).
    virtual void ShowMsg(std::string_view text) { (void)text; }
    // A new piece of the job path, in conversion order.
    virtual void DrawSegment(const PathSegment& segment) { (void)segment; }
    // STOP or Abort: the conversion ends at the next line. Must be cheap and thread-safe.
    virtual bool StopRequested() const { return false; }
};

// The controller side of the direct mode. Every call takes its own pooled connection and gives
// it back before returning; a result of 0 is success, anything else the controller's code.
class DirectExecutor {
public:
    virtual ~DirectExecutor() = default;

    // Reads the axis' SGamma parameters and writes them back with `speed` as velocity.
    // Returns the Get error when the read fails, else the Set result. Axis 0 X, 1 Y, 2 Z.
    virtual int ChangeAxisSpeed(int axis, double speed) = 0;
    // Current SGamma velocity of X, Y and Z; false when they cannot be read.
    virtual bool ReadPositionerVelocities(std::array<double, 3>& velocities) = 0;
    // One absolute group move to `end` of the axes flagged in `moves` (the others keep their
    // current position), with the tool output active for a working move and inactive otherwise.
    virtual int MoveAbsolute(const std::array<double, 3>& end, const std::array<bool, 3>& moves,
                             bool working, double speed) = 0;
    // Puts the PVT file on the controller and executes it with the tool active.
    virtual int RunPvt(const std::string& fileName, const std::string& fileText) = 0;
    // GPIODigitalSet on "GPIO" + gpio + ".DO ".
    virtual int SetDigitalOutput(int gpio, unsigned mask, unsigned value) = 0;
    // A dwell: waits while the window stays live.
    virtual void Wait(int milliseconds) = 0;
    // "Block/block": waits for Next, STOP or Abort when the toggle is down.
    virtual void WaitNextBlock() = 0;
};

}  // namespace mvx
