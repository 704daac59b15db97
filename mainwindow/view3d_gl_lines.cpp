#include "view3d_gl_lines.h"

#include <QOffscreenSurface>
#include <QOpenGLContext>
#include <QOpenGLFunctions>
#include <QThread>

#include <algorithm>
#include <condition_variable>
#include <cstring>
#include <mutex>
#include <string>
#include <tuple>

namespace mvx {

using namespace view3d;

namespace {
// Dashes of the line pattern (factor 1), one bit per pixel along the piece's major axis,
// counted in window coordinates: a strip of pieces far shorter than a pixel is dashed as one
// line, as the fixed-function stipple dashes a line strip. The flat value (a vertex of the
// piece) tells the major axis.
const char* const kDashVertex = R"(#version 130
uniform vec2 viewport;
flat out vec2 corner;
void main()
{
    gl_Position = gl_ModelViewProjectionMatrix * gl_Vertex;
    corner = (gl_Position.xy / gl_Position.w * 0.5 + 0.5) * viewport;
}
)";
const char* const kDashFragment = R"(#version 130
uniform vec4 colour;
uniform int pattern;
flat in vec2 corner;
void main()
{
    vec2 d = abs(gl_FragCoord.xy - corner);
    int bit = int(d.x >= d.y ? gl_FragCoord.x : gl_FragCoord.y) & 15;
    if (((pattern >> bit) & 1) == 0) discard;
    gl_FragColor = colour;
}
)";
// The layers over the whole frame in one pass: at each pixel the nearest fragment, the later
// layer's where depths tie (as the later line wins in one context); pixels no line reached (depth
// and alpha as cleared) let the frame through.
const char* const kComposeVertex = R"(#version 130
void main()
{
    gl_Position = gl_Vertex;
}
)";

std::string composeFragment(int layers)
{
    std::string s = "#version 130\n";
    for (int i = 0; i < layers; ++i) {
        const std::string n = std::to_string(i);
        s += "uniform sampler2D colour" + n + ";\nuniform sampler2D depth" + n + ";\n";
    }
    s += "void main()\n{\n    ivec2 p = ivec2(gl_FragCoord.xy);\n    float best = 2.0;\n    vec4 colour = vec4(0.0);\n"
         "    float d;\n    vec4 c;\n";
    for (int i = 0; i < layers; ++i) {
        const std::string n = std::to_string(i);
        s += "    d = texelFetch(depth" + n + ", p, 0).r;\n    c = texelFetch(colour" + n + ", p, 0);\n"
             "    if ((d < 1.0 || c.a > 0.0) && d <= best) {\n        best = d;\n        colour = c;\n    }\n";
    }
    s += "    if (best > 1.0) discard;\n    gl_FragDepth = best;\n    gl_FragColor = colour;\n}\n";
    return s;
}
constexpr GLenum kDepthComponent24 = 0x81A6;

bool softwareRenderer(QOpenGLContext& context)
{
    const auto* name = reinterpret_cast<const char*>(context.functions()->glGetString(GL_RENDERER));
    if (!name) return false;
    for (const char* soft : {"llvmpipe", "softpipe", "swrast"})
        if (std::strstr(name, soft)) return true;
    return false;
}
}  // namespace

std::unique_ptr<QOpenGLContext> MakeSharedContext(QOpenGLContext& view, QOffscreenSurface& surface)
{
    surface.setFormat(view.format());
    surface.create();
    if (!surface.isValid()) return nullptr;
    auto context = std::make_unique<QOpenGLContext>();
    context->setFormat(view.format());
    context->setShareContext(&view);
    if (!context->create() || !context->shareContext()) return nullptr;
    return context;
}

std::unique_ptr<QOpenGLShaderProgram> MakeProgram(const char* vertex, const char* fragment)
{
    auto p = std::make_unique<QOpenGLShaderProgram>();
    if (!p->addShaderFromSourceCode(QOpenGLShader::Vertex, vertex) ||
        !p->addShaderFromSourceCode(QOpenGLShader::Fragment, fragment) || !p->link())
        return nullptr;
    return p;
}

std::size_t LineBatch::pieces() const
{
    std::size_t n = 0;
    for (GLsizei c : Counts) n += static_cast<std::size_t>(std::max(c - 1, 0));
    return n;
}

