#include "scriptexec.h"

#include "core/common.h"
#include "core/inifile.h"
#include "linksettings.h"
#include "api.h"
#include "apiwire.h"
#include "controller.h"
#include "linktexts.h"
#include "socketpool.h"
#include "wireslots.h"

#include <QCoreApplication>
#include <QMetaObject>
#include <QThread>

#include <chrono>
#include <condition_variable>
#include <thread>
#include <utility>

#include <sys/socket.h>

namespace mvx::link {

struct ExeTCL::State {
    std::mutex mutex;
    std::condition_variable changed;
    int alive = 0;
    std::uint64_t lastNumber = 0;
    Controller* owner = nullptr;  // null once the controller has ended
};

namespace {

using State = ExeTCL::State;

// A connection of the owner's pool; none once the owner has ended.
PooledSocket takeConnection(State& st, double timeoutSeconds)
{
    std::lock_guard<std::mutex> lock(st.mutex);
    return st.owner ? PooledSocket(*st.owner, timeoutSeconds) : PooledSocket();
}

// Given back while the owner lasts; after it the pool is gone with it.
void giveBack(State& st, PooledSocket& connection)
{
    std::lock_guard<std::mutex> lock(st.mutex);
    if (st.owner) connection.release();
    else connection.drop();
}

bool onGuiThread()
{
    QCoreApplication* app = QCoreApplication::instance();
    return app && QThread::currentThread() == app->thread();
}

void bound(std::string& answer)
{
    // The answer buffer holds 1023 characters and its zero; a zero inside ends the text.
    const std::size_t zero = answer.find('\0');
    if (zero != std::string::npos) answer.resize(zero);
    if (answer.size() > kScriptAnswerSize - 1) answer.resize(kScriptAnswerSize - 1);
}

void workerEnded(State& st)
{
    {
        std::lock_guard<std::mutex> lock(st.mutex);
        --st.alive;
    }
    st.changed.notify_all();
}

}  // namespace

ExeTCL::ExeTCL(Controller& controller) : mState(std::make_shared<State>()) { mState->owner = &controller; }

ExeTCL::~ExeTCL()
{
    std::lock_guard<std::mutex> lock(mState->mutex);
    mState->owner = nullptr;
}

ScriptResult ScriptRun::Snapshot() const
{
    std::lock_guard<std::mutex> lock(mMutex);
    ScriptResult r = mResult;
    r.Finished = mFinished.load(std::memory_order_acquire);
    return r;
}

std::string RequestTextProblem(const std::string& what, const std::string& text, bool allowComma)
{
    for (char c : text) {
        if (c == '\r' || c == '\n') return what + " holds a line break";
        if (c == '\0') return what + " holds a zero character";
        if (!allowComma && c == ',') return what + " holds a \",\"";
        if (!allowComma && c == ')') return what + " holds a \")\"";
    }
    return {};
}

std::string NormaliseScriptAnswer(std::string answer, int errorCode, int elapsedMs, int maxDelayMs)
{
    bound(answer);
    if (elapsedMs > maxDelayMs) return "75";
    if (errorCode == 0 && answer.size() >= kScriptAnswerKept) {
        answer.resize(kScriptAnswerKept);
        if (answer.back() == ',') answer.pop_back();
    }
    return answer;
}

void ExeTCL::ExecuteScript(ScriptRun& run) { execute(*mState, run); }

void ExeTCL::execute(State& st, ScriptRun& run)
{
    const ScriptRequest& rq = run.request();
    {
        std::lock_guard<std::mutex> lock(run.mMutex);
        run.mResult.ScriptAnswer.clear();
        run.mResult.ScriptDone = false;
        run.mResult.Sent = false;
    }
    int code = api::kErrorNoSocket;
    int elapsed = 0;
    std::string answer = kBlankAnswer;
    PooledSocket connection = takeConnection(st, rq.ReplyTimeoutSeconds);
    const int socket = connection.index();
    if (socket < 0) {
        // Nothing was sent, so there is no task to kill either.
        if (common().Debug.load() && onGuiThread()) showMessage("No socket usable for \"TCLScriptExecuteAndWait\" Function");
    } else {
        {
            std::lock_guard<std::mutex> lock(run.mMutex);
            run.mResult.Sent = true;
        }
        const auto t0 = std::chrono::steady_clock::now();
        try {
            code = api::TCLScriptExecuteAndWait(socket, rq.ScriptFile, rq.TaskName, rq.Arguments, answer);
        } catch (const std::exception&) {
            code = api::kErrorEmptyReply;
        }
        elapsed = static_cast<int>(
            std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - t0).count());
        if (code != 0 && code != 1) {
            // The task may still run on the controller: end it from a second connection, since
            // the first one may still wait for its reply.
            PooledSocket second = takeConnection(st, 1.0);
            if (second) {
                try {
                    api::TCLScriptKill(second.index(), rq.TaskName);
                } catch (const std::exception&) {
                    // The kill is a last try; the script's failure code is what is reported.
                }
            }
            giveBack(st, second);
        }
        giveBack(st, connection);  // before the run is reported finished
    }
    answer = NormaliseScriptAnswer(std::move(answer), code, elapsed, rq.MaxScriptDelayMs);
    {
        std::lock_guard<std::mutex> lock(run.mMutex);
        run.mResult.ErrorCode = code;
        run.mResult.ElapsedMs = elapsed;
        run.mResult.ScriptAnswer = answer;
        run.mResult.ScriptDone = code == 0;
    }
}

