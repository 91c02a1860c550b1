// SPDX-License-Identifier: MIT
#pragma once

#include "comm/IMCommLayer.h"

#include <cstddef>
#include <cstdint>

namespace wizard {

// The card printer's command set and the rules by which its replies are
// judged. Commands go out without their terminating NUL: send
// `length(command)` bytes. Replies are read into a zero-filled buffer of
// `replyCapacity` bytes and taken as NUL-terminated text.
class PrinterCommands {
public:
    PrinterCommands() = delete;

    static constexpr char handshakeOn[] = "\x1bPem;2\r";
    static constexpr char handshakeOff[] = "\x1bPem;0\r";
    static constexpr char extendedStatus[] = "\x1bRpst\r";
    static constexpr char firmwareVersion[] = "\x1bRfv\r";
    static constexpr char adjustment[] = "\x1bSa;c\r";

    static constexpr char replyOk[] = "OK";
    static constexpr char replyRibbonError[] = "ERROR RIBBON";
    static constexpr char replyTimeOut[] = "Time out";

    // Time limits, in milliseconds, set before each command.
    static constexpr std::int32_t statusTimeoutMs = 1000;
    static constexpr std::int32_t firmwareVersionTimeoutMs = 5000;
    static constexpr std::int32_t downloadTimeoutMs = 60000;
    static constexpr std::int32_t adjustmentTimeoutMs = 90000;

    static constexpr std::uint32_t replyCapacity = 512;
    static constexpr std::uint32_t statusCapacity = 1024;

    // Bytes to send for a command literal: its length up to the NUL.
    template <std::size_t N> static constexpr std::int32_t length(const char (&)[N])
    {
        return static_cast<std::int32_t>(N - 1);
    }

    // True only when the NUL-terminated text in buffer (at most capacity bytes)
    // is exactly expected: whole, case-sensitive, nothing trimmed. A buffer
    // without a NUL within capacity matches nothing.
    static bool replyIs(const char* buffer, std::size_t capacity, const char* expected);
    static bool isOk(const char* buffer, std::size_t capacity) { return replyIs(buffer, capacity, replyOk); }
    static bool isRibbonError(const char* buffer, std::size_t capacity)
    {
        return replyIs(buffer, capacity, replyRibbonError);
    }
    static bool isTimeOut(const char* buffer, std::size_t capacity)
    {
        return replyIs(buffer, capacity, replyTimeOut);
    }

    // The firmware version value of a reply to `firmwareVersion`: every letter
    // A-Z a-z removed wherever it stands, then read as a decimal integer the
    // way atoi does (leading white space, optional sign, leading digits, 0 if
    // none). "F2200" gives 2200, "12AB34" 1234, "1.2" 1. The text ends at its
    // NUL or after capacity bytes; a value beyond the int range saturates
    // instead of overflowing.
    static std::int32_t firmwareVersionValue(const char* reply, std::size_t capacity);

    // Decodes the reply to `extendedStatus`: pair k of hexadecimal digits
    // (high half first, upper-case) becomes out[k]. Only the first
    // replyLength bytes of reply are read and at most outCapacity bytes
    // written; a character that is not an upper-case hexadecimal digit, and
    // every pair at or past the end of the reply, counts as 0.
    static void decodeExtendedStatus(
        const char* reply, std::size_t replyLength, std::uint8_t* out, std::size_t outCapacity);

    // The status record from the printer's raw status block (at least
    // rawStatusBytes long): bytes 0 to 9, then 11 to 16; raw byte 10 is the
    // printer's own and is not kept.
    static constexpr std::size_t rawStatusBytes = 17;
    static CommStatus recordFromRawStatus(const std::uint8_t* raw);
    static bool coverOpen(const CommStatus& status) { return (status.bytes[9] & 0x02) != 0; }

    // The firmware download frame: "\eDf;SIZE;", the file unchanged, ";", the
    // exclusive-or of the file's bytes, CR, ".". It lives in one zero-filled
    // buffer of downloadFrameCapacity(size) bytes; the file is read straight
    // into it after the header, so the firmware is held in memory once.
    static constexpr std::size_t downloadFrameSpare = 126;
    static constexpr std::size_t downloadFrameCapacity(std::size_t fileSize)
    {
        return fileSize + downloadFrameSpare;
    }
    // Writes the header at the start of frame and returns its length, where the
    // file's bytes go; 0 when frame cannot hold header and file.
    static std::size_t writeDownloadHeader(char* frame, std::size_t capacity, std::size_t fileSize);
    // With the file's bytes in place after the header, appends the trailer and
    // returns the frame's length (header + file + 4); 0 when it does not fit.
    static std::size_t finishDownloadFrame(
        char* frame, std::size_t capacity, std::size_t headerLength, std::size_t fileSize);
    // Both steps for a file already in memory: frame must be a zero-filled
    // buffer of downloadFrameCapacity(fileSize) bytes. Returns the frame's
    // length, 0 when it does not fit.
    static std::size_t buildDownloadFrame(
        const char* file, std::size_t fileSize, char* frame, std::size_t capacity);
};

} // namespace wizard
