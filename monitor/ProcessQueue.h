#pragma once

#include "monitor/ProcessWalk.h"

#include <QObject>
#include <QThread>
#include <functional>

namespace orb {

// The serial background queue of the process walk: walks run one at a time, in submission
// order, on one low-priority thread named after the queue's label (the system shows its first
// 15 characters). The walk, with the state it captures, belongs to that thread; each result
// goes back to the receiver's thread by a queued call. A walk that runs long makes the next one
// wait.
class ProcessQueue {
public:
    using Walk = std::function<ProcessSnapshot()>;
    using Publish = std::function<void(const ProcessSnapshot&)>;

    // `publish` runs on `receiver`'s thread with each result; the receiver must outlive the queue.
    ProcessQueue(const QString& label, Walk walk, QObject* receiver, Publish publish);
    // Lets a running walk finish, drops the waiting ones, and only then destroys the walk.
    ~ProcessQueue();
    ProcessQueue(const ProcessQueue&) = delete;
    ProcessQueue& operator=(const ProcessQueue&) = delete;

    // Returns at once.
    void scheduleWalk();

private:
    QThread thread_;
    QObject* worker_; // lives on thread_: the target of the queued walks
    Walk walk_;
    QObject* receiver_;
    Publish publish_;
};

} // namespace orb
