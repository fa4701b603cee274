#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <sys/stat.h>
#include <vector>

// Small helpers for reading /proc and /sys files below a root directory. None of them throws:
// a missing, unreadable or malformed file gives an empty optional or an empty result.
namespace orb::platform::linux_fs {

// When a reader that several readers of one tick share should read afresh: the first time, and
// once `window` has passed since it last did.
class ReuseWindow {
public:
    explicit ReuseWindow(std::chrono::milliseconds window) : window_(window) {}
    bool due() {
        const auto now = std::chrono::steady_clock::now();
        if (last_ && now - *last_ < window_)
            return false;
        last_ = now;
        return true;
    }

private:
    std::chrono::milliseconds window_;
    std::optional<std::chrono::steady_clock::time_point> last_;
};

// Joins a root ("/" or a fixture tree) and an absolute path inside it. A root other than "/" is
// remembered: the reading helpers below open every path under it with openInsideRoot.
std::string underRoot(const std::string& root, std::string_view path);

// open(2) with O_CLOEXEC, except that a path below a root given to underRoot is resolved with
// that root standing for "/", as the kernel resolves sysfs's own links on a real system: an
// absolute link target is taken from the root, and ".." stops at the root. Nothing outside the
// tree is opened, whatever its links say. -1 with errno set on failure.
int openInsideRoot(const std::string& path, int flags);
// stat(2) by the same rule; false when the path cannot be reached.
bool statInsideRoot(const std::string& path, struct stat& status);
// Whether `path` lies below a root other than "/" given to underRoot.
bool belowRoot(const std::string& path);

// Whole file content, at most `limit` bytes; empty optional when it cannot be opened.
std::optional<std::string> readFile(const std::string& path, std::size_t limit = 1 << 20);
// The same into `content`, whose storage is reused: for large files read on every tick. False
// (and `content` empty) when the file cannot be read.
bool readFileInto(const std::string& path, std::string& content, std::size_t limit = 1 << 20);

// First line without trailing whitespace or NUL padding.
std::optional<std::string> readLine(const std::string& path);
// The same for a short attribute file read on every tick: one read of at most 256 bytes, no
// allocation beyond the result. A sensor that cannot answer fails the read (EAGAIN, ENODATA),
// which gives no value.
std::optional<std::string> readAttribute(const std::string& path);
// A sysfs attribute holding one number, read with one call; empty when it cannot be read (a
// sensor that cannot answer fails the read) or holds no number.
std::optional<std::int64_t> readAttributeNumber(const std::string& path);
// The same for a path relative to an open directory.
std::optional<std::string> readAttributeAt(int directory, const std::string& relative);

std::optional<std::int64_t> readInt(const std::string& path);

// Parses a whole decimal number (optional sign, surrounding whitespace allowed).
std::optional<std::int64_t> parseInt(std::string_view text);
std::optional<std::uint64_t> parseUnsigned(std::string_view text);
std::optional<double> parseDouble(std::string_view text);

// Splits on runs of spaces and tabs.
std::vector<std::string_view> splitFields(std::string_view line);

// Iterates lines; the callback gets each line without its newline.
template <typename F> void forEachLine(std::string_view text, F&& f) {
    while (!text.empty()) {
        auto end = text.find('\n');
        f(text.substr(0, end));
        if (end == std::string_view::npos)
            break;
        text.remove_prefix(end + 1);
    }
}

// Trims spaces, tabs, newlines and NUL bytes at both ends.
std::string_view trim(std::string_view text);

// Parses a kernel CPU list such as "0-3,8,10-11" into processor numbers; empty on garbage.
std::vector<int> parseCpuList(std::string_view text);

// Whether a directory entry exists: the entry itself, not what a link points to (captured trees
// keep links whose targets were never copied).
bool entryExists(const std::string& path);

// Names of the entries of a directory (no "." or ".."), sorted; empty when unreadable.
std::vector<std::string> listDirectory(const std::string& path);

// Whether the kernel has put the device in `deviceDirectory` (a sysfs device folder) into
// runtime suspend, or is doing so: reading its figures then would wake it up again.
bool isRuntimeAsleep(const std::string& deviceDirectory);

} // namespace orb::platform::linux_fs
