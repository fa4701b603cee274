#include "monitor/ProcessQueue.h"

#include <QMetaObject>

namespace orb {

ProcessQueue::ProcessQueue(const QString& label, QObject* parent)
    : QObject(parent), worker_(new QObject) {
    workerThread_.setObjectName(label);
    worker_->moveToThread(&workerThread_);
    connect(&workerThread_, &QThread::finished, worker_, &QObject::deleteLater);
    workerThread_.start(QThread::LowPriority);
}

ProcessQueue::~ProcessQueue() {
    workerThread_.quit();
    workerThread_.wait();
}

void ProcessQueue::submit(std::function<void()> job) {
    QMetaObject::invokeMethod(worker_, std::move(job), Qt::QueuedConnection);
}

} // namespace orb
