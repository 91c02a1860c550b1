// SPDX-License-Identifier: MIT
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace wizard::sys {

// The process that holds a printer, named so that neither a process id used again, a
// reboot nor a process on another machine sharing the spooler passes for it: the host
// name, the boot (Linux: /proc/sys/kernel/random/boot_id; Windows: "-", its start
// times being absolute), the process id and the process's start time (Linux: clock
// ticks since boot, /proc/PID/stat; Windows: its creation time in 100 ns units).
struct Holder {
    std::string host;
    std::string boot;
    std::uint64_t pid = 0;
    std::uint64_t start = 0;

    bool operator==(const Holder& other) const
    {
        return host == other.host && boot == other.boot && pid == other.pid && start == other.start;
    }
    bool operator!=(const Holder& other) const { return !(*this == other); }
};

// "host=H boot=B pid=P start=S": what the hold record holds.
std::string holderRecord(const Holder& holder);
// The holder a record names; nothing when the text is not exactly such a record
// (fields in that order, single spaces, decimal numbers, no empty value).
std::optional<Holder> parseHolderRecord(const std::string& record);

// This process.
Holder thisHolder();
// The start time of the running process pid, nothing when none runs (or it has ended
// and not been reaped).
std::optional<std::uint64_t> processStartTime(std::uint64_t pid);

enum class HolderLife {
    own, // this process
    alive, // runs, or cannot be checked from here (another machine)
    gone, // ended: its pid free or another process's, or its machine restarted
};
HolderLife holderLife(const Holder& holder);

} // namespace wizard::sys
