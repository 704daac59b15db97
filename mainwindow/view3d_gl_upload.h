#pragma once
// Big vertex arrays go to the GL on a thread of its own, through a context that shares the view's
// objects. A software renderer copies a drawing of a million pieces (some 40 MB) into memory it
// allocates and faults in for the purpose: on the window's thread that held the first paint of a
// big job path for over 100 ms.

#include "scene3d.h"

#include <QOpenGLFunctions>

#include <functional>
#include <memory>
#include <vector>

class QOpenGLContext;

namespace mvx {

class VertexUploader {
public:
    // What becomes of a finished buffer: true when its new owner took it, false to delete it.
    // A buffer of 0 could not be made: the points come back instead.
    using Done = std::function<bool(GLuint buffer, std::vector<view3d::Point3f>&& points)>;

    // Null where no shared context can be made. Call with `view` current, on its thread.
    static std::unique_ptr<VertexUploader> Make(QOpenGLContext& view);
    // Ends the thread once the upload in hand is done; the queued ones are dropped.
    ~VertexUploader();
    VertexUploader(const VertexUploader&) = delete;
    VertexUploader& operator=(const VertexUploader&) = delete;

    // Queues the points; `done` runs on the uploader's thread with the buffer that holds them.
    void upload(std::vector<view3d::Point3f> points, Done done);

private:
    struct State;
    VertexUploader() = default;
    std::shared_ptr<State> mState;
};

}  // namespace mvx
