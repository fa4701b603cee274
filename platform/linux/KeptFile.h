#pragma once

#include <string>

namespace orb::platform::linux_fs {

// A /proc or /sys file read on every tick through one descriptor kept open. Both produce their
// contents afresh on each read from offset 0, so a pass costs one pread instead of an open,
// reads and a close. Files elsewhere (a captured tree) are opened on every read, so that one
// replaced between two reads is seen; so is a sysfs file whose device went away and came back.
class KeptFile {
public:
    explicit KeptFile(std::string path) : path_(std::move(path)) {}
    ~KeptFile();
    KeptFile(KeptFile&& other) noexcept;
    KeptFile& operator=(KeptFile&& other) noexcept;
    KeptFile(const KeptFile&) = delete;
    KeptFile& operator=(const KeptFile&) = delete;

    // The whole file, at most `limit` bytes, into `content` (its storage reused). False, and
    // `content` empty, when it cannot be read.
    bool readInto(std::string& content, std::size_t limit = 1 << 20);

    const std::string& path() const { return path_; }

private:
    bool open();
    void close();
    // One read of the whole file from offset 0; -1 on failure.
    long readWhole(std::string& content, std::size_t limit);

    std::string path_;
    int fd_ = -1;
    bool keep_ = false; // whether the descriptor outlives a read
};

} // namespace orb::platform::linux_fs
