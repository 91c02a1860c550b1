// SPDX-License-Identifier: MIT
#pragma once

namespace wizard::sys {

// Stops the first running process (in the system's order: the snapshot's on Windows,
// ascending pid on Linux) whose executable file name equals name exactly, case
// included. True when it was stopped or none runs (an empty name matches nothing);
// false when the processes cannot be listed or the match cannot be stopped.
bool killProcessByName(const wchar_t* name);

// What killProcessByName does unless a replacement is installed: the system's own
// search and stop (linux/ or win32/).
bool systemKillProcessByName(const wchar_t* name);

// A test that must show a refusal the machine will not give it (a run as root may
// stop every process) installs a stand-in here; null restores the system's own.
// Returns the previous one.
using KillProcessFunction = bool (*)(const wchar_t* name);
KillProcessFunction setKillProcessFunction(KillProcessFunction function);

// Whether a process whose executable file name equals name runs (false when the
// processes cannot be listed).
bool processRunning(const wchar_t* name);
// Stops every running process named name, one after the other, through
// killProcessByName; true once none runs, false when one cannot be stopped.
bool killAllProcessesByName(const wchar_t* name);

// Whether this is a 32-bit system, which picks the management tool's "x32" folder
// over "x64". A 64-bit build always answers false: it runs only on a 64-bit system.
bool isNotWow64Process();

} // namespace wizard::sys
