#include "directexec.h"

#include "controller.h"

#include "remotefiles.h"

#include "api.h"
#include "socketpool.h"
#include "transfer.h"
#include "workers.h"

#include "apiwire.h"
#include "linktexts.h"

#include "core/common.h"
#include "core/fileutil.h"
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

// Waits in steps of `stepMs` until `done`; on the GUI thread off it, so its buttons stay live.
void waitUntil(const std::function<bool()>& done, unsigned stepMs)
{
    RunOffGuiThread([&] {
        while (!done()) std::this_thread::sleep_for(std::chrono::milliseconds(stepMs));
    });
}

int call(Controller& link, double timeoutSeconds, bool take, const std::function<int(int)>& body)
{
    const PooledSocket connection(link, timeoutSeconds, take ? PooledSocket::Reply::Take : PooledSocket::Reply::Incomplete);
    if (!connection) return api::kErrorNoSocket;
    const int socket = connection.index();
    int code = api::kErrorEmptyReply;
    try {
        code = body(socket);
    } catch (const std::exception&) {
        // A reply that cannot be read: the call reports kErrorEmptyReply.
    }
    // A reply cut by the time-out may have given a code (and some outputs) of its head only.
    if (code == 0 && RequestPending(socket)) code = api::kErrorEmptyReply;
    return code;
}

// No connection, or no whole reply: whether the controller acted is not known.
bool linkFailure(int code) { return code == api::kErrorNoSocket || code == api::kErrorEmptyReply; }

std::string why(int code)
{
    if (code == api::kErrorNoSocket) return "no connection to the controller";
    if (code == api::kErrorEmptyReply) return "no reply from the controller";
    return "error " + num::integer(code);
}

std::string point(const std::array<double, 8>& t, int count)
{
    static const char* kAxes[3] = {"X", "Y", "Z"};
    std::string out;
    for (int a = 0; a < count && a < 3; ++a)
        out += std::string(a ? " " : "") + kAxes[a] + num::fixed(t[static_cast<std::size_t>(a)], 4);
    return out;
}

constexpr const char* kStopped = "Direct execution stopped: ";

}  // namespace

bool GroupStatusReady(int status) { return status >= 10 && status <= 18; }

DirectExec::DirectExec(Controller& controller, MachineConfig config, DirectControls controls)
    : mLink(controller), mConfig(std::move(config)), mControls(std::move(controls))
{
}

