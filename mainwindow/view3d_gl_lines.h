#pragma once
// Line strips of the 3D view's drawings, as the view's context draws them and as helper contexts
// draw them in parallel. A software renderer sets up each line on the thread that calls it: one
// thread sets the pace of a frame of a hundred thousand pieces, whatever its rasterizer threads.
// `LineLayers` spreads such a frame over helper contexts that share the view's buffers; each draws
// its part into a layer of its own (colour and depth), and the view lays the layers over its frame
// in order, each fragment at its depth. The picture is the one a single context draws: the parts
// follow each other in drawing order, so where depths tie the later part wins, as the later line
// does in one context.

#include "scene3d.h"

#include <QOpenGLFunctions_2_1>
#include <QOpenGLShaderProgram>

#include <memory>
#include <vector>

class QOffscreenSurface;
class QOpenGLContext;

namespace mvx {

// Strips of one drawing in one colour and dash pattern (0xFFFF: solid).
struct LineBatch {
    GLuint Buffer = 0;
    view3d::Rgba Colour;
    std::uint16_t Pattern = 0xFFFF;
    std::vector<GLint> Firsts;
    std::vector<GLsizei> Counts;

    std::size_t pieces() const;
};

// A context sharing `view`'s objects, for another thread, on `surface` (made here); null where
// none can be made. Call on the GUI thread.
std::unique_ptr<QOpenGLContext> MakeSharedContext(QOpenGLContext& view, QOffscreenSurface& surface);
// A linked program, or null.
std::unique_ptr<QOpenGLShaderProgram> MakeProgram(const char* vertex, const char* fragment);
// The program of dashed lines; null where the driver has no GLSL 1.30 (fixed-function stipple).
std::unique_ptr<QOpenGLShaderProgram> MakeDashProgram(const QOpenGLContext& context);
// Draws the batch with the current matrices; `viewport` in pixels.
void DrawLineBatch(QOpenGLFunctions_2_1& gl, QOpenGLShaderProgram* dashes, const LineBatch& batch, int width, int height);

class LineLayers {
public:
    // Frames with fewer pieces are drawn faster by the view's context alone.
    static constexpr std::size_t kMinPieces = 20000;

    // Helpers sharing `view`'s objects, where the driver is a software renderer that gains from
    // them (none on a graphics card: one context is faster there) and the cores this thread may
    // run on leave room for them. Null when none are made. Call with `view` current, on its thread.
    static std::unique_ptr<LineLayers> Make(QOpenGLContext& view);
    ~LineLayers();
    LineLayers(const LineLayers&) = delete;
    LineLayers& operator=(const LineLayers&) = delete;

    // Draws the batches in order with these matrices into the layers and lays them over the
    // current frame buffer of `view` (depth test on). False when the layers could not draw: the
    // caller draws the batches itself.
    bool draw(QOpenGLFunctions_2_1& gl, const std::vector<LineBatch>& batches, const view3d::Mat4& projection,
              const view3d::Mat4& modelView, int width, int height);

private:
    struct Shared;
    struct Helper;
    LineLayers() = default;
    void stop();

    std::shared_ptr<Shared> mShared;
    std::vector<std::unique_ptr<Helper>> mHelpers;
    std::unique_ptr<QOpenGLShaderProgram> mCompose;
};

}  // namespace mvx
