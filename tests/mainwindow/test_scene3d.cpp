// The 3D scene model without a GL context: camera rules, drawings, pop-up commands, settings.
#include "mainwindow/scene3d.h"
#include "mainwindow/scene3d_lod.h"
#include "mainwindow/scene3d_menu.h"
#include "mainwindow/scene3d_sct.h"
#include "mainwindow/scene3d_mouse.h"
#include "mainwindow/view3d.h"

#include "app/dialogs.h"
#include "core/inifile.h"
#include "translator/observer.h"
#include "translator/sctconvert.h"

#include <QAction>
#include <QLineEdit>
#include <QMenu>
#include <QApplication>
#include <QTemporaryDir>
#include <QTest>
#include <QWheelEvent>

#include <gtest/gtest.h>

#include <cmath>
#include <random>

using namespace mvx;
using namespace mvx::view3d;

namespace {

constexpr double kTol = 1e-9;

void expectNear(const Vec3& a, const Vec3& b, double tol = 1e-6)
{
    EXPECT_NEAR(a.x, b.x, tol);
    EXPECT_NEAR(a.y, b.y, tol);
    EXPECT_NEAR(a.z, b.z, tol);
}

PathSegment segment(std::array<double, 3> a, std::array<double, 3> b, bool working)
{
    PathSegment s;
    s.Start = a;
    s.End = b;
    s.Working = working;
    return s;
}

// The pieces of a line as point pairs, strip after strip.
std::vector<Point3f> Pairs(const LineStrips& line)
{
    std::vector<Point3f> out;
    for (std::size_t k = 0; k < line.Starts.size(); ++k)
        for (std::size_t i = line.Starts[k] + 1; i < line.stripEnd(k); ++i) {
            out.push_back(line.Points[i - 1]);
            out.push_back(line.Points[i]);
        }
    return out;
}

// The pieces the renderer draws at one level, as point pairs, chunk after chunk.
std::vector<Point3f> LevelPairs(const LineLod& lod, int level)
{
    std::vector<Point3f> out;
    for (const LineLod::Chunk& c : lod.chunks()) {
        const VertexRange strips = c.Levels[static_cast<std::size_t>(level)];
        for (std::uint32_t s = strips.First; s < strips.First + strips.Count; ++s) {
            const VertexRange r = lod.strips()[s];
            for (std::uint32_t i = r.First + 1; i < r.First + r.Count; ++i) {
                out.push_back(lod.vertices()[i - 1]);
                out.push_back(lod.vertices()[i]);
            }
        }
    }
    return out;
}

struct WheelRow {
    int delta;
    double factor;
};

class CameraWheel : public ::testing::TestWithParam<WheelRow> {};

TEST_P(CameraWheel, ScalesDistancePerNotch)
{
    Scene3D scene;
    MouseNavigator mouse(scene);
    mouse.setPageActive([] { return true; });
    const Vec3 target = scene.camera().Target;
    const double before = scene.camera().distanceToTarget();
    EXPECT_TRUE(mouse.wheel(GetParam().delta));
    EXPECT_NEAR(scene.camera().distanceToTarget() / before, GetParam().factor, 1e-12);
    expectNear(scene.camera().Target, target, kTol);
}

INSTANTIATE_TEST_SUITE_P(Rows, CameraWheel,
                         ::testing::Values(WheelRow{120, 1.1}, WheelRow{-240, 1.0 / 1.21}, WheelRow{360, 1.331},
                                           WheelRow{-120, 1.0 / 1.1}, WheelRow{60, std::sqrt(1.1)}),
                         [](const ::testing::TestParamInfo<WheelRow>& info) {
                             const int d = info.param.delta;
                             return (d < 0 ? "minus" : "plus") + std::to_string(d < 0 ? -d : d);
                         });

TEST(CameraWheel, DoesNothingOnAnotherPage)
{
    Scene3D scene;
    MouseNavigator mouse(scene);
    bool active = false;
    mouse.setPageActive([&] { return active; });
    const Camera before = scene.camera();
    EXPECT_FALSE(mouse.wheel(120));
    expectNear(scene.camera().Position, before.Position, 0.0);
    active = true;
    EXPECT_TRUE(mouse.wheel(120));
    EXPECT_NEAR(scene.camera().distanceToTarget(), before.distanceToTarget() * 1.1, 1e-9);
}

TEST(CameraFit, DistanceFollowsSpanScaleAndFocalLength)
{
    for (double start : {10.0, 4387.0, 99999.0}) {
        Camera c;
        c.Position = c.Target + normalized(Vec3{1, -2, 3}) * start;
        const Vec3 dir = normalized(c.Position - c.Target);
        ASSERT_TRUE(c.zoomToFit(100.0));
        EXPECT_NEAR(c.distanceToTarget(), 4541.96, 0.005) << "from distance " << start;
        expectNear(normalized(c.Position - c.Target), dir, 1e-12);
    }
    Camera c;
    c.SceneScale = 6.0;
    ASSERT_TRUE(c.zoomToFit(100.0));
    EXPECT_NEAR(c.distanceToTarget(), 2 * 4541.96, 0.01);
    const Vec3 p = c.Position;
    EXPECT_FALSE(c.zoomToFit(0.0));
    EXPECT_FALSE(c.zoomToFit(-3.0));
    expectNear(c.Position, p, 0.0);
}

TEST(CameraFit, BothButtonsFitTheDrawingOnceAJobIsConverted)
{
    Scene3D scene;
    scene.setSkeleton({segment({0, 0, 0}, {100, 20, 0}, true), segment({100, 20, 0}, {40, 60, -5}, false)}, {});
    MouseNavigator mouse(scene);
    int tclLines = 2;
    mouse.setTclLineCount([&] { return tclLines; });
    const double before = scene.camera().distanceToTarget();
    mouse.press(10, 10, {true, true, false}, false, false);
    EXPECT_DOUBLE_EQ(scene.camera().distanceToTarget(), before);  // not enough TCL lines
    tclLines = 3;
    mouse.press(10, 10, {true, false, false}, false, false);
    EXPECT_DOUBLE_EQ(scene.camera().distanceToTarget(), before);  // one button only
    mouse.press(10, 10, {true, true, false}, false, false);
    EXPECT_NEAR(scene.camera().distanceToTarget(), 4541.96, 0.005);  // span 100 over X
}

TEST(CameraMouse, LeftTurnsAroundTargetRightPans)
{
    Scene3D scene;
    MouseNavigator mouse(scene);
    const Camera c0 = scene.camera();
    mouse.press(100, 100, {true, false, false}, false, false);
    mouse.move(130, 90, {true, false, false});
    EXPECT_NEAR(scene.camera().distanceToTarget(), c0.distanceToTarget(), 1e-6);
    expectNear(scene.camera().Target, c0.Target, kTol);
    EXPECT_GT((scene.camera().Position - c0.Position).length(), 1.0);

    const Camera c1 = scene.camera();
    mouse.press(100, 100, {false, true, false}, false, false);
    mouse.move(110, 100, {false, true, false});  // mouse right: dx = -10
    const Vec3 moved = scene.camera().Target - c1.Target;
    expectNear(scene.camera().Position - c1.Position, moved, 1e-9);
    const double ratio = c1.distanceToTarget() * 0.12 / (Camera::kFocalLength * Camera::kDesignSceneScale);
    EXPECT_NEAR(moved.length(), 10 * ratio, 1e-9);
    EXPECT_NEAR(dot(normalized(moved), c1.right()), -1.0, 1e-9);
}

TEST(CameraMouse, DoubleClickWithoutMoveOpensTheMenu)
{
    Scene3D scene;
    MouseNavigator mouse(scene);
    mouse.press(5, 5, {true, false, false}, true, false);
    EXPECT_TRUE(mouse.release(true));
    mouse.press(5, 5, {true, false, false}, true, false);
    mouse.move(6, 5, {true, false, false});
    EXPECT_FALSE(mouse.release(true));
    mouse.press(5, 5, {true, false, false}, false, false);
    EXPECT_FALSE(mouse.release(true));
}

TEST(CameraShowXY, LooksDownZWithYUp)
{
    Scene3D scene;
    const double len = scene.camera().Position.length();
    PopupActions menu(scene, {});
    menu.showXY();
    expectNear(scene.camera().Up, {0, 1, 0}, 0.0);
    expectNear(scene.camera().Position, {0, 0, len}, 1e-9);
    expectNear(scene.camera().right(), {1, 0, 0}, 1e-12);
}

TEST(CameraShowXY, ARestoredCameraStraightAboveItsTargetStillTurns)
{
    // Show XY, then exit and start again: the up vector is not stored and comes back as Z.
    Camera c;
    c.Target = {};
    c.Position = {0, 0, 500};
    c.Up = {0, 0, 1};
    for (double v : c.viewMatrix()) EXPECT_TRUE(std::isfinite(v));
    EXPECT_NEAR(c.right().length(), 1.0, 1e-12);
    c.moveAroundTarget(10, 20);
    EXPECT_GT(std::abs(c.Position.x) + std::abs(c.Position.y), 1.0);
    EXPECT_NEAR(c.distanceToTarget(), 500, 1e-9);
}

TEST(SceneDecor, ZTimesTenTwiceReturnsToOne)
{
    Scene3D scene;
    PopupActions menu(scene, {});
    EXPECT_EQ(scene.zScale(), 1.0);
    menu.toggleZ();
    EXPECT_EQ(scene.zScale(), 10.0);
    menu.toggleZ();
    EXPECT_EQ(scene.zScale(), 1.0);
}

TEST(SceneDecor, ArrowGeometryFollowsArrowSize)
{
    Scene3D scene;
    scene.setArrowSize(2.5);
    const auto a = scene.arrows();
    expectNear(a[0].Position, {1.0, 0, 0}, kTol);
    expectNear(a[1].Position, {0, 1.0, 0}, kTol);
    expectNear(a[2].Position, {0, 0, 1.0}, kTol);
    for (const Arrow& arrow : a) expectNear(arrow.Scale, {1.0, 1.0, 2.5}, kTol);
    EXPECT_EQ(a[0].Color, kRed);   // X:Red
    EXPECT_EQ(a[1].Color, kBlue);  // Y:Blue
    EXPECT_EQ(a[2].Color, kGreen); // Z:Green
}

TEST(SceneDecor, LegendShowsArrowSizeWithNbDigit)
{
    EXPECT_EQ(LegendText(1.0, 4), "    X:Red Y:Blue Z:Green   Size= 1.0000");
    EXPECT_EQ(LegendText(0.125, 2), "    X:Red Y:Blue Z:Green   Size= 0.13");
}

TEST(SceneDrawings, ExecutedPathColoursSizesAndCone)
{
    Scene3D scene;
    EXPECT_EQ(scene.executedActive().Color, kWhite);
    EXPECT_EQ(scene.executedInactive().Color, kGreen);
    EXPECT_EQ(scene.executedActive().Size, 2.f);
    scene.addExecutedPoint({1, 2, 3}, true);
    EXPECT_EQ(scene.cone().Emission, kRed);
    scene.addExecutedPoint({4, 5, 0}, false);
    EXPECT_EQ(scene.cone().Emission, kGreen);
    ASSERT_EQ(scene.executedActive().Points.size(), 1u);
    ASSERT_EQ(scene.executedInactive().Points.size(), 1u);
    EXPECT_EQ(scene.executedInactive().Points[0], (Point3f{4, 5, 0}));
    scene.setToolPosition({7, 8, 9}, true);
    EXPECT_TRUE(scene.cone().Visible);
    expectNear(scene.cone().Tip, {7, 8, 9}, 0.0);
    EXPECT_DOUBLE_EQ(scene.cone().Height, 5.0);
    PopupActions menu(scene, {});
    menu.eraseExecuted();
    EXPECT_TRUE(scene.executedActive().Points.empty());
    EXPECT_TRUE(scene.executedInactive().Points.empty());
}

TEST(SceneDrawings, SkeletonsSplitByMoveKindWithTheirPatterns)
{
    Scene3D scene;
    EXPECT_EQ(scene.skeletonPositioning().Pattern, 0x5555);
    EXPECT_EQ(scene.skeletonWorking().Pattern, 0xAAAA);
    // The path starts at (0,0,0) but the first piece at (10,0,0): the approach is drawn too.
    scene.setSkeleton({segment({10, 0, 0}, {20, 0, 0}, true), segment({20, 0, 0}, {20, 5, 0}, false)}, {});
    EXPECT_EQ(scene.skeletonWorking().strips().pieceCount(), 1u);
    EXPECT_EQ(Pairs(scene.skeletonPositioning().strips()),
              (std::vector<Point3f>{{0, 0, 0}, {10, 0, 0}, {20, 0, 0}, {20, 5, 0}}));
    scene.setNodeSize(0.5);
    EXPECT_DOUBLE_EQ(scene.skeletonPositioning().NodeSize, 0.5);
    EXPECT_DOUBLE_EQ(scene.skeletonWorking().NodeSize, 0.5);
    const Extent e = scene.drawingExtent();
    EXPECT_DOUBLE_EQ(e.largestSpan(), 20.0);
    PopupActions(scene, {}).eraseSkeletons();
    EXPECT_TRUE(scene.skeletonPositioning().strips().empty());
    EXPECT_TRUE(scene.drawingExtent().Empty);
}

// Each line keeps its pieces as strips: a piece that starts where the line's previous piece
// ended shares that point, any other begins a new strip. Read back as pairs, the pieces are
// the ones the conversion made, in its order.
struct StripRow {
    const char* name;
    std::vector<PathSegment> path;
    std::size_t workingStrips, positioningStrips;
};
void PrintTo(const StripRow& r, std::ostream* os) { *os << r.name; }

class SkeletonStrips : public ::testing::TestWithParam<StripRow> {};

TEST_P(SkeletonStrips, KeepEveryPieceOnceAndBreakWhereTheLineJumps)
{
    const StripRow& row = GetParam();
    const Vec3 start{1, 1, 0};
    std::vector<Point3f> working, positioning;
    auto pair = [](std::vector<Point3f>& line, const std::array<double, 3>& a, const std::array<double, 3>& b) {
        line.push_back({float(a[0]), float(a[1]), float(a[2])});
        line.push_back({float(b[0]), float(b[1]), float(b[2])});
    };
    if (!row.path.empty() && !(Vec3::from(row.path.front().Start) == start))
        pair(positioning, {start.x, start.y, start.z}, row.path.front().Start);
    for (const PathSegment& s : row.path) pair(s.Working ? working : positioning, s.Start, s.End);

    Scene3D scene;
    scene.setSkeleton(row.path, start);
    const LineStrips& w = scene.skeletonWorking().strips();
    const LineStrips& p = scene.skeletonPositioning().strips();
    EXPECT_EQ(Pairs(w), working);
    EXPECT_EQ(Pairs(p), positioning);
    EXPECT_EQ(w.Starts.size(), row.workingStrips);
    EXPECT_EQ(p.Starts.size(), row.positioningStrips);
    EXPECT_EQ(w.pieceCount() * 2, working.size());
    for (const LineStrips* line : {&w, &p})
        for (std::size_t k = 0; k < line->Starts.size(); ++k) EXPECT_GE(line->stripEnd(k) - line->Starts[k], 2u);
    // The renderer draws the same pieces.
    EXPECT_EQ(LevelPairs(LineLod::FromStrips(w), 0), working);
    EXPECT_EQ(LevelPairs(LineLod::FromStrips(p), 0), positioning);
}

INSTANTIATE_TEST_SUITE_P(
    Paths, SkeletonStrips,
    ::testing::Values(
        StripRow{"empty", {}, 0, 0},
        // The first move leaves from where the tool stands: no approach piece.
        StripRow{"positioning_from_the_start", {segment({1, 1, 0}, {5, 1, 0}, false), segment({5, 1, 0}, {5, 5, 0}, false)}, 0, 1},
        // The approach and a first positioning move from its end are one strip.
        StripRow{"approach_then_positioning", {segment({2, 2, 0}, {5, 1, 0}, false), segment({5, 1, 0}, {9, 9, 1}, true)}, 1, 1},
        // The approach ends where the first cut begins: the cut is on the other line.
        StripRow{"approach_then_cut", {segment({0, 0, 0}, {3, 0, 0}, true), segment({3, 0, 0}, {3, 4, 0}, true)}, 1, 1},
        // Cuts, a jump, cuts again from elsewhere: the working line breaks, twice.
        StripRow{"cut_jump_cut",
                 {segment({1, 1, 0}, {4, 1, 0}, true), segment({4, 1, 0}, {4, 3, 0}, true), segment({4, 3, 0}, {8, 8, 5}, false),
                  segment({8, 8, 5}, {8, 8, 0}, false), segment({8, 8, 0}, {9, 8, 0}, true), segment({7, 7, 0}, {6, 6, 0}, true)},
                 3, 1},
        // A piece of no length is kept (its nodes are drawn), and so is a piece back over the last.
        StripRow{"zero_length_and_back",
                 {segment({1, 1, 0}, {1, 1, 0}, true), segment({1, 1, 0}, {2, 1, 0}, true), segment({2, 1, 0}, {1, 1, 0}, true)},
                 1, 0}),
    [](const ::testing::TestParamInfo<StripRow>& info) { return std::string(info.param.name); });

TEST(SceneDrawings, ErasedSkeletonsStartAfreshAndAnEmptyOneDrawsNothing)
{
    const std::vector<PathSegment> path = {segment({0, 0, 0}, {4, 0, 0}, true), segment({4, 0, 0}, {4, 4, 0}, true),
                                           segment({4, 4, 0}, {0, 9, 0}, false)};
    Scene3D fresh;
    fresh.setSkeleton(path, {});
    Scene3D scene;
    scene.setSkeleton({segment({5, 5, 5}, {6, 6, 6}, true), segment({1, 1, 1}, {0, 4, 0}, false)}, {2, 2, 2});
    PopupActions(scene, {}).eraseSkeletons();
    EXPECT_TRUE(scene.skeletonWorking().strips().empty());
    EXPECT_TRUE(scene.skeletonPositioning().strips().Starts.empty());
    EXPECT_TRUE(LineLod::FromStrips(scene.skeletonWorking().strips()).empty());
    // Nothing of the erased skeleton is left to join the next one.
    scene.setSkeleton(path, {});
    EXPECT_EQ(scene.skeletonWorking().strips(), fresh.skeletonWorking().strips());
    EXPECT_EQ(scene.skeletonPositioning().strips(), fresh.skeletonPositioning().strips());
    EXPECT_DOUBLE_EQ(scene.drawingExtent().largestSpan(), 9.0);
    scene.setSkeleton(std::vector<PathSegment>{}, {3, 3, 3});
    EXPECT_TRUE(scene.skeletonWorking().strips().empty());
    EXPECT_TRUE(scene.skeletonPositioning().strips().empty());
    EXPECT_TRUE(scene.drawingExtent().Empty);
}

TEST(SceneDrawings, SctNodesMoveInPlaceAndOneElementIsCurrent)
{
    Scene3D scene;
    const int a = scene.addSctItem();
    const int b = scene.addSctItem();
    scene.drawSctItem(a, {{0, 0, 0}, {1, 0, 0}}, false);
    scene.drawSctItem(b, {{1, 0, 0}, {1, 1, 0}}, true);
    const std::uint32_t firstA = scene.sctItems()[a].First;
    scene.drawSctItem(a, {{0, 0, 1}, {2, 0, 1}}, true);  // same count: in place
    EXPECT_EQ(scene.sctItems()[a].First, firstA);
    EXPECT_TRUE(scene.sctItems()[a].Current);
    EXPECT_FALSE(scene.sctItems()[b].Current);
    scene.drawSctItem(b, {{1, 0, 0}, {1, 0.5, 0}, {1, 1, 0}, {1, 2, 0}}, false);  // rebuilt
    EXPECT_EQ(scene.sctItems()[b].Count, 4u);
    const SctItem& ib = scene.sctItems()[b];
    EXPECT_EQ(scene.sctPoints()[ib.First + 3], (Point3f{1, 2, 0}));
    EXPECT_EQ(Scene3D::kSctMarker, kBlue);
    EXPECT_EQ(Scene3D::kSctCurrentMarker, kWhite);
    EXPECT_EQ(Scene3D::kSctLine, kGrey);
    EXPECT_DOUBLE_EQ(Scene3D::kCurrentNodeScale, 1.2);
    EXPECT_EQ(scene.currentSctItem(), a);
    scene.eraseAllSctItems();
    EXPECT_EQ(scene.sctItems()[b].Count, 0u);
    EXPECT_EQ(scene.currentSctItem(), -1);
    EXPECT_TRUE(scene.drawingExtent().Empty);
    EXPECT_EQ(scene.sctItems().size(), 2u);  // the items stay with their elements
}

TEST(SceneDrawings, DirectModeKeepsTheLastTwoExecutedPointsInTheirOrder)
{
    Scene3D scene;
    scene.keepLastTwoExecutedPoints();  // nothing yet
    for (int i = 0; i < 5; ++i) scene.addExecutedPoint({double(i), 0, 0}, i != 3);
    scene.keepLastTwoExecutedPoints();
    // The last two were point 3 (tool inactive) and point 4 (active).
    ASSERT_EQ(scene.executedInactive().Points.size(), 1u);
    ASSERT_EQ(scene.executedActive().Points.size(), 1u);
    EXPECT_EQ(scene.executedInactive().Points[0], (Point3f{3, 0, 0}));
    EXPECT_EQ(scene.executedActive().Points[0], (Point3f{4, 0, 0}));
    scene.addExecutedPoint({5, 0, 0}, true);
    scene.keepLastTwoExecutedPoints();
    ASSERT_EQ(scene.executedActive().Points.size(), 2u);
    EXPECT_TRUE(scene.executedInactive().Points.empty());
    scene.clearExecutedPath();
    scene.addExecutedPoint({7, 0, 0}, false);
    scene.keepLastTwoExecutedPoints();
    EXPECT_EQ(scene.executedInactive().Points.size(), 1u);
}

TEST(SceneDrawings, AHoldNotifiesOnceWhenItEnds)
{
    Scene3D scene;
    int calls = 0;
    scene.setChangeListener([&] { ++calls; });
    {
        const Scene3D::Hold outer(scene);
        {
            const Scene3D::Hold inner(scene);
            for (int i = 0; i < 100; ++i) scene.drawSctItem(scene.addSctItem(), {{0, 0, 0}, {1, 1, 1}}, false);
        }
        EXPECT_EQ(calls, 0);
    }
    EXPECT_EQ(calls, 1);
    const Scene3D::Hold idle(scene);
    (void)idle;
}

// The SCT list of a G-code program, built as the main window builds it.
sct::Ttraject BuildList(const std::vector<std::string>& lines)
{
    sct::Ttraject list;
    const sct::BuildResult r = sct::GCodeToElements(lines, MachineConfig{}, list);
    EXPECT_FALSE(r.Error) << r.Error.Text;
    return list;
}

TEST(SceneSct, EachElementIsOneItemDrawnFromTheStart)
{
    const sct::Ttraject list = BuildList({"G90", "G0 X10 Y0", "G1 X10 Y10 F100", "G2 X20 Y10 I5 J0", "M3", "G4 P1"});
    Scene3D scene;
    DrawSctList(scene, list, {1, 2, 3});
    const auto& items = scene.sctItems();
    ASSERT_EQ(items.size(), static_cast<std::size_t>(list.Count()));
    sct::Vec3 start{0.0, 0.0, 0.0};  // each element starts where the one before it ended
    for (std::size_t i = 0; i < items.size(); ++i) {
        SCOPED_TRACE(i);
        const sct::telement& e = list.At(i);
        const SctItem& item = items[i];
        EXPECT_EQ(item.Current, static_cast<long long>(i) == list.CurrentIndex());
        if (!e.IsMotion()) {
            EXPECT_EQ(item.Count, 1u);
        } else if (e.Kind == sct::ElementKind::Arc) {
            EXPECT_EQ(item.Count, 90u);  // 180 degrees
        } else {
            EXPECT_EQ(item.Count, 2u);
        }
        const Point3f& p = scene.sctPoints()[item.First];
        EXPECT_NEAR(p[0], start[0] + 1, 1e-4);
        EXPECT_NEAR(p[1], start[1] + 2, 1e-4);
        EXPECT_NEAR(p[2], start[2] + 3, 1e-4);
        start = sct::EndOf(e, start);
    }
    EXPECT_TRUE(items.back().Current);
    // Drawn again from elsewhere: the same items, their nodes moved in place.
    const std::vector<SctItem> before = items;
    DrawSctList(scene, list, {0, 0, 0});
    for (std::size_t i = 0; i < items.size(); ++i) EXPECT_EQ(items[i].First, before[i].First);
    const Extent e = scene.drawingExtent();
    EXPECT_NEAR(e.Min.x, 0.0, 1e-4);
    EXPECT_NEAR(e.Max.x, 20.0, 1e-4);
    EXPECT_NEAR(e.Max.y, 15.0, 1e-3);  // the clockwise half circle over its centre (15, 10)
}

// Distance from `p` to the pieces of one chunk's strips at one level.
double DistanceToPieces(const Point3f& p, const LineLod& lod, VertexRange strips)
{
    const auto& v = lod.vertices();
    double best = std::numeric_limits<double>::infinity();
    for (std::uint32_t s = strips.First; s < strips.First + strips.Count; ++s) {
        const VertexRange r = lod.strips()[s];
        for (std::uint32_t i = r.First; i + 1 < r.First + r.Count; ++i) {
            const Vec3 a{v[i][0], v[i][1], v[i][2]}, b{v[i + 1][0], v[i + 1][1], v[i + 1][2]}, q{p[0], p[1], p[2]};
            const Vec3 ab = b - a;
            const double len2 = dot(ab, ab);
            const double t = len2 > 0 ? std::clamp(dot(q - a, ab) / len2, 0.0, 1.0) : 0.0;
            best = std::min(best, (q - (a + ab * t)).length());
        }
    }
    return best;
}

// A CAM-like path: straight cuts and arcs cut into chords of 5 degrees, one chain.
LineStrips CamPath(int blocks)
{
    LineStrips path;
    std::mt19937 rnd(7);
    std::uniform_real_distribution<double> u(0.0, 1.0);
    Vec3 at{};
    auto piece = [&](const Vec3& to) {
        path.addPiece({float(at.x), float(at.y), float(at.z)}, {float(to.x), float(to.y), float(to.z)});
        at = to;
    };
    for (int b = 0; b < blocks; ++b) {
        if (u(rnd) < 0.5) {
            piece(at + Vec3{u(rnd) * 10 - 5, u(rnd) * 10 - 5, 0});
            continue;
        }
        const double r = 1 + 5 * u(rnd), a0 = 6.28 * u(rnd), sweep = 0.3 + 2.2 * u(rnd);
        const Vec3 c = at - Vec3{r * std::cos(a0), r * std::sin(a0), 0};
        const int n = int(std::ceil(sweep / 0.0873));
        for (int k = 1; k <= n; ++k) {
            const double a = a0 + sweep * k / n;
            piece(c + Vec3{r * std::cos(a), r * std::sin(a), 0});
        }
    }
    return path;
}

TEST(SceneLod, CoarseLevelsStayWithinTheirDeviationAndDropMostChords)
{
    const LineStrips path = CamPath(8000);
    ASSERT_GT(path.pieceCount(), 4 * LineLod::kChunkPieces);
    const LineLod lod = LineLod::FromStrips(path);
    ASSERT_FALSE(lod.empty());
    // Level 0 is the drawing itself, chunk after chunk; the one strip goes on across chunks.
    EXPECT_EQ(LevelPairs(lod, 0), Pairs(path));
    for (const LineLod::Chunk& c : lod.chunks()) {
        std::size_t pieces = 0;
        for (std::uint32_t s = c.Levels[0].First; s < c.Levels[0].First + c.Levels[0].Count; ++s)
            pieces += lod.strips()[s].Count - 1;
        EXPECT_LE(pieces, LineLod::kChunkPieces);
    }
    Point3f lo = path.Points[0], hi = lo;
    for (const Point3f& p : path.Points)
        for (int i = 0; i < 3; ++i) lo[i] = std::min(lo[i], p[i]), hi[i] = std::max(hi[i], p[i]);
    const double finest = std::max({hi[0] - lo[0], hi[1] - lo[1], hi[2] - lo[2]}) * LineLod::kFinestFraction;
    std::vector<std::size_t> counts(LineLod::kLevels, 0);
    for (int level = 1; level < LineLod::kLevels; ++level) {
        SCOPED_TRACE(level);
        for (const LineLod::Chunk& c : lod.chunks()) {
            const VertexRange strips = c.Levels[static_cast<std::size_t>(level)];
            for (std::uint32_t s = strips.First; s < strips.First + strips.Count; ++s)
                counts[static_cast<std::size_t>(level)] += lod.strips()[s].Count;
            // Every point of the drawing lies within the level's measured deviation of its
            // pieces, and that stays under the tolerances of the levels up to it.
            const double deviation = c.Deviation[static_cast<std::size_t>(level)];
            double tolerances = 0.0;
            for (int k = 1; k <= level; ++k) tolerances += finest * std::pow(2.0, (k - 1) / 2.0);
            EXPECT_LE(deviation, tolerances + 1e-6);
            double farthest = 0.0;
            const VertexRange all = c.Levels[0];
            for (std::uint32_t s = all.First; s < all.First + all.Count; ++s) {
                const VertexRange r = lod.strips()[s];
                for (std::uint32_t i = r.First; i < r.First + r.Count; i += 3)
                    farthest = std::max(farthest, DistanceToPieces(lod.vertices()[i], lod, strips));
            }
            ASSERT_LE(farthest, deviation * 1.0001 + 1e-6);
            // The measure is the real distance, not a bound far above it.
            if (level == 1) {
                EXPECT_GT(farthest, deviation * 0.25);
            }
        }
    }
    // Most of the drawing is chords far shorter than the coarse tolerances.
    EXPECT_LT(counts[LineLod::kLevels - 1] * 3, path.Points.size());
}

TEST(SceneLod, PiecesThatCannotBeMergedAreNotCopied)
{
    // A zigzag far taller than the coarsest tolerance: no point can go.
    LineStrips zigzag;
    for (int i = 0; i < 10000; ++i) zigzag.addPiece({float(i), float(i % 2) * 1000.f, 0}, {float(i + 1), float((i + 1) % 2) * 1000.f, 0});
    const LineLod lod = LineLod::FromStrips(zigzag);
    // One more point where the strip goes on in the next chunk.
    EXPECT_EQ(lod.vertices().size(), zigzag.Points.size() + lod.chunks().size() - 1);
    for (const LineLod::Chunk& c : lod.chunks())
        for (const VertexRange& r : c.Levels) {
            EXPECT_EQ(r.First, c.Levels[0].First);
            EXPECT_EQ(r.Count, c.Levels[0].Count);
        }
    EXPECT_TRUE(LineLod::FromStrips(LineStrips{}).empty());
    // Points only: chunks, no coarse copies.
    const LineLod points = LineLod::FromPoints(std::vector<Point3f>(5000, Point3f{1, 2, 3}));
    ASSERT_EQ(points.chunks().size(), 2u);
    const VertexRange last = points.chunks()[1].Levels[LineLod::kLevels - 1];
    ASSERT_EQ(last.Count, 1u);
    EXPECT_EQ(points.strips()[last.First].Count, 5000u - LineLod::kChunkPieces);
    EXPECT_EQ(points.chunks()[1].Deviation[3], 0.0f);
}

TEST(SceneLod, SelectorLeavesOutWhatIsBehindOrBesideAndCoarsensWithDistance)
{
    Camera cam;
    cam.Target = {0, 0, 0};
    cam.Position = {0, 0, 1000};
    cam.Up = {0, 1, 0};
    const Mat4 vp = multiply(cam.projectionMatrix(800.0 / 600.0), cam.viewMatrix());
    const double ppu = 600.0 / (2.0 * cam.tanHalfFovY());
    const LodSelector view(vp, cam.Position, ppu, 1.0);
    auto box = [](Point3f lo, Point3f hi) {
        LineLod::Chunk c;
        c.Min = lo;
        c.Max = hi;
        return c;
    };
    EXPECT_TRUE(view.visible(box({-1, -1, 0}, {1, 1, 0})));
    EXPECT_FALSE(view.visible(box({-1, -1, 2000}, {1, 1, 2001})));     // behind the camera
    EXPECT_FALSE(view.visible(box({5000, -1, 0}, {5001, 1, 0})));      // far to the right
    EXPECT_TRUE(view.visible(box({-5000, -1, 0}, {5000, 1, 0})));      // across the view
    EXPECT_DOUBLE_EQ(view.nearestDistance(box({-1, -1, 0}, {1, 1, 0})), 1000.0);
    EXPECT_DOUBLE_EQ(view.nearestDistance(box({-1, -1, 0}, {1, 1, 2000})), 0.0);  // around the eye
    const LineLod lod = LineLod::FromStrips(CamPath(3000));
    // The CAM path's deviations, on boxes placed near and far.
    auto placed = [&](Point3f lo, Point3f hi) {
        LineLod::Chunk c = lod.chunks()[0];
        c.Min = lo;
        c.Max = hi;
        return c;
    };
    const int nearLevel = view.level(placed({-1, -1, 900}, {1, 1, 900}));
    const LineLod::Chunk far = placed({-1, -1, -50000}, {1, 1, -50000});
    const int farLevel = view.level(far);
    EXPECT_LT(nearLevel, farLevel);
    EXPECT_EQ(view.level(placed({-1, -1, 0}, {1, 1, 2000})), 0);
    // The chosen level stays under half a pixel at the box.
    EXPECT_LE(view.pixels(far, far.Deviation[static_cast<std::size_t>(farLevel)]), 0.5);
}


TEST(SceneDrawings, ChangesNotifyAndBumpOnlyTheirPart)
{
    Scene3D scene;
    int calls = 0;
    scene.setChangeListener([&] { ++calls; });
    const auto r0 = scene.revisions();
    scene.addExecutedPoint({1, 1, 1}, true);
    EXPECT_EQ(calls, 1);
    EXPECT_EQ(scene.revisions().Executed, r0.Executed + 1);
    EXPECT_EQ(scene.revisions().Sct, r0.Sct);
    EXPECT_EQ(scene.revisions().Skeleton, r0.Skeleton);
    scene.changeCamera([](Camera& c) { c.wheel(120); });
    EXPECT_EQ(calls, 2);
    EXPECT_EQ(scene.revisions().Camera, r0.Camera + 1);
    EXPECT_EQ(scene.revisions().Executed, r0.Executed + 1);
}

TEST(SceneStart, SimulationAndUnreadPositionStartAtTheOrigin)
{
    expectNear(DrawingStart(true, {-8000, -8000, -8000}), {}, 0.0);
    expectNear(DrawingStart(true, {5, 6, 7}), {}, 0.0);
    expectNear(DrawingStart(false, {-8000, -8000, -8000}), {}, 0.0);
    expectNear(DrawingStart(false, {5, 6, 7}), {5, 6, 7}, 0.0);
}

class SceneSettings : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(dir.isValid());
        path = dir.filePath("MOVANTRIX.INI").toStdString();
    }
    void TearDown() override { SetInputQueryHandler({}); }
    QTemporaryDir dir;
    std::string path;
};

