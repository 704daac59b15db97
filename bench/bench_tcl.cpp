// Whole script-path conversion of a large program: script, PVT files, line table, drawing,
// and the files on disk.
#include "translator/gcodetext.h"
#include "translator/tclconvert.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <filesystem>

#include "benchinput.h"

namespace {

const std::vector<std::string>& BigProgram()
{
    static const std::vector<std::string> lines = mvx::bench::LoadBenchInput(1000000).Lines;
    return lines;
}

using mvx::bench::PeakRssMiB;
using mvx::bench::SystemSeconds;

// Peak RSS is the process' high-water mark: the benchmarks run from the leanest to the
// hungriest, and --benchmark_filter gives one alone its own figure.

// The streaming call: each PVT file goes to disk as its run closes.
void BM_TclConvertAndWriteStreaming(benchmark::State& state)
{
    const auto lines = mvx::gtext::NormalizeLoadedLines(BigProgram());
    const std::filesystem::path dir = "/tmp/movantrix_bench_tcl_stream";
    std::filesystem::create_directories(dir);
    mvx::MachineConfig config;
    config.GroupName = "MULTI";
    std::size_t files = 0, scriptLines = 0;
    const double sys0 = SystemSeconds();
    for (auto _ : state) {
        mvx::tclpath::WriteOutcome written;
        const mvx::tclpath::TclConversionResult r = mvx::tclpath::GCodeToTCLWriting(lines, config, dir.string(), written);
        if (r.Error) {
            state.SkipWithError(r.Error.Text.c_str());
            return;
        }
        if (!written.Ok) {
            state.SkipWithError(written.Error.c_str());
            return;
        }
        files = r.PvtFiles.size();
        scriptLines = static_cast<std::size_t>(std::count(r.Script.begin(), r.Script.end(), '\n'));
    }
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations() * lines.size()));
    state.counters["pvt_files"] = static_cast<double>(files);
    state.counters["script_lines"] = static_cast<double>(scriptLines);
    state.counters["peak_rss_MiB"] = PeakRssMiB();
    state.counters["sys_s"] = SystemSeconds() - sys0;
    std::filesystem::remove_all(dir);
}
BENCHMARK(BM_TclConvertAndWriteStreaming)->Unit(benchmark::kMillisecond)->Iterations(1);

// Conversion alone: no file system time (creating tens of thousands of files costs the kernel
// more than the conversion on some disks).
void BM_TclConvert(benchmark::State& state)
{
    const auto lines = mvx::gtext::NormalizeLoadedLines(BigProgram());
    mvx::MachineConfig config;
    config.GroupName = "MULTI";
    const double sys0 = SystemSeconds();
    for (auto _ : state) {
        const mvx::tclpath::TclConversionResult r = mvx::tclpath::GCodeToTCL(lines, config);
        if (r.Error) {
            state.SkipWithError(r.Error.Text.c_str());
            return;
        }
        benchmark::DoNotOptimize(r.PvtFiles.data());
    }
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations() * lines.size()));
    state.counters["peak_rss_MiB"] = PeakRssMiB();
    state.counters["sys_s"] = SystemSeconds() - sys0;
}
BENCHMARK(BM_TclConvert)->Unit(benchmark::kMillisecond)->Iterations(1);

void BM_TclConvertAndWrite(benchmark::State& state)
{
    const auto lines = mvx::gtext::NormalizeLoadedLines(BigProgram());
    const std::filesystem::path dir = "/tmp/movantrix_bench_tcl";
    std::filesystem::create_directories(dir);
    mvx::MachineConfig config;
    config.GroupName = "MULTI";
    std::size_t files = 0, scriptLines = 0;
    const double sys0 = SystemSeconds();
    for (auto _ : state) {
        const mvx::tclpath::TclConversionResult r = mvx::tclpath::GCodeToTCL(lines, config);
        if (r.Error) {
            state.SkipWithError(r.Error.Text.c_str());
            return;
        }
        if (auto out = mvx::tclpath::WriteConversionFiles(r, dir.string()); !out.Ok) {
            state.SkipWithError(out.Error.c_str());
            return;
        }
        files = r.PvtFiles.size();
        scriptLines = static_cast<std::size_t>(std::count(r.Script.begin(), r.Script.end(), '\n'));
    }
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations() * lines.size()));
    state.counters["pvt_files"] = static_cast<double>(files);
    state.counters["script_lines"] = static_cast<double>(scriptLines);
    state.counters["peak_rss_MiB"] = PeakRssMiB();
    state.counters["sys_s"] = SystemSeconds() - sys0;
    std::filesystem::remove_all(dir);
}
BENCHMARK(BM_TclConvertAndWrite)->Unit(benchmark::kMillisecond)->Iterations(1);

}  // namespace

BENCHMARK_MAIN();
