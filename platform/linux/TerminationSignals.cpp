#include "platform/TerminationSignals.h"

#include <QCoreApplication>
#include <QSocketNotifier>
#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <sys/socket.h>
#include <unistd.h>

namespace orb::platform {

namespace {

// The write end of the pipe from the signal handler to the event loop. A handler may do next
// to nothing safely: it writes one byte, and the event loop does the rest.
int signalWriteEnd = -1;

void onTerminationSignal(int signalNumber) {
    const int savedErrno = errno;
    const char byte = static_cast<char>(signalNumber);
    // Full or not, one byte already waiting is enough to quit.
    [[maybe_unused]] const auto written = ::write(signalWriteEnd, &byte, 1);
    errno = savedErrno;
}

} // namespace

void quitOnTerminationSignals() {
    if (signalWriteEnd >= 0)
        return;
    int ends[2];
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0, ends) != 0)
        return; // the signals keep their default action, which ends the program as well
    signalWriteEnd = ends[0];
    auto* notifier =
        new QSocketNotifier(ends[1], QSocketNotifier::Read, QCoreApplication::instance());
    QObject::connect(notifier, &QSocketNotifier::activated, notifier, [readEnd = ends[1]] {
        char bytes[16];
        while (::read(readEnd, bytes, sizeof bytes) > 0) {
        }
        QCoreApplication::quit();
    });

    struct sigaction action {};
    action.sa_handler = onTerminationSignal;
    sigemptyset(&action.sa_mask);
    // Interrupted system calls carry on, so no reader sees EINTR because of a signal.
    action.sa_flags = SA_RESTART;
    for (int signalNumber : {SIGTERM, SIGINT, SIGHUP}) {
        // A signal ignored from the start was meant to be, as `nohup` does for the hang-up.
        struct sigaction inherited {};
        if (::sigaction(signalNumber, nullptr, &inherited) == 0 && inherited.sa_handler == SIG_IGN)
            continue;
        ::sigaction(signalNumber, &action, nullptr);
    }
}

} // namespace orb::platform
