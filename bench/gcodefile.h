#pragma once
// The generated large G-code program shared by the translator benchmarks: made once with
// the shared generator and kept in /tmp.

#include <sys/resource.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

namespace mvx::bench {

inline const std::vector<std::string>& BigProgram()
{
    static const std::vector<std::string> lines = [] {
        const std::string path = "/tmp/movantrix_bench_1000000.gcode";
        if (!std::ifstream(path).good()) {
            const std::string cmd = std::string("/usr/bin/python3 ") + MVX_GEN_GCODE + " 1000000 > " + path +
                                    ".part && mv " + path + ".part " + path;
            if (std::system(cmd.c_str()) != 0) std::fprintf(stderr, "cannot generate %s\n", path.c_str());
        }
        std::vector<std::string> out;
        std::ifstream in(path);
        for (std::string line; std::getline(in, line);) out.push_back(line);
        return out;
    }();
    return lines;
}

// Peak resident memory of the process (its high-water mark), in MiB.
inline double peakRssMiB()
{
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return static_cast<double>(u.ru_maxrss) / 1024.0;  // ru_maxrss is in KiB
}

// Kernel CPU time so far: file creation shows up here, not in the conversion.
inline double systemSeconds()
{
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return static_cast<double>(u.ru_stime.tv_sec) + static_cast<double>(u.ru_stime.tv_usec) / 1e6;
}

}  // namespace mvx::bench
