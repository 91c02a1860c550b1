// SPDX-License-Identifier: MIT
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace wizard::sys {

// What a pipe call came to. The comm layer's retry rules tell these apart, so
// they stay distinct on every system.
enum class PipeResult {
    Ok,
    Busy, // every instance of the pipe is taken; waiting may help
    NotFound, // no pipe of that name, or nobody serving it
    TimedOut, // a wait or a transfer ran out of time
    Failed, // anything else, a peer that went away included
};

// A client connection to a message-mode named pipe "\\.\pipe\NAME". On Windows
// this is the system's named pipe; on Linux NAME is a SOCK_SEQPACKET socket in
// the pipe folder ($TALVOR_PIPE_DIR, else /run/talvor for root, else
// $XDG_RUNTIME_DIR/talvor), which keeps message boundaries as message mode does.
// One connection at a time; the destructor closes it. The operations are
// virtual so that a test can watch them, or stand in for a peer that a real
// service cannot be made to imitate.
class NamedPipe {
public:
    NamedPipe() = default;
    NamedPipe(const NamedPipe&) = delete;
    NamedPipe& operator=(const NamedPipe&) = delete;
    virtual ~NamedPipe();

    // Connects for reading and writing, without sharing, only if the pipe exists.
    virtual PipeResult open(const std::wstring& name);
    // Waits at most timeoutMs for an instance of the pipe to be free: Ok, then
    // open again; NotFound when there is no such pipe; TimedOut.
    virtual PipeResult wait(const std::wstring& name, int timeoutMs);
    // Reads return whole messages from here on.
    virtual bool setMessageMode();
    // Sends one message; *written is the number of bytes that went out.
    virtual PipeResult write(const void* data, std::size_t length, std::size_t* written, int timeoutMs);
    // Receives one whole message of at most capacity bytes; *received is its
    // length. A longer message, or a peer that closes, fails. timeoutMs < 0 waits without limit.
    virtual PipeResult read(void* data, std::size_t capacity, std::size_t* received, int timeoutMs);
    virtual void close();
    bool isOpen() const { return handle != invalidHandle; }

    // The prefix every pipe name starts with.
    static const wchar_t* prefix() { return L"\\\\.\\pipe\\"; }

#ifndef _WIN32
    // Where the socket standing for pipe `name` lives; empty if the name cannot be one.
    static std::string socketPath(const std::wstring& name);
    static std::string pipeFolder();
#endif

private:
    static constexpr std::intptr_t invalidHandle = -1;
    std::intptr_t handle = invalidHandle;
#ifndef _WIN32
    // A connection a successful wait already made, handed out by the next open of the same name.
    std::intptr_t pending = invalidHandle;
    std::wstring pendingName;
#endif
};

} // namespace wizard::sys