void DirectExec::setConfig(const MachineConfig& config)
{
    std::lock_guard<std::mutex> lock(mMutex);
    mConfig = config;
    mJobFailed.store(false);
    mGroupChecked = false;
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

DirectControls DirectExec::controls() const
{
    std::lock_guard<std::mutex> lock(mMutex);
    return mControls;
}

bool DirectExec::stopped() const
{
    if (mJobFailed.load()) return true;
    std::atomic<int>* abort = nullptr;
    {
        std::lock_guard<std::mutex> lock(mMutex);
        abort = mControls.AbortRequested;
    }
    return common().StopRequested.load() != 0 || (abort && abort->load() != 0);
}

void DirectExec::note(const std::string& text) const
{
    const DirectControls c = controls();
    if (c.Report) c.Report(text, false);
    else mLink.log(text);
}

void DirectExec::stopJob(const std::string& text)
{
    // Said once: the first failure is the one that explains the stop.
    if (mJobFailed.exchange(true)) return;
    const DirectControls c = controls();
    // The conversion ends at its next line.
    if (c.AbortRequested) c.AbortRequested->store(1);
    if (c.Report) c.Report(text, true);
    else mLink.log(text);
}

std::string DirectExec::positioner(int axis, const MachineConfig& c) const
{
    return c.GroupName + "." + c.AxisNames[static_cast<std::size_t>(std::clamp(axis, 0, 2))];
}

int DirectExec::ChangeAxisSpeed(int axis, double speed)
{
    // A stopped job sends no more speeds for the moves it no longer makes.
    if (stopped()) return 0;
    const MachineConfig c = config();
    const std::string name = positioner(axis, c);
    return call(mLink, 1.0, true, [&](int s) {
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
    const int code = call(mLink, 1.0, true, [&](int s) {
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
    {
        std::lock_guard<std::mutex> lock(mMutex);
        if (mGroupChecked) return 0;
    }
    const std::string group = config().GroupName;
    int status = 0;
    int code = call(mLink, 1.0, false, [&](int s) { return api::GroupStatusGet(s, group, status); });
    if (code != 0) {
        stopJob(kStopped + std::string("the status of ") + group + " could not be read (" + why(code) + ")");
        return code;
    }
    if (!GroupStatusReady(status)) {
        const bool initialised = status == 42;
        if (status >= 10 && !initialised) {
            // Disabled, in jog, moving: killing and homing it would move a machine that may be
            // homed already; that is for the user to decide.
            stopJob(kStopped + group + " is not ready (status " + num::integer(status) + ")");
            return kGroupNotReady;
        }
        note(group + (initialised ? " not homed (status " : " not initialised (status ") + num::integer(status) +
             (initialised ? "): home search" : "): initialisation and home search"));
        std::string step = "GroupInitialize";
        code = call(mLink, 60.0, false, [&](int s) {
            if (!initialised) {
                int e = api::GroupInitialize(s, group);
                if (e == 0 && RequestPending(s)) e = api::kErrorEmptyReply;
                if (e != 0) return e;
            }
            step = "GroupHomeSearch";
            return api::GroupHomeSearch(s, group);
        });
        if (code != 0) {
            stopJob(kStopped + step + " of " + group + " failed (" + why(code) + ")");
            return code;
        }
    }
    std::lock_guard<std::mutex> lock(mMutex);
    mGroupChecked = true;
    return 0;
}

int DirectExec::SetToolOutput(bool active)
{
    const OutputRow row = config().ActivateTool;
    return SetDigitalOutput(row.Gpio, row.Mask(), active ? row.ActiveValue() : row.InactiveValue());
}

int DirectExec::SetDigitalOutput(int gpio, unsigned mask, unsigned value)
{
    const std::string name = "GPIO" + num::integer(gpio) + ".DO ";
    return call(mLink, 1.0, true, [&](int s) { return api::GPIODigitalSet(s, name, mask, value); });
}

int DirectExec::MoveAbsolute(const std::array<double, 3>& end, const std::array<bool, 3>& moves, bool working,
                             double speed)
{
    // After STOP, Abort or a failed step nothing moves any more (the conversion still flushes
    // what it held back).
    if (stopped()) return 0;
    const MachineConfig c = config();
    if (EnsureGroupReady() != 0) return 0;
    SetToolOutput(working);
    const int axes = c.XYGroupOnly ? 2 : 3;
    for (int a = 0; a < axes; ++a) {
        // A speed the controller did not take: said, and the move goes on at the speed it has.
        if (const int e = ChangeAxisSpeed(a, speed)) {
            const DirectControls ctl = controls();
            if (ctl.Report) ctl.Report("Error " + num::integer(e), true);
            break;
        }
    }
    const int count = std::clamp(c.GroupAxisCount, 1, 8);
    std::array<double, 8> targets{};
    const int read = call(mLink, 1.0, true, [&](int s) {
        return api::GroupPositionCurrentGet(s, c.GroupName, std::span<double>(targets.data(), static_cast<std::size_t>(count)));
    });
    for (int a = 0; a < axes && a < count; ++a)
        if (moves[static_cast<std::size_t>(a)]) targets[static_cast<std::size_t>(a)] = end[static_cast<std::size_t>(a)];
    if (read != 0) {
        // The axes that do not move would go to a guess: the move is not sent, and the job
        // cannot go on from a point it does not know.
        if (working) SetToolOutput(false);
        stopJob(kStopped + std::string("the position of ") + c.GroupName + " could not be read (" + why(read) +
                "); the move to " + point(targets, std::min(axes, count)) + " was not sent");
        return 0;
    }

    mLink.setThreadGroupName(c.GroupName);
    MoveAbsShared& m = mLink.moveAbs();
    {
        std::lock_guard<std::mutex> lock(m.mutex);
        m.Targets = targets;
        m.TargetCount = count;
    }
    m.MoveAbsError.store(0);
    m.MoveAbsRunning.store(1);
    mLink.startMoveAbsolute();
    waitUntil([&] { return m.MoveAbsRunning.load() == 0; }, 20);
    const int error = m.MoveAbsError.load();
    if (working) SetToolOutput(false);
    const DirectControls ctl = controls();
    if (ctl.TrimExecutedPath) ctl.TrimExecutedPath(false);
    if (linkFailure(error)) {
        stopJob(kStopped + std::string("the move of ") + c.GroupName + " to " + point(targets, std::min(axes, count)) +
                " got " + why(error));
        return 0;
    }
    return error;
}

int DirectExec::RunPvt(const std::string& fileName, const std::string& fileText)
{
    if (stopped()) return 0;
    const MachineConfig c = config();
    const std::string localDir = common().ProgramDir + "TMP/";
    std::string err;
    std::error_code ec;
    std::filesystem::create_directories(localDir, ec);
    if (!WriteFileAtomic(localDir + fileName, fileText, &err)) {
        stopJob(kStopped + err);
        return 0;
    }
    if (!mLink.sessionCopiesFiles()) {
        // Refused without a box: the local-drive mode and no session take no file.
        stopJob(kStopped + fileName + ": no file transfer to the controller");
        return 0;
    }
    bool sent = false;
    // The transfer session belongs to the GUI thread.
    onGui([&] {
        sent = mLink.enterDir(common().RemoteTrajectoriesDir, localDir) && mLink.putFile(fileName, fileName, false);
    });
    if (!sent) {
        // The run would not be the one just converted (or none): the next one would start elsewhere.
        stopJob(kStopped + fileName + " could not be put into the controller's trajectory folder");
        return 0;
    }
    if (EnsureGroupReady() != 0) return 0;

    SetToolOutput(true);
    mLink.setThreadGroupName(c.GroupName);
    std::atomic<int> done{0};
    std::atomic<int> error{0};
    std::thread worker([&] {
        const int rc = call(mLink, 7200.0, false, [&](int s) { return api::MultipleAxesPVTExecution(s, c.GroupName, fileName, 1); });
        // A run the controller refused is said only in the console's log, and only in debug.
        if (rc != 0 && !linkFailure(rc) && common().Debug.load()) mLink.log(mLink.errorText(rc));
        error.store(rc);
        done.store(1);
    });
    waitUntil([&] { return done.load() != 0; }, 20);
    worker.join();
    SetToolOutput(false);
    const DirectControls ctl = controls();
    if (ctl.TrimExecutedPath) ctl.TrimExecutedPath(true);
    if (linkFailure(error.load())) {
        stopJob(kStopped + fileName + " on " + c.GroupName + " got " + why(error.load()));
        return 0;
    }
    return 0;
}

void DirectExec::Wait(int milliseconds)
{
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(std::max(milliseconds, 0));
    waitUntil([&] { return stopped() || std::chrono::steady_clock::now() >= end; }, 10);
}

void DirectExec::WaitNextBlock()
{
    const DirectControls c = controls();
    if (!c.BlockByBlock || !c.BlockByBlock() || !c.NextBlockRequested) return;
    c.NextBlockRequested->store(0);
    if (c.EnableNext) c.EnableNext(true);
    waitUntil([&] { return c.NextBlockRequested->load() != 0 || stopped(); }, 10);
}

}  // namespace mvx::link
