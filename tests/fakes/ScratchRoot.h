#pragma once

#include <atomic>
#include <filesystem>
#include <fstream>
#include <initializer_list>
#include <string>
#include <unistd.h>

namespace orb::testing {

// A scratch filesystem root for the Linux readers, removed when the test ends.
class ScratchRoot {
public:
    explicit ScratchRoot(std::initializer_list<std::pair<std::string, std::string>> files = {}) {
        std::filesystem::create_directories(path_);
        for (const auto& [relative, content] : files)
            write(relative, content);
    }
    ~ScratchRoot() { std::filesystem::remove_all(path_, ignored_); }
    ScratchRoot(const ScratchRoot&) = delete;

    void write(const std::string& relative, const std::string& content) {
        std::filesystem::create_directories((path_ / relative).parent_path());
        std::ofstream(path_ / relative) << content;
    }
    // The target need not exist, as in captured trees.
    void link(const std::string& relative, const std::string& target) {
        std::filesystem::create_directories((path_ / relative).parent_path());
        std::filesystem::create_directory_symlink(target, path_ / relative);
    }
    std::string str() const { return path_.string(); }
    const std::filesystem::path& path() const { return path_; }

private:
    static inline std::atomic<int> counter_ = 0;
    std::filesystem::path path_ =
        std::filesystem::temp_directory_path() /
        ("orbimeter-test-" + std::to_string(::getpid()) + "-" + std::to_string(counter_++));
    std::error_code ignored_;
};

} // namespace orb::testing
