// SPDX-License-Identifier: MIT
// One open printer: a TCP connection (TcpStream.h) that carries packets (see
// DurvoPacket.h). Every exchange runs against a deadline; a packet cut by the
// deadline or by the peer leaves the stream out of step, so the device is then
// broken and every later call fails at once.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>

namespace wizard::durvo {

class TcpStream;

class DurvoDevice {
public:
    enum class Result { Ok, TimedOut, Failed };

    static std::shared_ptr<DurvoDevice> connect(const std::string& host, std::uint16_t port, int timeoutMs);
    ~DurvoDevice();
    DurvoDevice(const DurvoDevice&) = delete;
    DurvoDevice& operator=(const DurvoDevice&) = delete;

    Result write(const char* bytes, std::size_t length, int timeoutMs);
    // Reads the next reply: at most `capacity` bytes of it into `buffer` (the
    // rest is read and dropped), its stored length in `received`.
    Result readReply(char* buffer, std::uint32_t capacity, std::uint32_t& received, int timeoutMs);
    // Asks for the raw status block and reads it like a reply.
    Result readStatus(char* buffer, std::uint32_t capacity, std::uint32_t& received, int timeoutMs);
    // Ends the connection under any call still waiting on it.
    void shutdown();

private:
    explicit DurvoDevice(std::unique_ptr<TcpStream> stream);

    using Deadline = long long; // steady clock, milliseconds
    static Deadline deadlineAfter(int timeoutMs);
    Result sendPacket(std::uint8_t type, const char* payload, std::size_t length, Deadline deadline);
    Result receiveExact(char* buffer, std::size_t size, Deadline deadline, std::size_t& got);
    Result discard(std::size_t size, Deadline deadline);
    Result receivePacket(std::uint8_t wanted, char* buffer, std::uint32_t capacity, std::uint32_t& received,
        Deadline deadline);
    bool dropStaleReplies(Deadline deadline);

    std::mutex mutex;
    const std::unique_ptr<TcpStream> stream;
    bool broken = false;
};

} // namespace wizard::durvo
