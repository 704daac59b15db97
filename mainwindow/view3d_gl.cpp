#include "view3d_gl.h"

#include "app/livewait.h"

#include <QMetaObject>
#include <QOpenGLContext>

#include <algorithm>
#include <cmath>
#include <mutex>
#include <optional>
#include <utility>

namespace mvx {

using namespace view3d;

// What the renderer and the workers building its drawings share. A build's result is kept only
// when its ticket is still the one its slot waits for; a renderer that is gone takes none.
struct View3DGL::LodMail {
    std::mutex Mutex;
    View3DGL* View = nullptr;  // null once the renderer is being destroyed
    std::array<std::uint64_t, kSlots> Wanted{};  // 0: nothing awaited
    std::array<std::optional<LineLod>, kSlots> Ready;
    // Built and handed to the uploader: its buffer (0: the points, which it could not upload).
    struct Upload {
        GLuint Buffer = 0;
        LineLod Lod;
        std::vector<Point3f> Points;
    };
    std::array<std::optional<Upload>, kSlots> Uploaded;
};

namespace {
constexpr double kPi = 3.14159265358979323846;
// Drawings up to this many pieces are built on the window's thread (a few milliseconds).
constexpr std::size_t kInlinePieces = 50000;

// Big vertex arrays are freed on a worker: millions of points cost the window's thread.
template <class T>
void dropLater(T data)
{
    ReleaseInBackground([data = std::make_shared<T>(std::move(data))]() mutable { data.reset(); });
}

void vertex(QOpenGLFunctions_2_1& f, const Vec3& v) { f.glVertex3d(v.x, v.y, v.z); }

// Round nodes of a size in scene units (the size falls with the eye distance, 1 to 64 pixels)
// with a soft one-pixel edge.
const char* const kNodeVertex = R"(#version 130
uniform float unitPixels;
flat out float diameter;
void main()
{
    vec4 eye = gl_ModelViewMatrix * gl_Vertex;
    gl_Position = gl_ProjectionMatrix * eye;
    diameter = clamp(unitPixels / max(length(eye.xyz), 1e-6), 1.0, 64.0);
    gl_PointSize = diameter;
}
)";
const char* const kNodeFragment = R"(#version 130
uniform vec4 colour;
flat in float diameter;
void main()
{
    float edge = clamp(0.5 * diameter - length(gl_PointCoord - vec2(0.5)) * diameter + 0.5, 0.0, 1.0);
    if (edge <= 0.0) discard;
    gl_FragColor = vec4(colour.rgb, colour.a * edge);
}
)";

// Two unit vectors orthogonal to `d` (unit).
void basis(const Vec3& d, Vec3& u, Vec3& w)
{
    const Vec3 a = std::abs(d.z) < 0.9 ? Vec3{0, 0, 1} : Vec3{1, 0, 0};
    u = normalized(cross(d, a));
    w = cross(d, u);
}
}  // namespace

View3DGL::View3DGL(Scene3D& scene, QWidget* parent)
    : QOpenGLWidget(parent), mScene(scene), mMail(std::make_shared<LodMail>())
{
    mMail->View = this;
    setObjectName("GLSceneViewer1");
    setFormat(RequestedFormat());
    setMinimumSize(50, 50);
}

View3DGL::~View3DGL()
{
    std::array<std::optional<LineLod>, kSlots> unused;
    std::array<std::optional<LodMail::Upload>, kSlots> uploaded;
    {
        // From here on no worker posts to this object; what it finishes it drops itself.
        std::lock_guard lock(mMail->Mutex);
        mMail->View = nullptr;
        mMail->Wanted.fill(0);
        unused = std::exchange(mMail->Ready, {});
        uploaded = std::exchange(mMail->Uploaded, {});
    }
    for (std::optional<LineLod>& lod : unused)
        if (lod) dropLater(std::move(*lod));
    if (mReady && context()) {
        makeCurrent();
        releaseBuffers();
        for (std::optional<LodMail::Upload>& u : uploaded)
            if (u && u->Buffer) glDeleteBuffers(1, &u->Buffer);
        doneCurrent();
    }
}

QSurfaceFormat View3DGL::RequestedFormat()
{
    QSurfaceFormat f;
    f.setRenderableType(QSurfaceFormat::OpenGL);
    f.setVersion(2, 1);
    f.setProfile(QSurfaceFormat::CompatibilityProfile);
    f.setDepthBufferSize(24);
    return f;
}

