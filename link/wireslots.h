#pragma once
// The wire's connection table (inside link/ only): the slots that SocketOpen hands out. It lives
// in the controller object, built before the pool that lends its connections.

#include "apiwire.h"

#include <atomic>
#include <mutex>
#include <string>

namespace mvx::link {

struct WireSlot {
    std::atomic<int> fd{-1};
    std::atomic<bool> opened{false};
    std::atomic<double> timeout{0.0};
    std::atomic<bool> pending{false};
    bool reserved = false;  // taken by an open in progress (under the slots mutex)
    std::string address;  // written only by open (slot not in use then)
    int port = 0;
};

struct WireSlots {
    WireSlots() = default;
    // Connections still open when their controller ends are closed with it.
    ~WireSlots();
    WireSlots(const WireSlots&) = delete;
    WireSlots& operator=(const WireSlots&) = delete;

    std::mutex mutex;  // open / close bookkeeping
    WireSlot slot[kSocketSlots];
};

}  // namespace mvx::link