TEST_F(SceneSettings, CameraIsWrittenAtExitAndRestoredAtStart)
{
    IniFile ini(path);
    Scene3D a;
    a.changeCamera([](Camera& c) {
        c.Target = {1.5, -2.25, 3};
        c.Position = {100, 200, 300.125};
        c.SceneScale = 4.5;
    });
    a.writeCameraSettings(ini);
    EXPECT_EQ(ini.readString("ZOOM", "MAIN", ""), "4.5");
    EXPECT_EQ(ini.readString("TARGET CAMERA", "Y", ""), "-2.25");
    EXPECT_EQ(ini.readString("POSITION CAMERA", "Z", ""), "300.125");
    ini.writeFloat("NODE", "SIZE", 0.35);
    ini.writeInteger("COLOR", "BACKGROUND", 0x00FF00);
    Scene3D b;
    b.readSettings(ini);
    expectNear(b.camera().Target, {1.5, -2.25, 3}, 0.0);
    expectNear(b.camera().Position, {100, 200, 300.125}, 0.0);
    EXPECT_DOUBLE_EQ(b.camera().SceneScale, 4.5);
    EXPECT_DOUBLE_EQ(b.nodeSize(), 0.35);
    EXPECT_DOUBLE_EQ(b.arrowSize(), 1.0);
    EXPECT_DOUBLE_EQ(b.coneSize(), 5.0);
    EXPECT_EQ(b.background(), 0x00FF00);
    EXPECT_EQ(ColorFromStored(b.background()), kGreen);
}