std::unique_ptr<QOpenGLShaderProgram> MakeDashProgram(const QOpenGLContext& context)
{
    if (context.format().version() < qMakePair(3, 0)) return nullptr;
    return MakeProgram(kDashVertex, kDashFragment);
}

void DrawLineBatch(QOpenGLFunctions_2_1& gl, QOpenGLShaderProgram* dashes, const LineBatch& batch, int width, int height)
{
    if (batch.Firsts.empty()) return;
    const Rgba& c = batch.Colour;
    const bool dashed = batch.Pattern != 0xFFFF;
    const bool shaded = dashed && dashes && dashes->bind();
    if (shaded) {
        dashes->setUniformValue("viewport", static_cast<GLfloat>(std::max(1, width)), static_cast<GLfloat>(std::max(1, height)));
        dashes->setUniformValue("colour", c.r, c.g, c.b, c.a);
        dashes->setUniformValue("pattern", static_cast<GLint>(batch.Pattern));
    } else if (dashed) {
        gl.glEnable(GL_LINE_STIPPLE);
        gl.glLineStipple(1, batch.Pattern);
    }
    gl.glColor4f(c.r, c.g, c.b, c.a);
    gl.glBindBuffer(GL_ARRAY_BUFFER, batch.Buffer);
    gl.glEnableClientState(GL_VERTEX_ARRAY);
    gl.glVertexPointer(3, GL_FLOAT, 0, nullptr);
    gl.glMultiDrawArrays(GL_LINE_STRIP, batch.Firsts.data(), batch.Counts.data(), static_cast<GLsizei>(batch.Firsts.size()));
    gl.glDisableClientState(GL_VERTEX_ARRAY);
    gl.glBindBuffer(GL_ARRAY_BUFFER, 0);
    if (shaded) dashes->release();
    gl.glDisable(GL_LINE_STIPPLE);
}

// What the view and its helpers hand each other, under the mutex.
struct LineLayers::Shared {
    std::mutex Mutex;
    std::condition_variable Wake, Done;
    std::uint64_t Frame = 0;
    int Pending = 0;
    bool Quit = false;
    Mat4 Projection{}, ModelView{};
    int Width = 0, Height = 0;
};

struct LineLayers::Helper {
    QOffscreenSurface Surface;
    QOpenGLContext* Context = nullptr;
    std::unique_ptr<QThread> Thread;
    // Written by the view while no frame is pending; read by the helper during one.
    std::vector<LineBatch> Part;
    GLuint Colour = 0, Depth = 0;
    bool Drawn = false;
    bool Failed = false;

    void run(Shared& shared, QThread* home);

private:
    bool drawPart(QOpenGLFunctions_2_1& gl, QOpenGLFunctions& f, QOpenGLShaderProgram* dashes, const Mat4& projection,
                  const Mat4& modelView, int width, int height);
    GLuint mFbo = 0;
    int mWidth = 0, mHeight = 0;
};

void LineLayers::Helper::run(Shared& shared, QThread* home)
{
    QOpenGLFunctions_2_1 gl;
    bool ready = Context->makeCurrent(&Surface);
    QOpenGLFunctions* f = ready ? Context->functions() : nullptr;
    std::unique_ptr<QOpenGLShaderProgram> dashes;
    try {
        ready = ready && gl.initializeOpenGLFunctions();
        if (ready) dashes = MakeDashProgram(*Context);
    } catch (...) {
        ready = false;  // answers every frame with "not drawn"
    }
    std::uint64_t seen = 0;
    for (;;) {
        Mat4 projection, modelView;
        int width = 0, height = 0;
        {
            std::unique_lock lock(shared.Mutex);
            shared.Wake.wait(lock, [&] { return shared.Quit || shared.Frame != seen; });
            if (shared.Quit) break;
            seen = shared.Frame;
            projection = shared.Projection;
            modelView = shared.ModelView;
            width = shared.Width;
            height = shared.Height;
        }
        bool drawn = false;
        try {
            drawn = ready && drawPart(gl, *f, dashes.get(), projection, modelView, width, height);
        } catch (...) {
            drawn = false;
        }
        {
            std::lock_guard lock(shared.Mutex);
            Drawn = drawn;
            Failed = Failed || !drawn;
            --shared.Pending;
        }
        shared.Done.notify_all();
    }
    if (f) {
        dashes.reset();
        if (mFbo) f->glDeleteFramebuffers(1, &mFbo);
        const GLuint textures[2] = {Colour, Depth};
        f->glDeleteTextures(2, textures);
        Context->doneCurrent();
    }
    Context->moveToThread(home);
}

