#pragma once
// Coarser copies of a big line drawing, cut into chunks of consecutive pieces, so that a
// redraw sends only what the picture can show: chunks outside the view are left out, and a far
// chunk is drawn from a copy whose pieces stay within half a pixel of the drawing. A CAM path
// of a million pieces is mostly arcs cut into chords far shorter than a pixel.
//
// Plain data, no GL: the renderer uploads the vertices once and picks ranges per frame.

#include "scene3d.h"

#include <array>
#include <cstdint>
#include <vector>

namespace mvx::view3d {

struct VertexRange {
    std::uint32_t First = 0;
    std::uint32_t Count = 0;
};

// Line strips of consecutive pieces (a strip of n points draws n - 1 pieces, each from its own
// first point): a chain of pieces costs one vertex per piece, not two.
class LineLod {
public:
    static constexpr int kLevels = 15;  // level 0 is the drawing as it stands
    static constexpr std::uint32_t kChunkPieces = 4096;
    // The finest coarse copy drops points within span / 8192 of its pieces (span: the drawing's
    // largest extent); each further level allows the square root of 2 times more. What each
    // chunk's copy then strays from the drawing is measured.
    static constexpr double kFinestFraction = 1.0 / 8192.0;

    struct Chunk {
        Point3f Min{}, Max{};  // bounding box of the chunk's pieces
        // Per level, the chunk's strips: a range of strips().
        std::array<VertexRange, kLevels> Levels{};
        // Per level, the largest distance from a point of the drawing to the level's pieces.
        std::array<float, kLevels> Deviation{};
    };

    // A drawing of line strips. A strip cut by a chunk's end goes on in the next chunk from
    // the same point.
    static LineLod FromStrips(const LineStrips& strips);
    // Single points (markers): chunks for the view test only, every level the points, each
    // chunk's points one strip.
    static LineLod FromPoints(const std::vector<Point3f>& points);

    const std::vector<Point3f>& vertices() const noexcept { return mVertices; }
    std::vector<Point3f> takeVertices() noexcept { return std::move(mVertices); }
    // Vertex ranges of the strips, chunk by chunk and level by level.
    const std::vector<VertexRange>& strips() const noexcept { return mStrips; }
    const std::vector<Chunk>& chunks() const noexcept { return mChunks; }
    bool empty() const noexcept { return mChunks.empty(); }

private:
    // Coarse copies of the chunks' level 0.
    void buildLevels(const Point3f& lo, const Point3f& hi);

    std::vector<Point3f> mVertices;
    std::vector<VertexRange> mStrips;
    std::vector<Chunk> mChunks;
};

// Which chunks a frame draws and at which level.
class LodSelector {
public:
    // `viewProjection`: projection x view x the origin's Z scale (column-major); `eye` in scene
    // units; `pixelsPerUnit`: pixels per scene unit at distance 1; `zScale` stretches Z.
    LodSelector(const Mat4& viewProjection, const Vec3& eye, double pixelsPerUnit, double zScale);

    // False when the box is wholly outside the view.
    bool visible(const LineLod::Chunk& c) const;
    // Distance from the eye to the nearest point of the box (0 when inside).
    double nearestDistance(const LineLod::Chunk& c) const;
    // The coarsest level whose deviation stays within `maxPixels` at the box's nearest point.
    int level(const LineLod::Chunk& c, double maxPixels = 0.5) const;
    // Pixels that `size` scene units cover at the box's nearest point.
    double pixels(const LineLod::Chunk& c, double size) const;

private:
    Mat4 mViewProjection;
    Vec3 mEye;
    double mPixelsPerUnit;
    double mZScale;
};

}  // namespace mvx::view3d