// A size the main window refuses at its creation is not used by the view either.
TEST_F(SceneSettings, RefusedSizesKeepTheirDefaults)
{
    IniFile ini(path);
    ini.writeString("NODE", "SIZE", "-1");
    ini.writeString("ARROWS", "SIZE", "0");
    ini.writeString("CONE", "SIZE", "1e99");
    Scene3D s;
    s.readSettings(ini);
    EXPECT_DOUBLE_EQ(s.nodeSize(), 0.2);
    EXPECT_DOUBLE_EQ(s.arrowSize(), 1.0);
    EXPECT_DOUBLE_EQ(s.coneSize(), 5.0);
}

TEST_F(SceneSettings, MissingFileKeepsDesignDefaults)
{
    IniFile ini(path);
    Scene3D s;
    const Camera c0 = s.camera();
    s.readSettings(ini);
    expectNear(s.camera().Position, c0.Position, 0.0);
    EXPECT_DOUBLE_EQ(s.camera().SceneScale, 3.0);
    EXPECT_EQ(s.background(), kStoredBlue);
    EXPECT_EQ(ColorFromStored(kStoredBlue), kBlue);
    EXPECT_DOUBLE_EQ(s.nodeSize(), 0.2);
}

struct SizeRow {
    const char* answer;
    double size;
    bool stored;
};

