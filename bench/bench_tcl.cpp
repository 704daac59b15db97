// Whole script-path conversion of a large program: script, PVT files, line table, drawing,
// and the files on disk.
#include "translator/gcodetext.h"
#include "translator/tclconvert.h"

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

void BM_TclConvertAndWrite(benchmark::State& state)
{
    const auto lines = mvx::gtext::NormalizeLoadedLines(mvx::bench::BigProgram());
    const std::filesystem::path dir = "/tmp/movantrix_bench_tcl";
    std::filesystem::create_directories(dir);
    mvx::MachineConfig config;
    config.GroupName = "MULTI";
    std::size_t files = 0, scriptLines = 0;
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
        scriptLines = r.ScriptLines.size();
    }
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations() * lines.size()));
    state.counters["pvt_files"] = static_cast<double>(files);
    state.counters["script_lines"] = static_cast<double>(scriptLines);
    state.counters["peak_rss_MiB"] = peakRssMiB();
    std::filesystem::remove_all(dir);
}
BENCHMARK(BM_TclConvertAndWrite)->Unit(benchmark::kMillisecond)->Iterations(1);

}  // namespace

BENCHMARK_MAIN();
