// SPDX-License-Identifier: MIT
#include "PrinterConnection.h"

#include "../durvo/DurvoPacket.h"
#include "CommandLog.h"
#include "Escape.h"
#include "PrinterServer.h"

#include <chrono>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace wizard::sim {

using namespace wizard::durvo;

PrinterConnection::PrinterConnection(
    int fd, int id, PrinterState& state, CommandLog& log, PrinterServer& server)
    : fd(fd)
    , id(id)
    , state(state)
    , log(log)
    , server(server)
    , parser([this](const ParsedCommand& command) { answer(command); })
{
}

PrinterConnection::~PrinterConnection()
{
    ::close(fd);
}

void PrinterConnection::shutdown()
{
    closing = true;
    ::shutdown(fd, SHUT_RDWR);
}

void PrinterConnection::sleepUnlessClosing(int milliseconds)
{
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(milliseconds);
    while (!closing && std::chrono::steady_clock::now() < end)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
}

long PrinterConnection::readSome(std::uint8_t* buffer, std::size_t size)
{
    if (ended)
        return -1;
    const long long limit = state.dropIn();
    if (limit >= 0) {
        if (received >= limit) {
            log.write(id, "drop", std::to_string(received) + " bytes received");
            ended = true;
            ::shutdown(fd, SHUT_RDWR);
            return -1;
        }
        size = static_cast<std::size_t>(std::min<long long>(static_cast<long long>(size), limit - received));
    }
    // A slow intake: a hundredth of a second's worth at a time. The small receive
    // buffer keeps the host's write waiting for the printer, not for the kernel.
    const long long intake = state.intake();
    if (intake > 0) {
        if (!smallBuffer) {
            const int bytes = 16 * 1024;
            ::setsockopt(fd, SOL_SOCKET, SO_RCVBUF, &bytes, sizeof bytes);
            smallBuffer = true;
        }
        size = static_cast<std::size_t>(
            std::min<long long>(static_cast<long long>(size), std::max(1LL, intake / 100)));
    }
    const ssize_t n = ::recv(fd, buffer, size, 0);
    if (n > 0)
        received += n;
    if (n > 0 && intake > 0)
        sleepUnlessClosing(10);
    return static_cast<long>(n);
}

bool PrinterConnection::readExact(std::uint8_t* buffer, std::size_t size)
{
    std::size_t got = 0;
    while (got < size) {
        const long n = readSome(buffer + got, size - got);
        if (n <= 0)
            return false;
        got += static_cast<std::size_t>(n);
    }
    return true;
}

bool PrinterConnection::sendPacket(std::uint8_t type, const std::string& payload, long long cutAfter)
{
    std::string packet(PacketHeaderSize, '\0');
    encodePacketHeader(
        reinterpret_cast<std::uint8_t*>(&packet[0]), type, static_cast<std::uint32_t>(payload.size()));
    const bool cut = cutAfter >= 0 && static_cast<std::size_t>(cutAfter) < payload.size();
    packet.append(payload, 0, cut ? static_cast<std::size_t>(cutAfter) : payload.size());
    std::size_t sent = 0;
    while (sent < packet.size()) {
        const ssize_t n = ::send(fd, packet.data() + sent, packet.size() - sent, MSG_NOSIGNAL);
        if (n <= 0)
            return false;
        sent += static_cast<std::size_t>(n);
    }
    if (cut) {
        log.write(
            id, "cut", std::to_string(cutAfter) + " of " + std::to_string(payload.size()) + " bytes sent");
        ended = true;
        ::shutdown(fd, SHUT_RDWR);
    }
    return true;
}

void PrinterConnection::answer(const ParsedCommand& command)
{
    log.write(id, "cmd", command.logText);
    if (ended)
        return;
    const PlannedReply reply = state.plan(command.commandClass, command.frameVerdict);
    if (reply.delayMs > 0)
        sleepUnlessClosing(reply.delayMs);
    if (closing)
        return;
    // Whoever sees the reply must already find the printer restarting.
    if (command.frameAccepted)
        server.announceRestart();
    if (!reply.send) {
        log.write(id, "noreply", commandClassName(command.commandClass));
    } else {
        log.write(id, "reply", escapeBytes(reply.payload));
        if (!sendPacket(PacketReply, reply.payload, reply.cutAfter))
            ended = true;
    }
    if (command.frameAccepted) {
        // The printer takes the new image by restarting: every connection drops.
        ended = true;
        server.restart(command.imageVersion);
    }
}

void PrinterConnection::answerStatus()
{
    log.write(id, "status");
    const PlannedReply reply = state.plan(CommandClass::Status, std::string());
    if (reply.delayMs > 0)
        sleepUnlessClosing(reply.delayMs);
    if (closing)
        return;
    if (!reply.send) {
        log.write(id, "noreply", "status");
        return;
    }
    log.write(id, "reply", escapeBytes(reply.payload));
    if (!sendPacket(PacketStatus, reply.payload, reply.cutAfter))
        ended = true;
}

void PrinterConnection::run()
{
    log.write(id, "connect");
    std::vector<std::uint8_t> buffer(1024 * 1024);
    std::uint8_t header[PacketHeaderSize];
    while (!ended && !closing && readExact(header, sizeof header)) {
        std::uint32_t remaining = decodePacketLength(header);
        const std::uint8_t type = header[0];
        bool whole = true;
        while (remaining > 0) {
            const long n = readSome(buffer.data(), std::min<std::size_t>(buffer.size(), remaining));
            if (n <= 0) {
                whole = false;
                break;
            }
            remaining -= static_cast<std::uint32_t>(n);
            if (type == PacketData) {
                parser.setFrameOptions(state.flipInFrame(), state.saveFramePath());
                parser.feed(buffer.data(), static_cast<std::size_t>(n));
            }
            if (ended)
                break;
        }
        if (type == PacketData) {
            parser.endOfPacket();
        } else if (!whole) {
            break;
        } else if (type == PacketStatusRequest) {
            answerStatus();
        } else {
            static const char digits[] = "0123456789ABCDEF";
            log.write(id, "packet", std::string("unknown type 0x") + digits[type >> 4] + digits[type & 0x0F]);
        }
    }
    log.write(id, "disconnect");
    done = true;
}

} // namespace wizard::sim
