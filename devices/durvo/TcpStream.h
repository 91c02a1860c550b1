// SPDX-License-Identifier: MIT
// The TCP connection under one open printer, as the few operations the device
// needs: POSIX sockets (TcpStreamPosix.cpp) or Winsock (TcpStreamWin32.cpp).
// The stream never blocks: send and receive take what the socket has now, and
// the waits end by an absolute deadline on the steady clock (milliseconds).
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

namespace wizard::durvo {

inline long long steadyNowMs()
{
    return std::chrono::duration_cast<std::chrono::milliseconds>(
        std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

class TcpStream {
public:
    enum class Io { Ok, WouldBlock, Closed, Failed };
    struct Piece {
        const char* data;
        std::size_t size;
    };

    // Null when no address of host accepts the connection before the deadline.
    static std::unique_ptr<TcpStream> connect(
        const std::string& host, std::uint16_t port, long long deadline);
    ~TcpStream();
    TcpStream(const TcpStream&) = delete;
    TcpStream& operator=(const TcpStream&) = delete;

    static constexpr int maxPieces = 2;
    // Sends the pieces (at most maxPieces) in order, in one call, as far as the
    // socket takes them now; `sent` counts the bytes that went out (Ok only
    // when some did).
    Io send(const Piece* pieces, int count, std::size_t& sent);
    // Receives what has arrived, up to size bytes (Ok only when some did);
    // Closed when the printer ended the connection.
    Io receive(char* buffer, std::size_t size, std::size_t& got);
    // True when the socket may be ready to receive (or send); false when the
    // deadline passed first. A true answer may be early: the caller tries again.
    bool waitReadable(long long deadline);
    bool waitWritable(long long deadline);
    // Something (data, the end of the connection, an error) is waiting now.
    bool readableNow();
    // Ends the connection both ways; a wait on another thread returns at once.
    void shutdown();

    struct Native;

private:
    explicit TcpStream(std::unique_ptr<Native> native);
    std::unique_ptr<Native> native;
};

} // namespace wizard::durvo
