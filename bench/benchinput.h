#pragma once
// The G-code program the benchmarks convert, and the process figures they report.
//
// The program is the file named by the environment variable MVX_BENCH_GCODE, else the
// generator's program (gcodegen.h, seed 1) of the asked number of lines, made once in the
// temporary folder. A missing, unreadable or empty input ends the benchmark at once with a
// message and exit status 1: a figure measured on nothing is worse than none.

#include <cstdint>
#include <string>
#include <vector>

namespace mvx::bench {

struct BenchInput {
    std::string Path;
    std::vector<std::string> Lines;  // as read, without line ends
    std::uintmax_t Bytes = 0;        // size of the file
};

// `explicitPath` wins over MVX_BENCH_GCODE; both empty: the generated program of `lines` lines.
BenchInput LoadBenchInput(long long lines, const std::string& explicitPath = {});

// Path of the generated program of `lines` lines (made when missing).
std::string GeneratedProgram(long long lines, std::uint64_t seed = 1);

// Peak resident memory of the process so far (its high-water mark), in MiB.
double PeakRssMiB();
// Current resident memory, in MiB.
double CurrentRssMiB();
// Kernel CPU time of the process so far, in seconds.
double SystemSeconds();

}  // namespace mvx::bench
