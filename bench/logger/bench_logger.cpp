// SPDX-License-Identifier: MIT
// Cost of one DebugLogger::Log call through the ILogger interface, as the
// wizard's classes make it: disabled (one test, nothing formatted) and enabled
// into a sink that drops the line (header, formatting, line assembly).
// Goals on the development machine: disabled < 2 ns per call, enabled < 3 us per line.
// Build in Release and run: bench/bin/bench_logger [repetitions]
#include "foundation/DebugLogger.h"
#include "system/DebugOutput.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>

namespace {

volatile unsigned long droppedLines = 0;

void nullSink(const wchar_t* line)
{
    if (line[0])
        droppedLines = droppedLines + 1;
}

// The fastest of many short runs of calls, in nanoseconds per call: on a busy
// machine some run gets the processor to itself.
template <typename Call> double nanosecondsPerCall(long calls, int repetitions, Call call)
{
    double best = 1e300;
    for (int r = 0; r < repetitions; ++r) {
        const auto start = std::chrono::steady_clock::now();
        for (long i = 0; i < calls; ++i)
            call();
        const std::chrono::duration<double, std::nano> elapsed = std::chrono::steady_clock::now() - start;
        best = std::min(best, elapsed.count() / double(calls));
    }
    return best;
}

} // namespace

int main(int argc, char** argv)
{
    const int repetitions = argc > 1 ? std::max(1, std::atoi(argv[1])) : 30;
    wizard::sys::setDebugOutputSink(&nullSink);

    wizard::DebugLogger logger;
    // Through a volatile pointer, so the compiler cannot see which logger it calls.
    wizard::ILogger* volatile log = &logger;

    logger.Disable();
    const double disabled = nanosecondsPerCall(10'000'000, repetitions,
        [&] { log->Log(L"[%s] [Page1K] [applyAction] {%s}", L"INFO   ", L"wizard::Page1K::applyAction"); });

    logger.Enable();
    const double enabled = nanosecondsPerCall(20'000, repetitions,
        [&] { log->Log(L"[%s] [Page1K] [applyAction] {%s}", L"INFO   ", L"wizard::Page1K::applyAction"); });
    const double enabledLong = nanosecondsPerCall(20'000, repetitions, [&] {
        log->Log(L"[%s] [DurvoCommLayer] [Write] [%d bytes] [%s] {%s}", L"DEBUG  ", 1168,
            L"a rather long printer name that fills the line further", L"wizard::DurvoCommLayer::Write");
    });

    const bool met = disabled < 2.0 && enabled < 3000.0 && enabledLong < 3000.0;
    std::printf("Log disabled:                  %8.3f ns per call   (goal < 2 ns)\n", disabled);
    std::printf("Log enabled, null sink:        %8.1f ns per line   (goal < 3000 ns)\n", enabled);
    std::printf("Log enabled, longer line:      %8.1f ns per line   (goal < 3000 ns)\n", enabledLong);
    std::printf("%s (%lu lines dropped)\n", met ? "goals met" : "GOALS MISSED",
        static_cast<unsigned long>(droppedLines));
    return met ? 0 : 1;
}
