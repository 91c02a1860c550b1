// SPDX-License-Identifier: MIT
#include "system/Privileges.h"

#include <unistd.h>

namespace wizard::sys {

bool runsAsSuperUser()
{
    return geteuid() == 0;
}

} // namespace wizard::sys
