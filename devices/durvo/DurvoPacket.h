// SPDX-License-Identifier: MIT
// The framing between the device-access library and the printer: every packet is
// one type byte, a 32-bit big-endian payload length, then the payload. The
// printer's replies travel whole in one packet, so a reader never has to guess
// where a reply ends. README.md in this folder describes the exchange.
#pragma once

#include <cstddef>
#include <cstdint>

namespace wizard::durvo {

enum PacketType : std::uint8_t {
    // host -> printer
    PacketData = 0x01, // bytes the host wrote, unchanged
    PacketStatusRequest = 0x02, // asks for the raw status block; empty payload
    // printer -> host
    PacketReply = 0x81, // one whole reply to one command
    PacketStatus = 0x82, // the raw status block
};

constexpr std::size_t PacketHeaderSize = 5;

inline void encodePacketHeader(std::uint8_t* header, std::uint8_t type, std::uint32_t length)
{
    header[0] = type;
    header[1] = static_cast<std::uint8_t>(length >> 24);
    header[2] = static_cast<std::uint8_t>(length >> 16);
    header[3] = static_cast<std::uint8_t>(length >> 8);
    header[4] = static_cast<std::uint8_t>(length);
}

inline std::uint32_t decodePacketLength(const std::uint8_t* header)
{
    return (std::uint32_t(header[1]) << 24) | (std::uint32_t(header[2]) << 16)
        | (std::uint32_t(header[3]) << 8) | std::uint32_t(header[4]);
}

} // namespace wizard::durvo
