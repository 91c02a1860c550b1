// SPDX-License-Identifier: MIT
#pragma once

// Helpers for the tests that start, find and stop processes.

#include <windows.h>

#include <tlhelp32.h>

#include <string>
#include <utility>
#include <vector>

namespace wintest {

// A process the test started; terminated and closed when it goes, so no test
// leaves one behind.
class Child {
public:
    Child() = default;
    Child(const std::wstring& exe, const std::wstring& arguments)
    {
        std::wstring command = L"\"" + exe + L"\" " + arguments;
        STARTUPINFOW startup {};
        startup.cb = sizeof startup;
        PROCESS_INFORMATION process {};
        if (CreateProcessW(exe.c_str(), command.data(), nullptr, nullptr, FALSE, CREATE_NO_WINDOW, nullptr,
                nullptr, &startup, &process)) {
            CloseHandle(process.hThread);
            handle = process.hProcess;
            pid = process.dwProcessId;
        }
    }
    Child(Child&& other) noexcept
        : handle(std::exchange(other.handle, nullptr))
        , pid(std::exchange(other.pid, 0))
    {
    }
    Child& operator=(Child&&) = delete;
    Child(const Child&) = delete;
    ~Child()
    {
        if (handle) {
            if (running())
                TerminateProcess(handle, 99);
            WaitForSingleObject(handle, 5000);
            CloseHandle(handle);
        }
    }

    bool started() const { return handle != nullptr; }
    bool running() const { return handle && WaitForSingleObject(handle, 0) == WAIT_TIMEOUT; }
    // Waits up to ms for the process to end; true if it has.
    bool endsWithin(DWORD ms) const { return handle && WaitForSingleObject(handle, ms) == WAIT_OBJECT_0; }
    DWORD exitCode() const
    {
        DWORD code = STILL_ACTIVE;
        if (handle)
            GetExitCodeProcess(handle, &code);
        return code;
    }
    DWORD id() const { return pid; }

private:
    HANDLE handle = nullptr;
    DWORD pid = 0;
};

struct ProcessEntry {
    DWORD pid;
    std::wstring exeFile;
};

// The processes in the snapshot's order.
inline std::vector<ProcessEntry> snapshot()
{
    std::vector<ProcessEntry> out;
    HANDLE snap = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (snap == INVALID_HANDLE_VALUE)
        return out;
    PROCESSENTRY32W entry {};
    entry.dwSize = sizeof entry;
    for (BOOL more = Process32FirstW(snap, &entry); more; more = Process32NextW(snap, &entry))
        out.push_back({ entry.th32ProcessID, entry.szExeFile });
    CloseHandle(snap);
    return out;
}

inline std::vector<DWORD> pidsNamed(const std::wstring& exeFile)
{
    std::vector<DWORD> pids;
    for (const ProcessEntry& p : snapshot())
        if (p.exeFile == exeFile)
            pids.push_back(p.pid);
    return pids;
}

// Waits up to ms for a process of that exact file name to appear; its pid or 0.
inline DWORD waitForProcess(const std::wstring& exeFile, DWORD ms)
{
    for (DWORD waited = 0;; waited += 50) {
        std::vector<DWORD> pids = pidsNamed(exeFile);
        if (!pids.empty())
            return pids.front();
        if (waited >= ms)
            return 0;
        Sleep(50);
    }
}

// Stops every process of that file name (what a test started and lost track of).
inline void stopAll(const std::wstring& exeFile)
{
    for (DWORD pid : pidsNamed(exeFile)) {
        if (HANDLE h = OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, pid)) {
            TerminateProcess(h, 99);
            WaitForSingleObject(h, 5000);
            CloseHandle(h);
        }
    }
}

inline std::wstring imagePathOf(DWORD pid)
{
    std::wstring path;
    if (HANDLE h = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, pid)) {
        wchar_t buffer[1024];
        DWORD size = 1024;
        if (QueryFullProcessImageNameW(h, 0, buffer, &size))
            path.assign(buffer, size);
        CloseHandle(h);
    }
    return path;
}

inline std::wstring selfDirectory()
{
    wchar_t buffer[1024];
    DWORD size = 1024;
    if (!QueryFullProcessImageNameW(GetCurrentProcess(), 0, buffer, &size))
        return std::wstring();
    std::wstring path(buffer, size);
    return path.substr(0, path.rfind(L'\\') + 1);
}

inline std::wstring tempFolder(const wchar_t* name)
{
    wchar_t temp[MAX_PATH];
    GetTempPathW(MAX_PATH, temp);
    std::wstring folder = std::wstring(temp) + name;
    CreateDirectoryW(folder.c_str(), nullptr);
    return folder + L"\\";
}

} // namespace wintest