void View3DGL::initializeGL()
{
    mReady = context() && !context()->isOpenGLES() && initializeOpenGLFunctions();
    if (!mReady) return;
    glEnable(GL_DEPTH_TEST);
    glDepthFunc(GL_LEQUAL);
    makeShaders();
    try {
        mLayers = LineLayers::Make(*context());
    } catch (...) {
        mLayers.reset();  // no threads or memory for helpers: the view draws alone
    }
    try {
        if (!mUploader) mUploader = VertexUploader::Make(*context());
    } catch (...) {
        mUploader.reset();
    }
    mBuilt = {~0ull, ~0ull, ~0ull, ~0ull, ~0ull};
    mBuiltInit.reset();
    mBuiltEnd.reset();
}

void View3DGL::makeShaders()
{
    mDashes = MakeDashProgram(*context());
    mNodes.reset();
    if (context()->format().version() >= qMakePair(3, 0)) mNodes = MakeProgram(kNodeVertex, kNodeFragment);
}

bool View3DGL::buildsPending() const
{
    std::lock_guard lock(mMail->Mutex);
    return std::any_of(mMail->Wanted.begin(), mMail->Wanted.end(), [](std::uint64_t t) { return t != 0; });
}

void View3DGL::resizeGL(int w, int h) { (void)w, (void)h; }

void View3DGL::releaseBuffers()
{
    for (Buffer* b : {&mJobA, &mJobB}) {
        if (b->Id) glDeleteBuffers(1, &b->Id);
        *b = {};
    }
    for (LodBuffer& b : mLods) {
        if (b.Id) glDeleteBuffers(1, &b.Id);
        b = {};
    }
    mDashes.reset();
    mNodes.reset();
    mLayers.reset();
    mUploader.reset();
}

void View3DGL::upload(Buffer& b, const std::vector<Point3f>& points)
{
    if (!b.Id) glGenBuffers(1, &b.Id);
    glBindBuffer(GL_ARRAY_BUFFER, b.Id);
    glBufferData(GL_ARRAY_BUFFER, static_cast<GLsizeiptr>(points.size() * sizeof(Point3f)),
                 points.empty() ? nullptr : points.data(), GL_STATIC_DRAW);
    glBindBuffer(GL_ARRAY_BUFFER, 0);
    b.Count = static_cast<GLsizei>(points.size());
}

void View3DGL::upload(LodBuffer& b, LineLod lod)
{
    std::vector<Point3f> vertices = lod.takeVertices();
    install(b, std::move(lod), 0, std::move(vertices));
}

void View3DGL::install(LodBuffer& b, LineLod lod, GLuint buffer, std::vector<Point3f> points)
{
    if (!buffer) {
        Buffer plain{b.Id, 0};
        upload(plain, points);
        buffer = plain.Id;
        if (points.size() > 2 * kInlinePieces) dropLater(std::move(points));
    } else if (b.Id && b.Id != buffer) {
        glDeleteBuffers(1, &b.Id);
    }
    b.Id = buffer;
    b.Lod = std::move(lod);
}

void View3DGL::build(Slot slot, std::size_t pieces, std::function<LineLod()> make, bool keepPicture)
{
    const bool here = pieces <= kInlinePieces;
    const std::uint64_t ticket = here ? 0 : ++mLastTicket;
    std::optional<LineLod> stale;
    std::optional<LodMail::Upload> staleUpload;
    {
        std::lock_guard lock(mMail->Mutex);
        mMail->Wanted[slot] = ticket;
        stale = std::exchange(mMail->Ready[slot], std::nullopt);
        staleUpload = std::exchange(mMail->Uploaded[slot], std::nullopt);
    }
    if (stale) dropLater(std::move(*stale));
    if (staleUpload) {
        if (staleUpload->Buffer) glDeleteBuffers(1, &staleUpload->Buffer);
        dropLater(std::move(staleUpload->Lod));
        dropLater(std::move(staleUpload->Points));
    }
    if (here) {
        upload(mLods[slot], make());
        return;
    }
    // The old picture's memory goes before the new one is made.
    if (!keepPicture) upload(mLods[slot], LineLod{});
    try {
        RunInBackground([mail = mMail, slot, ticket, make = std::move(make)] {
            LineLod lod;
            try {
                lod = make();
            } catch (...) {
                // Out of memory: the drawing stays empty rather than awaited for ever.
            }
            std::lock_guard lock(mail->Mutex);
            if (!mail->View || mail->Wanted[slot] != ticket) return;  // superseded: dropped here
            mail->Ready[slot] = std::move(lod);
            QMetaObject::invokeMethod(mail->View, [view = mail->View] { view->update(); }, Qt::QueuedConnection);
        });
    } catch (...) {
        std::lock_guard lock(mMail->Mutex);
        mMail->Wanted[slot] = 0;
        throw;
    }
}

