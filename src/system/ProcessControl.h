// SPDX-License-Identifier: MIT
#pragma once

namespace wizard::sys
{

// Stops the first running process (in the system's order: the snapshot's on Windows,
// ascending pid on Linux) whose executable file name equals name exactly, case
// included. True when it was stopped or none runs; false when the processes cannot be
// listed or the match cannot be stopped.
bool killProcessByName(const wchar_t* name);

// Whether this is a 32-bit system, which picks the management tool's "x32" folder
// over "x64". A 64-bit build always answers false: it runs only on a 64-bit system.
bool isNotWow64Process();

} // namespace wizard::sys