TEST_F(SceneSettings, NodeSizeAnswers)
{
    const SizeRow rows[] = {{"abc", 0.02, false}, {"0.75", 0.75, true}, {"", 0.02, false}, {"1,5", 0.02, false}};
    for (const SizeRow& row : rows) {
        IniFile ini(path);
        ini.eraseSection("NODE");
        Scene3D scene;
        int redraws = 0;
        PopupHost host;
        host.Settings = [&] { return &ini; };
        host.RedrawSct = [&] { ++redraws; };
        PopupActions menu(scene, host);
        std::string asked;
        SetInputQueryHandler([&](const std::string& caption, const std::string& prompt, std::string& value) {
            asked = caption + "|" + prompt + "|" + value;
            value = row.answer;
            return true;
        });
        menu.askNodeSize();
        EXPECT_EQ(asked, "Node|size (mm)|0.200");
        EXPECT_DOUBLE_EQ(scene.nodeSize(), row.size) << row.answer;
        EXPECT_DOUBLE_EQ(scene.skeletonWorking().NodeSize, row.size);
        EXPECT_EQ(ini.valueExists("NODE", "SIZE"), row.stored) << row.answer;
        EXPECT_EQ(redraws, 1);
    }
}

TEST_F(SceneSettings, ArrowAndConeSizesAreStoredOnlyForNumbers)
{
    IniFile ini(path);
    Scene3D scene;
    int legends = 0;
    PopupHost host;
    host.Settings = [&] { return &ini; };
    host.LegendChanged = [&] { ++legends; };
    PopupActions menu(scene, host);
    std::string answer = "2.5";
    std::string asked;
    SetInputQueryHandler([&](const std::string& caption, const std::string& prompt, std::string& value) {
        asked = caption + "|" + prompt + "|" + value;
        value = answer;
        return true;
    });
    menu.askArrowSize();
    EXPECT_EQ(asked, "Arrows|size ?|1.000000");
    EXPECT_DOUBLE_EQ(scene.arrowSize(), 2.5);
    EXPECT_EQ(ini.readString("ARROWS", "SIZE", ""), "2.5");
    EXPECT_EQ(legends, 1);
    menu.askConeSize();
    EXPECT_EQ(asked, "target cone|size : |5.000");
    EXPECT_DOUBLE_EQ(scene.coneSize(), 2.5);
    answer = "big";
    menu.askConeSize();
    EXPECT_DOUBLE_EQ(scene.coneSize(), 2.5);
    EXPECT_EQ(ini.readString("CONE", "SIZE", ""), "2.5");
}

