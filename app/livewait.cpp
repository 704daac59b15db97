#include "app/livewait.h"

#include <QEventLoop>
#include <QMetaObject>
#include <QTimer>

#include <exception>
#include <thread>

namespace mvx {

std::string RunInWorker(const std::function<void()>& work, const std::function<void()>& tick, int tickMs)
{
    QEventLoop loop;
    QTimer timer;
    if (tick) {
        QObject::connect(&timer, &QTimer::timeout, &loop, [&tick] {
            try {
                tick();
            } catch (...) {
            }
        });
        timer.start(tickMs);
    }
    std::string error;
    std::thread worker([&] {
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
    });
    loop.exec();
    worker.join();
    timer.stop();
    if (tick) {
        try {
            tick();
        } catch (...) {
        }
    }
    return error;
}

}  // namespace mvx
