#pragma once
// Requests of every API function the program calls, written out by hand from the function
// table: the exact text (without the LF CR line end) for the given arguments.

#include "link/apitable.h"

#include <functional>
#include <string>
#include <vector>

namespace mvx::test {

struct GoldenRequest {
    std::string function;
    std::vector<api::Value> args;          // for the generic request builder
    std::string expected;                  // request text
    std::function<int(int socket)> typed;  // the same call through the typed entry point
};

const std::vector<GoldenRequest>& goldenRequests();

}  // namespace mvx::test
