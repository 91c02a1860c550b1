// SPDX-License-Identifier: MIT
#include "system/NamedPipe.h"
#include "system/TextEncoding.h"
#include "system/linux/PipeFolder.h"

#include <cerrno>
#include <chrono>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <thread>

#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

namespace wizard::sys {

namespace {

enum class ConnectOutcome { Connected, Busy, NotFound, Failed };

// A non-blocking connect tells a full backlog (EAGAIN) apart from a socket
// nobody listens on (ECONNREFUSED) without ever waiting.
ConnectOutcome connectOnce(const std::string& path, int* fd)
{
    *fd = -1;
    if (path.empty())
        return ConnectOutcome::Failed;
    struct stat info { };
    if (::stat(path.c_str(), &info) != 0)
        return errno == ENOENT || errno == ENOTDIR ? ConnectOutcome::NotFound : ConnectOutcome::Failed;
    if (!S_ISSOCK(info.st_mode))
        return ConnectOutcome::NotFound;

    const int s = ::socket(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (s < 0)
        return ConnectOutcome::Failed;
    sockaddr_un address {};
    address.sun_family = AF_UNIX;
    std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
    if (::connect(s, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
        const int error = errno;
        ::close(s);
        switch (error) {
        case EAGAIN:
            return ConnectOutcome::Busy;
        case ECONNREFUSED:
        case ENOENT:
            return ConnectOutcome::NotFound;
        default:
            return ConnectOutcome::Failed;
        }
    }
    // Transfers wait with poll and their own limit, so the socket stays non-blocking.
    *fd = s;
    return ConnectOutcome::Connected;
}

// Waits until fd is ready for `events`; false on time-out or error. timeoutMs < 0: no limit.
PipeResult waitReady(int fd, short events, int timeoutMs)
{
    const auto deadline
        = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs < 0 ? 0 : timeoutMs);
    for (;;) {
        int slice = -1;
        if (timeoutMs >= 0) {
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                deadline - std::chrono::steady_clock::now())
                                  .count();
            if (left <= 0)
                return PipeResult::TimedOut;
            slice = left > INT_MAX ? INT_MAX : static_cast<int>(left);
        }
        pollfd entry { fd, events, 0 };
        const int n = ::poll(&entry, 1, slice);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            return PipeResult::Failed;
        if (n == 0)
            continue; // the loop re-checks the deadline
        // Readiness includes hang-up and error: the transfer itself tells what happened.
        return PipeResult::Ok;
    }
}

} // namespace

std::string NamedPipe::pipeFolder()
{
    return talvorPipeFolder();
}

std::string NamedPipe::socketPath(const std::wstring& name)
{
    const std::wstring head = prefix();
    if (name.compare(0, head.size(), head) != 0)
        return {};
    const std::wstring leaf = name.substr(head.size());
    // A pipe name is one name, never a way out of the pipe folder.
    if (leaf.empty() || leaf == L"." || leaf == L".." || leaf.find_first_of(L"/\\", 0) != std::wstring::npos
        || leaf.find(L'\0') != std::wstring::npos)
        return {};
    std::string path = pipeFolder() + "/" + toUtf8(leaf);
    if (path.size() >= sizeof(sockaddr_un::sun_path))
        return {};
    return path;
}

NamedPipe::~NamedPipe()
{
    close();
}

PipeResult NamedPipe::open(const std::wstring& name)
{
    if (isOpen())
        return PipeResult::Failed;
    if (pending != invalidHandle) {
        const bool same = pendingName == name;
        const int fd = static_cast<int>(pending);
        pending = invalidHandle;
        pendingName.clear();
        if (same) {
            handle = fd;
            return PipeResult::Ok;
        }
        ::close(fd);
    }
    int fd = -1;
    switch (connectOnce(socketPath(name), &fd)) {
    case ConnectOutcome::Connected:
        handle = fd;
        return PipeResult::Ok;
    case ConnectOutcome::Busy:
        return PipeResult::Busy;
    case ConnectOutcome::NotFound:
        return PipeResult::NotFound;
    case ConnectOutcome::Failed:
        break;
    }
    return PipeResult::Failed;
}

PipeResult NamedPipe::wait(const std::wstring& name, int timeoutMs)
{
    // Nothing tells a waiting client when a listener's backlog frees up, so the
    // wait keeps trying to connect; the connection it makes is kept for open().
    const std::string path = socketPath(name);
    const auto deadline
        = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs < 0 ? 0 : timeoutMs);
    for (;;) {
        int fd = -1;
        switch (connectOnce(path, &fd)) {
        case ConnectOutcome::Connected:
            if (pending != invalidHandle)
                ::close(static_cast<int>(pending));
            pending = fd;
            pendingName = name;
            return PipeResult::Ok;
        case ConnectOutcome::NotFound:
            return PipeResult::NotFound;
        case ConnectOutcome::Failed:
            return PipeResult::Failed;
        case ConnectOutcome::Busy:
            break;
        }
        if (std::chrono::steady_clock::now() >= deadline)
            return PipeResult::TimedOut;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
}

bool NamedPipe::setMessageMode()
{
    // SOCK_SEQPACKET delivers whole messages already.
    return isOpen();
}

PipeResult NamedPipe::write(const void* data, std::size_t length, std::size_t* written, int timeoutMs)
{
    *written = 0;
    if (!isOpen())
        return PipeResult::Failed;
    const int fd = static_cast<int>(handle);
    for (;;) {
        const ssize_t n = ::send(fd, data, length, MSG_NOSIGNAL);
        if (n >= 0) {
            *written = static_cast<std::size_t>(n);
            return static_cast<std::size_t>(n) == length ? PipeResult::Ok : PipeResult::Failed;
        }
        if (errno == EINTR)
            continue;
        if (errno != EAGAIN && errno != EWOULDBLOCK)
            return PipeResult::Failed;
        if (const PipeResult ready = waitReady(fd, POLLOUT, timeoutMs); ready != PipeResult::Ok)
            return ready;
    }
}

PipeResult NamedPipe::read(void* data, std::size_t capacity, std::size_t* received, int timeoutMs)
{
    *received = 0;
    if (!isOpen())
        return PipeResult::Failed;
    const int fd = static_cast<int>(handle);
    for (;;) {
        // MSG_TRUNC makes recv report the message's real length, so a message
        // larger than the buffer is noticed instead of silently cut.
        const ssize_t n = ::recv(fd, data, capacity, MSG_TRUNC);
        if (n > 0) {
            if (static_cast<std::size_t>(n) > capacity) {
                *received = capacity;
                return PipeResult::Failed;
            }
            *received = static_cast<std::size_t>(n);
            return PipeResult::Ok;
        }
        if (n == 0)
            return PipeResult::Failed; // the peer closed (a zero-length message is never sent here)
        if (errno == EINTR)
            continue;
        if (errno != EAGAIN && errno != EWOULDBLOCK)
            return PipeResult::Failed;
        if (const PipeResult ready = waitReady(fd, POLLIN, timeoutMs); ready != PipeResult::Ok)
            return ready;
    }
}

void NamedPipe::close()
{
    if (handle != invalidHandle) {
        ::close(static_cast<int>(handle));
        handle = invalidHandle;
    }
    if (pending != invalidHandle) {
        ::close(static_cast<int>(pending));
        pending = invalidHandle;
        pendingName.clear();
    }
}

} // namespace wizard::sys
