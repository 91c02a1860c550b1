// SPDX-License-Identifier: MIT
#include "system/ProcessControl.h"

#include <windows.h>
// Needs the types of windows.h first.
#include <tlhelp32.h>

#include <cwchar>

namespace wizard::sys {

namespace {
using IsWow64ProcessFunction = BOOL(WINAPI*)(HANDLE, PBOOL);
// Looked up by name on every call, as the query may be missing on old systems.
IsWow64ProcessFunction isWow64ProcessEntry = nullptr;

// The id of the first process in the snapshot whose executable is name; false
// in found when none is; false when the processes cannot be listed.
bool findProcess(const wchar_t* name, DWORD& match, bool& found)
{
    found = false;
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (snapshot == INVALID_HANDLE_VALUE)
        return false;
    PROCESSENTRY32W entry {};
    entry.dwSize = sizeof entry;
    const bool listed = Process32FirstW(snapshot, &entry) != FALSE;
    for (bool more = listed; more; more = Process32NextW(snapshot, &entry) != FALSE) {
        if (std::wcscmp(entry.szExeFile, name) == 0) {
            match = entry.th32ProcessID;
            found = true;
            break;
        }
    }
    CloseHandle(snapshot);
    return listed;
}

} // namespace

bool processRunning(const wchar_t* name)
{
    DWORD match = 0;
    bool found = false;
    return name && *name && findProcess(name, match, found) && found;
}

bool systemKillProcessByName(const wchar_t* name)
{
    if (!name)
        return false;
    DWORD match = 0;
    bool found = false;
    if (!findProcess(name, match, found))
        return false;
    if (!found)
        return true;
    HANDLE process = OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, match);
    // An id that names no process any more: the match ended since the snapshot,
    // so nothing is left to stop (as on Linux). Refused access is a failure.
    if (!process)
        return GetLastError() == ERROR_INVALID_PARAMETER;
    // A termination the system refuses is a failure, not a stopped process,
    // unless the process has ended on its own meanwhile.
    // Stopped means gone, as on Linux: the termination is waited for (it is
    // not done when TerminateProcess returns).
    const bool stopped = (TerminateProcess(process, 0) || WaitForSingleObject(process, 0) == WAIT_OBJECT_0)
        && WaitForSingleObject(process, 5000) == WAIT_OBJECT_0;
    CloseHandle(process);
    return stopped;
}

bool isNotWow64Process()
{
    // The question below tells a 32-bit process on a 64-bit system from everything
    // else; a 64-bit build is never under WOW64 yet always on a 64-bit system.
    if constexpr (sizeof(void*) == 8)
        return false;
    HMODULE kernel = GetModuleHandleW(L"kernel32");
    isWow64ProcessEntry = kernel ? reinterpret_cast<IsWow64ProcessFunction>(
                              reinterpret_cast<void*>(GetProcAddress(kernel, "IsWow64Process")))
                                 : nullptr;
    if (!isWow64ProcessEntry)
        return true;
    BOOL underWow64 = FALSE;
    if (!isWow64ProcessEntry(GetCurrentProcess(), &underWow64))
        return true;
    return !underWow64;
}

} // namespace wizard::sys
