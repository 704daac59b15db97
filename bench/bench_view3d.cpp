// Redraw of the 3D view after a camera change with a million segments, at 800x600 on the
// display's OpenGL (llvmpipe under xvfb-run). The drawings come from the project's generator's
// CAM-like program (bench/gcodegen.h): the job path the TCL conversion draws, cut at 1,000,000 segments, and the SCT
// list of as many lines as give about a million drawn segments. Each frame turns the camera a
// little and renders into the view's frame buffer, which is read back so that the frame is
// finished. The empty scene, measured the same way in the same run, is the reference: every
// figure also gives its time over the empty frame's ("x_empty").
// The first paint after a new job path is timed apart: "ready_ms" until the whole picture is on
// screen, "worst_stall_ms" the longest the window's thread was held meanwhile.
//
//   xvfb-run -a -s "-screen 0 1280x1024x24" build/bench_view3d
#include "benchinput.h"

#include "mainwindow/scene3d_sct.h"
#include "mainwindow/view3d.h"
#include "translator/sctconvert.h"
#include "translator/tclconvert.h"

#include <QApplication>
#include <QImage>
#include <QOpenGLWidget>
#include <QTest>
#include <QTimer>

#include <benchmark/benchmark.h>

#include <chrono>
#include <functional>
#include <memory>
#include <vector>

namespace {

constexpr std::size_t kSegments = 1000000;

std::vector<std::string> FirstLines(std::size_t n)
{
    static const std::vector<std::string> all = mvx::bench::LoadBenchInput(1000000).Lines;
    return {all.begin(), all.begin() + static_cast<std::ptrdiff_t>(std::min(n, all.size()))};
}

const std::vector<mvx::PathSegment>& JobPath()
{
    static const std::vector<mvx::PathSegment> path = [] {
        // Arcs are drawn as chords: 300,000 lines give a little more than a million pieces.
        mvx::tclpath::TclConversionResult r = mvx::tclpath::GCodeToTCL(FirstLines(300000), mvx::MachineConfig{});
        std::vector<mvx::PathSegment> d = std::move(r.Drawing);
        if (d.size() > kSegments) d.resize(kSegments);
        return d;
    }();
    return path;
}

std::size_t DrawnSegments(const mvx::view3d::Scene3D& scene)
{
    std::size_t n = 0;
    for (const mvx::view3d::SctItem& item : scene.sctItems()) n += item.Count > 1 ? item.Count - 1 : 0;
    return n;
}

const mvx::sct::Ttraject& SctList()
{
    static const std::unique_ptr<mvx::sct::Ttraject> list = [] {
        // A trial list tells how many lines give a million drawn segments.
        auto build = [](std::size_t lines) {
            auto l = std::make_unique<mvx::sct::Ttraject>();
            mvx::sct::GCodeToElements(FirstLines(lines), mvx::MachineConfig{}, *l);
            return l;
        };
        constexpr std::size_t kTrial = 50000;
        std::unique_ptr<mvx::sct::Ttraject> trial = build(kTrial);
        mvx::view3d::Scene3D scene;
        mvx::view3d::DrawSctList(scene, *trial, {});
        const std::size_t perTrial = std::max<std::size_t>(DrawnSegments(scene), 1);
        return build(kTrial * kSegments / perTrial);
    }();
    return *list;
}

class Viewer {
public:
    Viewer()
    {
        mView.show();
        (void)QTest::qWaitForWindowExposed(&mView);
        mGl = qobject_cast<QOpenGLWidget*>(mView.renderWidget());
        // The picture itself is 800 x 600; the legend box sits under it.
        if (mGl) mGl->setFixedSize(800, 600);
        QApplication::processEvents();
    }
    bool usable() const { return mGl != nullptr; }
    mvx::View3D& view() { return mView; }
    // Frames the drawing as the zoom to fit does (then `zoom` times closer), and draws outside
    // the timing until the whole drawing is on screen (a big one is prepared on a worker).
    void frameDrawing(double zoom)
    {
        const mvx::view3d::Extent e = mView.scene().drawingExtent();
        mView.scene().changeCamera([&e, zoom](mvx::view3d::Camera& c) {
            c.Target = e.Empty ? mvx::view3d::Vec3{} : e.centre();
            c.Position = c.Target + mvx::view3d::Vec3{2000.0, -3000.0, 2500.0};
            c.zoomToFit(e.Empty ? 100.0 : e.largestSpan());
            c.adjustDistanceToTarget(1.0 / zoom);
        });
        frame(0);
        while (mView.drawingPending()) {
            QApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
            frame(0);
        }
    }
    // One frame after a camera change.
    void frame(int i)
    {
        mView.scene().changeCamera([i](mvx::view3d::Camera& c) { c.moveAroundTarget(0.0, i % 2 ? 0.5 : -0.5); });
        const QImage img = mGl->grabFramebuffer();
        benchmark::DoNotOptimize(img.constBits());
    }

private:
    mvx::View3D mView;
    QOpenGLWidget* mGl = nullptr;
};

std::unique_ptr<Viewer> gViewer;
double gEmptyMs = 0.0;

void Redraw(benchmark::State& state, const std::function<void(mvx::View3D&)>& fill, double zoom = 1.0,
            bool reference = false)
{
    if (!gViewer->usable()) {
        state.SkipWithError("no OpenGL context (run under xvfb-run)");
        return;
    }
    gViewer->view().ClearJobDrawings();
    fill(gViewer->view());
    gViewer->frameDrawing(zoom);
    int i = 0;
    double total = 0.0;
    for (auto _ : state) {
        const auto t0 = std::chrono::steady_clock::now();
        gViewer->frame(++i);
        total += std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0).count();
    }
    const double ms = state.iterations() ? total / static_cast<double>(state.iterations()) : 0.0;
    if (reference) gEmptyMs = ms;
    state.counters["x_empty"] = gEmptyMs > 0.0 ? ms / gEmptyMs : 0.0;
}

