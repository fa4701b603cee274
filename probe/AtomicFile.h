#pragma once

#include <string>
#include <string_view>

namespace orb::probe {

// Replaces the file at `path` with `contents` so that a reader opening it at any moment finds
// either the whole old file or the whole new one: the text goes to a hidden temporary file in
// the same directory (mode 0644), is flushed to disk, and is renamed over `path`. Returns a
// one-line description of what failed, or an empty string; nothing is left behind on failure.
std::string replaceFile(const std::string& path, std::string_view contents);

} // namespace orb::probe
