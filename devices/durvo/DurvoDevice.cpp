// SPDX-License-Identifier: MIT
#include "DurvoDevice.h"

#include "DurvoPacket.h"

#include "TcpStream.h"

#include <algorithm>
#include <cstring>
#include <vector>

namespace wizard::durvo {

DurvoDevice::DurvoDevice(std::unique_ptr<TcpStream> stream)
    : stream(std::move(stream))
{
}

DurvoDevice::~DurvoDevice() = default;

std::shared_ptr<DurvoDevice> DurvoDevice::connect(const std::string& host, std::uint16_t port, int timeoutMs)
{
    std::unique_ptr<TcpStream> stream = TcpStream::connect(host, port, deadlineAfter(timeoutMs));
    if (!stream)
        return nullptr;
    return std::shared_ptr<DurvoDevice>(new DurvoDevice(std::move(stream)));
}

DurvoDevice::Deadline DurvoDevice::deadlineAfter(int timeoutMs)
{
    return steadyNowMs() + std::max(0, timeoutMs);
}

void DurvoDevice::shutdown()
{
    stream->shutdown();
}

DurvoDevice::Result DurvoDevice::sendPacket(
    std::uint8_t type, const char* payload, std::size_t length, Deadline deadline)
{
    std::uint8_t header[PacketHeaderSize];
    encodePacketHeader(header, type, static_cast<std::uint32_t>(length));
    // Header and payload go out together from the caller's own buffer: no copy
    // of a firmware frame is made on this side.
    const TcpStream::Piece parts[TcpStream::maxPieces]
        = { { reinterpret_cast<const char*>(header), sizeof header }, { payload, length } };
    const std::size_t total = sizeof header + length;
    std::size_t sent = 0;
    while (sent < total) {
        TcpStream::Piece pending[TcpStream::maxPieces];
        int count = 0;
        std::size_t skip = sent;
        for (const TcpStream::Piece& part : parts) {
            if (skip >= part.size) {
                skip -= part.size;
                continue;
            }
            pending[count++] = { part.data + skip, part.size - skip };
            skip = 0;
        }
        std::size_t n = 0;
        const TcpStream::Io io = stream->send(pending, count, n);
        if (io == TcpStream::Io::Ok) {
            sent += n;
            continue;
        }
        if (io == TcpStream::Io::WouldBlock) {
            if (stream->waitWritable(deadline))
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
        std::size_t n = 0;
        const TcpStream::Io io = stream->receive(buffer + got, size - got, n);
        if (io == TcpStream::Io::Ok) {
            got += n;
            // A printer that never stops sending never makes the receive wait,
            // so the limit is checked here too.
            if (got < size && steadyNowMs() >= deadline)
                return Result::TimedOut;
            continue;
        }
        if (io != TcpStream::Io::WouldBlock)
            return Result::Failed;
        if (!stream->waitReadable(deadline))
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
        if (size > 0 && steadyNowMs() >= deadline)
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
            if (steadyNowMs() >= deadline)
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
        if (!stream->readableNow())
            return true;
        if (steadyNowMs() >= deadline)
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
