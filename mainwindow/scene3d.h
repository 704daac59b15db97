#pragma once
// The 3D view's scene as plain data: the drawings under the origin (SCT drawing, skeletons of the
// TCL path, executed path), the tool cone, the axis arrows and the camera. The renderer reads it;
// tests check it without a GL context.
//
// Thread: GUI thread only. Every change bumps a revision counter of the part it touches and calls
// the change listener once, so the view repaints only when something changed.

#include "scene3d_camera.h"
#include "scene3d_math.h"

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace mvx {
class IniFile;
struct PathSegment;
}

namespace mvx::view3d {

struct Rgba {
    float r = 0.f, g = 0.f, b = 0.f, a = 1.f;
    constexpr bool operator==(const Rgba&) const = default;
};

// Colours of the drawings.
inline constexpr Rgba kRed{1.f, 0.f, 0.f, 1.f};
inline constexpr Rgba kGreen{0.f, 1.f, 0.f, 1.f};
inline constexpr Rgba kBlue{0.f, 0.f, 1.f, 1.f};
inline constexpr Rgba kWhite{1.f, 1.f, 1.f, 1.f};
inline constexpr Rgba kGrey{0.5f, 0.5f, 0.5f, 1.f};
inline constexpr Rgba kYellow{1.f, 1.f, 0.f, 1.f};
inline constexpr Rgba kOrange{1.f, 0.5f, 0.f, 1.f};

// A colour stored as the settings file keeps it: 0x00BBGGRR.
Rgba ColorFromStored(long long bgr);
inline constexpr long long kStoredBlue = 0xFF0000;  // the viewer's background at design

using Point3f = std::array<float, 3>;

// The pieces of a line as strips: the points of consecutive pieces that meet are kept once.
// A piece that does not start where the one before it ended begins a new strip. Every strip
// holds at least two points; a piece joins each two consecutive points of a strip.
struct LineStrips {
    std::vector<Point3f> Points;
    std::vector<std::size_t> Starts;  // index of each strip's first point, ascending

    void addPiece(const Point3f& start, const Point3f& end);
    std::size_t pieceCount() const noexcept { return Points.size() - Starts.size(); }
    bool empty() const noexcept { return Points.empty(); }
    void clear() noexcept;
    // One past the last point of strip `k`.
    std::size_t stripEnd(std::size_t k) const noexcept { return k + 1 < Starts.size() ? Starts[k + 1] : Points.size(); }
    bool operator==(const LineStrips&) const = default;
};

// A line through nodes: its pieces, with a node at each end of every piece. The pieces are
// shared and never changed once set (a new drawing replaces them whole), so the renderer can
// prepare them on a worker thread without a copy.
struct NodedLine {
    std::shared_ptr<const LineStrips> Shared = NoStrips();
    const LineStrips& strips() const noexcept { return *Shared; }
    static const std::shared_ptr<const LineStrips>& NoStrips();
    Rgba LineColor = kWhite;
    Rgba NodeColor = kWhite;
    double NodeSize = 0.2;    // dodecahedron node diameter, scene units
    bool NodesVisible = true;
    std::uint16_t Pattern = 0xFFFF;  // line stipple
};

// Points of a fixed pixel size, drawn smooth and additive, without depth write.
struct PointSet {
    std::vector<Point3f> Points;
    Rgba Color = kWhite;
    float Size = 2.f;
};

// One element of the SCT drawing: its path points (two for a straight move, the arc's points
// for an arc, one for a zero-length element) and whether it is the list's current element.
struct SctItem {
    std::uint32_t First = 0;
    std::uint32_t Count = 0;
    std::uint32_t Capacity = 0;
    bool Current = false;
    bool Used = false;
};

// The cone at the tool position: bottom radius = height / 5; its tip is at the tool point.
struct ToolCone {
    bool Visible = false;
    Vec3 Tip{};
    double Height = 5.0;
    Rgba Emission = kGreen;
};

// Arrow geometry for arrow size s: scale (0.4 s, 0.4 s, s), arrow X at x = 0.4 s, arrow Y at
// y = 0.4 s, arrow Z at z = 0.4 s.
struct Arrow {
    Vec3 Position;
    Vec3 Scale;
    Vec3 Direction;
    Rgba Color;
};

struct Extent {
    Vec3 Min, Max;
    bool Empty = true;
    double largestSpan() const;
    Vec3 centre() const { return (Min + Max) * 0.5; }
};

// The value the position poll starts with, so that the first reading always shows.
inline constexpr double kUnreadPosition = -8000.0;

// Where a drawing starts: the origin in simulation or while no position was read yet, else the
// last read position. (Starting at the -8000 sentinel would draw the part 8 m away.)
Vec3 DrawingStart(bool simulation, const std::array<double, 3>& currentPosition);

// The text of the read-only box under the view.
std::string LegendText(double arrowSize, int nbDigit);

// The skeleton lines of a job path (positioning, working), made from the conversion's pieces
// on any thread.
struct SkeletonNodes {
    LineStrips Init;
    LineStrips End;
};
SkeletonNodes MakeSkeleton(const std::vector<PathSegment>& segments, const Vec3& start);

// The same, piece by piece as a conversion makes them, so the pieces never have to be kept:
// on any one thread, then taken once.
class SkeletonBuilder {
public:
    // Room for that many working and positioning pieces (room never written costs address
    // space only).
    SkeletonBuilder(const Vec3& start, std::size_t working, std::size_t positioning);
    void Add(const PathSegment& segment);
    SkeletonNodes Take();

private:
    Vec3 mStart;
    bool mFirst = true;
    SkeletonNodes mNodes;
};

class Scene3D {
public:
    Scene3D();

