#pragma once
// The motion workers and their hand-over records (inside link/ only). They live in the controller
// object, after the pool, so the workers are joined before the connections they hold go back.

#include "workers.h"

#include <atomic>
#include <functional>
#include <list>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

namespace mvx::link {

struct Worker {
    std::thread thread;
    std::atomic<bool> done{false};
};

class Workers {
public:
    Workers() = default;
    ~Workers() { stop(); }
    Workers(const Workers&) = delete;
    Workers& operator=(const Workers&) = delete;

    // Ends the position reading and joins every worker.
    void stop();
    void start(std::function<void()> body);
    void join(bool all);
    int running();

    // The records outlive the workers that fill them (members end in reverse order).
    PositionsShared positions;
    HomingShared homing;
    MoveAbsShared moveAbs;
    MoveRelShared moveRel;
    std::mutex groupMutex;
    std::string groupName;  // ThreadGroupName

private:
    static void runBody(const std::function<void()>& body);

    std::mutex mMutex;
    std::list<std::unique_ptr<Worker>> mList;
};

}  // namespace mvx::link
