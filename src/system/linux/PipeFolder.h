// SPDX-License-Identifier: MIT
#pragma once

#include <cstdlib>
#include <string>
#include <unistd.h>

namespace wizard::sys {

// The folder of the sockets that stand for named pipes. The wizard and the
// printer-communication service must agree on it, so both take it from here:
// $TALVOR_PIPE_DIR, else /run/talvor for root, else $XDG_RUNTIME_DIR/talvor.
inline std::string talvorPipeFolder()
{
    if (const char* dir = std::getenv("TALVOR_PIPE_DIR"); dir && *dir)
        return dir;
    if (::geteuid() == 0)
        return "/run/talvor";
    if (const char* runtime = std::getenv("XDG_RUNTIME_DIR"); runtime && *runtime)
        return std::string(runtime) + "/talvor";
    return "/tmp/talvor-" + std::to_string(::geteuid());
}

} // namespace wizard::sys
