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

class LineLod {
public:
    static constexpr int kLevels = 8;  // level 0 is the drawing as it stands
    static constexpr std::uint32_t kChunkPieces = 4096;
    // The finest coarse copy leaves every point within span / 8192 of the drawing (span: its
    // largest extent); each further level doubles that.
    static constexpr double kFinestFraction = 1.0 / 8192.0;

    struct Chunk {
        Point3f Min{}, Max{};  // bounding box of the chunk's pieces
        std::array<VertexRange, kLevels> Levels{};
    };

    // A drawing of pieces from point pairs (GL_LINES order). Consecutive pieces that meet
    // (a piece starting where the previous ended) are simplified as one chain.
    static LineLod FromPairs(const std::vector<Point3f>& pairs);
    // The same from strips: each strip's pieces in turn, as pairs.
    static LineLod FromStrips(const LineStrips& strips);
    // Single points (markers): chunks for the view test only, every level the points.
    static LineLod FromPoints(const std::vector<Point3f>& points);

    const std::vector<Point3f>& vertices() const noexcept { return mVertices; }
    std::vector<Point3f> takeVertices() noexcept { return std::move(mVertices); }
    const std::vector<Chunk>& chunks() const noexcept { return mChunks; }
    // Upper bound of the distance between level `level`'s pieces and the drawing.
    double maxDeviation(int level) const noexcept;
    bool empty() const noexcept { return mChunks.empty(); }

private:
    // Chunks and coarse copies of the pairs in mVertices.
    void buildLevels();

    std::vector<Point3f> mVertices;
    std::vector<Chunk> mChunks;
    double mFinest = 0.0;  // tolerance of level 1; 0: no coarse copies
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
    int level(const LineLod& lod, const LineLod::Chunk& c, double maxPixels = 0.5) const;
    // Pixels that `size` scene units cover at the box's nearest point.
    double pixels(const LineLod::Chunk& c, double size) const;

private:
    Mat4 mViewProjection;
    Vec3 mEye;
    double mPixelsPerUnit;
    double mZScale;
};

}  // namespace mvx::view3d
