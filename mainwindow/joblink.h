#pragma once
// What the job road needs of the controller: uploads, the group's initialisation, the script
// run and the PVT check. The controller link implements it; without one (simulation, or no
// link yet) the main window refuses these steps.
//
// Thread: every call but ExecuteScript is made on the GUI thread. ExecuteScript blocks until
// the script ends and is called on a worker thread; it must return soon after `stop` is set.

#include <atomic>
#include <cstddef>
#include <functional>
#include <string>
#include <vector>

namespace mvx {

// How a script run went.
struct ScriptOutcome {
    bool Sent = false;   // the request reached the controller's connection: the script may have run
    std::string Answer;  // the script's answer text (its return value), or an error code as text
};

class JobLink {
public:
    virtual ~JobLink() = default;

    // Puts `localDir` + `name` into the controller's script folder. False with `error` when the
    // transfer failed.
    virtual bool PutScript(const std::string& localDir, const std::string& name, std::string& error) = 0;
    // Puts `localDir` + name(i) for i from 0 to count - 1 into the trajectory folder, in order,
    // as one series off the GUI thread (a job's names are made as they go: a list of 184,000
    // of them would be held through the whole upload). `name` and `before(i)` are called on the
    // transferring thread, `before(i)` before file i goes; false stops the series there (no
    // error). Returns how many files arrived; `error` says why the next one did not.
    virtual std::size_t PutTrajectories(const std::string& localDir, std::size_t count,
                                        const std::function<std::string(std::size_t)>& name,
                                        const std::function<bool(std::size_t)>& before, std::string& error) = 0;

    // Controller calls; 0 is success, anything else the controller's code (negative: no
    // connection or no reply).
    virtual int KillAll() = 0;
    // KillAll, GroupInitialize and GroupHomeSearch of `group` over one connection; the first
    // call that fails ends it, and `step` names that call.
    virtual int InitialiseGroup(const std::string& group, std::string& step) = 0;
    virtual int MultipleAxesPVTVerification(const std::string& group, const std::string& file) = 0;
    // One pooled connection kept for a series of calls (the check of every PVT file), taken
    // with a reply time-out of `timeoutSeconds`; the PVT check then uses it. False when none is
    // free. ReleaseHeldConnection gives it back.
    virtual bool HoldConnection(double timeoutSeconds) = 0;
    virtual void ReleaseHeldConnection() = 0;
    // The controller's text of an error code.
    virtual std::string ErrorString(int code) = 0;

    // A line for the controller console's log (nothing without a controller).
    virtual void LogLine(const std::string& line) { (void)line; }

    // Runs `file` as task `task`.
    virtual ScriptOutcome ExecuteScript(const std::string& file, const std::string& task, const std::string& arguments,
                                        const std::atomic<int>& stop) = 0;
};

}  // namespace mvx
