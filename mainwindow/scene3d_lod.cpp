#include "scene3d_lod.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace mvx::view3d {

namespace {

// A chain is left alone past this many points in one piece, so the cost stays linear.
constexpr std::size_t kMaxRun = 48;

double distanceToSegment(const Point3f& p, const Point3f& a, const Point3f& b)
{
    const double abx = b[0] - a[0], aby = b[1] - a[1], abz = b[2] - a[2];
    const double apx = p[0] - a[0], apy = p[1] - a[1], apz = p[2] - a[2];
    const double len2 = abx * abx + aby * aby + abz * abz;
    double t = len2 > 0.0 ? (apx * abx + apy * aby + apz * abz) / len2 : 0.0;
    t = std::clamp(t, 0.0, 1.0);
    const double dx = apx - t * abx, dy = apy - t * aby, dz = apz - t * abz;
    return std::sqrt(dx * dx + dy * dy + dz * dz);
}

bool withinTolerance(const std::vector<Point3f>& chain, std::size_t a, std::size_t b, double tolerance)
{
    for (std::size_t j = a + 1; j < b; ++j)
        if (distanceToSegment(chain[j], chain[a], chain[b]) > tolerance) return false;
    return true;
}

// Appends the pieces of `chain` with points dropped where the rest stays within `tolerance`.
void simplifyChain(const std::vector<Point3f>& chain, double tolerance, std::vector<Point3f>& out)
{
    std::size_t anchor = 0;
    std::size_t end = 1;
    while (end < chain.size()) {
        if (end + 1 < chain.size() && end + 1 - anchor <= kMaxRun && withinTolerance(chain, anchor, end + 1, tolerance)) {
            ++end;
            continue;
        }
        out.push_back(chain[anchor]);
        out.push_back(chain[end]);
        anchor = end;
        end = anchor + 1;
    }
}

// Pieces [first, first + count) of `source` (pairs), simplified chain by chain.
void simplifyPieces(const std::vector<Point3f>& source, std::uint32_t first, std::uint32_t count, double tolerance,
                    std::vector<Point3f>& out)
{
    std::vector<Point3f> chain;
    for (std::uint32_t v = first; v + 1 < first + count; v += 2) {
        if (!chain.empty() && chain.back() != source[v]) {
            simplifyChain(chain, tolerance, out);
            chain.clear();
        }
        if (chain.empty()) chain.push_back(source[v]);
        chain.push_back(source[v + 1]);
    }
    if (!chain.empty()) simplifyChain(chain, tolerance, out);
}

void growBox(LineLod::Chunk& c, const Point3f& p, bool first)
{
    if (first) {
        c.Min = c.Max = p;
        return;
    }
    for (int i = 0; i < 3; ++i) {
        c.Min[i] = std::min(c.Min[i], p[i]);
        c.Max[i] = std::max(c.Max[i], p[i]);
    }
}

// Room for the coarse copies beside the drawing, so that adding them does not move it (they are
// mostly far smaller; room never written costs address space only).
std::size_t withRoomForCopies(std::size_t vertices) { return vertices + vertices / 2; }

}  // namespace

LineLod LineLod::FromPairs(const std::vector<Point3f>& pairs)
{
    LineLod lod;
    const std::size_t usable = pairs.size() & ~std::size_t{1};
    if (usable == 0 || usable > std::numeric_limits<std::uint32_t>::max() / 2) return lod;
    lod.mVertices.reserve(withRoomForCopies(usable));
    lod.mVertices.assign(pairs.begin(), pairs.begin() + static_cast<std::ptrdiff_t>(usable));
    lod.buildLevels();
    return lod;
}

LineLod LineLod::FromStrips(const LineStrips& strips)
{
    LineLod lod;
    const std::size_t pieces = strips.pieceCount();
    if (pieces == 0 || pieces > std::numeric_limits<std::uint32_t>::max() / 4) return lod;
    lod.mVertices.reserve(withRoomForCopies(2 * pieces));
    for (std::size_t k = 0; k < strips.Starts.size(); ++k)
        for (std::size_t i = strips.Starts[k] + 1; i < strips.stripEnd(k); ++i) {
            lod.mVertices.push_back(strips.Points[i - 1]);
            lod.mVertices.push_back(strips.Points[i]);
        }
    lod.buildLevels();
    return lod;
}