TEST(SceneCentre, TargetMovesAndTheViewKeepsItsOffset)
{
    Scene3D scene;
    std::optional<Vec3> current;
    PopupHost host;
    host.CurrentPosition = [&] { return current; };
    PopupActions menu(scene, host);
    const Vec3 offset = scene.camera().Position - scene.camera().Target;
    EXPECT_FALSE(menu.centreCurrent());  // nothing read (simulation)
    current = Vec3{10, 20, 0};
    EXPECT_TRUE(menu.centreCurrent());
    expectNear(scene.camera().Target, {10, 20, 0}, 0.0);
    expectNear(scene.camera().Position - scene.camera().Target, offset, 1e-9);
    EXPECT_FALSE(menu.centreOn({"1", "x", "3"}));
    expectNear(scene.camera().Target, {10, 20, 0}, 0.0);
    EXPECT_TRUE(menu.centreOn({"1", "-2.5", "3"}));
    expectNear(scene.camera().Target, {1, -2.5, 3}, 0.0);
    menu.centreOrigin();
    expectNear(scene.camera().Target, {}, 0.0);
    expectNear(scene.camera().Position, offset, 1e-9);
}

TEST(View3DWithoutGl, PlaceholderKeepsTheSceneAndTheJobDrawings)
{
    EXPECT_FALSE(View3D::GlAvailable());  // offscreen platform
    View3D view;
    EXPECT_FALSE(view.usesGl());
    ASSERT_NE(view.renderWidget(), nullptr);
    view.SetJobPath({segment({0, 0, 0}, {5, 0, 0}, true)}, {-8000, -8000, -8000});
    EXPECT_EQ(view.scene().skeletonWorking().strips().pieceCount(), 1u);
    EXPECT_TRUE(view.scene().skeletonPositioning().strips().empty());  // starts at the origin, not at -8000
    view.AddExecutedPoint({1, 2, 3}, false);
    view.SetToolPosition({1, 2, 3}, true);
    EXPECT_TRUE(view.scene().cone().Visible);
    view.ClearJobDrawings();
    EXPECT_TRUE(view.scene().skeletonWorking().strips().empty());
    EXPECT_TRUE(view.scene().executedInactive().Points.empty());
    EXPECT_EQ(view.legend()->text(), "    X:Red Y:Blue Z:Green   Size= 1.0000");
    view.setNbDigit([] { return 2; });
    EXPECT_EQ(view.legend()->text(), "    X:Red Y:Blue Z:Green   Size= 1.00");
    EXPECT_FALSE(view.grabPicture().isNull());
}

