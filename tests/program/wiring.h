#pragma once
// The program's wiring on the process's own controller, for the whole test run.

#include "link/controller.h"
#include "program/programwindows.h"

namespace mvx::test {

inline ProgramWiring& programWiring()
{
    static ProgramWiring wiring(link::CurrentController());
    return wiring;
}

}  // namespace mvx::test
