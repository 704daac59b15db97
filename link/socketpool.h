#pragma once
// The pool of 32 API connections. Every controller call takes one index with a reply time-out,
// makes one call and gives the index back. Takes and releases are serialised by one mutex, so
// two callers never hold the same index. A release after an unfinished reply hands the
// connection to a drain worker; the entry stays taken until the rest of the reply is read.
//
// Open and close run on the GUI thread (or the one thread that owns the pool); take and release
// from any thread.

#include <string>

namespace mvx::link {

class Controller;

inline constexpr int kPoolEntries = 32;
// How long a drain waits for the rest of a reply before it gives up and reconnects.
inline constexpr int kDrainLimitMs = 600000;

// The pool is opened and closed by its controller (Controller::openPool, closePool, poolOpen).
// The calls below act on the current controller's pool.

// A connection index with reply time-out max(t, MinSocketTimeout) + ExtraTimeoutMs/1000 s,
// or -1: pool closed, controller not usable, or no free entry.
int TakeSocket(double timeoutSeconds);
// As TakeSocket, and marks the connection's reply as not complete.
int GetSocket(double timeoutSeconds);
// Gives an index back: at once, or through a drain worker when a reply is still on its way.
void ReleaseSocket(int index);
// Marks every opened entry free now (none is being drained after this).
void MarkAllSocketsFree();

// One pooled connection held by a scope: taken in the constructor (-1 when none was free) and
// given back when the handle ends, on every way out, also when an exception leaves the scope.
// Movable, not copyable; the index is given back once.
class PooledSocket {
public:
    // Marks the reply as not complete (GetSocket); `Take` leaves the reply flag as it is.
    enum class Reply { Incomplete, Take };

    PooledSocket() = default;
    // From the current controller's pool.
    explicit PooledSocket(double timeoutSeconds, Reply reply = Reply::Incomplete);
    // From `controller`'s pool, which must outlive the handle.
    PooledSocket(Controller& controller, double timeoutSeconds, Reply reply = Reply::Incomplete);
    ~PooledSocket() { release(); }
    PooledSocket(PooledSocket&& other) noexcept : mController(other.mController), mIndex(other.mIndex)
    {
        other.mIndex = -1;
    }
    PooledSocket& operator=(PooledSocket&& other) noexcept;
    PooledSocket(const PooledSocket&) = delete;
    PooledSocket& operator=(const PooledSocket&) = delete;

    int index() const { return mIndex; }
    bool ok() const { return mIndex >= 0; }
    explicit operator bool() const { return ok(); }
    // Gives the connection back now (drained first when its reply is unfinished).
    void release() noexcept;
    // Gives this one back and takes another (GetSocket); false when none was free.
    bool renew(double timeoutSeconds);
    // Forgets the connection without giving it back (its pool has ended).
    void drop() noexcept;

private:
    Controller* mController = nullptr;
    int mIndex = -1;
};

// For tests and diagnostics.
bool EntryFree(int index);
bool EntryDraining(int index);
int DrainsRunning();
// Override of the drain limit (ms); 0 restores the built-in 10 minutes.
void SetDrainLimitForTests(int ms);

}  // namespace mvx::link
