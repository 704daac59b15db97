#pragma once
// The one way the GUI thread waits for work that takes long (a conversion, a read, a controller
// call): the work runs on a worker thread while the GUI thread lets its pending events run, so
// the windows stay live (progress, STOP).
//
// Thread: call on the GUI thread. `work` runs on a pooled worker thread and must touch no widget; it
// talks to the GUI only through what the caller shares with it (atomics, a mutex). The end is
// signalled to the GUI thread through a queued call; everything `work` wrote is visible to the
// caller when RunInWorker returns (the worker has signalled its end).

#include <functional>
#include <string>

namespace mvx {

// Runs `work`; `tick` runs on the GUI thread every `tickMs` while waiting (and once at the end).
// Returns the text of an exception that escaped `work` ("unknown error" for a non-standard one),
// empty when it ended normally.
std::string RunInWorker(const std::function<void()>& work, const std::function<void()>& tick, int tickMs = 100);

// Runs `work` on a pooled worker thread without waiting for it. `work` hands its result back
// itself (a queued call to an object that still lives); an exception escaping it is dropped.
void RunInBackground(std::function<void()> work);

// Runs `release` on a pooled worker thread without waiting for it: the freeing of large data
// that nothing else reaches any more (millions of elements cost the GUI thread tens of ms).
void ReleaseInBackground(std::function<void()> release);

// Gives the pages the heap holds free back to the system. What a worker thread frees stays with
// that thread's heap for its next allocations, which a finished job's worker may never make.
// Any thread; it takes a few milliseconds, so not on the window's.
void ReturnFreedMemory();

}  // namespace mvx
