// SPDX-License-Identifier: MIT
#pragma once

namespace wizard::sys {

// Hands one finished trace line to the operating system's debug output
// (OutputDebugStringW on Windows, the system log on Linux), or to the sink a
// test installed. Safe to call from any thread.
void debugOutput(const wchar_t* line);

using DebugOutputSink = void (*)(const wchar_t* line);
// Replaces the system's debug output with sink (null restores it); returns the previous sink.
DebugOutputSink setDebugOutputSink(DebugOutputSink sink);

} // namespace wizard::sys
