#pragma once
// Runs a TCL script that lies in the controller's scripts folder and waits for its answer.
//
// The starter fills a ScriptRequest, its controller's ExeTCL::Start creates one ScriptRun and a worker
// that calls TCLScriptExecuteAndWait on its own pooled connection. Every run has its own record,
// so a run that the user stopped and that ends late writes only into its own record, never into
// the next run's. Only one worker lives at a time: Start refuses while one is alive.
//
// Thread: Start, StartAndWait, ReadMaxScriptDelay and WaitScript are called on the GUI thread
// (WaitScript also works on any other thread; on the GUI thread it waits off it).
// The results of a ScriptRun are read through Snapshot(); its inputs never change after Start.

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>

namespace mvx::link {

inline constexpr std::size_t kScriptAnswerSize = 1024;    // the answer buffer, zero included
inline constexpr std::size_t kScriptAnswerKept = 255;     // a longer answer is cut here
inline constexpr double kScriptReplyTimeoutSeconds = 28800.0;
inline constexpr int kDefaultMaxScriptDelayMs = 1200000;
// The answer a call leaves when it writes none.
inline const std::string kBlankAnswer(21, ' ');

struct ScriptRequest {
    std::string ScriptFile;  // path as the API expects it, relative to the scripts folder
    std::string TaskName;
    std::string Arguments;   // passed as one text
    int MaxScriptDelayMs = kDefaultMaxScriptDelayMs;
    double ReplyTimeoutSeconds = kScriptReplyTimeoutSeconds;
};

// What a run has produced so far.
struct ScriptResult {
    bool Finished = false;    // the worker has ended
    bool ScriptDone = false;  // ended with error code 0
    bool Sent = false;        // the request went to the controller (a connection was taken)
    int ErrorCode = 0;
    int ElapsedMs = 0;
    std::string ScriptAnswer;  // at most kScriptAnswerSize - 1 characters
    bool Refused = false;      // never started: bad input, or another worker was alive
    std::string RefusedWhy;
};

// The hand-over record of one run.
class ScriptRun {
public:
    explicit ScriptRun(ScriptRequest request) : mRequest(std::move(request)) {}
    const ScriptRequest& request() const noexcept { return mRequest; }
    std::uint64_t number() const noexcept { return mNumber; }

    ScriptResult Snapshot() const;
    bool Finished() const noexcept { return mFinished.load(std::memory_order_acquire); }
    // The starter stopped waiting for this run (STOP): its late end must not raise the shared
    // stop flag any more, since that flag now belongs to whatever runs next.
    void Abandon() noexcept { mAbandoned.store(true); }
    bool Abandoned() const noexcept { return mAbandoned.load(); }

private:
    friend class ExeTCL;
    ScriptRequest mRequest;
    std::uint64_t mNumber = 0;
    mutable std::mutex mMutex;
    ScriptResult mResult;
    std::atomic<bool> mFinished{false};
    std::atomic<bool> mAbandoned{false};
};

class Controller;

// The script worker of one controller (Controller::scripts()).
class ExeTCL {
public:
    explicit ExeTCL(Controller& controller);
    // A worker that outlives this object (EndRuns could not end it) gives its connection back
    // only while the controller lasts.
    ~ExeTCL();
    ExeTCL(const ExeTCL&) = delete;
    ExeTCL& operator=(const ExeTCL&) = delete;

    // Checks the request, creates the run and starts its worker. The result is refused
    // (Snapshot().Refused) when a text would change the request or a worker is still alive.
    // With common().Debug set the body runs on the GUI thread so that errors show in dialogs.
    std::shared_ptr<ScriptRun> Start(ScriptRequest request);
    // The worker's body, on the calling thread.
    void ExecuteScript(ScriptRun& run);
    // Waits (at most `ms`, < 0: no limit) until no worker is alive; true when none is.
    bool WaitForWorkers(int ms);
    // The controller ends: a worker still waiting for its reply would read a connection that
    // is gone. No new connection is lent, the controller's open connections are shut so that
    // a wait returns at once, and the workers' end is awaited (at most `ms`). True when none is
    // left.
    bool EndRuns(int ms);
    // Starter's order on the GUI thread: clear the stop flag, read MAX DELAY, start, wait.
    std::shared_ptr<ScriptRun> StartAndWait(const std::string& file, const std::string& task,
                                            const std::string& arguments);

    struct State;  // shared with the workers, which may outlive this object

private:
    static void execute(State& state, ScriptRun& run);
    std::shared_ptr<State> mState;
};

// Settings "TCL"/"MAX DELAY" with common().MaxDelayMs as default; stores the value read there.
// GUI thread only (the settings file object is not shared with workers).
int ReadMaxScriptDelay();

// Waits for the run in rounds of `roundMs` until it ends or `stop` is set. On the GUI thread the
// wait goes off it (RunOffGuiThread). True when the run ended; a stopped wait abandons the run.
bool WaitScript(ScriptRun& run, const std::atomic<int>& stop, int roundMs = 200);

// The path the API expects for `scriptName` in the remote folder `remoteDir`: relative to the
// scripts folder when `remoteDir` is that folder or inside it (matched as a whole path prefix),
// the remote folder as it stands otherwise; a remote folder that begins with "." counts as empty.
std::string ScriptApiPath(const std::string& remoteDir, const std::string& scriptsDir, char separator,
                          const std::string& scriptName);

// The answer rules applied after a run: over-long run gives "75"; on success a text of 255
// characters or more is cut after its 255th character, and a comma there is dropped too.
std::string NormaliseScriptAnswer(std::string answer, int errorCode, int elapsedMs, int maxDelayMs);

// Runs `work` on the GUI thread and returns when it has run (at once when called there). From
// another thread the GUI thread must be letting events run (it is, while it waits live for a worker).
void RunOnGuiThread(const std::function<void()>& work);

// Why a text cannot go into a request ("" when it can): CR, LF, "," or ")" in a name.
std::string RequestTextProblem(const std::string& what, const std::string& text, bool allowComma);

}  // namespace mvx::link
