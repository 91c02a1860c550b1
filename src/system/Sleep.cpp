// SPDX-License-Identifier: MIT
#include "system/Sleep.h"

#include "system/EndRequest.h"

#include <atomic>
#include <chrono>
#include <thread>

namespace wizard::sys {

namespace {
std::atomic<SleepFunction> replacement { nullptr };
}

void sleepMs(int milliseconds)
{
    if (SleepFunction function = replacement.load(std::memory_order_acquire)) {
        function(milliseconds);
        return;
    }
    // The wizard asked to end does not sit out a fixed wait.
    waitUnlessEnding(milliseconds);
}

SleepFunction setSleepFunction(SleepFunction function)
{
    return replacement.exchange(function, std::memory_order_acq_rel);
}

} // namespace wizard::sys
