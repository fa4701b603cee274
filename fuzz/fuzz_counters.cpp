// The counter tables of /proc: net/dev, net/wireless and diskstats. Every parser reads the whole
// input; then the Wi-Fi query falls back to the same text as its statistics file.
#include "FuzzTree.h"
#include "platform/linux/LinuxBlockStorage.h"
#include "platform/linux/LinuxNetworkInterfaces.h"
#include "platform/linux/LinuxWiFi.h"

#include <cstdlib>

using namespace orb::platform;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static orb::fuzz::FuzzTree tree;
    const auto text = orb::fuzz::asText(data, size);

    for (const auto& [name, counters] : parseNetDev(text))
        if (name.empty())
            std::abort();
    // Levels are dBm or nothing.
    for (const auto& line : parseWirelessStats(text)) {
        if (line.interface.empty() ||
            (line.signal && (*line.signal >= 0 || *line.signal <= -256)) ||
            (line.noise && (*line.noise >= 0 || *line.noise <= -256)))
            std::abort();
    }
    for (const auto& row : parseDiskStats(text))
        if (row.name.empty())
            std::abort();

    tree.clear();
    tree.writeFile("proc/net/wireless", text, false);
    tree.writeFile("proc/net/dev", text, false);
    tree.writeFile("proc/diskstats", text, false);
    WiFiQuery(tree.root()).read();
    LinuxNetworkInterfaces(tree.root()).interfaces();
    LinuxBlockStorage(tree.root()).services();
    return 0;
}
