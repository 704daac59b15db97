#include "poll.h"

#include "link/api.h"
#include "link/socketpool.h"
#include "translator/numtext.h"

#include <QMetaObject>

#include <span>

namespace mvx {

StatusColour StatusColourOf(int code, int status)
{
    if (code != 0) return StatusColour::Red;
    if ((status >= 0 && status <= 9) || status == 42) return StatusColour::Red;
    if (status >= 10 && status <= 18) return StatusColour::ButtonFace;
    if (status >= 20 && status <= 38) return StatusColour::Yellow;
    if (status == 40) return StatusColour::Fuchsia;
    if (status == 41) return StatusColour::Blue;
    if (status >= 43 && status <= 45) return StatusColour::Silver;
    return StatusColour::Navy;
}

std::string AxisText(int axis, double value, int decimals)
{
    static const char* const kNames[] = {"X:", "Y:", "Z:"};
    std::string v = num::fixed(value, decimals);
    if (v.size() < 2) v.insert(0, 2 - v.size(), ' ');
    if (v.size() > 12) v.resize(12);
    return std::string(kNames[axis < 0 || axis > 2 ? 0 : axis]) + v;
}

PositionPoll::PositionPoll(PollView& view, link::Controller& controller, QObject* parent) : QObject(parent), mView(view), mController(controller)
{
    connect(&mTimer, &QTimer::timeout, this, &PositionPoll::Timer1Timer);
}

PositionPoll::~PositionPoll()
{
    mTimer.stop();
    if (mReader.joinable()) mReader.join();
}

void PositionPoll::start(int periodMs)
{
    mWanted = true;
    mTimer.setInterval(periodMs > 0 ? periodMs : 100);
    if (!mBusy) mTimer.start();
}

void PositionPoll::stop()
{
    mWanted = false;
    mTimer.stop();
}

PollSample PositionPoll::ReadSample(link::Controller& controller, const PollSetup& setup)
{
    PollSample s;
    const link::PooledSocket connection(controller, 1.0);
    if (!connection) return s;
    const int socket = connection.index();
    try {
        std::array<double, 3> p{};
        const std::size_t n = static_cast<std::size_t>(std::clamp(setup.AxisCount, 1, 3));
        s.PositionCode = api::GroupPositionCurrentGet(socket, setup.GroupName, std::span<double>(p.data(), n));
        s.Positions = p;
        s.StatusCode = api::GroupStatusGet(socket, setup.GroupName, s.Status);
        for (std::size_t i = 0; i < setup.Lamps.size(); ++i) {
            int word = 0;
            s.LampCode[i] = api::GPIODigitalGet(socket, "GPIO" + num::integer(setup.Lamps[i].Group) + ".DO ", word);
            s.LampWord[i] = word;
        }
    } catch (const std::exception&) {
        // A reply that is not a number: what was read so far stands.
    }
    return s;
}

void PositionPoll::Timer1Timer()
{
    if (mBusy) return;
    try {
        mView.PollHiddenServerStep();
        if (mView.PollSimulation() || !mView.PollGroupKnown()) return;
    } catch (...) {
        // The timer stays on: the next period tries again.
        return;
    }
    mTimer.stop();
    mBusy = true;
    ++mTicks;
    PollSetup setup;
    try {
        setup = mView.PollConfiguration();
    } catch (...) {
        // Nothing was read; the timer goes on and the next period tries again.
        finishTick();
        return;
    }
    if (mReader.joinable()) mReader.join();
    mReader = std::thread([this, setup] {
        PollSample sample;
        try {
            sample = ReadSample(mController, setup);
        } catch (...) {
            // The sample stays as made: every code says failed, so the tick shows a failed read.
        }
        QMetaObject::invokeMethod(this, [this, setup, sample] {
            try {
                apply(setup, sample);
            } catch (...) {
                // The next period polls again.
            }
            finishTick();
        }, Qt::QueuedConnection);
    });
}

void PositionPoll::finishTick()
{
    mBusy = false;
    if (mWanted) mTimer.start();
    emit tickFinished();
}

void PositionPoll::apply(const PollSetup& setup, const PollSample& s)
{
    const bool running = mView.PollJobRunning();
    const bool visible3D = mView.Poll3DVisible();
    std::array<double, 3>& current = mView.PollCurrentPosition();
    bool changed = false;
    if (s.PositionCode != 0) {
        if (!mFaultShown) {
            mFaultShown = true;
            mView.PollPositionFault(s.PositionCode);
        }
    } else {
        mFaultShown = false;
        const int axes = setup.XYGroupOnly ? 2 : std::clamp(setup.AxisCount, 1, 3);
        for (int a = 0; a < axes; ++a) {
            const double v = s.Positions[static_cast<std::size_t>(a)];
            if (v != current[static_cast<std::size_t>(a)]) {
                mView.PollShowAxis(a, AxisText(a, v, setup.NbDigit));
                changed = true;
            }
        }
        if (changed) current = s.Positions;
    }
    mView.PollMoveTool(current, running);

    mView.PollStatusColour(StatusColourOf(s.StatusCode, s.Status));

    for (std::size_t i = 0; i < setup.Lamps.size(); ++i) {
        if (s.LampCode[i] != 0) continue;  // a failed read leaves the lamp as it was
        const PollLamp& lamp = setup.Lamps[i];
        const unsigned mask = (lamp.Bit >= 1 && lamp.Bit <= 31) ? (1u << (lamp.Bit - 1)) : 0u;
        const bool set = (static_cast<unsigned>(s.LampWord[i]) & mask) != 0;
        mView.PollLampLit(static_cast<int>(i), set);
        if (i == 0) mToolActive = set == (lamp.Sense == 1);
    }

    if (changed && running && visible3D) {
        std::array<double, 3> point = current;
        if (setup.XYGroupOnly) point[2] = 0.0;
        mView.PollExecutedPoint(point, mToolActive);
    }
}

}  // namespace mvx
