#pragma once

#include <sched.h>
#include <string>
#include <sys/mount.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

namespace orb::testing {

// A mount made in a mount namespace of its own, held by a child process, so that it never
// shows on the machine and goes when the child ends, whatever happens to the test. This process
// reaches it through the child's root: /proc/<child>/root<dir>. Needs CAP_SYS_ADMIN; without it
// path() is empty and failure() says why.
class PrivateMount {
public:
    PrivateMount(const std::string& type, const std::string& dir, const std::string& options) {
        int ends[2];
        if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, ends) != 0) {
            failure_ = "no socket pair";
            return;
        }
        child_ = ::fork();
        if (child_ == 0) {
            // Only system calls from here on: this process was forked from a threaded one.
            ::close(ends[0]);
            auto answer = [&](bool ok) { return ::write(ends[1], ok ? "." : "!", 1) == 1; };
            const bool mounted =
                ::unshare(CLONE_NEWNS) == 0 &&
                ::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) == 0 &&
                ::mount(type.c_str(), dir.c_str(), type.c_str(), 0, options.c_str()) == 0;
            if (!answer(mounted))
                ::_exit(1);
            for (char command; mounted && ::read(ends[1], &command, 1) == 1;)
                answer(::mount(nullptr, dir.c_str(), nullptr, MS_REMOUNT | MS_RDONLY,
                               options.c_str()) == 0);
            ::_exit(0);
        }
        ::close(ends[1]);
        socket_ = ends[0];
        if (child_ < 0 || !answered()) {
            failure_ = "cannot mount " + type +
                       " in a mount namespace of its own here (needs CAP_SYS_ADMIN, as root has)";
            return;
        }
        path_ = "/proc/" + std::to_string(child_) + "/root" + dir;
    }
    ~PrivateMount() {
        ::close(socket_); // the child's cue to end
        if (child_ > 0)
            ::waitpid(child_, nullptr, 0);
    }
    PrivateMount(const PrivateMount&) = delete;
    PrivateMount& operator=(const PrivateMount&) = delete;

    const std::string& path() const { return path_; }
    const std::string& failure() const { return failure_; }
    bool makeReadOnly() { return ::write(socket_, "r", 1) == 1 && answered(); }

private:
    bool answered() {
        char byte = 0;
        return ::read(socket_, &byte, 1) == 1 && byte == '.';
    }

    pid_t child_ = -1;
    int socket_ = -1;
    std::string path_, failure_;
};

} // namespace orb::testing
