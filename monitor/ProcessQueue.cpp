#include "monitor/ProcessQueue.h"

#include "platform/Platform.h"

#include <QMetaObject>

namespace orb {

ProcessQueue::ProcessQueue(const QString& label, Walk walk, QObject* receiver, Publish publish)
    : worker_(new QObject), walk_(std::move(walk)), receiver_(receiver),
      publish_(std::move(publish)) {
    thread_.setObjectName(label);
    worker_->moveToThread(&thread_);
    QObject::connect(&thread_, &QThread::finished, worker_, &QObject::deleteLater);
    // Without a context object the slot runs on the thread that emits: the new thread, before
    // it takes its first job. Qt's thread priorities do nothing under Linux's normal policy.
    QObject::connect(&thread_, &QThread::started, [] { platform::lowerCurrentThreadPriority(); });
    thread_.start();
}

ProcessQueue::~ProcessQueue() {
    thread_.quit();
    thread_.wait();
    walk_ = nullptr; // the walk's state goes only now that its thread has stopped
}

void ProcessQueue::scheduleWalk() {
    QMetaObject::invokeMethod(
        worker_,
        [this] {
            QMetaObject::invokeMethod(
                receiver_, [publish = publish_, result = walk_()] { publish(result); },
                Qt::QueuedConnection);
        },
        Qt::QueuedConnection);
}

} // namespace orb
