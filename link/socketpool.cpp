#include "socketpool.h"

#include "controller.h"
#include "poolstate.h"

#include "apitable.h"
#include "api.h"
#include "apiwire.h"
#include "linktexts.h"
#include "core/common.h"
#include "translator/numtext.h"
#include "translator/texts.h"

#include <array>
#include <atomic>
#include <chrono>
#include <list>
#include <memory>
#include <mutex>
#include <thread>

namespace mvx::link {
namespace {

using Clock = PoolClock;
using Entry = PoolEntry;
using Pool = ConnectionPool;

Pool& pool() { return CurrentController().pool(); }

std::string text(const char* key) { return texts::get(key); }

void releaseTo(Pool& p, int index)
{
    std::lock_guard lock(p.mutex);
    Entry* e = p.find(index);
    if (!e || e->draining) return;
    if (RequestPending(index)) {
        p.startDrain(*e, index);
        return;
    }
    if (e->free)
        showMessage(text("stringalreadyfree") + ", " + num::integer(index) + " " + text("stringtrytofreesocket"));
    p.markFree(*e);
}

void markAllFree(Pool& p)
{
    p.stopDrains();
    std::lock_guard lock(p.mutex);
    for (Entry& e : p.entries)
        if (e.opened) p.markFree(e);
}

}  // namespace

bool Controller::poolOpen() { return pool().open.load(); }

bool Controller::openPool(int port)
{
    Pool& p = pool();
    if (p.open.load()) return true;
    const std::string address = common().ControllerIp;
    std::array<int, kPoolEntries> ids{};
    int opened = 0;
    // The connects block: off the GUI thread.
    RunOffGuiThread([&] {
        for (; opened < kPoolEntries; ++opened) {
            ids[opened] = SocketOpen(address, port, 2000.0);
            if (ids[opened] < 0) return;
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
    });
    if (opened < kPoolEntries) {
        if (common().Debug.load()) showMessage("NO DRIVER DETECTED at " + address);
        // Close what this attempt opened: the connection slots must stay available.
        for (int k = 0; k < opened; ++k) SocketClose(ids[k]);
        p.open.store(false);
        {
            std::lock_guard lock(p.mutex);
            for (Entry& e : p.entries) e = Entry{};
        }
        log(text("stringconnectTCPfail"));
        announcePoolState(PoolState::Failed);
        return false;
    }
    {
        std::lock_guard lock(p.mutex);
        for (int i = 0; i < kPoolEntries; ++i) {
            p.entries[i] = Entry{};
            p.entries[i].opened = true;
            p.entries[i].socketId = ids[i];
        }
    }
    p.open.store(true);
    announcePoolState(PoolState::Open);
    log(text("stringconnectTCPOK"));
    markAllFree(p);
    return true;
}

bool Controller::closePool()
{
    Pool& p = pool();
    std::array<Entry, kPoolEntries> entries;
    std::array<bool, kPoolEntries> inUse{};
    {
        std::lock_guard lock(p.mutex);
        entries = p.entries;
        for (int i = 0; i < kPoolEntries; ++i)
            inUse[i] = entries[i].opened && !entries[i].free && RequestPending(entries[i].socketId);
    }
    p.stopDrains();
    {
        std::lock_guard lock(p.mutex);
        for (Entry& e : p.entries) e = Entry{};
    }
    bool ok = true;
    for (int i = 0; i < kPoolEntries; ++i) {
        const Entry& e = entries[i];
        if (!e.opened) continue;
        if (inUse[i]) showMessage("Socket " + num::integer(i) + " " + text("StringInuse") + " -1");
        if (SocketClose(e.socketId) != 0) {
            ok = false;
            if (common().Debug.load()) showMessage(text("stringerrorclosesocket") + num::integer(i) + "0");
        }
    }
    p.open.store(false);
    log(text(ok ? "stringdisconnectOK" : "stringdisconnectfail"));
    announcePoolState(PoolState::Closed);
    return ok;
}

namespace {

int takeSocket(Pool& p, double t)
{
    const double minimum = common().MinSocketTimeout.load();
    if (t < minimum) t = minimum;
    if (!common().ControllerUsable.load() || !p.open.load()) return -1;
    std::lock_guard lock(p.mutex);
    Entry* best = nullptr;
    for (Entry& e : p.entries) {
        if (!e.opened || !e.free) continue;
        // The entry freed longest ago; on equal times the lower entry.
        if (!best || e.freedAt < best->freedAt) best = &e;
    }
    if (!best) return -1;
    best->free = false;
    best->takenAt = Clock::now();
    SocketSetTimeout(best->socketId, t + common().ExtraTimeoutMs.load() / 1000.0);
    return best->socketId;
}

int getSocket(Pool& p, double t)
{
    const int index = takeSocket(p, t);
    if (index >= 0) SetSocketFlag(index, 0);
    return index;
}

int take(Pool& p, double t, PooledSocket::Reply reply)
{
    return reply == PooledSocket::Reply::Incomplete ? getSocket(p, t) : takeSocket(p, t);
}

}  // namespace

int TakeSocket(double t) { return takeSocket(pool(), t); }
int GetSocket(double t) { return getSocket(pool(), t); }
void ReleaseSocket(int index) { releaseTo(pool(), index); }

PooledSocket::PooledSocket(double timeoutSeconds, Reply reply)
    : PooledSocket(CurrentController(), timeoutSeconds, reply)
{
}

PooledSocket::PooledSocket(Controller& controller, double timeoutSeconds, Reply reply)
    : mController(&controller), mIndex(take(controller.pool(), timeoutSeconds, reply))
{
}

PooledSocket& PooledSocket::operator=(PooledSocket&& other) noexcept
{
    if (this != &other) {
        release();
        mController = other.mController;
        mIndex = other.mIndex;
        other.mIndex = -1;
    }
    return *this;
}

void PooledSocket::drop() noexcept { mIndex = -1; }

void PooledSocket::release() noexcept
{
    if (mIndex < 0) return;
    const int index = mIndex;
    mIndex = -1;
    try {
        releaseTo(mController->pool(), index);
    } catch (...) {
        // A release that could not start its drain leaves the entry taken; the next pool close
        // or MarkAllSocketsFree frees it. Nothing may leave a destructor.
    }
}

bool PooledSocket::renew(double timeoutSeconds)
{
    release();
    if (!mController) mController = &CurrentController();
    mIndex = getSocket(mController->pool(), timeoutSeconds);
    return ok();
}

void MarkAllSocketsFree() { markAllFree(pool()); }

std::string Controller::errorText(int code)
{
    if (code == api::kErrorBadInput) return texts::get("StringLinkBadInput");
    PooledSocket connection(*this, 0.3);
    if (!connection) {
        if (common().Debug.load()) showMessage(text("stringnosocketerrorstringget") + " \"ErrorStringGet\" Function");
        return {};
    }
    std::string buffer;
    int rc = 0;
    try {
        rc = api::ErrorStringGet(connection.index(), code, buffer);
    } catch (...) {
        rc = api::kErrorEmptyReply;  // an unreadable reply is reported as no text below
    }
    return rc == 0 ? buffer : text("stringerrornonidentifiee") + " " + num::integer(code);
}

bool EntryFree(int index)
{
    Pool& p = pool();
    std::lock_guard lock(p.mutex);
    const Entry* e = p.find(index);
    return e && e->free;
}

bool EntryDraining(int index)
{
    Pool& p = pool();
    std::lock_guard lock(p.mutex);
    const Entry* e = p.find(index);
    return e && e->draining;
}

int DrainsRunning()
{
    Pool& p = pool();
    std::lock_guard lock(p.mutex);
    p.reap();
    return static_cast<int>(p.drains.size());
}

void SetDrainLimitForTests(int ms) { pool().drainLimitMs.store(ms > 0 ? ms : kDrainLimitMs); }

}  // namespace mvx::link
