#include "view3d_gl_upload.h"

#include "view3d_gl_lines.h"

#include <QOffscreenSurface>
#include <QOpenGLContext>
#include <QThread>

#include <condition_variable>
#include <deque>
#include <mutex>

namespace mvx {

using namespace view3d;

struct VertexUploader::State {
    QOffscreenSurface Surface;
    std::unique_ptr<QOpenGLContext> Context;
    std::unique_ptr<QThread> Thread;
    std::mutex Mutex;
    std::condition_variable Wake;
    bool Quit = false;
    std::deque<std::pair<std::vector<Point3f>, Done>> Jobs;

    void run(QThread* home);
};

void VertexUploader::State::run(QThread* home)
{
    const bool ready = Context->makeCurrent(&Surface);
    QOpenGLFunctions* f = ready ? Context->functions() : nullptr;
    for (;;) {
        std::pair<std::vector<Point3f>, Done> job;
        {
            std::unique_lock lock(Mutex);
            Wake.wait(lock, [&] { return Quit || !Jobs.empty(); });
            if (Quit) break;
            job = std::move(Jobs.front());
            Jobs.pop_front();
        }
        GLuint id = 0;
        try {
            if (f) {
                f->glGenBuffers(1, &id);
                f->glBindBuffer(GL_ARRAY_BUFFER, id);
                f->glBufferData(GL_ARRAY_BUFFER, static_cast<GLsizeiptr>(job.first.size() * sizeof(Point3f)),
                                job.first.empty() ? nullptr : job.first.data(), GL_STATIC_DRAW);
                f->glBindBuffer(GL_ARRAY_BUFFER, 0);
                if (f->glGetError() != GL_NO_ERROR) {
                    f->glDeleteBuffers(1, &id);
                    id = 0;
                }
                // Another context draws from it next.
                f->glFinish();
            }
            if (id) job.first = {};
            if (!job.second(id, std::move(job.first)) && id) f->glDeleteBuffers(1, &id);
        } catch (...) {
            // The owner's mailbox failed (out of memory): the buffer is not wanted.
            if (id) f->glDeleteBuffers(1, &id);
        }
    }
    {
        std::lock_guard lock(Mutex);
        Jobs.clear();
    }
    if (ready) Context->doneCurrent();
    Context->moveToThread(home);
}

std::unique_ptr<VertexUploader> VertexUploader::Make(QOpenGLContext& view)
{
    if (view.isOpenGLES()) return nullptr;
    std::unique_ptr<VertexUploader> uploader(new VertexUploader);
    auto state = std::make_shared<State>();
    state->Context = MakeSharedContext(view, state->Surface);
    if (!state->Context) return nullptr;
    QThread* home = QThread::currentThread();
    State& s = *state;
    state->Thread.reset(QThread::create([&s, home] { s.run(home); }));
    state->Context->moveToThread(state->Thread.get());
    uploader->mState = std::move(state);
    uploader->mState->Thread->start();
    return uploader;
}

VertexUploader::~VertexUploader()
{
    if (!mState) return;
    {
        std::lock_guard lock(mState->Mutex);
        mState->Quit = true;
    }
    mState->Wake.notify_all();
    if (mState->Thread) mState->Thread->wait();
}

void VertexUploader::upload(std::vector<Point3f> points, Done done)
{
    {
        std::lock_guard lock(mState->Mutex);
        mState->Jobs.emplace_back(std::move(points), std::move(done));
    }
    mState->Wake.notify_one();
}

}  // namespace mvx