std::shared_ptr<ScriptRun> ExeTCL::Start(ScriptRequest request)
{
    auto run = std::make_shared<ScriptRun>(std::move(request));
    {
        std::lock_guard<std::mutex> lock(mState->mutex);
        run->mNumber = ++mState->lastNumber;
    }
    auto refuse = [&](std::string why) {
        std::lock_guard<std::mutex> lock(run->mMutex);
        run->mResult.Refused = true;
        run->mResult.RefusedWhy = std::move(why);
        run->mResult.ErrorCode = api::kErrorBadInput;
        run->mFinished.store(true, std::memory_order_release);
        return run;
    };
    const ScriptRequest& rq = run->request();
    for (const auto& [what, text, comma] :
         {std::tuple<const char*, const std::string&, bool>{"the script path", rq.ScriptFile, false},
          {"the task name", rq.TaskName, false},
          {"the arguments", rq.Arguments, false}}) {
        const std::string why = RequestTextProblem(what, text, comma);
        if (!why.empty()) return refuse(why);
    }
    if (rq.ScriptFile.empty() || rq.TaskName.empty()) return refuse("no script or no task name");
    {
        std::lock_guard<std::mutex> lock(mState->mutex);
        if (mState->alive > 0) return refuse("a script is still running");
        ++mState->alive;
    }
    try {
        std::thread([run, state = mState] {
            auto body = [run, state] {
                try {
                    execute(*state, *run);
                } catch (...) {
                    std::lock_guard<std::mutex> lock(run->mMutex);
                    run->mResult.ErrorCode = api::kErrorEmptyReply;
                    run->mResult.ScriptDone = false;
                }
            };
            QCoreApplication* app = QCoreApplication::instance();
            if (common().Debug.load() && app)
                QMetaObject::invokeMethod(app, body, Qt::BlockingQueuedConnection);
            else
                body();
            bool failed = false;
            {
                std::lock_guard<std::mutex> lock(run->mMutex);
                failed = !run->mResult.ScriptDone;
            }
            // The results first, then the flags that announce them.
            run->mFinished.store(true, std::memory_order_release);
            if (failed && !run->Abandoned()) common().StopRequested.store(1);
            workerEnded(*state);
        }).detach();
    } catch (const std::exception& e) {
        workerEnded(*mState);
        return refuse(e.what());
    }
    return run;
}