void View3DGL::takeFinishedBuilds()
{
    std::array<std::optional<LineLod>, kSlots> ready;
    std::array<std::optional<LodMail::Upload>, kSlots> uploaded;
    std::array<std::uint64_t, kSlots> tickets{};
    {
        std::lock_guard lock(mMail->Mutex);
        for (std::size_t s = 0; s < kSlots; ++s) {
            if (mMail->Uploaded[s]) {
                uploaded[s] = std::exchange(mMail->Uploaded[s], std::nullopt);
                mMail->Wanted[s] = 0;
            }
            if (!mMail->Ready[s]) continue;
            ready[s] = std::exchange(mMail->Ready[s], std::nullopt);
            // Still awaited while its points go to the GL on the uploader's thread.
            tickets[s] = mMail->Wanted[s];
            if (!mUploader) mMail->Wanted[s] = 0;
        }
    }
    for (std::size_t s = 0; s < kSlots; ++s) {
        if (uploaded[s]) install(mLods[s], std::move(uploaded[s]->Lod), uploaded[s]->Buffer, std::move(uploaded[s]->Points));
        if (!ready[s]) continue;
        if (!mUploader) {
            upload(mLods[s], std::move(*ready[s]));
            continue;
        }
        auto lod = std::make_shared<LineLod>(std::move(*ready[s]));
        std::vector<Point3f> points = lod->takeVertices();
        const auto slot = s;
        const std::uint64_t ticket = tickets[s];
        try {
            mUploader->upload(std::move(points), [mail = mMail, slot, ticket, lod](GLuint buffer, std::vector<Point3f>&& back) {
                std::lock_guard lock(mail->Mutex);
                if (!mail->View || mail->Wanted[slot] != ticket) return false;  // superseded: dropped here
                mail->Uploaded[slot] = LodMail::Upload{buffer, std::move(*lod), std::move(back)};
                QMetaObject::invokeMethod(mail->View, [view = mail->View] { view->update(); }, Qt::QueuedConnection);
                return true;
            });
        } catch (...) {
            // Out of memory: the drawing stays empty rather than awaited for ever.
            std::lock_guard lock(mMail->Mutex);
            if (mMail->Wanted[s] == ticket) mMail->Wanted[s] = 0;
            throw;
        }
    }
}

void View3DGL::syncSkeleton(Slot slot, std::weak_ptr<const LineStrips>& built, const std::shared_ptr<const LineStrips>& strips)
{
    // Strips are never changed in place: the same object is the same drawing (a new node size
    // needs no new buffers).
    if (!built.owner_before(strips) && !strips.owner_before(built)) return;
    build(slot, strips->pieceCount(), [strips] { return LineLod::FromStrips(*strips); }, false);
    built = strips;
}

void View3DGL::syncBuffers()
{
    takeFinishedBuilds();
    const Scene3D::Revisions& r = mScene.revisions();
    if (r.Sct != mBuilt.Sct) {
        LineStrips lines;
        std::vector<Point3f> markers;
        const auto& pts = mScene.sctPoints();
        for (const SctItem& item : mScene.sctItems()) {
            if (item.Count == 0) continue;
            markers.push_back(pts[item.First]);
            if (item.Count > 1) markers.push_back(pts[item.First + item.Count - 1]);
            for (std::uint32_t i = 1; i < item.Count; ++i) lines.addPiece(pts[item.First + i - 1], pts[item.First + i]);
        }
        // The element highlighted changes the drawing too: the one before stays until then.
        const std::size_t pieces = lines.pieceCount(), nodes = markers.size();
        build(kSctLines, pieces, [lines = std::move(lines)] { return LineLod::FromStrips(lines); }, true);
        build(kSctMarkers, nodes, [markers = std::move(markers)] { return LineLod::FromPoints(markers); }, true);
        mBuilt.Sct = r.Sct;
    }
    if (r.Skeleton != mBuilt.Skeleton) {
        syncSkeleton(kInitLines, mBuiltInit, mScene.skeletonPositioning().Shared);
        syncSkeleton(kEndLines, mBuiltEnd, mScene.skeletonWorking().Shared);
        mBuilt.Skeleton = r.Skeleton;
    }
    if (r.Executed != mBuilt.Executed) {
        upload(mJobA, mScene.executedActive().Points);
        upload(mJobB, mScene.executedInactive().Points);
        mBuilt.Executed = r.Executed;
    }
}

