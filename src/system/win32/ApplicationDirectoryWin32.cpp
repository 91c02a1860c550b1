// SPDX-License-Identifier: MIT
#include "system/ApplicationDirectory.h"

#include <windows.h>

#include <vector>

namespace wizard::sys {

std::wstring executablePath()
{
    // A path longer than the buffer comes back cut (and terminated): grow until it fits,
    // up to the longest path the system has.
    std::vector<wchar_t> buffer(MAX_PATH);
    for (;;) {
        const DWORD length = GetModuleFileNameW(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
        if (length == 0)
            return std::wstring();
        if (length < buffer.size())
            return std::wstring(buffer.data(), length);
        if (buffer.size() >= 32768)
            return std::wstring();
        buffer.resize(buffer.size() * 2);
    }
}

} // namespace wizard::sys
