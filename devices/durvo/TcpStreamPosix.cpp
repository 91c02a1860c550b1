// SPDX-License-Identifier: MIT
#include "TcpStream.h"

#include <algorithm>
#include <cerrno>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace wizard::durvo {

struct TcpStream::Native {
    int fd;
};

namespace {
// Waits until fd is ready for `events` or the deadline passes; false on time-out or error.
bool waitFor(int fd, short events, long long deadline)
{
    for (;;) {
        const long long left = deadline - steadyNowMs();
        pollfd p { fd, events, 0 };
        const int r = ::poll(&p, 1, static_cast<int>(std::max(0LL, std::min(left, 60LL * 60 * 1000))));
        if (r > 0)
            return true;
        if (r == 0 && left <= 0)
            return false;
        if (r < 0 && errno != EINTR)
            return false;
    }
}

int connectTo(const addrinfo* a, long long deadline)
{
    const int fd = ::socket(a->ai_family, a->ai_socktype | SOCK_NONBLOCK | SOCK_CLOEXEC, a->ai_protocol);
    if (fd < 0)
        return -1;
    if (::connect(fd, a->ai_addr, a->ai_addrlen) != 0) {
        int error = errno;
        if (error == EINPROGRESS) {
            socklen_t length = sizeof error;
            if (!waitFor(fd, POLLOUT, deadline)
                || ::getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &length) != 0)
                error = ETIMEDOUT;
        }
        if (error != 0 && error != EINPROGRESS) {
            ::close(fd);
            return -1;
        }
    }
    const int one = 1;
    ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    return fd;
}
} // namespace

TcpStream::TcpStream(std::unique_ptr<Native> native)
    : native(std::move(native))
{
}

TcpStream::~TcpStream()
{
    ::close(native->fd);
}

std::unique_ptr<TcpStream> TcpStream::connect(const std::string& host, std::uint16_t port, long long deadline)
{
    addrinfo hints {};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_flags = AI_NUMERICSERV;
    addrinfo* addresses = nullptr;
    if (::getaddrinfo(host.c_str(), std::to_string(port).c_str(), &hints, &addresses) != 0)
        return nullptr;
    int fd = -1;
    for (const addrinfo* a = addresses; a && fd < 0; a = a->ai_next)
        fd = connectTo(a, deadline);
    ::freeaddrinfo(addresses);
    if (fd < 0)
        return nullptr;
    return std::unique_ptr<TcpStream>(new TcpStream(std::make_unique<Native>(Native { fd })));
}

TcpStream::Io TcpStream::send(const Piece* pieces, int count, std::size_t& sent)
{
    sent = 0;
    iovec parts[maxPieces];
    count = std::min(count, maxPieces);
    for (int i = 0; i < count; ++i)
        parts[i] = { const_cast<char*>(pieces[i].data), pieces[i].size };
    msghdr message {};
    message.msg_iov = parts;
    message.msg_iovlen = static_cast<std::size_t>(count);
    for (;;) {
        const ssize_t n = ::sendmsg(native->fd, &message, MSG_NOSIGNAL | MSG_DONTWAIT);
        if (n > 0) {
            sent = static_cast<std::size_t>(n);
            return Io::Ok;
        }
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK))
            return Io::WouldBlock;
        return Io::Failed;
    }
}

TcpStream::Io TcpStream::receive(char* buffer, std::size_t size, std::size_t& got)
{
    got = 0;
    for (;;) {
        const ssize_t n = ::recv(native->fd, buffer, size, MSG_DONTWAIT);
        if (n > 0) {
            got = static_cast<std::size_t>(n);
            return Io::Ok;
        }
        if (n == 0)
            return Io::Closed;
        if (errno == EINTR)
            continue;
        return errno == EAGAIN || errno == EWOULDBLOCK ? Io::WouldBlock : Io::Failed;
    }
}

bool TcpStream::waitReadable(long long deadline)
{
    return waitFor(native->fd, POLLIN, deadline);
}

bool TcpStream::waitWritable(long long deadline)
{
    return waitFor(native->fd, POLLOUT, deadline);
}

bool TcpStream::readableNow()
{
    pollfd p { native->fd, POLLIN, 0 };
    return ::poll(&p, 1, 0) > 0;
}

void TcpStream::shutdown()
{
    ::shutdown(native->fd, SHUT_RDWR);
}

} // namespace wizard::durvo
