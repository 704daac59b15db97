#include "scene3d_lod.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace mvx::view3d {

namespace {

// A chain is left alone past this many points in one piece, so the cost stays linear.
constexpr std::size_t kMaxRun = 48;
// Levels up to this one are made from the drawing itself.
constexpr int kDirectLevels = 8;

// Squared distance from `p` to the segment from `a` to `b`.
double squaredDistance(const Point3f& p, const Point3f& a, const Point3f& b)
{
    const double abx = b[0] - a[0], aby = b[1] - a[1], abz = b[2] - a[2];
    const double apx = p[0] - a[0], apy = p[1] - a[1], apz = p[2] - a[2];
    const double len2 = abx * abx + aby * aby + abz * abz;
    double t = len2 > 0.0 ? (apx * abx + apy * aby + apz * abz) / len2 : 0.0;
    t = std::clamp(t, 0.0, 1.0);
    const double dx = apx - t * abx, dy = apy - t * aby, dz = apz - t * abz;
    return dx * dx + dy * dy + dz * dz;
}

// Whether the points between `a` and `b` lie within sqrt(`tolerance2`) of the segment from
// `a` to `b`; `farthest2` is then the largest of their squared distances.
bool withinTolerance(const Point3f* chain, std::size_t a, std::size_t b, double tolerance2, double& farthest2)
{
    double most = 0.0;
    for (std::size_t j = a + 1; j < b; ++j) {
        const double d2 = squaredDistance(chain[j], chain[a], chain[b]);
        if (d2 > tolerance2) return false;
        most = std::max(most, d2);
    }
    farthest2 = most;
    return true;
}

// Appends the strip of `count` points with points dropped where the rest stays within
// `tolerance`, and the place of each point kept in `kept`; the ends stay. Returns the largest
// squared distance of a point dropped to its piece.
double simplifyChain(const Point3f* chain, std::size_t count, double tolerance, std::vector<Point3f>& out,
                     std::vector<std::uint32_t>& kept)
{
    const double tolerance2 = tolerance * tolerance;
    double farthest2 = 0.0, piece2 = 0.0;
    out.push_back(chain[0]);
    kept.push_back(0);
    std::size_t anchor = 0;
    std::size_t end = 1;
    while (end < count) {
        double extended2 = 0.0;
        if (end + 1 < count && end + 1 - anchor <= kMaxRun && withinTolerance(chain, anchor, end + 1, tolerance2, extended2)) {
            ++end;
            piece2 = extended2;
            continue;
        }
        out.push_back(chain[end]);
        kept.push_back(static_cast<std::uint32_t>(end));
        farthest2 = std::max(farthest2, piece2);
        piece2 = 0.0;
        anchor = end;
        end = anchor + 1;
    }
    return farthest2;
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

// Room for the coarse copies beside the drawing, so that adding them does not move it: with a
// copy every half step they come to two or three times the drawing (room never written costs
// address space only).
std::size_t withRoomForCopies(std::size_t vertices) { return vertices * 4; }

}  // namespace

LineLod LineLod::FromStrips(const LineStrips& strips)
{
    LineLod lod;
    const std::size_t pieces = strips.pieceCount();
    if (pieces == 0 || strips.Points.size() + pieces / kChunkPieces + 1 > std::numeric_limits<std::uint32_t>::max() / 2)
        return lod;
    lod.mVertices.reserve(withRoomForCopies(strips.Points.size() + pieces / kChunkPieces + 1));
    std::vector<Point3f>& v = lod.mVertices;
    Chunk chunk;
    std::uint32_t chunkPieces = 0, chunkFirstStrip = 0, stripFirst = 0;
    auto endStrip = [&] {
        const auto size = static_cast<std::uint32_t>(v.size());
        if (size - stripFirst >= 2) lod.mStrips.push_back({stripFirst, size - stripFirst});
        stripFirst = size;
    };
    auto endChunk = [&] {
        chunk.Levels.fill({chunkFirstStrip, static_cast<std::uint32_t>(lod.mStrips.size()) - chunkFirstStrip});
        lod.mChunks.push_back(chunk);
        chunkFirstStrip = static_cast<std::uint32_t>(lod.mStrips.size());
        chunkPieces = 0;
    };
    auto add = [&](const Point3f& p) {
        growBox(chunk, p, chunkPieces == 0 && v.size() == stripFirst);
        v.push_back(p);
    };
    Point3f lo = strips.Points.front(), hi = lo;
    for (const Point3f& p : strips.Points)
        for (int i = 0; i < 3; ++i) {
            lo[i] = std::min(lo[i], p[i]);
            hi[i] = std::max(hi[i], p[i]);
        }
    for (std::size_t k = 0; k < strips.Starts.size(); ++k) {
        const std::size_t first = strips.Starts[k], last = strips.stripEnd(k);
        if (last - first < 2) continue;
        if (chunkPieces == kChunkPieces) endChunk();
        add(strips.Points[first]);
        for (std::size_t i = first + 1; i < last; ++i) {
            if (chunkPieces == kChunkPieces) {
                // The strip goes on in the next chunk from the point it had reached.
                endStrip();
                endChunk();
                add(strips.Points[i - 1]);
            }
            add(strips.Points[i]);
            ++chunkPieces;
        }
        endStrip();
    }
    if (chunkPieces > 0) endChunk();
    lod.buildLevels(lo, hi);
    return lod;
}

void LineLod::buildLevels(const Point3f& lo, const Point3f& hi)
{
    const double span = std::max({hi[0] - lo[0], hi[1] - lo[1], hi[2] - lo[2]});
    if (!(span > 0.0) || !std::isfinite(span)) return;
    const double finest = span * kFinestFraction;
    // Chunk by chunk. The finer levels, which whole views of a big drawing use, are each made
    // from the drawing itself, so that their errors do not add up; the coarser ones from the
    // level before, which is far cheaper. Every point kept is a point of the drawing:
    // `origins` holds where it stands there, so a level's true distance to the drawing is
    // measured over the drawing's own points.
    std::vector<Point3f> points;
    std::vector<VertexRange> ranges;
    std::vector<std::uint32_t> drawing, origins, next, kept;
    for (Chunk& c : mChunks) {
        drawing.clear();
        for (std::uint32_t s = c.Levels[0].First; s < c.Levels[0].First + c.Levels[0].Count; ++s)
            for (std::uint32_t v = mStrips[s].First; v < mStrips[s].First + mStrips[s].Count; ++v) drawing.push_back(v);
        origins = drawing;
        for (int level = 1; level < kLevels; ++level) {
            const double tolerance = finest * std::pow(2.0, (level - 1) / 2.0);
            const VertexRange before = c.Levels[static_cast<std::size_t>(level - 1)];
            const std::size_t beforeCount = origins.size();
            const bool fromDrawing = level <= kDirectLevels;
            const VertexRange previous = fromDrawing ? c.Levels[0] : before;
            const std::vector<std::uint32_t>& from = fromDrawing ? drawing : origins;
            points.clear();
            ranges.clear();
            next.clear();
            std::uint32_t at = 0;  // the previous level's first point of the strip, in `origins`
            double deviation2 = 0.0;
            for (std::uint32_t s = previous.First; s < previous.First + previous.Count; ++s) {
                const VertexRange strip = mStrips[s];
                const auto first = static_cast<std::uint32_t>(points.size());
                kept.clear();
                const double dropped2 = simplifyChain(mVertices.data() + strip.First, strip.Count, tolerance, points, kept);
                ranges.push_back({first, static_cast<std::uint32_t>(points.size()) - first});
                // Made from the drawing, the points dropped are the drawing's own.
                if (fromDrawing) deviation2 = std::max(deviation2, dropped2);
                for (std::size_t k = 0; k < kept.size(); ++k) {
                    next.push_back(from[at + kept[k]]);
                    if (k == 0 || fromDrawing) continue;
                    // The drawing's points between the piece's ends, all in one strip of it.
                    const std::uint32_t a = next[next.size() - 2], b = next.back();
                    for (std::uint32_t i = a + 1; i < b; ++i)
                        deviation2 = std::max(deviation2, squaredDistance(mVertices[i], mVertices[a], mVertices[b]));
                }
                at += strip.Count;
            }
            const double deviation = std::sqrt(deviation2);
            // Not worth a copy when it saves little: the level draws the previous one.
            if (points.size() * 10 > beforeCount * 9 ||
                mVertices.size() + points.size() > std::numeric_limits<std::uint32_t>::max() / 2) {
                c.Levels[static_cast<std::size_t>(level)] = before;
                c.Deviation[static_cast<std::size_t>(level)] = c.Deviation[static_cast<std::size_t>(level - 1)];
                continue;
            }
            const auto offset = static_cast<std::uint32_t>(mVertices.size());
            mVertices.insert(mVertices.end(), points.begin(), points.end());
            c.Levels[static_cast<std::size_t>(level)] = {static_cast<std::uint32_t>(mStrips.size()),
                                                         static_cast<std::uint32_t>(ranges.size())};
            for (const VertexRange& r : ranges) mStrips.push_back({offset + r.First, r.Count});
            // Rounded up, so that the float never claims less than the distance measured.
            c.Deviation[static_cast<std::size_t>(level)] =
                std::nextafter(static_cast<float>(deviation), std::numeric_limits<float>::infinity());
            origins.swap(next);
        }
    }
}

LineLod LineLod::FromPoints(const std::vector<Point3f>& points)
{
    LineLod lod;
    if (points.empty() || points.size() > std::numeric_limits<std::uint32_t>::max() / 2) return lod;
    lod.mVertices = points;
    for (std::uint32_t first = 0; first < points.size(); first += kChunkPieces) {
        Chunk c;
        const std::uint32_t count = static_cast<std::uint32_t>(std::min<std::size_t>(kChunkPieces, points.size() - first));
        for (std::uint32_t v = first; v < first + count; ++v) growBox(c, points[v], v == first);
        c.Levels.fill({static_cast<std::uint32_t>(lod.mStrips.size()), 1});
        lod.mStrips.push_back({first, count});
        lod.mChunks.push_back(c);
    }
    return lod;
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

int LodSelector::level(const LineLod::Chunk& c, double maxPixels) const
{
    const double stretch = std::max(1.0, std::abs(mZScale));
    for (int k = LineLod::kLevels - 1; k > 0; --k)
        if (pixels(c, c.Deviation[static_cast<std::size_t>(k)] * stretch) <= maxPixels) return k;
    return 0;
}

}  // namespace mvx::view3d
