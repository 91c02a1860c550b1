// SPDX-License-Identifier: MIT
#include "system/Privileges.h"

namespace wizard::sys {

bool runsAsSuperUser()
{
    return false;
}

} // namespace wizard::sys
