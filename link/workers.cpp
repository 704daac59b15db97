#include "workers.h"

#include "controller.h"
#include "workerstate.h"

#include "api.h"
#include "apiwire.h"
#include "linktexts.h"
#include "socketpool.h"
#include "core/common.h"
#include "translator/texts.h"

#include <QCoreApplication>
#include <QMetaObject>

#include <algorithm>
#include <functional>
#include <future>
#include <list>
#include <memory>
#include <span>
#include <thread>
#include <vector>

namespace mvx::link {

void Workers::stop()
{
    common().PositionReadingOn.store(0);
    join(true);
}

void Workers::start(std::function<void()> body)
{
    join(false);
    auto w = std::make_unique<Worker>();
    Worker* raw = w.get();
    raw->thread = std::thread([raw, body = std::move(body)] {
        runBody(body);
        raw->done.store(true);
    });
    std::lock_guard lock(mMutex);
    mList.push_back(std::move(w));
}

void Workers::join(bool all)
{
    std::list<std::unique_ptr<Worker>> ended;
    {
        std::lock_guard lock(mMutex);
        for (auto it = mList.begin(); it != mList.end();) {
            if (all || (*it)->done.load()) {
                ended.push_back(std::move(*it));
                it = mList.erase(it);
            } else {
                ++it;
            }
        }
    }
    for (auto& w : ended)
        if (w->thread.joinable()) w->thread.join();
}

int Workers::running()
{
    std::lock_guard lock(mMutex);
    int n = 0;
    for (auto& w : mList) n += w->done.load() ? 0 : 1;
    return n;
}

// With Debug the body runs on the GUI thread; the worker waits for it there.
void Workers::runBody(const std::function<void()>& body)
{
    auto guarded = [&body] {
        try {
            body();
        } catch (const std::exception& e) {
            if (common().Debug.load()) showMessage(e.what());
        } catch (...) {
            if (common().Debug.load()) showMessage("unknown exception");
        }
    };
    auto* app = QCoreApplication::instance();
    if (common().Debug.load() && app && !OnGuiThread()) {
        // Queued to the GUI thread; the worker waits until it has run there.
        auto done = std::make_shared<std::promise<void>>();
        std::future<void> ran = done->get_future();
        QMetaObject::invokeMethod(app, [guarded, done] {
            guarded();
            done->set_value();
        }, Qt::QueuedConnection);
        ran.wait();
    } else {
        guarded();
    }
}

namespace {

bool debug() { return common().Debug.load(); }

void positionsBody(Controller& link)
{
    PositionsShared& rec = link.positions();
    const PooledSocket connection(link, 0.2);
    const int index = connection.index();
    const std::string group = link.threadGroupName();
    while (common().PositionReadingOn.load()) {
        if (index >= 0) {
            const int n = std::clamp(rec.PositionReadCount.load(), 0, 8);
            std::array<double, 8> values{};
            for (int i = 0; i < n; ++i) values[i] = rec.CurrentPositions[i].load();
            int rc = 0;
            try {
                rc = api::GroupPositionCurrentGet(index, group, std::span<double>(values.data(), n));
            } catch (const api::ConversionError&) {
                rc = api::kErrorEmptyReply;
            }
            // Entries keep the last good reading when a read fails.
            if (rc == 0)
                for (int i = 0; i < n; ++i) rec.CurrentPositions[i].store(values[i]);
            else if (debug())
                showMessage(texts::get("Stringreadposition") + link.errorText(rc));
        } else if (debug()) {
            showMessage(texts::get("stringnosocketread"));
        }
        WaitWithEvents(200);
    }
}

void homingBody(Controller& link)
{
    HomingShared& rec = link.homing();
    const PooledSocket connection(link, 60);
    const int index = connection.index();
    if (index < 0) {
        if (debug()) showMessage(texts::get("stringnosockethome"));
    } else {
        std::string name;
        {
            std::lock_guard lock(rec.mutex);
            name = rec.HomingGroupName;
        }
        const int rc = api::GroupHomeSearch(index, HomingGroupOf(name));
        if (rc != 0 && debug()) showMessage("Home search" + link.errorText(rc));
    }
}

template <class Rec>
void moveBody(Controller& link, Rec& rec, bool absolute)
{
    const PooledSocket connection(link, 3600);
    const int index = connection.index();
    if (index < 0) {
        // Nothing was sent: the creator must not take the move as done.
        if constexpr (std::is_same_v<Rec, MoveAbsShared>) rec.MoveAbsError.store(api::kErrorNoSocket);
        if (debug()) showMessage(texts::get(absolute ? "stringnosocketabsolute" : "stringnosocketrelative"));
        return;
    }
    std::vector<double> values;
    {
        std::lock_guard lock(rec.mutex);
        if constexpr (std::is_same_v<Rec, MoveAbsShared>)
            values.assign(rec.Targets.begin(), rec.Targets.begin() + std::clamp(rec.TargetCount, 0, 8));
        else
            values.assign(rec.Deltas.begin(), rec.Deltas.begin() + std::clamp(rec.DeltaCount, 0, 8));
    }
    const std::string group = link.threadGroupName();
    const int rc = absolute ? api::GroupMoveAbsolute(index, group, values) : api::GroupMoveRelative(index, group, values);
    if constexpr (std::is_same_v<Rec, MoveAbsShared>) rec.MoveAbsError.store(rc);
    if (rc != 0 && debug()) showMessage(std::string(absolute ? "Move absolute : " : "Move relative : ") + link.errorText(rc));
}

}  // namespace

bool Controller::setThreadGroupName(const std::string& name)
{
    if (name.size() > kMaxThreadGroupName) return false;
    Workers& w = workers();
    std::lock_guard lock(w.groupMutex);
    w.groupName = name;
    return true;
}

std::string Controller::threadGroupName()
{
    Workers& w = workers();
    std::lock_guard lock(w.groupMutex);
    return w.groupName;
}

PositionsShared& Controller::positions() { return workers().positions; }
HomingShared& Controller::homing() { return workers().homing; }
MoveAbsShared& Controller::moveAbs() { return workers().moveAbs; }
MoveRelShared& Controller::moveRel() { return workers().moveRel; }
void Controller::joinWorkers(bool all) { workers().join(all); }
int Controller::workersRunning() { return workers().running(); }

std::string HomingGroupOf(const std::string& name)
{
    const std::size_t dot = name.find('.');
    if (dot == std::string::npos) return name;
    std::string g = name.substr(0, dot);
    const std::size_t b = g.find_first_not_of(" \t");
    const std::size_t e = g.find_last_not_of(" \t");
    return b == std::string::npos ? std::string() : g.substr(b, e - b + 1);
}

// The workers end before their controller does (it joins them first).
void Controller::startPositions()
{
    workers().start([this] { positionsBody(*this); });
}

void Controller::startHoming()
{
    workers().start([this] {
        HomingShared& rec = homing();
        try {
            homingBody(*this);
        } catch (...) {
            if (debug()) showMessage("Home search: unknown exception");
        }
        rec.HomingRunning.store(0);  // a waiting creator always ends
    });
}

void Controller::startMoveAbsolute()
{
    MoveAbsShared& rec = moveAbs();
    workers().start([this, &rec] {
        rec.MoveAbsRunning.store(1);
        try {
            moveBody(*this, rec, true);
        } catch (...) {
            rec.MoveAbsError.store(api::kErrorEmptyReply);
        }
        rec.MoveAbsRunning.store(0);
    });
}

void Controller::startMoveRelative()
{
    MoveRelShared& rec = moveRel();
    workers().start([this, &rec] { moveBody(*this, rec, false); });
}

}  // namespace mvx::link
