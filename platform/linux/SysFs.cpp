#include "platform/linux/SysFs.h"

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cstdlib>
#include <dirent.h>
#include <fcntl.h>
#include <limits>
#include <sys/stat.h>
#include <unistd.h>

namespace orb::platform::linux_fs {

std::string underRoot(const std::string& root, std::string_view path) {
    if (root.empty() || root == "/")
        return std::string(path);
    std::string joined = root;
    if (joined.back() == '/')
        joined.pop_back();
    joined.append(path);
    return joined;
}

bool readFileInto(const std::string& path, std::string& content, std::size_t limit) {
    // Plain POSIX reads straight into the string: /proc files report a size of 0, and streams
    // cost more than the read.
    content.clear();
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
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
    auto content = readFile(path, 64 * 1024);
    if (!content)
        return std::nullopt;
    std::string_view view = *content;
    view = view.substr(0, view.find('\n'));
    // Some drivers pad their files with NUL bytes; the value ends at the first one.
    view = view.substr(0, view.find('\0'));
    return std::string(trim(view));
}

std::optional<std::string> readAttribute(const std::string& path) {
    return readAttributeAt(AT_FDCWD, path);
}

std::optional<std::string> readAttributeAt(int directory, const std::string& relative) {
    const int fd = ::openat(directory, relative.c_str(), O_RDONLY | O_CLOEXEC);
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
    DIR* dir = ::opendir(path.c_str());
    if (!dir)
        return names;
    while (auto* entry = ::readdir(dir)) {
        std::string_view name = entry->d_name;
        if (name != "." && name != "..")
            names.emplace_back(name);
    }
    ::closedir(dir);
    std::sort(names.begin(), names.end());
    return names;
}

} // namespace orb::platform::linux_fs
