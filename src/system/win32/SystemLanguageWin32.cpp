// SPDX-License-Identifier: MIT
#include "system/SystemLanguage.h"

#include <windows.h>

namespace wizard::sys {

int systemPrimaryLanguage()
{
    return GetSystemDefaultLangID() & 0x3ff;
}

} // namespace wizard::sys
