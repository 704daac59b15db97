// The translator's figures, each beside its reference, on one generated CAM-like program:
//
//   conversion in memory (SCT, TCL) and with every file written, against LinuxCNC's
//   "rs274 -g" on the same file in the same run (median of --repeat runs each);
//   the peak memory each conversion adds, against the file's size;
//   the cost per line at 10k, 100k and 1M lines.
//
// Usage: bench_translator [--lines=N] [--repeat=R] [--input=FILE] [--quick]
//        bench_translator --write=DIR [--input=FILE]   (every output file, for checksums)
//        bench_translator --only=sct|tcl|sct-files|tcl-files  (one run, for a profiler)
// --dir=FOLDER puts the written files there (default: the temporary folder); on a memory file
// system (/dev/shm) the figure shows the program's own cost without the disk's.
// The reference needs rs274 (Debian package linuxcnc-uspace); without it the ratios are left
// out and the output says so.
#include "benchinput.h"
#include "gcodegen.h"

#include "translator/gcodetext.h"
#include "translator/numtext.h"
#include "translator/sctconvert.h"
#include "translator/tclconvert.h"

#include <malloc.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <string>
#include <thread>
#include <vector>

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;
using mvx::bench::BenchInput;

struct Options {
    long long Lines = 1000000;
    int Repeat = 5;
    std::string Input;
    std::string WriteDir;
    std::string Only;    // one workload, once, nothing printed: for a profiler
    bool Quick = false;  // one run each, no per-line series
};

double seconds(Clock::time_point since) { return std::chrono::duration<double>(Clock::now() - since).count(); }

double median(std::vector<double> v)
{
    if (v.empty()) return 0.0;
    std::sort(v.begin(), v.end());
    return v.size() % 2 ? v[v.size() / 2] : (v[v.size() / 2 - 1] + v[v.size() / 2]) / 2.0;
}

mvx::MachineConfig benchConfig()
{
    mvx::MachineConfig c;
    c.GroupName = "MULTI";
    c.GCodeFileName = "bench.nc";
    c.DateText = "01/01/2026";
    c.TimeText = "12:00:00";
    return c;
}

std::string rs274Path()
{
    for (const char* dir : {"/usr/bin", "/usr/local/bin", "/bin"}) {
        const std::string p = std::string(dir) + "/rs274";
        if (::access(p.c_str(), X_OK) == 0) return p;
    }
    return {};
}

// Wall time of "rs274 -g FILE /dev/null", or a negative value when it fails.
double timeRs274(const std::string& rs274, const std::string& file)
{
    std::fflush(nullptr);
    const auto t0 = Clock::now();
    const pid_t pid = ::fork();
    if (pid == 0) {
        std::freopen("/dev/null", "r", stdin);
        std::freopen("/dev/null", "w", stdout);
        std::freopen("/dev/null", "w", stderr);
        ::execl(rs274.c_str(), "rs274", "-g", file.c_str(), "/dev/null", static_cast<char*>(nullptr));
        ::_exit(127);
    }
    int status = 0;
    if (pid < 0 || ::waitpid(pid, &status, 0) != pid || !WIFEXITED(status) || WEXITSTATUS(status) != 0) return -1.0;
    return seconds(t0);
}

struct ChildFigures {
    double Seconds = -1.0;
    double AddedMiB = 0.0;  // peak resident memory above the resident memory at the start
    bool Ok = false;
};

// Runs `work` once in a child process, so each workload has a peak memory of its own.
ChildFigures inChild(const std::function<bool()>& work)
{
    int fd[2];
    if (::pipe(fd) != 0) return {};
    std::fflush(nullptr);
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::close(fd[0]);
        ChildFigures f;
        const double base = mvx::bench::CurrentRssMiB();
        const auto t0 = Clock::now();
        f.Ok = work();
        f.Seconds = seconds(t0);
        f.AddedMiB = mvx::bench::PeakRssMiB() - base;
        if (::write(fd[1], &f, sizeof f) != static_cast<ssize_t>(sizeof f)) ::_exit(2);
        ::_exit(0);
    }
    ::close(fd[1]);
    ChildFigures f;
    if (pid < 0 || ::read(fd[0], &f, sizeof f) != static_cast<ssize_t>(sizeof f)) f = {};
    ::close(fd[0]);
    int status = 0;
    ::waitpid(pid, &status, 0);
    return f;
}

bool sctInMemory(const mvx::gcode::LineList& lines)
{
    const mvx::sct::SctConversion c = mvx::sct::ConvertSct(lines, benchConfig());
    return c.Error.Ok() && !c.Stopped;
}

