#pragma once
// The job road's link to the controller: uploads by the current transfer mode, the group's
// initialisation, the script run through the script worker and the PVT check.
//
// Thread: as JobLink says. Controller calls made on the GUI thread run on a helper thread while
// the GUI thread dispatches events, so STOP stays live during a 60 s home search.

#include "link/controller.h"
#include "joblink.h"

#include "link/socketpool.h"

#include <memory>
#include <mutex>
#include <string>

namespace mvx {

namespace link {
class ScriptRun;
}

class JobLinkImpl : public JobLink {
public:
    explicit JobLinkImpl(link::Controller& controller) : mController(controller) {}

    bool PutScript(const std::string& localDir, const std::string& name, std::string& error) override;
    std::size_t PutTrajectories(const std::string& localDir, std::size_t count,
                                const std::function<std::string(std::size_t)>& name,
                                const std::function<bool(std::size_t)>& before, std::string& error) override;

    // Also ends the task of a script run that is still alive: stopping the motions alone would
    // let the script go on with its next move.
    int KillAll() override;
    // One connection with a 60 s reply time-out for the three calls, marked not complete.
    int InitialiseGroup(const std::string& group, std::string& step) override;
    int MultipleAxesPVTVerification(const std::string& group, const std::string& file) override;
    bool HoldConnection(double timeoutSeconds) override;
    void ReleaseHeldConnection() override;
    std::string ErrorString(int code) override;

    // The answer on success; on a failure whose answer holds nothing, the error code as text,
    // so the caller reports the controller's text for it rather than an empty result.
    ScriptOutcome ExecuteScript(const std::string& file, const std::string& task, const std::string& arguments,
                                const std::atomic<int>& stop) override;

    // The last run (null before the first).
    std::shared_ptr<link::ScriptRun> lastRun() const;
    // A line for the maintenance console's log.
    void LogLine(const std::string& line) override;

private:
    // The session open and `remoteDir` current, for the files `names` (the first named in `error`).
    bool enter(const std::string& remoteDir, const std::string& localDir, const std::string& name, std::string& error);

    mutable std::mutex mMutex;
    std::shared_ptr<link::ScriptRun> mRun;
    link::PooledSocket mHeld;  // GUI thread only
    double mHeldTimeout = 0.0;

private:
    link::Controller& mController;
};

}  // namespace mvx
