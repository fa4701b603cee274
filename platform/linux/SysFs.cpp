#include "platform/linux/SysFs.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <charconv>
#include <cstdlib>
#include <dirent.h>
#include <fcntl.h>
#include <limits>
#include <linux/openat2.h>
#include <mutex>
#include <shared_mutex>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace orb::platform::linux_fs {

namespace {

// The roots other than "/" that paths have been joined under. Few in a program (one, given by
// --root); a test run adds one per scratch tree.
class Roots {
public:
    void add(const std::string& root) {
        {
            std::shared_lock lock(mutex_);
            if (std::find(roots_.rbegin(), roots_.rend(), root) != roots_.rend())
                return;
        }
        std::unique_lock lock(mutex_);
        roots_.push_back(root);
        any_.store(true, std::memory_order_release);
    }
    // The longest root that `path` lies below; empty when none.
    std::string rootOf(std::string_view path) const {
        if (!any_.load(std::memory_order_acquire))
            return {};
        std::shared_lock lock(mutex_);
        const std::string* found = nullptr;
        for (const auto& root : roots_) {
            if (path.size() > root.size() && path.starts_with(root) && path[root.size()] == '/' &&
                (!found || root.size() > found->size()))
                found = &root;
        }
        return found ? *found : std::string();
    }

private:
    mutable std::shared_mutex mutex_;
    std::vector<std::string> roots_;
    std::atomic<bool> any_{false};
};

Roots& roots() {
    static Roots instance;
    return instance;
}

// Where openat2 is missing (before Linux 5.6) the file is opened as usual and kept only when
// it turns out to lie inside the root.
int openCheckedInside(const std::string& root, const std::string& path, int flags) {
    const int fd = ::open(path.c_str(), flags);
    if (fd < 0)
        return -1;
    char* inside = ::realpath(root.c_str(), nullptr);
    char* opened = ::realpath(("/proc/self/fd/" + std::to_string(fd)).c_str(), nullptr);
    const std::string_view base = inside ? inside : "", target = opened ? opened : "";
    const bool within = !base.empty() && target.starts_with(base) &&
                        (base == "/" || target.size() == base.size() || target[base.size()] == '/');
    std::free(inside);
    std::free(opened);
    if (within)
        return fd;
    ::close(fd);
    errno = EXDEV;
    return -1;
}

} // namespace

std::string underRoot(const std::string& root, std::string_view path) {
    if (root.empty() || root == "/")
        return std::string(path);
    std::string joined = root;
    if (joined.back() == '/')
        joined.pop_back();
    roots().add(joined);
    joined.append(path);
    return joined;
}

bool statInsideRoot(const std::string& path, struct stat& status) {
    if (!belowRoot(path))
        return ::stat(path.c_str(), &status) == 0;
    const int fd = openInsideRoot(path, O_PATH);
    if (fd < 0)
        return false;
    const bool done = ::fstat(fd, &status) == 0;
    ::close(fd);
    return done;
}

bool belowRoot(const std::string& path) {
    return !roots().rootOf(path).empty();
}

int openInsideRoot(const std::string& path, int flags) {
    flags |= O_CLOEXEC;
    const std::string root = roots().rootOf(path);
    if (root.empty())
        return ::open(path.c_str(), flags);
    const int rootFd = ::open(root.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC);
    if (rootFd < 0)
        return -1;
    open_how how{};
    how.flags = static_cast<std::uint64_t>(flags);
    how.resolve = RESOLVE_IN_ROOT | RESOLVE_NO_MAGICLINKS;
    // The path below the root keeps its leading '/', which RESOLVE_IN_ROOT takes from the root.
    const char* below = path.c_str() + root.size();
    // EAGAIN: a rename or mount anywhere on the machine raced with a ".." of the path, and the
    // kernel could not vouch for it staying inside; trying again settles it.
    int fd = -1;
    for (int attempt = 0; attempt < 16; ++attempt) {
        fd = static_cast<int>(::syscall(SYS_openat2, rootFd, below, &how, sizeof how));
        if (fd >= 0 || errno != EAGAIN)
            break;
    }
    if (fd < 0 && errno == ENOSYS)
        fd = openCheckedInside(root, path, flags);
    const int saved = errno;
    ::close(rootFd);
    errno = saved;
    return fd;
}

bool readFileInto(const std::string& path, std::string& content, std::size_t limit) {
    // Plain POSIX reads straight into the string: /proc files report a size of 0, and streams
    // cost more than the read.
    content.clear();
    int fd = openInsideRoot(path, O_RDONLY);
    if (fd < 0)
        return false;
    bool failed = false;
    while (content.size() < limit) {
        const std::size_t before = content.size();
        const std::size_t room = std::max<std::size_t>(content.capacity() - before, 8192);
        content.resize(before + std::min(room, limit - before));
        const ssize_t n = ::read(fd, content.data() + before, content.size() - before);
        content.resize(before + static_cast<std::size_t>(std::max<ssize_t>(n, 0)));
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            failed = true;
        if (n <= 0)
            break;
    }
    ::close(fd);
    if (failed)
        content.clear();
    return !failed;
}

std::optional<std::string> readFile(const std::string& path, std::size_t limit) {
    std::string content;
    if (!readFileInto(path, content, limit))
        return std::nullopt;
    return content;
}

