// The OpenGL renderer on a real context (Mesa under xvfb-run): a small path is drawn into the
// frame buffer, saved as a PNG and checked not to be blank. Skips when no GL context can be made.
#include "mainwindow/view3d.h"

#include "translator/observer.h"

#include <QDir>
#include <QImage>
#include <QOpenGLWidget>
#include <QTest>

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

#include <sched.h>
#include <set>

using namespace mvx;
using namespace mvx::view3d;

namespace {

PathSegment piece(std::array<double, 3> a, std::array<double, 3> b, bool working)
{
    PathSegment s;
    s.Start = a;
    s.End = b;
    s.Working = working;
    return s;
}

QRgb storedToRgb(long long bgr) { return qRgb(bgr & 0xFF, (bgr >> 8) & 0xFF, (bgr >> 16) & 0xFF); }

int pixelsDifferingFrom(const QImage& img, QRgb background)
{
    int n = 0;
    for (int y = 0; y < img.height(); ++y)
        for (int x = 0; x < img.width(); ++x)
            if ((img.pixel(x, y) & 0xFFFFFF) != (background & 0xFFFFFF)) ++n;
    return n;
}

class View3DGl : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (!View3D::GlAvailable()) GTEST_SKIP() << "no OpenGL context on this platform";
        view = std::make_unique<View3D>();
        // The renderer comes with the first show: no OpenGL driver is loaded before.
        EXPECT_FALSE(view->usesGl());
        view->resize(480, 360);
        view->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(view.get()));
        ASSERT_TRUE(view->usesGl());
    }
    void drawSquarePath()
    {
        Scene3D& s = view->scene();
        std::vector<PathSegment> path = {piece({0, 0, 0}, {10, 0, 0}, false), piece({10, 0, 0}, {60, 0, 0}, true),
                                         piece({60, 0, 0}, {60, 50, 0}, true), piece({60, 50, 0}, {10, 50, -5}, true),
                                         piece({10, 50, -5}, {0, 0, 0}, false)};
        view->SetJobPath(path, {0, 0, 0});
        for (const PathSegment& p : path) {
            const int id = s.addSctItem();
            s.drawSctItem(id, {Vec3::from(p.Start), Vec3::from(p.End)}, false);
        }
        for (int i = 0; i <= 40; ++i) view->AddExecutedPoint({60.0, 1.25 * i, 0.0}, i % 2 == 0);
        view->SetToolPosition({60, 50, 0}, true);
        const Extent e = s.drawingExtent();
        s.changeCamera([&](Camera& c) {
            const Vec3 offset = c.Position - c.Target;
            c.Target = e.centre();
            c.Position = c.Target + offset;
            c.zoomToFit(e.largestSpan());
        });
    }
    // A zigzag of `pieces` working moves across a 60 x 50 field shifted by `dx`: more than the
    // view builds on the window's thread.
    static std::vector<PathSegment> bigPath(int pieces, double dx)
    {
        std::vector<PathSegment> path;
        path.reserve(static_cast<std::size_t>(pieces));
        std::array<double, 3> at{dx, 0, 0};
        for (int i = 0; i < pieces; ++i) {
            const double row = 50.0 * (i / 500) / (pieces / 500 + 1);
            const std::array<double, 3> next{dx + 60.0 * ((i % 500) + 1) / 500.0 * ((i / 500) % 2 ? -1 : 1) + ((i / 500) % 2 ? 60.0 : 0.0),
                                             row + ((i % 2) ? 0.05 : 0.0), 0};
            path.push_back(piece(at, next, true));
            at = next;
        }
        return path;
    }
    void frame(double xMin, double xMax)
    {
        view->scene().changeCamera([&](Camera& c) {
            c.Target = {(xMin + xMax) / 2, 25, 0};
            c.Position = c.Target + Vec3{0, 0, 100};
            c.zoomToFit(xMax - xMin);
        });
    }
    static int pixelsOf(const QImage& img, const Rgba& c)
    {
        const QRgb want = qRgb(qRound(c.r * 255), qRound(c.g * 255), qRound(c.b * 255)) & 0xFFFFFF;
        int n = 0;
        for (int y = 0; y < img.height(); ++y)
            for (int x = 0; x < img.width(); ++x) n += (img.pixel(x, y) & 0xFFFFFF) == want;
        return n;
    }
    // Orange pixels (the working line) left and right of the picture's middle.
    std::pair<int, int> workingPixels(const QImage& img)
    {
        const int half = img.width() / 2;
        return {pixelsOf(img.copy(0, 0, half, img.height()), kOrange),
                pixelsOf(img.copy(half, 0, img.width() - half, img.height()), kOrange)};
    }
    std::unique_ptr<View3D> view;
};

