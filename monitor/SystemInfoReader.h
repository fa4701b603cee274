#pragma once

#include "platform/HostInfo.h"

#include <QString>

namespace orb {

struct SystemInfo {
    QString brand; // empty when unknown
    int performanceCores = 0;
    int efficiencyCores = 0;
};

// The processor brand and core classes, read once at start. Keeps no state.
class SystemInfoReader {
public:
    explicit SystemInfoReader(platform::HostInfo& host) : host_(host) {}
    SystemInfo read();

private:
    platform::HostInfo& host_;
};

} // namespace orb
