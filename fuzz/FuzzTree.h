#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <string_view>
#include <unistd.h>

// Builds a small /sys or /proc tree from fuzz input, so that the readers that only read files
// can be fed through a root of their own. The input is one entry a line, "path=value": `path`
// relative to a folder of the tree (say "hwmon0/temp1_input"), `value` the file's content with
// "\n" for a newline and "\\" for a backslash, which the tree ends with a newline as the kernel
// does. Paths that would leave the tree, and entries
// past a few dozen, are ignored.
namespace orb::fuzz {

class FuzzTree {
public:
    // In memory where the system offers it: a tree is written and removed for every input.
    FuzzTree() {
        std::error_code error;
        const std::filesystem::path memory = "/dev/shm";
        const auto folder = ::access(memory.c_str(), W_OK) == 0
                                ? memory
                                : std::filesystem::temp_directory_path(error);
        std::string pattern = (folder / "orbimeter-fuzz-XXXXXX").string();
        if (::mkdtemp(pattern.data()))
            root_ = pattern;
    }
    ~FuzzTree() {
        std::error_code error;
        if (!root_.empty())
            std::filesystem::remove_all(root_, error);
    }
    FuzzTree(const FuzzTree&) = delete;
    FuzzTree& operator=(const FuzzTree&) = delete;

    const std::string& root() const { return root_; }

    // Empties the tree: every input starts from nothing.
    void clear() {
        std::error_code error;
        for (const auto& entry : std::filesystem::directory_iterator(root_, error))
            std::filesystem::remove_all(entry.path(), error);
    }

    // Writes the entries of `text` below `folder` (relative to the root, e.g. "sys/class/hwmon").
    void write(std::string_view folder, std::string_view text) {
        int entries = 0;
        while (!text.empty() && entries < maxEntries) {
            const auto end = text.find('\n');
            const auto line = text.substr(0, end);
            text = end == std::string_view::npos ? std::string_view{} : text.substr(end + 1);
            const auto equals = line.find('=');
            if (equals == std::string_view::npos || !isSafePath(line.substr(0, equals)))
                continue;
            writeFile(std::string(folder) + "/" + std::string(line.substr(0, equals)),
                      unescaped(line.substr(equals + 1)));
            ++entries;
        }
    }

    // One file, relative to the root, holding `content` and a newline.
    void writeFile(const std::string& relative, std::string_view content, bool newline = true) {
        const auto path = std::filesystem::path(root_) / relative;
        std::error_code error;
        std::filesystem::create_directories(path.parent_path(), error);
        if (error)
            return;
        std::ofstream out(path, std::ios::binary | std::ios::trunc);
        out.write(content.data(), static_cast<std::streamsize>(content.size()));
        if (newline)
            out.put('\n');
    }

    // A symbolic link, relative to the root, to `target` (which need not exist).
    void link(const std::string& relative, const std::string& target) {
        const auto path = std::filesystem::path(root_) / relative;
        std::error_code error;
        std::filesystem::create_directories(path.parent_path(), error);
        std::filesystem::create_symlink(target, path, error);
    }

private:
    static constexpr int maxEntries = 64;

    static std::string unescaped(std::string_view value) {
        std::string text;
        for (std::size_t i = 0; i < value.size(); ++i) {
            if (value[i] == '\\' && i + 1 < value.size() &&
                (value[i + 1] == 'n' || value[i + 1] == '\\'))
                text.push_back(value[++i] == 'n' ? '\n' : '\\');
            else
                text.push_back(value[i]);
        }
        return text;
    }

    // Names of letters, digits and the few marks sysfs uses, at most six deep; no "." or "..".
    static bool isSafePath(std::string_view path) {
        if (path.empty() || path.size() > 160 || path.front() == '/' || path.back() == '/')
            return false;
        int depth = 1;
        char previous = '/';
        for (std::size_t i = 0; i < path.size(); ++i) {
            const char c = path[i];
            const bool plain = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') ||
                               (c >= '0' && c <= '9') || c == '_' || c == '-' || c == ':' ||
                               c == '!' || c == '.';
            if (c == '/') {
                if (previous == '/' || ++depth > 6)
                    return false;
            } else if (!plain) {
                return false;
            }
            if (c == '.' && previous == '/' &&
                (i + 1 == path.size() || path[i + 1] == '/' || path[i + 1] == '.'))
                return false;
            previous = c;
        }
        return true;
    }

    std::string root_;
};

// The fuzz input as text.
inline std::string_view asText(const std::uint8_t* data, std::size_t size) {
    return {reinterpret_cast<const char*>(data), size};
}

// Splits `text` at the first `separator`: what comes before, and `text` keeps what follows (all
// of it when there is no separator).
inline std::string_view takeUntil(std::string_view& text, std::string_view separator) {
    const auto at = text.find(separator);
    const auto part = text.substr(0, at);
    text = at == std::string_view::npos ? std::string_view{} : text.substr(at + separator.size());
    return part;
}

} // namespace orb::fuzz