bool LineLayers::Helper::drawPart(QOpenGLFunctions_2_1& gl, QOpenGLFunctions& f, QOpenGLShaderProgram* dashes,
                                  const Mat4& projection, const Mat4& modelView, int width, int height)
{
    if (!mFbo || width != mWidth || height != mHeight) {
        if (!mFbo) {
            f.glGenFramebuffers(1, &mFbo);
            f.glGenTextures(1, &Colour);
            f.glGenTextures(1, &Depth);
        }
        for (const auto& [texture, internal, format, type] :
             {std::tuple{Colour, GLint{GL_RGBA8}, GLenum{GL_RGBA}, GLenum{GL_UNSIGNED_BYTE}},
              std::tuple{Depth, GLint{kDepthComponent24}, GLenum{GL_DEPTH_COMPONENT}, GLenum{GL_UNSIGNED_INT}}}) {
            f.glBindTexture(GL_TEXTURE_2D, texture);
            f.glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
            f.glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
            f.glTexImage2D(GL_TEXTURE_2D, 0, internal, width, height, 0, format, type, nullptr);
        }
        f.glBindTexture(GL_TEXTURE_2D, 0);
        f.glBindFramebuffer(GL_FRAMEBUFFER, mFbo);
        f.glFramebufferTexture2D(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_TEXTURE_2D, Colour, 0);
        f.glFramebufferTexture2D(GL_FRAMEBUFFER, GL_DEPTH_ATTACHMENT, GL_TEXTURE_2D, Depth, 0);
        mWidth = width;
        mHeight = height;
        if (f.glCheckFramebufferStatus(GL_FRAMEBUFFER) != GL_FRAMEBUFFER_COMPLETE) return false;
    }
    f.glBindFramebuffer(GL_FRAMEBUFFER, mFbo);
    gl.glViewport(0, 0, width, height);
    gl.glClearColor(0.f, 0.f, 0.f, 0.f);
    gl.glClearDepth(1.0);
    gl.glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    gl.glEnable(GL_DEPTH_TEST);
    gl.glDepthFunc(GL_LEQUAL);
    gl.glMatrixMode(GL_PROJECTION);
    gl.glLoadMatrixd(projection.data());
    gl.glMatrixMode(GL_MODELVIEW);
    gl.glLoadMatrixd(modelView.data());
    for (const LineBatch& batch : Part) DrawLineBatch(gl, dashes, batch, width, height);
    // The view reads the layer from its own context next.
    gl.glFinish();
    return true;
}

std::unique_ptr<LineLayers> LineLayers::Make(QOpenGLContext& view)
{
    if (view.isOpenGLES() || view.format().version() < qMakePair(3, 0) || !softwareRenderer(view)) return nullptr;
    // The renderer's own threads rasterize: half the cores set up lines, at most four (more
    // gain little, each layer costs its share of laying them over the frame).
    const int count = std::min(QThread::idealThreadCount() / 2, 4);
    if (count < 2) return nullptr;
    std::unique_ptr<LineLayers> layers(new LineLayers);
    layers->mShared = std::make_shared<Shared>();
    layers->mCompose = MakeProgram(kComposeVertex, composeFragment(count).c_str());
    if (!layers->mCompose) return nullptr;
    for (int i = 0; i < count; ++i) {
        auto helper = std::make_unique<Helper>();
        std::unique_ptr<QOpenGLContext> context = MakeSharedContext(view, helper->Surface);
        if (!context) return nullptr;
        helper->Context = context.release();
        Helper& h = *helper;
        Shared& shared = *layers->mShared;
        QThread* home = QThread::currentThread();
        helper->Thread.reset(QThread::create([&h, &shared, home] { h.run(shared, home); }));
        helper->Context->moveToThread(helper->Thread.get());
        layers->mHelpers.push_back(std::move(helper));
        layers->mHelpers.back()->Thread->start();
    }
    return layers;
}

LineLayers::~LineLayers() { stop(); }