bool ExeTCL::EndRuns(int ms)
{
    Controller* owner = nullptr;
    {
        std::lock_guard<std::mutex> lock(mState->mutex);
        owner = std::exchange(mState->owner, nullptr);
        if (mState->alive == 0) return true;
    }
    if (owner) {
        for (WireSlot& s : owner->wire().slot) {
            const int fd = s.fd.load();
            if (fd >= 0) ::shutdown(fd, SHUT_RDWR);
        }
    }
    return WaitForWorkers(ms);
}

bool ExeTCL::WaitForWorkers(int ms)
{
    State& st = *mState;
    std::unique_lock<std::mutex> lock(st.mutex);
    if (ms < 0) {
        st.changed.wait(lock, [&st] { return st.alive == 0; });
        return true;
    }
    return st.changed.wait_for(lock, std::chrono::milliseconds(ms), [&st] { return st.alive == 0; });
}

int ReadMaxScriptDelay()
{
    int value = common().MaxDelayMs.load();
    if (IniFile* ini = SettingsIni()) {
        LinkSettings set;
        set.MaxScriptDelayMs = value;
        set.Read(*ini, &LinkSettings::MaxScriptDelayMs);
        if (set.MaxScriptDelayMs >= 0 && set.MaxScriptDelayMs <= INT32_MAX) value = static_cast<int>(set.MaxScriptDelayMs);
    }
    common().MaxDelayMs.store(value);
    return value;
}

bool WaitScript(ScriptRun& run, const std::atomic<int>& stop, int roundMs)
{
    // Off the GUI thread, where STOP can still be pressed.
    RunOffGuiThread([&] {
        while (!run.Finished() && stop.load() == 0)
            std::this_thread::sleep_for(std::chrono::milliseconds(std::min(roundMs, 20)));
    });
    if (run.Finished()) return true;
    run.Abandon();
    return false;
}

std::shared_ptr<ScriptRun> ExeTCL::StartAndWait(const std::string& file, const std::string& task,
                                                const std::string& arguments)
{
    common().StopRequested.store(0);
    ScriptRequest rq;
    rq.ScriptFile = file;
    rq.TaskName = task;
    rq.Arguments = arguments;
    rq.MaxScriptDelayMs = ReadMaxScriptDelay();
    auto run = Start(std::move(rq));
    WaitScript(*run, common().StopRequested);
    return run;
}

void RunOnGuiThread(const std::function<void()>& work)
{
    QCoreApplication* app = QCoreApplication::instance();
    if (!app || onGuiThread()) {
        work();
        return;
    }
    QMetaObject::invokeMethod(app, work, Qt::BlockingQueuedConnection);
}

std::string Controller::apiErrorText(int code)
{
    std::string text;
    {
        const PooledSocket connection(*this, 1.0);
        if (!connection) return text;
        try {
            api::ErrorStringGet(connection.index(), code, text);
        } catch (const std::exception&) {
            // No text: the caller shows the code alone.
        }
    }
    const std::size_t zero = text.find('\0');
    if (zero != std::string::npos) text.resize(zero);
    if (text.size() > 1025) text.resize(1025);
    return text;
}

std::string ScriptApiPath(const std::string& remoteDir, const std::string& scriptsDir, char separator,
                          const std::string& scriptName)
{
    std::string rest = remoteDir;
    if (!rest.empty() && rest[0] == '.') rest.clear();
    auto isSep = [](char c) { return c == '/' || c == '\\'; };
    std::string base = scriptsDir;
    while (base.size() > 1 && isSep(base.back())) base.pop_back();
    // Only the scripts folder itself or a folder below it: "/Public/Scripts2" is not inside
    // "/Public/Scripts".
    if (!base.empty() && rest.compare(0, base.size(), base) == 0 &&
        (rest.size() == base.size() || isSep(rest[base.size()]))) {
        rest.erase(0, std::min(rest.size(), base.size() + 1));
    }
    while (!rest.empty() && isSep(rest.back())) rest.pop_back();
    if (!rest.empty()) rest += separator;
    return rest + scriptName;
}

}  // namespace mvx::link
