// SPDX-License-Identifier: MIT
#include "system/Shell.h"

#include <windows.h>
// Needs the types of windows.h first.
#include <shellapi.h>

namespace wizard::sys {

bool runCmd(const std::wstring& command, const std::wstring& workingFolder, bool wait, bool elevate)
{
    // Windows refuses a working folder that does not exist; some shells (Wine's)
    // would run the command in the caller's folder instead, which is never meant.
    if (!workingFolder.empty()) {
        const DWORD attributes = GetFileAttributesW(workingFolder.c_str());
        if (attributes == INVALID_FILE_ATTRIBUTES || !(attributes & FILE_ATTRIBUTE_DIRECTORY))
            return false;
    }
    // "start TARGET" opens TARGET, a help page or address, as one argument, as on
    // Linux: quoted, so that cmd.exe takes its spaces, &, | and brackets as part of
    // it (and the empty title keeps start from reading it as a window title). A
    // target with a double quote cannot be passed whole and is refused.
    static const std::wstring start = L"start ";
    std::wstring line = command;
    if (command.compare(0, start.size(), start) == 0) {
        const std::wstring target = command.substr(start.size());
        if (target.find(L'"') != std::wstring::npos)
            return false;
        line = L"start \"\" \"" + target + L"\"";
    }
    const std::wstring parameters = L"/C " + line;
    SHELLEXECUTEINFOW info {};
    info.cbSize = sizeof info;
    info.fMask = SEE_MASK_NOCLOSEPROCESS;
    info.hwnd = nullptr;
    info.lpVerb = elevate ? L"runas" : nullptr;
    info.lpFile = L"cmd.exe";
    info.lpParameters = parameters.c_str();
    info.lpDirectory = workingFolder.empty() ? nullptr : workingFolder.c_str();
    info.nShow = SW_HIDE;
    const bool started = ShellExecuteExW(&info) != FALSE;
    if (started && info.hProcess) {
        if (wait)
            WaitForSingleObject(info.hProcess, INFINITE);
        CloseHandle(info.hProcess);
    }
    return started;
}

} // namespace wizard::sys
