#pragma once

#include <map>
#include <sstream>
#include <string>
#include <utility>

namespace orb::testing {

// Readings as "name=value, ..." in name order, so that a whole table compares as one line.
inline std::string text(const std::map<std::string, double>& readings) {
    std::ostringstream out;
    for (const char* separator = ""; const auto& [name, value] : readings)
        out << std::exchange(separator, ", ") << name << "=" << value;
    return out.str();
}

} // namespace orb::testing
