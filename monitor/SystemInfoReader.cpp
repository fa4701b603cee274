#include "monitor/SystemInfoReader.h"

namespace orb {

SystemInfo SystemInfoReader::read() {
    const auto cores = host_.coreCounts();
    // Invalid UTF-8 in the brand text shows as replacement characters.
    return {QString::fromUtf8(host_.brandString()), cores.performance, cores.efficiency};
}

} // namespace orb
