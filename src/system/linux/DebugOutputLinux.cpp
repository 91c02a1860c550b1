// SPDX-License-Identifier: MIT
#include "system/DebugOutput.h"
#include "system/TextEncoding.h"

#include <syslog.h>

namespace wizard::sys {

void systemDebugOutput(const wchar_t* line)
{
    static const bool opened = [] {
        openlog("kavni-wizard", LOG_PID | LOG_NDELAY, LOG_USER);
        return true;
    }();
    (void)opened;
    syslog(LOG_DEBUG, "%s", toUtf8(line).c_str());
}

} // namespace wizard::sys
