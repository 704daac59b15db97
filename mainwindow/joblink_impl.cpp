#include "joblink_impl.h"

#include "core/common.h"
#include "link/api.h"
#include "link/controller.h"
#include "link/apiwire.h"
#include "link/remotefiles.h"
#include "link/socketpool.h"
#include "link/transfer.h"
#include "link/scriptexec.h"
#include "translator/numtext.h"

#include <algorithm>
#include <functional>

namespace mvx {
namespace {

// The init's one connection: long enough for a home search.
constexpr double kInitTimeoutSeconds = 60.0;

// One controller call on its own pooled connection, off the GUI thread.
int onConnection(link::Controller& controller, double timeoutSeconds, bool markIncomplete,
                 const std::function<int(int)>& call)
{
    int code = api::kErrorNoSocket;
    link::RunOffGuiThread([&] {
        const link::PooledSocket connection(
            controller, timeoutSeconds,
            markIncomplete ? link::PooledSocket::Reply::Incomplete : link::PooledSocket::Reply::Take);
        if (!connection) return;
        try {
            code = call(connection.index());
        } catch (const std::exception&) {
            code = api::kErrorEmptyReply;
        }
    });
    return code;
}

bool blank(const std::string& s) { return s.find_first_not_of(' ') == std::string::npos; }

}  // namespace

bool JobLinkImpl::enter(const std::string& remoteDir, const std::string& localDir, const std::string& name,
                        std::string& error)
{
    if (!mController.sessionCopiesFiles()) {
        error = "No file transfer to the controller: " + name + " not sent";
        return false;
    }
    if (!mController.transferConnected() && !mController.connectTransfer(false)) {
        error = "No file transfer to the controller: " + name + " not sent";
        return false;
    }
    // A job's files go into one folder: it is listed when the first of them goes there.
    if (!mController.enterDir(remoteDir, localDir)) {
        error = "Controller folder " + remoteDir + " not reachable: " + name + " not sent";
        return false;
    }
    return true;
}

bool JobLinkImpl::PutScript(const std::string& localDir, const std::string& name, std::string& error)
{
    const std::string dir = common().RemoteScriptsDir;
    if (!enter(dir, localDir, name, error)) return false;
    if (!mController.putFile(name, name, false)) {
        error = "Upload of " + name + " into " + dir + " failed";
        return false;
    }
    return true;
}

std::size_t JobLinkImpl::PutTrajectories(const std::string& localDir, std::size_t count,
                                         const std::function<std::string(std::size_t)>& name,
                                         const std::function<bool(std::size_t)>& before, std::string& error)
{
    if (count == 0) return 0;
    const std::string dir = common().RemoteTrajectoriesDir;
    if (!enter(dir, localDir, name(0), error)) return 0;
    const link::Controller::PutSeries series = mController.putFiles(count, name, before);
    if (series.Failed) error = "Upload of " + name(std::min(series.Sent, count - 1)) + " into " + dir + " failed";
    return series.Sent;
}

int JobLinkImpl::KillAll()
{
    const int code = onConnection(mController, 1.0, false, [](int s) { return api::KillAll(s); });
    std::shared_ptr<link::ScriptRun> run = lastRun();
    if (run && !run->Finished()) {
        const std::string task = run->request().TaskName;
        onConnection(mController, 1.0, true, [&](int s) { return api::TCLScriptKill(s, task); });
    }
    return code;
}

int JobLinkImpl::InitialiseGroup(const std::string& group, std::string& step)
{
    struct Call {
        const char* name;
        int (*fn)(int, const std::string&);
    };
    static constexpr Call kCalls[] = {
        {"KillAll", [](int s, const std::string&) { return api::KillAll(s); }},
        {"GroupInitialize", [](int s, const std::string& g) { return api::GroupInitialize(s, g); }},
        {"GroupHomeSearch", [](int s, const std::string& g) { return api::GroupHomeSearch(s, g); }},
    };
    step = kCalls[0].name;
    return onConnection(mController, kInitTimeoutSeconds, true, [&](int s) {
        for (const Call& c : kCalls) {
            step = c.name;
            int code = c.fn(s, group);
            // A reply still on its way would be read as the next call's: the connection goes
            // to the drain instead.
            if (code == 0 && link::RequestPending(s)) code = api::kErrorEmptyReply;
            if (code != 0) return code;
        }
        return 0;
    });
}

int JobLinkImpl::MultipleAxesPVTVerification(const std::string& group, const std::string& file)
{
    if (!mHeld)
        return onConnection(mController, 10.0, true, [&](int s) { return api::MultipleAxesPVTVerification(s, group, file); });
    int code = api::kErrorEmptyReply;
    link::RunOffGuiThread([&] {
        try {
            code = api::MultipleAxesPVTVerification(mHeld.index(), group, file);
        } catch (const std::exception&) {
            code = api::kErrorEmptyReply;
        }
    });
    if (code == api::kErrorEmptyReply) {
        // A late reply would answer the next request: that connection is drained, another taken.
        mHeld.renew(mHeldTimeout);
    }
    return code;
}

bool JobLinkImpl::HoldConnection(double timeoutSeconds)
{
    ReleaseHeldConnection();
    mHeldTimeout = timeoutSeconds;
    mHeld = link::PooledSocket(mController, timeoutSeconds);
    return mHeld.ok();
}

void JobLinkImpl::ReleaseHeldConnection()
{
    mHeld.release();
}

std::string JobLinkImpl::ErrorString(int code)
{
    std::string text;
    link::RunOffGuiThread([&] { text = mController.apiErrorText(code); });
    return text;
}

std::shared_ptr<link::ScriptRun> JobLinkImpl::lastRun() const
{
    std::lock_guard<std::mutex> lock(mMutex);
    return mRun;
}

ScriptOutcome JobLinkImpl::ExecuteScript(const std::string& file, const std::string& task, const std::string& arguments,
                                         const std::atomic<int>& stop)
{
    link::ScriptRequest rq;
    rq.ScriptFile = file;
    rq.TaskName = task;
    rq.Arguments = arguments;
    // The settings file belongs to the GUI thread: read the delay there, before the start.
    link::RunOnGuiThread([&] { rq.MaxScriptDelayMs = link::ReadMaxScriptDelay(); });
    std::shared_ptr<link::ScriptRun> run = mController.scripts().Start(rq);
    ScriptOutcome out;
    if (run->Snapshot().Refused) {
        out.Answer = num::integer(api::kErrorBadInput);
        return out;
    }
    {
        std::lock_guard<std::mutex> lock(mMutex);
        mRun = run;
    }
    link::WaitScript(*run, stop);
    const link::ScriptResult r = run->Snapshot();
    // Stopped while the worker waits: the request went out unless the worker had no connection.
    out.Sent = !r.Finished || r.Sent;
    if (!r.Finished) return out;
    if (r.ErrorCode != 0 && r.ErrorCode != 1 && blank(r.ScriptAnswer)) out.Answer = num::integer(r.ErrorCode);
    else out.Answer = r.ScriptAnswer;
    return out;
}

}  // namespace mvx

namespace mvx {

void JobLinkImpl::LogLine(const std::string& line) { mController.log(line); }

}  // namespace mvx
