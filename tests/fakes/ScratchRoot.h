#pragma once

#include <QTemporaryDir>
#include <filesystem>
#include <fstream>
#include <initializer_list>
#include <sstream>
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
    // Files below `dir` from "name=value" words, each value ending in a newline.
    void writeWords(const std::string& dir, const std::string& words) {
        std::istringstream in(words);
        for (std::string word; in >> word;)
            write(dir + "/" + word.substr(0, word.find('=')),
                  word.substr(word.find('=') + 1) + "\n");
    }
    // A captured tree copied in, so that a test can change it; files already here are
    // replaced, links kept.
    void copy(const std::string& tree) {
        namespace fs = std::filesystem;
        for (const auto& entry : fs::recursive_directory_iterator(tree)) {
            const auto to = path() / entry.path().lexically_relative(tree);
            if (entry.is_symlink()) {
                if (!fs::is_symlink(to))
                    fs::copy_symlink(entry.path(), to);
            } else if (entry.is_directory()) {
                fs::create_directories(to);
            } else {
                fs::copy_file(entry.path(), to, fs::copy_options::overwrite_existing);
            }
        }
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