void LineLayers::stop()
{
    if (mShared) {
        {
            std::lock_guard lock(mShared->Mutex);
            mShared->Quit = true;
        }
        mShared->Wake.notify_all();
    }
    for (std::unique_ptr<Helper>& h : mHelpers) {
        if (h->Thread) h->Thread->wait();
        delete h->Context;  // back on this thread once its helper has ended
        h->Context = nullptr;
    }
    mHelpers.clear();
}

bool LineLayers::draw(QOpenGLFunctions_2_1& gl, const std::vector<LineBatch>& batches, const Mat4& projection,
                      const Mat4& modelView, int width, int height)
{
    if (mHelpers.empty()) return false;
    for (const std::unique_ptr<Helper>& h : mHelpers)
        if (!h->Thread->isRunning()) return false;  // a thread the system would not start never answers
    std::size_t total = 0;
    for (const LineBatch& b : batches) total += b.pieces();
    if (total == 0) return true;
    {
        std::lock_guard lock(mShared->Mutex);
        for (const std::unique_ptr<Helper>& h : mHelpers)
            if (h->Failed) return false;
    }
    // Parts of equal numbers of pieces, in drawing order; a strip may end in one part and go
    // on in the next from the same point.
    const std::size_t share = (total + mHelpers.size() - 1) / mHelpers.size();
    std::size_t helper = 0, room = share;
    for (const std::unique_ptr<Helper>& h : mHelpers) h->Part.clear();
    for (const LineBatch& b : batches) {
        bool opened = false;  // the current helper's part holds a batch of `b`
        for (std::size_t s = 0; s < b.Firsts.size(); ++s) {
            GLint first = b.Firsts[s];
            std::size_t left = static_cast<std::size_t>(std::max(b.Counts[s] - 1, 0));
            while (left > 0) {
                if (room == 0 && helper + 1 < mHelpers.size()) {
                    ++helper;
                    room = share;
                    opened = false;
                }
                std::vector<LineBatch>& part = mHelpers[helper]->Part;
                if (!opened) part.push_back({b.Buffer, b.Colour, b.Pattern, {}, {}});
                opened = true;
                const std::size_t take = helper + 1 < mHelpers.size() ? std::min(left, room) : left;
                part.back().Firsts.push_back(first);
                part.back().Counts.push_back(static_cast<GLsizei>(take + 1));
                first += static_cast<GLint>(take);
                left -= take;
                room -= std::min(room, take);
            }
        }
    }
    // The helpers read the view's buffers: what this context wrote to them must be there.
    gl.glFlush();
    {
        std::unique_lock lock(mShared->Mutex);
        ++mShared->Frame;
        mShared->Pending = static_cast<int>(mHelpers.size());
        mShared->Projection = projection;
        mShared->ModelView = modelView;
        mShared->Width = width;
        mShared->Height = height;
        mShared->Wake.notify_all();
        mShared->Done.wait(lock, [&] { return mShared->Pending == 0; });
        for (const std::unique_ptr<Helper>& h : mHelpers)
            if (!h->Drawn) return false;
    }
    if (!mCompose->bind()) return false;
    GLenum unit = GL_TEXTURE0;
    for (std::size_t i = 0; i < mHelpers.size(); ++i) {
        const std::string n = std::to_string(i);
        mCompose->setUniformValue(("colour" + n).c_str(), static_cast<GLint>(2 * i));
        mCompose->setUniformValue(("depth" + n).c_str(), static_cast<GLint>(2 * i + 1));
        gl.glActiveTexture(unit++);
        gl.glBindTexture(GL_TEXTURE_2D, mHelpers[i]->Colour);
        gl.glActiveTexture(unit++);
        gl.glBindTexture(GL_TEXTURE_2D, mHelpers[i]->Depth);
    }
    gl.glBegin(GL_QUADS);
    gl.glVertex2f(-1.f, -1.f);
    gl.glVertex2f(1.f, -1.f);
    gl.glVertex2f(1.f, 1.f);
    gl.glVertex2f(-1.f, 1.f);
    gl.glEnd();
    while (unit-- > GL_TEXTURE0) {
        gl.glActiveTexture(unit);
        gl.glBindTexture(GL_TEXTURE_2D, 0);
    }
    mCompose->release();
    return true;
}

}  // namespace mvx
