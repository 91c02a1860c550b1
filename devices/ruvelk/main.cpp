// SPDX-License-Identifier: MIT
// Stands in for the printer-management tool: it runs until it is stopped, which is all
// the wizard needs of it (it stops the tool while it works on the printer and starts it
// again afterwards). The same source is built for Linux and, with mingw-w64, for Windows.
// A test may bound its life with KAVNI_RUVELK_MAX_SECONDS, or with a number of seconds as
// the only argument (which wins), so that one a failed test forgot does not outlive the run.
#include <chrono>
#include <cstdlib>
#include <thread>

int main(int argc, char** argv)
{
    const char* limit = argc == 2 ? argv[1] : std::getenv("KAVNI_RUVELK_MAX_SECONDS");
    long long seconds = limit ? std::strtoll(limit, nullptr, 10) : -1;
    // No test needs more than a day, and a far larger limit would overflow the clock: run on.
    if (seconds > 86400)
        seconds = -1;
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(seconds < 0 ? 0 : seconds);
    while (seconds < 0 || std::chrono::steady_clock::now() < end)
        std::this_thread::sleep_for(std::chrono::milliseconds(seconds < 0 ? 60000 : 100));
    return 0;
}