TEST_F(View3DGl, BigSkeletonIsDrawnOnceItsCoarseCopiesAreBuilt)
{
    frame(0, 60);
    const QImage empty = view->grabPicture();
    view->SetJobPath(bigPath(60000, 0), {0, 0, 0});
    // The paint starts the build and draws the rest: nothing of the path yet.
    EXPECT_EQ(view->grabPicture(), empty);
    EXPECT_TRUE(view->drawingPending());
    // The build's end repaints by itself.
    ASSERT_TRUE(QTest::qWaitFor([&] { return !view->drawingPending(); }, 5000));
    const QImage ready = view->grabPicture();
    EXPECT_GT(pixelsOf(ready, kOrange), 2000);

    // The same strips with another node size: no new build, the same lines.
    view->scene().setNodeSize(view->scene().nodeSize());
    EXPECT_EQ(view->grabPicture(), ready);
    EXPECT_FALSE(view->drawingPending());
}

TEST_F(View3DGl, ADrawingReplacedWhileItsBuildIsPendingNeverShows)
{
    frame(0, 120);
    const QImage empty = view->grabPicture();

    // Cleared before the build ended: nothing drawn, now or when the build ends.
    view->SetJobPath(bigPath(60000, 0), {0, 0, 0});
    (void)view->grabPicture();
    ASSERT_TRUE(view->drawingPending());
    view->ClearJobDrawings();
    EXPECT_EQ(view->grabPicture(), empty);
    EXPECT_FALSE(view->drawingPending());
    QTest::qWait(500);
    EXPECT_EQ(view->grabPicture(), empty);

    // Replaced by another path (the left half, then the right half): only the newer shows.
    view->SetJobPath(bigPath(60000, 0), {0, 0, 0});
    (void)view->grabPicture();
    view->SetJobPath(bigPath(60000, 60), {60, 0, 0});
    (void)view->grabPicture();
    ASSERT_TRUE(QTest::qWaitFor([&] { return !view->drawingPending(); }, 5000));
    QTest::qWait(300);
    const auto [left, right] = workingPixels(view->grabPicture());
    EXPECT_EQ(left, 0);
    EXPECT_GT(right, 1000);

    // A view gone while its build runs: the result is dropped, nothing touches the view.
    view->SetJobPath(bigPath(60000, 0), {0, 0, 0});
    (void)view->grabPicture();
    view.reset();
    QTest::qWait(300);
}

// Share of the pixels lit in `c` between the first and the last one, and that length.
std::pair<double, int> dashShare(const QImage& img, const Rgba& c)
{
    const QRgb want = qRgb(qRound(c.r * 255), qRound(c.g * 255), qRound(c.b * 255)) & 0xFFFFFF;
    int lit = 0, lo = img.width(), hi = -1;
    for (int y = 0; y < img.height(); ++y)
        for (int x = 0; x < img.width(); ++x)
            if ((img.pixel(x, y) & 0xFFFFFF) == want) {
                ++lit;
                lo = std::min(lo, x);
                hi = std::max(hi, x);
            }
    return {hi >= lo ? double(lit) / (hi - lo + 1) : 0.0, hi - lo + 1};
}