bool tclInMemory(const mvx::gcode::LineList& lines)
{
    const mvx::tclpath::TclConversionResult r = mvx::tclpath::GCodeToTCL(lines, benchConfig());
    return r.Error.Ok() && !r.Stopped;
}

// A fresh, empty folder, the old one removed and that removal flushed to the disk outside any
// timing: deleting 150,000 files leaves the file system busy for seconds afterwards.
void freshFolder(const std::string& dir)
{
    fs::remove_all(dir);
    fs::create_directories(dir);
    ::sync();
}

bool sctWritten(const mvx::gcode::LineList& lines, const std::string& dir, const mvx::MachineConfig& config)
{
    mvx::sct::SctConversion out;
    const auto err = mvx::sct::ConvertAndWriteSct(lines, config, dir, dir, true, out);
    return err.Ok() && out.Error.Ok() && !out.Stopped;
}

bool tclWritten(const mvx::gcode::LineList& lines, const std::string& dir, const mvx::MachineConfig& config)
{
    mvx::tclpath::WriteOutcome written;
    const auto r = mvx::tclpath::GCodeToTCLWriting(lines, config, dir, written);
    return written.Ok && r.Error.Ok() && !r.Stopped;
}

std::string gOutputRoot;  // --dir=, else the temporary folder

std::string workDir(const char* what)
{
    const fs::path root = gOutputRoot.empty() ? fs::temp_directory_path() : fs::path(gOutputRoot);
    return (root / ("movantrix_bench_" + std::string(what) + "_" + std::to_string(::getpid()))).string();
}

// Every output file of both paths under a few configurations, for checksums before and after
// a change of the translator.
int writeAll(const mvx::gcode::LineList& lines, const std::string& root)
{
    struct Variant {
        const char* Name;
        std::function<void(mvx::MachineConfig&)> Set;
    };
    const Variant variants[] = {
        {"xyz", nullptr},
        {"xy", [](mvx::MachineConfig& c) { c.XYGroupOnly = true; }},
        {"digits", [](mvx::MachineConfig& c) {
             c.NbDigit = 2;
             c.NbDigitPvt = 4;
             c.DiscontinuityAngleMax = 10.0;
         }},
        {"nofeed", [](mvx::MachineConfig& c) {
             c.UseFCodes = false;
             c.AngularStep = 0.01;
         }},
    };
    for (const Variant& v : variants) {
        mvx::MachineConfig config = benchConfig();
        if (v.Set) v.Set(config);
        const std::string base = root + "/" + v.Name;
        freshFolder(base + "/sct");
        freshFolder(base + "/tcl");
        if (!sctWritten(lines, base + "/sct", config) || !tclWritten(lines, base + "/tcl", config)) {
            std::fprintf(stderr, "bench: conversion failed for %s\n", v.Name);
            return 1;
        }
    }
    return 0;
}

std::string mib(double v) { return mvx::num::fixed(v, 0) + " MiB"; }
std::string sec(double v) { return v < 0 ? std::string("-") : mvx::num::fixed(v, 3) + " s"; }
std::string ratio(double v, double ref) { return ref > 0 && v >= 0 ? mvx::num::fixed(v / ref, 2) + "x" : "-"; }

void row(const char* what, double t, double ref, const char* goal, const ChildFigures& mem, double fileMiB,
         const char* memGoal)
{
    std::printf("%-34s %10s %10s %8s %8s %10s %7s %6s\n", what, sec(t).c_str(), sec(ref).c_str(), ratio(t, ref).c_str(),
                goal, mib(mem.AddedMiB).c_str(), (mvx::num::fixed(mem.AddedMiB / fileMiB, 1) + "x").c_str(), memGoal);
}

}  // namespace

