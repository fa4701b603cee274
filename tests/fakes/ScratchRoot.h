#pragma once

#include <QTemporaryDir>
#include <filesystem>
#include <fstream>
#include <initializer_list>
#include <string>

namespace orb::testing {

inline const std::string fixtures = ORB_FIXTURES_DIR; // captured /proc and /sys trees

// A scratch filesystem root for the Linux readers, removed when the test ends.
class ScratchRoot {
public:
    explicit ScratchRoot(std::initializer_list<std::pair<std::string, std::string>> files = {}) {
        for (const auto& [relative, content] : files)
            write(relative, content);
    }
    void write(const std::string& relative, const std::string& content) {
        std::filesystem::create_directories((path() / relative).parent_path());
        std::ofstream(path() / relative) << content;
    }
    // The target need not exist, as in captured trees.
    void link(const std::string& relative, const std::string& target) {
        std::filesystem::create_directories((path() / relative).parent_path());
        std::filesystem::create_directory_symlink(target, path() / relative);
    }
    std::string str() const { return directory_.path().toStdString(); }
    std::filesystem::path path() const { return str(); }

private:
    QTemporaryDir directory_;
};

} // namespace orb::testing
