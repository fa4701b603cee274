#pragma once

#include "platform/Platform.h"

#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <optional>
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
    using Clock = std::chrono::steady_clock;

    // `read` runs on the worker only; `threadName` names the thread for tools such as top (at
    // most 15 characters). Where `idle` says of the last reading that there is nothing to ask
    // about (no such device on the machine), take() asks again only once per `idleInterval`, so
    // that the worker does not wake on every call only to find nothing again.
    BackgroundQuery(std::function<Reading()> read, const std::string& threadName,
                    std::function<bool(const Reading&)> idle = {},
                    Clock::duration idleInterval = {})
        : read_(std::move(read)), idle_(std::move(idle)), idleInterval_(idleInterval) {
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
        bool ask;
        {
            std::lock_guard lock(mutex_);
            latest = latest_;
            // Timed from the reading's end, so that anything the worker does once per interval
            // (listing a bus again) is due when it is asked.
            ask = !idle_ || !completedAt_ || !idle_(latest_) ||
                  Clock::now() - *completedAt_ >= idleInterval_;
            if (ask)
                wanted_ = true;
        }
        if (ask)
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
            completedAt_ = Clock::now();
        }
    }

    std::function<Reading()> read_;
    std::function<bool(const Reading&)> idle_;
    Clock::duration idleInterval_;
    std::optional<Clock::time_point> completedAt_; // of latest_; none before the first
    std::mutex mutex_;
    std::condition_variable wake_;
    bool wanted_ = true; // a reading is asked for; the first one at once
    bool stopping_ = false;
    Reading latest_{};
    std::thread worker_; // last: it starts once everything above is ready
};

} // namespace orb::platform
