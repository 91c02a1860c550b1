// SPDX-License-Identifier: MIT
// A holder on Windows: the computer name and the process's creation time, which is
// absolute (so the boot needs no id of its own: "-").
#include "system/Holder.h"

#include <windows.h>

namespace wizard::sys {

namespace {

std::string computerName()
{
    wchar_t name[MAX_COMPUTERNAME_LENGTH + 1] = {};
    DWORD size = MAX_COMPUTERNAME_LENGTH + 1;
    if (!GetComputerNameW(name, &size) || size == 0)
        return "localhost";
    std::string text;
    for (DWORD i = 0; i < size; ++i)
        text += name[i] > L' ' && name[i] < 0x7F && name[i] != L'=' ? static_cast<char>(name[i]) : '_';
    return text;
}

} // namespace

std::optional<std::uint64_t> processStartTime(std::uint64_t pid)
{
    HANDLE process = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, static_cast<DWORD>(pid));
    if (!process)
        return std::nullopt;
    FILETIME created {}, exited {}, kernel {}, user {};
    DWORD code = 0;
    const bool running = GetExitCodeProcess(process, &code) && code == STILL_ACTIVE;
    const bool timed = GetProcessTimes(process, &created, &exited, &kernel, &user);
    CloseHandle(process);
    if (!running || !timed)
        return std::nullopt;
    return (std::uint64_t(created.dwHighDateTime) << 32) | created.dwLowDateTime;
}

Holder thisHolder()
{
    static const Holder self = [] {
        Holder holder;
        holder.host = computerName();
        holder.boot = "-";
        holder.pid = GetCurrentProcessId();
        holder.start = processStartTime(holder.pid).value_or(0);
        return holder;
    }();
    return self;
}

} // namespace wizard::sys
