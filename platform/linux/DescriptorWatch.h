#pragma once

#include "platform/DeviceRegistry.h"

#include <functional>
#include <memory>
#include <vector>

class QSocketNotifier;

namespace orb::platform {

// Turns a readable file descriptor into interest messages on the registering thread's event
// loop. Whenever the descriptor has data, `drain` reads what is ready without blocking and
// returns the messages it carried; each goes to the callback in order. The descriptor stays
// its owner's and must outlive the watch; destroying the watch stops it at once, even from
// inside the callback.
class DescriptorWatch final : public InterestNotification {
public:
    using Drain = std::function<std::vector<InterestMessage>()>;

    // Null when the calling thread has no event loop to deliver on.
    static std::unique_ptr<DescriptorWatch> create(int descriptor, Drain drain,
                                                   InterestCallback callback);
    ~DescriptorWatch() override;

    DescriptorWatch(const DescriptorWatch&) = delete;
    DescriptorWatch& operator=(const DescriptorWatch&) = delete;

private:
    DescriptorWatch(int descriptor, Drain drain, InterestCallback callback);
    void deliver();

    Drain drain_;
    InterestCallback callback_;
    std::unique_ptr<QSocketNotifier> notifier_;
    // Cleared when the watch is destroyed, so a callback that cancels the registration ends
    // the delivery of a batch.
    std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
};

} // namespace orb::platform
