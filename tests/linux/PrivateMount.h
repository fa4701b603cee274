#pragma once

#include <csignal>
#include <fcntl.h>
#include <sched.h>
#include <string>
#include <sys/mount.h>
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
        int toChild[2], fromChild[2];
        if (::pipe2(toChild, O_CLOEXEC) != 0 || ::pipe2(fromChild, O_CLOEXEC) != 0) {
            failure_ = "no pipe";
            return;
        }
        child_ = ::fork();
        if (child_ == 0) {
            // Only system calls from here on: this process was forked from a threaded one.
            ::close(toChild[1]);
            ::close(fromChild[0]);
            auto answer = [&](bool ok) {
                const char byte = ok ? '.' : '!';
                return ::write(fromChild[1], &byte, 1) == 1;
            };
            const bool mounted =
                ::unshare(CLONE_NEWNS) == 0 &&
                ::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) == 0 &&
                ::mount(type.c_str(), dir.c_str(), type.c_str(), 0, options.c_str()) == 0;
            if (!answer(mounted))
                ::_exit(1);
            for (char command; mounted && ::read(toChild[0], &command, 1) == 1;)
                answer(::mount(nullptr, dir.c_str(), nullptr, MS_REMOUNT | MS_RDONLY,
                               options.c_str()) == 0);
            ::_exit(0);
        }
        ::close(toChild[0]);
        ::close(fromChild[1]);
        toChild_ = toChild[1];
        fromChild_ = fromChild[0];
        if (child_ < 0 || !answered()) {
            failure_ = "cannot mount " + type +
                       " in a mount namespace of its own here (needs "
                       "CAP_SYS_ADMIN, as root has)";
            return;
        }
        path_ = "/proc/" + std::to_string(child_) + "/root" + dir;
    }
    ~PrivateMount() {
        ::close(toChild_);
        ::close(fromChild_);
        if (child_ > 0)
            ::waitpid(child_, nullptr, 0);
    }
    PrivateMount(const PrivateMount&) = delete;
    PrivateMount& operator=(const PrivateMount&) = delete;

    const std::string& path() const { return path_; }
    const std::string& failure() const { return failure_; }
    bool makeReadOnly() { return ::write(toChild_, "r", 1) == 1 && answered(); }

private:
    bool answered() {
        char byte = 0;
        return ::read(fromChild_, &byte, 1) == 1 && byte == '.';
    }

    pid_t child_ = -1;
    int toChild_ = -1, fromChild_ = -1;
    std::string path_, failure_;
};

} // namespace orb::testing