TEST(View3DWithoutGl, PopupMenuItems)
{
    View3D view;
    QStringList texts;
    for (QAction* a : view.popupMenu()->actions())
        if (!a->isSeparator()) texts << a->text();
    EXPECT_EQ(texts, (QStringList{QString::fromUtf8("Effacer trajectoires executées"), "Effacer trajectoire SCT",
                                  "Effacer les squelettes", "Dessiner  SCT", "center on (0,0,0)",
                                  "center on current position", "center on (X,Y,Z)", "Z x 10", "Show XY", "Node size",
                                  "Arrows size", "Cone size"}));
    EXPECT_FALSE(view.drawSctAction()->isVisible());
    QAction* z = view.popupMenu()->findChild<QAction*>("Zx101");
    ASSERT_NE(z, nullptr);
    z->trigger();
    EXPECT_TRUE(z->isChecked());
    EXPECT_EQ(view.scene().zScale(), 10.0);
    z->trigger();
    EXPECT_FALSE(z->isChecked());
    EXPECT_EQ(view.scene().zScale(), 1.0);
}

TEST(View3DWithoutGl, WheelOnlyWhileThePageIsActive)
{
    View3D view;
    bool active = false;
    view.setPageActive([&] { return active; });
    const double d = view.scene().camera().distanceToTarget();
    EXPECT_FALSE(view.wheelStep(120));
    EXPECT_DOUBLE_EQ(view.scene().camera().distanceToTarget(), d);
    active = true;
    EXPECT_TRUE(view.wheelStep(-240));
    EXPECT_NEAR(view.scene().camera().distanceToTarget(), d / 1.21, 1e-9);
}

