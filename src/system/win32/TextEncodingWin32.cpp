// SPDX-License-Identifier: MIT
#include "system/TextEncoding.h"

#include <climits>
#include <windows.h>

namespace wizard::sys {

bool toSystemNarrow(const wchar_t* name, char* out, std::size_t capacity)
{
    if (!name || !out || capacity == 0 || capacity > INT_MAX)
        return false;
    // The buffer is handed over whole; a name that does not fit makes the
    // conversion fail rather than come back cut.
    return WideCharToMultiByte(CP_ACP, 0, name, -1, out, static_cast<int>(capacity), nullptr, nullptr) > 0;
}

} // namespace wizard::sys