TEST_F(View3DGl, SkeletonLinesAreDashedEvenWhenTheirPiecesAreShorterThanAPixel)
{
    frame(0, 60);
    // Nodes far under a pixel are not drawn: only the lines show.
    view->scene().setNodeSize(0.001);
    // A positioning line in one piece, and a working line of 2,400 pieces of a fifth of a
    // pixel each, both across the picture.
    std::vector<PathSegment> path = {piece({0, 30, 0}, {60, 30, 0}, false)};
    for (int i = 0; i < 2400; ++i) path.push_back(piece({i * 0.025, 20, 0}, {(i + 1) * 0.025, 20, 0}, true));
    view->SetJobPath(path, {0, 30, 0});
    const QImage img = view->grabPicture();
    for (const Rgba& c : {kYellow, kOrange}) {
        const auto [share, length] = dashShare(img, c);
        EXPECT_GT(length, 150);
        EXPECT_GT(share, 0.35);
        EXPECT_LT(share, 0.65);
    }

    // A scribble of 20,000 pieces under a pixel that no coarse copy can merge, as a CAM path
    // seen whole: it shows (a pattern that starts again at every piece would draw none of it).
    std::vector<PathSegment> scribble;
    std::uint32_t seed = 12345;
    std::array<double, 3> at{30, 25, 0};
    for (int i = 0; i < 20000; ++i) {
        seed = seed * 1664525u + 1013904223u;
        const double angle = (seed >> 8) * (6.283185307 / 16777216.0);
        const std::array<double, 3> next{at[0] + 0.06 * std::cos(angle), at[1] + 0.06 * std::sin(angle), 0};
        scribble.push_back(piece(at, next, true));
        at = next;
    }
    view->SetJobPath(scribble, {30, 25, 0});
    EXPECT_GT(pixelsOf(view->grabPicture(), kOrange), 100);
}

// A random walk in 3D that no coarse copy can merge, seen slanted: pieces in front of and behind
// each other, an SCT drawing on its last part (drawn first, far from it in drawing order: the
// working line is drawn over it where their depths tie) and long positioning moves across it.
void drawTangle(View3D& v, int pieces)
{
    std::vector<PathSegment> path;
    std::uint32_t seed = 777;
    auto next = [&seed] {
        seed = seed * 1664525u + 1013904223u;
        return (seed >> 8) / 16777216.0;
    };
    std::array<double, 3> at{30, 25, 0};
    for (int i = 0; i < pieces; ++i) {
        const double angle = next() * 6.283185307;
        std::array<double, 3> to{at[0] + 0.4 * std::cos(angle), at[1] + 0.4 * std::sin(angle), at[2] + next() - 0.5};
        to = {std::clamp(to[0], 0.0, 60.0), std::clamp(to[1], 0.0, 50.0), std::clamp(to[2], -10.0, 10.0)};
        path.push_back(piece(at, to, i % 5000 != 0));
        at = to;
    }
    for (int i = 0; i < 20; ++i) path.push_back(piece({0, 2.5 * i, 10}, {60, 50 - 2.5 * i, -10}, false));
    v.scene().setNodeSize(0.001);
    v.SetJobPath(path, {30, 25, 0});
    for (int i = 0; i < 3000; ++i) {
        const int id = v.scene().addSctItem();
        const PathSegment& p = path[static_cast<std::size_t>(pieces - 3000 + i)];
        v.scene().drawSctItem(id, {Vec3::from(p.Start), Vec3::from(p.End)}, false);
    }
    v.scene().changeCamera([](Camera& c) {
        c.Target = {30, 25, 0};
        c.Position = c.Target + Vec3{-40, -70, 60};
        c.zoomToFit(70);
    });
}

int threadsOfThisProcess() { return static_cast<int>(QDir("/proc/self/task").entryList(QDir::Dirs | QDir::NoDotAndDotDot).size()); }

