// The engine's skeleton with nothing read: what its event loop, timers and threads cost before
// a single file is opened. overhead_table.sh sets it against the floor, which reads the files
// with nothing around them, to tell the gap's two parts apart.
//
// Shaped as `orbimeter-probe --watch` is on a machine at rest:
//   main thread   a Qt event loop; a tick timer every second that posts one call to itself for
//                 the next turn (as the sensor readings are published), and a process timer
//                 every 3 s that hands a job to the walk thread
//   walk thread   a QThread with its own event loop; each job posts its result back to the main
//                 thread, which wakes for it
//   Wi-Fi thread  a plain thread waiting on a condition, asked for a reading every fifth tick
// Usage: orbimeter_event_loop   (runs until stopped)
#include <QCoreApplication>
#include <QThread>
#include <QTimer>
#include <condition_variable>
#include <mutex>
#include <thread>

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);

    QThread walkThread;
    auto* walker = new QObject;
    walker->moveToThread(&walkThread);
    QObject::connect(&walkThread, &QThread::finished, walker, &QObject::deleteLater);
    walkThread.start();

    std::mutex mutex;
    std::condition_variable wake;
    bool wanted = false;
    bool stopping = false;
    std::thread wifi([&] {
        std::unique_lock lock(mutex);
        for (;;) {
            wake.wait(lock, [&] { return wanted || stopping; });
            if (stopping)
                return;
            wanted = false;
        }
    });

    unsigned ticks = 0;
    unsigned results = 0;
    QTimer tick;
    tick.setInterval(1000);
    QObject::connect(&tick, &QTimer::timeout, &app, [&] {
        QMetaObject::invokeMethod(
            &app, [&] { ++ticks; }, Qt::QueuedConnection);
        if (ticks % 5 == 0) {
            const std::lock_guard lock(mutex);
            wanted = true;
            wake.notify_one();
        }
    });
    QTimer walk;
    walk.setInterval(3000);
    QObject::connect(&walk, &QTimer::timeout, &app, [&] {
        QMetaObject::invokeMethod(
            walker,
            [&] {
                QMetaObject::invokeMethod(
                    &app, [&] { ++results; }, Qt::QueuedConnection);
            },
            Qt::QueuedConnection);
    });
    tick.start();
    walk.start();

    const int status = QCoreApplication::exec();
    {
        const std::lock_guard lock(mutex);
        stopping = true;
        wake.notify_one();
    }
    wifi.join();
    walkThread.quit();
    walkThread.wait();
    return status;
}
