// SPDX-License-Identifier: MIT
#include "system/ProcessControl.h"

#include <atomic>

namespace wizard::sys {

namespace {
std::atomic<KillProcessFunction> replacement { nullptr };
}

bool killProcessByName(const wchar_t* name)
{
    if (KillProcessFunction function = replacement.load(std::memory_order_acquire))
        return function(name);
    return systemKillProcessByName(name);
}

bool killAllProcessesByName(const wchar_t* name)
{
    // Bounded, so that a program that keeps starting copies cannot hold this up.
    for (int stopped = 0; stopped < 64 && processRunning(name); ++stopped)
        if (!killProcessByName(name))
            return false;
    return !processRunning(name);
}

KillProcessFunction setKillProcessFunction(KillProcessFunction function)
{
    return replacement.exchange(function, std::memory_order_acq_rel);
}

} // namespace wizard::sys
