// SPDX-License-Identifier: MIT
#include "system/NamedPipe.h"

#include <windows.h>

namespace wizard::sys {

namespace {

HANDLE asHandle(std::intptr_t value)
{
    return reinterpret_cast<HANDLE>(value);
}

PipeResult fromError(DWORD error)
{
    switch (error) {
    case ERROR_PIPE_BUSY:
        return PipeResult::Busy;
    case ERROR_FILE_NOT_FOUND:
        return PipeResult::NotFound;
    case ERROR_SEM_TIMEOUT:
        return PipeResult::TimedOut;
    default:
        return PipeResult::Failed;
    }
}

// Runs one overlapped ReadFile or WriteFile to its end, or cancels it once
// timeoutMs has passed, so that a service that never answers cannot hold the
// caller forever.
template <typename Start> PipeResult transfer(HANDLE pipe, int timeoutMs, DWORD* moved, Start start)
{
    *moved = 0;
    OVERLAPPED overlapped {};
    overlapped.hEvent = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    if (!overlapped.hEvent)
        return PipeResult::Failed;
    PipeResult result = PipeResult::Ok;
    if (!start(&overlapped)) {
        const DWORD error = GetLastError();
        if (error != ERROR_IO_PENDING) {
            CloseHandle(overlapped.hEvent);
            return error == ERROR_MORE_DATA ? PipeResult::Failed : fromError(error);
        }
        const DWORD waited = WaitForSingleObject(
            overlapped.hEvent, timeoutMs < 0 ? INFINITE : static_cast<DWORD>(timeoutMs));
        if (waited != WAIT_OBJECT_0) {
            CancelIo(pipe);
            result = waited == WAIT_TIMEOUT ? PipeResult::TimedOut : PipeResult::Failed;
        }
    }
    // After a cancel this waits for the cancellation to land, so the buffer is
    // no longer in use when the caller gets it back.
    if (!GetOverlappedResult(pipe, &overlapped, moved, TRUE) && result == PipeResult::Ok)
        result = PipeResult::Failed; // ERROR_MORE_DATA included: a message larger than the buffer
    CloseHandle(overlapped.hEvent);
    return result;
}

} // namespace

NamedPipe::~NamedPipe()
{
    close();
}

PipeResult NamedPipe::open(const std::wstring& name)
{
    if (isOpen())
        return PipeResult::Failed;
    const HANDLE pipe = CreateFileW(
        name.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, FILE_FLAG_OVERLAPPED, nullptr);
    if (pipe == INVALID_HANDLE_VALUE)
        return fromError(GetLastError());
    handle = reinterpret_cast<std::intptr_t>(pipe);
    return PipeResult::Ok;
}

PipeResult NamedPipe::wait(const std::wstring& name, int timeoutMs)
{
    if (WaitNamedPipeW(name.c_str(), timeoutMs < 0 ? NMPWAIT_WAIT_FOREVER : static_cast<DWORD>(timeoutMs)))
        return PipeResult::Ok;
    return fromError(GetLastError());
}

bool NamedPipe::setMessageMode()
{
    if (!isOpen())
        return false;
    DWORD mode = PIPE_READMODE_MESSAGE;
    return SetNamedPipeHandleState(asHandle(handle), &mode, nullptr, nullptr) != FALSE;
}

PipeResult NamedPipe::write(const void* data, std::size_t length, std::size_t* written, int timeoutMs)
{
    *written = 0;
    if (!isOpen() || length > MAXDWORD)
        return PipeResult::Failed;
    const HANDLE pipe = asHandle(handle);
    DWORD moved = 0;
    const PipeResult result = transfer(pipe, timeoutMs, &moved, [&](OVERLAPPED* overlapped) {
        return WriteFile(pipe, data, static_cast<DWORD>(length), nullptr, overlapped) != FALSE;
    });
    *written = moved;
    if (result == PipeResult::Ok && moved != length)
        return PipeResult::Failed;
    return result;
}

PipeResult NamedPipe::read(void* data, std::size_t capacity, std::size_t* received, int timeoutMs)
{
    *received = 0;
    if (!isOpen() || capacity > MAXDWORD)
        return PipeResult::Failed;
    const HANDLE pipe = asHandle(handle);
    DWORD moved = 0;
    const PipeResult result = transfer(pipe, timeoutMs, &moved, [&](OVERLAPPED* overlapped) {
        return ReadFile(pipe, data, static_cast<DWORD>(capacity), nullptr, overlapped) != FALSE;
    });
    *received = moved;
    if (result == PipeResult::Ok && moved == 0)
        return PipeResult::Failed;
    return result;
}

void NamedPipe::close()
{
    if (isOpen()) {
        CloseHandle(asHandle(handle));
        handle = invalidHandle;
    }
}

} // namespace wizard::sys
