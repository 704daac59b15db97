#include "benchinput.h"

#include "gcodegen.h"

#include <sys/resource.h>
#include <sys/stat.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>

namespace mvx::bench {

namespace {

[[noreturn]] void fail(const std::string& what)
{
    std::fprintf(stderr, "bench: %s\n", what.c_str());
    std::exit(1);
}

double statusField(const char* key)
{
    std::ifstream f("/proc/self/status");
    const std::string k(key);
    for (std::string line; std::getline(f, line);)
        if (line.rfind(k, 0) == 0) return std::atof(line.c_str() + k.size()) / 1024.0;
    return 0.0;
}

}  // namespace

std::string GeneratedProgram(long long lines, std::uint64_t seed)
{
    namespace fs = std::filesystem;
    std::error_code ec;
    const fs::path dir = fs::temp_directory_path(ec);
    if (ec) fail("no temporary folder for the generated program: " + ec.message());
    const fs::path path = dir / ("movantrix_bench_" + std::to_string(lines) + "_" + std::to_string(seed) + ".gcode");
    if (fs::is_regular_file(path, ec) && fs::file_size(path, ec) > 0) return path.string();
    GeneratorOptions options;
    options.Lines = lines;
    options.Seed = seed;
    const std::string text = GenerateGCodeText(options);
    const fs::path part = path.string() + ".part";
    {
        std::ofstream out(part, std::ios::binary | std::ios::trunc);
        out.write(text.data(), static_cast<std::streamsize>(text.size()));
        if (!out.flush()) fail("cannot write the generated program " + part.string());
    }
    fs::rename(part, path, ec);
    if (ec) fail("cannot write the generated program " + path.string() + ": " + ec.message());
    return path.string();
}

BenchInput LoadBenchInput(long long lines, const std::string& explicitPath)
{
    BenchInput in;
    in.Path = explicitPath;
    if (in.Path.empty()) {
        if (const char* env = std::getenv("MVX_BENCH_GCODE"); env && *env) in.Path = env;
    }
    if (in.Path.empty()) in.Path = GeneratedProgram(lines);

    struct stat st {};
    if (::stat(in.Path.c_str(), &st) != 0) fail("input " + in.Path + " is missing");
    if (!S_ISREG(st.st_mode)) fail("input " + in.Path + " is not a regular file");
    std::ifstream f(in.Path, std::ios::binary);
    if (!f) fail("input " + in.Path + " cannot be read");
    for (std::string line; std::getline(f, line);) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        in.Lines.push_back(std::move(line));
    }
    in.Bytes = static_cast<std::uintmax_t>(st.st_size);
    if (in.Lines.empty() || in.Bytes == 0) fail("input " + in.Path + " is empty");
    return in;
}

double PeakRssMiB()
{
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return static_cast<double>(u.ru_maxrss) / 1024.0;  // ru_maxrss is in KiB
}

double CurrentRssMiB() { return statusField("VmRSS:"); }

double SystemSeconds()
{
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return static_cast<double>(u.ru_stime.tv_sec) + static_cast<double>(u.ru_stime.tv_usec) / 1e6;
}

}  // namespace mvx::bench
