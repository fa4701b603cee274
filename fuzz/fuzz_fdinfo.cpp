// Intel graphics busy figures from a DRM client's fdinfo, read twice a second apart, for a card
// described by a uevent. The input is the first fdinfo, a blank line, the second fdinfo, and
// optionally a blank line and the card's uevent.
#include "FuzzTree.h"
#include "platform/Clock.h"
#include "platform/linux/IntelBusy.h"

#include <cstdlib>

using namespace orb::platform;

namespace {

class SteppedClock final : public Clock {
public:
    std::chrono::steady_clock::time_point date{std::chrono::seconds(1000)};
    std::chrono::steady_clock::time_point now() override { return date; }
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static orb::fuzz::FuzzTree tree;
    auto text = orb::fuzz::asText(data, size);
    const auto before = orb::fuzz::takeUntil(text, "\n\n");
    const auto after = orb::fuzz::takeUntil(text, "\n\n");
    const auto uevent = text.empty() ? "DRIVER=i915\nPCI_SLOT_NAME=0000:00:02.0" : text;

    DrmClientUsage usage;
    for (const auto part : {before, after}) {
        parseDrmFdinfo(part, usage);
        for (const auto& engine : usage.engines)
            if (engine.name.empty() || engine.capacity < 1 || engine.capacity > 64)
                std::abort();
    }

    tree.clear();
    tree.writeFile("sys/class/drm/card0/device/uevent", uevent);
    tree.link("proc/1200/fd/10", "/dev/dri/card0");
    tree.writeFile("proc/1200/fdinfo/10", before, false);
    SteppedClock clock;
    IntelBusy busy(tree.root(), clock);
    busy.rescan();
    for (const auto& card : busy.cards())
        busy.busyPercent(card);
    tree.writeFile("proc/1200/fdinfo/10", after, false);
    clock.date += std::chrono::seconds(1);
    for (const auto& card : busy.cards()) {
        const auto percent = busy.busyPercent(card);
        if (percent && !(*percent >= 0 && *percent <= 100))
            std::abort();
    }
    return 0;
}
