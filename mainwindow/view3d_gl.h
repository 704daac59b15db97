#pragma once
// OpenGL renderer of the 3D scene (compatibility profile: line stipple, smooth additive points).
// Lines are drawn as strips. Where the driver has GLSL 1.30, dashed lines and nodes are drawn by
// small shaders: a software renderer cuts stippled lines into dashes and smooth points into
// quads on the calling thread, which costs more than the rest of a frame. On such a renderer the
// lines of a frame of many pieces are drawn on helper contexts in parallel (view3d_gl_lines.h).
// Paths live in vertex buffers that are rebuilt only when their part of the scene changed, with
// coarser copies of big drawings (scene3d_lod.h), so a drawing of a million pieces turns
// smoothly; painting happens only on update() requests. The coarse copies of a big drawing are
// built on a worker thread and put in their GL buffer on another (view3d_gl_upload.h): until
// they are ready the view draws the rest (a new job path: none of it; a changed SCT drawing: the
// one before) and repaints when they come.

#include "scene3d.h"
#include "scene3d_lod.h"
#include "view3d_gl_lines.h"
#include "view3d_gl_upload.h"

#include <QOpenGLFunctions_2_1>
#include <QOpenGLShaderProgram>
#include <QOpenGLWidget>

#include <array>
#include <functional>
#include <memory>

namespace mvx {

class View3DGL : public QOpenGLWidget, protected QOpenGLFunctions_2_1 {
    Q_OBJECT
public:
    explicit View3DGL(view3d::Scene3D& scene, QWidget* parent = nullptr);
    ~View3DGL() override;

    // The surface format the renderer asks for (and the availability test tries).
    static QSurfaceFormat RequestedFormat();
    // True while a drawing's coarse copies are being built on a worker.
    bool buildsPending() const;

protected:
    void initializeGL() override;
    void resizeGL(int w, int h) override;
    void paintGL() override;

private:
    struct Buffer {
        GLuint Id = 0;
        GLsizei Count = 0;
    };
    // A drawing with its chunks and coarse copies; the vertices live in the GL buffer only.
    struct LodBuffer {
        GLuint Id = 0;
        view3d::LineLod Lod;
    };
    // The drawings with coarse copies, by their place in mLods and in the workers' mailbox.
    enum Slot { kSctLines, kSctMarkers, kInitLines, kEndLines, kSlots };
    struct LodMail;

    void upload(Buffer& b, const std::vector<view3d::Point3f>& points);
    void upload(LodBuffer& b, view3d::LineLod lod);
    // Takes the buffer the uploader made (or, where it could not, the points) for the drawing.
    void install(LodBuffer& b, view3d::LineLod lod, GLuint buffer, std::vector<view3d::Point3f> points);
    // Makes the slot's drawing with `make`: here when it has at most a few tens of thousands of
    // `pieces`, else on a worker. `keepPicture`: the slot draws what it had until then.
    void build(Slot slot, std::size_t pieces, std::function<view3d::LineLod()> make, bool keepPicture);
    void takeFinishedBuilds();
    void syncSkeleton(Slot slot, std::weak_ptr<const view3d::LineStrips>& built,
                      const std::shared_ptr<const view3d::LineStrips>& strips);
    void paintScene();
    void syncBuffers();
    void releaseBuffers();
    void collectLines(const LodBuffer& b, const view3d::Rgba& c, std::uint16_t pattern, const view3d::LodSelector& view,
                      LineBatch& batch);
    void drawLines(const view3d::LodSelector& view, const view3d::Mat4& projection, const view3d::Mat4& modelView,
                   int width, int height);
    void drawNodes(const LodBuffer& b, const view3d::Rgba& c, double size, const view3d::LodSelector& view);
    void drawRanges(const LodBuffer& b, GLenum mode);
    void makeShaders();
    void drawPoints(const Buffer& b, const view3d::Rgba& c, float size);
    void drawArrows();
    void drawCone();
    void drawCurrentSctMarkers();
    double pixelsPerUnitAtUnitDistance() const;

    view3d::Scene3D& mScene;
    bool mReady = false;
    view3d::Scene3D::Revisions mBuilt{~0ull, ~0ull, ~0ull, ~0ull, ~0ull};
    std::array<LodBuffer, kSlots> mLods;
    // The skeleton strips the buffers were made from (a new drawing is a new object).
    std::weak_ptr<const view3d::LineStrips> mBuiltInit, mBuiltEnd;
    std::shared_ptr<LodMail> mMail;
    std::uint64_t mLastTicket = 0;
    Buffer mJobA, mJobB;
    // Null where the driver cannot run them: fixed-function stipple and smooth points instead.
    std::unique_ptr<QOpenGLShaderProgram> mDashes, mNodes;
    // Null where one context draws the lines best.
    std::unique_ptr<LineLayers> mLayers;
    // Null where no shared context can be made: big drawings go to the GL here.
    std::unique_ptr<VertexUploader> mUploader;
    std::vector<LineBatch> mBatches;
    // The ranges of one draw call (kept to spare an allocation per frame).
    std::vector<GLint> mFirsts;
    std::vector<GLsizei> mCounts;
};

}  // namespace mvx