std::string_view trim(std::string_view text) {
    auto isSpace = [](char c) {
        return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\0';
    };
    while (!text.empty() && isSpace(text.front()))
        text.remove_prefix(1);
    while (!text.empty() && isSpace(text.back()))
        text.remove_suffix(1);
    return text;
}

std::optional<std::string> readLine(const std::string& path) {
    auto content = readFile(path, std::size_t(64) * 1024);
    if (!content)
        return std::nullopt;
    std::string_view view = *content;
    view = view.substr(0, view.find('\n'));
    // Some drivers pad their files with NUL bytes; the value ends at the first one.
    view = view.substr(0, view.find('\0'));
    return std::string(trim(view));
}

namespace {

std::optional<std::string> readAttributeFrom(int fd) {
    if (fd < 0)
        return std::nullopt;
    char buffer[256];
    ssize_t length = 0;
    do
        length = ::read(fd, buffer, sizeof buffer);
    while (length < 0 && errno == EINTR);
    ::close(fd);
    if (length <= 0)
        return std::nullopt;
    std::string_view text(buffer, static_cast<std::size_t>(length));
    text = text.substr(0, text.find('\n'));
    text = text.substr(0, text.find('\0')); // some drivers pad with NUL bytes
    return std::string(trim(text));
}

} // namespace

std::optional<std::string> readAttribute(const std::string& path) {
    return readAttributeFrom(openInsideRoot(path, O_RDONLY));
}

std::optional<std::int64_t> readAttributeNumber(const std::string& path) {
    const auto text = readAttribute(path);
    return text ? parseInt(*text) : std::nullopt;
}

std::optional<std::string> readAttributeAt(int directory, const std::string& relative) {
    return readAttributeFrom(::openat(directory, relative.c_str(), O_RDONLY | O_CLOEXEC));
}

std::optional<std::int64_t> parseInt(std::string_view text) {
    text = trim(text);
    if (!text.empty() && text.front() == '+')
        text.remove_prefix(1);
    std::int64_t value = 0;
    auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (ec != std::errc() || end != text.data() + text.size() || text.empty())
        return std::nullopt;
    return value;
}

std::optional<std::uint64_t> parseUnsigned(std::string_view text) {
    text = trim(text);
    std::uint64_t value = 0;
    auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (ec != std::errc() || end != text.data() + text.size() || text.empty())
        return std::nullopt;
    return value;
}

std::optional<double> parseDouble(std::string_view text) {
    text = trim(text);
    if (text.empty())
        return std::nullopt;
    std::string copy(text);
    char* end = nullptr;
    errno = 0;
    double value = std::strtod(copy.c_str(), &end);
    if (end != copy.c_str() + copy.size() || errno == ERANGE)
        return std::nullopt;
    return value;
}

std::optional<std::int64_t> readInt(const std::string& path) {
    auto line = readLine(path);
    if (!line)
        return std::nullopt;
    return parseInt(*line);
}

std::vector<std::string_view> splitFields(std::string_view line) {
    std::vector<std::string_view> fields;
    std::size_t i = 0;
    while (i < line.size()) {
        while (i < line.size() && (line[i] == ' ' || line[i] == '\t'))
            ++i;
        std::size_t start = i;
        while (i < line.size() && line[i] != ' ' && line[i] != '\t')
            ++i;
        if (i > start)
            fields.push_back(line.substr(start, i - start));
    }
    return fields;
}

std::vector<int> parseCpuList(std::string_view text) {
    // The kernel numbers processors with ints and lists each once; a longer list is garbage.
    constexpr std::int64_t mostProcessors = 65536;
    std::vector<int> cpus;
    text = trim(text);
    while (!text.empty()) {
        auto comma = text.find(',');
        std::string_view part = text.substr(0, comma);
        auto dash = part.find('-');
        auto first = parseInt(part.substr(0, dash));
        auto last = dash == std::string_view::npos ? first : parseInt(part.substr(dash + 1));
        if (!first || !last || *first < 0 || *last < *first ||
            *last > std::numeric_limits<int>::max() ||
            *last - *first + static_cast<std::int64_t>(cpus.size()) >= mostProcessors)
            return {};
        for (auto cpu = *first; cpu <= *last; ++cpu)
            cpus.push_back(static_cast<int>(cpu));
        if (comma == std::string_view::npos)
            break;
        text.remove_prefix(comma + 1);
    }
    return cpus;
}

bool entryExists(const std::string& path) {
    struct stat info;
    return ::lstat(path.c_str(), &info) == 0;
}

std::vector<std::string> listDirectory(const std::string& path) {
    std::vector<std::string> names;
    const int fd = openInsideRoot(path, O_RDONLY | O_DIRECTORY);
    DIR* dir = fd < 0 ? nullptr : ::fdopendir(fd);
    if (!dir) {
        if (fd >= 0)
            ::close(fd);
        return names;
    }
    while (auto* entry = ::readdir(dir)) {
        std::string_view name = entry->d_name;
        if (name != "." && name != "..")
            names.emplace_back(name);
    }
    ::closedir(dir);
    std::sort(names.begin(), names.end());
    return names;
}

bool isRuntimeAsleep(const std::string& deviceDirectory) {
    const auto status = readAttribute(deviceDirectory + "/power/runtime_status");
    return status == "suspended" || status == "suspending";
}

} // namespace orb::platform::linux_fs
