// SPDX-License-Identifier: MIT
#pragma once

#include <string>

namespace wizard::sys {

// Runs command through the command interpreter, hidden ("cmd.exe /C command" on
// Windows; "/bin/sh -c command" on Linux, with workingFolder as the current folder and
// first on PATH, as cmd.exe finds programs in its current folder). elevate asks for
// administrator rights (the "runas" verb; pkexec on Linux). With wait the call returns
// when the command has ended, with no time limit; otherwise at once, the command
// running on its own. A command "start TARGET" opens TARGET with the desktop's default
// handler (on Linux xdg-open with TARGET as its one argument, never through a shell).
// True if the interpreter (or handler) was started. An empty workingFolder keeps ours.
bool runCmd(const std::wstring& command, const std::wstring& workingFolder, bool wait, bool elevate);

} // namespace wizard::sys
