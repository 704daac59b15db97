#pragma once
// M codes that switch digital outputs (M3, M4, M5, M7, M8, M9) and the G4 dwell on the script
// path. Both are blocks without motion: the held working move and the open PVT run are
// written first, so the output change or the pause happens between moves.

#include "tclelements.h"

namespace mvx::tclpath {

// One output an M code writes.
struct MOutput {
    int Gpio = 1;
    unsigned Mask = 0;
    unsigned Value = 0;
};

// Outputs of an M code under the output setup, in writing order; empty for a code that
// drives no output.
std::vector<MOutput> OutputsOfMCode(int mCode, const MachineConfig& config);

class TCommandeM {
public:
    int MNumber = -1;
    int Line = -1;

    // Ends pending motion, then writes (script path) or sets (direct mode) the outputs.
    void Execute(TclPathState& s) const;
};

class TDelay {
public:
    long long Milliseconds = -1;
    int Line = -1;

    // Ends pending motion, then writes the dwell (script path) or waits (direct mode).
    void WriteTCL(TclPathState& s) const;
};

}  // namespace mvx::tclpath
