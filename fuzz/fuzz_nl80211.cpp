// One nl80211 message as the kernel would send it, for the interface with index 3: what the
// Wi-Fi reading takes from it, and the channel of the frequency it gives.
#include "platform/linux/Nl80211.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

using namespace orb::platform;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    // Netlink messages arrive aligned to four bytes; the copy is exactly as long as the input.
    std::vector<std::uint32_t> aligned((size + 3) / 4);
    if (size > 0)
        std::memcpy(aligned.data(), data, size);
    Nl80211Reading reading;
    readNl80211Message(aligned.data(), size, 3, reading);
    if (reading.frequency) {
        if (*reading.frequency <= 0)
            std::abort();
        if (const int channel = channelFromFrequency(*reading.frequency); channel < 0)
            std::abort();
    }
    if ((reading.txRate && !(*reading.txRate > 0)) ||
        (reading.signal && (*reading.signal < -128 || *reading.signal > 127)))
        std::abort();
    return 0;
}
