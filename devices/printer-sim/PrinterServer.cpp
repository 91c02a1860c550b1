// SPDX-License-Identifier: MIT
#include "PrinterServer.h"

#include "CommandLog.h"
#include "PrinterConnection.h"
#include "PrinterState.h"

#include <arpa/inet.h>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace wizard::sim {

namespace {
int listenOnLoopback(std::uint16_t port, std::uint16_t& bound, std::string& error)
{
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        error = std::strerror(errno);
        return -1;
    }
    // The printer comes back on its own port after a restart, while its old
    // connections may still linger in TIME_WAIT.
    const int one = 1;
    ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    sockaddr_in address {};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(port);
    if (::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 || ::listen(fd, 16) != 0) {
        error = std::strerror(errno);
        ::close(fd);
        return -1;
    }
    socklen_t length = sizeof address;
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length);
    bound = ntohs(address.sin_port);
    return fd;
}
} // namespace

PrinterServer::PrinterServer(PrinterState& state, CommandLog& log)
    : state(state)
    , log(log)
{
}

PrinterServer::~PrinterServer()
{
    dropHostConnections();
    reapWorkers(true);
    for (int fd : { listenFd.load(), controlFd, wakePipe[0], wakePipe[1] }) {
        if (fd >= 0)
            ::close(fd);
    }
}

bool PrinterServer::openPrinterPort(std::string& error)
{
    std::uint16_t bound = 0;
    const int fd = listenOnLoopback(printerPort, bound, error);
    if (fd < 0)
        return false;
    listenFd = fd;
    printerPort = bound;
    return true;
}

bool PrinterServer::listen(std::uint16_t port, std::uint16_t wantedControlPort, std::string& error)
{
    if (::pipe2(wakePipe, O_CLOEXEC | O_NONBLOCK) != 0) {
        error = std::strerror(errno);
        return false;
    }
    printerPort = port;
    if (!openPrinterPort(error))
        return false;
    controlFd = listenOnLoopback(wantedControlPort, ctlPort, error);
    return controlFd >= 0;
}

void PrinterServer::wake(char reason)
{
    // A full pipe already holds a wake-up; losing this byte loses nothing.
    const ssize_t ignored = ::write(wakePipe[1], &reason, 1);
    (void)ignored;
}

void PrinterServer::stop()
{
    wake('q');
}

void PrinterServer::restart(const std::string& newVersion)
{
    {
        std::lock_guard<std::mutex> lock(mutex);
        pendingVersion = newVersion;
    }
    isRestarting = true;
    wake('r');
}

void PrinterServer::announceRestart()
{
    isRestarting = true;
    // A listening socket shut down refuses connections at once; the main loop
    // closes it when it begins the restart.
    const int fd = listenFd;
    if (fd >= 0)
        ::shutdown(fd, SHUT_RDWR);
}

int PrinterServer::connectionCount()
{
    std::lock_guard<std::mutex> lock(mutex);
    int count = 0;
    for (const Worker& w : workers) {
        if (w.connection && !w.done)
            ++count;
    }
    return count;
}

void PrinterServer::dropHostConnections()
{
    std::lock_guard<std::mutex> lock(mutex);
    for (Worker& w : workers) {
        if (w.connection)
            w.connection->shutdown();
    }
}

void PrinterServer::reapWorkers(bool all)
{
    std::list<Worker> finished;
    {
        std::lock_guard<std::mutex> lock(mutex);
        for (auto it = workers.begin(); it != workers.end();) {
            if (all && !it->connection && it->controlFd >= 0)
                ::shutdown(it->controlFd, SHUT_RDWR);
            if (all || it->done) {
                auto next = std::next(it);
                finished.splice(finished.end(), workers, it);
                it = next;
            } else {
                ++it;
            }
        }
    }
    for (Worker& w : finished) {
        if (w.thread.joinable())
            w.thread.join();
        if (w.controlFd >= 0)
            ::close(w.controlFd);
    }
}