void LineLod::buildLevels()
{
    const auto usable = static_cast<std::uint32_t>(mVertices.size());
    const std::uint32_t chunkVertices = kChunkPieces * 2;
    Point3f lo = mVertices[0], hi = mVertices[0];
    for (std::uint32_t first = 0; first < usable; first += chunkVertices) {
        Chunk c;
        const std::uint32_t count = std::min(chunkVertices, usable - first);
        for (std::uint32_t v = first; v < first + count; ++v) growBox(c, mVertices[v], v == first);
        for (int i = 0; i < 3; ++i) {
            lo[i] = std::min(lo[i], c.Min[i]);
            hi[i] = std::max(hi[i], c.Max[i]);
        }
        c.Levels.fill({first, count});
        mChunks.push_back(c);
    }
    const double span = std::max({hi[0] - lo[0], hi[1] - lo[1], hi[2] - lo[2]});
    if (!(span > 0.0) || !std::isfinite(span)) return;
    mFinest = span * kFinestFraction;
    // Each level from the one before: the deviations add up to less than twice its tolerance.
    std::vector<Point3f> scratch;
    for (int level = 1; level < kLevels; ++level) {
        const double tolerance = mFinest * std::ldexp(1.0, level - 1);
        for (Chunk& c : mChunks) {
            const VertexRange previous = c.Levels[static_cast<std::size_t>(level - 1)];
            scratch.clear();
            simplifyPieces(mVertices, previous.First, previous.Count, tolerance, scratch);
            // Not worth a copy when it saves little: the level draws the previous one.
            if (scratch.size() * 10 > static_cast<std::size_t>(previous.Count) * 9 ||
                mVertices.size() + scratch.size() > std::numeric_limits<std::uint32_t>::max()) {
                c.Levels[static_cast<std::size_t>(level)] = previous;
                continue;
            }
            const auto first = static_cast<std::uint32_t>(mVertices.size());
            mVertices.insert(mVertices.end(), scratch.begin(), scratch.end());
            c.Levels[static_cast<std::size_t>(level)] = {first, static_cast<std::uint32_t>(scratch.size())};
        }
    }
}

LineLod LineLod::FromPoints(const std::vector<Point3f>& points)
{
    LineLod lod;
    if (points.empty() || points.size() > std::numeric_limits<std::uint32_t>::max()) return lod;
    lod.mVertices = points;
    for (std::uint32_t first = 0; first < points.size(); first += kChunkPieces) {
        Chunk c;
        const std::uint32_t count = static_cast<std::uint32_t>(std::min<std::size_t>(kChunkPieces, points.size() - first));
        for (std::uint32_t v = first; v < first + count; ++v) growBox(c, points[v], v == first);
        c.Levels.fill({first, count});
        lod.mChunks.push_back(c);
    }
    return lod;
}

double LineLod::maxDeviation(int level) const noexcept
{
    if (level <= 0 || mFinest <= 0.0) return 0.0;
    return 2.0 * mFinest * std::ldexp(1.0, level - 1);
}

LodSelector::LodSelector(const Mat4& viewProjection, const Vec3& eye, double pixelsPerUnit, double zScale)
    : mViewProjection(viewProjection), mEye(eye), mPixelsPerUnit(pixelsPerUnit), mZScale(zScale)
{
}

bool LodSelector::visible(const LineLod::Chunk& c) const
{
    // Outside when every corner is beyond the same side of the view (the far plane is at
    // infinity: only the near plane and the four sides count).
    int outside[5] = {0, 0, 0, 0, 0};
    for (int k = 0; k < 8; ++k) {
        const double x = (k & 1) ? c.Max[0] : c.Min[0];
        const double y = (k & 2) ? c.Max[1] : c.Min[1];
        const double z = (k & 4) ? c.Max[2] : c.Min[2];
        const Mat4& m = mViewProjection;
        const double cx = m[0] * x + m[4] * y + m[8] * z + m[12];
        const double cy = m[1] * x + m[5] * y + m[9] * z + m[13];
        const double cz = m[2] * x + m[6] * y + m[10] * z + m[14];
        const double cw = m[3] * x + m[7] * y + m[11] * z + m[15];
        outside[0] += cx < -cw;
        outside[1] += cx > cw;
        outside[2] += cy < -cw;
        outside[3] += cy > cw;
        outside[4] += cz < -cw;
    }
    for (int n : outside)
        if (n == 8) return false;
    return true;
}

double LodSelector::nearestDistance(const LineLod::Chunk& c) const
{
    const double lo[3] = {c.Min[0], c.Min[1], c.Min[2] * mZScale};
    const double hi[3] = {c.Max[0], c.Max[1], c.Max[2] * mZScale};
    const double eye[3] = {mEye.x, mEye.y, mEye.z};
    double d2 = 0.0;
    for (int i = 0; i < 3; ++i) {
        const double l = std::min(lo[i], hi[i]), h = std::max(lo[i], hi[i]);
        const double d = eye[i] < l ? l - eye[i] : eye[i] > h ? eye[i] - h : 0.0;
        d2 += d * d;
    }
    return std::sqrt(d2);
}

double LodSelector::pixels(const LineLod::Chunk& c, double size) const
{
    const double d = nearestDistance(c);
    if (!(d > 0.0)) return std::numeric_limits<double>::infinity();
    return size * mPixelsPerUnit / d;
}

int LodSelector::level(const LineLod& lod, const LineLod::Chunk& c, double maxPixels) const
{
    const double stretch = std::max(1.0, std::abs(mZScale));
    for (int k = LineLod::kLevels - 1; k > 0; --k)
        if (pixels(c, lod.maxDeviation(k) * stretch) <= maxPixels) return k;
    return 0;
}

}  // namespace mvx::view3d