int main(int argc, char** argv)
{
    Options o;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        auto value = [&](const char* key) -> const char* {
            const std::size_t n = std::char_traits<char>::length(key);
            return a.compare(0, n, key) == 0 ? argv[i] + n : nullptr;
        };
        if (const char* v = value("--lines=")) o.Lines = std::atoll(v);
        else if (const char* v = value("--repeat=")) o.Repeat = std::max(1, std::atoi(v));
        else if (const char* v = value("--input=")) o.Input = v;
        else if (const char* v = value("--write=")) o.WriteDir = v;
        else if (const char* v = value("--only=")) o.Only = v;
        else if (const char* v = value("--dir=")) gOutputRoot = v;
        else if (a == "--quick") o.Quick = true;
        else {
            std::fprintf(stderr, "usage: bench_translator [--lines=N] [--repeat=R] [--input=FILE] [--quick] "
                                 "[--write=DIR] [--only=WORKLOAD] [--dir=FOLDER]\n");
            return 2;
        }
    }
    if (o.Quick) o.Repeat = 1;

    const BenchInput input = mvx::bench::LoadBenchInput(o.Lines, o.Input);
    const mvx::gcode::LineList lines = mvx::gtext::NormalizeLoadedLines(input.Lines);
    if (!o.WriteDir.empty()) return writeAll(lines, o.WriteDir);
    if (!o.Only.empty()) {
        const std::string dir = workDir("only");
        freshFolder(dir);
        bool done = false;
        if (o.Only == "sct") done = sctInMemory(lines);
        else if (o.Only == "tcl") done = tclInMemory(lines);
        else if (o.Only == "sct-files") done = sctWritten(lines, dir, benchConfig());
        else if (o.Only == "tcl-files") done = tclWritten(lines, dir, benchConfig());
        else std::fprintf(stderr, "bench: --only=sct|tcl|sct-files|tcl-files\n");
        fs::remove_all(dir);
        return done ? 0 : 1;
    }

    const double fileMiB = static_cast<double>(input.Bytes) / (1024.0 * 1024.0);
    std::printf("input: %s, %zu lines, %.1f MiB\n", input.Path.c_str(), input.Lines.size(), fileMiB);
    std::printf("threads: %u hardware; files written in %s\n", std::max(1u, std::thread::hardware_concurrency()),
                workDir("*").c_str());

    const std::string rs274 = rs274Path();
    std::vector<double> ref;
    if (rs274.empty()) {
        std::printf("reference: rs274 not installed (apt-get install linuxcnc-uspace): ratios left out\n");
    }

    const std::string sctDir = workDir("sct"), tclDir = workDir("tcl");
    const mvx::MachineConfig config = benchConfig();
    // Memory first, each workload in a process of its own forked from this one before any
    // conversion ran here: nothing freed by an earlier run can hide a peak.
    const ChildFigures mSct = inChild([&] { return sctInMemory(lines); });
    const ChildFigures mTcl = inChild([&] { return tclInMemory(lines); });
    freshFolder(sctDir);
    freshFolder(tclDir);
    const ChildFigures mSctW = inChild([&] { return sctWritten(lines, sctDir, config); });
    const ChildFigures mTclW = inChild([&] { return tclWritten(lines, tclDir, config); });
    if (!mSct.Ok || !mTcl.Ok || !mSctW.Ok || !mTclW.Ok) {
        std::fprintf(stderr, "bench: a conversion failed\n");
        return 1;
    }

    std::vector<double> tSct, tTcl, tSctW, tTclW;
    bool ok = true;
    // Interleaved runs: a load that comes and goes on the machine touches every workload alike.
    for (int r = 0; r < o.Repeat; ++r) {
        if (!rs274.empty()) {
            const double t = timeRs274(rs274, input.Path);
            if (t < 0) std::fprintf(stderr, "bench: rs274 failed on %s\n", input.Path.c_str());
            else ref.push_back(t);
        }
        auto timed = [&](std::vector<double>& into, const std::function<bool()>& f) {
            const auto t0 = Clock::now();
            ok = f() && ok;
            into.push_back(seconds(t0));
        };
        timed(tSct, [&] { return sctInMemory(lines); });
        timed(tTcl, [&] { return tclInMemory(lines); });
        freshFolder(sctDir);
        timed(tSctW, [&] { return sctWritten(lines, sctDir, config); });
        freshFolder(tclDir);
        timed(tTclW, [&] { return tclWritten(lines, tclDir, config); });
    }
    if (!ok) {
        std::fprintf(stderr, "bench: a conversion failed\n");
        return 1;
    }
    const double reference = ref.empty() ? -1.0 : median(ref);

    fs::remove_all(sctDir);
    fs::remove_all(tclDir);

    std::printf("\nmedian of %d run(s); memory: peak added by the conversion, in its own process\n", o.Repeat);
    std::printf("%-34s %10s %10s %8s %8s %10s %7s %6s\n", "workload", "time", "rs274 -g", "ratio", "goal", "memory",
                "x file", "goal");
    row("SCT conversion in memory", median(tSct), reference, "<=0.25x", mSct, fileMiB, "");
    row("TCL conversion in memory", median(tTcl), reference, "<=0.35x", mTcl, fileMiB, "");
    row("SCT conversion, files written", median(tSctW), reference, "<=0.50x", mSctW, fileMiB, "<=5x");
    row("TCL conversion, files written", median(tTclW), reference, "<=0.50x", mTclW, fileMiB, "<=5x");

    // One line of 100 MiB, as a file of one bad number would give: the read step and both
    // conversions, with the memory they add and the length of the message they give.
    {
        std::size_t message = 0;
        int fd[2];
        if (::pipe(fd) == 0) {
            std::fflush(nullptr);
            const pid_t pid = ::fork();
            if (pid == 0) {
                ::close(fd[0]);
                std::string text;
                text.reserve(std::size_t{100} << 20);
                text = "G1 X";
                text.append((std::size_t{100} << 20) - 4, '7');
                mvx::gcode::LineList one = mvx::gcode::LineList::FromText(std::move(text));
                double figures[2] = {0.0, 0.0};
                const double base = mvx::bench::CurrentRssMiB();
                const auto normalized = mvx::gtext::NormalizeLoadedLines(one);
                one = mvx::gcode::LineList{};
                const auto sct = mvx::sct::ConvertSct(normalized, benchConfig());
                const auto tcl = mvx::tclpath::GCodeToTCL(normalized, benchConfig());
                figures[0] = mvx::bench::PeakRssMiB() - base;
                figures[1] = static_cast<double>(std::max(sct.Error.Text.size(), tcl.Error.Text.size()));
                if (::write(fd[1], figures, sizeof figures) != static_cast<ssize_t>(sizeof figures)) ::_exit(2);
                ::_exit(0);
            }
            ::close(fd[1]);
            double figures[2] = {0.0, 0.0};
            const bool got = pid > 0 && ::read(fd[0], figures, sizeof figures) == static_cast<ssize_t>(sizeof figures);
            ::close(fd[0]);
            int status = 0;
            if (pid > 0) ::waitpid(pid, &status, 0);
            message = static_cast<std::size_t>(figures[1]);
            if (got)
                std::printf("\none line of 100 MiB (read step, SCT and TCL): %s added (%sx the line, goal: bounded, "
                            "not 7x); message %zu bytes (goal: a few hundred)\n",
                            mib(figures[0]).c_str(), mvx::num::fixed(figures[0] / 100.0, 1).c_str(), message);
        }
    }

    if (o.Quick) return 0;
    // Cost per line at three sizes of the same kind of program, the best of several runs: the
    // program's own cost, not what other work on the machine adds. Freed memory is kept for the
    // next run at every size (a small job run again would find its memory already there while a
    // large one would get fresh pages from the system each time), after one run of each size to
    // fill it.
    ::mallopt(M_MMAP_THRESHOLD, 1 << 30);
    ::mallopt(M_TRIM_THRESHOLD, 1 << 30);
    std::printf("\ncost per line (generated programs, seed 1, best of several runs)\n%-10s %14s %14s\n", "lines",
                "SCT us/line", "TCL us/line");
    std::vector<double> perSct, perTcl;
    for (long long n : {10000LL, 100000LL, 1000000LL}) {
        mvx::bench::GeneratorOptions g;
        g.Lines = n;
        const auto program = mvx::gtext::NormalizeLoadedLines(mvx::bench::GenerateGCode(g));
        std::vector<double> s, t;
        // Small programs take milliseconds: more runs, so one slow run does not make the figure.
        const int runs = n <= 10000 ? 21 : n <= 100000 ? 9 : std::max(3, o.Repeat / 2);
        sctInMemory(program);
        tclInMemory(program);
        for (int r = 0; r < runs; ++r) {
            auto t0 = Clock::now();
            sctInMemory(program);
            s.push_back(seconds(t0));
            t0 = Clock::now();
            tclInMemory(program);
            t.push_back(seconds(t0));
        }
        perSct.push_back(*std::min_element(s.begin(), s.end()) / static_cast<double>(n) * 1e6);
        perTcl.push_back(*std::min_element(t.begin(), t.end()) / static_cast<double>(n) * 1e6);
        std::printf("%-10lld %14s %14s\n", n, mvx::num::fixed(perSct.back(), 3).c_str(), mvx::num::fixed(perTcl.back(), 3).c_str());
    }
    auto spread = [](const std::vector<double>& v) {
        return (*std::max_element(v.begin(), v.end()) / *std::min_element(v.begin(), v.end()) - 1.0) * 100.0;
    };
    std::printf("spread    %13s%% %13s%%   goal <= 20%%\n", mvx::num::fixed(spread(perSct), 0).c_str(),
                mvx::num::fixed(spread(perTcl), 0).c_str());
    return 0;
}
