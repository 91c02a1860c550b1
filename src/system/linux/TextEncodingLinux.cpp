// SPDX-License-Identifier: MIT
#include "system/TextEncoding.h"

#include <cstring>

namespace wizard::sys {

bool toSystemNarrow(const wchar_t* name, char* out, std::size_t capacity)
{
    if (!name || !out || capacity == 0)
        return false;
    const std::string utf8 = toUtf8(name, U'?');
    if (utf8.size() > capacity - 1)
        return false;
    std::memcpy(out, utf8.c_str(), utf8.size() + 1);
    return true;
}

} // namespace wizard::sys
