// SPDX-License-Identifier: MIT
// The end by signal on Linux: the handler writes one byte into a pipe (the only thing
// it may safely do); a socket notifier on the pipe's other end brings the request to
// the event loop. SA_RESTART keeps the printer exchanges of the pool thread going.
#include "system/EndRequest.h"

#include <QCoreApplication>
#include <QSocketNotifier>

#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <unistd.h>

namespace wizard::sys {

namespace {

int wakePipe[2] = { -1, -1 };

void onSignal(int)
{
    const int saved = errno;
    const char byte = 1;
    // A full pipe already carries a request.
    [[maybe_unused]] const ssize_t written = ::write(wakePipe[1], &byte, 1);
    errno = saved;
}

} // namespace

bool watchEndRequests(std::function<void()> onEnd)
{
    if (wakePipe[0] < 0 && ::pipe2(wakePipe, O_CLOEXEC | O_NONBLOCK) != 0)
        return false;
    // Lives as long as the application object, whose event loop alone can
    // deliver the request; a signal that comes later only fills the pipe.
    auto* notifier = new QSocketNotifier(wakePipe[0], QSocketNotifier::Read, QCoreApplication::instance());
    QObject::connect(notifier, &QSocketNotifier::activated, notifier, [onEnd = std::move(onEnd)] {
        char bytes[64];
        while (::read(wakePipe[0], bytes, sizeof bytes) > 0) { }
        requestEnd();
        if (onEnd)
            onEnd();
    });
    struct sigaction action { };
    action.sa_handler = onSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    bool installed = true;
    for (const int signal : { SIGTERM, SIGINT, SIGHUP })
        installed = ::sigaction(signal, &action, nullptr) == 0 && installed;
    return installed;
}

} // namespace wizard::sys
