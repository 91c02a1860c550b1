// SPDX-License-Identifier: MIT
// The 1168-byte message of the service's pipes, read and written field by
// field (integers 32-bit little-endian). The service keeps its own reading of
// the layout, apart from the wizard's, so each side checks the other.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

namespace service {

// The request codes a client sends in the message's command field.
enum class Command : std::int32_t {
    Open = 1,
    Close = 2,
    Read = 3,
    Write = 4,
    ReadStatus = 5,
};

struct Message {
    static constexpr std::size_t size = 1168;
    static constexpr std::size_t chunkCapacity = 1024;
    enum Field : std::size_t {
        command = 0,
        channel = 8,
        optionB = 16,
        optionC = 20,
        timeout = 24,
        optionA = 28,
        chunkCount = 32,
        chunkData = 36,
        totalLength = 1060,
        chunkLength = 1064,
        status = 1072,
        optionD = 1088,
        optionE = 1092,
        printerName = 1096,
        result = 1160,
    };

    std::array<std::uint8_t, size> bytes {};

    std::int32_t get(std::size_t at) const
    {
        return static_cast<std::int32_t>(std::uint32_t(bytes[at]) | std::uint32_t(bytes[at + 1]) << 8
            | std::uint32_t(bytes[at + 2]) << 16 | std::uint32_t(bytes[at + 3]) << 24);
    }
    Command commandCode() const { return static_cast<Command>(get(command)); }
    void set(std::size_t at, std::int32_t value)
    {
        const auto bits = static_cast<std::uint32_t>(value);
        for (std::size_t i = 0; i < 4; ++i)
            bytes[at + i] = static_cast<std::uint8_t>(bits >> (8 * i));
    }
};

} // namespace service
