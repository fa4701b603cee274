// Starts and reaps short-lived processes at a steady rate until it is told to stop (SIGTERM or
// SIGINT), so that a long run of the program sees processes come and go the way a busy
// desktop's build or shell does: some exit at once, some replace themselves with a new program
// first, some sleep a moment or stay for a few walks.
//
// Usage: orbimeter_process_churn [PER_SECOND] [--reuse]
// With --reuse, where the process may set the next identifier (ns_last_pid: root of its own PID
// namespace), new processes take the identifiers of ones that exited a moment ago.
#include <algorithm>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace {

volatile std::sig_atomic_t stopping = 0;

// The child's life, by its number in the run; an exec gives it a new name and executable.
[[noreturn]] void live(long number, const char* self) {
    if (number % 5 == 1)
        ::execl(self, "churn-exec", "--exit", static_cast<char*>(nullptr));
    const long ms = number % 5 == 4 ? 100 + number % 300 : number % 5 == 0 ? 0 : 1 + number % 40;
    std::this_thread::sleep_for(std::chrono::milliseconds(ms));
    ::_exit(0);
}

// Sets the identifier the next fork gets to just above `last`; false where that is not allowed.
bool setLastPid(long last) {
    std::FILE* file = std::fopen("/proc/sys/kernel/ns_last_pid", "w");
    if (!file)
        return false;
    const bool written = std::fprintf(file, "%ld", last) > 0;
    return std::fclose(file) == 0 && written;
}

} // namespace

int main(int argc, char** argv) {
    if (argc > 1 && std::strcmp(argv[1], "--exit") == 0)
        return 0;
    const long perSecond = argc > 1 ? std::max(1L, std::atol(argv[1])) : 300;
    bool reuse = argc > 2 && std::strcmp(argv[2], "--reuse") == 0;
    std::signal(SIGTERM, [](int) { stopping = 1; });
    std::signal(SIGINT, [](int) { stopping = 1; });

    // Identifiers cycle through a window just above the helper's own: about 60 processes are
    // alive at a time, so within 200 identifiers each one is handed out again within a second.
    const long windowStart = ::getpid() + 1, windowSize = 200;
    if (reuse && !setLastPid(windowStart)) {
        std::fprintf(stderr, "process_churn: cannot set the next identifier (%s); no reuse\n",
                     std::strerror(errno));
        reuse = false;
    }

    const auto period = std::chrono::nanoseconds(1'000'000'000 / perSecond);
    auto next = std::chrono::steady_clock::now();
    long started = 0, reused = 0;
    char self[4096] = {};
    if (::readlink("/proc/self/exe", self, sizeof self - 1) < 0)
        std::strcpy(self, "/bin/true");
    while (!stopping) {
        const pid_t child = ::fork();
        if (child == 0)
            live(started, self);
        started += child > 0;
        if (child > 0 && reuse && child >= windowStart + windowSize) {
            setLastPid(windowStart);
            ++reused;
        }
        while (::waitpid(-1, nullptr, WNOHANG) > 0) {
        }
        std::this_thread::sleep_until(next += period);
    }
    while (::wait(nullptr) > 0 || errno == EINTR) {
    }
    std::printf("process_churn: %ld processes started, identifiers cycled %ld times\n", started,
                reused);
    return 0;
}
