#pragma once

#include <cstdio>

namespace orb {

class SystemMonitor;

// A testing aid for long runs: after every tick, one line on `out` with the tick's number, the
// processes the last walk listed and how many of them it keeps processor times for, e.g.
// "tick 1200: processes 214, tracked 209". A soak watches the last figure stay within the first.
void logTickStats(SystemMonitor& monitor, std::FILE* out);

} // namespace orb
