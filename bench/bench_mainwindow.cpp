// The main window's job road on a million-line program: read and normalise, convert, and fill
// the views, in both conversion modes (offscreen, simulation). Peak memory is reported as the
// process's high-water mark after the run. The program folder is a temporary folder (TMPDIR):
// a run writes one file per PVT run, so on a slow disk the file system dominates.
#include "core/common.h"
#include "app/dialogs.h"
#include "core/inifile.h"
#include "mainwindow/tfmain.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include "benchinput.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>

namespace {

const std::string& BigProgramFile()
{
    static const std::string path = mvx::bench::LoadBenchInput(1000000).Path;
    return path;
}

double PeakMemoryMb()
{
    std::ifstream f("/proc/self/status");
    for (std::string line; std::getline(f, line);)
        if (line.rfind("VmHWM:", 0) == 0) return std::atof(line.c_str() + 6) / 1024.0;
    return 0.0;
}

void RunJob(benchmark::State& state, int mode)
{
    QTemporaryDir dir;
    const std::string root = dir.path().toStdString() + "/";
    QDir().mkpath(QString::fromStdString(root + "GCODE"));
    QFile::link(QString::fromStdString(BigProgramFile()), QString::fromStdString(root + "GCODE/big.nc"));
    mvx::InitCommonGlobals(root, "movantrix");
    mvx::SettingsIni()->writeString("TCP-IP", "ADR IP", "127.0.0.1");
    mvx::SetMessageBoxHandler([](const std::string&, std::uint16_t) -> std::uint16_t { return mvx::MrOk; });
    std::size_t lines = 0;
    double readSeconds = 0.0, convertSeconds = 0.0;
    for (auto _ : state) {
        mvx::TFmain win;
        win.setSimulation(true);
        win.job().selectMode(mode);
        const auto t0 = std::chrono::steady_clock::now();
        if (!win.job().readFile(root + "GCODE/big.nc")) {
            state.SkipWithError("read failed");
            return;
        }
        const auto t1 = std::chrono::steady_clock::now();
        if (!win.job().convert()) {
            state.SkipWithError("conversion failed");
            return;
        }
        const auto t2 = std::chrono::steady_clock::now();
        readSeconds += std::chrono::duration<double>(t1 - t0).count();
        convertSeconds += std::chrono::duration<double>(t2 - t1).count();
        lines = win.lines().size();
        benchmark::DoNotOptimize(win.lines().textBytes());
    }
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations() * lines));
    state.counters["read_s"] = readSeconds / static_cast<double>(state.iterations());
    state.counters["convert_fill_s"] = convertSeconds / static_cast<double>(state.iterations());
    state.counters["peak_MB"] = PeakMemoryMb();
    mvx::SetMessageBoxHandler({});
}

void BM_MainWindowJobTcl(benchmark::State& state) { RunJob(state, 2); }
void BM_MainWindowJobSct(benchmark::State& state) { RunJob(state, 1); }
BENCHMARK(BM_MainWindowJobTcl)->Unit(benchmark::kSecond)->Iterations(1);
BENCHMARK(BM_MainWindowJobSct)->Unit(benchmark::kSecond)->Iterations(1);

}  // namespace

int main(int argc, char** argv)
{
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
