#pragma once
// The main window's position and output poll: a timer that reads the group's positions, its
// status and the five output lamps, and hands them to the window through PollView.
//
// Thread: GUI thread only. A tick's controller calls run on a helper thread over one pooled
// connection while the GUI thread stays live; the timer is off from the start of a tick until
// its readings have been shown, so slow calls never pile up ticks.

#include "link/controller.h"
#include <QObject>
#include <QTimer>

#include <array>
#include <atomic>
#include <string>
#include <thread>

namespace mvx {

// One output lamp: the output group n of "GPIO" + n + ".DO ", its bit (1-based) and the level
// that means "tool active" (lamp "A" only).
struct PollLamp {
    int Group = 1;
    int Bit = 1;
    int Sense = 0;
};

struct PollSetup {
    std::string GroupName;
    int AxisCount = 3;
    bool XYGroupOnly = false;
    int NbDigit = 4;
    std::array<PollLamp, 5> Lamps{};  // "A", "M3", "M4", "M7", "M8"
};

enum class StatusColour { Red, ButtonFace, Yellow, Fuchsia, Blue, Silver, Navy };
// The status bar colour of a GroupStatusGet result.
StatusColour StatusColourOf(int code, int status);
// "X:" + value with `decimals` decimals, at least 2 and at most 12 characters for the value.
std::string AxisText(int axis, double value, int decimals);

// What the window does with a tick's readings. All calls come on the GUI thread.
class PollView {
public:
    virtual ~PollView() = default;
    // Every tick first: the hidden server mode of the command line.
    virtual void PollHiddenServerStep() {}
    virtual bool PollSimulation() const = 0;
    // The group's name and shape have been read from the controller's configuration; until
    // then nothing is asked of the controller.
    virtual bool PollGroupKnown() const { return true; }
    virtual PollSetup PollConfiguration() const = 0;
    virtual bool PollJobRunning() const = 0;
    virtual bool Poll3DVisible() const = 0;
    // Status panel 1, 2 or 3 (axis 0, 1, 2).
    virtual void PollShowAxis(int axis, const std::string& text) = 0;
    // The tool cone at the position read last; visible exactly while a job runs.
    virtual void PollMoveTool(const std::array<double, 3>& position, bool visible) = 0;
    virtual void PollStatusColour(StatusColour colour) = 0;
    virtual void PollLampLit(int lamp, bool lit) = 0;
    virtual void PollExecutedPoint(const std::array<double, 3>& point, bool toolActive) = 0;
    // The positions could not be read. Called once when reading starts to fail, again only
    // after a reading has succeeded in between, so a lost controller gives one report.
    virtual void PollPositionFault(int code) = 0;
    // The position shown last (the conversion reads it as the group's current position).
    virtual std::array<double, 3>& PollCurrentPosition() = 0;
};

// One tick's readings.
struct PollSample {
    int PositionCode = -1;
    std::array<double, 3> Positions{};
    int StatusCode = -1;
    int Status = 0;
    std::array<int, 5> LampCode{-1, -1, -1, -1, -1};
    std::array<int, 5> LampWord{};
};

class PositionPoll : public QObject {
    Q_OBJECT
public:
    PositionPoll(PollView& view, link::Controller& controller, QObject* parent = nullptr);
    ~PositionPoll() override;

    // Settings "ENCODER"/"PERIOD" (default 100 ms).
    void start(int periodMs);
    void stop();
    bool active() const noexcept { return mWanted; }
    bool tickRunning() const noexcept { return mBusy; }
    int ticks() const noexcept { return mTicks; }

    // One tick (the timer's slot).
    void Timer1Timer();

    // The controller calls of a tick on one connection (any thread).
    static PollSample ReadSample(link::Controller& controller, const PollSetup& setup);

signals:
    void tickFinished();

private:
    void apply(const PollSetup& setup, const PollSample& sample);
    void finishTick();

    PollView& mView;
    QTimer mTimer;
    std::thread mReader;
    bool mWanted = false;
    bool mBusy = false;
    bool mFaultShown = false;
    bool mToolActive = false;
    int mTicks = 0;

private:
    link::Controller& mController;
};

}  // namespace mvx
