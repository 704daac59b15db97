#include "app/livewait.h"

#include <QEventLoop>
#include <QMetaObject>
#include <QThreadPool>
#include <QTimer>

#include <exception>
#include <semaphore>

#include <malloc.h>

namespace mvx {

namespace {

// Worker threads are kept and reused: a series of waits (one per uploaded file) starts no thread each.
QThreadPool& workerThreads()
{
    static QThreadPool* pool = [] {
        auto* p = new QThreadPool;  // never destroyed: idle threads end on their own
        p->setMaxThreadCount(64);
        p->setExpiryTimeout(30000);
        return p;
    }();
    return *pool;
}

}  // namespace

std::string RunInWorker(const std::function<void()>& work, const std::function<void()>& tick, int tickMs)
{
    QEventLoop loop;
    QTimer timer;
    if (tick) {
        QObject::connect(&timer, &QTimer::timeout, &loop, [&tick] {
            try {
                tick();
            } catch (...) {
                // A tick only refreshes the caller's display; the next one draws again.
            }
        });
        timer.start(tickMs);
    }
    std::string error;
    std::binary_semaphore finished{0};
    workerThreads().start([&] {
        try {
            work();
        } catch (const std::exception& e) {
            error = e.what();
            if (error.empty()) error = "unknown error";
        } catch (...) {
            error = "unknown error";
        }
        // Queued: the quit runs on the GUI thread, inside loop.exec() (even if posted before it).
        QMetaObject::invokeMethod(&loop, [&loop] { loop.quit(); }, Qt::QueuedConnection);
        finished.release();
    });
    loop.exec();
    // The worker touches nothing of this frame once it has released.
    finished.acquire();
    timer.stop();
    if (tick) {
        try {
            tick();
        } catch (...) {
            // The last refresh only: the work's own failure is in `error`.
        }
    }
    return error;
}

void RunInBackground(std::function<void()> work)
{
    workerThreads().start([work = std::move(work)] {
        try {
            work();
        } catch (...) {
            // The caller's work reports its own failures; nothing may escape a worker.
        }
    });
}

void ReleaseInBackground(std::function<void()> release)
{
    RunInBackground([release = std::move(release)] {
        release();
        ReturnFreedMemory();
    });
}

void ReturnFreedMemory()
{
#ifdef __GLIBC__
    ::malloc_trim(0);
#endif
}

}  // namespace mvx
