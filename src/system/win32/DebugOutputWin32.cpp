// SPDX-License-Identifier: MIT
#include "system/DebugOutput.h"

#include <windows.h>

namespace wizard::sys {

void systemDebugOutput(const wchar_t* line)
{
    OutputDebugStringW(line);
}

} // namespace wizard::sys
