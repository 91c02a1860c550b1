// SPDX-License-Identifier: MIT
#pragma once

#include "foundation/ILogger.h"

#include <cstdint>

namespace wizard {

// The two level words of a trace line, padded to seven characters.
struct TraceLevel {
    static constexpr const wchar_t* info = L"INFO   ";
    static constexpr const wchar_t* debug = L"DEBUG  ";
};

// Writes one trace line of the usual shape: format carries two "%s", the first
// for the level word, the second for the operation's full name
// ("wizard::Page1K::applyAction"). Holders keep a logger that may be null;
// then nothing is written.
inline void trace(ILogger* logger, const wchar_t* level, const wchar_t* format, const wchar_t* where)
{
    if (logger)
        logger->Log(format, level, where);
}

// Writes a line whose one placeholder "%lx" takes an address (the memory lines
// of the page builder and the main window).
inline void traceAddress(ILogger* logger, const wchar_t* format, const void* address)
{
    if (logger)
        logger->Log(format, reinterpret_cast<std::uintptr_t>(address));
}

// Writes a line that has no placeholder (the empty line at start-up).
inline void tracePlain(ILogger* logger, const wchar_t* format)
{
    if (logger)
        logger->Log(format);
}

} // namespace wizard
