// The OpenGL renderer on a real context (Mesa under xvfb-run): a small path is drawn into the
// frame buffer, saved as a PNG and checked not to be blank. Skips when no GL context can be made.
#include "mainwindow/view3d.h"

#include "translator/observer.h"

#include <QDir>
#include <QImage>
#include <QOpenGLWidget>
#include <QTest>

#include <gtest/gtest.h>

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
    std::unique_ptr<View3D> view;
};

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