void BM_RedrawEmpty(benchmark::State& state)
{
    Redraw(state, [](mvx::View3D&) {}, 1.0, true);
}

void BM_RedrawJobPath1M(benchmark::State& state)
{
    const std::vector<mvx::PathSegment>& path = JobPath();
    Redraw(state, [&path](mvx::View3D& v) { v.SetJobPath(path, {0.0, 0.0, 0.0}); }, static_cast<double>(state.range(0)));
    state.counters["segments"] = static_cast<double>(path.size());
}

void BM_RedrawSct1M(benchmark::State& state)
{
    const mvx::sct::Ttraject& list = SctList();
    Redraw(state, [&list](mvx::View3D& v) { v.DrawSct(list, {0.0, 0.0, 0.0}); }, static_cast<double>(state.range(0)));
    state.counters["segments"] = static_cast<double>(DrawnSegments(gViewer->view().scene()));
}

// The paints after the job path was set, as the program makes them (an update request, the
// event loop running), until the whole picture is on screen. A 5 ms timer runs meanwhile: its
// worst lateness is the longest time the window's thread was held.
void BM_FirstPaintJobPath1M(benchmark::State& state)
{
    if (!gViewer->usable()) {
        state.SkipWithError("no OpenGL context (run under xvfb-run)");
        return;
    }
    const std::vector<mvx::PathSegment>& path = JobPath();
    mvx::View3D& view = gViewer->view();
    auto* gl = qobject_cast<QOpenGLWidget*>(view.renderWidget());
    using Clock = std::chrono::steady_clock;
    const auto ms = [](Clock::duration d) { return std::chrono::duration<double, std::milli>(d).count(); };
    double ready = 0.0, worst = 0.0;
    // The camera frames the whole path, as in the redraws.
    view.SetJobPath(path, {0.0, 0.0, 0.0});
    gViewer->frameDrawing(1.0);
    for (auto _ : state) {
        state.PauseTiming();
        view.ClearJobDrawings();
        gViewer->frame(0);
        // The conversion hands its skeleton over made, as the job road does.
        auto nodes = std::make_shared<mvx::view3d::SkeletonNodes>(mvx::view3d::MakeSkeleton(path, {}));
        QApplication::processEvents();
        state.ResumeTiming();
        const Clock::time_point t0 = Clock::now();
        bool shown = false;
        const QMetaObject::Connection swapped =
            QObject::connect(gl, &QOpenGLWidget::frameSwapped, [&] { shown = !view.drawingPending(); });
        QTimer timer;
        Clock::time_point last = t0;
        QObject::connect(&timer, &QTimer::timeout, [&] {
            const Clock::time_point now = Clock::now();
            worst = std::max(worst, ms(now - last) - 5.0);
            last = now;
        });
        timer.start(5);
        view.ShowJobSkeleton(std::move(nodes));
        while (!shown) QApplication::processEvents(QEventLoop::WaitForMoreEvents);
        QObject::disconnect(swapped);
        worst = std::max(worst, ms(Clock::now() - last) - 5.0);
        ready += ms(Clock::now() - t0);
    }
    const double n = std::max<double>(1.0, static_cast<double>(state.iterations()));
    state.counters["ready_ms"] = ready / n;
    state.counters["worst_stall_ms"] = worst;
    state.counters["segments"] = static_cast<double>(path.size());
}

// The reference first: the others are given against it.
BENCHMARK(BM_RedrawEmpty)->Unit(benchmark::kMillisecond)->MinTime(2.0)->UseRealTime();
// Zoom 1: the whole drawing in the view; zoom 10: ten times closer to its centre.
BENCHMARK(BM_RedrawJobPath1M)->Arg(1)->Arg(10)->Unit(benchmark::kMillisecond)->MinTime(3.0)->UseRealTime();
BENCHMARK(BM_RedrawSct1M)->Arg(1)->Arg(10)->Unit(benchmark::kMillisecond)->MinTime(3.0)->UseRealTime();
BENCHMARK(BM_FirstPaintJobPath1M)->Unit(benchmark::kMillisecond)->Iterations(5)->UseRealTime();

}  // namespace

int main(int argc, char** argv)
{
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "xcb");
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    gViewer = std::make_unique<Viewer>();
    benchmark::RunSpecifiedBenchmarks();
    gViewer.reset();
    benchmark::Shutdown();
    return 0;
}
