#pragma once
// The pool's entries and drains (inside link/ only). The pool lives in the controller object,
// after the wire's connection table, so it ends first: its drains stop before the connections go.

#include "apiwire.h"
#include "socketpool.h"

#include <array>
#include <atomic>
#include <chrono>
#include <list>
#include <memory>
#include <mutex>
#include <thread>

namespace mvx::link {

using PoolClock = std::chrono::steady_clock;

struct PoolEntry {
    bool opened = false;
    bool free = false;
    bool draining = false;
    int socketId = -1;
    PoolClock::time_point freedAt{};
    PoolClock::time_point takenAt{};
};

struct PoolDrain {
    std::thread thread;
    std::atomic<bool> done{false};
};

class ConnectionPool {
public:
    ~ConnectionPool() { stopDrains(); }

    std::mutex mutex;
    // The pool's connections are open: the one place that says so.
    std::atomic<bool> open{false};
    std::array<PoolEntry, kPoolEntries> entries;
    std::atomic<bool> stop{false};
    std::atomic<int> drainLimitMs{kDrainLimitMs};
    std::list<std::unique_ptr<PoolDrain>> drains;  // under mutex

    PoolEntry* find(int index)
    {
        for (PoolEntry& e : entries)
            if (e.opened && e.socketId == index) return &e;
        return nullptr;
    }

    void markFree(PoolEntry& e)
    {
        e.free = true;
        e.draining = false;
        e.freedAt = PoolClock::now();
    }

    // Joins drains that have ended (under mutex).
    void reap()
    {
        for (auto it = drains.begin(); it != drains.end();) {
            if ((*it)->done.load()) {
                if ((*it)->thread.joinable()) (*it)->thread.join();
                it = drains.erase(it);
            } else {
                ++it;
            }
        }
    }

    void stopDrains()
    {
        std::list<std::unique_ptr<PoolDrain>> all;
        {
            std::lock_guard lock(mutex);
            stop.store(true);
            all.swap(drains);
        }
        for (auto& d : all)
            if (d->thread.joinable()) d->thread.join();
        stop.store(false);
    }

    void startDrain(PoolEntry& e, int index)  // under mutex
    {
        reap();
        e.draining = true;
        auto d = std::make_unique<PoolDrain>();
        PoolDrain* raw = d.get();
        // The index is captured now, so a later release cannot change which connection it reads.
        raw->thread = std::thread([this, raw, index] {
            try {
                DrainReply(index, std::chrono::milliseconds(drainLimitMs.load()), stop);
            } catch (...) {
                // The drain is the connection's last reader: however it ends, it is freed below.
            }
            {
                std::lock_guard lock(mutex);
                if (PoolEntry* en = find(index); en && en->draining) markFree(*en);
            }
            raw->done.store(true);
        });
        drains.push_back(std::move(d));
    }
};

}  // namespace mvx::link
