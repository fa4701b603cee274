#include "monitor/WiFiReader.h"

namespace orb {

std::optional<platform::WiFiLink> WiFiReader::read() {
    return wifi_.defaultInterface();
}

} // namespace orb
