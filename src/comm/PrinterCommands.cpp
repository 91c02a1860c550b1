// SPDX-License-Identifier: MIT
#include "comm/PrinterCommands.h"

#include <climits>
#include <cstdio>
#include <cstring>

namespace wizard {

bool PrinterCommands::replyIs(const char* buffer, std::size_t capacity, const char* expected)
{
    if (!buffer || !expected)
        return false;
    const std::size_t wanted = std::strlen(expected);
    // The NUL must be inside the buffer too, or "OK" would match "OKAY".
    return wanted < capacity && std::memcmp(buffer, expected, wanted + 1) == 0;
}

std::int32_t PrinterCommands::firmwareVersionValue(const char* reply, std::size_t capacity)
{
    if (!reply)
        return 0;
    // Letters are skipped as they come, which is removing them first and then
    // converting what is left.
    std::size_t i = 0;
    auto isLetter = [](char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); };
    auto next = [&]() -> char {
        while (i < capacity && reply[i] != '\0' && isLetter(reply[i]))
            ++i;
        return i < capacity ? reply[i] : '\0';
    };
    auto isSpace = [](char c) { return c == ' ' || (c >= '\t' && c <= '\r'); };

    char c = next();
    while (isSpace(c)) {
        ++i;
        c = next();
    }
    bool negative = false;
    if (c == '+' || c == '-') {
        negative = c == '-';
        ++i;
        c = next();
    }
    long long value = 0;
    while (c >= '0' && c <= '9') {
        if (value <= static_cast<long long>(INT_MAX) + 1)
            value = value * 10 + (c - '0');
        ++i;
        c = next();
    }
    if (negative)
        value = -value;
    if (value > INT_MAX)
        return INT_MAX;
    if (value < INT_MIN)
        return INT_MIN;
    return static_cast<std::int32_t>(value);
}

namespace {
std::uint8_t hexValue(char c)
{
    if (c >= '0' && c <= '9')
        return static_cast<std::uint8_t>(c - '0');
    if (c >= 'A' && c <= 'F')
        return static_cast<std::uint8_t>(c - 'A' + 10);
    return 0;
}
} // namespace

void PrinterCommands::decodeExtendedStatus(
    const char* reply, std::size_t replyLength, std::uint8_t* out, std::size_t outCapacity)
{
    if (!out)
        return;
    for (std::size_t k = 0; k < outCapacity; ++k) {
        const std::size_t high = 2 * k;
        const std::size_t low = high + 1;
        const char h = reply && high < replyLength ? reply[high] : '\0';
        const char l = reply && low < replyLength ? reply[low] : '\0';
        out[k] = static_cast<std::uint8_t>((hexValue(h) << 4) | hexValue(l));
    }
}

CommStatus PrinterCommands::recordFromRawStatus(const std::uint8_t* raw)
{
    CommStatus record {};
    std::memcpy(record.bytes, raw, 10);
    std::memcpy(record.bytes + 10, raw + 11, 6);
    return record;
}

std::size_t PrinterCommands::writeDownloadHeader(char* frame, std::size_t capacity, std::size_t fileSize)
{
    // The longest header ("\eDf;" + 20 digits + ";") is 25 bytes; with the
    // 4-byte trailer that is well inside the 126 spare bytes.
    char header[32];
    const int length = std::snprintf(header, sizeof header,
        "\x1b"
        "Df;%lu;",
        static_cast<unsigned long>(fileSize));
    if (!frame || length <= 0 || static_cast<std::size_t>(length) >= sizeof header)
        return 0;
    const auto headerLength = static_cast<std::size_t>(length);
    if (fileSize > capacity || capacity - fileSize < headerLength + 4)
        return 0;
    std::memcpy(frame, header, headerLength);
    return headerLength;
}

std::size_t PrinterCommands::finishDownloadFrame(
    char* frame, std::size_t capacity, std::size_t headerLength, std::size_t fileSize)
{
    if (!frame || headerLength > capacity || fileSize > capacity - headerLength
        || capacity - headerLength - fileSize < 4)
        return 0;
    const auto* file = reinterpret_cast<const unsigned char*>(frame + headerLength);
    unsigned char checksum = 0;
    for (std::size_t i = 0; i < fileSize; ++i)
        checksum ^= file[i];
    char* trailer = frame + headerLength + fileSize;
    trailer[0] = ';';
    trailer[1] = static_cast<char>(checksum);
    trailer[2] = '\r';
    trailer[3] = '.';
    return headerLength + fileSize + 4;
}

std::size_t PrinterCommands::buildDownloadFrame(
    const char* file, std::size_t fileSize, char* frame, std::size_t capacity)
{
    if (!file && fileSize != 0)
        return 0;
    const std::size_t headerLength = writeDownloadHeader(frame, capacity, fileSize);
    if (headerLength == 0)
        return 0;
    if (fileSize != 0)
        std::memcpy(frame + headerLength, file, fileSize);
    return finishDownloadFrame(frame, capacity, headerLength, fileSize);
}

} // namespace wizard
