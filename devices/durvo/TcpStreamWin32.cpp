// SPDX-License-Identifier: MIT
// Winsock under TcpStream. The socket reports its network events to an event
// object (WSAEventSelect, which also makes it non-blocking); a wait sleeps on
// that event and on a second one that shutdown() sets, so closing a device wakes
// a call still waiting on it, as shutting a POSIX socket wakes its poll. The
// events are only hints: every wait follows an attempt that would block, and
// the caller tries again after it.
#include "TcpStream.h"

#include <winsock2.h>

#include <ws2tcpip.h>

#include <windows.h>

#include <algorithm>
#include <atomic>
#include <climits>
#include <mutex>

namespace wizard::durvo {

struct TcpStream::Native {
    SOCKET socket = INVALID_SOCKET;
    WSAEVENT network = WSA_INVALID_EVENT; // set by the socket's events
    HANDLE ended = nullptr; // set by shutdown(), and stays set
    std::atomic<bool> shut { false };

    Native() = default;
    Native(const Native&) = delete;
    Native& operator=(const Native&) = delete;
    ~Native()
    {
        if (socket != INVALID_SOCKET)
            closesocket(socket);
        if (network != WSA_INVALID_EVENT)
            WSACloseEvent(network);
        if (ended)
            CloseHandle(ended);
    }
};

namespace {
// Winsock is started once, with the first connection, and stays started for
// the process: WSACleanup must not run while the library is being unloaded.
bool startWinsock()
{
    static std::once_flag once;
    static bool started = false;
    std::call_once(once, [] {
        WSADATA data;
        started = WSAStartup(MAKEWORD(2, 2), &data) == 0;
    });
    return started;
}

DWORD millisecondsUntil(long long deadline)
{
    return static_cast<DWORD>(std::clamp(deadline - steadyNowMs(), 0LL, 60LL * 60 * 1000));
}

// Waits for a network event of the socket, or the end when `ended` is given;
// false when the deadline passed first. The events seen are cleared and returned.
bool waitForEvents(TcpStream::Native& n, HANDLE ended, long long deadline, long& events, int* connectError)
{
    events = 0;
    for (;;) {
        const DWORD wait = millisecondsUntil(deadline);
        const HANDLE handles[2] = { n.network, ended };
        const DWORD r = WaitForMultipleObjects(ended ? 2 : 1, handles, FALSE, wait);
        if (r == WAIT_OBJECT_0) {
            WSANETWORKEVENTS happened {};
            if (WSAEnumNetworkEvents(n.socket, n.network, &happened) != 0)
                return false;
            events = happened.lNetworkEvents;
            if (connectError)
                *connectError = happened.iErrorCode[FD_CONNECT_BIT];
            return true;
        }
        if (r == WAIT_OBJECT_0 + 1)
            return true;
        if (r != WAIT_TIMEOUT || wait == 0)
            return false;
    }
}

// A connected socket on n, or false with n's socket closed again.
bool connectTo(TcpStream::Native& n, const addrinfo* a, long long deadline)
{
    n.socket = ::socket(a->ai_family, a->ai_socktype, a->ai_protocol);
    if (n.socket == INVALID_SOCKET)
        return false;
    WSAResetEvent(n.network);
    bool connected = WSAEventSelect(n.socket, n.network, FD_CONNECT | FD_READ | FD_WRITE | FD_CLOSE) == 0;
    if (connected && ::connect(n.socket, a->ai_addr, static_cast<int>(a->ai_addrlen)) != 0) {
        connected = false;
        if (WSAGetLastError() == WSAEWOULDBLOCK) {
            long events = 0;
            int error = 0;
            while (waitForEvents(n, nullptr, deadline, events, &error)) {
                if (events & FD_CONNECT) {
                    connected = error == 0;
                    break;
                }
            }
        }
    }
    if (!connected) {
        closesocket(n.socket);
        n.socket = INVALID_SOCKET;
        return false;
    }
    const BOOL one = TRUE;
    setsockopt(n.socket, IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char*>(&one), sizeof one);
    return true;
}
} // namespace

TcpStream::TcpStream(std::unique_ptr<Native> native)
    : native(std::move(native))
{
}

TcpStream::~TcpStream() = default;

std::unique_ptr<TcpStream> TcpStream::connect(const std::string& host, std::uint16_t port, long long deadline)
{
    if (!startWinsock())
        return nullptr;
    auto native = std::make_unique<Native>();
    native->network = WSACreateEvent();
    native->ended = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    if (native->network == WSA_INVALID_EVENT || !native->ended)
        return nullptr;
    addrinfo hints {};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_protocol = IPPROTO_TCP;
    hints.ai_flags = AI_NUMERICSERV;
    addrinfo* addresses = nullptr;
    if (getaddrinfo(host.c_str(), std::to_string(port).c_str(), &hints, &addresses) != 0)
        return nullptr;
    bool connected = false;
    for (const addrinfo* a = addresses; a && !connected; a = a->ai_next)
        connected = connectTo(*native, a, deadline);
    freeaddrinfo(addresses);
    if (!connected)
        return nullptr;
    return std::unique_ptr<TcpStream>(new TcpStream(std::move(native)));
}

TcpStream::Io TcpStream::send(const Piece* pieces, int count, std::size_t& sent)
{
    sent = 0;
    if (native->shut)
        return Io::Failed;
    WSABUF parts[maxPieces];
    count = std::min(count, maxPieces);
    for (int i = 0; i < count; ++i) {
        parts[i].buf = const_cast<char*>(pieces[i].data);
        parts[i].len = static_cast<ULONG>(std::min<std::size_t>(pieces[i].size, INT_MAX));
    }
    DWORD n = 0;
    if (WSASend(native->socket, parts, static_cast<DWORD>(count), &n, 0, nullptr, nullptr) == 0 && n > 0) {
        sent = n;
        return Io::Ok;
    }
    return WSAGetLastError() == WSAEWOULDBLOCK ? Io::WouldBlock : Io::Failed;
}

TcpStream::Io TcpStream::receive(char* buffer, std::size_t size, std::size_t& got)
{
    got = 0;
    if (native->shut)
        return Io::Failed;
    const int n = recv(native->socket, buffer, static_cast<int>(std::min<std::size_t>(size, INT_MAX)), 0);
    if (n > 0) {
        got = static_cast<std::size_t>(n);
        return Io::Ok;
    }
    if (n == 0)
        return Io::Closed;
    return WSAGetLastError() == WSAEWOULDBLOCK ? Io::WouldBlock : Io::Failed;
}

bool TcpStream::waitReadable(long long deadline)
{
    long events = 0;
    return waitForEvents(*native, native->ended, deadline, events, nullptr);
}

bool TcpStream::waitWritable(long long deadline)
{
    long events = 0;
    return waitForEvents(*native, native->ended, deadline, events, nullptr);
}

bool TcpStream::readableNow()
{
    if (native->shut)
        return true;
    fd_set readable;
    fd_set failed;
    FD_ZERO(&readable);
    FD_ZERO(&failed);
    FD_SET(native->socket, &readable);
    FD_SET(native->socket, &failed);
    timeval now { 0, 0 };
    return select(0, &readable, nullptr, &failed, &now) > 0;
}

void TcpStream::shutdown()
{
    native->shut = true;
    ::shutdown(native->socket, SD_BOTH);
    SetEvent(native->ended);
}

} // namespace wizard::durvo
