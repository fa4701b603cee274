#pragma once

#include <atomic>
#include <filesystem>
#include <fstream>
#include <string>
#include <unistd.h>

namespace orb::testing {

// A scratch filesystem root for the Linux readers, removed when the test ends.
class ScratchRoot {
public:
    ScratchRoot() {
        path_ = std::filesystem::temp_directory_path() /
                ("orbimeter-test-" + std::to_string(::getpid()) + "-" + std::to_string(counter_++));
        std::filesystem::create_directories(path_);
    }
    ~ScratchRoot() {
        std::error_code ignored;
        std::filesystem::remove_all(path_, ignored);
    }
    ScratchRoot(const ScratchRoot&) = delete;
    ScratchRoot& operator=(const ScratchRoot&) = delete;

    // Writes a file below the root, creating its folders.
    void write(const std::string& relative, const std::string& content) {
        const auto file = path_ / relative;
        std::filesystem::create_directories(file.parent_path());
        std::ofstream(file) << content;
    }
    // Makes a symbolic link below the root (the target need not exist, as in captured trees).
    void link(const std::string& relative, const std::string& target) {
        std::filesystem::create_directories((path_ / relative).parent_path());
        std::filesystem::create_directory_symlink(target, path_ / relative);
    }
    std::string str() const { return path_.string(); }
    const std::filesystem::path& path() const { return path_; }

private:
    std::filesystem::path path_;
    static inline std::atomic<int> counter_ = 0;
};

} // namespace orb::testing