double View3DGL::pixelsPerUnitAtUnitDistance() const
{
    const double h = std::max(1.0, height() * devicePixelRatioF());
    return h / (2.0 * mScene.camera().tanHalfFovY());
}

void View3DGL::drawRanges(const LodBuffer& b, GLenum mode)
{
    if (mFirsts.empty()) return;
    glBindBuffer(GL_ARRAY_BUFFER, b.Id);
    glEnableClientState(GL_VERTEX_ARRAY);
    glVertexPointer(3, GL_FLOAT, 0, nullptr);
    glMultiDrawArrays(mode, mFirsts.data(), mCounts.data(), static_cast<GLsizei>(mFirsts.size()));
    glDisableClientState(GL_VERTEX_ARRAY);
    glBindBuffer(GL_ARRAY_BUFFER, 0);
}

void View3DGL::collectLines(const LodBuffer& b, const Rgba& c, std::uint16_t pattern, const LodSelector& view, LineBatch& batch)
{
    batch.Buffer = b.Id;
    batch.Colour = c;
    batch.Pattern = pattern;
    batch.Firsts.clear();
    batch.Counts.clear();
    const std::vector<VertexRange>& strips = b.Lod.strips();
    for (const LineLod::Chunk& chunk : b.Lod.chunks()) {
        if (!view.visible(chunk)) continue;
        const VertexRange r = chunk.Levels[static_cast<std::size_t>(view.level(chunk))];
        for (std::uint32_t s = r.First; s < r.First + r.Count; ++s) {
            batch.Firsts.push_back(static_cast<GLint>(strips[s].First));
            batch.Counts.push_back(static_cast<GLsizei>(strips[s].Count));
        }
    }
}

void View3DGL::drawLines(const LodSelector& view, const Mat4& projection, const Mat4& modelView, int width, int height)
{
    const NodedLine& init = mScene.skeletonPositioning();
    const NodedLine& end = mScene.skeletonWorking();
    mBatches.resize(3);
    collectLines(mLods[kSctLines], Scene3D::kSctLine, 0xFFFF, view, mBatches[0]);
    collectLines(mLods[kInitLines], init.LineColor, init.Pattern, view, mBatches[1]);
    collectLines(mLods[kEndLines], end.LineColor, end.Pattern, view, mBatches[2]);
    std::size_t pieces = 0;
    for (const LineBatch& b : mBatches) pieces += b.pieces();
    if (mLayers && pieces >= LineLayers::kMinPieces && mLayers->draw(*this, mBatches, projection, modelView, width, height))
        return;
    for (const LineBatch& b : mBatches) DrawLineBatch(*this, mDashes.get(), b, width, height);
}

