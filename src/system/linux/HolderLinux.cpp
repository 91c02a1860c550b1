// SPDX-License-Identifier: MIT
// A holder on Linux: the host name, the kernel's boot id, and the process's start
// time in clock ticks since boot (field 22 of /proc/PID/stat).
#include "system/Holder.h"

#include <fstream>
#include <sstream>
#include <unistd.h>

namespace wizard::sys {

namespace {

std::string hostName()
{
    char name[256] = {};
    if (gethostname(name, sizeof name - 1) != 0 || !*name)
        return "localhost";
    return name;
}

std::string bootId()
{
    std::ifstream file("/proc/sys/kernel/random/boot_id");
    std::string id;
    std::getline(file, id);
    return id.empty() ? std::string("unknown") : id;
}

} // namespace

std::optional<std::uint64_t> processStartTime(std::uint64_t pid)
{
    if (pid == 0)
        return std::nullopt;
    std::ifstream file("/proc/" + std::to_string(pid) + "/stat");
    std::string line;
    if (!std::getline(file, line))
        return std::nullopt;
    // The command name in parentheses may hold spaces and parentheses itself.
    const std::size_t close = line.rfind(')');
    if (close == std::string::npos)
        return std::nullopt;
    std::istringstream fields(line.substr(close + 1));
    std::string state;
    fields >> state;
    if (state.empty() || state == "Z" || state == "X")
        return std::nullopt;
    // Fields 4 to 21 come before the start time.
    std::string skipped;
    for (int field = 4; field <= 21; ++field)
        fields >> skipped;
    std::uint64_t start = 0;
    if (!(fields >> start))
        return std::nullopt;
    return start;
}

Holder thisHolder()
{
    static const Holder self = [] {
        Holder holder;
        holder.host = hostName();
        holder.boot = bootId();
        holder.pid = static_cast<std::uint64_t>(getpid());
        holder.start = processStartTime(holder.pid).value_or(0);
        return holder;
    }();
    // A child made by fork is another process.
    if (self.pid != static_cast<std::uint64_t>(getpid())) {
        Holder child = self;
        child.pid = static_cast<std::uint64_t>(getpid());
        child.start = processStartTime(child.pid).value_or(0);
        return child;
    }
    return self;
}

} // namespace wizard::sys
