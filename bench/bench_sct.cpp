// Whole SCT conversion of a large program: build, TEST.SCT, generation, and the files on disk.
#include "translator/gcodetext.h"
#include "translator/sctconvert.h"

#include <benchmark/benchmark.h>

#include <filesystem>

#include <sys/resource.h>

#include "gcodefile.h"

namespace {

double peakRssMiB()
{
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return static_cast<double>(u.ru_maxrss) / 1024.0;  // ru_maxrss is in KiB
}

void BM_SctConvertAndWrite(benchmark::State& state)
{
    const auto lines = mvx::gtext::NormalizeLoadedLines(mvx::bench::BigProgram());
    const std::filesystem::path dir = "/tmp/movantrix_bench_sct";
    std::filesystem::create_directories(dir);
    mvx::MachineConfig config;
    config.GroupName = "MULTI";
    std::size_t files = 0, scriptLines = 0;
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
        scriptLines = conv.Script.size();
    }
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations() * lines.size()));
    state.counters["pvt_files"] = static_cast<double>(files);
    state.counters["script_lines"] = static_cast<double>(scriptLines);
    state.counters["peak_rss_MiB"] = peakRssMiB();
    std::filesystem::remove_all(dir);
}
BENCHMARK(BM_SctConvertAndWrite)->Unit(benchmark::kMillisecond)->Iterations(1);

}  // namespace

BENCHMARK_MAIN();