void View3DGL::drawNodes(const LodBuffer& b, const Rgba& c, double size, const LodSelector& view)
{
    if (!(size > 0.0)) return;
    mFirsts.clear();
    mCounts.clear();
    // Nodes under about a pixel add nothing to the lines through them. Each point of the
    // drawing is a node; strips that follow each other in the buffer are one range.
    const std::vector<VertexRange>& strips = b.Lod.strips();
    for (const LineLod::Chunk& chunk : b.Lod.chunks()) {
        if (!view.visible(chunk) || view.pixels(chunk, size) < 1.5) continue;
        const VertexRange r = chunk.Levels[0];
        for (std::uint32_t s = r.First; s < r.First + r.Count; ++s) {
            const auto first = static_cast<GLint>(strips[s].First);
            const auto count = static_cast<GLsizei>(strips[s].Count);
            if (!mFirsts.empty() && mFirsts.back() + mCounts.back() == first)
                mCounts.back() += count;
            else {
                mFirsts.push_back(first);
                mCounts.push_back(count);
            }
        }
    }
    if (mFirsts.empty()) return;
    glEnable(GL_BLEND);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    if (mNodes && mNodes->bind()) {
        constexpr GLenum kProgramPointSize = 0x8642, kPointSprite = 0x8861;
        glEnable(kProgramPointSize);
        glEnable(kPointSprite);
        mNodes->setUniformValue("unitPixels", static_cast<GLfloat>(size * pixelsPerUnitAtUnitDistance()));
        mNodes->setUniformValue("colour", c.r, c.g, c.b, c.a);
        drawRanges(b, GL_POINTS);
        mNodes->release();
        glDisable(kPointSprite);
        glDisable(kProgramPointSize);
        glDisable(GL_BLEND);
        return;
    }
    // Nodes keep their size in scene units: the point size falls with the eye distance.
    const GLfloat attenuation[3] = {0.f, 0.f, 1.f};
    glPointParameterfv(GL_POINT_DISTANCE_ATTENUATION, attenuation);
    glPointParameterf(GL_POINT_SIZE_MIN, 1.f);
    glPointParameterf(GL_POINT_SIZE_MAX, 64.f);
    glPointSize(static_cast<GLfloat>(size * pixelsPerUnitAtUnitDistance()));
    glEnable(GL_POINT_SMOOTH);
    glColor4f(c.r, c.g, c.b, c.a);
    drawRanges(b, GL_POINTS);
    glDisable(GL_BLEND);
    glDisable(GL_POINT_SMOOTH);
    const GLfloat none[3] = {1.f, 0.f, 0.f};
    glPointParameterfv(GL_POINT_DISTANCE_ATTENUATION, none);
}

void View3DGL::drawPoints(const Buffer& b, const Rgba& c, float size)
{
    if (b.Count < 1) return;
    // Smooth additive points, not sorted, no depth write.
    glPointSize(size);
    glEnable(GL_POINT_SMOOTH);
    glEnable(GL_BLEND);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE);
    glDepthMask(GL_FALSE);
    glColor4f(c.r, c.g, c.b, c.a);
    glBindBuffer(GL_ARRAY_BUFFER, b.Id);
    glEnableClientState(GL_VERTEX_ARRAY);
    glVertexPointer(3, GL_FLOAT, 0, nullptr);
    glDrawArrays(GL_POINTS, 0, b.Count);
    glDisableClientState(GL_VERTEX_ARRAY);
    glBindBuffer(GL_ARRAY_BUFFER, 0);
    glDepthMask(GL_TRUE);
    glDisable(GL_BLEND);
    glDisable(GL_POINT_SMOOTH);
}

void View3DGL::drawCurrentSctMarkers()
{
    // Drawn last and larger, so its highlight is on top.
    const int current = mScene.currentSctItem();
    if (current < 0) return;
    const SctItem& item = mScene.sctItems()[static_cast<std::size_t>(current)];
    if (item.Count == 0) return;
    const auto& pts = mScene.sctPoints();
    const double size = mScene.nodeSize() * Scene3D::kCurrentNodeScale;
    const GLfloat attenuation[3] = {0.f, 0.f, 1.f};
    glPointParameterfv(GL_POINT_DISTANCE_ATTENUATION, attenuation);
    glPointSize(static_cast<GLfloat>(size * pixelsPerUnitAtUnitDistance()));
    glEnable(GL_POINT_SMOOTH);
    glEnable(GL_BLEND);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    const Rgba c = Scene3D::kSctCurrentMarker;
    glColor4f(c.r, c.g, c.b, c.a);
    glBegin(GL_POINTS);
    const Point3f& a = pts[item.First];
    const Point3f& b = pts[item.First + item.Count - 1];
    glVertex3f(a[0], a[1], a[2]);
    glVertex3f(b[0], b[1], b[2]);
    glEnd();
    glDisable(GL_BLEND);
    glDisable(GL_POINT_SMOOTH);
    const GLfloat none[3] = {1.f, 0.f, 0.f};
    glPointParameterfv(GL_POINT_DISTANCE_ATTENUATION, none);
}

