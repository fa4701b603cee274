#include "platform/linux/DescriptorWatch.h"

#include <QAbstractEventDispatcher>
#include <QSocketNotifier>

namespace orb::platform {

std::unique_ptr<DescriptorWatch> DescriptorWatch::create(int descriptor, Drain drain,
                                                         InterestCallback callback) {
    // A notifier on a thread without a dispatcher would only warn and never fire.
    if (descriptor < 0 || !QAbstractEventDispatcher::instance())
        return nullptr;
    return std::unique_ptr<DescriptorWatch>(
        new DescriptorWatch(descriptor, std::move(drain), std::move(callback)));
}

DescriptorWatch::DescriptorWatch(int descriptor, Drain drain, InterestCallback callback)
    : drain_(std::move(drain)), callback_(std::move(callback)),
      notifier_(std::make_unique<QSocketNotifier>(descriptor, QSocketNotifier::Read)) {
    QObject::connect(notifier_.get(), &QSocketNotifier::activated, notifier_.get(),
                     [this] { deliver(); });
}

DescriptorWatch::~DescriptorWatch() {
    *alive_ = false;
}

void DescriptorWatch::deliver() {
    // Held locally: the callback may destroy this watch, and with it these members.
    const auto alive = alive_;
    const auto callback = callback_;
    for (auto message : drain_()) {
        callback(message);
        if (!*alive)
            return;
    }
}

} // namespace orb::platform