void PrinterServer::serveControl(Worker* worker)
{
    std::string pending;
    char buffer[4096];
    for (;;) {
        const ssize_t n = ::recv(worker->controlFd, buffer, sizeof buffer, 0);
        if (n <= 0)
            break;
        pending.append(buffer, static_cast<std::size_t>(n));
        if (pending.size() > 1024 * 1024)
            break;
        std::size_t end;
        while ((end = pending.find('\n')) != std::string::npos) {
            std::string line = pending.substr(0, end);
            pending.erase(0, end + 1);
            if (!line.empty() && line.back() == '\r')
                line.pop_back();
            std::string reply = controlHandler ? controlHandler(line) : std::string("error no handler");
            reply += '\n';
            if (::send(worker->controlFd, reply.data(), reply.size(), MSG_NOSIGNAL)
                != static_cast<ssize_t>(reply.size()))
                break;
        }
    }
    worker->done = true;
}

int PrinterServer::run()
{
    using Clock = std::chrono::steady_clock;
    Clock::time_point restartEnd {};
    bool down = false;
    for (;;) {
        pollfd fds[3] = {};
        fds[0] = { wakePipe[0], POLLIN, 0 };
        fds[1] = { controlFd, POLLIN, 0 };
        fds[2] = { (down || isRestarting) ? -1 : listenFd.load(), POLLIN, 0 };
        int timeout = 200;
        if (down) {
            const auto left
                = std::chrono::duration_cast<std::chrono::milliseconds>(restartEnd - Clock::now()).count();
            timeout = static_cast<int>(std::max<long long>(0, std::min<long long>(left, 200)));
        }
        if (::poll(fds, 3, timeout) < 0 && errno != EINTR)
            return 1;

        if (fds[0].revents & POLLIN) {
            char reasons[64];
            ssize_t n;
            bool quit = false;
            bool restartNow = false;
            while ((n = ::read(wakePipe[0], reasons, sizeof reasons)) > 0) {
                for (ssize_t i = 0; i < n; ++i) {
                    quit = quit || reasons[i] == 'q';
                    restartNow = restartNow || reasons[i] == 'r';
                }
            }
            if (quit)
                break;
            if (restartNow && !down) {
                ::close(listenFd.exchange(-1));
                dropHostConnections();
                down = true;
                restartEnd = Clock::now() + std::chrono::milliseconds(state.restartMs());
                log.write(0, "restart");
            }
        }

        if (down && Clock::now() >= restartEnd) {
            std::string error;
            if (openPrinterPort(error)) {
                std::string version;
                {
                    std::lock_guard<std::mutex> lock(mutex);
                    version = pendingVersion;
                }
                if (!version.empty())
                    state.setVersion(version);
                down = false;
                isRestarting = false;
                log.write(0, "up", state.version());
            } else {
                // The port is briefly taken; try again on the next round.
                restartEnd = Clock::now() + std::chrono::milliseconds(50);
            }
        }

        if (!down && !isRestarting && (fds[2].revents & POLLIN)) {
            const int fd = ::accept4(listenFd, nullptr, nullptr, SOCK_CLOEXEC);
            if (fd >= 0) {
                const int one = 1;
                ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
                std::lock_guard<std::mutex> lock(mutex);
                workers.emplace_back();
                Worker* worker = &workers.back();
                worker->connection
                    = std::make_unique<PrinterConnection>(fd, nextConnectionId++, state, log, *this);
                worker->thread = std::thread([worker] {
                    worker->connection->run();
                    worker->done = true;
                });
            }
        }
        if (fds[1].revents & POLLIN) {
            const int fd = ::accept4(controlFd, nullptr, nullptr, SOCK_CLOEXEC);
            if (fd >= 0) {
                std::lock_guard<std::mutex> lock(mutex);
                workers.emplace_back();
                Worker* worker = &workers.back();
                worker->controlFd = fd;
                worker->thread = std::thread([this, worker] { serveControl(worker); });
            }
        }
        reapWorkers(false);
    }
    dropHostConnections();
    reapWorkers(true);
    return 0;
}

} // namespace wizard::sim