void View3DGL::drawArrows()
{
    glLineWidth(2.f);
    for (const Arrow& a : mScene.arrows()) {
        // Shaft from the origin to the arrow's length along its axis, then a cone head.
        const double length = a.Scale.z;
        const Vec3 tip = a.Direction * length;
        const Vec3 headBase = a.Direction * (length * 0.8);
        const double radius = a.Scale.x * 0.15;
        glColor4f(a.Color.r, a.Color.g, a.Color.b, 1.f);
        glBegin(GL_LINES);
        vertex(*this, {});
        vertex(*this, headBase);
        glEnd();
        Vec3 u, w;
        basis(a.Direction, u, w);
        glBegin(GL_TRIANGLE_FAN);
        vertex(*this, tip);
        for (int i = 0; i <= 16; ++i) {
            const double t = 2.0 * kPi * i / 16;
            vertex(*this, headBase + u * (radius * std::cos(t)) + w * (radius * std::sin(t)));
        }
        glEnd();
    }
    glLineWidth(1.f);
}

void View3DGL::drawCone()
{
    const ToolCone& c = mScene.cone();
    if (!c.Visible || !(c.Height > 0.0)) return;
    const double r = c.Height / 5.0;
    const Vec3 base = c.Tip + Vec3{0, 0, c.Height};
    glEnable(GL_BLEND);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE);  // additive
    glColor4f(c.Emission.r, c.Emission.g, c.Emission.b, 0.8f);
    glBegin(GL_TRIANGLE_FAN);
    vertex(*this, c.Tip);
    for (int i = 0; i <= 24; ++i) {
        const double t = 2.0 * kPi * i / 24;
        vertex(*this, base + Vec3{r * std::cos(t), r * std::sin(t), 0});
    }
    glEnd();
    glBegin(GL_TRIANGLE_FAN);
    vertex(*this, base);
    for (int i = 24; i >= 0; --i) {
        const double t = 2.0 * kPi * i / 24;
        vertex(*this, base + Vec3{r * std::cos(t), r * std::sin(t), 0});
    }
    glEnd();
    glDisable(GL_BLEND);
}

void View3DGL::paintGL()
{
    if (!mReady) return;
    try {
        paintScene();
    } catch (...) {
        // A failed buffer build (out of memory) leaves the picture as it is.
    }
}

void View3DGL::paintScene()
{
    const Rgba bg = ColorFromStored(mScene.background());
    glClearColor(bg.r, bg.g, bg.b, 1.f);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    syncBuffers();

    const double w = std::max(1.0, width() * devicePixelRatioF());
    const double h = std::max(1.0, height() * devicePixelRatioF());
    glViewport(0, 0, static_cast<GLsizei>(w), static_cast<GLsizei>(h));
    glMatrixMode(GL_PROJECTION);
    const Mat4 p = mScene.camera().projectionMatrix(w / h);
    glLoadMatrixd(p.data());
    glMatrixMode(GL_MODELVIEW);
    const Mat4 v = mScene.camera().viewMatrix();
    glLoadMatrixd(v.data());
    // Everything hangs under the origin, whose Z scale is 1 or 10.
    glScaled(1.0, 1.0, mScene.zScale());

    Mat4 scaled = v;
    for (int i = 8; i < 12; ++i) scaled[static_cast<std::size_t>(i)] *= mScene.zScale();
    const LodSelector view(multiply(p, scaled), mScene.camera().Position, pixelsPerUnitAtUnitDistance(), mScene.zScale());

    drawArrows();
    drawLines(view, p, scaled, static_cast<int>(w), static_cast<int>(h));
    const NodedLine& init = mScene.skeletonPositioning();
    const NodedLine& end = mScene.skeletonWorking();
    drawNodes(mLods[kInitLines], init.NodeColor, init.NodeSize, view);
    drawNodes(mLods[kEndLines], end.NodeColor, end.NodeSize, view);
    drawNodes(mLods[kSctMarkers], Scene3D::kSctMarker, mScene.nodeSize(), view);
    drawCurrentSctMarkers();
    drawPoints(mJobA, mScene.executedActive().Color, mScene.executedActive().Size);
    drawPoints(mJobB, mScene.executedInactive().Color, mScene.executedInactive().Size);
    drawCone();
}

}  // namespace mvx