TEST(View3DWithoutGl, MouseOnTheViewerDrivesTheCamera)
{
    View3D view;
    view.resize(300, 200);
    view.show();
    QWidget* viewer = view.renderWidget();
    EXPECT_FALSE(view.popupMenu()->isVisible());
    // The events of a double click: press, release, double click, release.
    QTest::mouseClick(viewer, Qt::LeftButton, {}, QPoint(50, 50));
    EXPECT_FALSE(view.popupMenu()->isVisible());
    QTest::mouseDClick(viewer, Qt::LeftButton, {}, QPoint(50, 50));
    QTest::mouseRelease(viewer, Qt::LeftButton, {}, QPoint(50, 50));
    EXPECT_TRUE(view.popupMenu()->isVisible());
    view.popupMenu()->hide();

    const double d = view.scene().camera().distanceToTarget();
    QWheelEvent wheel(QPointF(50, 50), viewer->mapToGlobal(QPointF(50, 50)), QPoint(), QPoint(0, 120), Qt::NoButton,
                      Qt::NoModifier, Qt::NoScrollPhase, false);
    QApplication::sendEvent(viewer, &wheel);
    EXPECT_NEAR(view.scene().camera().distanceToTarget(), d * 1.1, 1e-9);

    const Vec3 before = view.scene().camera().Position;
    QTest::mousePress(viewer, Qt::LeftButton, {}, QPoint(50, 50));
    QMouseEvent move(QEvent::MouseMove, QPointF(80, 60), viewer->mapToGlobal(QPointF(80, 60)), Qt::NoButton,
                     Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(viewer, &move);
    QTest::mouseRelease(viewer, Qt::LeftButton, {}, QPoint(80, 60));
    EXPECT_GT((view.scene().camera().Position - before).length(), 1.0);
    EXPECT_FALSE(view.popupMenu()->isVisible());
}

}  // namespace
