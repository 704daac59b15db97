#pragma once
// A generator of CAM-like G-code, the input of the benchmarks and a seed of the fuzz corpus:
// pockets and contours made of short straight moves along smooth curves, tangent and corner
// arcs (G2/G3 with I J), sharp corners, retracts and plunges with feed changes, and now and then
// a coolant M code or a dwell. Absolute mode, millimetres, four decimals.
//
// The same seed and line count always give the same text, on every machine: the random source
// is the generator's own and the numbers go through the program's own formatter.

#include <cstdint>
#include <string>
#include <vector>

namespace mvx::bench {

struct GeneratorOptions {
    long long Lines = 1000;    // G-code lines to write, header and footer included
    std::uint64_t Seed = 1;
    // Per thousand motion blocks: arcs, sharp corners, retract-and-plunge sequences, M codes and
    // dwells; the rest are short moves along the current smooth curve.
    int ArcsPerMille = 180;
    int CornersPerMille = 120;
    int RetractsPerMille = 15;
    int MCodesPerMille = 1;
    int DwellsPerMille = 1;
};

// The program as lines, without line ends.
std::vector<std::string> GenerateGCode(const GeneratorOptions& options);

// The same program as file text, every line ended by "\n".
std::string GenerateGCodeText(const GeneratorOptions& options);

}  // namespace mvx::bench
