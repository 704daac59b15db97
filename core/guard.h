#pragma once
// No exception leaves an event handler or a worker: the handler ends, the program goes on, and
// what the exception said goes to standard error (a fault of the program, not of the
// controller, whose failures come as error codes). Plain C++, any thread.

#include <cstdio>
#include <exception>

namespace mvx {

// Runs `f`; false when it threw. `where` names the handler in the message.
template <typename F>
bool Guarded(const char* where, F&& f) noexcept
{
    try {
        f();
        return true;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "%s: %s\n", where, e.what());
    } catch (...) {
        std::fprintf(stderr, "%s: unknown exception\n", where);
    }
    return false;
}

}  // namespace mvx
