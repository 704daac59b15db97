#include "directexec.h"

#include "api.h"
#include "socketpool.h"
#include "transfer.h"
#include "workers.h"

#include "app/common.h"
#include "app/dialogs.h"
#include "app/fileutil.h"
#include "translator/numtext.h"

#include <QCoreApplication>
#include <QMetaObject>
#include <QThread>

#include <chrono>
#include <filesystem>
#include <span>
#include <thread>

namespace mvx::link {
namespace {

bool onGuiThread()
{
    QCoreApplication* app = QCoreApplication::instance();
    return app && QThread::currentThread() == app->thread();
}

void onGui(const std::function<void()>& work)
{
    QCoreApplication* app = QCoreApplication::instance();
    if (!app || onGuiThread()) work();
    else QMetaObject::invokeMethod(app, work, Qt::BlockingQueuedConnection);
}

// Waits in steps of `stepMs` until `done` (events dispatched on the GUI thread).
void waitUntil(const std::function<bool()>& done, unsigned stepMs)
{
    while (!done()) {
        if (onGuiThread()) WaitWithMessages(stepMs);
        else std::this_thread::sleep_for(std::chrono::milliseconds(stepMs));
    }
}

int call(double timeoutSeconds, bool take, const std::function<int(int)>& body)
{
    const int socket = take ? TakeSocket(timeoutSeconds) : GetSocket(timeoutSeconds);
    if (socket < 0) return api::kErrorNoSocket;
    int code = api::kErrorEmptyReply;
    try {
        code = body(socket);
    } catch (const std::exception&) {
    }
    ReleaseSocket(socket);
    return code;
}

}  // namespace

bool GroupStatusReady(int status) { return status >= 10 && status <= 18; }

DirectExec::DirectExec(MachineConfig config, DirectControls controls)
    : mConfig(std::move(config)), mControls(std::move(controls))
{
}

void DirectExec::setConfig(const MachineConfig& config)
{
    std::lock_guard<std::mutex> lock(mMutex);
    mConfig = config;
}

void DirectExec::setControls(DirectControls controls)
{
    std::lock_guard<std::mutex> lock(mMutex);
    mControls = std::move(controls);
}

MachineConfig DirectExec::config() const
{
    std::lock_guard<std::mutex> lock(mMutex);
    return mConfig;
}

bool DirectExec::stopped() const
{
    std::atomic<int>* abort = nullptr;
    {
        std::lock_guard<std::mutex> lock(mMutex);
        abort = mControls.AbortRequested;
    }
    return common().StopRequested.load() != 0 || (abort && abort->load() != 0);
}

std::string DirectExec::positioner(int axis, const MachineConfig& c) const
{
    return c.GroupName + "." + c.AxisNames[static_cast<std::size_t>(std::clamp(axis, 0, 2))];
}

int DirectExec::ChangeAxisSpeed(int axis, double speed)
{
    const MachineConfig c = config();
    const std::string name = positioner(axis, c);
    return call(1.0, true, [&](int s) {
        double v = 0, a = 0, jmin = 0, jmax = 0;
        const int code = api::PositionerSGammaParametersGet(s, name, v, a, jmin, jmax);
        if (code != 0) return code;
        return api::PositionerSGammaParametersSet(s, name, speed, a, jmin, jmax);
    });
}

bool DirectExec::ReadPositionerVelocities(std::array<double, 3>& velocities)
{
    const MachineConfig c = config();
    std::array<double, 3> v{};
    const int axes = c.XYGroupOnly ? 2 : 3;
    const int code = call(1.0, true, [&](int s) {
        for (int i = 0; i < axes; ++i) {
            double a = 0, jmin = 0, jmax = 0;
            if (const int e = api::PositionerSGammaParametersGet(s, positioner(i, c), v[static_cast<std::size_t>(i)], a,
                                                                 jmin, jmax))
                return e;
        }
        return 0;
    });
    if (code != 0) return false;
    velocities = v;
    return true;
}

int DirectExec::EnsureGroupReady()
{
    const std::string group = config().GroupName;
    int status = 0;
    const int code = call(1.0, false, [&](int s) { return api::GroupStatusGet(s, group, status); });
    if (code != 0) return code;
    if (GroupStatusReady(status)) return 0;
    if (status != 42) {
        if (status > 9) {
            // Moving, disabled or in jog: stop it first, as the job road's "Init" does.
            if (const int e = call(1.0, true, [](int s) { return api::KillAll(s); })) return e;
        }
        if (const int e = call(60.0, false, [&](int s) { return api::GroupInitialize(s, group); })) return e;
    }
    return call(60.0, false, [&](int s) { return api::GroupHomeSearch(s, group); });
}

int DirectExec::SetToolOutput(bool active)
{
    const OutputRow row = config().ActivateTool;
    return SetDigitalOutput(row.Gpio, row.Mask(), active ? row.ActiveValue() : row.InactiveValue());
}

int DirectExec::SetDigitalOutput(int gpio, unsigned mask, unsigned value)
{
    const std::string name = "GPIO" + num::integer(gpio) + ".DO ";
    return call(1.0, true, [&](int s) { return api::GPIODigitalSet(s, name, mask, value); });
}

int DirectExec::MoveAbsolute(const std::array<double, 3>& end, const std::array<bool, 3>& moves, bool working,
                             double speed)
{
    const MachineConfig c = config();
    if (const int e = EnsureGroupReady()) return e;
    SetToolOutput(working);
    const int axes = c.XYGroupOnly ? 2 : 3;
    for (int a = 0; a < axes; ++a) {
        if (const int e = ChangeAxisSpeed(a, speed)) {
            if (working) SetToolOutput(false);
            return e;
        }
    }
    const int count = std::clamp(c.GroupAxisCount, 1, 8);
    std::array<double, 8> targets{};
    const int read = call(1.0, true, [&](int s) {
        return api::GroupPositionCurrentGet(s, c.GroupName, std::span<double>(targets.data(), static_cast<std::size_t>(count)));
    });
    if (read != 0) {
        if (working) SetToolOutput(false);
        return read;
    }
    for (int a = 0; a < axes && a < count; ++a)
        if (moves[static_cast<std::size_t>(a)]) targets[static_cast<std::size_t>(a)] = end[static_cast<std::size_t>(a)];

    SetThreadGroupName(c.GroupName);
    MoveAbsShared& m = moveAbsShared();
    {
        std::lock_guard<std::mutex> lock(m.mutex);
        m.Targets = targets;
        m.TargetCount = count;
    }
    m.MoveAbsError.store(0);
    m.MoveAbsRunning.store(1);
    StartMoveAbsolute();
    waitUntil([&] { return m.MoveAbsRunning.load() == 0; }, 20);
    const int error = m.MoveAbsError.load();
    if (working) SetToolOutput(false);
    DirectControls controls;
    {
        std::lock_guard<std::mutex> lock(mMutex);
        controls = mControls;
    }
    if (controls.TrimExecutedPath) controls.TrimExecutedPath(false);
    return error;
}

int DirectExec::RunPvt(const std::string& fileName, const std::string& fileText)
{
    const MachineConfig c = config();
    const std::string localDir = common().ProgramDir + "TMP/";
    std::string err;
    std::error_code ec;
    std::filesystem::create_directories(localDir, ec);
    if (!WriteFileAtomic(localDir + fileName, fileText, &err)) return api::kErrorBadInput;
    bool sent = false;
    // The transfer session belongs to the GUI thread.
    onGui([&] {
        sent = ChangeControllerDir(common().RemoteTrajectoriesDir, localDir) && PutFile(fileName, fileName, false);
    });
    if (!sent) return api::kErrorNoSocket;
    if (const int e = EnsureGroupReady()) return e;

    SetToolOutput(true);
    SetThreadGroupName(c.GroupName);
    std::atomic<int> done{0};
    std::atomic<int> error{0};
    std::thread worker([&] {
        error.store(call(7200.0, false, [&](int s) { return api::MultipleAxesPVTExecution(s, c.GroupName, fileName, 1); }));
        done.store(1);
    });
    waitUntil([&] { return done.load() != 0; }, 20);
    worker.join();
    SetToolOutput(false);
    DirectControls controls;
    {
        std::lock_guard<std::mutex> lock(mMutex);
        controls = mControls;
    }
    if (controls.TrimExecutedPath) controls.TrimExecutedPath(true);
    return error.load();
}

void DirectExec::Wait(int milliseconds)
{
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(std::max(milliseconds, 0));
    waitUntil([&] { return stopped() || std::chrono::steady_clock::now() >= end; }, 10);
}

void DirectExec::WaitNextBlock()
{
    DirectControls controls;
    {
        std::lock_guard<std::mutex> lock(mMutex);
        controls = mControls;
    }
    if (!controls.BlockByBlock || !controls.BlockByBlock() || !controls.NextBlockRequested) return;
    controls.NextBlockRequested->store(0);
    if (controls.EnableNext) controls.EnableNext(true);
    waitUntil([&] { return controls.NextBlockRequested->load() != 0 || stopped(); }, 10);
}

}  // namespace mvx::link