TEST_F(View3DGl, LinesDrawnOnHelperContextsMakeThePictureOneContextMakes)
{
    // A view made while this thread may run on one core only draws alone; one made with all the
    // cores draws big frames' lines on helper contexts where the renderer is a software one.
    cpu_set_t all;
    ASSERT_EQ(sched_getaffinity(0, sizeof all, &all), 0);
    auto picture = [&all](bool oneCore, int& madeThreads) {
        if (oneCore) {
            cpu_set_t one;
            CPU_ZERO(&one);
            for (int c = 0; c < CPU_SETSIZE; ++c)
                if (CPU_ISSET(c, &all)) {
                    CPU_SET(c, &one);
                    break;
                }
            EXPECT_EQ(sched_setaffinity(0, sizeof one, &one), 0);
        }
        const int before = threadsOfThisProcess();
        View3D v;
        v.resize(480, 360);
        v.show();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(&v));
        madeThreads = threadsOfThisProcess() - before;
        EXPECT_EQ(sched_setaffinity(0, sizeof all, &all), 0);
        drawTangle(v, 60000);
        (void)v.grabPicture();
        EXPECT_TRUE(QTest::qWaitFor([&] { return !v.drawingPending(); }, 10000));
        return v.grabPicture();
    };
    int alone = 0, helped = 0;
    const QImage one = picture(true, alone);
    const QImage many = picture(false, helped);
    if (helped - alone < 2) GTEST_SKIP() << "no helper contexts here (a graphics card, or under four cores)";
    ASSERT_FALSE(one.isNull());
    EXPECT_GT(pixelsOf(one, kOrange), 5000);
    EXPECT_GT(pixelsOf(one, kYellow), 500);
    int differing = 0;
    for (int y = 0; y < one.height(); ++y)
        for (int x = 0; x < one.width(); ++x) differing += one.pixel(x, y) != many.pixel(x, y);
    EXPECT_EQ(differing, 0);
    if (differing) {
        one.save(QDir(MVX_TEST_OUTPUT_DIR).filePath("view3d_one_context.png"));
        many.save(QDir(MVX_TEST_OUTPUT_DIR).filePath("view3d_helper_contexts.png"));
    }
}

TEST_F(View3DGl, SmallPathIsDrawnIntoTheFrameBuffer)
{
    const QImage empty = view->grabPicture();
    ASSERT_FALSE(empty.isNull());
    const QRgb blue = storedToRgb(view->scene().background());
    // Only the axis arrows: most of the picture is the background.
    EXPECT_GT(empty.width() * empty.height() - pixelsDifferingFrom(empty, blue), empty.width() * empty.height() / 2);

    drawSquarePath();
    const QImage img = view->grabPicture();
    ASSERT_FALSE(img.isNull());
    const QString file = QDir(MVX_TEST_OUTPUT_DIR).filePath("view3d_small_path.png");
    ASSERT_TRUE(img.save(file)) << file.toStdString();
    const int drawn = pixelsDifferingFrom(img, blue);
    EXPECT_GT(drawn, 500) << "path pixels in " << file.toStdString();
    std::set<QRgb> colours;
    for (int y = 0; y < img.height(); y += 2)
        for (int x = 0; x < img.width(); x += 2) colours.insert(img.pixel(x, y) & 0xFFFFFF);
    EXPECT_GT(colours.size(), 4u);

    // A new background repaints the whole picture.
    view->applyBackground(0x000000, nullptr);
    const QImage black = view->grabPicture();
    EXPECT_EQ(black.pixel(2, 2) & 0xFFFFFF, 0u);
}

TEST_F(View3DGl, RepaintsOnlyWhenSomethingChanges)
{
    auto* gl = qobject_cast<QOpenGLWidget*>(view->renderWidget());
    ASSERT_NE(gl, nullptr);
    int frames = 0;
    QObject::connect(gl, &QOpenGLWidget::frameSwapped, [&] { ++frames; });
    QTest::qWait(300);
    frames = 0;
    QTest::qWait(300);
    EXPECT_EQ(frames, 0);  // idle: no timer-driven repaint
    view->scene().changeCamera([](Camera& c) { c.wheel(120); });
    EXPECT_TRUE(QTest::qWaitFor([&] { return frames > 0; }, 2000));
}

TEST_F(View3DGl, ZTimesTenStretchesTheDrawing)
{
    drawSquarePath();
    view->actions().showXY();
    const QImage flat = view->grabPicture();
    view->actions().toggleZ();
    const QImage tall = view->grabPicture();
    EXPECT_NE(flat, tall);
    view->actions().toggleZ();
    EXPECT_EQ(view->grabPicture(), flat);
}

}  // namespace
