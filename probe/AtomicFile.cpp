#include "probe/AtomicFile.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace orb::probe {

namespace {

std::string failure(const std::string& what, const std::string& path, int error) {
    return what + " " + path + ": " + std::strerror(error);
}

bool writeAll(int fd, std::string_view contents) {
    while (!contents.empty()) {
        const ssize_t written = ::write(fd, contents.data(), contents.size());
        if (written < 0 && errno == EINTR)
            continue;
        if (written <= 0) {
            if (written == 0)
                errno = EIO;
            return false;
        }
        contents.remove_prefix(static_cast<std::size_t>(written));
    }
    return true;
}

} // namespace

std::string replaceFile(const std::string& path, std::string_view contents) {
    const auto slash = path.rfind('/');
    const std::string directory = slash == std::string::npos ? "."
                                  : slash == 0               ? "/"
                                                             : path.substr(0, slash);
    const std::string base = slash == std::string::npos ? path : path.substr(slash + 1);
    if (base.empty())
        return "cannot write " + path + ": not a file name";
    // A leading dot and no ".prom" ending: collectors that read a directory's *.prom files pass
    // over a temporary file that is still being written.
    std::string temporary = (slash == 0 ? "" : directory) + "/." + base + ".XXXXXX";
    const int fd = ::mkstemp(temporary.data());
    if (fd < 0)
        return failure("cannot create a file in", directory, errno);

    std::string error;
    if (::fchmod(fd, 0644) != 0 || !writeAll(fd, contents))
        error = failure("cannot write", temporary, errno);
    else if (::fsync(fd) != 0)
        error = failure("cannot flush", temporary, errno);
    if (::close(fd) != 0 && error.empty())
        error = failure("cannot write", temporary, errno);
    if (error.empty() && ::rename(temporary.c_str(), path.c_str()) != 0)
        error = failure("cannot replace", path, errno);
    if (!error.empty()) {
        ::unlink(temporary.c_str());
        return error;
    }
    // The rename itself reaches the disk with the directory.
    if (const int dir = ::open(directory.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC); dir >= 0) {
        ::fsync(dir);
        ::close(dir);
    }
    return {};
}

} // namespace orb::probe
