// SPDX-License-Identifier: MIT
#include "system/Registry.h"

#include <windows.h>

namespace wizard::sys {

std::uint32_t readRegistryDword(const wchar_t* valueName)
{
    HKEY key = nullptr;
    // The 64-bit view: a 32-bit build on 64-bit Windows reads the same value as a 64-bit one.
    if (RegOpenKeyExW(
            HKEY_LOCAL_MACHINE, L"Software\\Talvor Card Printer", 0, KEY_READ | KEY_WOW64_64KEY, &key)
        != ERROR_SUCCESS)
        return 0;
    // Any type is taken; data shorter than the buffer leaves its high bytes zero,
    // longer data makes the query fail.
    BYTE data[4] = {};
    DWORD size = sizeof data;
    const LONG status = RegQueryValueExW(key, valueName, nullptr, nullptr, data, &size);
    RegCloseKey(key);
    if (status != ERROR_SUCCESS)
        return 0;
    return std::uint32_t(data[0]) | std::uint32_t(data[1]) << 8 | std::uint32_t(data[2]) << 16
        | std::uint32_t(data[3]) << 24;
}

} // namespace wizard::sys
