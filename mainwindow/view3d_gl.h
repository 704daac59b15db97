#pragma once
// OpenGL renderer of the 3D scene (compatibility profile: line stipple, smooth additive points).
// Paths live in vertex buffers that are rebuilt only when their part of the scene changed, so a
// drawing of a million pieces turns smoothly; painting happens only on update() requests.

#include "scene3d.h"

#include <QOpenGLFunctions_2_1>
#include <QOpenGLWidget>

namespace mvx {

class View3DGL : public QOpenGLWidget, protected QOpenGLFunctions_2_1 {
    Q_OBJECT
public:
    explicit View3DGL(view3d::Scene3D& scene, QWidget* parent = nullptr);
    ~View3DGL() override;

    // The surface format the renderer asks for (and the availability test tries).
    static QSurfaceFormat RequestedFormat();
    // False when the context could not give the fixed-function entry points.
    bool rendererReady() const noexcept { return mReady; }

protected:
    void initializeGL() override;
    void resizeGL(int w, int h) override;
    void paintGL() override;

private:
    struct Buffer {
        GLuint Id = 0;
        GLsizei Count = 0;
    };
    void upload(Buffer& b, const std::vector<view3d::Point3f>& points);
    void paintScene();
    void syncBuffers();
    void releaseBuffers();
    void drawLines(const Buffer& b, const view3d::Rgba& c, std::uint16_t pattern);
    void drawNodes(const Buffer& b, const view3d::Rgba& c, double size);
    void drawPoints(const Buffer& b, const view3d::Rgba& c, float size);
    void drawArrows();
    void drawCone();
    void drawCurrentSctMarkers();
    double pixelsPerUnitAtUnitDistance() const;

    view3d::Scene3D& mScene;
    bool mReady = false;
    view3d::Scene3D::Revisions mBuilt{~0ull, ~0ull, ~0ull, ~0ull, ~0ull};
    Buffer mSctLines, mSctMarkers, mInitLines, mEndLines, mJobA, mJobB;
};

}  // namespace mvx