    // Revision counters, one per part; the renderer rebuilds a part's buffers when it changed.
    struct Revisions {
        std::uint64_t Sct = 0, Skeleton = 0, Executed = 0, Decor = 0, Camera = 0;
    };
    const Revisions& revisions() const noexcept { return mRev; }
    void setChangeListener(std::function<void()> listener) { mListener = std::move(listener); }

    // --- camera
    const Camera& camera() const noexcept { return mCamera; }
    // Applies `change` to the camera and notifies.
    void changeCamera(const std::function<void(Camera&)>& change);

    // --- view settings
    double nodeSize() const noexcept { return mNodeSize; }
    void setNodeSize(double size);  // both skeleton lines take it
    double arrowSize() const noexcept { return mArrowSize; }
    void setArrowSize(double size);
    double coneSize() const noexcept { return mCone.Height; }
    void setConeSize(double height);
    long long background() const noexcept { return mBackground; }
    void setBackground(long long storedBgr);
    double zScale() const noexcept { return mZScale; }
    void toggleZTimes10();  // "Z x 10"

    std::array<Arrow, 3> arrows() const;

    // --- executed path ("GLPointsJOBA" tool active, white; "GLPointsJOBB" inactive, green)
    const PointSet& executedActive() const noexcept { return mJobA; }
    const PointSet& executedInactive() const noexcept { return mJobB; }
    void addExecutedPoint(const Vec3& p, bool toolActive);
    void clearExecutedPath();
    // Keeps the last two points added (the direct mode after each move).
    void keepLastTwoExecutedPoints();

    // --- skeletons of the TCL path ("GLLinesinitJOB" positioning moves, pattern 0x5555;
    // "GLLinesEndJOB" working moves, pattern 0xAAAA), kept as strips.
    const NodedLine& skeletonPositioning() const noexcept { return mLinesInit; }
    const NodedLine& skeletonWorking() const noexcept { return mLinesEnd; }
    void setSkeleton(const std::vector<PathSegment>& segments, const Vec3& start);
    void setSkeleton(SkeletonNodes nodes);
    void clearSkeletons();

    // --- SCT drawing: markers blue at node size (white, 1.2 x node size for the current
    // element), path line grey. One item per element of the SCT list.
    int addSctItem();
    // Sets the element's path; nodes move in place when the count matches.
    void drawSctItem(int id, const std::vector<Vec3>& path, bool current);
    // Every item's nodes cleared; the items stay (their elements still exist).
    void eraseAllSctItems();
    void clearSct();
    const std::vector<SctItem>& sctItems() const noexcept { return mSct; }
    // The highlighted item, -1 when none.
    int currentSctItem() const noexcept { return mCurrentSct; }
    const std::vector<Point3f>& sctPoints() const noexcept { return mSctPoints; }
    static constexpr Rgba kSctMarker = kBlue;
    static constexpr Rgba kSctCurrentMarker = kWhite;
    static constexpr Rgba kSctLine = kGrey;
    static constexpr double kCurrentNodeScale = 1.2;

    // --- tool cone
    const ToolCone& cone() const noexcept { return mCone; }
    // The cone sits at the tool point, shown or hidden.
    void setToolPosition(const Vec3& p, bool visible);

    // Extent of everything drawn under the origin (not the arrows, not the cone), Z unscaled.
    Extent drawingExtent() const;

    // Changes made while a hold lives notify once, when the last hold ends (a drawing of a
    // million elements repaints once).
    class Hold {
    public:
        explicit Hold(Scene3D& scene) : mScene(scene) { ++mScene.mHolds; }
        ~Hold();
        Hold(const Hold&) = delete;
        Hold& operator=(const Hold&) = delete;

    private:
        Scene3D& mScene;
    };

    // Settings of the view as the main window reads them at creation and writes at closing.
    void readSettings(const IniFile& ini);
    // "ZOOM"/"MAIN", "TARGET CAMERA" and "POSITION CAMERA" X, Y, Z.
    void writeCameraSettings(IniFile& ini) const;

private:
    void changed(std::uint64_t Revisions::*part);
    void compactSct();
    void notify();

    Camera mCamera;
    double mNodeSize = 0.2;
    double mArrowSize = 1.0;
    long long mBackground = kStoredBlue;
    double mZScale = 1.0;
    PointSet mJobA, mJobB;
    // Which set the last two executed points went to (true: tool active), the latest last.
    std::array<bool, 2> mLastExecuted{};
    int mLastExecutedCount = 0;
    NodedLine mLinesInit, mLinesEnd;
    std::vector<SctItem> mSct;
    std::vector<Point3f> mSctPoints;
    std::size_t mSctGarbage = 0;
    int mCurrentSct = -1;
    ToolCone mCone;
    Revisions mRev;
    std::function<void()> mListener;
    int mHolds = 0;
    bool mPending = false;
};

}  // namespace mvx::view3d
