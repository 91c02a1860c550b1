// SPDX-License-Identifier: MIT
// What the wizard's walk under Wine (scripts/walk-windows) asks of the Windows
// side, one request per start; the answer goes to standard output:
//   kavni_walk_probe queue NAME DRIVER PORT   a queue on a network port, as the
//                                             TCP/IP monitor reports it; "ok"
//   kavni_walk_probe attributes NAME          the queue's attribute word, 0x%08x
//   kavni_walk_probe running EXE              how many processes run EXE
// Exit code 0 when answered, 1 when the spooler refused.
#include "WinProcess.h"
#include "WinSpooler.h"

#include <cstdio>
#include <cwchar>

int wmain(int argc, wchar_t** argv)
{
    const std::wstring request = argc > 1 ? argv[1] : L"";
    if (request == L"queue" && argc == 5) {
        const bool made = wintest::registerNetworkPorts({ { argv[4], L"TCPMON.DLL" } })
            && wintest::addDriver(argv[3]) && wintest::addPrinter(argv[2], argv[4], argv[3]);
        std::puts(made ? "ok" : "refused");
        return made ? 0 : 1;
    }
    if (request == L"attributes" && argc == 3) {
        const DWORD attributes = wintest::TestPrinter(argv[2]).attributes();
        std::printf("0x%08lx\n", static_cast<unsigned long>(attributes));
        return attributes == ~DWORD(0) ? 1 : 0;
    }
    if (request == L"running" && argc == 3) {
        std::printf("%u\n", static_cast<unsigned>(wintest::pidsNamed(argv[2]).size()));
        return 0;
    }
    std::fputs("usage: kavni_walk_probe queue NAME DRIVER PORT | attributes NAME | running EXE\n", stderr);
    return 2;
}
