#pragma once
// The program's wiring, the one place that knows every window: creates them once at start-up,
// ties them to each other and to the controller link, and plugs them into the start-up sequence
// of app/.

#include "app/startup.h"

namespace mvx {

namespace link {
class Controller;
}

// The wiring of one run: the windows get `controller` (which must outlive this object), and
// what the wiring made for the link (its reporter, the job's link, the direct mode) ends with
// this object, before the controller does.
class ProgramWiring {
public:
    explicit ProgramWiring(link::Controller& controller);
    ~ProgramWiring();
    ProgramWiring(const ProgramWiring&) = delete;
    ProgramWiring& operator=(const ProgramWiring&) = delete;

    StartupHooks startupHooks();
};

}  // namespace mvx
