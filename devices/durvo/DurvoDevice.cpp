// SPDX-License-Identifier: MIT
#include "DurvoDevice.h"

#include "DurvoPacket.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>
#include <vector>

namespace wizard::durvo {

namespace {
long long nowMs()
{
    return std::chrono::duration_cast<std::chrono::milliseconds>(
        std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

// Waits until fd is ready for `events` or the deadline passes; false on time-out or error.
bool waitFor(int fd, short events, long long deadline)
{
    for (;;) {
        const long long left = deadline - nowMs();
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

DurvoDevice::DurvoDevice(int fd)
    : fd(fd)
{
}

DurvoDevice::~DurvoDevice()
{
    ::close(fd);
}

std::shared_ptr<DurvoDevice> DurvoDevice::connect(const std::string& host, std::uint16_t port, int timeoutMs)
{
    addrinfo hints {};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_flags = AI_NUMERICSERV;
    addrinfo* addresses = nullptr;
    if (::getaddrinfo(host.c_str(), std::to_string(port).c_str(), &hints, &addresses) != 0)
        return nullptr;
    const Deadline deadline = deadlineAfter(timeoutMs);
    int fd = -1;
    for (const addrinfo* a = addresses; a && fd < 0; a = a->ai_next)
        fd = connectTo(a, deadline);
    ::freeaddrinfo(addresses);
    if (fd < 0)
        return nullptr;
    return std::shared_ptr<DurvoDevice>(new DurvoDevice(fd));
}

DurvoDevice::Deadline DurvoDevice::deadlineAfter(int timeoutMs)
{
    return nowMs() + std::max(0, timeoutMs);
}

void DurvoDevice::shutdown()
{
    ::shutdown(fd, SHUT_RDWR);
}

DurvoDevice::Result DurvoDevice::sendPacket(
    std::uint8_t type, const char* payload, std::size_t length, Deadline deadline)
{
    std::uint8_t header[PacketHeaderSize];
    encodePacketHeader(header, type, static_cast<std::uint32_t>(length));
    // Header and payload go out together from the caller's own buffer: no copy
    // of a firmware frame is made on this side.
    iovec parts[2] = { { header, sizeof header }, { const_cast<char*>(payload), length } };
    std::size_t total = sizeof header + length;
    std::size_t sent = 0;
    while (sent < total) {
        iovec pending[2];
        int count = 0;
        std::size_t skip = sent;
        for (const iovec& part : parts) {
            if (skip >= part.iov_len) {
                skip -= part.iov_len;
                continue;
            }
            pending[count].iov_base = static_cast<char*>(part.iov_base) + skip;
            pending[count].iov_len = part.iov_len - skip;
            skip = 0;
            ++count;
        }
        msghdr message {};
        message.msg_iov = pending;
        message.msg_iovlen = static_cast<std::size_t>(count);
        const ssize_t n = ::sendmsg(fd, &message, MSG_NOSIGNAL | MSG_DONTWAIT);
        if (n > 0) {
            sent += static_cast<std::size_t>(n);
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
            if (waitFor(fd, POLLOUT, deadline))
                continue;
            if (sent > 0)
                broken = true;
            return Result::TimedOut;
        }
        broken = true;
        return Result::Failed;
    }
    return Result::Ok;
}

DurvoDevice::Result DurvoDevice::receiveExact(
    char* buffer, std::size_t size, Deadline deadline, std::size_t& got)
{
    got = 0;
    while (got < size) {
        const ssize_t n = ::recv(fd, buffer + got, size - got, MSG_DONTWAIT);
        if (n > 0) {
            got += static_cast<std::size_t>(n);
            // A printer that never stops sending never makes recv wait, so
            // the limit is checked here too.
            if (got < size && nowMs() >= deadline)
                return Result::TimedOut;
            continue;
        }
        if (n == 0)
            return Result::Failed;
        if (errno == EINTR)
            continue;
        if (errno != EAGAIN && errno != EWOULDBLOCK)
            return Result::Failed;
        if (!waitFor(fd, POLLIN, deadline))
            return Result::TimedOut;
    }
    return Result::Ok;
}

DurvoDevice::Result DurvoDevice::discard(std::size_t size, Deadline deadline)
{
    char scratch[16384];
    while (size > 0) {
        std::size_t got = 0;
        const Result r = receiveExact(scratch, std::min(size, sizeof scratch), deadline, got);
        if (r != Result::Ok)
            return r;
        size -= got;
        if (size > 0 && nowMs() >= deadline)
            return Result::TimedOut;
    }
    return Result::Ok;
}

DurvoDevice::Result DurvoDevice::receivePacket(
    std::uint8_t wanted, char* buffer, std::uint32_t capacity, std::uint32_t& received, Deadline deadline)
{
    for (;;) {
        char header[PacketHeaderSize];
        std::size_t got = 0;
        Result r = receiveExact(header, sizeof header, deadline, got);
        if (r != Result::Ok) {
            // Nothing of the packet arrived yet: a reply that comes later is
            // dropped before the next command, so the stream stays usable.
            if (!(r == Result::TimedOut && got == 0))
                broken = true;
            return r;
        }
        const std::uint32_t length = decodePacketLength(reinterpret_cast<const std::uint8_t*>(header));
        if (static_cast<std::uint8_t>(header[0]) != wanted) {
            r = discard(length, deadline);
            if (r != Result::Ok) {
                broken = true;
                return r;
            }
            // Between two packets the stream is in step: a printer that keeps
            // sending other packets only makes this a plain time-out.
            if (nowMs() >= deadline)
                return Result::TimedOut;
            continue;
        }
        // Received aside first: a packet that never arrives whole leaves the
        // caller's buffer as it was.
        const std::uint32_t kept = std::min(length, capacity);
        std::vector<char> payload(kept);
        r = receiveExact(payload.data(), kept, deadline, got);
        if (r == Result::Ok)
            r = discard(length - kept, deadline);
        if (r != Result::Ok) {
            broken = true;
            return r;
        }
        if (kept > 0)
            std::memcpy(buffer, payload.data(), kept);
        received = kept;
        return Result::Ok;
    }
}

bool DurvoDevice::dropStaleReplies(Deadline deadline)
{
    // Replies that came after their reader gave up are waiting here; they must
    // not be taken for the answer to the command about to go out. A second at
    // least, so that a call with a tiny limit can still drop one; a printer
    // that keeps sending fails the call, its stream still in step.
    deadline = std::max(deadline, deadlineAfter(1000));
    for (;;) {
        pollfd p { fd, POLLIN, 0 };
        if (::poll(&p, 1, 0) <= 0)
            return true;
        if (nowMs() >= deadline)
            return false;
        char header[PacketHeaderSize];
        std::size_t got = 0;
        if (receiveExact(header, sizeof header, deadline, got) != Result::Ok
            || discard(decodePacketLength(reinterpret_cast<const std::uint8_t*>(header)), deadline)
                != Result::Ok) {
            broken = true;
            return false;
        }
    }
}

DurvoDevice::Result DurvoDevice::write(const char* bytes, std::size_t length, int timeoutMs)
{
    std::lock_guard<std::mutex> lock(mutex);
    const Deadline deadline = deadlineAfter(timeoutMs);
    if (broken || !dropStaleReplies(deadline))
        return Result::Failed;
    return sendPacket(PacketData, bytes, length, deadline);
}

DurvoDevice::Result DurvoDevice::readReply(
    char* buffer, std::uint32_t capacity, std::uint32_t& received, int timeoutMs)
{
    std::lock_guard<std::mutex> lock(mutex);
    if (broken)
        return Result::Failed;
    return receivePacket(PacketReply, buffer, capacity, received, deadlineAfter(timeoutMs));
}

DurvoDevice::Result DurvoDevice::readStatus(
    char* buffer, std::uint32_t capacity, std::uint32_t& received, int timeoutMs)
{
    std::lock_guard<std::mutex> lock(mutex);
    const Deadline deadline = deadlineAfter(timeoutMs);
    if (broken || !dropStaleReplies(deadline))
        return Result::Failed;
    const Result r = sendPacket(PacketStatusRequest, nullptr, 0, deadline);
    if (r != Result::Ok)
        return r;
    return receivePacket(PacketStatus, buffer, capacity, received, deadline);
}

} // namespace wizard::durvo
