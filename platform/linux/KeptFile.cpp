#include "platform/linux/KeptFile.h"

#include "platform/linux/SysFs.h"

#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <linux/magic.h>
#include <sys/vfs.h>
#include <unistd.h>
#include <utility>

namespace orb::platform::linux_fs {

KeptFile::~KeptFile() {
    close();
}

KeptFile::KeptFile(KeptFile&& other) noexcept
    : path_(std::move(other.path_)), fd_(std::exchange(other.fd_, -1)), keep_(other.keep_) {}

KeptFile& KeptFile::operator=(KeptFile&& other) noexcept {
    if (this != &other) {
        close();
        path_ = std::move(other.path_);
        fd_ = std::exchange(other.fd_, -1);
        keep_ = other.keep_;
    }
    return *this;
}

bool KeptFile::open() {
    fd_ = openInsideRoot(path_, O_RDONLY);
    if (fd_ < 0)
        return false;
    struct statfs fileSystem {};
    keep_ = ::fstatfs(fd_, &fileSystem) == 0 &&
            (fileSystem.f_type == PROC_SUPER_MAGIC || fileSystem.f_type == SYSFS_MAGIC);
    return true;
}

void KeptFile::close() {
    if (fd_ >= 0)
        ::close(fd_);
    fd_ = -1;
}

long KeptFile::readWhole(std::string& content, std::size_t limit) {
    // procfs and sysfs hand over everything that fits in one read, so a read that leaves room
    // has the whole file; one that fills the buffer is done again from the start with more.
    std::size_t room = std::min(std::max<std::size_t>(content.capacity(), 4096), limit);
    for (;;) {
        content.resize(room);
        ssize_t n;
        do
            n = ::pread(fd_, content.data(), room, 0);
        while (n < 0 && errno == EINTR);
        if (n < 0)
            return -1;
        if (static_cast<std::size_t>(n) < room || room >= limit) {
            content.resize(static_cast<std::size_t>(n));
            return n;
        }
        room = std::min(room * 2, limit);
    }
}

bool KeptFile::readInto(std::string& content, std::size_t limit) {
    const bool wasOpen = fd_ >= 0;
    if (!wasOpen && !open()) {
        content.clear();
        return false;
    }
    long n = readWhole(content, limit);
    if (n < 0 && wasOpen) {
        // The device behind a kept sysfs file went away (ENODEV); its successor, if any, is a
        // new file under the same name.
        close();
        n = open() ? readWhole(content, limit) : -1;
    }
    if (n < 0 || !keep_)
        close();
    if (n < 0)
        content.clear();
    return n >= 0;
}

} // namespace orb::platform::linux_fs
