// Whole SCT conversion of a large program: build, TEST.SCT, generation, and the files on disk.
#include "translator/gcodetext.h"
#include "translator/sctconvert.h"

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
void BM_SctConvertAndWriteStreaming(benchmark::State& state)
{
    const auto lines = mvx::gtext::NormalizeLoadedLines(BigProgram());
    const std::filesystem::path dir = "/tmp/movantrix_bench_sct_stream";
    std::filesystem::create_directories(dir);
    mvx::MachineConfig config;
    config.GroupName = "MULTI";
    std::size_t files = 0, scriptLines = 0;
    const double sys0 = SystemSeconds();
    for (auto _ : state) {
        mvx::sct::SctConversion conv;
        if (auto err = mvx::sct::ConvertAndWriteSct(lines, config, dir.string(), dir.string(), true, conv)) {
            state.SkipWithError(err.Text.c_str());
            return;
        }
        if (conv.Error) {
            state.SkipWithError(conv.Error.Text.c_str());
            return;
        }
        files = conv.PvtFiles.size();
        scriptLines = static_cast<std::size_t>(std::count(conv.Script.begin(), conv.Script.end(), '\n'));
    }
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations() * lines.size()));
    state.counters["pvt_files"] = static_cast<double>(files);
    state.counters["script_lines"] = static_cast<double>(scriptLines);
    state.counters["peak_rss_MiB"] = PeakRssMiB();
    state.counters["sys_s"] = SystemSeconds() - sys0;
    std::filesystem::remove_all(dir);
}
BENCHMARK(BM_SctConvertAndWriteStreaming)->Unit(benchmark::kMillisecond)->Iterations(1);

// Conversion alone: no file system time (creating tens of thousands of files costs the kernel
// more than the conversion on some disks).
void BM_SctConvert(benchmark::State& state)
{
    const auto lines = mvx::gtext::NormalizeLoadedLines(BigProgram());
    mvx::MachineConfig config;
    config.GroupName = "MULTI";
    const double sys0 = SystemSeconds();
    for (auto _ : state) {
        const mvx::sct::SctConversion conv = mvx::sct::ConvertSct(lines, config);
        if (conv.Error) {
            state.SkipWithError(conv.Error.Text.c_str());
            return;
        }
        benchmark::DoNotOptimize(conv.PvtFiles.data());
    }
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations() * lines.size()));
    state.counters["peak_rss_MiB"] = PeakRssMiB();
    state.counters["sys_s"] = SystemSeconds() - sys0;
}
BENCHMARK(BM_SctConvert)->Unit(benchmark::kMillisecond)->Iterations(1);

void BM_SctConvertAndWrite(benchmark::State& state)
{
    const auto lines = mvx::gtext::NormalizeLoadedLines(BigProgram());
    const std::filesystem::path dir = "/tmp/movantrix_bench_sct";
    std::filesystem::create_directories(dir);
    mvx::MachineConfig config;
    config.GroupName = "MULTI";
    std::size_t files = 0, scriptLines = 0;
    const double sys0 = SystemSeconds();
    for (auto _ : state) {
        const mvx::sct::SctConversion conv = mvx::sct::ConvertSct(lines, config);
        if (conv.Error) {
            state.SkipWithError(conv.Error.Text.c_str());
            return;
        }
        if (auto err = mvx::sct::WriteSctFiles(conv, dir.string(), dir.string(), true)) {
            state.SkipWithError(err.Text.c_str());
            return;
        }
        files = conv.PvtFiles.size();
        scriptLines = static_cast<std::size_t>(std::count(conv.Script.begin(), conv.Script.end(), '\n'));
    }
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations() * lines.size()));
    state.counters["pvt_files"] = static_cast<double>(files);
    state.counters["script_lines"] = static_cast<double>(scriptLines);
    state.counters["peak_rss_MiB"] = PeakRssMiB();
    state.counters["sys_s"] = SystemSeconds() - sys0;
    std::filesystem::remove_all(dir);
}
BENCHMARK(BM_SctConvertAndWrite)->Unit(benchmark::kMillisecond)->Iterations(1);

}  // namespace

BENCHMARK_MAIN();
