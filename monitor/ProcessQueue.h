#pragma once

#include <QObject>
#include <QThread>
#include <functional>

namespace orb {

// A serial background queue: jobs run one at a time, in submission order, on one low-priority
// thread named after the queue's label. A job that runs long makes the next one wait.
class ProcessQueue : public QObject {
    Q_OBJECT
public:
    explicit ProcessQueue(const QString& label, QObject* parent = nullptr);
    ~ProcessQueue() override; // lets the running job finish, drops the ones still waiting

    void submit(std::function<void()> job);
    const QThread& workerThread() const { return workerThread_; }

private:
    QThread workerThread_;
    QObject* worker_;
};

} // namespace orb
