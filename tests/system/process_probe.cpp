// SPDX-License-Identifier: MIT
// Stops a process by name with the wizard's own call, in a process of its own, so
// that a test can run it with fewer rights than it has itself (as root without the
// right to stop or inspect other users' processes):
//
//     process_probe kill NAME      exit 0: killProcessByName answered true, 1: false
#include "system/ProcessControl.h"

#include <QString>

#include <cstring>

int main(int argc, char** argv)
{
    if (argc != 3 || std::strcmp(argv[1], "kill") != 0)
        return 2;
    const std::wstring name = QString::fromLocal8Bit(argv[2]).toStdWString();
    return wizard::sys::killProcessByName(name.c_str()) ? 0 : 1;
}
