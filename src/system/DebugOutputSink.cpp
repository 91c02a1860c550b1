// SPDX-License-Identifier: MIT
#include "system/DebugOutput.h"

#include <atomic>

namespace wizard::sys {

void systemDebugOutput(const wchar_t* line); // the platform's own, in linux/ or win32/

namespace {
std::atomic<DebugOutputSink> installedSink { nullptr };
}

void debugOutput(const wchar_t* line)
{
    if (DebugOutputSink sink = installedSink.load(std::memory_order_acquire))
        sink(line);
    else
        systemDebugOutput(line);
}

DebugOutputSink setDebugOutputSink(DebugOutputSink sink)
{
    return installedSink.exchange(sink, std::memory_order_acq_rel);
}

} // namespace wizard::sys
