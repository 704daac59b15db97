// Read-step normalisation, line parsing and parameter evaluation over a large program.
#include "translator/gcodeline.h"
#include "translator/gcodetext.h"

#include "benchinput.h"

#include <benchmark/benchmark.h>

#include <string>
#include <vector>

namespace {

const std::vector<std::string>& BigProgram()
{
    static const std::vector<std::string> lines = mvx::bench::LoadBenchInput(1000000).Lines;
    return lines;
}



void BM_NormalizeRead(benchmark::State& state)
{
    const auto& lines = BigProgram();
    for (auto _ : state) {
        auto out = mvx::gtext::NormalizeLoadedLines(lines);
        benchmark::DoNotOptimize(out.textBytes());
    }
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations() * lines.size()));
}
BENCHMARK(BM_NormalizeRead)->Unit(benchmark::kMillisecond);

void BM_ParseFile(benchmark::State& state)
{
    const auto lines = mvx::gtext::NormalizeLoadedLines(BigProgram());
    for (auto _ : state) {
        mvx::gcode::LineState st;
        mvx::gcode::Block block;
        double sum = 0.0;
        int n = 0;
        for (std::string_view line : lines) {
            if (auto err = mvx::gcode::ParseGCodeLine(mvx::gcode::PrepareLine(line), st, block, ++n)) {
                state.SkipWithError(err.Text.c_str());
                return;
            }
            sum += block.FirstValue();
        }
        benchmark::DoNotOptimize(sum);
    }
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations() * lines.size()));
}
BENCHMARK(BM_ParseFile)->Unit(benchmark::kMillisecond);

// Every line evaluates: an assignment, then a move with two bracketed expressions (function
// arguments in brackets too: parentheses are comments).
void BM_ParseWithParameters(benchmark::State& state)
{
    std::vector<std::string> lines;
    for (int i = 0; i < 100000; ++i) {
        lines.push_back("#R=" + std::to_string(i % 50) + ".5*2");
        lines.push_back("G1 X[R*cos[" + std::to_string(i % 360) + "*pi/180]] Y[R*sin[" + std::to_string(i % 360) +
                        "*pi/180]+somme[1;2;3]]");
    }
    for (auto _ : state) {
        mvx::gcode::LineState st;
        mvx::gcode::Block block;
        int n = 0;
        for (const std::string& line : lines) {
            if (auto err = mvx::gcode::ParseGCodeLine(mvx::gcode::PrepareLine(line), st, block, ++n)) {
                state.SkipWithError(err.Text.c_str());
                return;
            }
        }
        benchmark::DoNotOptimize(block.WordCount);
    }
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations() * lines.size()));
}
BENCHMARK(BM_ParseWithParameters)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
