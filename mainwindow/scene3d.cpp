#include "scene3d.h"

#include "scene3d_menu.h"

#include "core/inifile.h"
#include "view3dsettings.h"
#include "translator/numtext.h"
#include "translator/observer.h"
#include "translator/texts.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <utility>

namespace mvx::view3d {

namespace {

Point3f toPoint(const Vec3& v)
{
    return {static_cast<float>(v.x), static_cast<float>(v.y), static_cast<float>(v.z)};
}
Point3f toPoint(const std::array<double, 3>& a)
{
    return {static_cast<float>(a[0]), static_cast<float>(a[1]), static_cast<float>(a[2])};
}

void grow(Extent& e, const Point3f& p)
{
    const Vec3 v{p[0], p[1], p[2]};
    if (e.Empty) {
        e.Min = e.Max = v;
        e.Empty = false;
        return;
    }
    e.Min = {std::min(e.Min.x, v.x), std::min(e.Min.y, v.y), std::min(e.Min.z, v.z)};
    e.Max = {std::max(e.Max.x, v.x), std::max(e.Max.y, v.y), std::max(e.Max.z, v.z)};
}

}  // namespace

Rgba ColorFromStored(long long bgr)
{
    const auto byte = [bgr](int shift) { return static_cast<float>((bgr >> shift) & 0xFF) / 255.f; };
    return {byte(0), byte(8), byte(16), 1.f};
}

double Extent::largestSpan() const
{
    if (Empty) return 0.0;
    return std::max({Max.x - Min.x, Max.y - Min.y, Max.z - Min.z});
}

Vec3 DrawingStart(bool simulation, const std::array<double, 3>& currentPosition)
{
    if (simulation) return {};
    for (double c : currentPosition)
        if (c == kUnreadPosition || !std::isfinite(c)) return {};
    return Vec3::from(currentPosition);
}

std::string LegendText(double arrowSize, int nbDigit)
{
    RegisterView3DTexts();
    return "    " + texts::get("StringAxesColors") + " " + num::fixed(arrowSize, nbDigit);
}

Scene3D::Scene3D()
{
    mJobA.Color = kWhite;
    mJobB.Color = kGreen;
    mLinesInit.Pattern = 0x5555;
    mLinesEnd.Pattern = 0xAAAA;
    mLinesInit.LineColor = mLinesInit.NodeColor = kYellow;
    mLinesEnd.LineColor = mLinesEnd.NodeColor = kOrange;
    mLinesInit.NodeSize = mLinesEnd.NodeSize = mNodeSize;
}

void Scene3D::changed(std::uint64_t Revisions::*part)
{
    ++(mRev.*part);
    notify();
}

void Scene3D::notify()
{
    if (mHolds > 0) {
        mPending = true;
        return;
    }
    mPending = false;
    if (mListener) mListener();
}

Scene3D::Hold::~Hold()
{
    if (--mScene.mHolds == 0 && mScene.mPending) mScene.notify();
}

void Scene3D::changeCamera(const std::function<void(Camera&)>& change)
{
    change(mCamera);
    changed(&Revisions::Camera);
}

void Scene3D::setNodeSize(double size)
{
    mNodeSize = size;
    mLinesInit.NodeSize = mLinesEnd.NodeSize = size;
    changed(&Revisions::Skeleton);
    changed(&Revisions::Sct);
}

void Scene3D::setArrowSize(double size)
{
    mArrowSize = size;
    changed(&Revisions::Decor);
}

void Scene3D::setConeSize(double height)
{
    mCone.Height = height;
    changed(&Revisions::Decor);
}

void Scene3D::setBackground(long long storedBgr)
{
    mBackground = storedBgr & 0xFFFFFF;
    changed(&Revisions::Decor);
}

void Scene3D::toggleZTimes10()
{
    mZScale = mZScale == 1.0 ? 10.0 : 1.0;
    changed(&Revisions::Decor);
}

std::array<Arrow, 3> Scene3D::arrows() const
{
    const double s = mArrowSize;
    const Vec3 scale{0.4 * s, 0.4 * s, s};
    return {Arrow{{0.4 * s, 0, 0}, scale, {1, 0, 0}, kRed},
            Arrow{{0, 0.4 * s, 0}, scale, {0, 1, 0}, kBlue},
            Arrow{{0, 0, 0.4 * s}, scale, {0, 0, 1}, kGreen}};
}

void Scene3D::addExecutedPoint(const Vec3& p, bool toolActive)
{
    (toolActive ? mJobA : mJobB).Points.push_back(toPoint(p));
    mLastExecuted[0] = mLastExecuted[1];
    mLastExecuted[1] = toolActive;
    mLastExecutedCount = std::min(mLastExecutedCount + 1, 2);
    mCone.Emission = toolActive ? kRed : kGreen;
    changed(&Revisions::Executed);
}

void Scene3D::clearExecutedPath()
{
    mJobA.Points.clear();
    mJobB.Points.clear();
    mLastExecutedCount = 0;
    changed(&Revisions::Executed);
}

void Scene3D::keepLastTwoExecutedPoints()
{
    std::size_t keepA = 0, keepB = 0;
    for (int i = 2 - mLastExecutedCount; i < 2; ++i) ++(mLastExecuted[static_cast<std::size_t>(i)] ? keepA : keepB);
    auto keepLast = [](std::vector<Point3f>& points, std::size_t n) {
        if (points.size() > n) points.erase(points.begin(), points.end() - static_cast<std::ptrdiff_t>(n));
    };
    keepLast(mJobA.Points, std::min(keepA, mJobA.Points.size()));
    keepLast(mJobB.Points, std::min(keepB, mJobB.Points.size()));
    changed(&Revisions::Executed);
}

void LineStrips::addPiece(const Point3f& start, const Point3f& end)
{
    if (Points.empty() || Points.back() != start) {
        Starts.push_back(Points.size());
        Points.push_back(start);
    }
    Points.push_back(end);
}

void LineStrips::clear() noexcept
{
    // The memory goes too: a skeleton can hold millions of points.
    std::vector<Point3f>().swap(Points);
    std::vector<std::size_t>().swap(Starts);
}

SkeletonBuilder::SkeletonBuilder(const Vec3& start, std::size_t working, std::size_t positioning) : mStart(start)
{
    // A strip holds a point more than its pieces: as many strips as pieces at worst.
    mNodes.End.Points.reserve(2 * working);
    mNodes.Init.Points.reserve(2 * positioning + 2);
}

void SkeletonBuilder::Add(const PathSegment& s)
{
    // The move from where the tool stands to the start of the path.
    if (std::exchange(mFirst, false) && !(Vec3::from(s.Start) == mStart)) mNodes.Init.addPiece(toPoint(mStart), toPoint(s.Start));
    (s.Working ? mNodes.End : mNodes.Init).addPiece(toPoint(s.Start), toPoint(s.End));
}

SkeletonNodes SkeletonBuilder::Take()
{
    mFirst = true;
    return std::exchange(mNodes, SkeletonNodes{});
}

SkeletonNodes MakeSkeleton(const std::vector<PathSegment>& segments, const Vec3& start)
{
    std::size_t working = 0;
    for (const PathSegment& s : segments) working += s.Working ? 1 : 0;
    SkeletonBuilder b(start, working, segments.size() - working);
    for (const PathSegment& s : segments) b.Add(s);
    return b.Take();
}

void Scene3D::setSkeleton(const std::vector<PathSegment>& segments, const Vec3& start)
{
    setSkeleton(MakeSkeleton(segments, start));
}

const std::shared_ptr<const LineStrips>& NodedLine::NoStrips()
{
    static const std::shared_ptr<const LineStrips> none = std::make_shared<const LineStrips>();
    return none;
}

void Scene3D::setSkeleton(SkeletonNodes nodes)
{
    mLinesInit.Shared = std::make_shared<const LineStrips>(std::move(nodes.Init));
    mLinesEnd.Shared = std::make_shared<const LineStrips>(std::move(nodes.End));
    changed(&Revisions::Skeleton);
}

void Scene3D::clearSkeletons()
{
    mLinesInit.Shared = NodedLine::NoStrips();
    mLinesEnd.Shared = NodedLine::NoStrips();
    changed(&Revisions::Skeleton);
}

int Scene3D::addSctItem()
{
    SctItem item;
    item.Used = true;
    mSct.push_back(item);
    return static_cast<int>(mSct.size()) - 1;
}

void Scene3D::drawSctItem(int id, const std::vector<Vec3>& path, bool current)
{
    if (id < 0 || static_cast<std::size_t>(id) >= mSct.size()) return;
    SctItem& item = mSct[id];
    const auto n = static_cast<std::uint32_t>(std::min<std::size_t>(path.size(), std::numeric_limits<std::uint32_t>::max() / 2));
    if (n > item.Capacity) {
        // Rebuilt at the end of the store; the old place becomes garbage.
        mSctGarbage += item.Capacity;
        item.First = static_cast<std::uint32_t>(mSctPoints.size());
        item.Capacity = n;
        mSctPoints.resize(mSctPoints.size() + n);
    }
    item.Count = n;
    item.Used = true;
    for (std::uint32_t i = 0; i < n; ++i) mSctPoints[item.First + i] = toPoint(path[i]);
    if (current && mCurrentSct >= 0 && mCurrentSct != id) mSct[static_cast<std::size_t>(mCurrentSct)].Current = false;
    if (current) mCurrentSct = id;
    else if (mCurrentSct == id) mCurrentSct = -1;
    item.Current = current;
    if (mSctGarbage > 1024 && mSctGarbage > mSctPoints.size() / 2) compactSct();
    changed(&Revisions::Sct);
}

void Scene3D::eraseAllSctItems()
{
    for (SctItem& item : mSct) {
        item.Count = 0;
        item.Current = false;
    }
    mCurrentSct = -1;
    changed(&Revisions::Sct);
}

void Scene3D::clearSct()
{
    mSct.clear();
    mSctPoints.clear();
    mSctGarbage = 0;
    mCurrentSct = -1;
    changed(&Revisions::Sct);
}

void Scene3D::compactSct()
{
    std::vector<Point3f> packed;
    packed.reserve(mSctPoints.size() - mSctGarbage);
    for (SctItem& item : mSct) {
        const auto first = static_cast<std::uint32_t>(packed.size());
        packed.insert(packed.end(), mSctPoints.begin() + item.First, mSctPoints.begin() + item.First + item.Capacity);
        item.First = first;
    }
    mSctPoints = std::move(packed);
    mSctGarbage = 0;
}

void Scene3D::setToolPosition(const Vec3& p, bool visible)
{
    mCone.Tip = p;
    mCone.Visible = visible;
    changed(&Revisions::Decor);
}

Extent Scene3D::drawingExtent() const
{
    Extent e;
    for (const SctItem& item : mSct)
        for (std::uint32_t i = 0; i < item.Count; ++i) grow(e, mSctPoints[item.First + i]);
    for (const NodedLine* line : {&mLinesInit, &mLinesEnd})
        for (const Point3f& p : line->strips().Points) grow(e, p);
    for (const PointSet* set : {&mJobA, &mJobB})
        for (const Point3f& p : set->Points) grow(e, p);
    return e;
}

void Scene3D::readSettings(const IniFile& ini)
{
    View3DSettings set;
    set.SceneScale = mCamera.SceneScale;
    set.TargetX = mCamera.Target.x, set.TargetY = mCamera.Target.y, set.TargetZ = mCamera.Target.z;
    set.PositionX = mCamera.Position.x, set.PositionY = mCamera.Position.y, set.PositionZ = mCamera.Position.z;
    set.Background = mBackground;
    set.Read(ini);
    mNodeSize = set.NodeSize;
    mLinesInit.NodeSize = mLinesEnd.NodeSize = mNodeSize;
    mArrowSize = set.ArrowsSize;
    mCone.Height = set.ConeSize;
    mCamera.SceneScale = set.SceneScale;
    if (!(mCamera.SceneScale > 0.0)) mCamera.SceneScale = Camera::kDesignSceneScale;
    mCamera.Target = Vec3{set.TargetX, set.TargetY, set.TargetZ};
    const Vec3 position{set.PositionX, set.PositionY, set.PositionZ};
    // A camera stored on its target would have no line of sight.
    if ((position - mCamera.Target).length() > 0.0) mCamera.Position = position;
    mBackground = set.Background & 0xFFFFFF;
    ++mRev.Sct;
    ++mRev.Skeleton;
    ++mRev.Decor;
    changed(&Revisions::Camera);
}

void Scene3D::writeCameraSettings(IniFile& ini) const
{
    View3DSettings set;
    set.SceneScale = mCamera.SceneScale;
    set.TargetX = mCamera.Target.x, set.TargetY = mCamera.Target.y, set.TargetZ = mCamera.Target.z;
    set.PositionX = mCamera.Position.x, set.PositionY = mCamera.Position.y, set.PositionZ = mCamera.Position.z;
    set.WriteCamera(ini);
}

}  // namespace mvx::view3d
