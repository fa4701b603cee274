#pragma once

#include "platform/Platform.h"

#include <condition_variable>
#include <functional>
#include <mutex>
#include <pthread.h>
#include <string>
#include <thread>
#include <utility>

namespace orb::platform {

// A query that may wait on the kernel or a driver, run on a thread of its own so that the caller
// never waits: take() answers at once with the last reading completed (the initial value until
// the first one is) and asks for the next. The first reading starts as soon as it is made.
template <typename Reading> class BackgroundQuery {
public:
    // `read` runs on the worker only; `threadName` names the thread for tools such as top (at
    // most 15 characters).
    BackgroundQuery(std::function<Reading()> read, const std::string& threadName)
        : read_(std::move(read)) {
        worker_ = std::thread([this] { run(); });
        ::pthread_setname_np(worker_.native_handle(), threadName.c_str());
    }
    ~BackgroundQuery() { // waits for a reading under way
        {
            std::lock_guard lock(mutex_);
            stopping_ = true;
        }
        wake_.notify_one();
        worker_.join();
    }
    BackgroundQuery(const BackgroundQuery&) = delete;
    BackgroundQuery& operator=(const BackgroundQuery&) = delete;

    Reading take() {
        Reading latest;
        {
            std::lock_guard lock(mutex_);
            latest = latest_;
            wanted_ = true;
        }
        wake_.notify_one();
        return latest;
    }

private:
    void run() {
        // Background work: the program's own main thread comes first.
        lowerCurrentThreadPriority();
        std::unique_lock lock(mutex_);
        for (;;) {
            wake_.wait(lock, [this] { return wanted_ || stopping_; });
            if (stopping_)
                return;
            wanted_ = false;
            lock.unlock();
            auto reading = read_();
            lock.lock();
            latest_ = std::move(reading);
        }
    }

    std::function<Reading()> read_;
    std::mutex mutex_;
    std::condition_variable wake_;
    bool wanted_ = true; // a reading is asked for; the first one at once
    bool stopping_ = false;
    Reading latest_{};
    std::thread worker_; // last: it starts once everything above is ready
};

} // namespace orb::platform
