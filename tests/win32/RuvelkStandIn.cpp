// SPDX-License-Identifier: MIT
// Stands in for the printer-management tool: it runs until it is stopped. A
// bounded life (default ten minutes, or the seconds given as the only argument)
// keeps a forgotten one from outliving the test run.
#include <windows.h>

#include <cstdlib>

int main(int argc, char** argv)
{
    long seconds = 600;
    if (argc == 2)
        seconds = std::strtol(argv[1], nullptr, 10);
    if (seconds < 0)
        seconds = 0;
    Sleep(static_cast<DWORD>(seconds) * 1000);
    return 0;
}
