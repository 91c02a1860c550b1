// SPDX-License-Identifier: MIT
#pragma once

#include <cstdint>

namespace wizard {

// The trace interface. One logger exists per process; holders keep a plain,
// non-owning pointer that may be null and test it before every call.
class ILogger {
public:
    virtual void Activate(std::int32_t value) = 0;
    // Writes one trace line. The format is a wide printf-style string in the
    // Windows convention: "%s" takes a wide string (const wchar_t*).
    virtual void Log(const wchar_t* format, ...) = 0;
    virtual void Enable() = 0;
    virtual void Disable() = 0;
    virtual ~ILogger() = default;
};

} // namespace wizard
