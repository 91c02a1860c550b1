// SPDX-License-Identifier: MIT
#pragma once

#include "foundation/ILogger.h"

#include <cstdint>
#include <ctime>

namespace wizard {

// Writes each trace line, with a header carrying the logger's id and the local
// time, to the operating system's debug output.
class DebugLogger : public ILogger {
public:
    // Wide characters a whole line may take, terminator included.
    static constexpr int lineCapacity = 1024;

    DebugLogger();

    void Activate(std::int32_t value) override;
    void Log(const wchar_t* format, ...) override;
    void Enable() override;
    void Disable() override;

    std::uint32_t loggerId() const { return id; }

    // The clock the header reads; tests fix it. Returns the previous one.
    using Clock = std::time_t (*)();
    static Clock setClock(Clock clock);

private:
    std::uint32_t id;
    std::int32_t enabled;
};

} // namespace wizard
